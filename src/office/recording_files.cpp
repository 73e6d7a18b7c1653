#include "office/recording_files.h"

#include <algorithm>
#include <charconv>

#include "storage/real_time_format.h"

namespace office {
namespace {

struct Suffix {
  RecordingKind kind;
  const char* suffix;
  const char* name;
};
// The fast file's suffix ends like the time file's: it is looked at first.
constexpr Suffix kSuffixes[] = {{RecordingKind::fast, rtf::kFastSuffix, "fast"},
                                {RecordingKind::time, rtf::kTimeSuffix, "time"},
                                {RecordingKind::depth, rtf::kDepthSuffix, "depth"},
                                {RecordingKind::lag, rtf::kLagSuffix, "lag"}};

}  // namespace

const char* kind_name(RecordingKind kind) {
  for (const Suffix& s : kSuffixes)
    if (s.kind == kind) return s.name;
  return "?";
}

std::optional<RecordingKind> kind_of_name(std::string_view name) {
  for (const Suffix& s : kSuffixes)
    if (name == s.name) return s.kind;
  return std::nullopt;
}

std::optional<RecordingFile> recording_of_name(const std::string& name) {
  for (const Suffix& s : kSuffixes) {
    const std::string_view suffix = s.suffix;
    if (name.size() <= suffix.size() || !name.ends_with(suffix)) continue;
    const std::string_view digits(name.data(), name.size() - suffix.size());
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return std::nullopt;
    int race = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), race);
    if (ec != std::errc() || end != digits.data() + digits.size() || race <= 0) return std::nullopt;
    return RecordingFile{race, s.kind, name, name};
  }
  return std::nullopt;
}

std::vector<RecordingFile> list_recordings(const std::string& folder, lib::FileSystem& fs) {
  std::vector<RecordingFile> out;
  for (const std::string& name : fs.list_folder(folder)) {
    std::optional<RecordingFile> f = recording_of_name(name);
    if (!f) continue;
    f->path = folder + name;
    const auto status = fs.stat(f->path);
    if (!status || !status->is_regular()) continue;
    out.push_back(std::move(*f));
  }
  std::sort(out.begin(), out.end(), [](const RecordingFile& a, const RecordingFile& b) {
    return a.race != b.race ? a.race < b.race : a.kind < b.kind;
  });
  return out;
}

}  // namespace office
