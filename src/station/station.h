// Station: the reference host loop on top of the hub. It prepares a home folder, loads the
// settings, the parameter table and the saved state, opens the data source, and runs one
// data tick at a time in the station's order: read the bus, convert every configured row's
// raw input into its current value, average, advance the storage, drain the main-thread
// queue, announce the tick. Plug-ins hear each step through the hub's plug-in events: the
// raw reading (adc_data) and the converted values (data) when the bus gave a good reading,
// then, every tick, the completed calculations (data_calc_completed) and the console
// output (prepare_indy_data). The caller owns the timing (once a second), so tests drive
// ticks directly.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <boost/signals2/connection.hpp>

#include "core/host_parts.h"
#include "core/shared_values.h"
#include "hardware/comm_out_data.h"
#include "rig/rig_tracker.h"
#include "rig/run_totals.h"
#include "rig/stand_counting.h"
#include "station/alarm_log_file.h"
#include "station/announcer.h"
#include "station/control_folder.h"
#include "station/home_lock.h"
#include "station/pit_watch.h"
#include "station/run_recording.h"
#include "station/scenario.h"
#include "station/stages.h"
#include "station/tick_frame.h"
#include "station/wits_intake.h"
#include "wits/wits0_server.h"
#include "wits/wits_data.h"
#include "wits/wits_receiver.h"

// The hub's parts are declared by core/host_parts.h; these are the rest the contract names.
namespace reg {
class System;
}
namespace lib {
class ModuleBaseOld;
}
namespace params {
class Param;
}
namespace hardware {
class CommIncomData;
}
namespace rtf {
class RealTimeFile;
struct LineView;
}  // namespace rtf

namespace station {

using rig::RigInputs;
using rig::RigOperation;
using rig::RigTracker;
using rig::RigTrackerSettings;
using rig::RigTrackerState;

class LiveFramePublisher;

// A failure a person can act on (a port that cannot be opened, an unreadable file).
class StationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct StationSettings {
  // A name of hardware::protocol_names() or a protocol number; empty for the configured one.
  std::string protocol;
  // A device path; empty for the configured port.
  std::string port;
  // Load "sys.bin" on opening.
  bool restore = true;
  // The bus addresses to serve on a 2017 bus, such as "1,2,33,65"; empty for the settings.
  std::string addresses;
  // Seconds between two saves of the state while running; 0 for the settings.
  int save_every = 0;
  // A scripted-rig scenario file played instead of the rig's own sensors (on the emulator).
  std::string scenario = {};
  // Registration run to start (> 0): the same number as the saved run continues it, another
  // starts a new run. 0: a run saved as active continues, else none is started.
  int race = 0;
  // Publish the values of the home's WITS sender list (wits_out.cfg) to every client that
  // connects to this TCP port, each tick; 0: any free port (see Station::wits_sender); -1: no.
  int wits_out_port = -1;
  // The address the sender listens on: this machine only unless another is named.
  std::string wits_out_address = "127.0.0.1";
};

// The folder of the home that holds the runs' recording files.
inline constexpr const char* kRecordingFolder = "records/";

// The protocol id of a data source name (or of a protocol number), or -1.
std::int32_t protocol_id_of(const std::string& name);

struct RowView {
  std::string identifier;
  std::string name;
  std::string unit;
  double value = 0;  // what readers see (averaged)
  double raw = 0;    // the raw input of the last good reading
  bool has_raw = false;
  // False while the row's conversion gives no number (a NaN or infinite result): `value`
  // is then the last sound one, not a current reading.
  bool valid = true;
  // Fed by the data source, and the last tick did not refresh it (a failed or lost reading,
  // a module that did not answer): `value` is an old one.
  bool stale = false;
  // Outside one of its alarm thresholds as of the last alarm pass.
  bool alarm = false;
};

struct SourceStatus {
  std::int32_t protocol_id = 0;
  std::string protocol_name;
  std::string port;
  // What the protocol is given with each exchange: the bus addresses on a 2017 bus, else
  // the port.
  std::string port_text;
  // The protocol's full-scale ADC count: uncalibrated analog rows scale their counts by it.
  std::int32_t adc_full_scale = 0;
  std::uint64_t ticks = 0;
  std::uint64_t good_readings = 0;
  std::uint64_t failures = 0;
  std::uint64_t last_good_tick = 0;  // 0: none yet
  // The last tick brought no good reading.
  bool stale = true;
  // The serial line failed (the device vanished); the station reopens it on a back-off.
  bool lost = false;
  std::string lost_reason;
  std::int64_t reopen_delay_ms = 0;  // the wait before the next try while lost
  std::int64_t next_reopen_ms = 0;   // steady ms of the next try while lost
  std::uint64_t reopens = 0;         // successful reopenings since the start
};

// How the station retries a lost serial line: first after kFirstReopenDelayMs, then twice
// as long after each failed try, never longer than kMaxReopenDelayMs apart.
inline constexpr std::int64_t kFirstReopenDelayMs = 1000;
inline constexpr std::int64_t kMaxReopenDelayMs = 30000;

// One WITS server the station listens to, as the operator sees it.
struct WitsServerView {
  std::string name;
  std::string status;   // wits::status_name
  bool running = true;  // false: the thread ended on an error and waits for the watchdog
  // Seconds since the newest complete record from it arrived; -1: none yet.
  double last_record_age_s = -1;
};

class Station {
 public:
  // Takes the hub's parts once (reg::System::parts); the hub itself is kept only for its own
  // operations (the start, the saves, the plug-in events, the data signal).
  explicit Station(reg::System& hub);
  ~Station();

