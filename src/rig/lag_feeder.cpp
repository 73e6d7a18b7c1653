#include "rig/lag_feeder.h"

#include <fmt/format.h>

#include <cmath>
#include <utility>

namespace rig {
namespace {
// Depths summed step by step drift by rounding; a bottom this close to the next mark has reached
// it.
constexpr double kDepthTolerance = 1e-6;
}  // namespace

LagFeeder::LagFeeder(AddMark add_mark, Pump pump, AnnulusVolume annulus, Log log)
    : add_mark_(std::move(add_mark)),
      pump_(std::move(pump)),
      annulus_(std::move(annulus)),
      log_(std::move(log)) {}

void LagFeeder::set_settings(const LagSettings& s) {
  settings_ = s;
  if (!(settings_.depth_step > 0) || !std::isfinite(settings_.depth_step)) {
    log_(
        fmt::format("lag depth: a depth step of {} m cannot place marks; 1 m is used until the "
                    "setting is corrected",
                    s.depth_step));
    settings_.depth_step = 1.0;
  }
}

double LagFeeder::remaining_for(double depth) const {
  if (settings_.by_time) {
    return std::max(0.0, settings_.lag_seconds + settings_.lag_seconds_per_100m * depth / 100.0);
  }
  const double v = annulus_ ? annulus_(depth) : 0.0;
  return std::isfinite(v) && v > 0 ? v : 0.0;
}

void LagFeeder::tick(double bottom, double seconds, double flow_lpm, bool pumping) {
  if (std::isfinite(bottom)) {
    if (last_mark_ < 0 || bottom < last_mark_) {
      last_mark_ = bottom;
    } else {
      int marks = 0;
      while (bottom + kDepthTolerance >= last_mark_ + settings_.depth_step &&
             marks < kMaxMarksPerTick) {
        last_mark_ += settings_.depth_step;
        add_mark_(last_mark_, remaining_for(last_mark_));
        ++marks;
      }
      if (marks == kMaxMarksPerTick) {
        log_(
            fmt::format("lag depth: the bottom moved {:.1f} m in one tick; marks continue from "
                        "{:.2f} m",
                        bottom - last_mark_, bottom));
        last_mark_ = bottom;
      }
    }
  }
  if (!(seconds > 0) || !std::isfinite(seconds)) return;
  if (settings_.by_time) {
    pump_(pumping ? seconds : 0.0, pumping ? 1.0 : 0.0);
    return;
  }
  const double flow = std::isfinite(flow_lpm) && flow_lpm > 0 ? flow_lpm : 0.0;
  const double m3_per_second = flow / 60.0 / 1000.0;
  pump_(m3_per_second * seconds, m3_per_second);
}

}  // namespace rig
