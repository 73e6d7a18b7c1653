#include "station/run_recording.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

#include "calc/race_info_old.h"
#include "core/config.h"
#include "core/error_log.h"
#include "lib/file_system.h"
#include "lib/module_base.h"
#include "pore/pore_opt.h"
#include "storage/data_storage.h"
#include "storage/real_time_file.h"
#include "storage/real_time_reader.h"

namespace station {
namespace {

// A bit on bottom within this height makes new hole: only then the depth file is fed.
constexpr double kOnBottomMetres = 0.5;
// The most depth lines one tick makes (a depth jump must not stall the tick).
constexpr int kMaxDepthLinesPerTick = 1000;
// A depth line's mud counts as out once the lag depth is within this of its depth, so the
// rounding of the lag marks' float depths cannot hold a line back.
constexpr double kArrivalToleranceMetres = 0.001;
// A depth line read back from a file (a float) counts as the line of the step it rounds to
// within this fraction of a step.
constexpr double kSameLineSteps = 0.01;

class RecorderState final : public lib::SerialModuleBase {
 public:
  explicit RecorderState(rtf::RealTimeFile& rec)
      : SerialModuleBase("RealTimeFile", rtf::RealTimeFile::kStateVersion), rec_(rec) {}

 protected:
  void serial_fields(lib::serial_list& list, unsigned version) override {
    rec_.serialize_state(list, version);
  }

