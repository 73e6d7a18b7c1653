// rigstation sim: device simulators on a serial line. `sim bus` stands in for one older-bus
// I/O module, `sim bus2017` for a whole 2017 bus of modules, indicators and consoles. Without
// --device each creates a pseudo-terminal pair and prints the device path the station should
// open; with --device it answers on that line (a real port, or one end of a socat pair).
// Runs until --seconds pass or the process is interrupted.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "command_registry.h"
#include "hardware/sim/bus2017_sim.h"
#include "hardware/sim/bus2017_sim_motion.h"
#include "hardware/sim/bus2017_sim_setup.h"
#include "hardware/sim/bus_sim_server.h"
#include "hardware/sim/old_bus_device.h"
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

// Answers on the line with `device` until `seconds` pass (0: until interrupted), calling
// `every_tick` with the elapsed milliseconds under the device lock about 20 times a second.
// Prints the path of the line the station should open. Returns the exit code.
int serve(const std::string& device_path, int baud, double seconds, hardware::SimBusDevice& device,
          const std::function<void(std::int64_t)>& every_tick) {
  std::unique_ptr<lib::BytePort> line;
  lib::PseudoTerminal pty;
  if (device_path.empty()) {
    if (!pty.create()) {
      std::fprintf(stderr, "sim: %s\n", pty.error().c_str());
      return 1;
    }
    line = lib::make_serial_byte_port_from_fd(pty.release_master());
    std::printf("%s\n", pty.slave_path().c_str());
  } else {
    line = lib::make_serial_byte_port();
    if (!line->open(device_path) || !line->set_baud_rate(baud)) {
      std::fprintf(stderr, "sim: %s\n", line->last_error().c_str());
      return 1;
    }
    std::printf("%s\n", device_path.c_str());
  }
  std::fflush(stdout);

  std::signal(SIGINT, on_stop_signal);
  std::signal(SIGTERM, on_stop_signal);
  hardware::BusSimServer server(std::move(line), device);
  server.start();
  const auto start = std::chrono::steady_clock::now();
  while (!g_stop) {
    const auto elapsed = std::chrono::steady_clock::now() - start;
    if (seconds > 0 && elapsed >= std::chrono::duration<double>(seconds)) break;
    {
      std::lock_guard guard(server.device_lock());
      every_tick(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  server.stop();
  return 0;
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

  const int rc = serve(args.device, args.baud, args.seconds, device, [](std::int64_t) {});
  if (rc != 0) return rc;
  std::fprintf(stderr, "sim: %llu requests, %llu replies\n",
               static_cast<unsigned long long>(device.requests()),
               static_cast<unsigned long long>(device.replies()));
  return 0;
}

struct Sim2017Args {
  hardware::Bus2017SimSetup setup;
  std::string device;
  int baud = 115200;
  double seconds = 0;
  bool still = false;
};

// Writes the station sends each tick would pile up over a long run; the newest are enough
// to look at.
constexpr std::size_t kKeptWrites = 100;
void keep_newest(std::vector<std::vector<std::uint8_t>>& blocks) {
  if (blocks.size() > kKeptWrites) {
    blocks.erase(blocks.begin(), blocks.end() - static_cast<std::ptrdiff_t>(kKeptWrites));
  }
}

int run_sim2017(const Sim2017Args& args) {
  hardware::Bus2017Sim bus;
  const std::string error = hardware::apply_bus2017_sim_setup(args.setup, bus);
  if (!error.empty()) {
    std::fprintf(stderr, "sim bus2017: %s\n", error.c_str());
    return 1;
  }
  if (bus.addresses().empty()) {
    std::fprintf(stderr, "sim bus2017: no devices; give --module, --indicator or --console\n");
    return 1;
  }
  for (std::uint8_t a : bus.addresses()) {
    if (const auto* m = bus.module(a)) {
      std::fprintf(stderr, "sim bus2017: module %d, data version %d\n", a, m->data_version);
    } else if (const auto* i = bus.indicator(a)) {
      std::fprintf(stderr, "sim bus2017: indicator %d, type %d\n", a, i->type);
    } else {
      std::fprintf(stderr, "sim bus2017: console %d\n", a);
    }
  }

  hardware::Bus2017SimMotion motion(bus);
  std::uint64_t requests = 0;
  const int rc = serve(args.device, args.baud, args.seconds, bus, [&](std::int64_t elapsed_ms) {
    if (!args.still) motion.advance_to(elapsed_ms);
    requests += bus.requests().size();
    bus.clear_requests();
    for (std::uint8_t a : bus.addresses()) {
      if (auto* i = bus.indicator(a)) keep_newest(i->received);
      if (auto* c = bus.console(a)) {
        keep_newest(c->received_values);
        keep_newest(c->received_config);
      }
    }
  });
  if (rc != 0) return rc;
  requests += bus.requests().size();
  std::fprintf(stderr, "sim bus2017: %llu requests, %llu replies\n",
               static_cast<unsigned long long>(requests),
               static_cast<unsigned long long>(bus.replies_sent()));
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
  auto args2017 = std::make_shared<Sim2017Args>();
  CLI::App* bus2017 = sim->add_subcommand(
      "bus2017",
      "Answer the 2017 field bus (enciphered packet frames) as a bus of I/O modules, "
      "indicator panels and consoles. Prints the device path to open, then serves until "
      "--seconds pass or it is interrupted. ADC values swing a little and the winch sensor "
      "turns, unless --still. Addresses: modules 1..32 and 97..255, indicators 33..64, "
      "consoles 65..96.");
  auto& setup = args2017->setup;
  bus2017->add_option("--module", setup.modules,
                      "an I/O module, ADDR[:VERSION]; data version 0 (138-byte reply, default) "
                      "or 101 (146 bytes); other versions make replies the station must ignore "
                      "(repeatable)");
  bus2017->add_option("--indicator", setup.indicators,
                      "an indicator panel, ADDR[:TYPE], type 1 by default (repeatable)");
  bus2017->add_option("--console", setup.consoles, "a console, ADDR (repeatable)");
  bus2017->add_option("--adc", setup.adc,
                      "starting ADC word, ADDR:CHANNEL=VALUE; channels 0..47 of a module, "
                      "0..23 of a console (repeatable)");
  bus2017->add_option("--silent", setup.silent, "the device never answers, ADDR (repeatable)");
  bus2017->add_option("--answer-once", setup.answer_once,
                      "the device answers one request, then falls silent, ADDR (repeatable)");
  bus2017->add_option("--duplicates", setup.duplicates,
                      "the next N data replies repeat the previous one, ADDR:N (repeatable)");
  bus2017->add_option("--drop", setup.drop,
                      "the next N requests get no answer, ADDR:N (repeatable)");
  bus2017->add_option("--garble", setup.garble,
                      "the next N replies carry a broken frame CRC, ADDR:N (repeatable)");
  bus2017->add_option("--result", setup.result,
                      "result byte answered to writes, ADDR:BYTE (repeatable)");
  bus2017->add_option("--delay", setup.delay,
                      "hold every reply back this long, ADDR:MS (repeatable)");
  bus2017->add_flag("--still", args2017->still, "keep every value as given");
  bus2017->add_option("--device", args2017->device,
                      "serial device to answer on (default: a new pseudo-terminal)");
  bus2017->add_option("--baud", args2017->baud, "line speed with --device")
      ->check(CLI::PositiveNumber);
  bus2017
      ->add_option("--seconds", args2017->seconds,
                   "stop after this long (default: run until stopped)")
      ->check(CLI::NonNegativeNumber);
  bus2017->callback([args2017] {
    const int rc = run_sim2017(*args2017);
    if (rc != 0) throw CLI::RuntimeError(rc);
  });
}

}  // namespace

RIGSTATION_COMMAND("sim", add_sim_command);
