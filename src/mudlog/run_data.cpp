#include "mudlog/run_data.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>
#include <numeric>

#include "journals/mud_log_file.h"
#include "journals/remarks_file.h"
#include "lib/date_time.h"
#include "lib/file_system.h"
#include "lib/ident.h"
#include "lib/str_utils.h"
#include "mudlog/layout_format.h"
#include "storage/real_time_format.h"
#include "storage/real_time_reader.h"

namespace mudlog {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Lines this far around a range are kept, so the curves run on to the range's edges.
constexpr double kRangePadMetres = 5;
// Two depth lines further apart than this many steps are not joined (a stretch not drilled
// or not recorded lies between them).
constexpr double kJoinSteps = 3;
// A journal file is read whole; larger ones are damaged (docs/journals.md).
constexpr std::size_t kMaxJournalBytes = std::size_t{64} << 20;

const char* kStartTimeKey = "нач_время";
const char* kStartDepthKey = "нач_глубина";
const char* kEndTimeKey = "конеч_время";
const char* kEndDepthKey = "конеч_глубина";
const char* kDepthStepKey = "шаг_записи_по_глубине";

bool computed(const std::string& identifier) {
  return identifier == layout_format::kDrillTime || identifier == layout_format::kRop;
}

std::string bare_name(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The lines of one recording file, in file order until sorted.
struct FileLines {
  std::vector<double> depth;
  std::vector<double> time;
  std::vector<int> operation;
  std::vector<std::vector<float>> values;  // one column per wanted identifier
};

// Ascending in depth; of two lines at the same depth the later one written stays (a run
// taken up again may write a depth twice).
void sort_by_depth(FileLines& f) {
  std::vector<std::size_t> order(f.depth.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return f.depth[a] < f.depth[b]; });
  std::vector<std::size_t> kept;
  kept.reserve(order.size());
  for (std::size_t i : order) {
    if (!kept.empty() && f.depth[kept.back()] == f.depth[i]) {
      kept.back() = i;
    } else {
      kept.push_back(i);
    }
  }
  auto apply = [&](auto& v) {
    std::remove_reference_t<decltype(v)> out;
    out.reserve(kept.size());
    for (std::size_t i : kept) out.push_back(v[i]);
    v = std::move(out);
  };
  apply(f.depth);
  if (!f.time.empty()) apply(f.time);
  if (!f.operation.empty()) apply(f.operation);
  for (auto& column : f.values) apply(column);
}

// Reads the lines of a recording, keeping the wanted identifiers' values.
class LineCollector final : public rtf::RecordingVisitor {
 public:
  LineCollector(std::vector<std::string> wanted, std::optional<DepthRange> keep, bool with_times,
                const std::string& file, std::vector<std::string>& notes)
      : wanted_(std::move(wanted)),
        keep_(keep),
        with_times_(with_times),
        file_(file),
        notes_(notes),
        seen_(wanted_.size(), false),
        finite_(wanted_.size(), false) {
    lines.values.resize(wanted_.size());
  }

  void on_text(rtf::RecordedText&& text) override {
    for (auto& [key, value] : text.values) {
      if (key == kEndTimeKey || key == kEndDepthKey) {
        rtf::add_value_name(header, key, value);
        continue;
      }
      // The name is captured by its own reference: clang before 16 cannot capture a
      // structured binding, and the fuzz build uses clang 14.
      const bool have = std::any_of(header.begin(), header.end(),
                                    [&name = key](const auto& kv) { return kv.first == name; });
      if (!have && !value.empty()) header.emplace_back(key, value);
    }
  }

