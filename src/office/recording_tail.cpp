#include "office/recording_tail.h"

#include <algorithm>
#include <cerrno>
#include <optional>

namespace office {
namespace {

constexpr std::uint64_t kMinChunkBytes = 64 << 10;

// The file seen as [a0, a1) followed by [b0, end of file); only opening, reading and closing
// are needed by the reader.
class SplicedFileSystem final : public lib::FileSystem {
 public:
  SplicedFileSystem(lib::FileSystem& inner, std::uint64_t a0, std::uint64_t a1, std::uint64_t b0)
      : inner_(inner), a0_(a0), len1_(a1 - a0), b0_(b0) {}

  std::uint64_t real(std::uint64_t virt) const {
    return virt < len1_ ? a0_ + virt : b0_ + (virt - len1_);
  }

  int open(const std::string& path, int flags, mode_t mode) override {
    pos_ = 0;
    return inner_.open(path, flags, mode);
  }
  ssize_t read(int fd, void* buf, std::size_t n) override {
    ssize_t r = 0;
    if (pos_ < len1_) {
      r = inner_.pread(fd, buf, static_cast<std::size_t>(std::min<std::uint64_t>(n, len1_ - pos_)),
                       static_cast<off_t>(a0_ + pos_));
      // A file cut short under the parameter block: the rest is not there either.
      if (r == 0) return 0;
    } else {
      r = inner_.pread(fd, buf, n, static_cast<off_t>(b0_ + (pos_ - len1_)));
    }
    if (r > 0) pos_ += static_cast<std::uint64_t>(r);
    return r;
  }
  int close(int fd) override { return inner_.close(fd); }
  ssize_t write(int, const void*, std::size_t) override { return refuse(); }
  int fsync(int) override { return refuse(); }
  int rename(const std::string&, const std::string&) override { return refuse(); }
  int unlink(const std::string&) override { return refuse(); }
  std::int64_t file_size(int fd) override { return inner_.file_size(fd); }

 private:
  static int refuse() {
    errno = EROFS;
    return -1;
  }
  lib::FileSystem& inner_;
  std::uint64_t a0_, len1_, b0_;
  std::uint64_t pos_ = 0;
};

// Turns the reader's calls into the sink's, with the file's own offsets and the position at
// each block boundary.
class TailVisitor final : public rtf::RecordingVisitor {
 public:
  TailVisitor(const SplicedFileSystem& view, const FilePosition& from, TailSink& sink,
              const std::string& path)
      : view_(view), pos_(from), sink_(sink), path_(path), replaying_(from.params_at >= 0) {}

  void on_version(std::uint64_t at) override {
    if (!arrive(at)) return;
    pos_.params_at = -1;
  }
  void on_text(rtf::RecordedText&& t) override {
    t.offset = view_.real(t.offset);
    if (!arrive_real(t.offset)) return;
    sink_.text(std::move(t));
  }
  void on_params(std::uint64_t at, const rtf::ParamList& list) override {
    const std::uint64_t real = view_.real(at);
    if (real < pos_.resume) {
      // The block in force, shown again before the new bytes.
      replaying_ = false;
      if (static_cast<std::int64_t>(real) != pos_.params_at) changed_under_us();
      return;
    }
    if (!arrive_real(real)) return;
    pos_.params_at = static_cast<std::int64_t>(real);
    params_end_pending_ = true;
    sink_.params(real, list);
  }
  void on_line(const rtf::LineView& l) override {
    rtf::LineView line = l;
    line.offset = view_.real(l.offset);
    if (!arrive_real(line.offset)) return;
    sink_.line(line, static_cast<std::uint64_t>(pos_.params_at));
    ++pos_.lines;
    pos_.last_time = line.time;
  }
  void on_problem(rtf::ReadProblem&& p, bool cut_at_end) override {
    p.offset = view_.real(p.offset);
    if (p.offset < pos_.resume) {
      changed_under_us();
      return;
    }
    // Where the reader stopped, unless a later block is met: the damaged or cut bytes are
    // read again next time, when more may follow them.
    stop_at_ = p.offset;
    sink_.problem(p, cut_at_end);
  }

  FilePosition finish(std::uint64_t end_real) {
    const std::uint64_t end = stop_at_ ? *stop_at_ : std::max(end_real, pos_.resume);
    settle(end);
    return pos_;
  }

 private:
  bool arrive(std::uint64_t virt) { return arrive_real(view_.real(virt)); }
  // A block at `real` is met: every block before it is done.
  bool arrive_real(std::uint64_t real) {
    if (replaying_) changed_under_us();
    if (real < pos_.resume) return false;
    stop_at_.reset();
    settle(real);
    sink_.boundary(pos_);
    return true;
  }
  void settle(std::uint64_t real) {
    if (params_end_pending_) {
      pos_.params_end = real;
      params_end_pending_ = false;
    }
    pos_.resume = real;
  }
  void changed_under_us() {
    replaying_ = false;
    if (reported_change_) return;
    reported_change_ = true;
    sink_.problem(
        {static_cast<std::uint64_t>(std::max<std::int64_t>(pos_.params_at, 0)),
         "the parameter block in force at offset " + std::to_string(pos_.resume) +
             " is no longer where it was read: '" + path_ + "' was changed behind the recorder"},
        false);
  }

  const SplicedFileSystem& view_;
  FilePosition pos_;
  TailSink& sink_;
  const std::string& path_;
  bool replaying_;
  bool reported_change_ = false;
  bool params_end_pending_ = false;
  std::optional<std::uint64_t> stop_at_;
};

}  // namespace

FilePosition read_tail(const std::string& path, lib::FileSystem& fs, const FilePosition& from,
                       TailSink& sink) {
  std::uint64_t a0 = 0, a1 = 0, b0 = from.resume;
  if (from.params_at >= 0) {
    a0 = static_cast<std::uint64_t>(from.params_at);
    a1 = from.params_end;
    // The block in force just before the boundary: one stretch of the file.
    if (a1 == from.resume) {
      b0 = a0;
      a0 = a1 = 0;
    }
  }
  SplicedFileSystem view(fs, a0, a1, b0);
  TailVisitor visitor(view, from, sink, path);
  // A round reads what was appended since the last one, a few KiB most of the time: the
  // reader's chunks are sized to it rather than a megabyte each time.
  std::size_t chunk = rtf::kScanChunkBytes;
  if (const auto st = fs.stat(path); st && st->size >= 0) {
    const auto left = static_cast<std::uint64_t>(st->size) - std::min<std::uint64_t>(st->size, b0);
    chunk = static_cast<std::size_t>(
        std::clamp<std::uint64_t>(left + (a1 - a0) + 4096, kMinChunkBytes, rtf::kScanChunkBytes));
  }
  const rtf::ScanTotals totals = rtf::scan_recording_file(path, view, visitor, chunk);
  return visitor.finish(view.real(totals.bytes));
}

}  // namespace office
