// The station's data tick as a list of named stages over one frame (station/tick_frame.h):
//
//   acquire    read the data source (reopening a lost line), take the WITS records
//   convert    turn every row's raw input into its current value; play a scenario's moment
//   rig        the pumps' strokes and flow, the control folder, the rig's depths, operation
//              and lag marks, written into the data storage
//   calculate  the calculated values, the pit gain, the announcements, the plug-ins' data
//   average    both averaging passes, the run totals, the storage's tick
//   record     the run's recording lines
//   publish    the frame's depths and marks, the shared-values file, WITS out
//   alarm      the plug-ins' completed calculations, then the alarm pass and its sounds
//   output     what the consoles and indicators are sent
//
// Each stage is given at construction the parts it works on (references owned by the hub or
// the station, which outlive it) and the hub's events it raises (callbacks); none holds the
// hub. A stage throws only what the tick would have thrown before; each reports its own
// troubles in the error log and goes on. Not thread-safe: the station's tick thread runs them.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "params/param.h"
#include "station/tick_frame.h"

namespace reg {
class Config;
class ErrorLog;
class GlobalNums;
class Values;
struct SharedValues;
}  // namespace reg
namespace ds_tmp {
class DataStorage;
}
namespace params {
class ParTabl;
}
namespace hardware {
class CommProtocols;
struct CommOutData;
}  // namespace hardware
namespace alarms {
class AlarmLogWriter;
class MinMaxLog;
class Sound;
}  // namespace alarms
namespace calc {
class NasosWork;
class RaceTotal;
}  // namespace calc
namespace lib {
class Clock;
}
namespace rig {
class RunTotals;
}
namespace station {

struct SourceStatus;
class WitsIntake;
class Announcer;
class PitWatch;
class RunRecording;

class Stage {
 public:
  virtual ~Stage() = default;
  virtual const char* name() const = 0;
  virtual void run(TickFrame& frame) = 0;
};

// The device type of each bus address as of the last reading, for the plug-ins.
std::map<int, int> device_types(const hardware::CommProtocols& bus);

// The factor the hook-load row's conversion takes: the drawworks line count ("KoefPolispast"),
// 1 when it is missing or not above zero.
double hook_load_factor(reg::Values& values);

// The scenario being played in place of the rig's sensors, and how far it has got.
struct ScenarioPlay {
  std::optional<Scenario> scenario;
  std::int64_t start_ms = -1;  // steady ms of its first tick; -1 before it
  double seconds = 0;          // played so far
};

class AcquireStage final : public Stage {
 public:
  AcquireStage(SourceStatus& source, hardware::CommProtocols& bus, lib::Clock& clock,
               reg::ErrorLog& log, WitsIntake& wits,
               std::function<void(hardware::CommIncomData&)> adc_data);
  const char* name() const override { return "acquire"; }
  void run(TickFrame& frame) override;

 private:
  // Closes a serial line that failed and starts the back-off; reopens it when a try is due.
  void watch_line(bool reading_ok);
  void try_reopen();
  SourceStatus& source_;
  hardware::CommProtocols& bus_;
  lib::Clock& clock_;
  reg::ErrorLog& log_;
  WitsIntake& wits_;
  std::function<void(hardware::CommIncomData&)> adc_data_;
};

class ConvertStage final : public Stage {
 public:
  ConvertStage(ds_tmp::DataStorage& ds, reg::Values& values, const reg::Config& config,
               const reg::GlobalNums& nums, lib::Clock& clock, const SourceStatus& source,
               reg::ErrorLog& log, WitsIntake& wits, ScenarioPlay& play,
               const std::map<int, int>& pump_rows);
  const char* name() const override { return "convert"; }
  void run(TickFrame& frame) override;

 private:
  // Brings the kept conversion facts and the list of WITS rows in line with the table when
  // its revision moved (a reload, an edit in place): a row's facts are worked out again only
  // when the fields they come from changed, since working them out for every row cost more
  // than the conversions.
  void refresh_plans(const params::ParTabl& table, int rows);
  // Marks the row valid or not by its converted value; logs the turn to bad.
  void note_conversion(FrameRow& r, int index, const params::Param& row, double raw, double value) {
    const bool finite = std::isfinite(value);
    if (!finite && r.valid) report_bad_conversion(index, row, raw, value);
    r.valid = finite;
  }
  void report_bad_conversion(int index, const params::Param& row, double raw, double value);
  // Rows fed by WITS take the value of their item from the last reading of their server.
  void convert_wits_rows(TickFrame& frame, double factor);
  // Plays the scenario's moment into the reading and the rows.
  void apply_scenario(TickFrame& frame);
  ds_tmp::DataStorage& ds_;
  reg::Values& values_;
  const reg::Config& config_;
  const reg::GlobalNums& nums_;
  lib::Clock& clock_;
  const SourceStatus& source_;
  reg::ErrorLog& log_;
  WitsIntake& wits_;
  ScenarioPlay& play_;
  const std::map<int, int>& pump_rows_;
  struct RowFacts {
    std::string identifier;
    std::int32_t channel = 0;
    params::CalibrPoints points;
    params::Param::ConversionFacts facts;
    bool made = false;
  };
  std::vector<RowFacts> facts_;
  // A row fed by WITS, with the server and item its extended settings name.
  struct WitsRow {
    std::size_t row = 0;
    std::string server;
    std::string code;
  };
  std::vector<WitsRow> wits_rows_;
  std::uint64_t revision_ = 0;  // the table's, as the facts and the WITS rows were made
  bool planned_ = false;
};

class RigStage final : public Stage {
 public:
  struct Links {
    // Carries out the operator commands waiting in the control folder.
    std::function<void()> poll_commands;
    // The rig's following, with the data storage written one way (station/rig_tracker.h).
    std::function<void(TickFrame&)> follow;
  };
  RigStage(calc::NasosWork& pumps, ds_tmp::DataStorage& ds, const reg::Config& config,
           const reg::GlobalNums& nums, reg::ErrorLog& log, const std::map<int, int>& pump_rows,
           Links links);
  const char* name() const override { return "rig"; }
  void run(TickFrame& frame) override;

