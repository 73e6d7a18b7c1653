// Runs the built rigstation as a user would and compares what it said with a golden file.
//
// A Transcript collects the steps of one scenario (the command line, exit code, stdout and
// stderr of each run) after masking what legitimately differs between runs: the scratch
// folder (shown as <HOME>/ and <TMP>/), dates and times, and process ids. At the end it is
// compared with tests/program/golden/<name>.txt; a mismatch fails with gtest's line diff.
// With RIGCORE_UPDATE_GOLDEN=1 in the environment the golden file is rewritten instead (and
// the test passes), so after an intended change of output:
//   RIGCORE_UPDATE_GOLDEN=1 build/debug/tests/test_program
//   git diff tests/program/golden   # read every change before committing it
//
// The program runs with RIGCORE_HOME unset, TZ=UTC and LANG=C.UTF-8, in the scratch folder,
// with no input; a run that does not end within two minutes is killed (and fails).
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/fakes.h"

extern char** environ;

namespace golden {

struct Run {
  int exit_code = -1;  // -1: killed by a signal (the signal is in `signal`)
  int signal = 0;
  std::string out;
  std::string err;
};

// Runs rigstation with `args` in `workdir`, output captured through files of `workdir`.
inline Run run_program(const std::vector<std::string>& args, const std::string& workdir) {
  const std::string out_path = workdir + ".stdout";
  const std::string err_path = workdir + ".stderr";
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    if (name == "RIGCORE_HOME" || name == "TZ" || name == "LANG" || name.rfind("LC_", 0) == 0 ||
        name == "COLUMNS" || name == "LINES")
      continue;
    env.push_back(entry);
  }
  env.push_back("TZ=UTC");
  env.push_back("LANG=C.UTF-8");
  std::vector<std::string> argv_text = {RIGCORE_TEST_RIGSTATION};
  argv_text.insert(argv_text.end(), args.begin(), args.end());

  // Everything the child needs is prepared before fork: only async-signal-safe calls after.
  std::vector<char*> argv, envp;
  for (auto& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  Run r;
  const pid_t pid = ::fork();
  if (pid < 0) {
    ADD_FAILURE() << "fork: " << std::strerror(errno);
    return r;
  }
  if (pid == 0) {
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || ::chdir(workdir.c_str()) != 0) ::_exit(126);
    ::dup2(in, STDIN_FILENO);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(err, STDERR_FILENO);
    ::alarm(120);  // survives exec: a hung program is killed, not waited for forever
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) r.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
  r.out = testing_support::read_file(out_path);
  r.err = testing_support::read_file(err_path);
  std::filesystem::remove(out_path);
  std::filesystem::remove(err_path);
  return r;
}

inline void replace_all(std::string& text, const std::string& from, const std::string& to) {
  if (from.empty()) return;
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

// The scratch folder's path and what changes from run to run, replaced by fixed marks.
// Dates and times become placeholders of the same width, so tables stay aligned.
inline std::string mask(std::string text, const std::string& home, const std::string& tmp) {
  replace_all(text, RIGCORE_TEST_RIGSTATION, "rigstation");  // usage lines name the program
  replace_all(text, home, "<HOME>/");
  replace_all(text, home.substr(0, home.size() - 1), "<HOME>");
  replace_all(text, tmp, "<TMP>/");
  static const std::regex date_time(R"(\d{2}\.\d{2}\.\d{4} \d{2}:\d{2}(:\d{2}(\.\d+)?)?)");
  static const std::regex iso_date_time(R"(\d{4}-\d{2}-\d{2}[T ]\d{2}:\d{2}:\d{2}(\.\d+)?Z?)");
  static const std::regex date(R"(\b\d{2}\.\d{2}\.\d{4}\b)");
  static const std::regex pid(R"(\b(process|pid)( |=)\d+)");
  text = std::regex_replace(text, date_time, "dd.mm.yyyy hh:mm:ss");
  text = std::regex_replace(text, iso_date_time, "yyyy-mm-ddThh:mm:ss");
  text = std::regex_replace(text, date, "dd.mm.yyyy");
  text = std::regex_replace(text, pid, "$1$2<PID>");
  return text;
}

inline std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// One scenario: a scratch folder with a home in it, the runs, and the golden comparison.
class Transcript {
 public:
  explicit Transcript(std::string name) : name_(std::move(name)) {
    std::filesystem::create_directories(home());
  }

  // The station home of this scenario, with a trailing '/'.
  std::string home() const { return dir_.path() + "home/"; }
  // A file of the scratch folder outside the home.
  std::string file(const std::string& name) const { return dir_.file(name); }

  // Runs rigstation with `args` ("<HOME>" in an argument stands for the home folder) and
  // records the masked result. `out_filter` reshapes stdout before masking (e.g. to hide
  // numbers that move). Returns the unmasked result.
  Run run(std::vector<std::string> args,
          const std::function<std::string(const std::string&)>& out_filter = {}) {
    std::string shown;
    for (auto& a : args) {
      shown += " " + (a.find(' ') != std::string::npos || a.empty() ? "'" + a + "'" : a);
      replace_all(a, "<HOME>/", home());
      replace_all(a, "<HOME>", home().substr(0, home().size() - 1));
      replace_all(a, "<TMP>/", dir_.path());
    }
    Run r = run_program(args, dir_.path());
    text_ += "$ rigstation" + shown + "\n";
    text_ += r.signal != 0 ? "## killed by signal " + std::to_string(r.signal) + "\n"
                           : "## exit " + std::to_string(r.exit_code) + "\n";
    text_ += "## stdout\n" +
             with_newline(mask(out_filter ? out_filter(r.out) : r.out, home(), dir_.path()));
    text_ += "## stderr\n" + with_newline(mask(r.err, home(), dir_.path()));
    return r;
  }

  // A note in the transcript (what the test did between two runs).
  void note(const std::string& text) { text_ += "# " + text + "\n"; }

  const std::string& text() const { return text_; }

  // Compares the transcript with its golden file, or rewrites the file when asked to.
  void check() const {
    const std::string path = std::string(RIGCORE_GOLDEN_DIR) + "/" + name_ + ".txt";
    const char* update = std::getenv("RIGCORE_UPDATE_GOLDEN");
    if (update != nullptr && std::string(update) == "1") {
      std::ofstream(path, std::ios::binary | std::ios::trunc) << text_;
      std::printf("golden file rewritten: %s\n", path.c_str());
      return;
    }
    const auto golden = lib::read_whole_file(path, lib::posix_file_system());
    ASSERT_TRUE(golden) << "no golden file " << path
                        << " (RIGCORE_UPDATE_GOLDEN=1 writes it); the output was:\n"
                        << text_;
    // gtest shows a multi-line mismatch as a line diff with context.
    EXPECT_EQ(*golden, text_) << "the output differs from " << path
                              << "; if the change is intended, rerun with "
                                 "RIGCORE_UPDATE_GOLDEN=1 and review the diff.";
  }

 private:
  static std::string with_newline(std::string s) {
    if (!s.empty() && s.back() != '\n') s += "\n## (no newline at the end)\n";
    return s;
  }

  std::string name_;
  testing_support::TempDir dir_;
  std::string text_;
};

}  // namespace golden