  void on_line(const rtf::LineView& l) override {
    const double d = l.first_depth;
    if (!std::isfinite(d)) return;
    if (count++ == 0) {
      first = last = d;
    } else {
      first = std::min(first, d);
      last = std::max(last, d);
    }
    const double t = l.time + l.hundredths / 100.0;
    if (std::isnan(last_time) || t > last_time) last_time = t;
    if (with_times_) all_times.emplace_back(t, d);
    if (keep_ && (d < keep_->from - kRangePadMetres || d > keep_->to + kRangePadMetres)) return;
    if (!keep_lines_) return;
    // A shared list keeps its address while it is in force, so one look per block.
    if (l.params->get() != list_) index(**l.params);
    lines.depth.push_back(d);
    if (with_times_) {
      lines.time.push_back(t);
      lines.operation.push_back(l.operation);
    }
    for (std::size_t w = 0; w < wanted_.size(); ++w) {
      const int i = columns_[w];
      const float v = i >= 0 && static_cast<std::size_t>(i) < l.count
                          ? l.value(static_cast<std::size_t>(i))
                          : std::numeric_limits<float>::quiet_NaN();
      if (std::isfinite(v)) finite_[w] = true;
      lines.values[w].push_back(v);
    }
  }

  void on_problem(rtf::ReadProblem&& p, bool cut_at_end) override {
    // A last block cut short is the line a writer is writing now (or was when it stopped):
    // nothing before it is lost, and a run being drilled always has one.
    if (cut_at_end) return;
    damaged = true;
    notes_.push_back(rtf::problem_text(file_, p) + "; the lines around it are drawn");
  }

  // What a wanted identifier's parameter block said of it (unit, short name); nullptr when
  // no block named it.
  const rtf::RecordedParam* param(std::size_t w) const {
    return w < params_.size() && seen_[w] ? &params_[w] : nullptr;
  }
  bool has_values(std::size_t w) const { return finite_[w]; }

  FileLines lines;
  std::vector<std::pair<double, double>> all_times;  // (time, depth) of every line, file order
  rtf::KeyValueList header;
  std::size_t count = 0;
  double first = kNaN, last = kNaN;
  double last_time = kNaN;
  bool damaged = false;

 private:
  void index(const std::vector<rtf::RecordedParam>& params) {
    list_ = &params;
    columns_.assign(wanted_.size(), -1);
    params_.resize(wanted_.size());
    for (std::size_t w = 0; w < wanted_.size(); ++w) {
      for (std::size_t i = 0; i < params.size(); ++i) {
        if (lib::ident_equal(params[i].identifier, wanted_[w])) {
          columns_[w] = static_cast<int>(i);
          if (!seen_[w]) params_[w] = params[i];
          seen_[w] = true;
          break;
        }
      }
    }
  }

  std::vector<std::string> wanted_;
  std::optional<DepthRange> keep_;
  bool with_times_;
  const std::string& file_;
  std::vector<std::string>& notes_;
  const std::vector<rtf::RecordedParam>* list_ = nullptr;
  std::vector<int> columns_;
  std::vector<rtf::RecordedParam> params_;
  std::vector<bool> seen_;
  std::vector<bool> finite_;

 public:
  // False: only the extent, the count and the header are gathered.
  bool keep_lines_ = true;
};

double median_step(const std::vector<double>& depth) {
  std::vector<double> steps;
  for (std::size_t i = 1; i < depth.size() && steps.size() < 4096; ++i) {
    if (depth[i] > depth[i - 1]) steps.push_back(depth[i] - depth[i - 1]);
  }
  if (steps.empty()) return 1;
  std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
  return steps[steps.size() / 2];
}

std::string number_text(double v) {
  return lib::float_to_str(v, std::fabs(v - std::round(v)) < 1e-9 ? 0 : 1);
}

std::string mud_text(const journals::MudLogItem& item) {
  std::string out = item.mud_type.empty() ? std::string("Раствор") : item.mud_type;
  int shown = 0;
  for (std::size_t m = 0; m < journals::kMudMeasurementCount; ++m) {
    const double v = item.values[m];
    if (v == 0 || !std::isfinite(v)) continue;
    const auto& info = journals::kMudMeasurements[m];
    std::string number = lib::float_to_str(v, 2);  // 1.18, 45, 6.5: no trailing zeros
    while (number.find('.') != std::string::npos && (number.back() == '0' || number.back() == '.'))
      number.pop_back();
    out += fmt::format("{} {} {}{}", shown++ == 0 ? ":" : ",", info.caption, number,
                       *info.unit ? std::string(" ") + info.unit : std::string());
  }
  return out;
}

std::optional<std::string> read_journal(const std::string& path, lib::FileSystem& fs,
                                        std::vector<std::string>& notes) {
  if (path.empty() || lib::missing(fs, path)) return std::nullopt;
  errno = 0;
  auto bytes = lib::read_whole_file(path, fs, kMaxJournalBytes);
  if (!bytes) {
    notes.push_back(path + ": cannot be read (" + lib::read_failure_text(errno, kMaxJournalBytes) +
                    "); its texts are not drawn");
  }
  return bytes;
}

}  // namespace

