#include "mudlog/layout.h"

#include <fmt/format.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <optional>
#include <stdexcept>

#include "lib/file_system.h"
#include "lib/ident.h"
#include "lib/str_enc.h"
#include "lib/str_utils.h"
#include "mudlog/layout_format.h"

namespace mudlog {
namespace {

namespace lf = layout_format;

// A number written the plain way ("0.01", "-5", "1e3"); no separators, no blanks.
std::optional<double> plain_number(std::string_view text) {
  double v = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, v);
  if (ec != std::errc() || ptr != end || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::optional<std::uint32_t> colour_value(std::string_view text) {
  if (text.size() != 7 || text[0] != '#') return std::nullopt;
  std::uint32_t v = 0;
  const auto [ptr, ec] = std::from_chars(text.data() + 1, text.data() + 7, v, 16);
  if (ec != std::errc() || ptr != text.data() + 7) return std::nullopt;
  return v;
}

std::optional<bool> yes_no(std::string_view text) {
  const std::string w = lib::to_lower(text);
  if (w == "yes" || w == "on" || w == "true" || w == "1") return true;
  if (w == "no" || w == "off" || w == "false" || w == "0") return false;
  return std::nullopt;
}

std::vector<std::string_view> words_of(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    const std::size_t start = i;
    while (i < text.size() && text[i] != ' ' && text[i] != '\t') ++i;
    if (i > start) words.push_back(text.substr(start, i - start));
  }
  return words;
}

class Parser {
 public:
  explicit Parser(const std::string& file) : file_(file) { out_.layout.file = file; }

  LayoutRead run(std::string_view text) {
    if (!lib::is_valid_utf8(text)) {
      problem(0, "the file is not UTF-8 text; the starter layout is drawn instead");
      return starter();
    }
    std::size_t pos = 0;
    while (pos <= text.size()) {
      std::size_t end = text.find('\n', pos);
      if (end == std::string_view::npos) end = text.size();
      ++line_;
      take_line(lib::trim(text.substr(pos, end - pos)));
      pos = end + 1;
    }
    end_track();
    if (out_.layout.tracks.empty()) {
      problem(0, "no track could be read; the starter layout is drawn instead");
      return starter();
    }
    return std::move(out_);
  }

 private:
  enum class Section { none, log, track, skipped };

  void problem(int line, const std::string& what) {
    out_.problems.push_back(line > 0 ? fmt::format("{}, line {}: {}", file_, line, what)
                                     : fmt::format("{}: {}", file_, what));
  }

  LayoutRead starter() {
    LayoutRead s = parse_layout(starter_layout_text(), "");
    s.layout.file = file_;
    s.problems.insert(s.problems.begin(), out_.problems.begin(), out_.problems.end());
    return s;
  }

  void take_line(std::string_view l) {
    if (l.empty() || l[0] == '#' || l[0] == ';') return;
    if (l.front() == '[') {
      end_track();
      if (l.back() != ']') {
        problem(line_,
                "a section name must end with ']'; the lines up to the next section "
                "are left out");
        section_ = Section::skipped;
        return;
      }
      const std::string name = lib::to_lower(lib::trim(l.substr(1, l.size() - 2)));
      if (name == lf::kLogSection) {
        section_ = Section::log;
      } else if (name == lf::kTrackSection) {
        section_ = Section::track;
        track_ = TrackSpec{};
        track_.line = line_;
        track_ok_ = true;
      } else {
        problem(line_, "unknown section [" + name + "] (log, track); its lines are left out");
        section_ = Section::skipped;
      }
      return;
    }
    if (section_ == Section::skipped || (section_ == Section::track && !track_ok_)) return;
    const std::size_t eq = l.find('=');
    if (eq == std::string_view::npos) {
      problem(line_, "'" + std::string(l) + "' is not key = value; the line is left out");
      return;
    }
    const std::string key = lib::to_lower(lib::trim(l.substr(0, eq)));
    const std::string_view value = lib::trim(l.substr(eq + 1));
    if (section_ == Section::none) {
      problem(line_, "'" + key + "' stands before any [log] or [track]; the line is left out");
    } else if (section_ == Section::log) {
      log_key(key, value);
    } else {
      track_key(key, value);
    }
  }

