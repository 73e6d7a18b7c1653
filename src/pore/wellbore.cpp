#include "pore/wellbore.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace pore {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kDegToRad = (1.0 / 180.0) * kPi;
// Bytes of one station in the state block: three 32-bit integers and twelve floats.
constexpr std::uint64_t kPointBytes = 3 * 4 + 12 * 4;

// Angle between two directions given by inclination and azimuth (radians). Rounding can push
// the cosine a hair past ±1, where arccos has no value; it is clamped.
double dogleg_angle(double i0, double i1, double a0, double a1) {
  const double c = std::cos(i0 - i1) - std::sin(i0) * std::sin(i1) * (1 - std::cos(a1 - a0));
  return std::acos(std::clamp(c, -1.0, 1.0));
}

void require_finite(double v, const char* what) {
  if (!std::isfinite(v)) throw std::invalid_argument(std::string(what) + " is not a number");
}

void check_points(const std::vector<WellborePoint>& points) {
  if (points.size() > Wellbore::kMaxPoints)
    throw std::invalid_argument("more than " + std::to_string(Wellbore::kMaxPoints) + " stations");
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (auto why = points[i].check())
      throw std::invalid_argument("station " + std::to_string(i + 1) + ": " + *why);
  }
}

}  // namespace

std::vector<WellborePoint> Wellbore::points_copy() const {
  std::lock_guard g(mutex_);
  return points_;
}

std::size_t Wellbore::size() const {
  std::lock_guard g(mutex_);
  return points_.size();
}

void Wellbore::set_points(std::vector<WellborePoint> points) {
  check_points(points);
  std::stable_sort(points.begin(), points.end());
  std::lock_guard g(mutex_);
  points_ = std::move(points);
  results_.clear();
  need_recalc_ = true;
}

void Wellbore::add_point(const WellborePoint& point) {
  if (auto why = point.check()) throw std::invalid_argument("station: " + *why);
  std::lock_guard g(mutex_);
  if (points_.size() >= kMaxPoints)
    throw std::invalid_argument("more than " + std::to_string(kMaxPoints) + " stations");
  points_.insert(std::upper_bound(points_.begin(), points_.end(), point), point);
  results_.clear();
  need_recalc_ = true;
}

bool Wellbore::remove_point(std::size_t index) {
  std::lock_guard g(mutex_);
  if (index >= points_.size()) return false;
  points_.erase(points_.begin() + static_cast<std::ptrdiff_t>(index));
  results_.clear();
  need_recalc_ = true;
  return true;
}

void Wellbore::clear() {
  std::lock_guard g(mutex_);
  points_.clear();
  results_.clear();
  crossing_ = {};
  need_recalc_ = true;
}

void Wellbore::set_start(double x, double y) {
  require_finite(x, "start x");
  require_finite(y, "start y");
  std::lock_guard g(mutex_);
  start_x_ = x;
  start_y_ = y;
  need_recalc_ = true;
}

void Wellbore::set_start_z(double z) {
  require_finite(z, "start z");
  std::lock_guard g(mutex_);
  start_z_ = z;
  need_recalc_ = true;
}

void Wellbore::set_start_depth(double depth) {
  require_finite(depth, "start depth");
  if (depth < 0) throw std::invalid_argument("start depth is negative");
  std::lock_guard g(mutex_);
  start_depth_ = depth;
  need_recalc_ = true;
}

void Wellbore::set_azimuth_correction(double degrees) {
  require_finite(degrees, "azimuth correction");
  std::lock_guard g(mutex_);
  azimuth_correction_ = degrees;
  need_recalc_ = true;
}

void Wellbore::set_offset(double x, double y) {
  require_finite(x, "offset x");
  require_finite(y, "offset y");
  std::lock_guard g(mutex_);
  offset_x_ = x;
  offset_y_ = y;
}

double Wellbore::start_x() const {
  std::lock_guard g(mutex_);
  return start_x_;
}
double Wellbore::start_y() const {
  std::lock_guard g(mutex_);
  return start_y_;
}
double Wellbore::start_z() const {
  std::lock_guard g(mutex_);
  return start_z_;
}
double Wellbore::start_depth() const {
  std::lock_guard g(mutex_);
  return start_depth_;
}
double Wellbore::azimuth_correction() const {
  std::lock_guard g(mutex_);
  return azimuth_correction_;
}

TargetCrossing Wellbore::crossing() const {
  std::lock_guard g(mutex_);
  return crossing_;
}

std::vector<StationResult> Wellbore::results() const {
  std::lock_guard g(mutex_);
  return results_;
}

bool Wellbore::need_recalc() const {
  std::lock_guard g(mutex_);
  return need_recalc_;
}

void Wellbore::set_need_recalc() {
  std::lock_guard g(mutex_);
  need_recalc_ = true;
}

