// The station's own following of the rig, one tick at a time: where the block, the bit and
// the bottom are (DepthTracker), what the rig is doing (OperationRecognizer), and the feeding
// of the lag-depth queue (LagFeeder). The library leaves all three to its host; the station
// wires them to the hub's depth calculator, data storage and lag tracker through callbacks,
// so this class builds and tests without a hub.
//
// Its state (block position, the recognised operation, the last lag mark, the registration
// run) is saved with the station's state file as the module "StationTracker", so a restart
// within the same run continues where it stopped. The depths themselves live in the data
// storage and are saved with it.
// Not thread-safe: the station's tick owns it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "lib/module_base.h"
#include "station/depth_tracker.h"
#include "station/lag_feeder.h"
#include "station/operation_recognizer.h"

namespace station {

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
    DepthTracker::TravelFor travel_for;
    LagFeeder::AddMark add_mark;
    LagFeeder::Pump pump;
    LagFeeder::AnnulusVolume annulus;
    std::function<void(const std::string&)> log;
  };

  explicit RigTracker(Hooks hooks);

  void set_settings(const RigTrackerSettings& s);

  // Starts from the depths in the data storage and what the state file restored.
  void start(const Depths& stored);
  // One tick; returns the depths to mirror into the data storage.
  const Depths& tick(const RigInputs& in);

  const Depths& depths() const { return depth_.depths(); }
  RigOperation operation() const { return recognizer_.current(); }
  RigOperation candidate() const { return recognizer_.candidate(); }
  bool on_hook() const { return depth_.on_hook(); }
  double block_speed() const { return block_speed_; }

  DepthTracker& depth() { return depth_; }
  LagFeeder& lag() { return lag_; }
  RigTrackerState& state() { return state_; }

  // Copies the live values into the saved state before a save.
  void update_state();

 private:
  Hooks hooks_;
  DepthTracker depth_;
  OperationRecognizer recognizer_;
  LagFeeder lag_;
  RigTrackerState state_;
  double last_seconds_ = -1;
  double block_speed_ = 0;
};

}  // namespace station