  void log_key(const std::string& key, std::string_view value) {
    LogLayout& log = out_.layout;
    if (key == lf::kTitleKey) {
      log.title = std::string(value);
    } else if (key == lf::kScaleKey) {
      std::string_view v = value;
      if (v.starts_with("1:")) v.remove_prefix(2);
      const auto n = plain_number(v);
      if (!n || *n != std::floor(*n) || *n < lf::kMinScale || *n > lf::kMaxScale) {
        problem(line_, fmt::format("scale '{}' is not a whole number from {} to {}; the scale "
                                   "stays 1:{}",
                                   value, lf::kMinScale, lf::kMaxScale, log.scale));
        return;
      }
      log.scale = static_cast<int>(*n);
    } else if (key == lf::kPageKey) {
      const std::string v = lib::to_lower(value);
      double w = 0, h = 0;
      if (v == "a4") {
        w = 210, h = 297;
      } else if (v == "a3") {
        w = 297, h = 420;
      } else {
        const std::size_t x = v.find('x');
        const auto pw = x == std::string::npos ? std::nullopt : plain_number(v.substr(0, x));
        const auto ph = x == std::string::npos ? std::nullopt : plain_number(v.substr(x + 1));
        if (pw) w = *pw;
        if (ph) h = *ph;
      }
      if (w < lf::kMinPageMm || w > lf::kMaxPageMm || h < lf::kMinPageMm || h > lf::kMaxPageMm) {
        problem(line_, fmt::format("page '{}' is not A4, A3 or WIDTHxHEIGHT in mm ({} to {}); "
                                   "the page stays {}x{}",
                                   value, lf::kMinPageMm, lf::kMaxPageMm, log.page_width_mm,
                                   log.page_height_mm));
        return;
      }
      log.page_width_mm = w;
      log.page_height_mm = h;
    } else {
      problem(line_, "unknown key '" + key + "' in [log] (title, scale, page); left out");
    }
  }

  void track_key(const std::string& key, std::string_view value) {
    if (key == lf::kKindKey) {
      const std::string v = lib::to_lower(value);
      if (v == lf::kKindDepth) {
        track_.kind = TrackKind::depth;
      } else if (v == lf::kKindCurves) {
        track_.kind = TrackKind::curves;
      } else if (v == lf::kKindOperations) {
        track_.kind = TrackKind::operations;
      } else if (v == lf::kKindText) {
        track_.kind = TrackKind::text;
      } else {
        problem(line_, "unknown track kind '" + v +
                           "' (depth, curves, operations, text); the track is left out");
        track_ok_ = false;
      }
    } else if (key == lf::kTitleKey) {
      track_.title = std::string(value);
    } else if (key == lf::kWidthKey) {
      const auto w = plain_number(value);
      if (!w || *w < lf::kMinTrackWidthMm || *w > lf::kMaxTrackWidthMm) {
        problem(line_,
                fmt::format("width '{}' is not a number of mm from {} to {}; the track "
                            "keeps {} mm",
                            value, lf::kMinTrackWidthMm, lf::kMaxTrackWidthMm, track_.width_mm));
        return;
      }
      track_.width_mm = *w;
    } else if (key == lf::kAgainstKey) {
      const std::string v = lib::to_lower(value);
      if (v == lf::kAgainstDepth) {
        track_.against = DepthSource::depth;
      } else if (v == lf::kAgainstLag) {
        track_.against = DepthSource::lag;
      } else {
        problem(line_, "against '" + v +
                           "' is neither depth nor lag; the track is plotted "
                           "against the depth");
      }
      against_line_ = line_;
    } else if (key == lf::kGridKey) {
      const auto g = plain_number(value);
      if (!g || *g != std::floor(*g) || *g < 0 || *g > lf::kMaxGrid) {
        problem(line_, fmt::format("grid '{}' is not a whole number from 0 to {}; the track "
                                   "keeps {} divisions",
                                   value, lf::kMaxGrid, track_.grid));
        return;
      }
      track_.grid = static_cast<int>(*g);
    } else if (key == lf::kCurveKey) {
      curve(value);
    } else if (key == lf::kJournalsKey) {
      journals_line_ = line_;
      track_.remarks = track_.mud_log = false;
      std::size_t start = 0;
      while (start <= value.size()) {
        std::size_t comma = value.find(',', start);
        if (comma == std::string_view::npos) comma = value.size();
        const std::string w = lib::to_lower(lib::trim(value.substr(start, comma - start)));
        if (w == lf::kJournalRemarks) {
          track_.remarks = true;
        } else if (w == lf::kJournalMudLog) {
          track_.mud_log = true;
        } else if (!w.empty()) {
          problem(line_, "unknown journal '" + w + "' (remarks, mud_log); left out");
        }
        start = comma + 1;
      }
    } else {
      problem(line_, "unknown key '" + key +
                         "' in [track] (kind, title, width, against, grid, curve, journals); "
                         "left out");
    }
  }

