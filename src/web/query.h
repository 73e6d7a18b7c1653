// The parts of a request the web view reads itself: the query string of a URL, the list of
// parameters and the time of a history request, and the bearer token of a write. Each takes
// any bytes and answers a value or a reason, never throws.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace web {

// %XX decoded, '+' as a blank. nullopt for a '%' not followed by two hex digits or for a
// NUL byte, decoded or raw.
std::optional<std::string> percent_decode(std::string_view text);

struct Query {
  // Decoded, in order; each name and value is UTF-8 without a NUL byte, so it may be
  // answered back in JSON as it stands.
  std::vector<std::pair<std::string, std::string>> fields;
  std::string error;  // empty when it parsed
  // The value of the first field of that name.
  std::optional<std::string> get(std::string_view name) const;
};
// "a=1&b=x%20y": fields split on '&' and at the first '='. A field without '=' has an empty
// value. Refused (error set, no fields): over format::kMaxQueryBytes, a bad escape, a NUL
// byte, a field that does not decode to UTF-8.
Query parse_query(std::string_view text);

// Splits a target "/path?query" into its path and query; the path is not decoded.
std::pair<std::string_view, std::string_view> split_target(std::string_view target);

// "a,b,c": the names of a history request, without empty ones, at most
// format::kMaxHistoryParams. nullopt (with the reason) when there are too many or a name
// holds a control character.
std::optional<std::vector<std::string>> parse_param_list(std::string_view text, std::string& error);

// A time in seconds as the history gives them: a finite decimal number, optionally with a
// fraction. nullopt for anything else (a sign other than '-', an exponent, junk, NaN).
std::optional<double> parse_seconds(std::string_view text);

// The token of an "Authorization" header value "Bearer <token>" (the scheme in any case,
// blanks around the token ignored). nullopt when the value is not of that form.
std::optional<std::string> bearer_token(std::string_view header);

// Compares a presented token with the station's in time that does not depend on where they
// differ. False when either is empty.
bool tokens_equal(std::string_view presented, std::string_view expected);

// The text of a write's body, its trailing line ends dropped. nullopt, with the reason, when
// the body is not UTF-8 (the text is the operator's: it is refused, never stored altered),
// is empty and `may_be_empty` is false, or is not one line (a NUL, CR or LF inside) and
// `one_line` is set.
std::optional<std::string> write_text(std::string_view body, bool one_line, bool may_be_empty,
                                      std::string& error);

// Whether a request's "Origin" header names the page of this server: "http://" (or
// "https://" when `secure`) followed by the request's "Host" value (compared without regard
// to case). A page of another site, a sandboxed page ("null") or a request without a Host
// does not.
bool origin_is_host(std::string_view origin, std::string_view host, bool secure = false);

// The value of the cookie `name` in a "Cookie" header ("a=1; b=2"), nullopt when it is not
// there. The value is returned as sent (no decoding).
std::optional<std::string> cookie_value(std::string_view header, std::string_view name);

// A static file's path ("/app.js") when it is one the view may serve: it starts with '/',
// has no "..", ".", empty or hidden segment, no backslash, no control character, and its
// percent escapes decode. nullopt otherwise (a traversal attempt, or junk).
std::optional<std::string> static_path(std::string_view path);

}  // namespace web

namespace web {

// "HOST:PORT", "[IPv6]:PORT" or "PORT" alone (then the loopback address 127.0.0.1), as
// `rigstation run --http` takes it. nullopt (with the reason) for anything else, such as a
// port outside 0 .. 65535 or a host that is not an IP address literal.
struct ListenAddress {
  std::string host;
  unsigned port = 0;
};
std::optional<ListenAddress> parse_listen_address(std::string_view text, std::string& error);

}  // namespace web
