#include "web/token.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "web/web_format.h"

namespace web {

namespace {

std::string errno_text(int err) {
  return std::strerror(err);
}

bool is_token_char(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

}  // namespace

std::string random_token() {
  std::random_device device;  // the kernel's random source
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string token;
  token.reserve(format::kTokenChars);
  while (token.size() < format::kTokenChars) {
    unsigned word = device();
    for (int i = 0; i < 8 && token.size() < format::kTokenChars; ++i, word >>= 4)
      token.push_back(kDigits[word & 0xf]);
  }
  return token;
}

std::string token_of_file_text(const std::string& text) {
  std::string_view t(text);
  if (!t.empty() && t.back() == '\n') t.remove_suffix(1);
  if (!t.empty() && t.back() == '\r') t.remove_suffix(1);
  if (t.size() != format::kTokenChars) return {};
  for (const char c : t)
    if (!is_token_char(c)) return {};
  return std::string(t);
}

TokenState load_or_create_token(const std::string& home, lib::FileSystem& fs,
                                const TokenSource& source) {
  TokenState state;
  const std::string path = home + std::string(format::kTokenFileName);
  const auto status = fs.stat(path);
  if (!status) {
    const int err = errno;
    if (err != ENOENT) {
      state.message = "cannot read the web token '" + path + "': " + errno_text(err) +
                      "; the web view is read-only";
      return state;
    }
    const std::string token = source();
    if (token_of_file_text(token).empty()) {
      state.message = "no random web token could be made; the web view is read-only";
      return state;
    }
    // O_EXCL: a file another process made meanwhile is never overwritten.
    const int fd = fs.open(path, O_WRONLY | O_CREAT | O_EXCL, format::kTokenFileMode);
    if (fd < 0) {
      state.message = "cannot create the web token '" + path + "': " + errno_text(errno) +
                      "; the web view is read-only";
      return state;
    }
    const std::string line = token + "\n";
    const bool written = lib::write_all(fs, fd, line.data(), line.size()) && fs.fsync(fd) == 0;
    const int err_write = errno;
    const bool closed = fs.close(fd) == 0;
    if (!written || !closed) {
      fs.unlink(path);  // a half-written token would refuse every write later
      state.message = "cannot write the web token '" + path +
                      "': " + errno_text(written ? errno : err_write) +
                      "; the web view is read-only";
      return state;
    }
    state.token = token;
    state.created = true;
    state.message = "created the web token '" + path + "' (readable by its owner only)";
    return state;
  }
  if (!status->is_regular()) {
    state.message = "the web token '" + path + "' is not a file; the web view is read-only";
    return state;
  }
  if ((status->permissions & 077) != 0) {
    char mode[16];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status->permissions & 07777));
    state.message = "the web token '" + path + "' may be read by others (mode " + mode +
                    "); the web view is read-only until it is made 0600 (chmod 600) or removed";
    return state;
  }
  const auto text = lib::read_whole_file(path, fs, 4096);
  if (!text) {
    state.message = "cannot read the web token '" + path +
                    "': " + lib::read_failure_text(errno, 4096) + "; the web view is read-only";
    return state;
  }
  state.token = token_of_file_text(*text);
  if (state.token.empty()) {
    state.message = "the web token '" + path + "' does not hold one line of " +
                    std::to_string(format::kTokenChars) +
                    " hex digits; the web view is read-only until it is removed (a new one is "
                    "made at the next start)";
  }
  return state;
}

}  // namespace web
