// The mud tanks, the pumps' activity and the turbine speed (docs/tanks-and-pumps.md), in the
// station's settings file and in the state file "sys.bin".
//
// Settings file (INI):
//   [VEmkOpts]   the 16 tanks, one line each in the list layout of lib::IniCollectModule
//                (count=16, then 1=..16=), each the comma text
//                  s,used,volume,doliv,in,height,caption,mud
//                s: cross-section area, m³ per metre of level (2 decimals; 0 or below:
//                the level gives no volume);
//                used, doliv, in: 1 or 0 (the tank counts in the active system, is a trip
//                tank, is a receiving tank); volume: the last volume (2 decimals, not read
//                back: the state and the levels own it); height: tank height in metres
//                (2 decimals, 0 unknown); caption and mud: texts, quoted when they hold a
//                comma or a quote.
//   [VEmkTables] optional level-to-volume tables of tanks that are not straight boxes: key
//                the tank number 1..16, value the comma text "level,volume,level,volume..."
//                (metres, m³), at least two points, levels strictly rising, volumes not
//                falling. A tank with a table reads its volume from the table; others use s.
//   [ObTrub]     sect (bool: the turbine speed is worked out), koef1 (revolutions per l/s).
//
// State blocks, little-endian:
//   "NasosWork" layout 1: 6 × int32, each pump's hold counter, 0..kHoldTicks.
//   "ObTrub"    layout 1: float32, the last turbine speed.
//   "VEmkOpt"   layout 1: float32 × 5: active, whole, trip-tank, circulating-system volume
//               (m³) and a reserved field kept as read; then float32 × 16: each tank's last
//               volume (m³). 84 bytes. Volumes are finite and not negative.
// The settings and the tables are not in the state: the settings file owns them.
#pragma once

#include <cstddef>

namespace calc::tanks_format {

inline constexpr const char* kTanksSection = "VEmkOpts";
inline constexpr const char* kTablesSection = "VEmkTables";
inline constexpr const char* kTurbineSection = "ObTrub";
inline constexpr const char* kTurbineOnKey = "sect";
inline constexpr const char* kTurbineCoeffKey = "koef1";

// Fields of a tank line.
inline constexpr std::size_t kAreaField = 0;
inline constexpr std::size_t kUsedField = 1;
inline constexpr std::size_t kVolumeField = 2;
inline constexpr std::size_t kDolivField = 3;
inline constexpr std::size_t kInTankField = 4;
inline constexpr std::size_t kHeightField = 5;
inline constexpr std::size_t kCaptionField = 6;
inline constexpr std::size_t kMudField = 7;
// Lines written before the caption and the mud type existed hold the first six only.
inline constexpr std::size_t kMinLineFields = 6;
inline constexpr std::size_t kLineFields = 8;
inline constexpr int kDigits = 2;

// Module names in the state file.
inline constexpr const char* kPumpsModuleName = "NasosWork";
inline constexpr const char* kTurbineModuleName = "ObTrub";
inline constexpr const char* kTanksModuleName = "VEmkOpt";
inline constexpr const char* kTanksSerialName = "VEmkOpts";

inline constexpr unsigned kPumpsStateVersion = 1;
inline constexpr std::size_t kPumpsStateBytes = 24;
inline constexpr unsigned kTurbineStateVersion = 1;
inline constexpr std::size_t kTurbineStateBytes = 4;
inline constexpr unsigned kTanksStateVersion = 1;
inline constexpr std::size_t kTanksStateBytes = 84;

}  // namespace calc::tanks_format
