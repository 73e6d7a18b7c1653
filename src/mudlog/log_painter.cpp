#include "mudlog/log_painter.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "calc/operations.h"
#include "lib/str_utils.h"
#include "mudlog/curve_path.h"

namespace mudlog {
namespace {

constexpr std::uint32_t kBlack = 0x000000;
constexpr std::uint32_t kFrameColour = 0x000000;
constexpr std::uint32_t kGridColour = 0xC8C8C8;
constexpr std::uint32_t kMetreColour = 0xE4E4E4;
constexpr std::uint32_t kMajorColour = 0xA8A8A8;
constexpr std::uint32_t kMudColour = 0x004C99;
constexpr std::uint32_t kNoteColour = 0x808080;
constexpr double kFrameWidth = 0.2;
constexpr double kGridWidth = 0.1;
constexpr double kTitleSize = 4.0;
constexpr double kHeaderSize = 2.6;
constexpr double kHeadTitleSize = 2.3;
constexpr double kHeadRowSize = 1.9;
constexpr double kHeadRowMm = 2.6;
constexpr double kDepthLabelSize = 2.2;
constexpr double kTextSize = 1.9;
constexpr double kTextLineMm = 2.3;
constexpr std::size_t kMaxTextLines = 8;
// Points further apart than this many depth steps are not joined by a line.
constexpr double kJoinSteps = 3;
// What the header shows for a value the run does not say.
constexpr const char* kUnknown = "—";
constexpr double kMarkSize = 1.8;
constexpr double kSwatchMm = 2.2;

void line(Canvas& c, double x0, double y0, double x1, double y1, std::uint32_t colour, double width,
          LineStyle style = LineStyle::solid) {
  const double xy[] = {x0, y0, x1, y1};
  c.polyline(xy, 2, colour, width, style);
}

void frame(Canvas& c, double x, double y, double w, double h) {
  const double xy[] = {x, y, x + w, y, x + w, y + h, x, y + h, x, y};
  c.polyline(xy, 5, kFrameColour, kFrameWidth, LineStyle::solid);
}

// Metres between two ticks and two labels of the depth scale.
double tick_step(const PagePlan& p) {
  return p.mm_per_metre >= 0.8 ? 1 : 5;
}
double label_step(const PagePlan& p) {
  if (p.mm_per_metre >= 4) return 5;
  if (p.mm_per_metre >= 0.8) return 10;
  return 50;
}

// Calls f(depth) for each multiple of `step` on the page.
template <typename F>
void each_multiple(const PagePlan& p, int page, double step, F f) {
  const long first = static_cast<long>(std::ceil(p.page_from(page) / step - 1e-9));
  const long last = static_cast<long>(std::floor(p.page_to(page) / step + 1e-9));
  for (long k = first; k <= last; ++k) f(static_cast<double>(k) * step, k);
}

std::string clock_text(std::uint32_t seconds) {
  const std::string t = seconds_text(seconds);  // dd.mm.yyyy hh:mm:ss
  return t.size() >= 16 ? t.substr(11, 5) : t;
}

// "dd.mm.yyyy hh:mm"
std::string minutes_text(double seconds) {
  const std::string t = seconds_text(seconds);
  return t.size() >= 16 ? t.substr(0, 16) : t;
}

// Splits text into lines no wider than `width` (a word longer than a line gets one alone).
std::vector<std::string> wrap_text(Canvas& c, const std::string& text, double width) {
  std::vector<std::string> lines;
  std::string current;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\n' || text[i] == '\r')) {
      if (text[i] == '\n' && !current.empty()) {
        lines.push_back(current);
        current.clear();
      }
      ++i;
    }
    const std::size_t start = i;
    while (i < text.size() && text[i] != ' ' && text[i] != '\n' && text[i] != '\r') ++i;
    if (i == start) break;
    const std::string word = text.substr(start, i - start);
    const std::string joined = current.empty() ? word : current + " " + word;
    if (current.empty() || c.text_width(joined, kTextSize) <= width) {
      current = joined;
    } else {
      lines.push_back(current);
      current = word;
    }
  }
  if (!current.empty()) lines.push_back(current);
  return lines;
}

class PagePainter {
 public:
  PagePainter(Canvas& c, const LogDocument& doc, int page)
      : c_(c), layout_(doc.layout), run_(doc.run), plan_(doc.plan), page_(page) {}

