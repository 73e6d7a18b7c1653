#include "storage/real_time_reader.h"

#include <fcntl.h>

#include <cerrno>
#include <memory>

#include "lib/binary_stream.h"
#include "lib/crc32c.h"
#include "storage/real_time_format.h"

namespace rtf {
namespace {

std::uint32_t u32(const char* b) {
  const auto* u = reinterpret_cast<const unsigned char*>(b);
  return std::uint32_t{u[0]} | std::uint32_t{u[1]} << 8 | std::uint32_t{u[2]} << 16 |
         std::uint32_t{u[3]} << 24;
}

float f32(const char* b) {
  const std::uint32_t bits = u32(b);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
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

constexpr std::uint64_t kNotFound = ~std::uint64_t{0};

// The bytes of the file the scan is at. Offsets are from the start of the file; bytes
// before the offset last asked for may be gone.
class Window {
 public:
  virtual ~Window() = default;
  // Makes [at, at + n) available when the file holds it; the bytes available from `at`
  // (fewer than n only at the end of the file).
  virtual std::size_t need(std::uint64_t at, std::size_t n) = 0;
  const char* data(std::uint64_t at) const { return base_ + (at - start_); }
  virtual std::uint64_t bytes_read() const = 0;

 protected:
  const char* base_ = nullptr;
  std::uint64_t start_ = 0;  // offset of base_[0]
};

class MemoryWindow final : public Window {
 public:
  explicit MemoryWindow(std::string_view bytes) : bytes_(bytes) { base_ = bytes.data(); }
  std::size_t need(std::uint64_t at, std::size_t n) override {
    return at >= bytes_.size() ? 0 : std::min<std::uint64_t>(n, bytes_.size() - at);
  }
  std::uint64_t bytes_read() const override { return bytes_.size(); }

 private:
  std::string_view bytes_;
};

class FileWindow final : public Window {
 public:
  FileWindow(const std::string& path, lib::FileSystem& fs, std::size_t chunk,
             std::uint64_t max_bytes)
      : path_(path),
        fs_(fs),
        chunk_(std::max<std::size_t>(chunk, kVersionBlockBytes)),
        left_(max_bytes) {
    fd_ = fs_.open(path, O_RDONLY, 0);
    if (fd_ < 0) {
      throw lib::io::StreamError("cannot open '" + path + "': " + lib::errno_text(errno));
    }
  }
  ~FileWindow() override { fs_.close(fd_); }
  FileWindow(const FileWindow&) = delete;
  FileWindow& operator=(const FileWindow&) = delete;

  std::size_t need(std::uint64_t at, std::size_t n) override {
    while (at + n > end() && !eof_) read_more(at);
    return at >= end() ? 0 : std::min<std::uint64_t>(n, end() - at);
  }

  std::uint64_t bytes_read() const override { return read_; }

 private:
  std::uint64_t end() const { return start_ + buf_.size(); }

  // Drops the bytes before `keep_from` and appends the next chunk of the file.
  void read_more(std::uint64_t keep_from) {
    if (keep_from > start_) {
      const std::size_t drop =
          static_cast<std::size_t>(std::min<std::uint64_t>(keep_from - start_, buf_.size()));
      buf_.erase(0, drop);
      start_ += drop;
    }
    const std::size_t had = buf_.size();
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(chunk_, left_));
    buf_.resize(had + want);
    const ssize_t n = want == 0 ? 0 : fs_.read(fd_, buf_.data() + had, want);
    if (n < 0) {
      const int err = errno;
      buf_.resize(had);
      throw lib::io::StreamError("cannot read '" + path_ + "' at offset " + std::to_string(read_) +
                                 ": " + lib::errno_text(err));
    }
    buf_.resize(had + static_cast<std::size_t>(n));
    read_ += static_cast<std::uint64_t>(n);
    left_ -= static_cast<std::uint64_t>(n);
    if (n == 0) eof_ = true;
    base_ = buf_.data();
  }

  std::string path_;
  lib::FileSystem& fs_;
  std::size_t chunk_;
  int fd_ = -1;
  std::string buf_;
  std::uint64_t read_ = 0;
  std::uint64_t left_;  // bytes the scan may still read
  bool eof_ = false;
};

// How the blocks of a stretch are framed: told by the version block that starts it. Before
// any (a file whose first version block is damaged) each block shows it by its check.
enum class Frame { unknown, plain, checked };

bool known_type(std::uint8_t type) {
  return type == kBlockValues || type == kBlockParams || type == kBlockText ||
         type == kBlockVersion;
}

std::size_t length_of(const char* head) {
  return static_cast<unsigned char>(head[1]) |
         static_cast<std::size_t>(static_cast<unsigned char>(head[2])) << 8;
}

// True when the `size` bytes at `at` are a block whose check (its last 4 bytes) holds.
bool check_holds(const char* at, std::size_t size) {
  return lib::crc32c(at, size - kCheckBytes) == u32(at + size - kCheckBytes);
}

struct Sync {
  std::uint64_t at = kNotFound;
  Frame frame = Frame::unknown;
};

// The first offset at or after `from` where a whole block can be taken: a version 2.3 mark,
// or a block whose check holds. Heads that cannot be a block's (an unknown type, a length
// that disagrees with the count inside) are passed over before any check is computed, so
// a stretch of garbage costs little more than looking at each byte.
Sync find_sound(Window& w, std::uint64_t from) {
  constexpr std::size_t kPeek = kBlockHeadBytes + kValFixedBytes;
  for (std::uint64_t c = from;; ++c) {
    const std::size_t have = w.need(c, kPeek);
    if (have < kBlockHeadBytes + kCheckBytes) return {};
    const char* h = w.data(c);
    const auto type = static_cast<std::uint8_t>(h[0]);
    if (!known_type(type)) continue;
    const std::size_t len = length_of(h);
    const char* p = h + kBlockHeadBytes;
    const std::size_t peeked = have - kBlockHeadBytes;  // payload bytes at hand
    switch (type) {
      case kBlockVersion:
        if (len != kVersionPayloadBytes || peeked < kVersionPayloadBytes ||
            u32(p) != static_cast<std::uint32_t>(kVersionFirst)) {
          continue;
        }
        if (u32(p + 4) == static_cast<std::uint32_t>(kVersionPlain)) return {c, Frame::plain};
        if (u32(p + 4) != static_cast<std::uint32_t>(kVersionChecked)) continue;
        break;
      case kBlockValues:
        if (len < kValFixedBytes || (len - kValFixedBytes) % 4 != 0 || peeked < kValFixedBytes ||
            u32(p + kValCount) != (len - kValFixedBytes) / 4) {
          continue;
        }
        break;
      case kBlockParams:
        // Each parameter takes at least four string counts and two floats.
        if (len < kParamsCountBytes || peeked < kParamsCountBytes ||
            u32(p) > (len - kParamsCountBytes) / 24) {
          continue;
        }
        break;
      default:  // text: one string filling the payload
        if (len < 4 || peeked < 4 || u32(p) != len - 4) continue;
        break;
    }
    const std::size_t size = kBlockHeadBytes + len + kCheckBytes;
    if (w.need(c, size) == size && check_holds(w.data(c), size)) return {c, Frame::checked};
  }
}

ScanTotals scan(Window& w, RecordingVisitor& visitor) {
  ScanTotals totals;
  ParamList in_force;
  std::uint32_t in_force_check = 0;  // the check of its block (framing 2.4)
  Frame frame = Frame::unknown;
  std::uint64_t pos = 0;
  auto problem = [&](std::uint64_t at, std::string what, bool cut = false) {
    visitor.on_problem({at, std::move(what)}, cut);
  };
  // After damage at `pos`: on from the next block that can be taken, or the end.
  auto resync_at = [&](const Sync& next, const std::string& what) {
    if (next.at == kNotFound) {
      problem(pos, what + "; nothing readable follows");
      pos = kNotFound;
    } else {
      problem(pos, what + "; skipped " + std::to_string(next.at - pos) +
                       " bytes to the next whole block");
      pos = next.at;
      frame = next.frame;
    }
  };
  auto resync = [&](const std::string& what) { resync_at(find_sound(w, pos + 1), what); };
  LineView view;
  while (pos != kNotFound) {
    const std::size_t head = w.need(pos, kBlockHeadBytes);
    if (head == 0) break;
    if (head < kBlockHeadBytes) {
      problem(pos, "the file ends in a cut block head (" + std::to_string(head) + " of 3 bytes)",
              true);
      totals.cut_at_end = true;
      break;
    }
    const auto type = static_cast<std::uint8_t>(w.data(pos)[0]);
    const std::size_t len = length_of(w.data(pos));
    if (!known_type(type)) {
      resync("unknown block type " + std::to_string(type));
      continue;
    }
    // A version block tells its own framing by the version it holds.
    bool checked = frame == Frame::checked;
    if (type == kBlockVersion) {
      if (len == kVersionPayloadBytes &&
          w.need(pos, kBlockHeadBytes + len) == kBlockHeadBytes + len) {
        checked = u32(w.data(pos) + kBlockHeadBytes + 4) != kVersionPlain;
      }
    } else if (frame == Frame::unknown) {
      const std::size_t size = kBlockHeadBytes + len + kCheckBytes;
      checked = w.need(pos, size) == size && check_holds(w.data(pos), size);
    }
    const std::size_t size = kBlockHeadBytes + len + (checked ? kCheckBytes : 0);
    const std::size_t have = w.need(pos, size);
    if (have < size) {
      // A cut block is the end of a killed writer's file, unless a whole block follows
      // within the bytes it claims: then its length is damaged, or another writer went on
      // after the cut.
      const Sync next = find_sound(w, pos + 1);
      if (next.at == kNotFound) {
        problem(pos,
                "the file ends in a cut block of type " + std::to_string(type) + " (" +
                    std::to_string(have) + " of its " + std::to_string(size) + " bytes)",
                true);
        totals.cut_at_end = true;
        break;
      }
      resync_at(next, "a block of type " + std::to_string(type) + " claims " + std::to_string(len) +
                          " bytes, more than the file holds");
      continue;
    }
    const char* block = w.data(pos);
    if (checked && !check_holds(block, size)) {
      resync("a damaged block of type " + std::to_string(type) + " (its check fails)");
      continue;
    }
    const char* p = block + kBlockHeadBytes;
    const std::string_view payload(p, len);
    try {
      if (type == kBlockVersion) {
        const std::uint32_t second = len == kVersionPayloadBytes ? u32(p + 4) : 0;
        if (len != kVersionPayloadBytes || u32(p) != kVersionFirst ||
            (second != kVersionPlain && second != kVersionChecked)) {
          resync("a damaged version block");
          continue;
        }
        frame = second == kVersionChecked ? Frame::checked : Frame::plain;
        ++totals.versions;
        in_force.reset();
        visitor.on_version(pos);
      } else if (type == kBlockParams) {
        const std::uint32_t check = checked ? u32(p + len) : 0;
        // The copy of the block just taken is passed over.
        if (!(checked && in_force && check == in_force_check)) {
          lib::io::BinaryMemoryInputStream in(payload);
          in.set_string_encoding(static_cast<lib::StringEnc>(kStringEncoding));
          const auto n = lib::io::read_binary<std::int32_t>(in);
          // Each parameter takes at least four string counts and two floats.
          if (n < 0 || static_cast<std::size_t>(n) > (len - kParamsCountBytes) / 24) {
            throw lib::io::StreamError("a parameter count of " + std::to_string(n));
          }
          auto list = std::make_shared<std::vector<RecordedParam>>();
          list->reserve(static_cast<std::size_t>(n));
          for (std::int32_t i = 0; i < n; ++i) {
            RecordedParam rp;
            rp.full_name = read_string(in);
            rp.unit = read_string(in);
            rp.short_name = read_string(in);
            rp.identifier = read_string(in);
            rp.scale_min = lib::io::read_binary<float>(in);
            rp.scale_max = lib::io::read_binary<float>(in);
            list->push_back(std::move(rp));
          }
          if (!in.at_end()) throw lib::io::StreamError("bytes left after the last parameter");
          in_force = std::move(list);
          in_force_check = check;
          visitor.on_params(pos, in_force);
        }
      } else if (type == kBlockText) {
        lib::io::BinaryMemoryInputStream in(payload);
        const std::string text = read_string(in);
        if (!in.at_end()) throw lib::io::StreamError("bytes left after the text");
        visitor.on_text({pos, parse_text(text)});
      } else {
        if (len < kValFixedBytes) {
          throw lib::io::StreamError("a values block of " + std::to_string(len) + " bytes");
        }
        const std::uint32_t k = u32(p + kValCount);
        if (static_cast<std::size_t>(k) != (len - kValFixedBytes) / 4 ||
            kValFixedBytes + 4 * static_cast<std::size_t>(k) != len) {
          throw lib::io::StreamError("a values block of " + std::to_string(len) +
                                     " bytes says it holds " + std::to_string(k) + " values");
        }
        if (!in_force) {
          problem(pos, "a values block without a parameter block before it; the line is left out");
        } else if (checked && u32(p + kValListCheck) != in_force_check) {
          // Its own parameter block was lost to damage: the one in force is another list.
          problem(pos,
                  "a values block of another parameter list than the one in force; the line is "
                  "left out");
        } else if (in_force->size() != k) {
          problem(pos, "a values block of " + std::to_string(k) +
                           " values where the parameter block has " +
                           std::to_string(in_force->size()) + "; the line is left out");
        } else {
          view.offset = pos;
          view.time = u32(p + kValTime);
          view.first_depth = f32(p + kValFirstDepth);
          view.third_depth = f32(p + kValThirdDepth);
          view.operation = static_cast<std::uint8_t>(p[kValOperation]);
          view.bit_depth = f32(p + kValBitDepth);
          view.hundredths = static_cast<std::uint8_t>(p[kValHundredths]);
          view.params = &in_force;
          view.count = k;
          view.raw_values = p + kValFirstValue;
          visitor.on_line(view);
        }
      }
    } catch (const lib::io::StreamError& e) {
      resync("a damaged block of type " + std::to_string(type) + ": " + e.what());
      continue;
    }
    ++totals.blocks;
    pos += size;
  }
  totals.bytes = w.bytes_read();
  return totals;
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

void CollectingVisitor::on_line(const LineView& l) {
  RecordedLine r;
  r.offset = l.offset;
  r.params = *l.params;
  ValuesLine& v = r.line;
  v.time = l.time;
  v.hundredths = l.hundredths;
  v.first_depth = l.first_depth;
  v.bit_depth = l.bit_depth;
  v.third_depth = l.third_depth;
  v.operation = l.operation;
  v.values.resize(l.count);
  for (std::size_t i = 0; i < l.count; ++i) v.values[i] = l.value(i);
  contents.lines.push_back(std::move(r));
}

ScanTotals scan_recording(std::string_view bytes, RecordingVisitor& visitor) {
  MemoryWindow w(bytes);
  return scan(w, visitor);
}

ScanTotals scan_recording_file(const std::string& path, lib::FileSystem& fs,
                               RecordingVisitor& visitor, std::size_t chunk_bytes,
                               std::uint64_t max_bytes) {
  FileWindow w(path, fs, chunk_bytes, max_bytes);
  return scan(w, visitor);
}

RecordingContents read_recording(std::string_view bytes) {
  CollectingVisitor c;
  const ScanTotals t = scan_recording(bytes, c);
  c.contents.blocks = t.blocks;
  c.contents.versions = t.versions;
  c.contents.cut_at_end = t.cut_at_end;
  return std::move(c.contents);
}

}  // namespace rtf
