// rigstation run: the station itself, once a second on the main thread, until stopped.
#include <sys/ioctl.h>
#include <unistd.h>

#include <fmt/format.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <thread>

#include "command_registry.h"
#include "core/system.h"
#include "hardware/protocol_names.h"
#include "json_output.h"
#include "lib/alsa_audio_output.h"
#include "lib/date_time.h"
#include "lib/file_system.h"
#include "lib/home_folder.h"
#include "run_web.h"
#include "station/home_lock.h"
#include "station/live_view.h"
#include "station/station.h"
#include "station/station_audio.h"
#include "station/tick_schedule.h"
#include "web/query.h"
#include "web/tick_json.h"

namespace {

std::atomic<bool> g_stop{false};

void on_signal(int) {
  g_stop = true;
}

struct RunOptions {
  station::StationSettings settings;
  bool no_restore = false;
  bool restore = false;  // the default anyway; accepted so scripts can say it
  int seconds = 0;
  bool json = false;
  bool no_sound = false;
  std::string sound_device = lib::kDefaultSoundDevice;
  std::string http;      // the web view's address; empty: none
  std::string wits_out;  // the WITS sender's [HOST:]PORT; empty: none
};

std::string fmt_value(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", v);
  return buf;
}

// A row whose conversion gives no number shows that, not its last sound value.
std::string shown_value(const station::RowView& r) {
  return r.valid ? fmt_value(r.value) : "not valid";
}

// The terminal's size, 80x24 when it cannot be asked.
void terminal_size(std::size_t& columns, std::size_t& lines) {
  columns = 80;
  lines = 24;
  winsize ws{};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 && ws.ws_row > 0) {
    columns = ws.ws_col;
    lines = ws.ws_row;
  }
}

// The live view draws on the terminal's second screen, so what the start printed stays on
// the first one, readable again once the station stops.
constexpr const char* kEnterViewScreen = "\x1b[?1049h";
constexpr const char* kLeaveViewScreen = "\x1b[?1049l";

void print_screen(const station::Station& st, bool clear, const std::vector<std::string>& created) {
  const station::LiveViewInput in =
      station::live_view_input(st, created, lib::format_date_time(lib::now(lib::system_clock())));
  std::size_t columns = 0, lines = 0;
  terminal_size(columns, lines);
  if (clear) std::fputs("\x1b[H\x1b[2J", stdout);
  const auto screen = station::live_view_lines(in, columns, lines);
  for (std::size_t i = 0; i < screen.size(); ++i)
    std::printf(i + 1 < screen.size() ? "%s\n" : "%s", screen[i].c_str());
  std::fflush(stdout);
}

void print_line(const station::Station& st) {
  const auto& s = st.source();
  std::printf("%s tick=%llu ok=%llu fail=%llu",
              lib::format_date_time(lib::now(lib::system_clock())).c_str(),
              static_cast<unsigned long long>(s.ticks),
              static_cast<unsigned long long>(s.good_readings),
              static_cast<unsigned long long>(s.failures));
  if (s.lost) std::printf(" source=lost");
  const auto rig = st.rig();
  std::printf(" bottom=%.2f bit=%.2f lag=%.2f block=%.2f operation=%d", rig.bottom, rig.bit,
              rig.lag, rig.block, rig.operation);
  std::printf(" stands=%d pipes=%d footage=%.2f drill_hours=%.3f rop=%.1f", rig.stands, rig.pipes,
              rig.footage, rig.drill_hours, rig.rop);
  const auto mud = st.mud();
  if (!mud.pumps.empty()) std::printf(" flow_in=%.1f", mud.flow_lpm);
  if (!mud.tanks.empty())
    std::printf(" active=%.2f total=%.2f pit_gain=%+.2f trip=%.2f", mud.active, mud.whole,
                mud.pit_gain, mud.doliv);
  for (const auto& r : st.rows())
    std::printf(" %s=%s%s%s", r.identifier.c_str(), shown_value(r).c_str(),
                r.stale ? "(stale)" : "", r.alarm ? "(ALARM)" : "");
  std::printf("\n");
  std::fflush(stdout);
}

