// The winch-sensor ("DOL") accumulators of the 2017 bus modules. A module reports two winch
// sensors; the station turns what it reports into two running counts per module that the
// block-position calculation reads like pulse counters. The counts live here, in the
// protocol hub, rather than in a reading, because callers make a fresh reading for every
// poll and a count must survive from one poll to the next.
//
// Data version 0 sends signed 16-bit increments (what moved since the module's previous
// reply): each is added. Data version 101 sends the module's own signed 32-bit counts: the
// first count after start-up, a module power-off or a clear only sets the baseline
// (initialises the accumulator); after that the difference to the previous count is added
// while it lies strictly between -500 and 500. A larger step cannot be winch travel between
// two polls (it is a counter reset or a glitch), so it is dropped and the baseline moves on.
// A reset request zeroes the counts of a module at its next reply; the counts are otherwise
// kept for as long as the station runs.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <span>
#include <string_view>

#include "hardware/uso_data.h"

namespace hardware {

class DolAccumulators {
 public:
  static constexpr int kChannels = 2;
  // A version 101 step is used only while strictly inside this window.
  static constexpr std::int32_t kStepWindow = 500;

  using Log = std::function<void(std::string_view message, int level)>;
  using Counts = std::array<DolAccumulator, kChannels>;

  explicit DolAccumulators(Log log = {}) : log_(std::move(log)) {}

  // Adds version 0 increments; returns the module's counts after them.
  Counts add_increments(std::int32_t address, std::span<const std::int16_t, kChannels> increments);
  // Takes version 101 counts. `power_off` tells that the module restarted since its previous
  // reply (its packet numbers started again): the baselines are taken anew.
  Counts take_counts(std::int32_t address, std::span<const std::int32_t, kChannels> counts,
                     bool power_off);

  // Zeroes the counts of one module (or of every module, with address -1) at its next reply.
  void request_reset(std::int32_t address);
  // Forgets every baseline, keeping the counts: after the station lost sight of the bus the
  // next reported counts only re-initialise.
  void forget_baselines();
  Counts counts(std::int32_t address) const;

 private:
  struct Track {
    Counts acc{};
    std::array<std::int32_t, kChannels> baseline{};
    bool reset_requested = false;
  };
  Track& track(std::int32_t address);
  void apply_reset(std::int32_t address, Track& t);
  void log(std::string_view message, int level) const;

  Log log_;
  mutable std::mutex lock_;
  std::map<std::int32_t, Track> tracks_;
};

}  // namespace hardware
