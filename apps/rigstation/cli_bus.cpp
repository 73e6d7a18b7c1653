// rigstation bus: talks to a 2017 field bus directly, without the station running. The
// module configuration exchange replaces the settings dialog of a desktop station; `poll`
// runs polling passes and prints what every device delivered, for checking a bus on site.
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "command_registry.h"
#include "hardware/bus2017/bus2017_module_config.h"
#include "hardware/bus2017/bus2017_protocol.h"
#include "hardware/comm_protocols.h"

namespace {

struct BusArgs {
  std::string port;
  int address = hardware::bus2017::kAnyAddress;
  std::string config;
  std::string addresses;
  int count = 1;
  int verbosity = 0;
  int packet_log = -1;
};

volatile std::sig_atomic_t g_stop = 0;
extern "C" void on_bus_stop_signal(int) {
  g_stop = 1;
}

std::unique_ptr<hardware::CommProtocols> open_bus(const BusArgs& args, const std::string& home) {
  hardware::CommProtocolsEnv env;
  const int verbosity = args.verbosity;
  env.log = [verbosity](std::string_view message, int level) {
    if (level <= verbosity)
      std::fprintf(stderr, "  %.*s\n", static_cast<int>(message.size()), message.data());
  };
  env.home_folder = home;
  auto hub = std::make_unique<hardware::CommProtocols>(hardware::CommProtocols::kStationMask,
                                                       std::move(env));
  if (!hub->get_port().open(args.port)) {
    std::fprintf(stderr, "bus: cannot open %s\n", args.port.c_str());
    return nullptr;
  }
  hub->configure_port(hardware::kProtocol2017, 0);
  hub->set_packet_log_level(args.packet_log);
  hub->clear();
  return hub;
}

std::string hex(const std::uint8_t* bytes, std::size_t n) {
  std::string out;
  char buf[4];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", bytes[i]);
    out += buf;
  }
  return out;
}

// "01 02 ..." or "0102..." with exactly 14 bytes; false for anything else.
bool parse_config(const std::string& text, hardware::ModuleConfig2017& config) {
  std::string digits;
  for (char c : text) {
    if (c == ' ' || c == ',' || c == ':') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    digits.push_back(c);
  }
  if (digits.size() != 2 * config.size()) return false;
  for (std::size_t i = 0; i < config.size(); ++i)
    config[i] = static_cast<std::uint8_t>(std::stoi(digits.substr(2 * i, 2), nullptr, 16));
  return true;
}

void warn(const std::string& message) {
  std::fprintf(stderr, "%s\n%s\n", hardware::bus2017::kConfigCaption, message.c_str());
}

int run_config_read(const BusArgs& args, const std::string& home) {
  auto hub = open_bus(args, home);
  if (!hub) return 1;
  hardware::ModuleConfig2017 config{};
  int from = 0;
  if (!hardware::read_module_config_2017(*hub, args.address, config, &from)) {
    warn(hardware::module_config_read_error(args.address));
    return 1;
  }
  std::printf("USO %d: %s\n", from, hex(config.data(), config.size()).c_str());
  return 0;
}

int run_config_write(const BusArgs& args, const std::string& home) {
  hardware::ModuleConfig2017 config{};
  if (!parse_config(args.config, config)) {
    std::fprintf(stderr, "bus: --config needs %zu bytes in hexadecimal, such as \"01 02 ...\"\n",
                 config.size());
    return 2;
  }
  auto hub = open_bus(args, home);
  if (!hub) return 1;
  std::uint8_t result = 0;
  if (!hardware::write_module_config_2017(*hub, args.address, config, &result)) {
    warn(hardware::bus2017::kConfigSendFailedText);
    return 1;
  }
  std::printf("USO %d: %s (result %d)\n", args.address, hex(config.data(), config.size()).c_str(),
              result);
  return 0;
}

