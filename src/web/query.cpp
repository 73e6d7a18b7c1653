#include "web/query.h"

#include <cmath>
#include <cstdlib>

#include "lib/str_enc.h"
#include "web/web_format.h"

namespace web {

namespace {

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool is_control(unsigned char c) {
  return c < 0x20 || c == 0x7f;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

std::optional<std::string> percent_decode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      out.push_back(' ');
    } else if (c == '%') {
      if (i + 2 >= text.size()) return std::nullopt;
      const int hi = hex_digit(text[i + 1]);
      const int lo = hex_digit(text[i + 2]);
      if (hi < 0 || lo < 0) return std::nullopt;
      const char decoded = static_cast<char>(hi * 16 + lo);
      if (decoded == '\0') return std::nullopt;
      out.push_back(decoded);
      i += 2;
    } else if (c == '\0') {
      return std::nullopt;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::optional<std::string> Query::get(std::string_view name) const {
  for (const auto& [k, v] : fields)
    if (k == name) return v;
  return std::nullopt;
}

Query parse_query(std::string_view text) {
  Query q;
  if (text.size() > format::kMaxQueryBytes) {
    q.error = "the query is longer than " + std::to_string(format::kMaxQueryBytes) + " bytes";
    return q;
  }
  while (!text.empty()) {
    const auto amp = text.find('&');
    const std::string_view field = text.substr(0, amp);
    text = amp == std::string_view::npos ? std::string_view() : text.substr(amp + 1);
    if (field.empty()) continue;
    const auto eq = field.find('=');
    const auto name = percent_decode(field.substr(0, eq));
    const auto value =
        percent_decode(eq == std::string_view::npos ? std::string_view() : field.substr(eq + 1));
    // The field is quoted in the answer: cut and mended so the quote is text itself.
    const auto quoted = [&] { return "'" + lib::to_valid_utf8(field.substr(0, 64)) + "'"; };
    if (!name || !value) {
      q.fields.clear();
      q.error = "a bad %-escape or a NUL byte in the query field " + quoted();
      return q;
    }
    if (!lib::is_valid_utf8(*name) || !lib::is_valid_utf8(*value)) {
      q.fields.clear();
      q.error = "the query field " + quoted() + " does not decode to UTF-8 text";
      return q;
    }
    q.fields.emplace_back(*name, *value);
  }
  return q;
}

std::pair<std::string_view, std::string_view> split_target(std::string_view target) {
  const auto q = target.find('?');
  if (q == std::string_view::npos) return {target, {}};
  return {target.substr(0, q), target.substr(q + 1)};
}

std::optional<std::vector<std::string>> parse_param_list(std::string_view text,
                                                         std::string& error) {
  std::vector<std::string> names;
  while (!text.empty()) {
    const auto comma = text.find(',');
    const std::string_view name = trim(text.substr(0, comma));
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    if (name.empty()) continue;
    for (const char c : name) {
      if (is_control(static_cast<unsigned char>(c))) {
        error = "a parameter name holds a control character";
        return std::nullopt;
      }
    }
    if (names.size() == format::kMaxHistoryParams) {
      error = "more than " + std::to_string(format::kMaxHistoryParams) + " parameters asked for";
      return std::nullopt;
    }
    names.emplace_back(name);
  }
  return names;
}

std::optional<double> parse_seconds(std::string_view text) {
  if (text.empty() || text.size() > 32) return std::nullopt;
  std::size_t i = 0;
  if (text[0] == '-') ++i;
  std::size_t digits = 0, dots = 0;
  for (std::size_t k = i; k < text.size(); ++k) {
    if (text[k] >= '0' && text[k] <= '9') {
      ++digits;
    } else if (text[k] == '.') {
      if (++dots > 1) return std::nullopt;
    } else {
      return std::nullopt;
    }
  }
  if (digits == 0) return std::nullopt;
  const std::string copy(text);
  char* end = nullptr;
  const double v = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::optional<std::string> bearer_token(std::string_view header) {
  header = trim(header);
  constexpr std::string_view kScheme = "bearer";
  if (header.size() <= kScheme.size()) return std::nullopt;
  for (std::size_t i = 0; i < kScheme.size(); ++i) {
    char c = header[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kScheme[i]) return std::nullopt;
  }
  if (header[kScheme.size()] != ' ' && header[kScheme.size()] != '\t') return std::nullopt;
  const std::string_view token = trim(header.substr(kScheme.size()));
  if (token.empty()) return std::nullopt;
  for (const char c : token) {
    if (is_control(static_cast<unsigned char>(c)) || c == ' ' || c == '\t') return std::nullopt;
  }
  return std::string(token);
}

std::optional<std::string> write_text(std::string_view body, bool one_line, bool may_be_empty,
                                      std::string& error) {
  while (!body.empty() && (body.back() == '\n' || body.back() == '\r')) body.remove_suffix(1);
  if (body.empty() && !may_be_empty) {
    error = "the body is empty";
    return std::nullopt;
  }
  if (const auto guess = lib::guess_text_encoding(body);
      guess.kind != lib::TextEncodingGuess::kUtf8) {
    error = "the body is not UTF-8 text (an ill-formed byte at offset " +
            std::to_string(guess.bad_offset) + "); nothing was stored";
    return std::nullopt;
  }
  if (one_line && body.find_first_of(std::string_view("\0\r\n", 3)) != std::string_view::npos) {
    error = "a command is one line";
    return std::nullopt;
  }
  return std::string(body);
}

bool origin_is_host(std::string_view origin, std::string_view host, bool secure) {
  const std::string_view kScheme = secure ? "https://" : "http://";
  if (host.empty() || origin.size() != kScheme.size() + host.size()) return false;
  const auto lower = [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  };
  for (std::size_t i = 0; i < origin.size(); ++i) {
    const char want = i < kScheme.size() ? kScheme[i] : host[i - kScheme.size()];
    if (lower(origin[i]) != lower(want)) return false;
  }
  return true;
}

std::optional<std::string> cookie_value(std::string_view header, std::string_view name) {
  while (!header.empty()) {
    const std::size_t semi = header.find(';');
    std::string_view pair = header.substr(0, semi);
    header = semi == std::string_view::npos ? std::string_view() : header.substr(semi + 1);
    while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
    const std::size_t eq = pair.find('=');
    if (eq != std::string_view::npos && pair.substr(0, eq) == name)
      return std::string(pair.substr(eq + 1));
  }
  return std::nullopt;
}

bool tokens_equal(std::string_view presented, std::string_view expected) {
  if (presented.empty() || expected.empty()) return false;
  // Every byte of the expected token is looked at whatever the presented one holds.
  unsigned diff = presented.size() == expected.size() ? 0u : 1u;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const unsigned char p = i < presented.size() ? static_cast<unsigned char>(presented[i]) : 0u;
    diff |= p ^ static_cast<unsigned char>(expected[i]);
  }
  return diff == 0;
}

std::optional<std::string> static_path(std::string_view path) {
  if (path.empty() || path.front() != '/') return std::nullopt;
  const auto decoded = percent_decode(path);
  if (!decoded) return std::nullopt;
  // A '+' in a path is itself, not a blank: decode again without that rule's effect.
  std::string out;
  out.reserve(path.size());
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (path[i] == '%') {
      out.push_back(static_cast<char>(hex_digit(path[i + 1]) * 16 + hex_digit(path[i + 2])));
      i += 2;
    } else {
      out.push_back(path[i]);
    }
  }
  std::string_view rest(out);
  rest.remove_prefix(1);
  if (rest.empty()) return out;
  while (true) {
    const auto slash = rest.find('/');
    const std::string_view segment = rest.substr(0, slash);
    if (segment.empty() || segment.front() == '.') return std::nullopt;
    for (const char c : segment) {
      if (c == '\\' || is_control(static_cast<unsigned char>(c))) return std::nullopt;
    }
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
  }
  return out;
}

}  // namespace web

namespace web {

std::optional<ListenAddress> parse_listen_address(std::string_view text, std::string& error) {
  ListenAddress a;
  std::string_view port = text;
  if (!text.empty() && text.front() == '[') {
    const auto close = text.find(']');
    if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':') {
      error = "'" + std::string(text) + "' is not [IPv6]:PORT";
      return std::nullopt;
    }
    a.host = std::string(text.substr(1, close - 1));
    port = text.substr(close + 2);
  } else if (const auto colon = text.rfind(':'); colon != std::string_view::npos) {
    a.host = std::string(text.substr(0, colon));
    port = text.substr(colon + 1);
  } else {
    a.host = "127.0.0.1";
  }
  if (port.empty() || port.size() > 5) {
    error = "'" + std::string(text) + "' has no port number (HOST:PORT or PORT)";
    return std::nullopt;
  }
  unsigned value = 0;
  for (const char c : port) {
    if (c < '0' || c > '9') {
      error = "the port of '" + std::string(text) + "' is not a number";
      return std::nullopt;
    }
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value > 65535) {
    error = "the port of '" + std::string(text) + "' is above 65535";
    return std::nullopt;
  }
  if (a.host.empty()) {
    error = "'" + std::string(text) + "' has an empty host";
    return std::nullopt;
  }
  for (const char c : a.host) {
    const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') ||
                    c == '.' || c == ':';
    if (!ok) {
      error =
          "the host of '" + std::string(text) + "' is not an IP address (names are not looked up)";
      return std::nullopt;
    }
  }
  a.port = value;
  return a;
}

}  // namespace web
