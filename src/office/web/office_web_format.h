// What the office view keeps and accepts (docs/office-web-api.md): its session cookie, the
// rules for accounts and logins, and the bounds of what one request may read.
#pragma once

#include <cstddef>
#include <string_view>

namespace office::web_format {

// The session: a cookie holding kTokenBytes random bytes as hex, HttpOnly, SameSite=Strict,
// Secure under HTTPS. The office database keeps only the token's SHA-256, so a copy of the
// database opens no session. A session ends kSessionHours after login, at logout, or when
// its account's password is changed or the account removed.
inline constexpr std::string_view kSessionCookie = "office_session";
inline constexpr std::size_t kTokenBytes = 32;
inline constexpr int kSessionHours = 12;

// Accounts: a name of 1 .. kMaxUserName letters, digits, '.', '_' or '-'; a password of
// kMinPassword .. kMaxPassword bytes of UTF-8, kept as an argon2id hash.
inline constexpr std::size_t kMaxUserName = 64;
inline constexpr std::size_t kMinPassword = 8;
inline constexpr std::size_t kMaxPassword = 256;

// Failed logins from one address, or for one account, within kLoginWindowSeconds before
// further attempts are refused (429) until the window has passed.
inline constexpr int kMaxFailedLogins = 5;
inline constexpr int kLoginWindowSeconds = 300;

// A rig's live frame received longer ago than this is shown stale, whatever it says.
inline constexpr int kLiveStaleSeconds = 30;
// The fleet's chart: the last 24 hours of each rig's time recording in buckets of this.
inline constexpr int kFleetChartHours = 24;
inline constexpr int kFleetChartBucketSeconds = 600;
// Points one history request answers at most (the span is thinned evenly to fit), and the
// parameters it may ask for.
inline constexpr std::size_t kMaxHistoryPoints = 4000;
inline constexpr std::size_t kMaxHistoryParams = 16;
// An export larger than this is refused (it is built in memory before it is sent); the
// command `rigstation office export` has no such bound.
inline constexpr std::size_t kMaxExportBytes = std::size_t{256} << 20;
// Requests waiting for a database worker; more are answered 503 at once.
inline constexpr std::size_t kMaxQueuedRequests = 64;

}  // namespace office::web_format
