// A protocol hub wired to an in-memory module, a fake clock and recording callbacks.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "hardware/comm_protocols.h"
#include "hardware/sim/old_bus_device.h"
#include "scripted_line.h"

namespace bus_testing {

struct HubFixture {
  std::shared_ptr<LineState> line = std::make_shared<LineState>();
  testing_support::FakeClock clock;
  hardware::OldBusDevice device;
  std::vector<std::pair<std::string, int>> log_lines;
  std::map<std::string, std::string> variables;
  std::vector<std::int32_t> configured;
  int slept_ms = 0;
  std::unique_ptr<hardware::CommProtocols> hub;

  explicit HubFixture(std::uint32_t mask = hardware::CommProtocols::kStationMask) {
    line->device = &device;
    line->clock = &clock;
    clock.steady = 100000;
    hardware::CommProtocolsEnv env;
    env.log = [this](std::string_view m, int level) { log_lines.emplace_back(m, level); };
    env.set_variable = [this](const std::string& n, const std::string& v) { variables[n] = v; };
    env.set_configured_protocol = [this](std::int32_t id) { configured.push_back(id); };
    env.clock = &clock;
    env.sleep = [this](int ms) {
      slept_ms += ms;
      clock.steady += ms;
    };
    env.line = std::make_unique<ScriptedLine>(line);
    hub = std::make_unique<hardware::CommProtocols>(mask, std::move(env));
  }

  void open_and_configure(std::int32_t id) {
    hub->get_port().open("/dev/fake");
    hub->configure_port(id, 0);
    hub->clear();
  }

  int lines_containing(const std::string& text) const {
    int n = 0;
    for (const auto& [line_text, level] : log_lines)
      if (line_text.find(text) != std::string::npos) ++n;
    return n;
  }
};

}  // namespace bus_testing
