// What the office link shares with the station's home and with the office database: the
// recording files it ships (by run and kind), where it finds them, and the database's
// schema version (docs/office-database.md).
#pragma once

#include <cstdint>

namespace office {

// The four recordings of a run, as the database keys them (column `kind`).
enum class RecordingKind : std::int16_t { time = 1, depth = 2, lag = 3, fast = 4 };

// The folder of the home that holds the runs' recordings (the station's own name for it is
// station::kRecordingFolder; the program checks that the two agree).
inline constexpr const char* kRecordingFolder = "records/";
// The station's settings file, where the office link keeps its section (office_settings.h).
inline constexpr const char* kSettingsFileName = "global.ini";

// The schema this program writes into; `rigstation office migrate` brings a database to it.
inline constexpr int kSchemaVersion = 2;

// Lines whose time falls in these years go to a partition of their month; any other time (a
// rig clock that was never set) goes to the partition `lines_other`.
inline constexpr int kFirstPartitionYear = 2000;
inline constexpr int kLastPartitionYear = 2099;

}  // namespace office
