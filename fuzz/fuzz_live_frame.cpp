// Feeds arbitrary bytes, as the content of the live frame file, to its decoder. It never
// crashes and never reads past the input; what it takes, encoded again, gives the very
// bytes it was given (the CRC makes any other frame a refusal), except where a text was not
// UTF-8: the reader mends it, and the mended frame then reads back as itself. A frame with
// the same texts and other numbers, rewritten in the bytes laid out for this one, is byte for
// byte that frame encoded afresh.
#include <algorithm>
#include <cstdint>
#include <string>

#include "storage/live_frame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string why;
  const auto frame = live::decode_live_frame(bytes, why);
  if (!frame) {
    if (why.empty()) __builtin_trap();
    return 0;
  }
  live::LiveFrameLayout layout;
  std::string kept = live::encode_live_frame(*frame, &layout);
  live::LiveFrame next = *frame;
  ++next.sequence;
  next.time ^= 1;
  next.race_active = !next.race_active;
  next.bottom += 1;
  next.operation = ~next.operation;
  for (live::FrameValue& v : next.values) {
    v.value = -v.value;
    v.stale = !v.stale;
    v.valid = !v.valid;
  }
  std::reverse(next.alarms.begin(), next.alarms.end());
  if (!next.alarms.empty()) next.alarms.pop_back();
  live::update_live_frame(kept, next, layout);
  if (kept != live::encode_live_frame(next)) __builtin_trap();

  const std::string again = live::encode_live_frame(*frame);
  if (again == bytes) return 0;
  const auto mended = live::decode_live_frame(again, why);
  if (!mended || live::encode_live_frame(*mended) != again) __builtin_trap();
  return 0;
}
