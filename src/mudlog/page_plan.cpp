#include "mudlog/page_plan.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

namespace mudlog {

PagePlan plan_pages(const LogLayout& layout, double from, double to, int scale, bool one_strip) {
  PagePlan p;
  p.from = from;
  p.to = std::max(to, from);
  p.scale = scale > 0 ? scale : layout.scale;
  p.page_width_mm = layout.page_width_mm;
  p.mm_per_metre = 1000.0 / p.scale;
  const double frame = 2 * kPageMarginMm + kHeaderBlockMm + kTrackHeadMm;
  if (one_strip) {
    p.metres_per_page = std::max(p.to - p.from, 1.0);
    p.page_height_mm = frame + p.metres_per_page * p.mm_per_metre;
    p.pages = 1;
  } else {
    p.page_height_mm = layout.page_height_mm;
    p.metres_per_page = (p.page_height_mm - frame) / p.mm_per_metre;
    // A range that ends a hair past a page's end (float depths) needs no page more.
    p.pages = std::max(1, static_cast<int>(std::ceil((p.to - p.from) / p.metres_per_page - 1e-6)));
  }
  double total = 0;
  for (const TrackSpec& t : layout.tracks) total += t.width_mm;
  const double room = p.page_width_mm - 2 * kPageMarginMm;
  const double k = total > room ? room / total : 1.0;
  if (k < 1) {
    p.note = fmt::format(
        "the tracks are {:.0f} mm wide together, the page has room for {:.0f} mm; "
        "each is narrowed to {:.0f} %",
        total, room, k * 100);
  }
  double x = kPageMarginMm;
  for (const TrackSpec& t : layout.tracks) {
    p.tracks.push_back({x, t.width_mm * k});
    x += t.width_mm * k;
  }
  return p;
}

}  // namespace mudlog
