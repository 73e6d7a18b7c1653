// Minimum curvature: the course between two survey stations taken as the circular arc that
// leaves the first station along its direction and arrives at the second along its own.
// Pure functions on 64-bit values; angles in radians, lengths in the caller's unit.
//
// The dogleg is the angle between the two directions. It is worked out from the half-angle
// (haversine) form and atan2, which keep full precision for doglegs of a fraction of a
// second of arc, where the textbook arccos of a cosine close to 1 keeps almost nothing.
#pragma once

namespace pore {

// Angle between the directions (inclination i0, azimuth a0) and (i1, a1), 0..pi. At zero
// inclination the azimuth has no meaning and has no effect.
double dogleg_angle_stable(double i0, double a0, double i1, double a1);

// Doglegs below this use the series of the ratio factor.
inline constexpr double kRatioFactorSeriesBelow = 1e-4;
// Doglegs this close to half a turn leave the plane of the arc undefined.
inline constexpr double kReversalMargin = 1e-6;

// 2 / dogleg * tan(dogleg / 2): how much longer the arc's chord-wise sum is than the plain
// average of the two directions. Exactly 1 for a straight course; the series
// 1 + d^2/12 + d^4/120 below kRatioFactorSeriesBelow; and 1 for a course that turns back on
// itself (within kReversalMargin of half a turn), where no arc is defined and the factor
// would grow without bound.
double ratio_factor(double dogleg);

struct CourseDelta {
  double north = 0, east = 0, vertical = 0;
  double dogleg = 0;  // radians
};

// North, east and vertical increments over a course of `length` along the hole.
CourseDelta minimum_curvature_course(double length, double i0, double a0, double i1, double a1);

enum class DoglegUnit {
  kPer30m,   // degrees per 30 m
  kPer100ft  // degrees per 100 ft (30.48 m)
};

// Dogleg severity: the dogleg (radians) over a course of `length_m` metres, in degrees per
// the unit's length; 0 for a course of no length.
double dogleg_severity(double dogleg, double length_m, DoglegUnit unit);

}  // namespace pore