  void paint() {
    c_.begin_page(plan_.page_width_mm, plan_.page_height_mm);
    header();
    for (std::size_t i = 0; i < layout_.tracks.size(); ++i) {
      const TrackSpec& t = layout_.tracks[i];
      const TrackPlace& at = plan_.tracks[i];
      head(t, at);
      c_.clip(at.x, top(), at.width, bottom() - top());
      switch (t.kind) {
        case TrackKind::depth:
          depth_track(at);
          break;
        case TrackKind::curves:
          curves_track(t, at);
          break;
        case TrackKind::operations:
          operations_track(at);
          break;
        case TrackKind::text:
          text_track(t, at);
          break;
      }
      c_.unclip();
      frame(c_, at.x, top(), at.width, bottom() - top());
    }
    c_.end_page();
  }

 private:
  double top() const { return plan_.body_top(); }
  double bottom() const { return plan_.y(page_, plan_.page_to(page_)); }
  double y(double depth) const { return plan_.y(page_, depth); }

  // A header value for the operator: "—" when the run does not say it.
  std::string known(const char* key) const {
    const std::string raw = run_.header_value(key);
    const std::string v(lib::trim(raw));
    return v.empty() ? std::string(kUnknown) : v;
  }
  // A size in mm as the header wrote it; 0 or no number is not known.
  std::string known_mm(const char* key) const {
    const std::string raw = run_.header_value(key);
    const std::string v(lib::trim(raw));
    double mm = 0;
    return lib::try_str_to_float(v, mm) && mm > 0 ? v + " mm" : std::string(kUnknown);
  }
  std::string known_time(const char* key) const {
    double s = 0;
    return lib::try_str_to_float(run_.header_value(key), s) && s > 0 ? minutes_text(s)
                                                                     : std::string(kUnknown);
  }

  // Title and page; the well, its place, the run and the hole; the bit and the run's dates.
  void header() {
    const double x = kPageMarginMm, right = plan_.page_width_mm - kPageMarginMm;
    double yb = kPageMarginMm + kTitleSize;
    const std::string well = known("скважина");
    c_.text(x, yb, layout_.title + (well == kUnknown ? "" : " — " + well), kTitleSize, kBlack,
            TextAlign::left, true);
    c_.text(right, yb,
            fmt::format("page {} of {}   {}–{} m   scale 1:{}", page_ + 1, plan_.pages,
                        value_label(plan_.page_from(page_)), value_label(plan_.page_to(page_)),
                        plan_.scale),
            kHeaderSize, kBlack, TextAlign::right);
    yb += kHeaderSize + 2;
    const std::string place = fmt::format("Well: {}   Field: {}   Pad: {}   Run: {}   Hole: Ø {}",
                                          well, known("месторождение"), known("куст"),
                                          known("номер_рейса"), known_mm("диаметр_скважины"));
    c_.text(x, yb, place, kHeaderSize, kBlack, TextAlign::left);
    operation_legend(x + c_.text_width(place, kHeaderSize) + 6, right, yb);
    yb += kHeaderSize + 1.5;
    std::string end = known_time("конеч_время");
    if (end == kUnknown && std::isfinite(run_.last_time)) {
      end += " (not ended; last depth line " + minutes_text(run_.last_time) + ")";
    }
    c_.text(
        x, yb,
        fmt::format("Bit: № {}, Ø {}, type {}   Start: {}   End: {}", known("номер_долота"),
                    known_mm("диаметр_долота"), known("тип_долота"), known_time("нач_время"), end),
        kHeaderSize, kBlack, TextAlign::left);
  }

  // What the band's colours mean: the operations of this page, right-aligned up to `right`,
  // as many as fit from `left` on.
  void operation_legend(double left, double right, double baseline) {
    if (std::none_of(layout_.tracks.begin(), layout_.tracks.end(),
                     [](const TrackSpec& t) { return t.kind == TrackKind::operations; }))
      return;
    const double from = plan_.page_from(page_), to = plan_.page_to(page_);
    std::vector<std::pair<int, double>> items;  // code, width
    double total = 0;
    for (const OperationSpan& s : run_.operation_spans) {
      if (s.bottom < from || s.top > to ||
          std::any_of(items.begin(), items.end(), [&](const auto& i) { return i.first == s.code; }))
        continue;
      const double w = kSwatchMm + 0.8 + c_.text_width(operation_name(s.code), kHeaderSize) + 3;
      if (left + total + w > right) break;
      items.emplace_back(s.code, w);
      total += w;
    }
    double ix = right - total;
    for (const auto& [code, w] : items) {
      const double top = baseline - kSwatchMm + 0.2;
      c_.fill_rect(ix, top, kSwatchMm, kSwatchMm, operation_rgb(code));
      frame(c_, ix, top, kSwatchMm, kSwatchMm);
      c_.text(ix + kSwatchMm + 0.8, baseline, operation_name(code), kHeaderSize, kBlack,
              TextAlign::left);
      ix += w;
    }
  }

