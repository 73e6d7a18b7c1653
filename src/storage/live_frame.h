// The station's live frame (live_frame_format.h, docs/live-frame.md): what it holds, and its
// bytes. Pure functions but the reader of the file; the station writes the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lib/file_system.h"

namespace live {

struct FrameValue {
  std::string identifier;
  std::string name;
  std::string unit;
  float value = 0;
  bool stale = false;  // its source did not refresh it in the last tick: an old value
  bool alarm = false;  // outside one of its alarm thresholds
  bool valid = true;   // false: the conversion gives no number, `value` is the last sound one
  bool operator==(const FrameValue&) const = default;
};

struct LiveFrame {
  std::uint32_t sequence = 0;
  std::uint32_t time = 0;  // local seconds since 1970, the clock of the recordings
  std::uint16_t milliseconds = 0;
  std::int32_t race = 0;
  bool race_active = false;
  float bottom = 0, bit = 0, lag = 0, block = 0;
  std::int32_t operation = 0;
  std::string operation_name;
  std::vector<FrameValue> values;
  std::vector<std::string> alarms;  // the texts of the current alarms
  bool operator==(const LiveFrame&) const = default;
};

// Where encode_live_frame put the parts of a frame that change from frame to frame: each
// value's number, and the alarms, which end the frame.
struct LiveFrameLayout {
  std::vector<std::size_t> values;
  std::size_t alarms_at = 0;
};

// The frame's bytes. With `layout`, also where its changing parts lie in them, for
// update_live_frame.
std::string encode_live_frame(const LiveFrame& frame, LiveFrameLayout* layout = nullptr);

// Rewrites in place the fields of `bytes` that change from frame to frame (the sequence, the
// time, the run, the depths, the operation code, each value's number and marks), lays the
// alarms out again, and sets the length and the CRC. The result is the bytes
// encode_live_frame makes of `frame`, provided `bytes` and `layout` were made from a frame
// with the same value texts (identifiers, names, units), value count and operation name: the
// caller checks that.
void update_live_frame(std::string& bytes, const LiveFrame& frame, const LiveFrameLayout& layout);

// The frame of `bytes`; nullopt with the reason in `why` (a wrong magic or version, a length
// that is not the bytes', a failed CRC, a count or string running past the end). Never
// throws on any content.
std::optional<LiveFrame> decode_live_frame(std::string_view bytes, std::string& why);

// The frame in the file at `path`. The station rewrites the file in place, so a read may catch
// parts of two frames; such a read fails its length or CRC check and is made again, up to
// kReadAttempts times. nullopt with `why` empty when there is no file; with the reason (the
// decoder's or the file system's) otherwise.
inline constexpr int kReadAttempts = 4;
std::optional<LiveFrame> read_live_frame(const std::string& path, lib::FileSystem& fs,
                                         std::string& why);

}  // namespace live
