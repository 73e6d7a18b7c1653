// The recording files of a station home (records/NNNN.realtim and its three siblings), found
// by their names: the run number and the kind of each.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lib/file_system.h"
#include "office/office_format.h"

namespace office {

struct RecordingFile {
  int race = 0;
  RecordingKind kind = RecordingKind::time;
  std::string name;  // bare file name, "0007.realtim"
  std::string path;
  bool operator==(const RecordingFile&) const = default;
};

// "time", "depth", "lag", "fast".
const char* kind_name(RecordingKind kind);
std::optional<RecordingKind> kind_of_name(std::string_view name);

// The run and kind of a file name; nullopt for any other name (a run number must be digits
// only, at least one, and not 0).
std::optional<RecordingFile> recording_of_name(const std::string& name);

// The recordings in `folder` (ending in '/'), by run and then kind; regular files only.
std::vector<RecordingFile> list_recordings(const std::string& folder, lib::FileSystem& fs);

}  // namespace office
