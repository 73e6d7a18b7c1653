#include "rig/operation_recognizer.h"

#include <cmath>

namespace rig {

const char* rig_operation_name(RigOperation op) {
  switch (op) {
    case RigOperation::not_defined:
      return "not defined";
    case RigOperation::drilling:
      return "drilling";
    case RigOperation::flushing:
      return "flushing";
    case RigOperation::idle:
      return "idle";
    case RigOperation::connection:
      return "connection";
    case RigOperation::reaming:
      return "reaming";
    case RigOperation::tripping_in:
      return "tripping in";
    case RigOperation::tripping_out:
      return "tripping out";
  }
  return "?";
}

RigOperation OperationRecognizer::classify(const RigSnapshot& s) {
  if (s.drilled) last_drilled_ = s.seconds;
  const double off_bottom = s.bottom_depth - s.bit_depth;
  if (!s.on_hook) {
    if (last_trip_ != RigOperation::not_defined) return last_trip_;
    if (s.bottom_depth > 0 && off_bottom <= settings_.stand_length) return RigOperation::connection;
    return RigOperation::idle;
  }
  // A number that is not known counts as "no": an unknown pressure is not pumping.
  const bool pumping = s.inlet_pressure > settings_.zero_pressure;
  const bool rotating = s.rotary_speed > 0;
  const bool moving = std::abs(s.block_speed) >= settings_.moving_speed;
  const bool on_bottom = off_bottom <= settings_.on_bottom;
  const bool recently_drilled = s.seconds - last_drilled_ <= settings_.drilled_memory_seconds;
  if (on_bottom && (recently_drilled || s.weight_on_bit > settings_.min_load)) {
    last_trip_ = RigOperation::not_defined;
    return RigOperation::drilling;
  }
  if (pumping) {
    last_trip_ = RigOperation::not_defined;
    if (moving && (rotating || !settings_.rotation_for_reaming)) return RigOperation::reaming;
    return RigOperation::flushing;
  }
  if (moving) {
    const RigOperation trip =
        s.block_speed > 0 ? RigOperation::tripping_out : RigOperation::tripping_in;
    // Near the bottom a pick-up without pumps is part of a connection; a trip is under way
    // once the bit moves more than a stand away from the bottom.
    if (off_bottom > settings_.stand_length) last_trip_ = trip;
    return trip;
  }
  // A pause on the hook between the slips and the next stand belongs to the trip.
  if (last_trip_ != RigOperation::not_defined) return last_trip_;
  return RigOperation::idle;
}

RigOperation OperationRecognizer::tick(const RigSnapshot& s) {
  const RigOperation now = classify(s);
  if (now != candidate_) {
    candidate_ = now;
    candidate_since_ = s.seconds;
  }
  if (candidate_ != current_ && (current_ == RigOperation::not_defined ||
                                 s.seconds - candidate_since_ >= settings_.min_operation_seconds)) {
    current_ = candidate_;
  }
  return current_;
}

}  // namespace rig
