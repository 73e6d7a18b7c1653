// What the office database tests share: the server (started once by main), a fresh database
// with the schema for each case, rigstation run in the background and stopped or killed at
// will, and the comparison of a home's recordings with what the office holds of them.
#pragma once

#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "office/pg/pg_office_db.h"
#include "office/recording_files.h"
#include "program/golden_harness.h"
#include "support/pg_server.h"

namespace office_pg_test {

testing_support::PgServer& server();

// A database of its own for a test, with the office schema.
inline std::string fresh_database() {
  static int n = 0;
  const std::string name = "office_" + std::to_string(::getpid()) + "_" + std::to_string(++n);
  server().create_database(name);
  office::pg::PgOfficeDb db(server().url(name));
  db.migrate();
  return name;
}

// rigstation in the background, its output in files of `dir`.
class Child {
 public:
  Child(const std::vector<std::string>& args, const std::string& dir)
      : out_(dir + "child" + std::to_string(++count_) + ".out"),
        err_(dir + "child" + std::to_string(count_) + ".err") {
    std::vector<std::string> argv_text = {RIGCORE_TEST_RIGSTATION};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      const int in = ::open("/dev/null", O_RDONLY);
      const int out = ::open(out_.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      const int err = ::open(err_.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      ::dup2(in, 0);
      ::dup2(out, 1);
      ::dup2(err, 2);
      ::setenv("TZ", "UTC", 1);
      ::alarm(300);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
  }
  ~Child() {
    if (pid_ > 0 && !done_) {
      ::kill(pid_, SIGKILL);
      wait();
    }
  }
  void signal(int sig) { ::kill(pid_, sig); }
  // The exit code, -1 when killed by a signal; waits at most `seconds`.
  int wait(int seconds = 240) {
    int status = 0;
    for (int i = 0; i < seconds * 20; ++i) {
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        done_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
    done_ = true;
    ADD_FAILURE() << "rigstation did not end within " << seconds << " s: " << err();
    return -2;
  }
  std::string out() const { return testing_support::read_file(out_); }
  std::string err() const { return testing_support::read_file(err_); }

 private:
  static inline int count_ = 0;
  std::string out_, err_;
  pid_t pid_ = -1;
  bool done_ = false;
};

// A certificate and key for 127.0.0.1 made with the openssl tool, the key readable by the
// database server's user only (its owner, as root).
inline void certificate(const std::string& dir, const std::string& name) {
  const lib::ProcessResult r = lib::system_process_runner().run(
      {"openssl", "req", "-new", "-x509", "-days", "2", "-nodes", "-subj", "/CN=127.0.0.1",
       "-newkey", "rsa:2048", "-keyout", dir + name + ".key", "-out", dir + name + ".crt"});
  ASSERT_TRUE(r.ok()) << r.output;
  ::chmod((dir + name + ".key").c_str(), 0600);
  if (::geteuid() == 0) {
    const passwd* pw = ::getpwnam("postgres");
    ::chown((dir + name + ".key").c_str(), pw->pw_uid, pw->pw_gid);
  }
}

inline std::string count(const std::string& db, const std::string& sql) {
  std::string s = server().psql(db, sql);
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

// Every recording of the home, as `rec dump --csv` reads it from the file, is what
// `office export --csv` writes from the office; and the office holds no other line.
inline void expect_office_holds_the_home(const std::string& db, const std::string& rig,
                                         const std::string& home, const std::string& scratch) {
  std::size_t lines = 0;
  for (const office::RecordingFile& f :
       office::list_recordings(home + office::kRecordingFolder, lib::posix_file_system())) {
    SCOPED_TRACE(f.name);
    const golden::Run dump = golden::run_program({"rec", "dump", "--csv", f.path}, scratch);
    ASSERT_TRUE(dump.exit_code == 0 || dump.exit_code == 2) << dump.err;
    const std::string csv = scratch + "office.csv";
    const golden::Run exp = golden::run_program(
        {"office", "export", "--db", server().url(db), "--rig", rig, "--race",
         std::to_string(f.race), "--file", office::kind_name(f.kind), "--csv", csv},
        scratch);
    ASSERT_EQ(exp.exit_code, 0) << exp.err;
    EXPECT_EQ(testing_support::read_file(csv), dump.out);
    for (const std::string& line : golden::split_lines(dump.out))
      if (!line.starts_with("time;")) ++lines;
  }
  EXPECT_EQ(count(db,
                  "SELECT count(*) FROM lines l JOIN runs USING (run_id) JOIN rigs r USING "
                  "(rig_id) WHERE r.name = '" +
                      rig + "'"),
            std::to_string(lines));
}

}  // namespace office_pg_test
