#include "storage/live_frame.h"

#include <boost/crc.hpp>

#include "lib/binary_stream.h"
#include "storage/live_frame_format.h"

namespace live {
namespace {

std::uint32_t crc_of(std::string_view bytes) {
  boost::crc_32_type crc;
  crc.process_bytes(bytes.data(), bytes.size());
  return crc.checksum();
}

void put_u32_at(std::string& bytes, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i)
    bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
}

}  // namespace

std::string encode_live_frame(const LiveFrame& f) {
  lib::io::BinaryMemoryOutputStream out;
  out.write(kMagic, sizeof kMagic);
  lib::io::write_binary(out, kLayoutVersion);
  lib::io::write_binary(out, std::uint16_t{0});
  lib::io::write_binary(out, std::uint32_t{0});  // the length, once known
  lib::io::write_binary(out, f.sequence);
  lib::io::write_binary(out, f.time);
  lib::io::write_binary(out, f.milliseconds);
  lib::io::write_binary(out, static_cast<std::uint16_t>(f.race_active ? kFlagRaceActive : 0));
  lib::io::write_binary(out, f.race);
  for (float d : {f.bottom, f.bit, f.lag, f.block}) lib::io::write_binary(out, d);
  lib::io::write_binary(out, f.operation);
  lib::io::write_binary(out, f.operation_name);
  lib::io::write_binary(out, static_cast<std::uint32_t>(f.values.size()));
  for (const FrameValue& v : f.values) {
    lib::io::write_binary(out, v.identifier);
    lib::io::write_binary(out, v.name);
    lib::io::write_binary(out, v.unit);
    lib::io::write_binary(out, v.value);
    const std::uint8_t marks =
        (v.stale ? kMarkStale : 0) | (v.alarm ? kMarkAlarm : 0) | (v.valid ? 0 : kMarkNotValid);
    lib::io::write_binary(out, marks);
  }
  lib::io::write_binary(out, static_cast<std::uint32_t>(f.alarms.size()));
  for (const std::string& a : f.alarms) lib::io::write_binary(out, a);
  std::string bytes = out.release();
  put_u32_at(bytes, kLengthAt, static_cast<std::uint32_t>(bytes.size() + kCrcBytes));
  const std::uint32_t crc = crc_of(bytes);
  bytes.resize(bytes.size() + kCrcBytes);
  put_u32_at(bytes, bytes.size() - kCrcBytes, crc);
  return bytes;
}

std::optional<LiveFrame> decode_live_frame(std::string_view bytes, std::string& why) {
  if (bytes.size() < kOperationNameAt + kCrcBytes) {
    why = "a frame of " + std::to_string(bytes.size()) + " bytes is too short";
    return std::nullopt;
  }
  if (bytes.size() > kMaxFrameBytes) {
    why = "a frame of " + std::to_string(bytes.size()) + " bytes is larger than any frame";
    return std::nullopt;
  }
  try {
    lib::io::BinaryMemoryInputStream in(bytes);
    char magic[4];
    in.read(magic, sizeof magic);
    if (std::string_view(magic, 4) != std::string_view(kMagic, 4)) {
      why = "not a live frame (wrong magic)";
      return std::nullopt;
    }
    const auto version = lib::io::read_binary<std::uint16_t>(in);
    if (version != kLayoutVersion) {
      why = "layout version " + std::to_string(version) + ", this program reads " +
            std::to_string(kLayoutVersion);
      return std::nullopt;
    }
    if (lib::io::read_binary<std::uint16_t>(in) != 0) {
      why = "the reserved bytes are not zero (a frame of a later layout?)";
      return std::nullopt;
    }
    const auto length = lib::io::read_binary<std::uint32_t>(in);
    if (length != bytes.size()) {
      why = "the frame says " + std::to_string(length) + " bytes, " + std::to_string(bytes.size()) +
            " are there";
      return std::nullopt;
    }
    const std::string_view body = bytes.substr(0, bytes.size() - kCrcBytes);
    lib::io::BinaryMemoryInputStream tail(bytes.substr(body.size()));
    if (lib::io::read_binary<std::uint32_t>(tail) != crc_of(body)) {
      why = "the frame's CRC does not match its bytes";
      return std::nullopt;
    }
    lib::io::BinaryMemoryInputStream b(body);
    b.seek(kSequenceAt);
    LiveFrame f;
    f.sequence = lib::io::read_binary<std::uint32_t>(b);
    f.time = lib::io::read_binary<std::uint32_t>(b);
    f.milliseconds = lib::io::read_binary<std::uint16_t>(b);
    const auto flags = lib::io::read_binary<std::uint16_t>(b);
    if ((flags & ~kFlagRaceActive) != 0) throw lib::io::StreamError("unknown flags");
    f.race_active = (flags & kFlagRaceActive) != 0;
    f.race = lib::io::read_binary<std::int32_t>(b);
    for (float* d : {&f.bottom, &f.bit, &f.lag, &f.block}) *d = lib::io::read_binary<float>(b);
    f.operation = lib::io::read_binary<std::int32_t>(b);
    lib::io::read_binary(b, f.operation_name);
    const auto n = lib::io::read_binary<std::uint32_t>(b);
    // Each value takes at least three string counts, the value and its marks.
    if (n > b.rest().size() / 17)
      throw lib::io::StreamError("a value count of " + std::to_string(n));
    f.values.resize(n);
    for (FrameValue& v : f.values) {
      lib::io::read_binary(b, v.identifier);
      lib::io::read_binary(b, v.name);
      lib::io::read_binary(b, v.unit);
      v.value = lib::io::read_binary<float>(b);
      const auto marks = lib::io::read_binary<std::uint8_t>(b);
      if ((marks & ~(kMarkStale | kMarkAlarm | kMarkNotValid)) != 0)
        throw lib::io::StreamError("unknown marks of a value");
      v.stale = (marks & kMarkStale) != 0;
      v.alarm = (marks & kMarkAlarm) != 0;
      v.valid = (marks & kMarkNotValid) == 0;
    }
    const auto m = lib::io::read_binary<std::uint32_t>(b);
    if (m > b.rest().size() / 4)
      throw lib::io::StreamError("an alarm count of " + std::to_string(m));
    f.alarms.resize(m);
    for (std::string& a : f.alarms) lib::io::read_binary(b, a);
    if (!b.rest().empty()) {
      why = std::to_string(b.rest().size()) + " bytes left after the last alarm";
      return std::nullopt;
    }
    return f;
  } catch (const lib::io::StreamError& e) {
    why = std::string("a damaged frame: ") + e.what();
    return std::nullopt;
  }
}

}  // namespace live
