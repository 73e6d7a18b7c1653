#include "web/depth_log_api.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

#include "journals/journal_files.h"
#include "lib/file_system.h"
#include "mudlog/curve_path.h"
#include "mudlog/layout.h"
#include "mudlog/layout_format.h"
#include "mudlog/log_painter.h"
#include "mudlog/run_data.h"
#include "station/station.h"
#include "web/depth_log_format.h"
#include "web/query.h"

namespace web {
namespace {

namespace df = depth_log_format;

// Depths to the millimetre and places across a track to a ten-thousandth keep the answer
// small; neither shows on a screen.
double mm(double v) {
  return std::round(v * 1000) / 1000;
}
double frac(double v) {
  return std::round(v * 10000) / 10000;
}
nlohmann::json number(double v) {
  return std::isfinite(v) ? nlohmann::json(v) : nlohmann::json(nullptr);
}

std::string rgb_text(std::uint32_t rgb) {
  return fmt::format("#{:06x}", rgb & 0xFFFFFF);
}

RouteAnswer refusal(int status, std::string why) {
  return {status, std::move(why), "application/json"};
}

std::optional<double> depth_number(const Query& q, const char* name, std::string& error) {
  const auto text = q.get(name);
  if (!text || text->empty()) return std::nullopt;
  const auto v = parse_seconds(*text);  // a plain finite decimal number
  if (!v) error = fmt::format("'{}' is not a depth in metres", name);
  return v;
}

std::string records_folder(const DepthLogHome& h) {
  return h.home + station::kRecordingFolder;
}

std::string cut_text(const std::string& text) {
  if (text.size() <= df::kMaxTextBytes) return text;
  std::size_t n = df::kMaxTextBytes;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;  // whole letters
  return text.substr(0, n) + "…";
}

}  // namespace

RouteAnswer depth_log_runs(const DepthLogHome& h) {
  auto runs = mudlog::list_runs(records_folder(h), *h.fs);
  if (runs.size() > df::kMaxRuns) runs.erase(runs.begin(), runs.end() - df::kMaxRuns);
  nlohmann::json list = nlohmann::json::array();
  std::size_t summarized = 0;
  for (auto it = runs.rbegin(); it != runs.rend(); ++it) {
    nlohmann::json r = {{"run", it->first}, {"file", it->second}};
    // Each summary reads the whole depth file: the newest runs only.
    if (summarized++ >= df::kSummarizedRuns) {
      list.push_back(std::move(r));
      continue;
    }
    try {
      const mudlog::RunSummary s = mudlog::summarize_run(records_folder(h) + it->second, *h.fs);
      r["first"] = number(s.first_depth);
      r["last"] = number(s.last_depth);
      r["lines"] = s.lines;
      for (const auto& [k, v] : s.header)
        if (k == "скважина") r["well"] = v;
    } catch (const std::exception& e) {
      r["error"] = e.what();
    }
    list.push_back(std::move(r));
  }
  return {200, nlohmann::json{{"runs", std::move(list)}}.dump(
                   -1, ' ', false, nlohmann::json::error_handler_t::replace)};
}

RouteAnswer depth_log_window(const DepthLogHome& h, std::string_view raw_query) {
  const Query q = parse_query(raw_query);
  if (!q.error.empty()) return refusal(400, q.error);
  const auto runs = mudlog::list_runs(records_folder(h), *h.fs);
  int run_number = runs.empty() ? -1 : runs.back().first;
  if (const auto r = q.get("run"); r && !r->empty()) {
    if (r->size() > 9 ||
        !std::all_of(r->begin(), r->end(), [](char c) { return c >= '0' && c <= '9'; }))
      return refusal(400, "'run' is not a run number");
    run_number = std::stoi(*r);
  }
  const auto found =
      std::find_if(runs.begin(), runs.end(), [&](const auto& r) { return r.first == run_number; });
  if (found == runs.end()) {
    return refusal(404, run_number < 0 ? std::string("no run is recorded in this station's home")
                                       : fmt::format("run {} is not recorded", run_number));
  }
  std::string error;
  auto from = depth_number(q, "from", error);
  auto to = depth_number(q, "to", error);
  if (!error.empty()) return refusal(400, error);
  std::vector<std::string> notes;
  if (from && to && *from > *to) {
    notes.push_back(fmt::format("the depth range {}..{} m is reversed; shown from {} to {} m",
                                *from, *to, *to, *from));
    std::swap(*from, *to);
  }

  mudlog::LayoutRead layout =
      mudlog::load_layout(h.home + std::string(mudlog::layout_format::kFileName), *h.fs);
  mudlog::RunFiles files;
  files.depth_file = records_folder(h) + found->second;
  files.remarks_file = journals::journal_path(h.home, journals::kRemarksFileName);
  files.mud_log_file = journals::journal_path(h.home, journals::kMudLogFileName);
  const mudlog::RunSummary summary = mudlog::summarize_run(files.depth_file, *h.fs);
  if (!std::isfinite(summary.first_depth)) {
    return {200, nlohmann::json{{"run", run_number},
                                {"file", found->second},
                                {"lines", 0},
                                {"notes", {found->second + " holds no depth line yet"}}}
                     .dump()};
  }
  if (!to) to = from ? *from + df::kDefaultWindowMetres : std::ceil(summary.last_depth);
  if (!from) from = *to - df::kDefaultWindowMetres;
  if (*to - *from > df::kMaxWindowMetres + 1e-9) {
    return refusal(400, fmt::format("a window holds at most {} m, not {} m", df::kMaxWindowMetres,
                                    *to - *from));
  }
  const mudlog::RunData run =
      mudlog::load_run(files, layout.layout, *h.fs, mudlog::DepthRange{*from, *to});
  notes.insert(notes.end(), layout.problems.begin(), layout.problems.end());
  notes.insert(notes.end(), run.notes.begin(), run.notes.end());

  nlohmann::json tracks = nlohmann::json::array();
  for (const mudlog::TrackSpec& t : layout.layout.tracks) {
    nlohmann::json tj = {
        {"kind", mudlog::kind_word(t.kind)}, {"title", t.title}, {"width", t.width_mm}};
    if (t.kind == mudlog::TrackKind::curves) {
      tj["against"] = t.against == mudlog::DepthSource::lag ? "lag" : "depth";
      tj["grid"] = t.grid;
      nlohmann::json curves = nlohmann::json::array();
      for (const mudlog::CurveSpec& c : t.curves) {
        const mudlog::DepthSource source = mudlog::curve_source(t, c);
        const mudlog::CurveInfo* info = run.curve_info(source, c.identifier);
        nlohmann::json cj = {{"id", c.identifier},
                             {"name", info ? info->name : c.identifier},
                             {"unit", info ? info->unit : ""},
                             {"values", info && info->has_values},
                             {"colour", rgb_text(c.colour)},
                             {"style", mudlog::style_word(c.style)},
                             {"width", c.line_width_mm},
                             {"scale", mudlog::scale_word(c.scale)},
                             {"left", c.left},
                             {"right", c.right},
                             {"wrap", c.wrap}};
        nlohmann::json paths = nlohmann::json::array();
        nlohmann::json marks = nlohmann::json::array();
        if (const mudlog::Series* s = run.find(source, c.identifier)) {
          // A wrapping curve may be cut at an edge between any two points, adding two: it
          // keeps a third as many, so no curve sends more than kMaxPointsPerCurve.
          const std::size_t points = c.wrap ? df::kMaxPointsPerCurve / 3 : df::kMaxPointsPerCurve;
          const double bucket = (*to - *from) / static_cast<double>(points / 2);
          const double max_gap = std::max(3 * run.step, 2 * bucket) + 1e-6;
          const mudlog::Series thin = mudlog::thin_series(*s, *from, *to, points);
          const mudlog::CurveLines lines = mudlog::curve_lines(c, thin, *from, *to, max_gap);
          for (const mudlog::Path& p : lines.paths) {
            nlohmann::json flat = nlohmann::json::array();
            for (const mudlog::PathPoint& pt : p) {
              flat.push_back(mm(pt.depth));
              flat.push_back(frac(pt.x));
            }
            paths.push_back(std::move(flat));
          }
          for (const mudlog::EdgeMark& m : lines.marks) {
            if (marks.size() >= df::kMaxMarksPerCurve) break;
            marks.push_back({mm(m.depth), m.right ? 1 : 0, mudlog::value_label(m.value)});
          }
        }
        cj["paths"] = std::move(paths);
        cj["marks"] = std::move(marks);
        curves.push_back(std::move(cj));
      }
      tj["curves"] = std::move(curves);
    } else if (t.kind == mudlog::TrackKind::operations) {
      nlohmann::json spans = nlohmann::json::array();
      nlohmann::json names = nlohmann::json::object();
      for (const mudlog::OperationSpan& s : run.operation_spans) {
        if (s.bottom < *from || s.top > *to) continue;
        if (spans.size() >= df::kMaxSpans) break;
        spans.push_back({mm(s.top), mm(s.bottom), rgb_text(mudlog::operation_rgb(s.code)), s.code});
        names[std::to_string(s.code)] = mudlog::operation_name(s.code);
      }
      tj["spans"] = std::move(spans);
      tj["names"] = std::move(names);
    } else if (t.kind == mudlog::TrackKind::text) {
      nlohmann::json texts = nlohmann::json::array();
      for (const mudlog::LogText& x : run.texts) {
        if (x.mud ? !t.mud_log : !t.remarks) continue;
        if (texts.size() >= df::kMaxTexts) break;
        const std::string when = mudlog::seconds_text(x.time);
        texts.push_back({{"d", mm(x.depth)},
                         {"time", when.size() >= 16 ? when.substr(11, 5) : when},
                         {"text", cut_text(x.text)},
                         {"mud", x.mud}});
      }
      tj["texts"] = std::move(texts);
    }
    tracks.push_back(std::move(tj));
  }
  nlohmann::json header = nlohmann::json::object();
  for (const char* key : {"скважина", "месторождение", "куст", "номер_рейса", "номер_долота"}) {
    const std::string v = run.header_value(key);
    if (!v.empty()) header[key] = v;
  }
  nlohmann::json j = {{"run", run_number},
                      {"file", found->second},
                      {"lines", summary.lines},
                      {"first", number(summary.first_depth)},
                      {"last", number(summary.last_depth)},
                      {"step", run.step},
                      {"from", *from},
                      {"to", *to},
                      {"title", layout.layout.title},
                      {"scale", layout.layout.scale},
                      {"header", std::move(header)},
                      {"tracks", std::move(tracks)},
                      {"notes", notes}};
  // A text the journals hold may not be valid UTF-8; such bytes are replaced, not refused.
  return {200, j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)};
}

std::vector<Route> depth_log_routes(DepthLogHome home) {
  return {
      {std::string(depth_log_format::kRunsPath),
       [home](std::string_view) { return depth_log_runs(home); }},
      {std::string(depth_log_format::kWindowPath),
       [home](std::string_view q) { return depth_log_window(home, q); }},
  };
}

}  // namespace web