  // Prepares the home folder (returns what it created), loads everything and opens the
  // data source. REQUIRES: the host holds the home's HomeLock, taken before it built the hub.
  // Throws StationError with a clear message on failure. What the operator must hear about the
  // start (the state restored or not, copies kept, where the error log is) is in start_notes()
  // afterwards.
  std::vector<std::string> open(const StationSettings& settings);
  const std::vector<std::string>& start_notes() const { return notes_; }
  // One data tick; saves the state when a save is due (see reg::System::save_when_due).
  void tick();
  // A line for the operator when a save during the ticks failed, or worked again after a
  // failure; empty otherwise. Cleared by reading.
  std::string take_save_message();
  // Saves the state file and closes the port; false when the state could
  // not be saved (reg::System::last_save_error says why).
  bool close();

  const SourceStatus& source() const { return source_; }
  // Steady ms until the next reopening try of a lost line; 0 when due or not lost.
  std::int64_t reopen_wait_ms() const;
  // What loading the settings at open() had to correct, one message each (also in the
  // error log), for the screen.
  const std::vector<std::string>& settings_notes() const { return settings_notes_; }
  std::vector<RowView> rows() const;
  // The rows the data storage keeps for the table (at most ds_tmp::kSlots), and what readers
  // see of one of them now (its averaged value): a reader of many ticks takes the names from
  // rows() once per table (TickFrame::table_version) and only these afterwards.
  std::size_t row_count() const;
  double row_value(int row) const;
  // The registry's named values (depths, run values, plug-in values), in name order.
  std::vector<RowView> registered_values() const;

  // ---- the rig: depths, operation, lag depth, registration run ---------------------------
  struct RigView {
    double bottom = 0, bit = 0, lag = 0, block = 0;
    std::int32_t operation = 0;  // the effective operation (forced when forced)
    std::string operation_name;
    std::string operation_class;   // a CSS class name, "op-drill"
    std::string operation_colour;  // "#rrggbb"
    bool forced = false;           // set by the operator, not recognised
    std::int32_t work_type = 0;
    std::string work_type_name;
    std::int32_t prod_time = 1;
    std::string prod_time_name;
    bool on_hook = false;
    int race = 0;
    bool race_active = false;
    // The stand counter: stands and single pipes in the hole.
    int stands = 0;
    int pipes = 0;
    // The run totals: footage (m), drilling time (h), average rate of penetration (m/h).
    double footage = 0;
    double drill_hours = 0;
    double rop = 0;
    // The run's recording: the time file being written ("" while no run records), and the
    // writer's backlog.
    std::string recording_file;
    std::size_t recording_queue = 0;
  };
  RigView rig() const;
  // The effective operation's code and name (RigView's), without the rest of the view.
  std::pair<std::int32_t, std::string> operation() const;
  // The effective operation's code (forced when forced), as the tick's frame takes it.
  std::int32_t operation_code() const;

