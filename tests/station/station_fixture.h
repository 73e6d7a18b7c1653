// A station on a hub whose clock is fake, for tests that drive ticks one by one.
#pragma once

#include <memory>
#include <string>

#include "core/system.h"
#include "lib/file_system.h"
#include "station/station.h"
#include "support/fakes.h"

namespace testing_support {

// A hub on a fake clock whose sleeps advance it, so the emulator's one-second pace costs
// no real time.
struct Rig {
  explicit Rig(const std::string& home, lib::FileSystem* fs = nullptr) {
    clock.set(2026, 12, 5, 12, 0, 0);
    reg::SystemOptions o;
    o.home_folder = home;
    o.clock = &clock;
    o.file_system = fs;
    o.sleep = [this](int ms) {
      clock.steady += ms;
      clock.now.seconds += ms / 1000;
    };
    hub = std::make_unique<reg::System>(o);
    st = std::make_unique<station::Station>(*hub);
  }
  void ticks(int n) {
    for (int i = 0; i < n; ++i) {
      clock.steady += 1000;
      st->tick();
    }
  }
  testing_support::FakeClock clock;
  std::unique_ptr<reg::System> hub;
  std::unique_ptr<station::Station> st;
};

}  // namespace testing_support
