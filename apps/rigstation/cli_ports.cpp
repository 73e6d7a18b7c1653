// rigstation ports list [--port PATH]...: the serial ports a search would try.
// rigstation ports scan [--protocol NAME] [--port PATH]... [--only PATH] [-v] [--no-sound]
// [--sound-device NAME]: searches them for devices of every protocol of the station (or one),
// showing the progress, and prints what answered where; the tuning sound plays while it
// searches and each answer beeps. Ctrl-C cancels the search.
// Exit codes of scan: 0 something was found, 1 nothing was (or the search was cancelled),
// 2 a usage error.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "alarms/sound.h"
#include "command_registry.h"
#include "hardware/comm_protocols.h"
#include "hardware/port_search/find_com_report.h"
#include "hardware/port_search/find_com_thread.h"
#include "hardware/port_search/serial_port_list.h"
#include "hardware/protocol_names.h"
#include "lib/alsa_audio_output.h"
#include "lib/audio_output.h"
#include "lib/file_system.h"
#include "station/station_audio.h"

namespace {

constexpr int kExitNothingFound = 1;
constexpr int kExitUsage = 2;
constexpr int kWaitStepMs = 50;

volatile std::sig_atomic_t g_cancel = 0;
extern "C" void on_cancel_signal(int) {
  g_cancel = 1;
}

struct PortsArgs {
  std::vector<std::string> ports;
  std::string only;
  std::string protocol;
  int verbosity = 0;
  bool no_sound = false;
  std::string sound_device = lib::kDefaultSoundDevice;
};

hardware::SerialPortLister make_lister() {
  return hardware::SerialPortLister(
      hardware::libserialport_devices,
      [](const std::string& path) {
        return hardware::read_system_text(path, lib::posix_file_system());
      },
      [](std::string_view message) {
        std::fprintf(stderr, "ports: %.*s\n", static_cast<int>(message.size()), message.data());
      });
}

std::vector<std::string> named_ports(const PortsArgs& args) {
  std::vector<std::string> named = args.ports;
  if (!args.only.empty()) named.push_back(args.only);
  return named;
}

void list_ports(const PortsArgs& args) {
  const auto entries = make_lister().entries(named_ports(args));
  if (entries.empty()) {
    std::printf("no serial ports found; name pseudo-terminals and other devices with --port\n");
    return;
  }
  for (const hardware::SerialPortEntry& e : entries) {
    std::string note;
    if (e.kernel_console)
      note = e.searched ? "  (kernel console, searched because named)"
                        : "  (kernel console, skipped; name it with --port to search it)";
    else if (e.named_by_user)
      note = "  (named)";
    std::printf("%s%s\n", e.path.c_str(), note.c_str());
  }
}

// Width in characters, so Cyrillic cells line up.
std::size_t text_width(const std::string& text) {
  std::size_t chars = 0;
  for (unsigned char c : text) chars += (c & 0xC0) != 0x80;
  return chars;
}

void print_grid(const lib::TextGrid& grid) {
  std::vector<std::size_t> widths(grid.col_count(), 0);
  for (std::size_t r = 0; r < grid.row_count(); ++r)
    for (std::size_t c = 0; c < widths.size(); ++c)
      widths[c] = std::max(widths[c], text_width(grid.cell(r, c)));
  for (std::size_t r = 0; r < grid.row_count(); ++r) {
    std::string line;
    for (std::size_t c = 0; c < widths.size(); ++c) {
      const std::string& cell = grid.cell(r, c);
      line += cell;
      if (c + 1 < widths.size()) line += std::string(widths[c] - text_width(cell) + 2, ' ');
    }
    std::printf("%s\n", line.c_str());
  }
}

// Output shared by the search thread (progress) and the main thread (the texts): on a
// terminal the progress line is rewritten in place and cleared before any other line.
class Screen {
 public:
  Screen() : terminal_(::isatty(STDOUT_FILENO) != 0) {}

  void progress(const std::string& text) {
    std::lock_guard guard(lock_);
    if (terminal_) {
      std::printf("\r%s\x1b[K", text.c_str());
      progress_shown_ = true;
    } else {
      std::printf("%s\n", text.c_str());
    }
    std::fflush(stdout);
  }
  void line(const std::string& text) {
    std::lock_guard guard(lock_);
    end_progress();
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
  }
  void error_line(const std::string& text) {
    std::lock_guard guard(lock_);
    end_progress();
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", text.c_str());
  }
  // For output printed by other means afterwards.
  void finish() {
    std::lock_guard guard(lock_);
    end_progress();
  }

 private:
  void end_progress() {
    if (progress_shown_) std::printf("\r\x1b[K");
    progress_shown_ = false;
  }

