#include "station/control_folder.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <vector>

#include "lib/binary_stream.h"
#include "station/control_format.h"

namespace station {
namespace {

bool ends_with(const std::string& s, std::string_view suffix) {
  return s.size() >= suffix.size() &&
         s.compare(s.size() - suffix.size(), suffix.size(), suffix.data(), suffix.size()) == 0;
}

std::string first_line(std::string text) {
  if (const auto nl = text.find_first_of("\r\n"); nl != std::string::npos) text.resize(nl);
  return text;
}

}  // namespace

ControlFolder::ControlFolder(std::string home, lib::FileSystem& fs)
    : folder_(std::move(home) + std::string(control_format::kFolder) + "/"), fs_(fs) {}

bool ControlFolder::prepare(std::string& error) {
  try {
    lib::make_dirs(fs_, folder_);
    // Made before the first listing, so no command after it goes unseen.
    watch_ = fs_.watch_folder(folder_);
    return true;
  } catch (const std::exception& e) {
    error = e.what();
    return false;
  }
}

int ControlFolder::poll(const Handler& handler) {
  // While nothing arrives, one read of the folder's watch a tick; without a watch, one stat:
  // a new file changes the folder's time. The time has the kernel's coarse resolution, so a
  // file arriving just as the folder was listed may leave it unchanged: the folder is then
  // listed anyway every few calls.
  std::optional<lib::FileStatus> status;
  if (watch_) {
    if (!watch_->changed() && !left_waiting_) return 0;
  } else {
    status = fs_.stat(folder_);
    if (status && status->modified_ns == quiet_since_ns_ && ++quiet_polls_ < kListEvery) return 0;
  }
  quiet_polls_ = 0;
  std::vector<std::string> names;
  for (std::string& n : fs_.list_folder(folder_)) {
    if (ends_with(n, control_format::kCommandSuffix) && n.front() != '.') names.push_back(n);
  }
  std::sort(names.begin(), names.end());
  // Nothing waiting: remember the folder as it is. The answers written below change its time,
  // so the folder is listed once more after a busy tick.
  quiet_since_ns_ = names.empty() && status ? status->modified_ns : -1;
  int answered = 0;
  left_waiting_ = false;
  for (const std::string& file : names) {
    if (answered >= control_format::kMaxCommandsPerTick) {
      left_waiting_ = true;  // the next call lists the folder again
      break;
    }
    const std::string base = file.substr(0, file.size() - control_format::kCommandSuffix.size());
    std::string answer;
    try {
      const auto text = lib::read_whole_file(folder_ + file, fs_, control_format::kMaxCommandBytes);
      if (!text && errno == ENOENT) continue;  // taken away meanwhile
      answer = text ? handler(first_line(*text))
                    : "error the command file cannot be read: " +
                          lib::read_failure_text(errno, control_format::kMaxCommandBytes);
    } catch (const std::exception& e) {
      answer = std::string("error the command file cannot be read: ") + e.what();
    }
    try {
      lib::write_file_atomically(folder_ + base + std::string(control_format::kAnswerSuffix),
                                 answer + "\n", fs_, /*sync_to_disk=*/false);
    } catch (const std::exception&) {
      // The command was carried out; only its answer is lost, and the log has the action.
    }
    fs_.unlink(folder_ + file);
    ++answered;
  }
  return answered;
}

std::string ControlFolder::submit(const std::string& command) {
  const std::string name = "cmd-" + std::to_string(::getpid()) + "-" + std::to_string(++sequence_);
  lib::write_file_atomically(folder_ + name + std::string(control_format::kCommandSuffix),
                             command + "\n", fs_, /*sync_to_disk=*/false);
  return name;
}

std::optional<std::string> ControlFolder::take_answer(const std::string& name) {
  const std::string path = folder_ + name + std::string(control_format::kAnswerSuffix);
  std::optional<std::string> text;
  try {
    text = lib::read_whole_file(path, fs_, control_format::kMaxCommandBytes);
  } catch (const std::exception&) {
    return std::nullopt;
  }
  if (!text) return std::nullopt;
  fs_.unlink(path);
  return first_line(*text);
}

}  // namespace station