  // A text no wider than `room`: its size shrinks as far as needed.
  void fitted(double x, double y, const std::string& text, double size, double room,
              std::uint32_t colour, TextAlign align, bool bold = false) {
    const double w = c_.text_width(text, size, bold);
    if (w > room && w > 0) size = std::max(size * room / w, 0.8);
    c_.text(x, y, text, size, colour, align, bold);
  }

  void head(const TrackSpec& t, const TrackPlace& at) {
    const double y0 = kPageMarginMm + kHeaderBlockMm;
    frame(c_, at.x, y0, at.width, kTrackHeadMm);
    const double cx = at.x + at.width / 2;
    std::string title = t.title;
    if (title.empty() && t.kind == TrackKind::depth) title = "Depth, m";
    if (t.kind == TrackKind::operations &&
        c_.text_width(title, kHeadTitleSize, true) > at.width - 1) {
      // The narrow operation band has its head's height for a title set upright.
      const double room = kTrackHeadMm - 2;
      double size = kHeadTitleSize;
      const double w = c_.text_width(title, size, true);
      if (w > room) size = std::max(size * room / w, 0.8);
      c_.text_up(cx + size * 0.35, y0 + kTrackHeadMm - 1, title, size, kBlack, true);
    } else {
      fitted(cx, y0 + 3.2, title, kHeadTitleSize, at.width - 1, kBlack, TextAlign::centre, true);
    }
    if (t.kind == TrackKind::depth) {
      c_.text(cx, y0 + 8, fmt::format("1:{}", plan_.scale), kHeadRowSize, kBlack,
              TextAlign::centre);
      return;
    }
    for (std::size_t k = 0; k < t.curves.size(); ++k) {
      const CurveSpec& cv = t.curves[k];
      const double ry = y0 + 5 + static_cast<double>(k) * kHeadRowMm;
      const CurveInfo* info = run_.curve_info(curve_source(t, cv), cv.identifier);
      std::string name = info ? info->name : cv.identifier;
      if (info && !info->unit.empty()) name += ", " + info->unit;
      if (!info || !info->has_values) name += " (no values)";
      // The name between the scale's ends, made smaller where a narrow track needs it.
      const std::string left = value_label(cv.left), right = value_label(cv.right);
      const double ends = std::max(c_.text_width(left, kHeadRowSize * 0.9),
                                   c_.text_width(right, kHeadRowSize * 0.9));
      fitted(cx, ry + 1.7, name, kHeadRowSize, at.width - 2 * ends - 2.5, cv.colour,
             TextAlign::centre);
      c_.text(at.x + 0.5, ry + 1.7, left, kHeadRowSize * 0.9, cv.colour, TextAlign::left);
      c_.text(at.x + at.width - 0.5, ry + 1.7, right, kHeadRowSize * 0.9, cv.colour,
              TextAlign::right);
      line(c_, at.x + 0.5, ry + 2.3, at.x + at.width - 0.5, ry + 2.3, cv.colour,
           std::min(cv.line_width_mm, 0.4), cv.style);
    }
  }

  void depth_lines(const TrackPlace& at) {
    if (plan_.mm_per_metre >= 0.8) {
      each_multiple(plan_, page_, 1, [&](double d, long) {
        line(c_, at.x, y(d), at.x + at.width, y(d), kMetreColour, kGridWidth * 0.8);
      });
    }
    each_multiple(plan_, page_, label_step(plan_) / 2, [&](double d, long) {
      line(c_, at.x, y(d), at.x + at.width, y(d), kMajorColour, kGridWidth);
    });
  }

  void depth_track(const TrackPlace& at) {
    const double right = at.x + at.width;
    const double label = label_step(plan_);
    each_multiple(plan_, page_, tick_step(plan_), [&](double d, long k) {
      const bool major = std::fmod(static_cast<double>(k) * tick_step(plan_), label / 2) < 1e-9;
      line(c_, right - (major ? 2.5 : 1.2), y(d), right, y(d), kBlack, 0.12);
    });
    each_multiple(plan_, page_, label, [&](double d, long) {
      // A label at the page's top or bottom edge stays whole, beside its tick.
      const double baseline =
          std::clamp(y(d) + kDepthLabelSize / 2.8, top() + kDepthLabelSize * 0.8, bottom() - 0.4);
      c_.text(right - 3, baseline, value_label(d), kDepthLabelSize, kBlack, TextAlign::right);
    });
  }

