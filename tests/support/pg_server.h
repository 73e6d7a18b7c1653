// A PostgreSQL server of the tests' own: a fresh cluster made with initdb in a temporary
// folder, listening on a unix socket in that folder and on a loopback TCP port, stopped and
// removed at the end. The binaries are Debian's (/usr/lib/postgresql/<version>/bin, from the
// package postgresql that scripts/setup.sh installs). Run as root, the server runs as the
// unprivileged user `postgres` (initdb refuses root).
//
// Tuned for tests unless asked to be durable, not for keeping data through a power cut: no
// fsync. A crash of the server (restart_immediate) still keeps every committed transaction,
// as the operating system holds what was written.
#pragma once

#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "lib/process_runner.h"

namespace testing_support {

class PgServer {
 public:
  // The binaries' folder, or "" when PostgreSQL is not installed.
  static std::string find_binaries() {
    std::string best;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/usr/lib/postgresql", ec)) {
      const std::string bin = e.path().string() + "/bin";
      if (std::filesystem::exists(bin + "/initdb") && bin > best) best = bin;
    }
    return best;
  }

  // Starts a server; throws std::runtime_error with the tools' output when it cannot.
  // `durable`: flushed to disk as a production server is (the benchmarks), not tuned for
  // tests.
  explicit PgServer(const std::string& binaries, bool durable = false)
      : bin_(binaries), durable_(durable) {
    as_root_ = ::geteuid() == 0;
    dir_ = make_folder();
    port_ = free_port();
    watch();
    run({bin_ + "/initdb", "-D", data(), "-U", kUser, "-A", "trust", "-E", "UTF8", "--locale=C",
         "--no-sync", "--no-instructions"},
        "initdb");
    start();
  }
  ~PgServer() {
    try {
      run({bin_ + "/pg_ctl", "-D", data(), "-m", "immediate", "-w", "stop"}, "pg_ctl stop");
    } catch (const std::exception&) {
    }
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
    // The watchdog finds nothing left to do and ends.
    ::close(watch_fd_);
    int status = 0;
    ::waitpid(watchdog_, &status, 0);
  }
  PgServer(const PgServer&) = delete;
  PgServer& operator=(const PgServer&) = delete;

  static constexpr const char* kUser = "rigcore";
  int port() const { return port_; }
  const std::string& socket_dir() const { return dir_; }

  // A libpq URI of database `db` over the unix socket.
  std::string url(const std::string& db) const {
    return "postgresql:///" + db + "?host=" + dir_ + "&port=" + std::to_string(port_) +
           "&user=" + kUser;
  }
  // The same over TCP to 127.0.0.1:`port` (a proxy in front of the server, say).
  std::string tcp_url(const std::string& db, int port) const {
    return "postgresql://" + std::string(kUser) + "@127.0.0.1:" + std::to_string(port) + "/" + db;
  }

  void create_database(const std::string& db) { psql("postgres", "CREATE DATABASE " + db); }

  // One statement's rows, fields split by '|', rows by '\n' (psql -A -t).
  std::string psql(const std::string& db, const std::string& sql) {
    return run(
        {bin_ + "/psql", "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-d", url(db), "-c", sql},
        "psql", false);
  }

  // The server killed and started again, as after a crash.
  void restart_immediate() {
    run({bin_ + "/pg_ctl", "-D", data(), "-m", "immediate", "-w", "stop"}, "pg_ctl stop");
    start();
  }
  void stop() { run({bin_ + "/pg_ctl", "-D", data(), "-m", "fast", "-w", "stop"}, "pg_ctl stop"); }
  void start() {
    const std::string options =
        "-k " + dir_ + " -p " + std::to_string(port_) +
        " -c listen_addresses=127.0.0.1 -c max_connections=200" +
        (durable_ ? " -c max_wal_size=4GB" : " -c fsync=off -c full_page_writes=off");
    run({bin_ + "/pg_ctl", "-D", data(), "-l", dir_ + "/server.log", "-o", options, "-w", "-t",
         "60", "start"},
        "pg_ctl start");
  }
  std::string binaries() const { return bin_; }

 private:
  std::string data() const { return dir_ + "/data"; }

  // Runs a tool, as `postgres` when root; its output when it succeeds.
  std::string run(std::vector<std::string> argv, const char* what, bool as_owner = true) {
    if (as_root_ && as_owner) argv.insert(argv.begin(), {"runuser", "-u", "postgres", "--"});
    const lib::ProcessResult r = lib::system_process_runner().run(argv);
    if (!r.ok()) {
      throw std::runtime_error(std::string(what) + " failed (" + r.error + "): " + r.output);
    }
    return r.output;
  }

  // A folder the server's user owns: under TMPDIR when that user can reach it, else in /tmp
  // (a checkout under /root cannot be entered by `postgres`).
  std::string make_folder() {
    for (const std::string& base :
         {std::filesystem::temp_directory_path().string(), std::string("/tmp")}) {
      std::string tmpl = base + "/rigcore-pg-XXXXXX";
      if (::mkdtemp(tmpl.data()) == nullptr) continue;
      if (!as_root_) return tmpl;
      const passwd* pw = ::getpwnam("postgres");
      if (pw == nullptr)
        throw std::runtime_error("running as root, but there is no user 'postgres'");
      if (::chown(tmpl.c_str(), pw->pw_uid, pw->pw_gid) == 0 &&
          lib::system_process_runner()
              .run({"runuser", "-u", "postgres", "--", "test", "-w", tmpl})
              .ok() &&
          tmpl.size() < 80) {
        return tmpl;
      }
      std::filesystem::remove_all(tmpl);
    }
    throw std::runtime_error("no folder the server's user can write");
  }

  // A process that stops the server and removes its folder once the tests' process is gone,
  // however it ended (a crash, a kill by ctest's timeout): it waits for the end of a pipe
  // only that process holds.
  void watch() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("no pipe for the watchdog");
    std::string stop = bin_ + "/pg_ctl -D '" + data() + "' -m immediate -w stop";
    if (as_root_) stop = "runuser -u postgres -- " + stop;
    const std::string script = stop + " >/dev/null 2>&1; rm -rf '" + dir_ + "'";
    watchdog_ = ::fork();
    if (watchdog_ == 0) {
      ::close(fds[1]);
      char c;
      while (::read(fds[0], &c, 1) > 0) {
      }
      ::execl("/bin/sh", "sh", "-c", script.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(fds[0]);
    watch_fd_ = fds[1];
  }

  static int free_port() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
      ::close(fd);
      throw std::runtime_error("no free port");
    }
    ::close(fd);
    return ntohs(a.sin_port);
  }

  std::string bin_;
  bool as_root_ = false;
  bool durable_ = false;
  pid_t watchdog_ = -1;
  int watch_fd_ = -1;
  std::string dir_;
  int port_ = 0;
};

}  // namespace testing_support
