// The values of the shared export and its writer and reader.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "lib/file_system.h"
#include "lib/lock_object.h"

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

// Writes the shared-values file once a tick. The file is kept open and its 20 bytes are
// rewritten in place under `lock`: no temporary file, no rename and no new inode every second,
// so the file system does not push a fresh file to disk each tick. Before the file is first
// kept open it is made whole by an atomic replace, so it is never shorter than one record;
// a file that was removed, replaced or cut by someone else is made whole again the same way.
// A reader holding the same lock sees one whole record.
// Best-effort: write() returns false when the file cannot be written and never throws; the
// next call starts over. Not thread-safe: one owner (the hub's tick) calls it.
class SharedValuesWriter {
 public:
  SharedValuesWriter(std::string path, lib::lock_object& lock, lib::FileSystem& fs);
  ~SharedValuesWriter();
  SharedValuesWriter(const SharedValuesWriter&) = delete;
  SharedValuesWriter& operator=(const SharedValuesWriter&) = delete;

  bool write(const SharedValues& v);
  const std::string& path() const { return path_; }

 private:
  void close_file();

  std::string path_;
  lib::lock_object& lock_;
  lib::FileSystem& fs_;
  int fd_ = -1;
};

// Reads the file under `lock`; nullopt when missing or not 20 bytes.
std::optional<SharedValues> read_shared_values(const std::string& path, lib::lock_object& lock,
                                               lib::FileSystem& fs);

}  // namespace reg
