// Feeds arbitrary bytes to the module-list reader of the state file with the well model's five
// modules registered. Whatever was read must save again.
#include <cstdint>
#include <string>

#include "lib/module_list.h"
#include "pore/pore_opt.h"
#include "pore/wellbore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  pore::PoreOpt pore;
  pore::Wellbore wellbore;
  lib::ModuleList list;
  list.register_module(pore.options());
  list.register_module(pore.construction());
  list.register_module(pore.instr());
  list.register_module(pore.projected());
  list.register_module(wellbore);
  lib::io::BinaryMemoryInputStream in(std::string_view(reinterpret_cast<const char*>(data), size));
  try {
    list.deserialize(in, 1, [](const std::string&) {});
  } catch (const lib::io::StreamError&) {
  }
  lib::io::BinaryMemoryOutputStream out;
  list.serialize(out, nullptr, 1);
  wellbore.calculate(pore.projected().method(), pore.projected().targets());
  pore.get_zatrub_volume(1000, 1.1);
  return 0;
}
