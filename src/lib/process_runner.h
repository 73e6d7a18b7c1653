// Running another program and waiting for it: the seam for tools the station calls (the
// speech synthesiser that makes the word files), so tests can fake them.
//
// Thread safety: run() may be called from any thread; each call waits for its own child.
#pragma once

#include <string>
#include <vector>

namespace lib {

struct ProcessResult {
  // False when the program could not be started at all (not installed): `error` says why.
  bool started = false;
  // The exit code when it ended normally; -1 when it was killed or not started.
  int exit_code = -1;
  // Why it failed to start, or how it ended abnormally ("killed by signal 9"); empty otherwise.
  std::string error;
  // What it wrote to stdout and stderr (the last kMaxProcessOutput bytes).
  std::string output;
  bool ok() const { return started && exit_code == 0; }
};

inline constexpr std::size_t kMaxProcessOutput = 4096;

class ProcessRunner {
 public:
  virtual ~ProcessRunner() = default;
  // Runs argv[0] (looked up on PATH) with the arguments, stdin from /dev/null, and waits.
  virtual ProcessResult run(const std::vector<std::string>& argv) = 0;
};

// The real one.
ProcessRunner& system_process_runner();

}  // namespace lib
