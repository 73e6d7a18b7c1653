// Feeds arbitrary bytes to the state-file reader: the version word, then the module list
// with modules of every field kind registered.
#include <cstdint>
#include <string>
#include <vector>

#include "lib/module_list.h"

namespace {

struct Everything : lib::SerialModuleBase {
  explicit Everything(std::string name) : SerialModuleBase(std::move(name), 2) {}
  bool b = false;
  std::int32_t i = 0;
  std::uint64_t u = 0;
  double d = 0;
  float f = 0;
  std::string s;
  lib::DateTime t;
  std::vector<std::string> names;
  std::vector<double> values;

 protected:
  void serial_fields(lib::serial_list& l, unsigned version) override {
    l.add(b).add(i).add(u).add(d).add(f).add(s).add(t);
    if (version >= 2) l.add(names).add(values);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Everything a("A"), b("B"), c("C");
  lib::ModuleList list;
  list.register_module(a);
  list.register_module(b);
  list.register_module(c);
  lib::io::BinaryMemoryInputStream in(std::string_view(reinterpret_cast<const char*>(data), size));
  try {
    std::uint32_t version = 0;
    lib::io::read_binary(in, version);
    if (version != list.get_serial_version()) return 0;
    list.deserialize(in, 1, [](const std::string&) {});
    // Whatever was read must save again.
    lib::io::BinaryMemoryOutputStream out;
    list.serialize(out, nullptr, 1);
  } catch (const lib::io::StreamError&) {
  }
  return 0;
}