 private:
  rtf::RealTimeFile& rec_;
};

std::string number_text(double v) {
  return fmt::format("{}", v);
}

// Time lines every this many ticks of a second: the setting is in milliseconds.
std::int64_t time_line_ticks(int milliseconds) {
  return std::max<std::int64_t>(1, std::llround(milliseconds / 1000.0));
}

}  // namespace

RunRecording::RunRecording(Parts parts, std::vector<std::string>& notes)
    : parts_(std::move(parts)), notes_(notes) {
  rtf::RealTimeFileServices services;
  reg::ErrorLog& log = parts_.log;
  services.log = [&log](const std::string& line) { log.write(line); };
  recorder_ = std::make_unique<rtf::RealTimeFile>(parts_.ds, parts_.catalogue, parts_.fs,
                                                  parts_.clock, services);
  state_ = std::make_unique<RecorderState>(*recorder_);
}

RunRecording::~RunRecording() = default;

void RunRecording::note(const std::string& line) {
  notes_.push_back(line);
  parts_.log.write(line);
}

void RunRecording::stop() {
  recorder_->stop_save_thread();
}

std::size_t RunRecording::pending_lag_lines() const {
  return recorder_->pending_lag_lines();
}

const std::string& RunRecording::time_file() const {
  return recorder_->file_names().time;
}

void RunRecording::start(int race, bool continue_race) {
  const std::string& folder = parts_.folder;
  if (!lib::make_dirs(parts_.fs, folder)) {
    note("recording: the folder '" + folder + "' cannot be made: " + lib::errno_text(errno) +
         "; the lines wait in memory until it can be written");
  }
  recorder_->calculate_file_names(folder, race);
  const pore::WellOptions& w = parts_.well.options();
  const calc::RaceInfoOld::Settings& r = parts_.config.race_info().settings;
  const reg::Config::Recording& rec = parts_.config.recording;
  // The header in its order; the three file names are filled in by the recorder.
  const rtf::KeyValueList header = {
      {"месторождение", w.deposit},
      {"скважина", w.well},
      {"категория_скважины", w.category},
      {"площадь", w.area},
      {"заказчик", w.customer},
      {"убр", w.ubr},
      {"партия_гти", w.gti_party},
      {"отряд", w.otryad},
      {"насос", w.nasos},
      {"глубинный_файл", ""},
      {"временной_файл", ""},
      {"реальн_глубинный_файл", ""},
      {"номер_рейса", std::to_string(race)},
      {"номер_долота", r.bit_number},
      {"диаметр_скважины", number_text(w.hole_diameter)},
      {"тип_долота", r.bit_type},
      {"цель_бурения", r.purpose},
      {"оператор", w.operator_name},
      {"мастер", w.master},
      {"типоразмер_з_д", r.motor_size},
      {"шаг_записи_по_глубине", number_text(rec.depth_step)},
      {"шаг_записи_по_времени", std::to_string(rec.time_step)},
      {"отч_компоновка", ""},
      {"куст", w.kust},
      {"буровая_бригада", w.brigade},
      {"супервайзинг", w.supervising},
      // After the long-standing keys, so that their order stays as readers know it.
      {"диаметр_долота", number_text(r.bit_diameter)},
  };
  recorder_->save_start_values(header, continue_race);
  ds_tmp::DataStorage& ds = parts_.ds;
  const double step = rec.depth_step > 0 ? rec.depth_step : 1.0;
  next_depth_line_ = (std::floor(ds.depth_z() / step + 1e-9) + 1) * step;
  if (continue_race) take_up_run_files(step, ds.delayed_depth().get_value());
  last_lag_ = ds.delayed_depth().get_value();
  ticks_since_time_line_ = 0;
  recorder_->start_save_thread();
}

bool RunRecording::scan_run_file(const std::string& file, const char* kind,
                                 const std::function<void(const rtf::LineView&)>& on_line) {
  if (lib::missing(parts_.fs, file)) return true;
  class Lines final : public rtf::RecordingVisitor {
   public:
    explicit Lines(const std::function<void(const rtf::LineView&)>& on) : on_(on) {}
    void on_line(const rtf::LineView& l) override { on_(l); }

   private:
    const std::function<void(const rtf::LineView&)>& on_;
  } lines(on_line);
  try {
    rtf::scan_recording_file(file, parts_.fs, lines);
    return true;
  } catch (const std::exception& e) {
    parts_.log.write("recording: cannot read the " + std::string(kind) + " file to take up " +
                     "the run: " + e.what() + "; its lines go on from the saved state, " +
                     "some may be written twice or lost");
    return false;
  }
}

void RunRecording::take_up_run_files(double step, double lag) {
  // The writer may have gone on after the last save of the state: the depth file can hold
  // lines past the saved bottom, the lag file lines the state still has waiting, and a depth
  // line the state never saw is owed its lag line. The files say which: a lag line is owed
  // to every depth line the lag file does not hold, once.
  // A run continued while the station runs: what the writer still holds goes to the files
  // before they are read (the writer starts again once the run is set up).
  recorder_->stop_save_thread();
  const rtf::RunFileNames& names = recorder_->file_names();
  const double same = kSameLineSteps * step;
  std::vector<double> lagged;
  const bool lag_read = scan_run_file(
      names.lag, "lag", [&](const rtf::LineView& l) { lagged.push_back(l.first_depth); });
  std::sort(lagged.begin(), lagged.end());
  const auto holds = [same](const std::vector<double>& sorted, double depth) {
    const auto at = std::lower_bound(sorted.begin(), sorted.end(), depth - same);
    return at != sorted.end() && *at <= depth + same;
  };
  const std::size_t dropped =
      lag_read ? recorder_->drop_lag_lines_if([&](double d) { return holds(lagged, d); }) : 0;
  std::vector<double> waiting;
  for (const rtf::LagFileStoredLine& l : recorder_->lag_lines()) waiting.push_back(l.depth);
  std::sort(waiting.begin(), waiting.end());
  std::optional<double> deepest;
  std::vector<rtf::LagFileStoredLine> owed;
  scan_run_file(names.depth, "depth", [&](const rtf::LineView& l) {
    const double depth = l.first_depth;
    if (!deepest || depth > *deepest) deepest = depth;
    if (!lag_read || holds(lagged, depth) || holds(waiting, depth)) return;
    for (const rtf::LagFileStoredLine& o : owed)
      if (std::fabs(o.depth - depth) <= same) return;
    rtf::LagFileStoredLine line;
    line.depth = depth;
    line.remaining = depth - lag - kArrivalToleranceMetres;
    line.params = *l.params;
    for (std::size_t i = 0; i < line.params->size(); ++i)
      line.values.push_back(i < l.count ? l.value(i) : 0.0);
    owed.push_back(std::move(line));
  });
  if (deepest) {
    next_depth_line_ =
        std::max(next_depth_line_, (std::floor(*deepest / step + kSameLineSteps) + 1) * step);
  }
  for (rtf::LagFileStoredLine& line : owed) recorder_->add_owed_lag_line(std::move(line));
  if (dropped > 0) {
    note("recording: " + std::to_string(dropped) + " waiting lag line(s) are already in '" +
         names.lag + "' (written after the last save); they are not written again");
  }
  if (!owed.empty()) {
    note("recording: " + std::to_string(owed.size()) + " depth line(s) of '" + names.depth +
         "' written after the last save wait for their lag line again");
  }
}

void RunRecording::end() {
  recorder_->flash_lag_data(false);
  recorder_->save_end_values();
}

void RunRecording::tick(std::uint64_t table_version) {
  ds_tmp::DataStorage& ds = parts_.ds;
  const reg::Config& c = parts_.config;
  struct Bracket {
    rtf::RealTimeFile& file;
    Bracket(rtf::RealTimeFile& f, std::uint64_t version) : file(f) { file.begin_tick(version); }
    ~Bracket() { file.end_tick(); }
  } bracket(*recorder_, table_version);
  ds.set_depth_file_on(ds.get_depth_uz() <= kOnBottomMetres);
  recorder_->store_values_for_file();
  if (++ticks_since_time_line_ >= time_line_ticks(c.recording.time_step)) {
    ticks_since_time_line_ = 0;
    recorder_->save_time_values();
  }
  const double step = c.recording.depth_step > 0 ? c.recording.depth_step : 1.0;
  const double lag = ds.delayed_depth().get_value();
  for (int n = 0; n < kMaxDepthLinesPerTick && ds.depth_z() + 1e-6 >= next_depth_line_; ++n) {
    // The line's mud is out once the lag depth has come up to its depth.
    recorder_->save_depth_values(static_cast<float>(next_depth_line_), 0,
                                 next_depth_line_ - lag - kArrivalToleranceMetres);
    next_depth_line_ += step;
  }
  // Joined again each tick (the settings may change), into a string kept from tick to tick.
  arrival_.clear();
  for (const lib::StringContainer* list : {&c.out_params, &c.gas_params}) {
    for (std::size_t i = 0; i < list->size(); ++i) {
      arrival_ += (*list)[i];
      arrival_ += ',';
    }
  }
  const double advance = lag > last_lag_ ? lag - last_lag_ : 0.0;
  last_lag_ = lag;
  recorder_->save_lag_depth_values(arrival_, "", static_cast<float>(advance));
  if (c.recording.save_fast_file) recorder_->save_fast_file();
}

RecordingView RunRecording::view(bool active) const {
  RecordingView v;
  v.active = active;
  const rtf::RunFileNames& n = recorder_->file_names();
  v.time_file = n.time;
  v.depth_file = n.depth;
  v.lag_file = n.lag;
  v.fast_file = n.fast;
  v.queue = recorder_->get_queue_size();
  v.refused = recorder_->queue().refused();
  v.lag_lines = recorder_->pending_lag_lines();
  return v;
}

}  // namespace station
