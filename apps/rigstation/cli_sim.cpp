// rigstation sim bus: stands in for one older-bus I/O module. Without --device it creates a
// pseudo-terminal pair and prints the device path the station should open; with --device it
// answers on that line (a real port, or one end of a socat pair). Runs until --seconds pass
// or the process is interrupted.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "command_registry.h"
#include "hardware/bus_sim_server.h"
#include "hardware/old_bus_device.h"
#include "lib/pseudo_terminal.h"
#include "lib/str_utils.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;
extern "C" void on_stop_signal(int) {
  g_stop = 1;
}

struct SimArgs {
  std::string device;
  int baud = 57600;
  std::vector<std::string> adc;    // CH=VALUE
  std::vector<std::string> rates;  // INPUT=WORD
  int counter = 0;
  int status = 0;
  int repeat_every = 0;
  int skip_every = 0;
  int restart_every = 0;
  double seconds = 0;
};

// "index=value" with index below `count` and value 0..65535; false for anything else.
bool parse_assignment(const std::string& text, int count, int& index, int& value) {
  const auto eq = text.find('=');
  if (eq == std::string::npos) return false;
  index = static_cast<int>(lib::str_to_int(text.substr(0, eq), -1));
  // Decimal or 0x-prefixed hexadecimal; anything after the number makes it malformed.
  const std::string number = text.substr(eq + 1);
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(number.c_str(), &end, 0);
  if (number.empty() || errno != 0 || end != number.c_str() + number.size()) return false;
  if (index < 0 || index >= count || v < 0 || v > 0xFFFF) return false;
  value = static_cast<int>(v);
  return true;
}

int run_sim(const SimArgs& args) {
  hardware::OldBusDevice device;
  for (const auto& a : args.adc) {
    int ch = 0, v = 0;
    if (!parse_assignment(a, hardware::old_block::kAdcChannels, ch, v)) {
      std::fprintf(stderr, "sim: --adc %s: expected CHANNEL=VALUE, channel 0..23, value 0..65535\n",
                   a.c_str());
      return 1;
    }
    device.adc[static_cast<std::size_t>(ch)] = static_cast<std::uint16_t>(v);
  }
  for (const auto& r : args.rates) {
    int in = 0, w = 0;
    if (!parse_assignment(r, hardware::old_block::kRateInputs, in, w)) {
      std::fprintf(stderr, "sim: --rate %s: expected INPUT=WORD, input 0..3, word 0..65535\n",
                   r.c_str());
      return 1;
    }
    device.rate_words[static_cast<std::size_t>(in)] = static_cast<std::uint16_t>(w);
  }
  device.counter = static_cast<std::uint16_t>(args.counter);
  device.status = static_cast<std::uint8_t>(args.status);
  device.repeat_every = args.repeat_every;
  device.skip_every = args.skip_every;
  device.restart_every = args.restart_every;

  std::unique_ptr<lib::BytePort> line;
  lib::PseudoTerminal pty;
  if (args.device.empty()) {
    if (!pty.create()) {
      std::fprintf(stderr, "sim: %s\n", pty.error().c_str());
      return 1;
    }
    line = lib::make_serial_byte_port_from_fd(pty.release_master());
    std::printf("%s\n", pty.slave_path().c_str());
  } else {
    line = lib::make_serial_byte_port();
    if (!line->open(args.device) || !line->set_baud_rate(args.baud)) {
      std::fprintf(stderr, "sim: %s\n", line->last_error().c_str());
      return 1;
    }
    std::printf("%s\n", args.device.c_str());
  }
  std::fflush(stdout);

  std::signal(SIGINT, on_stop_signal);
  std::signal(SIGTERM, on_stop_signal);
  hardware::BusSimServer server(std::move(line), device);
  server.start();
  const auto start = std::chrono::steady_clock::now();
  while (!g_stop) {
    if (args.seconds > 0 &&
        std::chrono::steady_clock::now() - start >= std::chrono::duration<double>(args.seconds))
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  server.stop();
  std::fprintf(stderr, "sim: %llu requests, %llu replies\n",
               static_cast<unsigned long long>(device.requests()),
               static_cast<unsigned long long>(device.replies()));
  return 0;
}

void add_sim_command(CLI::App& app, rigstation::CommandContext& /*context*/) {
  auto args = std::make_shared<SimArgs>();
  CLI::App* sim = app.add_subcommand("sim", "Device simulators for tests and demonstrations");
  sim->require_subcommand(1);
  CLI::App* bus = sim->add_subcommand(
      "bus",
      "Answer the older field bus (\"SP\", \"2P\", \"4P\") as one I/O module. Prints the "
      "device path to open, then serves until --seconds pass or it is interrupted.");
  bus->add_option("--device", args->device,
                  "serial device to answer on (default: a new pseudo-terminal)");
  bus->add_option("--baud", args->baud, "line speed with --device")->check(CLI::PositiveNumber);
  bus->add_option("--adc", args->adc, "ADC word of a channel, CHANNEL=VALUE (repeatable)");
  bus->add_option("--rate", args->rates,
                  "rate word of an input, INPUT=WORD; bit 15 marks a period (repeatable)");
  bus->add_option("--counter", args->counter, "counter word")->check(CLI::Range(0, 65535));
  bus->add_option("--status", args->status, "status byte")->check(CLI::Range(0, 255));
  bus->add_option("--repeat-every", args->repeat_every,
                  "every N-th reply repeats its packet number")
      ->check(CLI::NonNegativeNumber);
  bus->add_option("--skip-every", args->skip_every, "every N-th reply loses two packets")
      ->check(CLI::NonNegativeNumber);
  bus->add_option("--restart-every", args->restart_every,
                  "every N-th reply restarts the packet numbers at 0")
      ->check(CLI::NonNegativeNumber);
  bus->add_option("--seconds", args->seconds, "stop after this long (default: run until stopped)")
      ->check(CLI::NonNegativeNumber);
  bus->callback([args] {
    const int rc = run_sim(*args);
    if (rc != 0) throw CLI::RuntimeError(rc);
  });
}

}  // namespace

RIGSTATION_COMMAND("sim", add_sim_command);
