// The web view's write token, kept in the station home (web_format.h, docs/web-api.md).
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "lib/file_system.h"

namespace web {

struct TokenState {
  std::string token;    // empty: no write is accepted
  std::string message;  // for the operator: what was made, or why writes are off
  bool created = false;
};

// kTokenChars random hex digits.
using TokenSource = std::function<std::string()>;
std::string random_token();

// Reads "<home>web.token", or makes it (mode 0600, written whole) when it does not exist.
// A file others may read or write, a file that is not one token line, or one that cannot be
// read or made leaves `token` empty with the reason in `message`; nothing is overwritten.
TokenState load_or_create_token(const std::string& home, lib::FileSystem& fs,
                                const TokenSource& source = random_token);

// The token when `text` (a token file's bytes) holds one, else empty.
std::string token_of_file_text(const std::string& text);

}  // namespace web