  std::mutex lock_;
  bool terminal_;
  bool progress_shown_ = false;
};

int scan_ports(const PortsArgs& args, const std::string& home) {
  Screen screen;
  hardware::CommProtocolsEnv env;
  const int verbosity = args.verbosity;
  env.log = [verbosity, &screen](std::string_view message, int level) {
    // -v shows errors and warnings of the exchanges, -vv everything.
    if (verbosity >= 2 || (verbosity == 1 && level <= 2))
      screen.error_line("[" + std::to_string(level) + "] " + std::string(message));
  };
  hardware::CommProtocols hub(hardware::CommProtocols::kStationMask, std::move(env));

  std::int32_t protocol = hardware::FindComThread::kAllProtocols;
  if (!args.protocol.empty()) {
    const std::int32_t id = hardware::protocol_id_of(args.protocol);
    if (id < 0 || !hub.pult_exists(id) || id == hardware::kProtocolEmulator) {
      std::vector<std::int32_t> ids;
      hub.enum_protocols_ids(ids);
      std::string offered;
      for (std::int32_t i : ids) {
        if (i != hardware::kProtocolEmulator)
          offered += " " + hardware::protocol_short_name(i) + " (" + std::to_string(i) + ")";
      }
      std::fprintf(stderr, "ports scan: --protocol %s: not a protocol to search; one of:%s\n",
                   args.protocol.c_str(), offered.c_str());
      return kExitUsage;
    }
    protocol = id;
  }

  const hardware::SerialPortLister lister = make_lister();
  const std::vector<std::string> named = named_ports(args);
  const std::string only = args.only.empty() ? "" : hardware::device_path_of(args.only);
  const hardware::FindComReport report(hub);
  hardware::FindComCallbacks callbacks;
  callbacks.progress = [&](const hardware::FindComProgress& p) {
    screen.progress(report.progress_text(p) + "  [" + std::to_string(p.step) + "/" +
                    std::to_string(p.total_steps) + "]");
  };
  callbacks.log = [&](const std::string& message) { screen.error_line("ports scan: " + message); };
  station::StationAudio audio(args.no_sound, args.sound_device, lib::posix_file_system());
  if (!audio.note().empty()) screen.error_line("ports scan: " + audio.note());
  audio.attach([&](const std::string& message) { screen.error_line("ports scan: " + message); });
  alarms::Sound sound(home, audio.output(), [&](const std::string& message) {
    screen.error_line("ports scan: " + message);
  });
  callbacks.searching = [&sound](bool on) {
    if (on) {
      sound.play_sound(alarms::kSoundTuning);
    } else {
      sound.stop_sound();
    }
  };

  g_cancel = 0;
  auto previous_int = std::signal(SIGINT, on_cancel_signal);
  auto previous_term = std::signal(SIGTERM, on_cancel_signal);
  bool cancelled = false;
  {
    hardware::FindComThread search(
        hub, [&] { return lister.ports_to_search(named); }, only, protocol, callbacks,
        audio.output());
    screen.line(hardware::find_com_text::kSearching);
    search.start();
    while (!search.finished()) {
      if (g_cancel && !cancelled) {
        cancelled = true;
        screen.line(hardware::find_com_text::kCancelling);
        search.request_stop();
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(kWaitStepMs));
    }
    search.join();
    std::signal(SIGINT, previous_int);
    std::signal(SIGTERM, previous_term);

    const std::vector<hardware::SearchResult> results = search.get_result();
    screen.line(report.outcome_text(results, cancelled));
    if (cancelled || results.empty()) return kExitNothingFound;
    screen.finish();
    std::printf("\n");
    print_grid(report.result_grid(results));
  }
  return 0;
}

void add_ports_command(CLI::App& app, rigstation::CommandContext& context) {
  auto args = std::make_shared<PortsArgs>();
  CLI::App* ports = app.add_subcommand(
      "ports",
      "Serial ports and the search for devices on them. Pseudo-terminals are never listed by "
      "the system: name them with --port.");
  ports->require_subcommand(1);

  CLI::App* list = ports->add_subcommand(
      "list", "Print the ports a search would try, marking kernel consoles left out");
  list->add_option("--port", args->ports, "also this device path (repeatable)");
  list->callback([args] { list_ports(*args); });

  CLI::App* scan = ports->add_subcommand(
      "scan",
      "Try every protocol of the station on every port and print where devices answered. "
      "Ctrl-C cancels. Exit code 0: found, 1: nothing found or cancelled, 2: usage error.");
  scan->add_option("--port", args->ports, "also search this device path (repeatable)");
  scan->add_option("--only", args->only, "search this device path only");
  scan->add_option(
      "--protocol", args->protocol,
      "search for this protocol only: " + hardware::protocol_name_list() + " (or its number)");
  scan->add_flag("-v,--verbose", args->verbosity,
                 "print exchange errors and warnings; twice: every exchange line");
  scan->add_flag("--no-sound", args->no_sound,
                 "no tuning sound while searching and no beep on an answer");
  scan->add_option("--sound-device", args->sound_device,
                   "the ALSA device to play on (as for run); 'null' plays nowhere");
  scan->callback([args, &context] {
    const int rc = scan_ports(*args, context.home());
    if (rc != 0) throw CLI::RuntimeError(rc);
  });
}

}  // namespace

RIGSTATION_COMMAND("ports", add_ports_command);