  void curve(std::string_view value) {
    const std::vector<std::string_view> words = words_of(value);
    if (words.empty() || words[0].find('=') != std::string_view::npos) {
      problem(line_, "a curve starts with the parameter's identifier; the curve is left out");
      return;
    }
    CurveSpec c;
    c.identifier = std::string(words[0]);
    c.line = line_;
    c.colour = lf::kDefaultColour;
    c.line_width_mm = lf::kDefaultLineWidthMm;
    auto refuse = [&](const std::string& what) {
      problem(line_, what + "; the curve '" + c.identifier + "' is left out");
    };
    bool left_given = false, right_given = false;
    for (std::size_t i = 1; i < words.size(); ++i) {
      const std::size_t eq = words[i].find('=');
      if (eq == std::string_view::npos)
        return refuse("'" + std::string(words[i]) +
                      "' is not "
                      "attribute=value");
      const std::string attr = lib::to_lower(words[i].substr(0, eq));
      const std::string_view v = words[i].substr(eq + 1);
      if (attr == lf::kColourAttr) {
        const auto colour = colour_value(v);
        if (!colour) return refuse("colour '" + std::string(v) + "' is not #rrggbb");
        c.colour = *colour;
      } else if (attr == lf::kStyleAttr) {
        const std::string s = lib::to_lower(v);
        if (s == lf::kStyleSolid) {
          c.style = LineStyle::solid;
        } else if (s == lf::kStyleDashed) {
          c.style = LineStyle::dashed;
        } else if (s == lf::kStyleDotted) {
          c.style = LineStyle::dotted;
        } else {
          return refuse("style '" + s + "' is not solid, dashed or dotted");
        }
      } else if (attr == lf::kScaleAttr) {
        const std::string s = lib::to_lower(v);
        if (s == lf::kScaleLinear) {
          c.scale = ScaleKind::linear;
        } else if (s == lf::kScaleLog) {
          c.scale = ScaleKind::logarithmic;
        } else {
          return refuse("scale '" + s + "' is not linear or log");
        }
      } else if (attr == lf::kLeftAttr || attr == lf::kRightAttr) {
        const auto n = plain_number(v);
        if (!n) return refuse(attr + " '" + std::string(v) + "' is not a number");
        (attr == lf::kLeftAttr ? c.left : c.right) = *n;
        (attr == lf::kLeftAttr ? left_given : right_given) = true;
      } else if (attr == lf::kWrapAttr) {
        const auto w = yes_no(v);
        if (!w) return refuse("wrap '" + std::string(v) + "' is not yes or no");
        c.wrap = *w;
      } else if (attr == lf::kWidthAttr) {
        const auto w = plain_number(v);
        if (!w || *w < lf::kMinLineWidthMm || *w > lf::kMaxLineWidthMm) {
          return refuse(fmt::format("line width '{}' is not a number of mm from {} to {}", v,
                                    lf::kMinLineWidthMm, lf::kMaxLineWidthMm));
        }
        c.line_width_mm = *w;
      } else {
        return refuse("unknown attribute '" + attr +
                      "' (colour, style, scale, left, right, wrap, width)");
      }
    }
    if (c.scale == ScaleKind::logarithmic) {
      if (!left_given) c.left = 0.1;
      if (!right_given) c.right = 1000;
      if (c.left <= 0 || c.right <= 0) {
        return refuse(
            fmt::format("a log scale needs limits above 0, not {} and {}", c.left, c.right));
      }
    }
    if (c.left == c.right) return refuse(fmt::format("left and right are both {}", c.left));
    if (track_.curves.size() >= lf::kMaxCurvesPerTrack) {
      return refuse(fmt::format("a track holds at most {} curves", lf::kMaxCurvesPerTrack));
    }
    if (curves_ >= lf::kMaxCurves) {
      return refuse(fmt::format("a layout holds at most {} curves", lf::kMaxCurves));
    }
    ++curves_;
    track_.curves.push_back(std::move(c));
  }

