// A station on a hub whose clock is fake, for tests that drive ticks one by one.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/system.h"
#include "lib/audio_output.h"
#include "lib/file_system.h"
#include "station/station.h"
#include "support/fakes.h"

namespace testing_support {

// A hub on a fake clock whose sleeps advance it, so the emulator's one-second pace costs
// no real time.
struct Rig {
  explicit Rig(const std::string& home, lib::FileSystem* fs = nullptr,
               lib::AudioOutput* audio = nullptr) {
    clock.set(2026, 12, 5, 12, 0, 0);
    reg::SystemOptions o;
    o.home_folder = home;
    o.clock = &clock;
    o.file_system = fs;
    o.audio = audio;
    o.sleep = [this](int ms) {
      clock.steady += ms;
      clock.now.seconds += ms / 1000;
    };
    hub = std::make_unique<reg::System>(o);
    st = std::make_unique<station::Station>(*hub);
  }
  // Opens the station on the emulator, playing `scenario` when one is named.
  std::vector<std::string> open(const std::string& scenario = {}) {
    station::StationSettings s;
    s.protocol = "emulator";
    s.scenario = scenario;
    return st->open(s);
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

// A home made by a first start on the emulator, with `edit` of its settings stored in its
// settings file, as an operator changes them while the station is stopped.
inline void edit_settings(const std::string& home, const std::function<void(reg::Config&)>& edit) {
  Rig rig(home);
  station::StationSettings s;
  s.protocol = "emulator";
  rig.st->open(s);
  edit(rig.hub->config());
  rig.hub->config().save_to_file(home + "global.ini", rig.hub->file_system());
  rig.st->close();
}

// The sound card as a test hears it, from the tick and the voice thread: "once <file>",
// "loop <file>", "stop" and "word <file>".
class HeardAudio : public lib::AudioOutput {
 public:
  void beep(int, int) override {}
  bool play_file(const std::string& path) override { return note("word " + path); }
  bool play_async(const std::string& path, bool loop) override {
    return note(std::string(loop ? "loop " : "once ") + path);
  }
  void stop() override { note("stop"); }
  std::vector<std::string> heard() {
    std::lock_guard guard(mutex_);
    return calls_;
  }
  // Waits (in real time, the voice thread's) until `call` has been heard.
  bool wait_for(const std::string& call, int seconds = 30) {
    std::unique_lock guard(mutex_);
    return changed_.wait_for(guard, std::chrono::seconds(seconds), [&] {
      return std::find(calls_.begin(), calls_.end(), call) != calls_.end();
    });
  }

 private:
  bool note(std::string call) {
    std::lock_guard guard(mutex_);
    calls_.push_back(std::move(call));
    changed_.notify_all();
    return true;
  }
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> calls_;
};

}  // namespace testing_support
