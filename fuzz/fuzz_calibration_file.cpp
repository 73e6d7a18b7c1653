// Feeds arbitrary bytes to the calibration file reader. Every line after the name is a
// point, blank or counted as skipped; the identifier is UTF-8 whichever encoding the file
// declared; what was read writes out and reads back to the same identifier and points,
// and that text is written again unchanged.
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "lib/str_enc.h"
#include "params/calibration_file.h"

namespace {

bool same_points(const params::CalibrPoints& a, const params::CalibrPoints& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].x != b[i].x || a[i].y != b[i].y) return false;
  }
  return true;
}

std::size_t line_count(std::string_view text) {
  std::size_t n = 0;
  for (char c : text) n += c == '\n';
  if (!text.empty() && text.back() != '\n') ++n;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace cf = params::calibration_file;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  const auto parsed = cf::parse(bytes);
  if (!parsed) return 0;
  if (!lib::is_valid_utf8(parsed->identifier)) __builtin_trap();
  if (parsed->skipped_lines < 0) __builtin_trap();
  // At most one point or one skip per line, and the name takes a line of its own.
  if (parsed->points.size() + static_cast<std::size_t>(parsed->skipped_lines) >=
      line_count(bytes)) {
    __builtin_trap();
  }
  // A calibration point is a pair of finite numbers; anything else cannot be interpolated.
  for (const auto& p : parsed->points) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) __builtin_trap();
  }

  // The writer keeps six decimals, so values settle after one trip; from then on the
  // text and what it reads as are fixed.
  const std::string written = cf::format(parsed->identifier, parsed->points);
  const auto again = cf::parse(written);
  if (!again || again->identifier != parsed->identifier || again->skipped_lines != 0 ||
      again->points.size() != parsed->points.size()) {
    __builtin_trap();
  }
  const std::string rewritten = cf::format(again->identifier, again->points);
  if (rewritten != written) __builtin_trap();
  const auto third = cf::parse(rewritten);
  if (!third || !same_points(third->points, again->points)) __builtin_trap();
  return 0;
}
