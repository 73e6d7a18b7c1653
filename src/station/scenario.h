// A scripted-rig scenario read from its file (station/scenario_format.h) and sampled at any
// time: what the hook load, the block, the pumps and the rotary show then.
// Reading fails with ScenarioError naming the file, the line and what is wrong; nothing of a
// bad file is played.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "lib/file_system.h"

namespace station {

class ScenarioError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One moment of a scenario; a value the scenario never gives is nullopt.
struct ScenarioSample {
  std::optional<double> hook, pressure, rpm, wob, flow, torque, gas, methane;
  std::optional<std::int64_t> pulses;
  std::optional<double> block;
  std::map<int, double> spm;    // pump number (1..6) -> strokes per minute
  std::map<int, double> level;  // tank number (1..16) -> mud level, m
};

class Scenario {
 public:
  static Scenario parse(const std::string& text, const std::string& name);
  static Scenario load(const std::string& path, lib::FileSystem& fs);

  // The scenario at `seconds` from its start (held at the last frame after the end).
  ScenarioSample at(double seconds) const;
  double duration() const { return frames_.empty() ? 0 : frames_.back().seconds; }
  // Pulses per metre of block travel for "block"; nullopt: the station's own coefficient.
  std::optional<double> pulses_per_metre() const { return pulses_per_metre_; }
  void set_pulses_per_metre(double ppm) { pulses_per_metre_ = ppm; }
  std::size_t frames() const { return frames_.size(); }
  // Operator commands to carry out when the scenario starts ("bottom 1000", "block 30").
  const std::vector<std::string>& start_commands() const { return start_commands_; }

 private:
  // Every key a frame may carry, in a fixed place (scenario.cpp's slot_of).
  static constexpr int kSlots = 32;
  struct Frame {
    double seconds = 0;
    std::uint32_t given = 0;  // bit k: the key of place k was given so far, carried over
    std::array<double, kSlots> value{};
  };
  std::vector<Frame> frames_;
  std::optional<double> pulses_per_metre_;
  std::vector<std::string> start_commands_;
};

}  // namespace station
