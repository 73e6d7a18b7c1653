#include "hardware/dol_accumulators.h"

#include <string>

namespace hardware {

namespace {
constexpr int kLogAccumulation = 5;
constexpr int kLogEvent = 3;
}  // namespace

void DolAccumulators::log(std::string_view message, int level) const {
  if (log_) log_(message, level);
}

DolAccumulators::Track& DolAccumulators::track(std::int32_t address) {
  return tracks_[address];
}

void DolAccumulators::apply_reset(std::int32_t address, Track& t) {
  if (!t.reset_requested) return;
  t.reset_requested = false;
  for (auto& a : t.acc) a.value = 0;
  log("USO " + std::to_string(address) + " DOL RESET", kLogEvent);
}

DolAccumulators::Counts DolAccumulators::add_increments(
    std::int32_t address, std::span<const std::int16_t, kChannels> increments) {
  std::lock_guard guard(lock_);
  Track& t = track(address);
  apply_reset(address, t);
  for (int i = 0; i < kChannels; ++i) {
    DolAccumulator& a = t.acc[static_cast<std::size_t>(i)];
    // Wraps like the module's own counters would rather than overflowing.
    a.value = static_cast<std::int32_t>(static_cast<std::uint32_t>(a.value) +
                                        static_cast<std::uint32_t>(increments[i]));
    a.initialised = true;
    if (increments[i] != 0)
      log("ACC DOL[" + std::to_string(i) + "] = " + std::to_string(a.value), kLogAccumulation);
  }
  return t.acc;
}

DolAccumulators::Counts DolAccumulators::take_counts(
    std::int32_t address, std::span<const std::int32_t, kChannels> counts, bool power_off) {
  std::lock_guard guard(lock_);
  Track& t = track(address);
  apply_reset(address, t);
  if (power_off && (t.acc[0].initialised || t.acc[1].initialised)) {
    for (auto& a : t.acc) a.initialised = false;
    log("USO " + std::to_string(address) + " DOL INIT AFTER POWER OFF", kLogEvent);
  }
  for (int i = 0; i < kChannels; ++i) {
    const auto k = static_cast<std::size_t>(i);
    DolAccumulator& a = t.acc[k];
    if (a.initialised) {
      const std::int64_t step = static_cast<std::int64_t>(counts[i]) - t.baseline[k];
      if (step > -kStepWindow && step < kStepWindow) {
        a.value += static_cast<std::int32_t>(step);
        if (step != 0)
          log("ACC DOL[" + std::to_string(i) + "] = " + std::to_string(a.value), kLogAccumulation);
      } else {
        log("USO " + std::to_string(address) + " DOL[" + std::to_string(i) + "] step " +
                std::to_string(step) + " ignored",
            kLogEvent);
      }
    }
    t.baseline[k] = counts[i];
    a.initialised = true;
  }
  return t.acc;
}

void DolAccumulators::request_reset(std::int32_t address) {
  std::lock_guard guard(lock_);
  // Modules not seen yet start from zero anyway.
  if (address < 0)
    for (auto& [a, t] : tracks_) t.reset_requested = true;
  else
    tracks_[address].reset_requested = true;
}

void DolAccumulators::forget_baselines() {
  std::lock_guard guard(lock_);
  for (auto& [address, t] : tracks_)
    for (auto& a : t.acc) a.initialised = false;
}

DolAccumulators::Counts DolAccumulators::counts(std::int32_t address) const {
  std::lock_guard guard(lock_);
  const auto it = tracks_.find(address);
  return it == tracks_.end() ? Counts{} : it->second.acc;
}

}  // namespace hardware
