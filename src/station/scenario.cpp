#include "station/scenario.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "lib/binary_stream.h"
#include "station/scenario_format.h"

namespace station {
namespace {

std::optional<double> number(const std::string& text) {
  if (text.empty()) return std::nullopt;
  std::size_t used = 0;
  double v = 0;
  try {
    v = std::stod(text, &used);
  } catch (const std::exception&) {
    return std::nullopt;
  }
  if (used != text.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

bool known_key(const std::string& key) {
  for (std::string_view k : scenario_format::kKeys) {
    if (k == "spm" || k == "level") continue;
    if (key == k) return true;
  }
  if (key.size() == 4 && key.rfind("spm", 0) == 0) {
    const int n = key[3] - '0';
    return n >= 1 && n <= scenario_format::kPumps;
  }
  if (key.rfind("level", 0) == 0 && key.size() > 5 && key.size() <= 7 && key[5] != '0') {
    int n = 0;
    for (std::size_t i = 5; i < key.size(); ++i) {
      if (key[i] < '0' || key[i] > '9') return false;
      n = n * 10 + (key[i] - '0');
    }
    return n >= 1 && n <= scenario_format::kTanks;
  }
  return false;
}

}  // namespace

Scenario Scenario::parse(const std::string& text, const std::string& name) {
  Scenario s;
  std::istringstream in(text);
  std::string line;
  int line_no = 0;
  auto fail = [&](const std::string& what) {
    throw ScenarioError(
        fmt::format("scenario '{}', line {}: {}; the scenario is not played", name, line_no, what));
  };
  std::map<std::string, double> carried;
  while (std::getline(in, line)) {
    ++line_no;
    if (const auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::string first;
    if (!(words >> first)) continue;
    if (first == scenario_format::kPulsesPerMetre) {
      std::string v;
      words >> v;
      const auto ppm = number(v);
      if (!ppm || *ppm <= 0) fail("pulses_per_metre needs a positive number, not '" + v + "'");
      s.pulses_per_metre_ = *ppm;
      continue;
    }
    if (first == scenario_format::kStart) {
      std::string pair;
      while (words >> pair) {
        const auto eq = pair.find('=');
        const std::string key = pair.substr(0, eq);
        if (eq == std::string::npos ||
            std::find(scenario_format::kStartKeys.begin(), scenario_format::kStartKeys.end(),
                      key) == scenario_format::kStartKeys.end()) {
          fail("'start' takes bottom=, bit=, block=, race= or stands=, not '" + pair + "'");
        }
        if (!number(pair.substr(eq + 1)))
          fail("'" + pair.substr(eq + 1) + "' is not a number for " + key);
        s.start_commands_.push_back(key + " " + pair.substr(eq + 1));
      }
      continue;
    }
    const auto t = number(first);
    if (!t || *t < 0 || *t > scenario_format::kMaxSeconds) {
      fail("a frame starts with its time in seconds (0 to " +
           std::to_string(static_cast<long long>(scenario_format::kMaxSeconds)) + "), not '" +
           first + "'");
    }
    if (!s.frames_.empty() && *t <= s.frames_.back().seconds) {
      fail(fmt::format("the time {} s is not after the frame before ({} s)", *t,
                       s.frames_.back().seconds));
    }
    if (s.frames_.size() >= scenario_format::kMaxFrames) {
      fail("more than " + std::to_string(scenario_format::kMaxFrames) + " frames");
    }
    std::string pair;
    while (words >> pair) {
      const auto eq = pair.find('=');
      if (eq == std::string::npos) fail("'" + pair + "' is not key=value");
      const std::string key = pair.substr(0, eq);
      if (!known_key(key)) {
        fail("unknown key '" + key +
             "' (hook, block, pulses, pressure, rpm, wob, torque, gas, methane, flow, spm1 ... "
             "spm6, level1 ... level16)");
      }
      const auto v = number(pair.substr(eq + 1));
      if (!v) fail("'" + pair.substr(eq + 1) + "' is not a number for " + key);
      carried[key] = *v;
    }
    s.frames_.push_back(Frame{*t, carried});
  }
  if (s.frames_.empty()) {
    line_no = 0;
    fail("no frames");
  }
  // A key first given in a later frame holds its first value from the start.
  std::map<std::string, double> first_value;
  for (const auto& f : s.frames_) {
    for (const auto& [key, value] : f.values) first_value.try_emplace(key, value);
  }
  for (auto& f : s.frames_) {
    for (const auto& [key, value] : first_value) f.values.try_emplace(key, value);
  }
  return s;
}

Scenario Scenario::load(const std::string& path, lib::FileSystem& fs) {
  std::optional<std::string> text;
  try {
    text = lib::read_whole_file(path, fs, 16 << 20);
  } catch (const std::exception& e) {
    throw ScenarioError("scenario '" + path + "' cannot be read: " + e.what());
  }
  if (!text) throw ScenarioError("scenario '" + path + "' cannot be read: it does not exist");
  return parse(*text, path);
}

ScenarioSample Scenario::at(double seconds) const {
  ScenarioSample out;
  if (frames_.empty()) return out;
  auto next = std::upper_bound(frames_.begin(), frames_.end(), seconds,
                               [](double t, const Frame& f) { return t < f.seconds; });
  // Before the first frame or after the last, that frame's values; between two, the earlier
  // one's keys, each moved towards the later one's value where it has one. Looked up key by
  // key: this runs every tick.
  const Frame& a = next == frames_.begin() ? frames_.front()
                   : next == frames_.end() ? frames_.back()
                                           : *(next - 1);
  const Frame* b = next == frames_.begin() || next == frames_.end() ? nullptr : &*next;
  const double f = b ? (seconds - a.seconds) / (b->seconds - a.seconds) : 0.0;
  auto take = [&](const std::string& key) -> std::optional<double> {
    const auto it = a.values.find(key);
    if (it == a.values.end()) return std::nullopt;
    const double va = it->second;
    if (b == nullptr) return va;
    const auto jt = b->values.find(key);
    return jt == b->values.end() ? va : va + (jt->second - va) * f;
  };
  static const std::string kHook = "hook", kPressure = "pressure", kRpm = "rpm", kWob = "wob",
                           kTorque = "torque", kGas = "gas", kMethane = "methane", kFlow = "flow",
                           kBlock = "block", kPulses = "pulses";
  static const auto numbered = [](const char* stem, int count) {
    std::vector<std::string> keys;
    for (int n = 1; n <= count; ++n) keys.push_back(stem + std::to_string(n));
    return keys;
  };
  static const std::vector<std::string> kSpm = numbered("spm", scenario_format::kPumps);
  static const std::vector<std::string> kLevel = numbered("level", scenario_format::kTanks);
  out.hook = take(kHook);
  out.pressure = take(kPressure);
  out.rpm = take(kRpm);
  out.wob = take(kWob);
  out.torque = take(kTorque);
  out.gas = take(kGas);
  out.methane = take(kMethane);
  out.flow = take(kFlow);
  out.block = take(kBlock);
  if (const auto p = take(kPulses)) out.pulses = std::llround(*p);
  for (int n = 1; n <= scenario_format::kPumps; ++n) {
    if (const auto v = take(kSpm[static_cast<std::size_t>(n - 1)])) out.spm[n] = *v;
  }
  for (int n = 1; n <= scenario_format::kTanks; ++n) {
    if (const auto v = take(kLevel[static_cast<std::size_t>(n - 1)])) out.level[n] = *v;
  }
  return out;
}

}  // namespace station
