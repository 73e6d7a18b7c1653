// Paints a mud log onto pages through a Canvas, the few drawing calls a PDF, an SVG or a
// test's recorder provides: filled rectangles, polylines, texts. Coordinates are millimetres
// from the page's top left corner; colours 0xRRGGBB.
//
// What goes on a page: the header block (title, well, field, pad, run, hole, bit number, size
// and type, the run's start and end, each "—" when the run does not say it; the page's
// depths, scale and number), the track heads (each curve's name, unit, colour and scale, a
// narrow band's title upright), and the log: the depth scale with a tick every metre, the
// operation band, each curves track with its grid and curves (a value held at an edge marked
// there with what it was), and the text track with the journals' texts at their depths
// (pushed down where they would overlap, wrapped to the track's width).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "mudlog/layout.h"
#include "mudlog/page_plan.h"
#include "mudlog/run_data.h"

namespace mudlog {

enum class TextAlign { left, centre, right };

class Canvas {
 public:
  virtual ~Canvas() = default;
  virtual void begin_page(double width_mm, double height_mm) = 0;
  virtual void end_page() = 0;
  // Everything drawn until unclip() is cut to the rectangle.
  virtual void clip(double x, double y, double w, double h) = 0;
  virtual void unclip() = 0;
  virtual void fill_rect(double x, double y, double w, double h, std::uint32_t colour) = 0;
  // `xy` holds `points` pairs of x and y.
  virtual void polyline(const double* xy, std::size_t points, std::uint32_t colour, double width_mm,
                        LineStyle style) = 0;
  // `y` is the text's baseline; `size_mm` the font's size.
  virtual void text(double x, double y, std::string_view text, double size_mm, std::uint32_t colour,
                    TextAlign align, bool bold = false) = 0;
  // A text running upwards from (x, y), its baseline to the left of x.
  virtual void text_up(double x, double y, std::string_view text, double size_mm,
                       std::uint32_t colour, bool bold = false) = 0;
  virtual double text_width(std::string_view text, double size_mm, bool bold = false) = 0;
};

struct LogDocument {
  const LogLayout& layout;
  const RunData& run;
  const PagePlan& plan;
};

// Paints one page (0-based), with begin_page and end_page around it.
void paint_page(Canvas& canvas, const LogDocument& doc, int page);
// Paints every page of the plan.
void paint_log(Canvas& canvas, const LogDocument& doc);

// The RGB of an operation's colour in the band (the dictionary's host colour turned round).
std::uint32_t operation_rgb(int code);
// The name of an operation for the band's legend and the web view.
std::string operation_name(int code);
// A value as the log writes it at a scale's ends and an edge mark: 0.01, 2.5, 120.
std::string value_label(double v);

}  // namespace mudlog