  // ---- the mud system: pumps, tanks, pit gain ------------------------------------------------
  struct PumpView {
    int number = 0;  // from 1
    bool working = false;
    double spm = 0;  // strokes per minute of the last tick
  };
  struct TankView {
    int number = 0;  // from 1
    std::string caption;
    double level = 0;    // m
    double volume = 0;   // m³
    bool used = true;    // in the active system
    bool doliv = false;  // a trip tank
  };
  struct MudView {
    std::vector<PumpView> pumps;              // the pumps the table has a strokes row for
    double flow_lpm = 0;                      // worked out from the strokes, l/min
    std::vector<TankView> tanks;              // the tanks the table has a level row for
    double active = 0, whole = 0, doliv = 0;  // m³
    double pit_gain = 0;  // m³ since the start of the last connection or trip, + a gain
  };
  MudView mud() const;

  // ---- the run's recording (station/run_recording.h) ---------------------------------------
  RecordingView recording() const;
  rtf::RealTimeFile* recorder();
  // Carries out one operator command (the control folder's language, station/control_format.h)
  // and answers "ok ..." or "error ...".
  std::string command(const std::string& line);
  // The scenario being played has reached its end.
  bool scenario_finished() const;
  // Seconds of the scenario played so far; -1 before its first tick.
  double scenario_seconds() const { return play_.start_ms < 0 ? -1 : play_.seconds; }
  const RigTracker& tracker() const { return *rig_; }

  // ---- alarms -------------------------------------------------------------------------------
  struct AlarmView {
    std::uint32_t relay_mask = 0;      // bit k: console relay k + 1 switched on
    std::vector<std::string> current;  // the text of each current alarm
  };
  AlarmView alarms() const;
  // What the last send handed the consoles (its word carries the relay mask), whether or
  // not the protocol had a console to send to.
  const hardware::CommOutData& last_output() const { return last_output_; }
  // The ended alarms not yet written to the alarm log (its file refuses them).
  std::size_t alarm_log_pending() const { return alarm_log_ ? alarm_log_->pending() : 0; }

  // ---- WITS ------------------------------------------------------------------------------
  // The enabled servers of the settings, in their order; empty when none is enabled.
  std::vector<WitsServerView> wits_servers() const;
  // The last complete record of every live server.
  const wits::WITSCommIncomData& wits_reading() const { return wits_in_.reading(); }
  // The station as a WITS sender, when asked to be one; null otherwise.
  const wits::Wits0Server* wits_sender() const { return wits_out_.get(); }
  // The receiver of the servers of the settings; null before open().
  const wits::WITSReceiver* wits_receiver() const { return wits_in_.receiver(); }
  // The last tick as its stages left it.
  const TickFrame& frame() const { return frame_; }

 private:
  // After a restore: a slot whose row is not the one the state was saved with starts from
  // zero rather than from another parameter's saved average.
  void forget_state_of_changed_slots();
  // The stages of the tick in their order, each given what it works on (station/stages.h).
  void make_stages();

