// Feeds arbitrary bytes to the mud log layout reader. Whatever it reads must be a layout the
// painter can lay out: at least one track, every track and curve within the limits, every
// scale drawable (distinct limits, above 0 on a log scale).
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "mudlog/layout.h"
#include "mudlog/layout_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace lf = mudlog::layout_format;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const mudlog::LayoutRead r = mudlog::parse_layout(text, "fuzz.ini");
  const mudlog::LogLayout& l = r.layout;
  if (l.tracks.empty() || l.tracks.size() > lf::kMaxTracks) __builtin_trap();
  if (l.scale < lf::kMinScale || l.scale > lf::kMaxScale) __builtin_trap();
  std::size_t curves = 0;
  for (const mudlog::TrackSpec& t : l.tracks) {
    if (!(t.width_mm >= lf::kMinTrackWidthMm && t.width_mm <= lf::kMaxTrackWidthMm))
      __builtin_trap();
    if (t.curves.size() > lf::kMaxCurvesPerTrack) __builtin_trap();
    if (t.kind != mudlog::TrackKind::curves && !t.curves.empty()) __builtin_trap();
    for (const mudlog::CurveSpec& c : t.curves) {
      ++curves;
      if (!std::isfinite(c.left) || !std::isfinite(c.right) || c.left == c.right) __builtin_trap();
      if (c.scale == mudlog::ScaleKind::logarithmic && (c.left <= 0 || c.right <= 0))
        __builtin_trap();
      if (c.identifier.empty() || c.line <= 0) __builtin_trap();
    }
  }
  if (curves > lf::kMaxCurves) __builtin_trap();
  for (const std::string& p : r.problems) {
    if (p.empty()) __builtin_trap();
  }
  return 0;
}
