// "data/forward.json": the office link's state as `rigstation forward` last saw it, for the
// station's web view and anyone on the rig PC (docs/office-database.md, "The link's state").
// One JSON object, replaced whole every few seconds while the forwarder runs:
//
//   rig              the rig's name in the office
//   office           where it ships to (the connection without its password)
//   state            "connected", "connecting" (waiting to try again), "stopped"
//   error            the last failure, "" when none since the last success
//   retry_in_s       seconds until the next try while not connected
//   backlog_lines    lines recorded but not yet in the office (estimated from the bytes)
//   backlog_seconds  how far the office is behind the recordings, seconds
//   last_commit      local time of the last shipment committed, "dd.mm.yyyy hh:mm:ss"; "" none
//   lines_shipped, bytes_shipped, live_frames   counts since the forwarder started
//   caught_up        the last pass shipped everything recorded
//   updated          local seconds since 1970 when the file was written
//   pid              the forwarder's process
#pragma once

namespace office::forward_status {

inline constexpr const char* kFileName = "data/forward.json";
// How often the forwarder rewrites the file at most.
inline constexpr int kEverySeconds = 2;
// A file older than this was left by a forwarder that is no longer running.
inline constexpr int kStaleSeconds = 30;

}  // namespace office::forward_status
