// The scripted-rig scenario file (docs/scenario-file.md): what the sensors of a rig show over
// time, played into the station instead of a real rig so a whole stand, a trip or a kick can
// be replayed and tested.
//
//   # comment
//   pulses_per_metre 150
//   start bottom=1000 bit=1000 block=30
//   0    hook=60 block=30 pressure=0 rpm=0 wob=0 spm1=0
//   90   block=2 pressure=80 rpm=60 wob=8 spm1=60
//
// Each key-frame line starts with its time in seconds from the start of the scenario (times
// strictly increasing) followed by key=value pairs. A key missing from a frame keeps its
// value from the frame before; between two frames every value moves linearly. A value
// given only once holds for the whole scenario. The scenario ends at its last frame.
// "start" lines are operator commands carried out as the scenario begins (in the order written), so
// a scenario can put the bit where its story starts.
#pragma once

#include <array>
#include <string_view>

namespace station::scenario_format {

inline constexpr std::string_view kPulsesPerMetre = "pulses_per_metre";
inline constexpr std::string_view kStart = "start";
inline constexpr std::array<std::string_view, 5> kStartKeys = {"bottom", "bit", "block", "race",
                                                               "stands"};

// The keys a frame may carry, with what they set.
inline constexpr std::array<std::string_view, 12> kKeys = {
    "hook",      // hook load, t
    "block",     // block position, m (turned into winch-sensor pulses)
    "pulses",    // winch-sensor running count, given directly
    "pressure",  // inlet pressure, atm
    "rpm",       // rotary speed, rev/min
    "wob",       // weight on bit, t
    "torque",    // rotary torque, kN·m
    "gas",       // total gas at the outlet, %
    "methane",   // methane at the outlet, %
    "flow",      // pumped flow, l/min (instead of pump strokes)
    "spm",       // strokes per minute of pump N: spm1 ... spm6
    "level",     // mud level of tank N, m: level1 ... level16
};
inline constexpr int kPumps = 6;
inline constexpr int kTanks = 16;

// Limits that keep a damaged or hostile file from costing memory or time.
inline constexpr std::size_t kMaxFrames = 100000;
inline constexpr double kMaxSeconds = 30.0 * 24 * 3600;  // a month

}  // namespace station::scenario_format
