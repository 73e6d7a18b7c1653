// What the station's web view keeps and accepts (docs/web-api.md): the token file of its
// home, the limits every request and connection is held to, and the history it keeps.
#pragma once

#include <cstddef>
#include <string_view>

namespace web::format {

// The token a client shows to change anything ("Authorization: Bearer <token>"). The file
// holds one line: kTokenChars lower-case hexadecimal digits, and may end in a newline. It is
// made on the first start with the web view, readable and writable by its owner only (0600);
// a file others may read, or one that is not such a line, is not used: the view then stays
// read-only and the log says why.
inline constexpr std::string_view kTokenFileName = "web.token";
inline constexpr std::size_t kTokenChars = 64;
inline constexpr unsigned kTokenFileMode = 0600;

// A request's header block, the body of a write, and the header fields of one request.
inline constexpr std::size_t kMaxHeaderBytes = 8 * 1024;
inline constexpr std::size_t kMaxBodyBytes = 4 * 1024;
inline constexpr std::size_t kMaxHeaderFields = 40;
// Open connections of all clients together, and of the clients of one address. A new
// connection past either closes the connection idle longest (of that address, when it is
// its address that is full); with none idle, the new one is closed at once.
inline constexpr std::size_t kMaxConnections = 128;
inline constexpr std::size_t kMaxConnectionsPerAddress = 32;
// Requests (or WebSocket messages from the client) one connection may make per second;
// more are answered 429 (a WebSocket is closed).
inline constexpr int kMaxRequestsPerSecond = 20;
// Bytes of tick messages waiting for one WebSocket client; a client that falls further
// behind is dropped, so a slow reader never holds the station's memory or its tick.
inline constexpr std::size_t kMaxQueuedBytes = 1024 * 1024;
// Seconds a connection may wait without sending a byte of a request (just opened, or kept
// alive between requests); seconds from a request's first byte to the end of its header;
// seconds after the header for the body. A client past one of them is closed.
inline constexpr int kIdleTimeoutSeconds = 10;
inline constexpr int kHeaderTimeoutSeconds = 10;
inline constexpr int kBodyTimeoutSeconds = 30;

// Ticks of history kept per parameter: six hours at one tick a second.
inline constexpr std::size_t kHistoryTicks = 6 * 3600;
// Parameters one history request may ask for.
inline constexpr std::size_t kMaxHistoryParams = 32;
// Length of a parameter list in a query.
inline constexpr std::size_t kMaxQueryBytes = 2048;

// A row's flags in the WebSocket's brief tick messages (docs/web-api.md), one number a row.
inline constexpr int kBriefValid = 1;
inline constexpr int kBriefStale = 2;
inline constexpr int kBriefAlarm = 4;

}  // namespace web::format