// The same writer as the web view's (web/tick_json.h), in the program's shape.
void print_json(const station::Station& st, reg::System& hub,
                std::shared_ptr<const web::TickLabels>& labels) {
  web::PictureOptions options;
  options.detail = true;
  rigstation::print_json(web::program_json(web::take_picture(st, hub, labels, options)));
  std::fflush(stdout);
}

// A folder on a memory file system for the files rewritten every tick or two: the service's
// runtime folder (RuntimeDirectory= of the unit), else one of the user's runtime
// folder per home; empty when neither exists (the file then stays in the home).
std::string runtime_folder(const std::string& home) {
  if (const char* service = std::getenv("RUNTIME_DIRECTORY"); service && *service) {
    const std::string first(service, std::strcspn(service, ":"));
    return lib::with_trailing_slash(first);
  }
  const std::string user = "/run/user/" + std::to_string(::getuid()) + "/";
  if (!lib::is_folder(lib::posix_file_system(), user)) return {};
  return user + "rigstation-" + fmt::format("{:016x}", std::hash<std::string>{}(home)) + "/";
}

int run(const rigstation::CommandContext& context, const RunOptions& options) {
  // Before anything reads or writes the home (the hub makes folders and reads the journals
  // as it is built): a refused station leaves the home as it found it.
  std::optional<station::HomeLock> home_lock;
  try {
    home_lock.emplace(lib::posix_file_system(), context.home());
  } catch (const station::HomeLockError& e) {
    std::fprintf(stderr, "rigstation: %s\n", e.what());
    return 1;
  }
  station::StationAudio audio(options.no_sound, options.sound_device, lib::posix_file_system());
  reg::SystemOptions hub_options;
  hub_options.home_folder = context.home();
  hub_options.audio = &audio.output();
  hub_options.runtime_folder = runtime_folder(context.home());
  reg::System hub(hub_options);
  audio.attach([&hub](const std::string& m) { hub.error_log().write(m); });
  // The output outlives the hub: its reports stop before the log goes.
  struct Detach {
    station::StationAudio& audio;
    ~Detach() { audio.detach(); }
  } detach{audio};
  if (!audio.note().empty()) {
    std::fprintf(stderr, "rigstation: %s\n", audio.note().c_str());
    hub.error_log().write(audio.note());
  }
  station::Station st(hub);
  station::StationSettings settings = options.settings;
  settings.restore = !options.no_restore;
  if (!options.wits_out.empty()) {
    std::string error;
    const auto listen = web::parse_listen_address(options.wits_out, error);
    if (!listen || listen->port == 0) {
      std::fprintf(stderr, "rigstation: --wits-out %s\n",
                   listen ? ("'" + options.wits_out + "' names no port from 1 to 65535").c_str()
                          : error.c_str());
      return 1;
    }
    settings.wits_out_address = listen->host;
    settings.wits_out_port = static_cast<int>(listen->port);
  }
  std::vector<std::string> created;
  // A closed terminal or SSH session (SIGHUP) stops the station as Ctrl-C does: with a save.
  // In place before the start, so a service stopped while the station starts up still saves.
  std::signal(SIGINT, on_signal);
  std::signal(SIGTERM, on_signal);
  std::signal(SIGHUP, on_signal);
  try {
    created = st.open(settings);
    for (const auto& line : created) std::fprintf(stderr, "created %s\n", line.c_str());
    for (const auto& note : st.settings_notes())
      std::fprintf(stderr, "settings: %s\n", note.c_str());
    for (const auto& line : st.start_notes())
      std::fprintf(stderr, "rigstation: %s\n", line.c_str());
  } catch (const station::StationError& e) {
    std::fprintf(stderr, "rigstation: %s\n", e.what());
    return 1;
  }
  const bool screen = !options.json && ::isatty(STDOUT_FILENO);
  std::unique_ptr<rigstation::RunWeb> web;
  if (!options.http.empty()) {
    try {
      web = rigstation::start_web(options.http, st, hub);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "rigstation: %s\n", e.what());
      st.close();
      return 1;
    }
  }

  // Missed slots are skipped, not replayed: a bus outage must not end in a burst of ticks.
  station::TickSchedule schedule(hub.clock());
  int ticks = 0;
  std::shared_ptr<const web::TickLabels> json_labels;
  if (screen) std::fputs(kEnterViewScreen, stdout);
  while (!g_stop) {
    if (web) web->before_tick();
    st.tick();
    ++ticks;
    if (web) web->after_tick();
    if (options.json) {
      print_json(st, hub, json_labels);
    } else if (screen) {
      print_screen(st, true, created);
    } else {
      print_line(st);
    }
    if (const std::string m = st.take_save_message(); !m.empty())
      std::fprintf(stderr, "rigstation: %s\n", m.c_str());
    if (options.seconds > 0 && ticks >= options.seconds) break;
    if (st.scenario_finished()) break;
    schedule.tick_done();
    // Sleep in short steps so a signal stops the loop promptly.
    while (!g_stop && schedule.wait_ms() > 0)
      std::this_thread::sleep_for(
          std::chrono::milliseconds(std::min<std::int64_t>(schedule.wait_ms(), 50)));
  }
  if (screen) {
    std::fputs(kLeaveViewScreen, stdout);
    std::fflush(stdout);
  }
  web.reset();  // no client reads a station being closed
  if (!st.close()) {
    std::fprintf(stderr, "rigstation: stopped after %d ticks; the state was NOT saved: %s\n", ticks,
                 hub.last_save_error().c_str());
    return 2;
  }
  std::fprintf(stderr, "rigstation: stopped after %d ticks; state saved to %s%s\n", ticks,
               hub.get_exe_path().c_str(), reg::kStateFileName);
  return 0;
}

