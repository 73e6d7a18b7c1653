// The run's recording: the recorder (storage/real_time_file.h) made at the start with its
// saved accumulators, a registration run's files opened with the run's header and closed with
// the trailer, and each tick of an active run the time, depth, lag and fast lines that are
// due. Its files are in the home's kRecordingFolder and named after the run; a time line
// every "запись_по_времени" milliseconds (whole ticks, at least one), a depth line every
// "запись_по_глубине" metres of new hole, a lag line as the lag depth reaches a depth line.
//
// What the operator must hear (a folder that cannot be made, lines taken up again) goes to
// the error log and to the notes it is given. Not thread-safe: the station's tick thread
// calls it; the recorder's own writer thread writes the files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace lib {
class Clock;
class FileSystem;
class ModuleBaseOld;
}  // namespace lib
namespace reg {
class Config;
class ErrorLog;
}  // namespace reg
namespace ds_tmp {
class DataStorage;
}
namespace params {
class AllParams;
}
namespace pore {
class PoreOpt;
}
namespace rtf {
class RealTimeFile;
struct LineView;
}  // namespace rtf

namespace station {

struct RecordingView {
  bool active = false;
  std::string time_file, depth_file, lag_file, fast_file;
  std::size_t queue = 0;      // tasks waiting for the writer
  std::uint64_t refused = 0;  // lines lost to a full queue since the start
  std::size_t lag_lines = 0;  // depth lines waiting for their mud
};

class RunRecording {
 public:
  struct Parts {
    lib::FileSystem& fs;
    lib::Clock& clock;
    reg::ErrorLog& log;
    ds_tmp::DataStorage& ds;
    params::AllParams& catalogue;
    pore::PoreOpt& well;
    const reg::Config& config;
    std::string folder;  // where the run files go, with its trailing '/'
  };
  RunRecording(Parts parts, std::vector<std::string>& notes);
  ~RunRecording();

  // The recorder's accumulators as the state file keeps them.
  lib::ModuleBaseOld& state() { return *state_; }
  // Opens run `race`'s files (a continued run squares its files with the state first) and
  // starts the writer.
  void start(int race, bool continue_race);
  void end();
  // One tick of an active run; `table_version` changes whenever a row of the table may have
  // (TickFrame::table_version).
  void tick(std::uint64_t table_version);
  // Every line taken so far reaches the disk; the writer stops.
  void stop();
  RecordingView view(bool active) const;
  rtf::RealTimeFile& recorder() { return *recorder_; }
  double next_depth_line() const { return next_depth_line_; }
  std::size_t pending_lag_lines() const;
  const std::string& time_file() const;

 private:
  // A run taken up again squares the next depth line and the waiting lag lines with what its
  // depth and lag files hold (the writer may have gone on after the last save).
  void take_up_run_files(double step, double lag);
  // Hands each values line of a run file to `on_line`; a missing file has none. False, and a
  // log line (`kind` names the file), when it cannot be read.
  bool scan_run_file(const std::string& file, const char* kind,
                     const std::function<void(const rtf::LineView&)>& on_line);
  void note(const std::string& line);

  Parts parts_;
  std::vector<std::string>& notes_;
  std::unique_ptr<rtf::RealTimeFile> recorder_;
  std::unique_ptr<lib::ModuleBaseOld> state_;
  std::int64_t ticks_since_time_line_ = 0;
  double next_depth_line_ = 0;
  double last_lag_ = 0;
  std::string arrival_;  // the parameters that take their surface reading in a lag line
};

}  // namespace station
