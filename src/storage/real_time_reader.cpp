#include "storage/real_time_reader.h"

#include <cstring>
#include <memory>

#include "storage/real_time_format.h"

namespace rtf {
namespace {

std::uint32_t u32(std::string_view b, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
  return v;
}

float f32(std::string_view b, std::size_t at) {
  const std::uint32_t bits = u32(b, at);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

// The version block's 11 bytes, where a reader finds its way back after damage.
std::string_view version_mark() {
  static const char mark[kVersionBlockBytes] = {static_cast<char>(kBlockVersion),
                                                kVersionPayloadBytes,
                                                0,
                                                kVersionFirst,
                                                0,
                                                0,
                                                0,
                                                kVersionSecond,
                                                0,
                                                0,
                                                0};
  return {mark, sizeof mark};
}

KeyValueList parse_text(std::string_view text) {
  KeyValueList out;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t end = text.find("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(pos, end - pos);
    if (!line.empty()) {
      const auto eq = line.find('=');
      if (eq == std::string_view::npos) {
        out.emplace_back(std::string(line), std::string());
      } else {
        out.emplace_back(std::string(line.substr(0, eq)), std::string(line.substr(eq + 1)));
      }
    }
    pos = end + 2;
  }
  return out;
}

std::string read_string(lib::io::BinaryMemoryInputStream& in) {
  std::string s;
  lib::io::read_binary(in, s);
  return s;
}

}  // namespace

std::string RecordedText::get(std::string_view key) const {
  for (const auto& [k, v] : values) {
    if (k == key) return v;
  }
  return {};
}

std::string problem_text(const std::string& file, const ReadProblem& p) {
  return file + ": offset " + std::to_string(p.offset) + ": " + p.what;
}

RecordingContents read_recording(std::string_view bytes) {
  RecordingContents out;
  ParamList in_force;
  std::size_t pos = 0;
  // After damage: the next version block after `from`, or the end.
  auto resync = [&](std::size_t from, std::string what) {
    out.problems.push_back({pos, std::move(what)});
    const std::size_t next = bytes.find(version_mark(), from);
    if (next == std::string_view::npos) {
      out.problems.back().what += "; nothing readable follows";
      pos = bytes.size();
    } else {
      out.problems.back().what +=
          "; skipped " + std::to_string(next - pos) + " bytes to the next version block";
      pos = next;
      in_force.reset();
    }
  };
  while (pos < bytes.size()) {
    const std::size_t left = bytes.size() - pos;
    if (left < kBlockHeadBytes) {
      out.problems.push_back(
          {pos, "the file ends in a cut block head (" + std::to_string(left) + " of 3 bytes)"});
      out.cut_at_end = true;
      break;
    }
    const auto type = static_cast<std::uint8_t>(bytes[pos]);
    const std::size_t len = static_cast<unsigned char>(bytes[pos + 1]) |
                            static_cast<std::size_t>(static_cast<unsigned char>(bytes[pos + 2]))
                                << 8;
    if (type != kBlockValues && type != kBlockParams && type != kBlockText &&
        type != kBlockVersion) {
      resync(pos + 1, "unknown block type " + std::to_string(type));
      continue;
    }
    if (left - kBlockHeadBytes < len) {
      // A cut block is the end of a killed writer's file, unless a version block follows
      // within the bytes it claims: then another writer went on after the cut.
      const std::size_t next = bytes.find(version_mark(), pos + 1);
      if (next == std::string_view::npos) {
        out.problems.push_back({pos, "the file ends in a cut block of type " +
                                         std::to_string(type) + " (" +
                                         std::to_string(left - kBlockHeadBytes) + " of " +
                                         std::to_string(len) + " bytes)"});
        out.cut_at_end = true;
        break;
      }
      resync(pos + 1, "a block of type " + std::to_string(type) + " claims " + std::to_string(len) +
                          " bytes, more than the file holds");
      continue;
    }
    const std::string_view payload = bytes.substr(pos + kBlockHeadBytes, len);
    const std::size_t block_end = pos + kBlockHeadBytes + len;
    try {
      if (type == kBlockVersion) {
        if (len != kVersionPayloadBytes || u32(payload, 0) != kVersionFirst ||
            u32(payload, 4) != kVersionSecond) {
          resync(pos + 1, "a damaged version block");
          continue;
        }
        ++out.versions;
        in_force.reset();
      } else if (type == kBlockParams) {
        lib::io::BinaryMemoryInputStream in(payload);
        in.set_string_encoding(static_cast<lib::StringEnc>(kStringEncoding));
        const auto n = lib::io::read_binary<std::int32_t>(in);
        // Each parameter takes at least four string counts and two floats.
        if (n < 0 || static_cast<std::size_t>(n) > (len - kParamsCountBytes) / 24) {
          throw lib::io::StreamError("a parameter count of " + std::to_string(n));
        }
        auto list = std::make_shared<std::vector<RecordedParam>>();
        for (std::int32_t i = 0; i < n; ++i) {
          RecordedParam p;
          p.full_name = read_string(in);
          p.unit = read_string(in);
          p.short_name = read_string(in);
          p.identifier = read_string(in);
          p.scale_min = lib::io::read_binary<float>(in);
          p.scale_max = lib::io::read_binary<float>(in);
          list->push_back(std::move(p));
        }
        if (!in.at_end()) throw lib::io::StreamError("bytes left after the last parameter");
        in_force = list;
        out.param_lists.push_back(std::move(list));
      } else if (type == kBlockText) {
        lib::io::BinaryMemoryInputStream in(payload);
        const std::string text = read_string(in);
        if (!in.at_end()) throw lib::io::StreamError("bytes left after the text");
        out.texts.push_back({pos, parse_text(text)});
      } else {
        if (len < kValFixedBytes) {
          throw lib::io::StreamError("a values block of " + std::to_string(len) + " bytes");
        }
        const std::uint32_t k = u32(payload, kValCount);
        if (static_cast<std::size_t>(k) != (len - kValFixedBytes) / 4 ||
            kValFixedBytes + 4 * static_cast<std::size_t>(k) != len) {
          throw lib::io::StreamError("a values block of " + std::to_string(len) +
                                     " bytes says it holds " + std::to_string(k) + " values");
        }
        if (!in_force) {
          out.problems.push_back({pos,
                                  "a values block without a parameter block before it; "
                                  "the line is left out"});
        } else if (in_force->size() != k) {
          out.problems.push_back({pos, "a values block of " + std::to_string(k) +
                                           " values where the parameter block has " +
                                           std::to_string(in_force->size()) +
                                           "; the line is left out"});
        } else {
          RecordedLine l;
          l.offset = pos;
          l.params = in_force;
          ValuesLine& v = l.line;
          v.time = u32(payload, kValTime);
          v.first_depth = f32(payload, kValFirstDepth);
          v.third_depth = f32(payload, kValThirdDepth);
          v.operation = static_cast<std::uint8_t>(payload[kValOperation]);
          v.bit_depth = f32(payload, kValBitDepth);
          v.hundredths = static_cast<std::uint8_t>(payload[kValHundredths]);
          v.values.resize(k);
          for (std::uint32_t i = 0; i < k; ++i) v.values[i] = f32(payload, kValFirstValue + 4 * i);
          out.lines.push_back(std::move(l));
        }
      }
    } catch (const lib::io::StreamError& e) {
      resync(pos + 1, "a damaged block of type " + std::to_string(type) + ": " + e.what());
      continue;
    }
    ++out.blocks;
    pos = block_end;
  }
  return out;
}

}  // namespace rtf
