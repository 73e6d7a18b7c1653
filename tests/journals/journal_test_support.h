// Helpers shared by the journal tests: a log that collects lines, and builders of journal
// files the way older station versions wrote them (which the current writers never do).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "lib/binary_stream.h"
#include "lib/module_list.h"

namespace journal_tests {

struct CollectedLog {
  std::vector<std::string> lines;
  auto sink() {
    return [this](const std::string& line) { lines.push_back(line); };
  }
  bool mentions(const std::string& text) const {
    for (const auto& l : lines) {
      if (l.find(text) != std::string::npos) return true;
    }
    return false;
  }
};

// A stream for a file head and records in the given text encoding.
inline lib::io::BinaryMemoryOutputStream old_file_stream(lib::StringEnc enc) {
  lib::io::BinaryMemoryOutputStream out;
  out.set_string_encoding(enc);
  return out;
}

// Pushes the file's modification time forward, so a rewrite within the same clock tick is
// still seen as a change.
inline void touch_later(const std::string& path, int seconds) {
  auto t = std::filesystem::last_write_time(path);
  std::filesystem::last_write_time(path, t + std::chrono::seconds(seconds));
}

// Saves `from` through a module list and reads the bytes back into `to`.
inline lib::ModuleList::LoadReport state_round_trip(lib::ModuleBaseOld& from,
                                                    lib::ModuleBaseOld& to,
                                                    const std::string& name) {
  lib::ModuleList out_list;
  out_list.register_module(from, name);
  lib::io::BinaryMemoryOutputStream out;
  out_list.serialize(out, nullptr, 1);
  lib::ModuleList in_list;
  in_list.register_module(to, name);
  lib::io::BinaryMemoryInputStream in(out.data());
  return in_list.deserialize(in, 1, {});
}

}  // namespace journal_tests
