// A pseudo-terminal pair: the master descriptor, kept by a device simulator, and the path of
// the slave device, which the station opens like any serial port.
#pragma once

#include <string>

namespace lib {

class PseudoTerminal {
 public:
  PseudoTerminal() = default;
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  // Creates the pair with the master in raw mode; false with a reason in error().
  bool create();
  // Hands the master descriptor over to the caller (this object no longer closes it).
  int release_master();
  int master() const { return master_; }
  const std::string& slave_path() const { return slave_path_; }
  const std::string& error() const { return error_; }

 private:
  int master_ = -1;
  std::string slave_path_;
  std::string error_;
};

}  // namespace lib
