// The rig's state as the host follows it, one tick at a time, with one owner: where the
// block, the bit and the bottom are (DepthTracker), what the rig is doing
// (OperationRecognizer), and the marks of the lag-depth queue (LagFeeder). The library keeps
// the results in the data storage (the depths, the operation, the lag queue); this module is
// the one that writes them there each tick, one way: it goes on from its own depths and
// never reads back those it wrote. Depths someone else set in the storage since its last
// write (a plug-in, the host) show in the storage's write count and are taken as the new
// start.
//
// What survives a restart beyond the storage's depths (the block position, the recognised
// operation, the last lag mark, the registration run) is saved with the station's state file
// as the module "StationTracker", so a restart within the same run continues where it
// stopped. Errors of the storage (a depth out of its range) go to the log callback; the
// tick goes on. Not thread-safe: the station's tick owns it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "lib/module_base.h"
#include "rig/depth_tracker.h"
#include "rig/lag_feeder.h"
#include "rig/operation_recognizer.h"

namespace ds_tmp {
class DataStorage;
}

namespace rig {

struct RigTrackerSettings {
  DepthTrackerSettings depth;
  RecognitionSettings recognition;
  LagSettings lag;
};

// What the tick knows of the rig; NaN for a value nobody measured.
struct RigInputs {
  double seconds = 0;                  // steady time of the tick
  std::optional<std::int64_t> pulses;  // winch sensor's running count
  double hook_load = 0;                // t
  double inlet_pressure = 0;           // atm
  double rotary_speed = 0;             // rpm
  double weight_on_bit = 0;            // t
  double flow_lpm = 0;                 // pumped flow, l/min
};

// Where the tracker keeps what survives a restart.
class RigTrackerState : public lib::SerialModuleBase {
 public:
  static constexpr const char* kModuleName = "StationTracker";
  RigTrackerState() : SerialModuleBase(kModuleName, 1) {}

  double block = 0;
  std::int32_t operation = 0;
  double last_mark = -1;
  std::int32_t race = 0;  // registration run number; 0: none started
  bool race_active = false;
  bool loaded = false;  // set when the saved block was read

 protected:
  void serial_fields(lib::serial_list& list, unsigned version) override;
  void after_deserialize() override { loaded = true; }
};

class RigTracker {
 public:
  struct Hooks {
    // Metres of block travel for `pulses` counted upwards from `height`, with the depth
    // calculator's coefficient of the operation `op`.
    std::function<double(std::int64_t pulses, double height, RigOperation op)> travel_for;
    LagFeeder::AnnulusVolume annulus;
    std::function<void(const std::string&)> log;
  };

  RigTracker(ds_tmp::DataStorage& storage, Hooks hooks);
  static constexpr double kMaxTickSeconds = 10;

  void set_settings(const RigTrackerSettings& s);
  const RigTrackerSettings& settings() const { return settings_; }

  // Starts from the depths in the data storage and what the state file restored.
  void start();
  // Takes the depths someone else set in the data storage since the tracker last wrote them;
  // true when there were any (the depths jumped).
  bool take_outside_depths();
  // One tick of the rig: follows it from `in`, then writes the depths and the operation into
  // the data storage and feeds the lag queue.
  void tick(const RigInputs& in);

  // Operator corrections, written into the storage at once; false (with refusal()) when
  // refused. A bottom moved up restarts the lag marks from there.
  bool set_bottom(double depth);
  bool set_bit(double depth);
  bool set_block(double position);
  const std::string& refusal() const { return depth_.refusal(); }
  // A registration run starts: a new one marks the lag queue afresh from the bottom.
  void start_run(int race, bool continue_race);
  void stop_run() { state_.race_active = false; }

  const Depths& depths() const { return depth_.depths(); }
  RigOperation operation() const { return recognizer_.current(); }
  RigOperation candidate() const { return recognizer_.candidate(); }
  bool on_hook() const { return depth_.on_hook(); }
  double block_speed() const { return block_speed_; }
  int race() const { return state_.race; }
  bool race_active() const { return state_.race_active; }
  RigTrackerState& state() { return state_; }
  const RigTrackerState& state() const { return state_; }

 private:
  // Writes the depths that changed into the storage.
  void write_depths();
  // Copies the live values into the saved state.
  void update_state();

  ds_tmp::DataStorage& storage_;
  Hooks hooks_;
  RigTrackerSettings settings_;
  DepthTracker depth_;
  OperationRecognizer recognizer_;
  LagFeeder lag_;
  RigTrackerState state_;
  // What the tracker last wrote, and the storage's write count after it.
  Depths written_;
  std::uint64_t seen_writes_ = 0;
  double last_seconds_ = -1;
  double block_speed_ = 0;
};

}  // namespace rig
