// Feeds arbitrary bytes to the parameter-file reader and its ".extended" companion. The
// first two bytes choose where the companion's bytes start. Whatever is read must write
// out and read back to the same bytes, and must load into a table and its state block.
#include <cstdint>
#include <string>
#include <string_view>

#include "lib/serial_list.h"
#include "params/all_params.h"
#include "params/extended_file.h"
#include "params/par_tabl.h"
#include "params/param_file.h"

namespace {

const params::AllParams& catalogue() {
  // No fast list is read from a folder that does not exist.
  static const params::AllParams instance("/nonexistent-rigcore-home/");
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

  // What was read writes out and reads back unchanged.
  const auto read = params::param_file::read(file, params::kMaxParams);
  const std::string written = params::param_file::write(read.rows, read.db_params);
  const auto again = params::param_file::read(written, params::kMaxParams);
  if (!again.problems.empty() || again.rows.size() != read.rows.size() ||
      params::param_file::write(again.rows, again.db_params) != written) {
    __builtin_trap();
  }

  for (auto enc : {lib::StringEnc::kCp1251, lib::StringEnc::kUtf8}) {
    const auto ext = params::extended_file::read(extended, enc);
    if (!ext.marked && !ext.entries.empty()) __builtin_trap();
  }

  params::ParTabl table(catalogue());
  table.load_from_memory(file, extended);
  if (table.get_items_count() > params::kMaxParams + 64) __builtin_trap();

  // The loaded table goes through its state block and back.
  lib::io::BinaryMemoryOutputStream out;
  lib::serial_list writer(out, 1);
  unsigned version = 0;
  table.get_serial_list(writer, version);
  params::ParTabl copy(catalogue());
  lib::io::BinaryMemoryInputStream in(out.data());
  lib::serial_list reader(in, 1);
  copy.get_serial_list(reader, version);
  if (copy.get_items_count() != table.get_items_count()) __builtin_trap();
  return 0;
}
