// Feeds arbitrary bytes to the WITS configuration reader, applied to a small table. The
// first byte chooses whether missing rows are added.
#include <cstdint>
#include <string>
#include <string_view>

#include "params/all_params.h"
#include "params/par_tabl.h"

namespace {

const params::AllParams& catalogue() {
  static const params::AllParams instance("/nonexistent-rigcore-home/", lib::posix_file_system());
  return instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const bool add_missing = size > 0 && (data[0] & 1) != 0;
  const std::string_view bytes =
      size > 0 ? std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1)
               : std::string_view();

  params::ParTabl table(catalogue());
  for (const char* id : {"вес_на_крюке", "тальблок", "нагрузка", "cem_plotn"}) table.add(id);
  const int before = table.get_items_count();
  const auto report = table.apply_wits_config(bytes, "ZTS", add_missing);

  // Every report line stands for one mapped row; rows are only ever added.
  if (table.get_items_count() < before) __builtin_trap();
  if (!add_missing && table.get_items_count() != before) __builtin_trap();
  for (const std::string& line : report) {
    if (line.empty()) __builtin_trap();
  }
  return 0;
}
