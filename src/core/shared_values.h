// The values of the shared export and its writer and reader.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "lib/file_system.h"
#include "lib/lock_object.h"
#include "lib/rewritten_file.h"

namespace reg {

struct SharedValues {
  double bottom_hole_depth = 0;
  double bit_depth = 0;
  double hook_load = 0;
  double block_position = 0;
  double inlet_pressure = 0;
  bool operator==(const SharedValues&) const = default;
};

// The 20 bytes of the file; each double is narrowed to float.
std::string encode_shared_values(const SharedValues& v);
// nullopt unless exactly the file's size.
std::optional<SharedValues> decode_shared_values(std::string_view bytes);

// Writes the shared-values file once a tick, rewritten in place under `lock`
// (lib::RewrittenFile): no temporary file, no rename and no new inode every second, so the
// file system does not push a fresh file to disk each tick, and the file is never shorter than
// one record. A reader holding the same lock sees one whole record.
// Best-effort: write() returns false when the file cannot be written and never throws; the
// next call starts over. Not thread-safe: one owner (the hub's tick) calls it.
class SharedValuesWriter {
 public:
  SharedValuesWriter(std::string path, lib::lock_object& lock, lib::FileSystem& fs);

  bool write(const SharedValues& v);
  const std::string& path() const { return file_.path(); }

 private:
  lib::RewrittenFile file_;
  lib::lock_object& lock_;
};

// Reads the file under `lock`; nullopt when missing or not 20 bytes.
std::optional<SharedValues> read_shared_values(const std::string& path, lib::lock_object& lock,
                                               lib::FileSystem& fs);

}  // namespace reg
