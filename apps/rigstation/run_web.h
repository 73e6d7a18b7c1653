// The web view of `rigstation run --http`: the server and its link to the running station.
#pragma once

#include <memory>
#include <string>

namespace reg {
class System;
}
namespace station {
class Station;
}

namespace rigstation {

class RunWeb {
 public:
  virtual ~RunWeb() = default;
  // Around each tick, on the station's thread: the web view reads the station only between
  // two ticks.
  virtual void before_tick() = 0;
  virtual void after_tick() = 0;
};

// Starts the web view on `address` ("HOST:PORT" or "PORT") for the opened station; the lines
// for the operator (where it listens, the token file made, why writes are off) go to stderr
// and the error log. Throws std::runtime_error with the reason when it cannot start.
std::unique_ptr<RunWeb> start_web(const std::string& address, station::Station& st,
                                  reg::System& hub);

}  // namespace rigstation
