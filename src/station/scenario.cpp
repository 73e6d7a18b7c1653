#include "station/scenario.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
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

// Where a key's value sits in a frame: the plain keys in the order of kPlainKeys, then the
// pumps' strokes, then the tanks' levels; -1 for a key that is not known.
constexpr std::array<std::string_view, 10> kPlainKeys = {
    "hook", "pressure", "rpm", "wob", "torque", "gas", "methane", "flow", "block", "pulses"};
constexpr int kSpmSlot = static_cast<int>(kPlainKeys.size());
constexpr int kLevelSlot = kSpmSlot + scenario_format::kPumps;
static_assert(kLevelSlot + scenario_format::kTanks <= 32, "a frame's keys fit its mask");

int slot_of(const std::string& key) {
  for (std::size_t i = 0; i < kPlainKeys.size(); ++i) {
    if (key == kPlainKeys[i]) return static_cast<int>(i);
  }
  if (key.size() == 4 && key.rfind("spm", 0) == 0) {
    const int n = key[3] - '0';
    return n >= 1 && n <= scenario_format::kPumps ? kSpmSlot + n - 1 : -1;
  }
  if (key.rfind("level", 0) == 0 && key.size() > 5 && key.size() <= 7 && key[5] != '0') {
    int n = 0;
    for (std::size_t i = 5; i < key.size(); ++i) {
      if (key[i] < '0' || key[i] > '9') return -1;
      n = n * 10 + (key[i] - '0');
    }
    return n >= 1 && n <= scenario_format::kTanks ? kLevelSlot + n - 1 : -1;
  }
  return -1;
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
  Frame carried;
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
      const int slot = slot_of(key);
      if (slot < 0) {
        fail("unknown key '" + key +
             "' (hook, block, pulses, pressure, rpm, wob, torque, gas, methane, flow, spm1 ... "
             "spm6, level1 ... level16)");
      }
      const auto v = number(pair.substr(eq + 1));
      if (!v) fail("'" + pair.substr(eq + 1) + "' is not a number for " + key);
      carried.value[static_cast<std::size_t>(slot)] = *v;
      carried.given |= std::uint32_t{1} << slot;
    }
    carried.seconds = *t;
    s.frames_.push_back(carried);
  }
  if (s.frames_.empty()) {
    line_no = 0;
    fail("no frames");
  }
  // A key first given in a later frame holds its first value from the start: the frames
  // before that one take it (a key once given is carried by every frame after).
  for (int k = 0; k < kSlots; ++k) {
    const std::uint32_t bit = std::uint32_t{1} << k;
    const auto first = std::find_if(s.frames_.begin(), s.frames_.end(),
                                    [bit](const Frame& f) { return (f.given & bit) != 0; });
    if (first == s.frames_.end()) continue;
    for (auto f = s.frames_.begin(); f != first; ++f) {
      f->value[static_cast<std::size_t>(k)] = first->value[static_cast<std::size_t>(k)];
      f->given |= bit;
    }
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
  // one's keys, each moved towards the later one's value where it has one. Each key has its
  // place in a frame: this runs every tick.
  const Frame& a = next == frames_.begin() ? frames_.front()
                   : next == frames_.end() ? frames_.back()
                                           : *(next - 1);
  const Frame* b = next == frames_.begin() || next == frames_.end() ? nullptr : &*next;
  const double f = b ? (seconds - a.seconds) / (b->seconds - a.seconds) : 0.0;
  auto take = [&](int k) -> std::optional<double> {
    const std::uint32_t bit = std::uint32_t{1} << k;
    if ((a.given & bit) == 0) return std::nullopt;
    const double va = a.value[static_cast<std::size_t>(k)];
    if (b == nullptr) return va;
    return (b->given & bit) == 0 ? va : va + (b->value[static_cast<std::size_t>(k)] - va) * f;
  };
  out.hook = take(0);
  out.pressure = take(1);
  out.rpm = take(2);
  out.wob = take(3);
  out.torque = take(4);
  out.gas = take(5);
  out.methane = take(6);
  out.flow = take(7);
  out.block = take(8);
  if (const auto p = take(9)) out.pulses = std::llround(*p);
  for (int n = 1; n <= scenario_format::kPumps; ++n) {
    if (const auto v = take(kSpmSlot + n - 1)) out.spm[n] = *v;
  }
  for (int n = 1; n <= scenario_format::kTanks; ++n) {
    if (const auto v = take(kLevelSlot + n - 1)) out.level[n] = *v;
  }
  return out;
}

}  // namespace station
