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

// Replaces `path` with the values under `lock` (held for the whole replacement). Returns
// false when the file cannot be written; the export is best-effort and never throws.
bool export_shared_values(const std::string& path, const SharedValues& v, lib::lock_object& lock,
                          lib::FileSystem& fs);

// Reads the file under `lock`; nullopt when missing or not 20 bytes.
std::optional<SharedValues> read_shared_values(const std::string& path, lib::lock_object& lock,
                                               lib::FileSystem& fs);

}  // namespace reg
