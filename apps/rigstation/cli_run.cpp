// rigstation run: the station itself, once a second on the main thread, until stopped.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <thread>

#include "command_registry.h"
#include "core/system.h"
#include "lib/date_time.h"
#include "station/station.h"

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
};

std::string fmt_value(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", v);
  return buf;
}

// Pads to a width in characters, not bytes, so Cyrillic names line up.
std::string pad(const std::string& text, std::size_t width, bool right = false) {
  std::size_t chars = 0;
  for (unsigned char c : text) chars += (c & 0xC0) != 0x80;
  if (chars >= width) return text;
  const std::string fill(width - chars, ' ');
  return right ? fill + text : text + fill;
}

void print_screen(const station::Station& st, bool clear, const std::vector<std::string>& created) {
  const auto& s = st.source();
  if (clear) std::fputs("\x1b[H\x1b[2J", stdout);
  std::printf("rigstation — %s   tick %llu\n", lib::format_date_time(lib::now()).c_str(),
              static_cast<unsigned long long>(s.ticks));
  std::printf(
      "source: %s (id %d), port %s; good readings %llu, failures %llu, last good tick %llu\n\n",
      s.protocol_name.c_str(), s.protocol_id, s.port.c_str(),
      static_cast<unsigned long long>(s.good_readings), static_cast<unsigned long long>(s.failures),
      static_cast<unsigned long long>(s.last_good_tick));
  // What the first start made stays on screen, where the refresh cannot wipe it away.
  for (const auto& line : created) std::printf("created %s\n", line.c_str());
  if (!created.empty()) std::printf("\n");
  std::printf("%s %s  %s %s\n", pad("parameter", 30).c_str(), pad("value", 12, true).c_str(),
              pad("unit", 10).c_str(), pad("raw", 10, true).c_str());
  for (const auto& r : st.rows()) {
    std::printf("%s %s  %s %s\n", pad(r.identifier, 30).c_str(),
                pad(fmt_value(r.value), 12, true).c_str(), pad(r.unit, 10).c_str(),
                pad(r.has_raw ? fmt_value(r.raw) : "-", 10, true).c_str());
  }
  std::printf("\n%s %s  %s\n", pad("value", 30).c_str(), pad("", 12, true).c_str(), "unit");
  for (const auto& r : st.registered_values()) {
    std::printf("%s %s  %s\n", pad(r.identifier, 30).c_str(),
                pad(fmt_value(r.value), 12, true).c_str(), r.unit.c_str());
  }
  std::printf(
      "\nrecording: not yet part of this station build. Ctrl-C stops and saves the state.\n");
  std::fflush(stdout);
}

void print_line(const station::Station& st) {
  const auto& s = st.source();
  std::printf("%s tick=%llu ok=%llu fail=%llu", lib::format_date_time(lib::now()).c_str(),
              static_cast<unsigned long long>(s.ticks),
              static_cast<unsigned long long>(s.good_readings),
              static_cast<unsigned long long>(s.failures));
  for (const auto& r : st.rows())
    std::printf(" %s=%s", r.identifier.c_str(), fmt_value(r.value).c_str());
  std::printf("\n");
  std::fflush(stdout);
}

void print_json(const station::Station& st) {
  const auto& s = st.source();
  nlohmann::json j;
  j["time"] = lib::format_date_time(lib::now());
  j["tick"] = s.ticks;
  j["source"] = {
      {"protocol", s.protocol_id}, {"name", s.protocol_name}, {"port", s.port},
      {"good", s.good_readings},   {"failures", s.failures},  {"last_good_tick", s.last_good_tick}};
  for (const auto& r : st.rows()) {
    nlohmann::json row = {{"value", r.value}, {"unit", r.unit}};
    if (r.has_raw) row["raw"] = r.raw;
    j["values"][r.identifier] = row;
  }
  for (const auto& r : st.registered_values()) j["registered"][r.identifier] = r.value;
  std::printf("%s\n", j.dump().c_str());
  std::fflush(stdout);
}

int run(const rigstation::CommandContext& context, const RunOptions& options) {
  reg::SystemOptions hub_options;
  hub_options.home_folder = context.home();
  reg::System hub(hub_options);
  station::Station st(hub);
  station::StationSettings settings = options.settings;
  settings.restore = !options.no_restore;
  std::vector<std::string> created;
  try {
    created = st.open(settings);
    for (const auto& line : created) std::fprintf(stderr, "created %s\n", line.c_str());
    for (const auto& line : st.start_notes())
      std::fprintf(stderr, "rigstation: %s\n", line.c_str());
  } catch (const station::StationError& e) {
    std::fprintf(stderr, "rigstation: %s\n", e.what());
    return 1;
  }
  // A closed terminal or SSH session (SIGHUP) stops the station as Ctrl-C does: with a save.
  std::signal(SIGINT, on_signal);
  std::signal(SIGTERM, on_signal);
  std::signal(SIGHUP, on_signal);
  const bool screen = !options.json && ::isatty(STDOUT_FILENO);

  using clock = std::chrono::steady_clock;
  auto next = clock::now();
  int ticks = 0;
  while (!g_stop) {
    st.tick();
    ++ticks;
    if (options.json) {
      print_json(st);
    } else if (screen) {
      print_screen(st, true, created);
    } else {
      print_line(st);
    }
    if (const std::string m = st.take_save_message(); !m.empty())
      std::fprintf(stderr, "rigstation: %s\n", m.c_str());
    if (options.seconds > 0 && ticks >= options.seconds) break;
    next += std::chrono::seconds(1);
    // Sleep in short steps so a signal stops the loop promptly.
    while (!g_stop && clock::now() < next)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
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
  cmd->add_option(
      "--protocol", options->settings.protocol,
      "Data source: emulator, console, console2017, junction, depth (default: the settings)");
  cmd->add_option("--port", options->settings.port,
                  "Serial device, e.g. /dev/ttyUSB0 (default: the settings)");
  cmd->add_option("--addresses", options->settings.addresses,
                  "Bus addresses on a 2017 bus, e.g. 1,2,33,65 (default: the settings)");
  cmd->add_flag("--no-restore", options->no_restore, "Do not load the saved state sys.bin");
  cmd->add_flag("--restore", options->restore, "Load the saved state sys.bin (the default)");
  cmd->add_option("--seconds", options->seconds, "Stop after this many ticks");
  cmd->add_option("--save-every", options->settings.save_every,
                  "Save the state every SECONDS while running (default: the settings, 60)")
      ->check(CLI::Range(1, 86400));
  cmd->add_flag("--json", options->json, "One JSON line per tick");
  cmd->callback([&context, options] { std::exit(run(context, *options)); });
}

}  // namespace

RIGSTATION_COMMAND("run", add_run);