std::string lag_file_beside(const std::string& depth_file) {
  const std::string suffix = rtf::kDepthSuffix;
  if (depth_file.size() >= suffix.size() &&
      depth_file.compare(depth_file.size() - suffix.size(), suffix.size(), suffix) == 0) {
    return depth_file.substr(0, depth_file.size() - suffix.size()) + rtf::kLagSuffix;
  }
  return depth_file + rtf::kLagSuffix;
}

const Series* RunData::find(DepthSource source, const std::string& identifier) const {
  const auto it = series.find({source, identifier});
  return it == series.end() ? nullptr : &it->second;
}

const CurveInfo* RunData::curve_info(DepthSource source, const std::string& identifier) const {
  const auto it = info.find({source, identifier});
  return it == info.end() ? nullptr : &it->second;
}

std::string RunData::header_value(const std::string& key) const {
  for (const auto& [k, v] : header)
    if (k == key) return v;
  return {};
}

DepthSource curve_source(const TrackSpec& track, const CurveSpec& curve) {
  return computed(curve.identifier) ? DepthSource::depth : track.against;
}

std::string seconds_text(double seconds) {
  return lib::format_date_time({lib::kUnixEpochDays + std::floor(seconds) / lib::kSecondsPerDay});
}

RunData load_run(const RunFiles& files, const LogLayout& layout, lib::FileSystem& fs,
                 std::optional<DepthRange> range) {
  RunData run;
  run.files = files;
  if (run.files.lag_file.empty()) run.files.lag_file = lag_file_beside(files.depth_file);
  const std::string layout_name = layout.file.empty() ? std::string("the layout") : layout.file;

  // Which identifiers each file must give.
  std::vector<std::string> wanted[2];
  bool wants_texts = false;
  for (const TrackSpec& t : layout.tracks) {
    if (t.kind == TrackKind::text && (t.remarks || t.mud_log)) wants_texts = true;
    for (const CurveSpec& c : t.curves) {
      if (computed(c.identifier)) continue;
      auto& list = wanted[curve_source(t, c) == DepthSource::lag ? 1 : 0];
      if (std::find(list.begin(), list.end(), c.identifier) == list.end())
        list.push_back(c.identifier);
    }
  }

  LineCollector depth(wanted[0], range, true, run.files.depth_file, run.notes);
  rtf::scan_recording_file(run.files.depth_file, fs, depth);
  run.header = depth.header;
  run.first_depth = depth.first;
  run.last_depth = depth.last;
  run.last_time = depth.last_time;
  run.damaged = depth.damaged;
  sort_by_depth(depth.lines);
  run.depths = depth.lines.depth;
  run.times = depth.lines.time;
  run.operations = depth.lines.operation;
  double header_step = 0;
  if (!lib::try_str_to_float(run.header_value(kDepthStepKey), header_step) || header_step <= 0) {
    header_step = 0;
  }
  run.step = header_step > 0 ? header_step : median_step(run.depths);

  auto take = [&](LineCollector& c, DepthSource source, const std::vector<std::string>& ids) {
    for (std::size_t w = 0; w < ids.size(); ++w) {
      run.series[{source, ids[w]}] = Series{c.lines.depth, std::move(c.lines.values[w])};
      CurveInfo info;
      if (const rtf::RecordedParam* p = c.param(w)) {
        info.recorded = true;
        info.name = p->short_name.empty() ? p->identifier : p->short_name;
        info.unit = p->unit;
      } else {
        info.name = ids[w];
      }
      info.has_values = c.has_values(w);
      run.info[{source, ids[w]}] = info;
    }
  };
  take(depth, DepthSource::depth, wanted[0]);

  if (!wanted[1].empty()) {
    if (lib::missing(fs, run.files.lag_file)) {
      run.notes.push_back(run.files.lag_file +
                          ": no such file; the curves plotted against the lag depth are left "
                          "empty");
    } else {
      try {
        LineCollector lag(wanted[1], range, false, run.files.lag_file, run.notes);
        rtf::scan_recording_file(run.files.lag_file, fs, lag);
        run.lag_found = true;
        run.damaged = run.damaged || lag.damaged;
        sort_by_depth(lag.lines);
        take(lag, DepthSource::lag, wanted[1]);
      } catch (const std::exception& e) {
        run.notes.push_back(std::string(e.what()) +
                            "; the curves plotted against the lag depth are left empty");
      }
    }
  }

  // Drill time and rate of penetration between two neighbouring depth lines.
  Series drill{run.depths, std::vector<float>(run.depths.size(), NAN)};
  Series rop = drill;
  for (std::size_t i = 1; i < run.depths.size(); ++i) {
    const double dd = run.depths[i] - run.depths[i - 1];
    const double dt = run.times[i] - run.times[i - 1];
    if (dd <= 0 || dd > kJoinSteps * run.step + 1e-6 || dt <= 0) continue;
    drill.value[i] = static_cast<float>(dt / 60.0 / dd);
    rop.value[i] = static_cast<float>(dd / (dt / 3600.0));
  }
  auto has_finite = [](const Series& s) {
    return std::any_of(s.value.begin(), s.value.end(), [](float v) { return std::isfinite(v); });
  };
  run.info[{DepthSource::depth, std::string(layout_format::kDrillTime)}] =
      CurveInfo{"Drill time", "min/m", true, has_finite(drill)};
  run.info[{DepthSource::depth, std::string(layout_format::kRop)}] =
      CurveInfo{"ROP", "m/h", true, has_finite(rop)};
  run.series[{DepthSource::depth, std::string(layout_format::kDrillTime)}] = std::move(drill);
  run.series[{DepthSource::depth, std::string(layout_format::kRop)}] = std::move(rop);

  // What each curve of the layout lacks, once per curve.
  const std::string range_text =
      range ? fmt::format(" between {} and {} m", number_text(range->from), number_text(range->to))
            : std::string();
  for (const TrackSpec& t : layout.tracks) {
    for (const CurveSpec& c : t.curves) {
      const DepthSource source = curve_source(t, c);
      if (source == DepthSource::lag && !run.lag_found) continue;  // said once above
      const CurveInfo* info = run.curve_info(source, c.identifier);
      const std::string file =
          bare_name(source == DepthSource::lag ? run.files.lag_file : run.files.depth_file);
      if (!info || !info->recorded) {
        run.notes.push_back(
            fmt::format("{}, line {}: '{}' is not recorded in {}; its curve is "
                        "left empty",
                        layout_name, c.line, c.identifier, file));
      } else if (!info->has_values) {
        run.notes.push_back(fmt::format("'{}' has no values in {}{}; its curve is left empty",
                                        c.identifier, file, range_text));
      }
    }
  }

  // Operations as spans of the depth lines, each line reaching halfway to its neighbours.
  for (std::size_t i = 0; i < run.depths.size(); ++i) {
    const double half = run.step / 2;
    const double d = run.depths[i];
    double top = d - half, bottom = d + half;
    if (i > 0 && d - run.depths[i - 1] <= kJoinSteps * run.step) top = (d + run.depths[i - 1]) / 2;
    if (i + 1 < run.depths.size() && run.depths[i + 1] - d <= kJoinSteps * run.step)
      bottom = (d + run.depths[i + 1]) / 2;
    if (!run.operation_spans.empty() && run.operation_spans.back().code == run.operations[i] &&
        std::fabs(run.operation_spans.back().bottom - top) < 1e-9) {
      run.operation_spans.back().bottom = bottom;
    } else {
      run.operation_spans.push_back({top, bottom, run.operations[i]});
    }
  }

  if (wants_texts) {
    // The hole's depth at a time: the last depth line made by then. Times before the
    // first line but within the run take its start depth; times outside the run none.
    auto& by_time = depth.all_times;
    std::stable_sort(by_time.begin(), by_time.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    double start_time = by_time.empty() ? kNaN : by_time.front().first;
    double start_time_value = 0;
    if (lib::try_str_to_float(run.header_value(kStartTimeKey), start_time_value))
      start_time = start_time_value;
    double end_time = std::numeric_limits<double>::infinity();
    double end_value = 0;
    if (lib::try_str_to_float(run.header_value(kEndTimeKey), end_value)) end_time = end_value;
    double start_depth = by_time.empty() ? kNaN : by_time.front().second;
    double start_depth_value = 0;
    if (lib::try_str_to_float(run.header_value(kStartDepthKey), start_depth_value))
      start_depth = start_depth_value;
    auto depth_at = [&](double t) -> std::optional<double> {
      if (by_time.empty() || !(t >= start_time) || t > end_time) return std::nullopt;
      auto it = std::upper_bound(by_time.begin(), by_time.end(), t,
                                 [](double v, const auto& p) { return v < p.first; });
      if (it == by_time.begin()) return start_depth;
      return std::prev(it)->second;
    };
    auto add_text = [&](std::uint32_t time, std::string text, bool mud) {
      const auto d = depth_at(time);
      if (!d || !std::isfinite(*d) || text.empty()) return;
      if (range && (*d < range->from || *d > range->to)) return;
      run.texts.push_back({*d, time, std::move(text), mud});
    };
    bool remarks = false, mud = false;
    for (const TrackSpec& t : layout.tracks) {
      if (t.kind != TrackKind::text) continue;
      remarks = remarks || t.remarks;
      mud = mud || t.mud_log;
    }
    if (remarks) {
      if (const auto bytes = read_journal(files.remarks_file, fs, run.notes)) {
        const text::RemarksFileContent c = text::read_remarks_file(*bytes);
        if (!c.problems.empty()) {
          run.notes.push_back(fmt::format("{}: {} line(s) could not be read ({}); left out",
                                          files.remarks_file, c.problems.size(),
                                          c.problems.front()));
        }
        for (const text::Record& r : c.records) add_text(r.time, r.text, false);
      }
    }
    if (mud) {
      if (const auto bytes = read_journal(files.mud_log_file, fs, run.notes)) {
        try {
          const journals::MudLogFileContent c = journals::read_mud_log_file(*bytes);
          for (const journals::MudLogItem& item : c.items) {
            const auto t = lib::to_local_time(item.time);
            if (!t || t->seconds < 0 || t->seconds > 0xFFFFFFFFll) continue;
            add_text(static_cast<std::uint32_t>(t->seconds), mud_text(item), true);
          }
        } catch (const std::exception& e) {
          run.notes.push_back(files.mud_log_file + ": " + e.what() + "; its records are not drawn");
        }
      }
    }
    std::stable_sort(run.texts.begin(), run.texts.end(), [](const LogText& a, const LogText& b) {
      return a.depth != b.depth ? a.depth < b.depth : a.time < b.time;
    });
  }
  return run;
}

RunSummary summarize_run(const std::string& depth_file, lib::FileSystem& fs) {
  std::vector<std::string> notes;
  LineCollector c({}, std::nullopt, false, depth_file, notes);
  c.keep_lines_ = false;
  rtf::scan_recording_file(depth_file, fs, c);
  return RunSummary{c.first, c.last, c.count, c.header};
}

std::vector<std::pair<int, std::string>> list_runs(const std::string& folder, lib::FileSystem& fs) {
  std::vector<std::pair<int, std::string>> runs;
  const std::string suffix = rtf::kDepthSuffix;
  for (const std::string& name : fs.list_folder(folder)) {
    if (name.size() <= suffix.size() ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
      continue;
    const std::string stem = name.substr(0, name.size() - suffix.size());
    if (stem.empty() || stem.size() > 9 ||
        !std::all_of(stem.begin(), stem.end(), [](char ch) { return ch >= '0' && ch <= '9'; }))
      continue;
    runs.emplace_back(std::stoi(stem), name);
  }
  std::sort(runs.begin(), runs.end());
  return runs;
}

}  // namespace mudlog
