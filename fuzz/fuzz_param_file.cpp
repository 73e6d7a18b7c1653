// Feeds arbitrary bytes to the parameter-file reader and its ".extended" companion. The
// first two bytes choose where the companion's bytes start. Whatever is read must write
// out and read back to the same bytes; a table takes the pair whole or refuses it.
#include <cstdint>
#include <string>
#include <string_view>

#include "params/all_params.h"
#include "params/extended_file.h"
#include "params/par_tabl.h"
#include "params/param_file.h"

namespace {

const params::AllParams& catalogue() {
  // No fast list is read from a folder that does not exist.
  static const params::AllParams instance("/nonexistent-rigcore-home/", lib::posix_file_system());
  return instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view all(reinterpret_cast<const char*>(data), size);
  std::string_view file = all;
  std::string_view extended;
  if (size >= 2) {
    const std::size_t split = (data[0] | (std::size_t{data[1]} << 8)) % (size - 1);
    file = all.substr(2, split);
    extended = all.substr(2 + split);
  }

  // A sound file writes out and reads back unchanged.
  const auto read = params::param_file::read(file, params::kMaxParams);
  if (read.problems.empty()) {
    const std::string written = params::param_file::write(read.rows, read.db_params);
    const auto again = params::param_file::read(written, params::kMaxParams);
    if (!again.problems.empty() || again.rows.size() != read.rows.size() ||
        params::param_file::write(again.rows, again.db_params) != written) {
      __builtin_trap();
    }
  }

  bool ext_sound = true;
  for (auto enc : {lib::StringEnc::kCp1251, lib::StringEnc::kUtf8}) {
    const auto ext = params::extended_file::read(extended, enc);
    if (!ext.marked && (!ext.entries.empty() || ext.problems.empty())) __builtin_trap();
    if (enc == read.encoding) ext_sound = ext.problems.empty();
  }

  // A table takes a file whole or not at all.
  params::ParTabl table(catalogue());
  table.add("вес_на_крюке");
  const auto loaded = table.load_from_memory(file, extended);
  const bool sound = read.problems.empty() && ext_sound;
  if (static_cast<bool>(loaded) != sound) __builtin_trap();
  if (!loaded && (table.get_items_count() != 1 || !table.load_refused())) __builtin_trap();
  if (table.get_items_count() > params::kMaxParams + 64) __builtin_trap();
  return 0;
}
