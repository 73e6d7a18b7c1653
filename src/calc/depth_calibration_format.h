// The calibration of the drawworks depth sensor (docs/depth-calibration.md), in the station's
// settings file and in the state file "sys.bin".
//
// Settings file (INI):
//   [DepthCalcOpts]  mode (0 single coefficient, 1 by the table), smooth_mode (0..3, the
//                    interpolation kind), corr_coeff (0.5..2.0, multiplies the table)
//   [DepthCalc]      the table, one range per line in the list layout of lib::IniCollectModule:
//                    count=N, then 1=..N=, each the comma text "depth1,depth2,count"
//                    (block heights in metres at both ends, pulses per metre).
// The table's section is the calculator's module name ("DepthCalc" for an unnamed one).
//
// State block "DepthCalc", layout 1: what the last table walk found, 16 bytes, little-endian:
//   0 last index (int32), 4 last pulses (int32), 8 last effective coefficient (float32),
//   12 last travel (float32, metres).
// The settings and the table are not in the state: the settings file owns them.
#pragma once

#include <cstddef>

namespace calc::depth_format {

inline constexpr const char* kOptionsSection = "DepthCalcOpts";
inline constexpr const char* kModeKey = "mode";
inline constexpr const char* kSmoothModeKey = "smooth_mode";
inline constexpr const char* kCorrCoeffKey = "corr_coeff";

inline constexpr const char* kDefaultModuleName = "DepthCalc";

// Fields of a table line.
inline constexpr std::size_t kLineFields = 3;
inline constexpr std::size_t kDepth1Field = 0;
inline constexpr std::size_t kDepth2Field = 1;
inline constexpr std::size_t kCountField = 2;
// Decimals of the numbers in a table line and in the editor grids.
inline constexpr int kDigits = 3;

inline constexpr unsigned kStateVersion = 1;
inline constexpr std::size_t kStateBytes = 16;

}  // namespace calc::depth_format
