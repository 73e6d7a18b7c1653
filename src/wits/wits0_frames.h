// Building WITS level 0 frames to send (wits0_format.h): one record per frame, from values,
// from a capture file of another sender, or from a synthetic drilling sequence.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wits {

// Item number -> value text, in the order they are written.
using FrameItems = std::vector<std::pair<int, std::string>>;

// "&&", one line per item of `record`, "!!", each ended by CR LF. Record and items 0..99.
std::string make_frame(int record, const FrameItems& items);

// The value text of a number as our senders write it: at most 7 significant digits, no
// exponent for the numbers a rig produces, "." as the decimal separator.
std::string value_text(double value);

struct CaptureFrames {
  std::vector<std::string> frames;  // each one record, CR LF line ends
  std::size_t items = 0;            // item lines taken
  std::size_t skipped_lines = 0;    // lines in a frame that are not items (headers, noise)
};

// The records of a capture of a WITS0 stream, as another sender wrote it: LF or CR LF line
// ends, a byte-order mark, blank lines and header lines are taken as they come. A frame that
// mixes records ("01.." lines then "08..") becomes one frame per record, in the order each
// record first appears, so a receiver makes every one of them ready. Lines outside a frame
// are skipped; a frame cut by the end of the file is kept.
CaptureFrames frames_from_capture(std::string_view bytes);

// A rig drilling ahead, one step per second: record 1 (time-based drilling data) and
// record 8 (downhole measurements while drilling) with the items a mud-logging unit sends.
class SyntheticDrilling {
 public:
  explicit SyntheticDrilling(double start_depth = 1500.0) : hole_depth_(start_depth) {}
  // The frames of the next second: record 1, then record 8.
  std::vector<std::string> next();
  std::int64_t step() const { return step_; }
  double hole_depth() const { return hole_depth_; }

 private:
  std::int64_t step_ = 0;
  double hole_depth_;
};

}  // namespace wits
