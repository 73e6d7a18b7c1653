// How a log is laid on pages: the tracks across the page, the depth down it at the layout's
// scale (1:500 puts a metre on 2 mm), and the pages one after another, each going on from
// the depth where the one before ended. Every page has the same frame: a margin, the
// header block (well, run, bit, dates), the track heads (titles and scales), then the log.
//
// With the default A4 page the log takes 240 mm of each page: 120 m at 1:500, 48 m at
// 1:200, 240 m at 1:1000.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "mudlog/layout.h"

namespace mudlog {

inline constexpr double kPageMarginMm = 10;
inline constexpr double kHeaderBlockMm = 15;
inline constexpr double kTrackHeadMm = 22;

struct TrackPlace {
  double x = 0;  // mm from the page's left edge
  double width = 0;
};

struct PagePlan {
  double from = 0;  // depth at the top of the first page, m
  double to = 0;    // depth at the end of the log, m
  int scale = 500;
  double page_width_mm = 210;
  double page_height_mm = 297;
  double mm_per_metre = 2;
  double metres_per_page = 120;
  int pages = 1;
  std::vector<TrackPlace> tracks;  // one per track of the layout
  // One line when the tracks were narrowed to fit the page.
  std::string note;

  double body_top() const { return kPageMarginMm + kHeaderBlockMm + kTrackHeadMm; }
  double body_height() const { return metres_per_page * mm_per_metre; }
  double page_from(int page) const { return from + metres_per_page * page; }
  double page_to(int page) const { return std::min(to, page_from(page + 1)); }
  // The page position of a depth on page `page`, mm from the top edge.
  double y(int page, double depth) const {
    return body_top() + (depth - page_from(page)) * mm_per_metre;
  }
};

// Pages for the depths `from` to `to` (from < to) at `scale` (1:scale). With `one_strip` the
// whole range goes on one page as long as it needs (an SVG strip).
PagePlan plan_pages(const LogLayout& layout, double from, double to, int scale,
                    bool one_strip = false);

}  // namespace mudlog
