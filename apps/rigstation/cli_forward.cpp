// rigstation forward: ships what the station records in its home to the office database
// (docs/office-database.md), beside the station and never inside it: it only reads the
// home, so a stalled link cannot slow the station's tick. Runs until stopped; with --drain it
// ships what is recorded so far and ends once the office holds it all.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string_view>
#include <thread>

#include "command_registry.h"
#include "core/config.h"
#include "lib/date_time.h"
#include "lib/file_system.h"
#include "lib/ident.h"
#include "office/forward_status.h"
#include "office/forward_status_format.h"
#include "office/forwarder.h"
#include "office/office_format.h"
#include "office/office_settings.h"
#include "office/pg/pg_office_db.h"
#include "station/station.h"

namespace {

// The names the office link reads the home by are the station's own.
static_assert(std::string_view(office::kRecordingFolder) == station::kRecordingFolder);
static_assert(std::string_view(office::kSettingsFileName) == reg::kConfigFileName);

constexpr int kExitFailed = 1;
constexpr int kExitSkipped = 2;
constexpr const char* kLockFileName = "forward.lock";

std::atomic<office::Forwarder*> g_forwarder{nullptr};
std::atomic<bool> g_stop{false};

void on_signal(int) {
  g_stop = true;
  if (office::Forwarder* f = g_forwarder.load()) f->stop();
}

struct ForwardArgs {
  std::string db;
  std::string rig;
  std::int64_t max_rate_kbit = -1;
  std::size_t batch_lines = 0;
  int timeout_s = office::pg::kDefaultIoTimeoutMs / 1000;
  bool drain = false;
  bool json = false;
};

void say(const std::string& line) {
  std::fprintf(stderr, "forward: %s\n", line.c_str());
  std::fflush(stderr);
}

// One forwarder per home: a second one would ship the same lines twice over (the office
// would refuse them, but both would keep trying).
int lock_home(const std::string& home) {
  lib::FileSystem& fs = lib::posix_file_system();
  const std::string path = home + kLockFileName;
  const int fd = fs.open(path, O_RDWR | O_CREAT, 0644);
  if (fd < 0) {
    say("cannot open '" + path + "': " + lib::errno_text(errno));
    return -1;
  }
  if (fs.flock(fd, LOCK_EX | LOCK_NB) != 0) {
    std::string holder = lib::read_whole_file(path, fs).value_or("");
    while (!holder.empty() && (holder.back() == '\n' || holder.back() == ' ')) holder.pop_back();
    say("another forwarder (process " + (holder.empty() ? std::string("?") : holder) +
        ") ships from the home '" + home + "'; this one does not start");
    fs.close(fd);
    return -1;
  }
  const std::string pid = std::to_string(::getpid()) + "\n";
  fs.ftruncate(fd, 0);
  fs.pwrite(fd, pid.data(), pid.size(), 0);
  return fd;
}

int run_forward(const std::string& home, const ForwardArgs& args) {
  lib::FileSystem& fs = lib::posix_file_system();
  office::OfficeSettings settings;
  for (const lib::OptionIssue& i : settings.load_from_file(home + office::kSettingsFileName, fs)) {
    if (i.section.empty() || lib::ident_equal(i.section, "офис"))
      say("settings: [" + i.section + "] " + i.key + " \"" + i.text + "\": " + i.reason);
  }
  const std::string address = !args.db.empty() ? args.db : settings.database;
  if (address.empty()) {
    say("no office database: give --db URL, or set [офис] адрес_базы in " + home +
        office::kSettingsFileName + " ('rigstation office set адрес_базы URL')");
    return kExitFailed;
  }
  office::ForwarderOptions options;
  options.home = home;
  options.rig = !args.rig.empty()       ? args.rig
                : !settings.rig.empty() ? settings.rig
                                        : office::host_name();
  options.max_rate_kbit = args.max_rate_kbit >= 0 ? args.max_rate_kbit : settings.max_rate_kbit;
  options.batch_lines = args.batch_lines;
  options.forwarder =
      office::host_name() + " pid " + std::to_string(::getpid()) + " rigstation " + RIGCORE_VERSION;
  const int lock = lock_home(home);
  if (lock < 0) return kExitFailed;

  office::pg::PgOfficeDb db(address, args.timeout_s * 1000);
  lib::Clock& clock = lib::system_clock();
  office::Forwarder fw(
      options, db, fs, clock,
      [](std::int64_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }, say);
  say("rig '" + options.rig + "' to the office " + db.shown() +
      (options.max_rate_kbit > 0 ? ", at most " + std::to_string(options.max_rate_kbit) + " kbit/s"
                                 : std::string()));

  const std::string status_path = home + office::forward_status::kFileName;
  lib::make_dirs(fs, status_path.substr(0, status_path.rfind('/')));
  // What a forwarder killed while writing its status left behind; the lock says no other
  // one is writing it.
  lib::remove_atomic_leftovers(status_path, fs);
  std::int64_t last_status_ms = -1, last_json_ms = -1;
  auto show = [&](bool now, bool stopped) {
    const std::int64_t ms = clock.steady_ms();
    office::StatusContext c{
        options.rig, db.shown(), ms, lib::get_local_time(clock), static_cast<long>(::getpid()),
        stopped};
    if (now || last_status_ms < 0 ||
        ms - last_status_ms >= office::forward_status::kEverySeconds * 1000) {
      last_status_ms = ms;
      try {
        lib::write_file_atomically(status_path, office::forward_status_json(fw.status(), c), fs,
                                   /*sync_to_disk=*/false);
      } catch (const std::exception&) {
        // The status is a courtesy to the web view; shipping goes on without it.
      }
    }
    if (args.json && (now || last_json_ms < 0 || ms - last_json_ms >= 1000)) {
      last_json_ms = ms;
      std::printf("%s\n", office::forward_status_json(fw.status(), c).c_str());
      std::fflush(stdout);
    }
  };
  fw.on_progress = [&] { show(false, false); };

  g_forwarder = &fw;
  std::signal(SIGINT, on_signal);
  std::signal(SIGTERM, on_signal);
  std::signal(SIGHUP, on_signal);
  int rc = 0;
  while (!g_stop) {
    const bool caught_up = fw.round();
    show(false, false);
    if (args.drain && caught_up) {
      rc = fw.status().skipped_files == 0 ? 0 : kExitSkipped;
      say("drained: the office holds every line recorded so far" +
          std::string(rc == 0 ? "" : " that could be shipped"));
      break;
    }
    if (args.drain && fw.status().office_refuses) {
      rc = kExitFailed;
      break;
    }
    for (std::int64_t wait = fw.idle_ms(); wait > 0 && !g_stop; wait -= 50)
      std::this_thread::sleep_for(std::chrono::milliseconds(std::min<std::int64_t>(wait, 50)));
  }
  g_forwarder = nullptr;
  if (g_stop && args.drain) rc = kExitFailed;
  show(true, true);
  db.close();
  fs.close(lock);
  return rc;
}

void add_forward(CLI::App& app, rigstation::CommandContext& context) {
  auto args = std::make_shared<ForwardArgs>();
  CLI::App* cmd = app.add_subcommand(
      "forward",
      "Ship the home's recordings, alarm episodes, journals and live frame to the office "
      "database (PostgreSQL), until stopped");
  cmd->add_option("--db", args->db,
                  "The office database: a libpq URI or key=value string, TLS and certificates "
                  "as libpq takes them (default: [офис] адрес_базы of the settings)");
  cmd->add_option("--rig", args->rig,
                  "The rig's name in the office (default: [офис] имя_буровой, else the host name)");
  cmd->add_option(
         "--max-rate", args->max_rate_kbit,
         "Send at most KBIT kbit/s on average; 0: no cap (default: [офис] предел_скорости)")
      ->check(CLI::Range(std::int64_t{0}, std::int64_t{10000000}));
  cmd->add_option("--batch-lines", args->batch_lines,
                  "Lines per shipment (default: 10000, or about two seconds of the rate cap)")
      ->check(CLI::Range(std::size_t{1}, std::size_t{1000000}));
  cmd->add_option("--timeout", args->timeout_s,
                  "Seconds the link may make no progress before it counts as lost (default: 30)")
      ->check(CLI::Range(1, 3600));
  cmd->add_flag("--drain", args->drain,
                "Ship everything recorded so far, then exit: 0 once the office holds it all, 1 "
                "when the office refuses the data, 2 when some recording cannot be shipped");
  cmd->add_flag("--json", args->json, "The link's state as one JSON line a second");
  cmd->callback([&context, args] { std::exit(run_forward(context.home(), *args)); });
}

}  // namespace

RIGSTATION_COMMAND("forward", add_forward);
