// A wellbore described by survey stations (measured depth, inclination, azimuth). Station by
// station it works out the position in space (east, north, vertical depth), the absolute
// level, the horizontal displacement and the dogleg, by one of three methods, and tests
// whether the trajectory passes through the first target circle.
//
// Every member takes the wellbore's own lock, and so does saving and reading its state; a
// display or calculation that needs several calls to agree holds lock() around them.
//
// Saved in the state file as the module "Inclination" (docs/well-state.md).
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "lib/module_base.h"
#include "pore/min_curvature.h"
#include "pore/wellbore_krug.h"
#include "pore/wellbore_point.h"

namespace pore {

enum class WbCalcMethod : std::int32_t {
  kAverageAngle = 0,
  // Balanced tangential where the inclination or the azimuth does not change over a
  // segment, radius of curvature where both do.
  kTangentialCurvature = 1,
  // Each course a circular arc tangent to both stations' directions (pore/min_curvature.h).
  kMinimumCurvature = 2,
};

// The largest method number known.
inline constexpr std::int32_t kLastCalcMethod = 2;

// What the calculation found for one station at full precision; the station itself keeps
// 32-bit copies of the same values.
struct StationResult {
  double north = 0, east = 0, vertical = 0;  // m, from the start position (plus the offset)
  double abs_level = 0;                      // vertical less the reference altitude, m
  double displacement = 0;                   // horizontal distance, m
  double dogleg = 0;                         // radians, over the course into this station
  double course_length = 0;                  // measured depth of that course, m

  double severity(DoglegUnit unit) const { return dogleg_severity(dogleg, course_length, unit); }
};

// Where the trajectory meets a target circle's plane.
struct TargetCrossing {
  bool hit = false;                // met the plane within the circle's radius
  bool crossed = false;            // met the plane at all
  double x = 0, y = 0, depth = 0;  // the (last) crossing point
  double distance = 0;             // its distance from the circle's centre
  double centre_x = 0, centre_y = 0, centre_depth = 0;
};

class Wellbore : public lib::SerialModuleBase {
 public:
  static constexpr const char* kSerialName = "Inclination";
  static constexpr unsigned kSerialVersion = 1;
  static constexpr std::size_t kMaxPoints = 100000;

  Wellbore() : SerialModuleBase(kSerialName, kSerialVersion) {}

  std::recursive_mutex& lock() const { return mutex_; }

  // The stations in measured-depth order. The reference is stable only while lock() is held.
  const std::vector<WellborePoint>& points() const { return points_; }
  std::vector<WellborePoint> points_copy() const;
  std::size_t size() const;

  // Replace the stations (sorted by measured depth, equal depths keeping their order), add
  // one in its place, remove one, remove all. A station failing WellborePoint::check, or
  // more than kMaxPoints stations, throws std::invalid_argument and changes nothing. Every
  // change marks the trajectory for recalculation.
  void set_points(std::vector<WellborePoint> points);
  void add_point(const WellborePoint& point);
  bool remove_point(std::size_t index);
  void clear();

  // Where the first segment starts: wellhead position (east, north, vertical) and measured
  // depth. Non-finite values, and a negative start depth, throw std::invalid_argument.
  void set_start(double x, double y);
  void set_start_z(double z);
  void set_start_depth(double depth);
  // Degrees subtracted from every azimuth (magnetic declination, grid convergence).
  void set_azimuth_correction(double degrees);
  // Added to the positions when the calculation is not asked to keep local coordinates.
  void set_offset(double x, double y);

  double start_x() const;
  double start_y() const;
  double start_z() const;
  double start_depth() const;
  double azimuth_correction() const;

  // Recomputes the stations when they, the method or the targets changed since the last
  // time; with fewer than 2 stations nothing happens.
  void calculate(WbCalcMethod method, const WellboreKrug& targets);

  // The calculation itself. A temporary first station at the start depth (never below
  // station 0), with half of station 0's inclination and its azimuth, leads into station 0;
  // each following station is computed from the one before. Then target circle 0 is tested,
  // absolute levels are set, and either the local coordinates are kept in saved x, y, z
  // (keep_local) or the offset is added to x and y.
  void process_stvol(WbCalcMethod method, const WellboreKrug& targets, bool keep_local);

  // Tests target circle k (0 or 1; false otherwise) against the computed stations: each
  // segment going down through the circle's depth gives a crossing point (a later one
  // replaces an earlier one); hit once any crossing lies within the radius.
  bool cross_with_krug(int k, const WellboreKrug& targets);
  TargetCrossing crossing() const;

  // One result per station, as of the last calculation; empty when the stations were
  // changed, added, removed or read since.
  std::vector<StationResult> results() const;

  bool need_recalc() const;
  void set_need_recalc();
  WbCalcMethod last_method() const;

  // An angle brought into 0..360 by one correction each way: below 0 gets 360 added, then
  // 360 or more gets 360 taken off.
  static double correct_angle(double degrees);

 protected:
  void serial_fields(lib::serial_list& list, unsigned version) override;

 private:
  // Advances the running position (x east, y north, z vertical) over the course from `from`
  // to `to`, stores it in `to` and returns the course's dogleg in radians.
  double compute_segment(WbCalcMethod method, const WellborePoint& from, WellborePoint& to,
                         double& x, double& y, double& z) const;

  mutable std::recursive_mutex mutex_;
  std::vector<WellborePoint> points_;
  std::vector<StationResult> results_;  // parallel to points_ when not empty
  double start_x_ = 0, start_y_ = 0, start_z_ = 0;
  double azimuth_correction_ = 0;  // degrees
  double start_depth_ = 0;
  double offset_x_ = 0, offset_y_ = 0;
  TargetCrossing crossing_;
  WbCalcMethod last_method_ = WbCalcMethod::kAverageAngle;
  WellboreKrug last_targets_;
  bool need_recalc_ = true;
};

}  // namespace pore
