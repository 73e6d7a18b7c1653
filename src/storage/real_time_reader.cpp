#include "storage/real_time_reader.h"

#include <fcntl.h>

#include <cerrno>
#include <memory>

#include "lib/binary_stream.h"
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

constexpr std::uint64_t kNotFound = ~std::uint64_t{0};

// The bytes of the file the scan is at. Offsets are from the start of the file; bytes
// before the offset last asked for may be gone.
class Window {
 public:
  virtual ~Window() = default;
  // Makes [at, at + n) available when the file holds it; the bytes available from `at`
  // (fewer than n only at the end of the file).
  virtual std::size_t need(std::uint64_t at, std::size_t n) = 0;
  // The offset of the next version mark at or after `from`, or kNotFound.
  virtual std::uint64_t find_mark(std::uint64_t from) = 0;
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
  std::uint64_t find_mark(std::uint64_t from) override {
    if (from > bytes_.size()) return kNotFound;
    const std::size_t at = bytes_.find(version_mark(), from);
    return at == std::string_view::npos ? kNotFound : at;
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

  std::uint64_t find_mark(std::uint64_t from) override {
    const std::string_view mark = version_mark();
    for (;;) {
      if (from < end()) {
        const std::size_t at = std::string_view(buf_).find(mark, from - start_);
        if (at != std::string_view::npos) return start_ + at;
      }
      if (eof_) return kNotFound;
      // A mark may straddle the end of what is read: keep its first bytes.
      const std::uint64_t keep_from =
          end() >= mark.size() - 1 ? std::max(from, end() - (mark.size() - 1)) : from;
      read_more(keep_from);
      from = keep_from;
    }
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

ScanTotals scan(Window& w, RecordingVisitor& visitor) {
  ScanTotals totals;
  ParamList in_force;
  std::uint64_t pos = 0;
  auto problem = [&](std::uint64_t at, std::string what, bool cut = false) {
    visitor.on_problem({at, std::move(what)}, cut);
  };
  // After damage: the next version block after `from`, or the end.
  auto resync = [&](std::uint64_t from, std::string what) {
    const std::uint64_t next = w.find_mark(from);
    if (next == kNotFound) {
      problem(pos, what + "; nothing readable follows");
      pos = kNotFound;
    } else {
      problem(pos, what + "; skipped " + std::to_string(next - pos) +
                       " bytes to the next version block");
      pos = next;
      in_force.reset();
    }
  };
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
    const char* h = w.data(pos);
    const auto type = static_cast<std::uint8_t>(h[0]);
    const std::size_t len = static_cast<unsigned char>(h[1]) |
                            static_cast<std::size_t>(static_cast<unsigned char>(h[2])) << 8;
    if (type != kBlockValues && type != kBlockParams && type != kBlockText &&
        type != kBlockVersion) {
      resync(pos + 1, "unknown block type " + std::to_string(type));
      continue;
    }
    const std::size_t have = w.need(pos, kBlockHeadBytes + len);
    if (have < kBlockHeadBytes + len) {
      // A cut block is the end of a killed writer's file, unless a version block follows
      // within the bytes it claims: then another writer went on after the cut.
      if (w.find_mark(pos + 1) == kNotFound) {
        problem(pos,
                "the file ends in a cut block of type " + std::to_string(type) + " (" +
                    std::to_string(have - kBlockHeadBytes) + " of " + std::to_string(len) +
                    " bytes)",
                true);
        totals.cut_at_end = true;
        break;
      }
      resync(pos + 1, "a block of type " + std::to_string(type) + " claims " + std::to_string(len) +
                          " bytes, more than the file holds");
      continue;
    }
    const char* p = w.data(pos) + kBlockHeadBytes;
    const std::string_view payload(p, len);
    try {
      if (type == kBlockVersion) {
        if (len != kVersionPayloadBytes || u32(p) != kVersionFirst ||
            u32(p + 4) != kVersionSecond) {
          resync(pos + 1, "a damaged version block");
          continue;
        }
        ++totals.versions;
        in_force.reset();
        visitor.on_version(pos);
      } else if (type == kBlockParams) {
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
        visitor.on_params(pos, in_force);
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
      resync(pos + 1, "a damaged block of type " + std::to_string(type) + ": " + e.what());
      continue;
    }
    ++totals.blocks;
    pos += kBlockHeadBytes + len;
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
