#include "lib/pseudo_terminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace lib {

PseudoTerminal::~PseudoTerminal() {
  if (master_ >= 0) ::close(master_);
}

bool PseudoTerminal::create() {
  if (master_ >= 0) ::close(master_);
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0) {
    error_ = std::string("posix_openpt: ") + std::strerror(errno);
    return false;
  }
  char name[128] = {};
  if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
      ::ptsname_r(master_, name, sizeof name) != 0) {
    error_ = std::string("pseudo-terminal set-up: ") + std::strerror(errno);
    ::close(master_);
    master_ = -1;
    return false;
  }
  // Raw both ways: bytes of the binary protocol must pass untouched, whichever side
  // configures the line first.
  termios tio{};
  if (::tcgetattr(master_, &tio) == 0) {
    ::cfmakeraw(&tio);
    ::tcsetattr(master_, TCSANOW, &tio);
  }
  slave_path_ = name;
  return true;
}

int PseudoTerminal::release_master() {
  const int fd = master_;
  master_ = -1;
  return fd;
}

}  // namespace lib