  Station(reg::System& hub, const reg::HostParts& parts);
  reg::System& hub_;
  // The hub's parts the station works on, taken once at construction.
  ds_tmp::DataStorage& ds_;
  reg::Config& config_;
  reg::ErrorLog& log_;
  lib::FileSystem& fs_;
  lib::Clock& clock_;
  reg::GlobalNums& nums_;
  hardware::CommProtocols& bus_;
  alarms::MinMaxLog& alarm_pass_;
  alarms::Sound& sound_;
  alarms::VoiceThread& voice_;
  lib::ModuleList& modules_;
  reg::Values& values_;
  calc::CalcValues& calc_;
  calc::RaceTotal& totals_;
  candles::CandleCounter& candles_;
  const calc::Operations& operations_;
  params::AllParams& catalogue_;
  pore::PoreOpt& well_;
  text::Storage& remarks_;
  const std::string& home_;
  SourceStatus source_;
  TickFrame frame_;
  std::vector<std::unique_ptr<Stage>> stages_;
  WitsIntake wits_in_;
  rig::RunTotals run_totals_;  // the run totals as the tick drives them
  rig::StandCounting stands_;  // the stand counting as the tick drives it
  ScenarioPlay play_;
  // What the shared-values file gets: the frame's values as the last publish left them.
  reg::SharedValues shared_;
  std::function<reg::SharedValues()> plain_shared_values_;

  // Maps rows to the enabled servers that name a parameter file (station_wits.cpp).
  void apply_wits_param_files();
  // Starts the sender on settings.wits_out_port with the home's list (station_wits.cpp).
  void open_wits_sender(const StationSettings& settings);
  // Sends this tick's values of the list, one frame per record.
  void publish_wits(const TickFrame& frame);
  struct WitsOutRow {
    int row = -1;
    int record = 0;
    int item = 0;
  };
  std::vector<WitsOutRow> wits_out_rows_;
  std::unique_ptr<wits::Wits0Server> wits_out_;
  std::vector<std::string> settings_notes_;
  bool opened_ = false;
  std::vector<std::string> notes_;
  bool save_failing_ = false;
  std::string save_message_;

  std::vector<std::string> open_home(const StationSettings& settings);
  // Builds the tracker on the hub's depth calculator, data storage and lag queue.
  void make_rig_tracker();
  void open_rig(const StationSettings& settings);
  // After a start that restored the state file: one line each for the run, the depths, the
  // lag queue and the run totals as saved, then for the recorder once the run is taken up
  // again, so a restart after a power cut says what it took up (the start notes: stderr,
  // which is the journal under the service).
  void note_restored();
  void note_restored_recorder();
  void note_restored_line(const std::string& line);
  bool restored_ = false;
  RigTrackerSettings rig_settings() const;
  RigInputs rig_inputs(const TickFrame& frame) const;
  // The rig stage's following of the rig: depths set from outside taken, the tracker's tick
  // (which writes the depths, the operation and the lag marks), the frame's depths and run.
  // The tracker's depths, after it took any set elsewhere since its last write.
  Depths current_depths();
  void follow_rig(TickFrame& frame);
  // A block-position row fed by no sensor of its own shows the followed block position.
  void show_block();
  // Takes the parameter table again from its file; the answer of "params reload".
  std::string reload_table();
  // Pump index (0-based) -> the row of its strokes per minute.
  std::map<int, int> find_pump_rows() const;
  std::map<int, int> pump_rows_;
  PitWatch pit_;
  void start_race(int race, bool continue_race);
  std::unique_ptr<RunRecording> recording_;

  std::unique_ptr<RigTracker> rig_;
  std::unique_ptr<ControlFolder> control_;
  std::int64_t start_ms_ = 0;
  int runs_started_ = 0;  // start_race calls since open

  // The operation's name, the warnings, the depth marks and the message sound of the tick
  // (station_announce.cpp).
  void make_announcer();
  void announce(const TickFrame& frame);
  std::unique_ptr<Announcer> announcer_;
  bool depths_jumped_ = false;  // a new run or an operator's correction since the last tick

  std::unique_ptr<alarms::AlarmLogWriter> alarm_log_;
  boost::signals2::scoped_connection alarm_logged_;
  boost::signals2::scoped_connection alarm_started_;
  hardware::CommOutData last_output_;

  // The live frame for programs beside the station, written after the tick's data signal.
  std::unique_ptr<LiveFramePublisher> live_frame_;
  boost::signals2::scoped_connection live_frame_tick_;
};

}  // namespace station