void add_run(CLI::App& app, rigstation::CommandContext& context) {
  auto options = std::make_shared<RunOptions>();
  CLI::App* cmd = app.add_subcommand("run", "Run the station: one data tick a second until Ctrl-C");
  cmd->add_option("--protocol", options->settings.protocol,
                  "Data source: " + hardware::protocol_name_list() +
                      " or a protocol number (default: the settings)");
  cmd->add_option("--port", options->settings.port,
                  "Serial device, e.g. /dev/ttyUSB0 (default: the settings)");
  cmd->add_option("--addresses", options->settings.addresses,
                  "Bus addresses on a 2017 bus, e.g. 1,2,33,65 (default: the settings)");
  cmd->add_flag("--no-restore", options->no_restore, "Do not load the saved state sys.bin");
  cmd->add_flag("--restore", options->restore, "Load the saved state sys.bin (the default)");
  cmd->add_option("--seconds", options->seconds,
                  "Stop after this many ticks (0: run until stopped)")
      ->check(CLI::Validator(
          [](std::string& value) {
            return !value.empty() && value[0] == '-'
                       ? "a number of ticks cannot be negative (" + value +
                             "); give 0 or leave it out to run until stopped"
                       : std::string();
          },
          "TICKS"));
  cmd->add_option("--save-every", options->settings.save_every,
                  "Save the state every SECONDS while running (default: the settings, 5)")
      ->check(CLI::Range(1, 86400));
  cmd->add_flag("--json", options->json, "One JSON line per tick");
  cmd->add_flag("--no-sound", options->no_sound,
                "Play no sound and speak no word (alarms still show and switch the relays)");
  cmd->add_option("--sound-device", options->sound_device,
                  "ALSA device to play on (default: \"default\"; \"null\" plays nowhere)");
  cmd->add_option("--http", options->http,
                  "Serve the web view at HOST:PORT, or PORT on 127.0.0.1 (docs/web-api.md); "
                  "off by default");
  cmd->add_option("--scenario", options->settings.scenario,
                  "Play a scripted-rig scenario file on the emulator (see scenarios/); the run "
                  "stops at its end")
      ->check(CLI::ExistingFile);
  cmd->add_option("--race", options->settings.race,
                  "Registration run number: the saved run's number continues it, another starts "
                  "a new run")
      ->check(CLI::Range(1, 1000000));
  cmd->add_option("--wits-out", options->wits_out,
                  "Publish the parameters of the home's wits_out.cfg (a starter is written when "
                  "missing) as WITS level 0 to every client of HOST:PORT, or PORT on 127.0.0.1, "
                  "each tick");
  cmd->callback([&context, options] { std::exit(run(context, *options)); });
}

}  // namespace

RIGSTATION_COMMAND("run", add_run);
