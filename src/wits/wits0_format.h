// The WITS level 0 stream as the station receives it and as any sender of ours writes it
// (docs/wits0-wire.md). One record on the wire:
//
//   &&<CR><LF>                start of a record (bytes before it are skipped)
//   RRIIvalue<CR><LF>         one item: record RR, item II, two decimal digits each, then
//                             the value text up to the line end, kept as sent (untrimmed)
//   ...
//   !!<CR><LF>                end: a line with '!' as its first or second byte
//
// A line holds at most kMaxLineBytes bytes before its CR LF. A longer line abandons the
// record it is in: the items already taken stay stored but the record is not made ready,
// and the reader looks for the next start, so the tail of the long line cannot be taken
// for an item of the next record.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace wits {

inline constexpr std::string_view kRecordStart = "&&\r\n";
inline constexpr std::string_view kRecordEnd = "!!\r\n";
inline constexpr std::string_view kLineEnd = "\r\n";
inline constexpr char kEndMark = '!';

// Bytes of a line before its CR LF.
inline constexpr std::size_t kMaxLineBytes = 254;

// Record number in columns 1-2, item number in 3-4, the value from column 5.
inline constexpr std::size_t kNumberDigits = 2;
inline constexpr std::size_t kValueColumn = 2 * kNumberDigits;

// What a look-up returns for an item nobody sent.
inline constexpr double kNotAvailable = -32768.0;

// Appends one item line; `record` and `item` must be 0..99 (written with two digits).
inline void append_item_line(std::string& out, int record, int item, std::string_view value) {
  out.push_back(static_cast<char>('0' + record / 10 % 10));
  out.push_back(static_cast<char>('0' + record % 10));
  out.push_back(static_cast<char>('0' + item / 10 % 10));
  out.push_back(static_cast<char>('0' + item % 10));
  out.append(value);
  out.append(kLineEnd);
}

}  // namespace wits