WbCalcMethod Wellbore::last_method() const {
  std::lock_guard g(mutex_);
  return last_method_;
}

double Wellbore::correct_angle(double degrees) {
  if (degrees < 0) degrees += 360;
  if (degrees >= 360) degrees -= 360;
  return degrees;
}

void Wellbore::calculate(WbCalcMethod method, const WellboreKrug& targets) {
  std::lock_guard g(mutex_);
  if (points_.size() < 2) return;
  if (method != last_method_ || !(targets == last_targets_)) need_recalc_ = true;
  if (!need_recalc_) return;
  last_method_ = method;
  last_targets_ = targets;
  process_stvol(method, targets, true);
  need_recalc_ = false;
}

double Wellbore::compute_segment(WbCalcMethod method, const WellborePoint& from, WellborePoint& to,
                                 double& x, double& y, double& z) const {
  const double correction = azimuth_correction_ * kDegToRad;
  const double i0 = from.zenit * kDegToRad, i1 = to.zenit * kDegToRad;
  double a0 = from.azimut * kDegToRad, a1 = to.azimut * kDegToRad;
  const double md = static_cast<double>(to.depth) - from.depth;

  if (method == WbCalcMethod::kMinimumCurvature) {
    const CourseDelta d = minimum_curvature_course(md, i0, a0 - correction, i1, a1 - correction);
    x += d.east;
    y += d.north;
    z += d.vertical;
    to.x = static_cast<float>(x);
    to.y = static_cast<float>(y);
    to.z = static_cast<float>(z);
    to.displacement = static_cast<float>(std::hypot(x, y));
    to.dogleg = static_cast<float>(d.dogleg);
    return d.dogleg;
  }
  if (method == WbCalcMethod::kTangentialCurvature) {
    const double c0 = a0 - correction, c1 = a1 - correction;
    if (i1 == i0 || c1 == c0) {
      // Balanced tangential: the radius-of-curvature formulas would divide by zero here.
      x += (std::sin(i0) * std::sin(c0) + std::sin(i1) * std::sin(c1)) * md / 2;
      y += (std::sin(i0) * std::cos(c0) + std::sin(i1) * std::cos(c1)) * md / 2;
      z += (std::cos(i0) + std::cos(i1)) * md / 2;
    } else {
      const double turn = (c1 - c0) * (i1 - i0);
      y += (std::cos(i0) - std::cos(i1)) * md * (std::sin(c1) - std::sin(c0)) / turn;
      x += (std::cos(i0) - std::cos(i1)) * md * (std::cos(c0) - std::cos(c1)) / turn;
      z += (std::sin(i1) - std::sin(i0)) * md / (i1 - i0);
    }
  } else {
    // Across north (350° to 10°) the plain mean would point south: take the larger
    // azimuth one turn back first.
    if (std::abs(a1 - a0) >= kPi) {
      if (a1 > a0) {
        a1 -= 2 * kPi;
      } else {
        a0 -= 2 * kPi;
      }
    }
    const double inc = (i0 + i1) / 2;
    const double azi = (a0 + a1) / 2 - correction;
    x += std::sin(azi) * std::sin(inc) * md;
    y += std::cos(azi) * std::sin(inc) * md;
    z += std::cos(inc) * md;
  }
  to.x = static_cast<float>(x);
  to.y = static_cast<float>(y);
  to.z = static_cast<float>(z);
  to.displacement = static_cast<float>(std::sqrt(x * x + y * y));
  const double dogleg = dogleg_angle(i0, i1, a0, a1);
  to.dogleg = static_cast<float>(dogleg);
  return dogleg;
}

void Wellbore::process_stvol(WbCalcMethod method, const WellboreKrug& targets, bool keep_local) {
  std::lock_guard g(mutex_);
  if (points_.size() < 2) return;

  // The temporary station that leads into station 0 from the start of the hole. A start
  // depth below station 0 would make the first segment run backwards; it is held at
  // station 0 instead.
  WellborePoint first;
  first.depth = static_cast<float>(std::min(start_depth_, static_cast<double>(points_[0].depth)));
  first.zenit = points_[0].zenit / 2;
  first.azimut = static_cast<float>(points_[0].azimut - azimuth_correction_);

  double x = start_x_, y = start_y_, z = start_z_;  // running sums kept in double
  results_.assign(points_.size(), {});
  const WellborePoint* previous = &first;
  for (std::size_t i = 0; i < points_.size(); ++i) {
    WellborePoint& p = points_[i];
    StationResult& r = results_[i];
    r.dogleg = compute_segment(method, *previous, p, x, y, z);
    r.course_length = static_cast<double>(p.depth) - previous->depth;
    r.east = x;
    r.north = y;
    r.vertical = z;
    r.displacement = std::hypot(x, y);
    previous = &p;
  }

  cross_with_krug(0, targets);

  for (std::size_t i = 0; i < points_.size(); ++i) {
    WellborePoint& p = points_[i];
    StationResult& r = results_[i];
    p.abs_level = static_cast<float>(p.z - targets.altitude);
    r.abs_level = r.vertical - targets.altitude;
    if (keep_local) {
      p.saved_x = p.x;
      p.saved_y = p.y;
      p.saved_z = p.z;
    } else {
      p.x = static_cast<float>(p.x + offset_x_);
      p.y = static_cast<float>(p.y + offset_y_);
      r.east += offset_x_;
      r.north += offset_y_;
    }
  }
}

