#include "wits/wits0_frames.h"

#include <fmt/format.h>

#include <cmath>
#include <map>

#include "wits/wits0_format.h"
#include "wits/wits_data.h"

namespace wits {

std::string make_frame(int record, const FrameItems& items) {
  std::string out(kRecordStart);
  for (const auto& [item, value] : items) append_item_line(out, record, item, value);
  out += kRecordEnd;
  return out;
}

std::string value_text(double value) {
  if (!std::isfinite(value)) return {};
  std::string text = fmt::format("{:.7g}", value);
  if (text == "-0") text = "0";
  return text;
}

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool starts_frame(std::string_view line) {
  return line.size() >= 2 && line.substr(0, 2) == "&&";
}

bool ends_frame(std::string_view line) {
  return (!line.empty() && line[0] == kEndMark) || (line.size() > 1 && line[1] == kEndMark);
}

struct OpenFrame {
  std::vector<int> order;           // records in the order they first appear
  std::map<int, FrameItems> items;  // record -> its items
  bool open = false;

  void flush(CaptureFrames& out) {
    for (int record : order) out.frames.push_back(make_frame(record, items[record]));
    order.clear();
    items.clear();
    open = false;
  }
};

}  // namespace

CaptureFrames frames_from_capture(std::string_view bytes) {
  CaptureFrames out;
  if (bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark)
    bytes.remove_prefix(kByteOrderMark.size());
  OpenFrame frame;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view line = bytes.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (starts_frame(line)) {
      frame.flush(out);  // a frame without its end line ends where the next one starts
      frame.open = true;
      continue;
    }
    if (!frame.open) continue;
    if (ends_frame(line)) {
      frame.flush(out);
      continue;
    }
    int record = 0;
    int item = 0;
    // Only full four-digit codes: a header line such as "WITS 0" is not an item.
    if (line.size() < kValueColumn ||
        !WITSCommIncomData::parse_code(line.substr(0, 4), record, item) ||
        line.size() > kMaxLineBytes) {
      ++out.skipped_lines;
      continue;
    }
    if (!frame.items.contains(record)) frame.order.push_back(record);
    frame.items[record].emplace_back(item, std::string(line.substr(kValueColumn)));
    ++out.items;
  }
  frame.flush(out);
  return out;
}

std::vector<std::string> SyntheticDrilling::next() {
  // A stand drilled in 8 minutes at about 15 m/h, then a 2-minute connection: pumps off,
  // string off bottom and in slips, block up for the next stand.
  constexpr std::int64_t kCycle = 600;
  constexpr std::int64_t kDrilling = 480;
  const std::int64_t t = step_ % kCycle;
  const double wave = std::sin(static_cast<double>(step_) / 17.0);
  const bool drilling = t < kDrilling;
  double rop = 0;
  if (drilling) {
    rop = 15.0 + 3.0 * wave;
    hole_depth_ += rop / 3600.0;
  }
  const double bit = drilling ? hole_depth_ : hole_depth_ - 0.5;
  const double block = drilling
                           ? 28.0 * (1.0 - static_cast<double>(t) / kDrilling) + 2.0
                           : 2.0 + 26.0 * static_cast<double>(t - kDrilling) / (kCycle - kDrilling);
  const double hook = drilling ? 820.0 + 20.0 * wave : 960.0;
  const double wob = drilling ? 120.0 + 10.0 * wave : 0.0;
  const double spm = drilling ? 110.0 : 0.0;
  const double spp = drilling ? 14500.0 + 300.0 * wave : 0.0;
  const double flow = drilling ? 1850.0 + 15.0 * wave : 0.0;
  const double rpm = drilling ? 90.0 : 0.0;
  const double torque = drilling ? 12.5 + 1.5 * wave : 0.0;
  const double gas = 0.8 + 0.3 * std::fabs(wave);
  ++step_;

  std::vector<std::string> frames;
  frames.push_back(make_frame(1, {{8, value_text(bit)},
                                  {10, value_text(hole_depth_)},
                                  {12, value_text(block)},
                                  {13, value_text(rop)},
                                  {14, value_text(hook)},
                                  {17, value_text(wob)},
                                  {18, value_text(torque)},
                                  {20, value_text(rpm)},
                                  {21, value_text(spp)},
                                  {23, value_text(spm)},
                                  {30, value_text(flow)},
                                  {40, value_text(gas)}}));
  const double gamma = 60.0 + 25.0 * std::sin(hole_depth_ / 3.0);
  const double resistivity = 8.0 + 4.0 * std::cos(hole_depth_ / 5.0);
  frames.push_back(make_frame(8, {{8, value_text(hole_depth_)},
                                  {10, value_text(bit)},
                                  {15, value_text(resistivity)},
                                  {23, value_text(gamma)}}));
  return frames;
}

}  // namespace wits
