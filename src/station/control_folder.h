// Picks up operator commands from the station home's control folder (station/control_format.h)
// and answers them. The station calls poll() once a tick; `rigstation control` calls submit()
// and waits for the answer. Every file call goes through the file-system seam.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "lib/file_system.h"

namespace station {

class ControlFolder {
 public:
  // Carries out one command line; returns the answer ("ok ..." or "error ...").
  using Handler = std::function<std::string(const std::string& command)>;

  ControlFolder(std::string home, lib::FileSystem& fs);

  const std::string& folder() const { return folder_; }
  // Makes the folder when missing; false (with the reason in `error`) when it cannot.
  bool prepare(std::string& error);
  // Carries out the waiting commands, oldest name first, at most a few per call.
  // Returns how many were answered.
  int poll(const Handler& handler);

  // Hands a command to the station: writes "<name>.cmd" and returns the name; throws
  // std::runtime_error when the file cannot be written.
  std::string submit(const std::string& command);
  // The answer to a submitted command, once there (the answer file is removed).
  std::optional<std::string> take_answer(const std::string& name);

 private:
  std::string folder_;
  lib::FileSystem& fs_;
  unsigned sequence_ = 0;
  std::unique_ptr<lib::FolderWatch> watch_;  // null: the folder's time is polled instead
  bool left_waiting_ = false;  // commands beyond the last call's share are still there
  static constexpr int kListEvery = 5;
  std::int64_t quiet_since_ns_ = -1;  // the folder's time when it was last found empty
  int quiet_polls_ = 0;
};

}  // namespace station
