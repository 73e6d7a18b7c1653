// What the rig is doing, recognised from the sensors each tick: drilling, reaming, a
// connection, tripping in or out, flushing or idle. The rules (docs/depth-and-operations.md
// lists them for the mud logger to check against the rig):
//
//   string in the slips (hook load not above the zero weight):
//     a trip under way (the bit was moved on the hook without pumps more than a stand
//     away from the bottom, with no pumping or drilling since)   -> that trip goes on
//     bit within one stand of the bottom            -> connection
//     otherwise                                      -> idle
//   string on the hook:
//     bit on the bottom and (the bottom moved in the last minute or weight on bit above
//     the minimum load)                              -> drilling
//     pumps on (inlet pressure above the zero pressure):
//       block moving (and rotating, when rotation is required for reaming) -> reaming
//       otherwise                                    -> flushing
//     pumps off: block moving up -> tripping out; down -> tripping in;
//       still -> the trip under way goes on, or idle
//
// A new operation must hold for the minimum operation time before it replaces the current
// one, so a short pick-up during drilling is not a trip; the first operation after a start
// is taken at once. Not thread-safe: the station's tick owns it.
#pragma once

#include <cstdint>

namespace rig {

// Operation codes of the operation dictionary the recogniser produces.
enum class RigOperation : std::int32_t {
  not_defined = 0,
  drilling = 2,
  flushing = 4,
  idle = 5,
  connection = 8,
  reaming = 9,
  tripping_in = 14,
  tripping_out = 15,
};

const char* rig_operation_name(RigOperation op);

struct RecognitionSettings {
  double zero_pressure = 30;          // atm: pumps on above this inlet pressure
  double min_load = 0.5;              // t: weight on bit that means the bit drills
  bool rotation_for_reaming = false;  // reaming needs the rotary turning
  double min_operation_seconds = 180;
  double stand_length = 36;    // m: a connection happens within one stand of the bottom
  double moving_speed = 0.05;  // m/s of block travel that counts as moving
  double on_bottom = 0.1;      // m: the bit this close to the bottom is on it
  double drilled_memory_seconds = 60;
};

// One tick's picture of the rig.
struct RigSnapshot {
  double seconds = 0;  // steady time of the tick
  bool on_hook = false;
  double block_speed = 0;  // m/s, positive up
  double bit_depth = 0;
  double bottom_depth = 0;
  bool drilled = false;       // the bottom moved this tick
  double inlet_pressure = 0;  // NaN when unknown
  double rotary_speed = 0;    // rpm, NaN when unknown
  double weight_on_bit = 0;   // t, NaN when unknown
};

class OperationRecognizer {
 public:
  void set_settings(const RecognitionSettings& s) { settings_ = s; }
  const RecognitionSettings& settings() const { return settings_; }

  // Recognises the tick and returns the current operation (after the hold time).
  RigOperation tick(const RigSnapshot& s);
  RigOperation current() const { return current_; }
  // The operation the sensors show now, before the hold time.
  RigOperation candidate() const { return candidate_; }
  // Restores the operation a previous run recognised.
  void restore(RigOperation op) { current_ = candidate_ = op; }

 private:
  RigOperation classify(const RigSnapshot& s);

  RecognitionSettings settings_;
  RigOperation current_ = RigOperation::not_defined;
  RigOperation candidate_ = RigOperation::not_defined;
  double candidate_since_ = 0;
  double last_drilled_ = -1e300;
  // The direction of the last trip on the hook, kept while the string sits in the slips.
  RigOperation last_trip_ = RigOperation::not_defined;
};

}  // namespace rig