  void curves_track(const TrackSpec& t, const TrackPlace& at) {
    depth_lines(at);
    for (int g = 1; g < t.grid; ++g) {
      const double x = at.x + at.width * g / t.grid;
      line(c_, x, top(), x, bottom(), kGridColour, kGridWidth);
    }
    const double from = plan_.page_from(page_), to = plan_.page_to(page_);
    std::vector<double> xy;
    std::vector<EdgeMark> marks;
    std::vector<std::uint32_t> mark_colours;
    for (const CurveSpec& cv : t.curves) {
      const Series* s = run_.find(curve_source(t, cv), cv.identifier);
      if (!s) continue;
      const CurveLines lines = curve_lines(cv, *s, from, to, kJoinSteps * run_.step + 1e-6);
      for (const Path& path : lines.paths) {
        xy.clear();
        xy.reserve(path.size() * 2);
        for (const PathPoint& p : path) {
          xy.push_back(at.x + p.x * at.width);
          xy.push_back(y(p.depth));
        }
        c_.polyline(xy.data(), path.size(), cv.colour, cv.line_width_mm, cv.style);
      }
      marks.insert(marks.end(), lines.marks.begin(), lines.marks.end());
      mark_colours.resize(marks.size(), cv.colour);
    }
    // The values held at an edge, over the lines: each stretch's peak, with an arrow out of
    // the track.
    for (std::size_t k = 0; k < marks.size(); ++k) {
      const EdgeMark& m = marks[k];
      const std::string label = m.right ? value_label(m.value) + " ▶" : "◀ " + value_label(m.value);
      const double w = c_.text_width(label, kMarkSize) + 0.4;
      const double left = m.right ? at.x + at.width - w : at.x;
      const double top_y = y(m.depth) - kMarkSize * 0.5;
      c_.fill_rect(left, top_y, w, kMarkSize, 0xFFFFFF);
      c_.text(m.right ? left + w - 0.2 : left + 0.2, top_y + kMarkSize * 0.8, label, kMarkSize,
              mark_colours[k], m.right ? TextAlign::right : TextAlign::left);
    }
  }

  void operations_track(const TrackPlace& at) {
    const double from = plan_.page_from(page_), to = plan_.page_to(page_);
    for (const OperationSpan& s : run_.operation_spans) {
      if (s.bottom < from || s.top > to) continue;
      const double y0 = y(std::max(s.top, from)), y1 = y(std::min(s.bottom, to));
      c_.fill_rect(at.x, y0, at.width, y1 - y0, operation_rgb(s.code));
    }
  }

  void text_track(const TrackSpec& t, const TrackPlace& at) {
    depth_lines(at);
    const double from = plan_.page_from(page_), to = plan_.page_to(page_);
    double taken = top();
    for (const LogText& item : run_.texts) {
      if (item.depth < from || item.depth >= to || (item.mud ? !t.mud_log : !t.remarks)) continue;
      const std::uint32_t colour = item.mud ? kMudColour : kBlack;
      const double at_y = y(item.depth);
      std::vector<std::string> lines =
          wrap_text(c_, clock_text(item.time) + " " + item.text, at.width - 3);
      if (lines.size() > kMaxTextLines) {
        lines.resize(kMaxTextLines);
        lines.back() += " …";
      }
      const double first = std::max(at_y - kTextSize * 0.35, taken);
      line(c_, at.x, at_y, at.x + 1.2, at_y, colour, 0.25);
      for (std::size_t k = 0; k < lines.size(); ++k) {
        c_.text(at.x + 2, first + kTextSize * 0.8 + static_cast<double>(k) * kTextLineMm, lines[k],
                kTextSize, colour, TextAlign::left);
      }
      taken = first + static_cast<double>(lines.size()) * kTextLineMm + 0.4;
      if (taken > bottom()) break;
    }
  }

  Canvas& c_;
  const LogLayout& layout_;
  const RunData& run_;
  const PagePlan& plan_;
  int page_;
};

}  // namespace

std::string value_label(double v) {
  const double a = std::fabs(v);
  if (a != 0 && (a < 0.01 || a >= 1e6)) return fmt::format("{:g}", v);
  if (a == std::floor(a)) return lib::float_to_str(v, 0);
  return lib::float_to_str(v, a < 1 ? 2 : (a < 10 ? 1 : 0));
}

std::uint32_t operation_rgb(int code) {
  const std::uint32_t c = calc::Operations::standard().get_color(code);
  if (c > 0xFFFFFF) return 0xFFFFFF;
  return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

std::string operation_name(int code) {
  return calc::Operations::standard().get(code);
}

void paint_page(Canvas& canvas, const LogDocument& doc, int page) {
  PagePainter(canvas, doc, page).paint();
}

void paint_log(Canvas& canvas, const LogDocument& doc) {
  for (int page = 0; page < doc.plan.pages; ++page) paint_page(canvas, doc, page);
}

}  // namespace mudlog