void print_reading(const hardware::CommIncomData& data,
                   const std::map<std::int32_t, std::int32_t>& types) {
  for (const auto& [address, type] : types) {
    const auto it = data.modules.find(address);
    if (type != hardware::kDeviceTypeDataSource || it == data.modules.end()) {
      std::printf("  %3d  indicator, type %d\n", address, type);
      continue;
    }
    const hardware::USOData& r = it->second;
    std::string adc;
    for (std::size_t i = 0; i < r.adc.size() && i < 8; ++i) adc += " " + std::to_string(r.adc[i]);
    std::string counters;
    for (auto c : r.counters) counters += " " + std::to_string(c);
    std::printf("  %3d  %s packet %u  adc%s ...  counters%s\n", address,
                hardware::bus2017::is_console_address(address) ? "console" : "module ",
                r.packet_number, adc.c_str(), counters.c_str());
  }
}

int run_poll(const BusArgs& args, const std::string& home) {
  if (hardware::parse_bus_addresses(args.addresses).empty()) {
    std::fprintf(stderr, "bus: --addresses needs bus addresses such as 1,2,33,65\n");
    return 2;
  }
  auto hub = open_bus(args, home);
  if (!hub) return 1;
  std::signal(SIGINT, on_bus_stop_signal);
  int delivered = 0;
  for (int pass = 1; (args.count <= 0 || pass <= args.count) && !g_stop; ++pass) {
    hardware::CommIncomData data;
    const bool ok = hub->read_data(hardware::kProtocol2017, args.addresses, data);
    std::printf("pass %d: %s\n", pass, ok ? "data" : "no data");
    print_reading(data, hub->device_types());
    delivered += ok;
    std::fflush(stdout);
  }
  return delivered > 0 ? 0 : 1;
}

void add_bus_command(CLI::App& app, rigstation::CommandContext& context) {
  auto args = std::make_shared<BusArgs>();
  CLI::App* bus = app.add_subcommand("bus", "Talk to a 2017 field bus directly");
  bus->require_subcommand(1);
  auto common = [args](CLI::App* c) {
    c->add_option("--port", args->port, "serial device of the bus")->required();
    c->add_option("-v,--verbose", args->verbosity, "print exchange log lines up to this level")
        ->check(CLI::Range(0, 9));
    c->add_option("--packet-log", args->packet_log,
                  "write packets.log in the station home below this level (1-4)")
        ->check(CLI::Range(-1, 9));
  };

  CLI::App* config = bus->add_subcommand("module-config", "Read or write a module's configuration");
  config->require_subcommand(1);
  CLI::App* read = config->add_subcommand(
      "read", "Read the 14-byte configuration; without --address only one module may be connected");
  common(read);
  read->add_option("--address", args->address, "module address (default: the only module)")
      ->check(CLI::Range(1, 254));
  read->callback([args, &context] {
    const int rc = run_config_read(*args, context.home());
    if (rc != 0) throw CLI::RuntimeError(rc);
  });
  CLI::App* write = config->add_subcommand("write", "Write a 14-byte configuration");
  common(write);
  write->add_option("--address", args->address, "module address")
      ->required()
      ->check(CLI::Range(1, 254));
  write->add_option("--config", args->config, "14 bytes in hexadecimal")->required();
  write->callback([args, &context] {
    const int rc = run_config_write(*args, context.home());
    if (rc != 0) throw CLI::RuntimeError(rc);
  });

  CLI::App* poll =
      bus->add_subcommand("poll", "Run polling passes and print what each device delivered");
  common(poll);
  poll->add_option("--addresses", args->addresses, "bus addresses, such as 1,2,33,65")->required();
  poll->add_option("--count", args->count, "passes to run; 0 runs until interrupted")
      ->check(CLI::NonNegativeNumber);
  poll->callback([args, &context] {
    const int rc = run_poll(*args, context.home());
    if (rc != 0) throw CLI::RuntimeError(rc);
  });
}

}  // namespace

RIGSTATION_COMMAND("bus", add_bus_command);