bool Wellbore::cross_with_krug(int k, const WellboreKrug& targets) {
  std::lock_guard g(mutex_);
  crossing_ = {};
  if (k < 0 || k >= static_cast<int>(targets.circles.size())) return false;
  const TargetCircle& circle = targets.circles[static_cast<std::size_t>(k)];
  const double a = circle.azimut * kDegToRad - azimuth_correction_ * kDegToRad;
  crossing_.centre_x = std::sin(a) * circle.distance;
  crossing_.centre_y = std::cos(a) * circle.distance;
  crossing_.centre_depth = circle.depth;
  const double d = circle.depth;
  for (std::size_t i = 0; i + 1 < points_.size(); ++i) {
    const WellborePoint& p0 = points_[i];
    const WellborePoint& p1 = points_[i + 1];
    // z0 <= d < z1 also guarantees z1 > z0 for the division.
    if (!(p0.z <= d && d < p1.z)) continue;
    const double share = (p1.z - d) / (static_cast<double>(p1.z) - p0.z);
    const double px = p1.x - share * (static_cast<double>(p1.x) - p0.x);
    const double py = p1.y - share * (static_cast<double>(p1.y) - p0.y);
    crossing_.crossed = true;
    crossing_.x = px;
    crossing_.y = py;
    crossing_.depth = d;
    crossing_.distance = std::sqrt((py - crossing_.centre_y) * (py - crossing_.centre_y) +
                                   (px - crossing_.centre_x) * (px - crossing_.centre_x));
    if (crossing_.distance <= circle.radius) crossing_.hit = true;
  }
  return crossing_.hit;
}

void Wellbore::serial_fields(lib::serial_list& list, unsigned /*version*/) {
  std::lock_guard g(mutex_);
  auto point_fields = [](lib::serial_list& l, WellborePoint& p) {
    l.add(p.id).add(p.id2).add(p.depth).add(p.zenit).add(p.azimut).add(p.x).add(p.y).add(p.z);
    l.add(p.abs_level).add(p.displacement).add(p.dogleg).add(p.saved_x).add(p.saved_y);
    l.add(p.saved_z).add(p.flag);
  };
  if (!list.reading()) {
    std::int32_t method = static_cast<std::int32_t>(last_method_);
    list.add(start_x_).add(start_y_).add(start_z_).add(azimuth_correction_).add(start_depth_);
    list.add(offset_x_).add(offset_y_).add(method);
    std::uint32_t n = static_cast<std::uint32_t>(points_.size());
    list.add(n);
    for (WellborePoint& p : points_) point_fields(list, p);
    return;
  }
  double sx = 0, sy = 0, sz = 0, corr = 0, sd = 0, ox = 0, oy = 0;
  std::int32_t method = 0;
  std::uint32_t n = 0;
  list.add(sx).add(sy).add(sz).add(corr).add(sd).add(ox).add(oy).add(method).add(n);
  for (double v : {sx, sy, sz, corr, sd, ox, oy}) {
    if (!std::isfinite(v)) throw lib::io::StreamError("wellbore start value is not a number");
  }
  if (sd < 0) throw lib::io::StreamError("wellbore start depth is negative");
  if (method < 0 || method > kLastCalcMethod)
    throw lib::io::StreamError("unknown calculation method " + std::to_string(method));
  if (n > kMaxPoints || n > list.input()->remaining() / kPointBytes)
    throw lib::io::StreamError(std::to_string(n) + " stations do not fit the data left");
  std::vector<WellborePoint> points(n);
  for (WellborePoint& p : points) point_fields(list, p);
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (auto why = points[i].check())
      throw lib::io::StreamError("station " + std::to_string(i + 1) + ": " + *why);
  }
  std::stable_sort(points.begin(), points.end());
  start_x_ = sx;
  start_y_ = sy;
  start_z_ = sz;
  azimuth_correction_ = corr;
  start_depth_ = sd;
  offset_x_ = ox;
  offset_y_ = oy;
  last_method_ = static_cast<WbCalcMethod>(method);
  points_ = std::move(points);
  results_.clear();
  crossing_ = {};
  need_recalc_ = true;
}

}  // namespace pore
