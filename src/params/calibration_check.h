// Whether a row's calibration points can convert at all. The conversion interpolates between
// neighbouring points in their stored order, so it needs points that are numbers, each x
// above the one before it (two points at one x give no slope, and an order that goes back
// picks the wrong segment), and slopes that are numbers; a single point is a proportion
// through the origin and needs an x away from 0. A calibration that fails is refused where it
// is loaded or edited, and a row holding one converts to no number, so it shows as not valid
// instead of a plausible 0.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "params/unit_calibr_point.h"

namespace params {

// Neighbouring points closer in x than this cannot be interpolated between.
inline constexpr double kMinSegmentWidth = 1e-6;

// Why the points cannot convert ("points 2 and 3 have the same x, 5"), counted from 1;
// nullopt when they can. No points is the linear conversion and always usable.
std::optional<std::string> calibration_fault(const CalibrPoints& points);

// The same verdict without the text and without allocating, for the conversion of each tick.
bool calibration_usable(const CalibrPoints& points);

}  // namespace params
