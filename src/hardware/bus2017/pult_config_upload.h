// Configuration uploads to the older console (protocol 5): a header text naming what
// follows, the block, and an XOR checksum of the block. Used by the settings while
// acquisition is paused: the optional wait for the console runs "SP" exchanges that must
// not meet the acquisition loop's on the line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace hardware {

class CommProtocols;

// Header texts of the three uploads.
inline constexpr std::string_view get_options_pilot() {
  return "OPTIONS";
}
inline constexpr std::string_view get_control_pilot() {
  return "1CTRL";
}
inline constexpr std::string_view get_ext_options_pilot() {
  return "EX_OPTS";
}

inline constexpr int kPultWaitTries = 10;
inline constexpr int kPultWaitSuccesses = 2;
inline constexpr int kPultWaitPauseMs = 200;

// Writes header, block and checksum. With `wait`, first makes sure the console answers:
// "SP" exchanges until two succeed, at most 10, pausing 200 ms after each failure. False
// when the port is closed, the console did not answer twice, or a write failed.
bool configure_pult1(CommProtocols& hub, std::string_view header, const std::uint8_t* data,
                     std::size_t length, bool wait);

}  // namespace hardware