  void end_track() {
    if (section_ != Section::track || !track_ok_) return;
    section_ = Section::none;
    if (track_.kind != TrackKind::curves) {
      for (const CurveSpec& c : track_.curves) {
        problem(c.line,
                "only a curves track has curves; the curve '" + c.identifier + "' is left out");
      }
      track_.curves.clear();
      if (against_line_ > track_.line) {
        problem(against_line_, "only a curves track is plotted against a depth; left out");
      }
    }
    if (track_.kind != TrackKind::text && journals_line_ > track_.line) {
      problem(journals_line_, "only a text track shows journals; left out");
    }
    if (out_.layout.tracks.size() >= lf::kMaxTracks) {
      problem(track_.line, fmt::format("a layout holds at most {} tracks; this track is left out",
                                       lf::kMaxTracks));
      return;
    }
    out_.layout.tracks.push_back(std::move(track_));
  }

  std::string file_;
  LayoutRead out_;
  Section section_ = Section::none;
  TrackSpec track_;
  bool track_ok_ = false;
  int line_ = 0;
  int against_line_ = 0;
  int journals_line_ = 0;
  std::size_t curves_ = 0;
};

constexpr const char* kStarterLayout =
    R"(# The mud log's layout: its tracks from left to right (docs/log-layout.md).
# Edit it in any text editor; the station and `rigstation rec plot` read it each time they
# draw. A line that cannot be used is named in the error log and left out.

[log]
title = Mud log
scale = 500
page = A4

[track]
kind = depth
width = 12

# Minutes a metre took: a connection or a pause runs off the right edge and is marked there
# with its value, so normal drilling keeps the track's width.
[track]
kind = curves
title = Drill time
width = 24
grid = 5
curve = @drill_time colour=#000000 left=0 right=5

[track]
kind = operations
title = Operation
width = 6

[track]
kind = curves
title = Gas at lag depth
width = 34
against = lag
grid = 4
curve = сумм_газ colour=#c00000 scale=log left=0.01 right=100 width=0.4
curve = метан_абс colour=#0070c0 style=dashed scale=log left=0.01 right=100

[track]
kind = curves
title = Weight on bit
width = 18
grid = 4
curve = нагрузка colour=#008000 left=0 right=20 width=0.4

[track]
kind = curves
title = Drilling
width = 36
grid = 10
curve = обороты_ротора colour=#7030a0 left=0 right=120
curve = момент_ротора colour=#c07000 left=0 right=40
curve = давление_на_входе colour=#0000c0 left=0 right=250

[track]
kind = text
title = Remarks and mud
width = 60
journals = remarks, mud_log
)";

}  // namespace

LayoutRead parse_layout(std::string_view text, const std::string& file_name) {
  Parser p(file_name.empty() ? std::string("the starter layout") : file_name);
  return p.run(text);
}

std::string starter_layout_text() {
  return kStarterLayout;
}

LayoutRead load_layout(const std::string& path, lib::FileSystem& fs) {
  if (lib::missing(fs, path)) {
    LayoutRead r = parse_layout(kStarterLayout, "");
    r.layout.file = path;
    r.problems.push_back(path + ": no such file; the starter layout is drawn");
    return r;
  }
  errno = 0;
  const auto text = lib::read_whole_file(path, fs, layout_format::kMaxFileBytes);
  if (!text) {
    LayoutRead r = parse_layout(kStarterLayout, "");
    r.layout.file = path;
    r.problems.push_back(path + ": cannot be read (" +
                         lib::read_failure_text(errno, layout_format::kMaxFileBytes) +
                         "); the starter layout is drawn");
    return r;
  }
  return parse_layout(*text, path);
}

bool ensure_starter_layout(const std::string& path, lib::FileSystem& fs) {
  if (!lib::missing(fs, path)) return false;
  try {
    lib::write_file_atomically(path, kStarterLayout, fs);
  } catch (const std::exception& e) {
    throw std::runtime_error(std::string("cannot write the mud log layout: ") + e.what());
  }
  return true;
}

std::string_view kind_word(TrackKind kind) {
  switch (kind) {
    case TrackKind::depth:
      return layout_format::kKindDepth;
    case TrackKind::curves:
      return layout_format::kKindCurves;
    case TrackKind::operations:
      return layout_format::kKindOperations;
    case TrackKind::text:
      return layout_format::kKindText;
  }
  return layout_format::kKindCurves;
}

std::string_view style_word(LineStyle style) {
  switch (style) {
    case LineStyle::solid:
      return layout_format::kStyleSolid;
    case LineStyle::dashed:
      return layout_format::kStyleDashed;
    case LineStyle::dotted:
      return layout_format::kStyleDotted;
  }
  return layout_format::kStyleSolid;
}

std::string_view scale_word(ScaleKind scale) {
  return scale == ScaleKind::logarithmic ? layout_format::kScaleLog : layout_format::kScaleLinear;
}

}  // namespace mudlog
