// The INI layout of the WITS server list, shared by its reader and writer
// (docs/configuration.md):
//
//   [wits_servers]
//   count=2
//   server0name=Инклинометрия
//   server0port=27911
//   server0host=127.0.0.1
//   server0status=LWD/MWD
//   server0enabled=0
//   server0params_file=
//
// Older files keep the same keys in the section "zts"; it is read when "wits_servers" lists
// no server, and the next save moves the list to "wits_servers".
#pragma once

namespace wits {

// The file the station keeps the list in, in its home folder.
inline constexpr const char* kGlobalIniFileName = "global.ini";

inline constexpr const char* kServersSection = "wits_servers";
inline constexpr const char* kLegacyServersSection = "zts";
inline constexpr const char* kCountKey = "count";

// Server i's keys: kServerKeyPrefix, i in decimal, then the field name, no separators.
inline constexpr const char* kServerKeyPrefix = "server";
inline constexpr const char* kNameField = "name";
inline constexpr const char* kPortField = "port";
inline constexpr const char* kHostField = "host";
inline constexpr const char* kStatusField = "status";
inline constexpr const char* kEnabledField = "enabled";
inline constexpr const char* kParamsFileField = "params_file";  // read, never written

// What a missing key reads as.
inline constexpr const char* kLoopbackHost = "127.0.0.1";
inline constexpr int kMissingPort = 27911;
inline constexpr const char* kMissingStatus = "----";

// A count above this is taken as damage, not as a station's list.
inline constexpr int kMaxServers = 256;

}  // namespace wits
