// One survey station of a wellbore and what the trajectory calculation derives for it.
// Stations order by measured depth.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace pore {

struct WellborePoint {
  std::int32_t id = -1;  // station identifiers, -1 until the station is stored elsewhere
  std::int32_t id2 = -1;
  float depth = 0;         // measured (along-hole) depth, m
  float zenit = 0;         // inclination from vertical, degrees
  float azimut = 0;        // clockwise from north, degrees
  float x = 0;             // east of the wellhead, m
  float y = 0;             // north of the wellhead, m
  float z = 0;             // true vertical depth, m
  float abs_level = 0;     // z less the reference altitude, m
  float displacement = 0;  // horizontal distance from the wellhead, m
  float dogleg = 0;        // angle to the previous station's direction, radians
  float saved_x = 0, saved_y = 0, saved_z = 0;  // local coordinates kept by the calculation
  std::int32_t flag = 0;

  static constexpr float kMaxDepth = 20000;  // m

  bool operator<(const WellborePoint& other) const { return depth < other.depth; }
  bool operator==(const WellborePoint&) const = default;

  // Why the station's measurement cannot be used (a depth outside 0..kMaxDepth, an
  // inclination outside 0..180, an azimuth outside 0..360, anything not a number); nullopt
  // when it is fine.
  std::optional<std::string> check() const;
};

}  // namespace pore
