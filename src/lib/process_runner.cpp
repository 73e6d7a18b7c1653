#include "lib/process_runner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace lib {
namespace {

class SystemProcessRunner : public ProcessRunner {
 public:
  ProcessResult run(const std::vector<std::string>& argv) override {
    ProcessResult result;
    if (argv.empty()) {
      result.error = "no program given";
      return result;
    }
    int pipe_fds[2];
    if (::pipe2(pipe_fds, O_CLOEXEC) != 0) {
      result.error = std::string("cannot make a pipe: ") + std::strerror(errno);
      return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 2);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int err = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe_fds[1]);
    if (err != 0) {
      ::close(pipe_fds[0]);
      result.error = "cannot start '" + argv[0] + "': " + std::strerror(err);
      return result;
    }
    result.started = true;
    char buf[1024];
    for (;;) {
      const ssize_t n = ::read(pipe_fds[0], buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      result.output.append(buf, static_cast<std::size_t>(n));
      if (result.output.size() > kMaxProcessOutput)
        result.output.erase(0, result.output.size() - kMaxProcessOutput);
    }
    ::close(pipe_fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
      if (errno != EINTR) {
        result.error = std::string("cannot wait for '") + argv[0] + "': " + std::strerror(errno);
        return result;
      }
    }
    if (WIFEXITED(status)) {
      result.exit_code = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
      result.error = "killed by signal " + std::to_string(WTERMSIG(status));
    }
    return result;
  }
};

}  // namespace

ProcessRunner& system_process_runner() {
  static SystemProcessRunner runner;
  return runner;
}

}  // namespace lib
