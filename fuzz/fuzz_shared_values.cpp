// Feeds arbitrary bytes, as the content of the shared-values file, to its reader. Exactly
// the file's size reads, as the five floats at their offsets; any other size is refused.
// What was read, exported again, reads back the same.
#include <unistd.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "core/shared_values.h"
#include "core/shared_values_format.h"
#include "lib/file_system.h"
#include "lib/lock_object.h"

namespace {

// A folder made once per process for the file and its lock, removed at exit.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "fuzz_shared_values.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string file(const char* name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

ScratchFolder& scratch() {
  static ScratchFolder folder;
  return folder;
}

// The same float, or both not numbers (converting through double may quiet a NaN).
bool same_value(double read, const char* bytes) {
  float stored;
  std::memcpy(&stored, bytes, sizeof stored);
  if (std::isnan(stored)) return std::isnan(read);
  return static_cast<float>(read) == stored && read == static_cast<double>(stored);
}

bool same(const reg::SharedValues& a, const reg::SharedValues& b) {
  auto eq = [](double x, double y) { return x == y || (std::isnan(x) && std::isnan(y)); };
  return eq(a.bottom_hole_depth, b.bottom_hole_depth) && eq(a.bit_depth, b.bit_depth) &&
         eq(a.hook_load, b.hook_load) && eq(a.block_position, b.block_position) &&
         eq(a.inlet_pressure, b.inlet_pressure);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static_assert(std::endian::native == std::endian::little);
  const std::string path = scratch().file("kvb.dat");
  static lib::lock_object lock(lib::lock_object::kInterProcess, scratch().file("kvb.dat.lock"),
                               lib::posix_file_system());
  lib::write_file_atomically(path, std::string_view(reinterpret_cast<const char*>(data), size),
                             lib::posix_file_system(), /*sync_to_disk=*/false);

  const std::optional<reg::SharedValues> read =
      reg::read_shared_values(path, lock, lib::posix_file_system());
  if (size != reg::kvb::kFileBytes) {
    if (read) __builtin_trap();
    return 0;
  }
  if (!read) __builtin_trap();
  const char* bytes = reinterpret_cast<const char*>(data);
  if (!same_value(read->bottom_hole_depth, bytes + reg::kvb::kBottomHoleDepth) ||
      !same_value(read->bit_depth, bytes + reg::kvb::kBitDepth) ||
      !same_value(read->hook_load, bytes + reg::kvb::kHookLoad) ||
      !same_value(read->block_position, bytes + reg::kvb::kBlockPosition) ||
      !same_value(read->inlet_pressure, bytes + reg::kvb::kInletPressure)) {
    __builtin_trap();
  }

  // Written back in place over the file the input made, the values read the same again.
  reg::SharedValuesWriter writer(path, lock, lib::posix_file_system());
  if (!writer.write(*read) || !writer.write(*read)) __builtin_trap();
  const std::optional<reg::SharedValues> again =
      reg::read_shared_values(path, lock, lib::posix_file_system());
  if (!again || !same(*again, *read)) __builtin_trap();
  return 0;
}