 private:
  // Tells the pumps this tick's strokes and works out the flow from them.
  void pumps(TickFrame& frame);
  calc::NasosWork& pumps_;
  ds_tmp::DataStorage& ds_;
  const reg::Config& config_;
  const reg::GlobalNums& nums_;
  reg::ErrorLog& log_;
  const std::map<int, int>& pump_rows_;
  Links links_;
  std::array<bool, 6> volume_reported_{};
};

class CalculateStage final : public Stage {
 public:
  struct Links {
    // The hub's calculated values over the rows the frame calls current.
    std::function<void(std::uint32_t seconds, std::function<bool(int)> current)> calc_and_store;
    std::function<std::int32_t()> operation;  // the effective operation
    std::function<double()> active_volume;    // of the active tanks, m³
    std::function<void()> announce;
    std::function<void()> plugins_data;
  };
  CalculateStage(PitWatch& pit, Links links) : pit_(pit), links_(std::move(links)) {}
  const char* name() const override { return "calculate"; }
  void run(TickFrame& frame) override;

 private:
  PitWatch& pit_;
  Links links_;
};

class AverageStage final : public Stage {
 public:
  AverageStage(ds_tmp::DataStorage& ds, rig::RunTotals& totals, std::function<bool()> run_active)
      : ds_(ds), totals_(totals), run_active_(std::move(run_active)) {}
  const char* name() const override { return "average"; }
  void run(TickFrame& frame) override;

 private:
  ds_tmp::DataStorage& ds_;
  rig::RunTotals& totals_;
  std::function<bool()> run_active_;
};

class RecordStage final : public Stage {
 public:
  explicit RecordStage(RunRecording& recording) : recording_(recording) {}
  const char* name() const override { return "record"; }
  // Only while a registration run is active (the frame's run, as the rig stage left it).
  void run(TickFrame& frame) override;

 private:
  RunRecording& recording_;
};

class AlarmStage final : public Stage {
 public:
  AlarmStage(alarms::MinMaxLog& log, alarms::Sound& sound, lib::Clock& clock,
             ds_tmp::DataStorage& ds, alarms::AlarmLogWriter* alarm_log,
             std::function<void()> data_calc_completed);
  const char* name() const override { return "alarm"; }
  void run(TickFrame& frame) override;

 private:
  alarms::MinMaxLog& log_;
  alarms::Sound& sound_;
  lib::Clock& clock_;
  ds_tmp::DataStorage& ds_;
  alarms::AlarmLogWriter* alarm_log_;
  std::function<void()> data_calc_completed_;
  std::int64_t last_timeout_ms_ = -1;
};

class PublishStage final : public Stage {
 public:
  struct Links {
    // The rig's depths as of now: the tracker's, or those someone else set since it wrote.
    std::function<Depths()> depths;
    // Writes the shared-values file.
    std::function<void(const reg::SharedValues&)> export_values;
    // Sends this tick's values of the WITS sender list; empty when the station sends none.
    std::function<void(const TickFrame&)> wits_out;
  };
  PublishStage(ds_tmp::DataStorage& ds, const reg::GlobalNums& nums, Links links)
      : ds_(ds), nums_(nums), links_(std::move(links)) {}
  const char* name() const override { return "publish"; }
  void run(TickFrame& frame) override;
  // The shared export of the frame: a value whose row is stale goes out as a quiet NaN, so
  // no reader takes a frozen value for a live one (the depths are the frame's).
  static reg::SharedValues shared_values(const TickFrame& frame, ds_tmp::DataStorage& ds,
                                         const reg::GlobalNums& nums);

 private:
  ds_tmp::DataStorage& ds_;
  const reg::GlobalNums& nums_;
  Links links_;
};

class OutputStage final : public Stage {
 public:
  OutputStage(hardware::CommProtocols& bus, const SourceStatus& source, alarms::MinMaxLog& log,
              const reg::Config& config, hardware::CommOutData& last,
              std::function<void(std::map<int, int>&, hardware::CommOutData&)> prepare);
  const char* name() const override { return "output"; }
  void run(TickFrame& frame) override;

 private:
  hardware::CommProtocols& bus_;
  const SourceStatus& source_;
  alarms::MinMaxLog& log_;
  const reg::Config& config_;
  hardware::CommOutData& last_;
  std::function<void(std::map<int, int>&, hardware::CommOutData&)> prepare_;
};

}  // namespace station
