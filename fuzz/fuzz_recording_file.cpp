// Feeds arbitrary bytes to the recording file reader. Whatever it takes must hold together:
// every line's values match its parameter list and re-encode to the very bytes they were
// read from, lines and problems lie inside the file in order, the reader streaming the bytes
// in small chunks finds exactly what a reading in memory finds, and the LAS export of it is
// ASCII with an index that rises strictly.
#include <fcntl.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "storage/las_export.h"
#include "storage/real_time_format.h"
#include "storage/real_time_reader.h"
#include "storage/real_time_records.h"

namespace {

// One file, the input, read through the seam.
class MemoryFile final : public lib::FileSystem {
 public:
  explicit MemoryFile(std::string_view bytes) : bytes_(bytes) {}
  int open(const std::string&, int, mode_t) override { return 3; }
  ssize_t read(int, void* buf, std::size_t n) override {
    n = std::min(n, bytes_.size() - at_);
    if (n != 0) std::memcpy(buf, bytes_.data() + at_, n);
    at_ += n;
    return static_cast<ssize_t>(n);
  }
  ssize_t write(int, const void*, std::size_t) override { return fail(); }
  int fsync(int) override { return 0; }
  int close(int) override { return 0; }
  int rename(const std::string&, const std::string&) override { return fail(); }
  int unlink(const std::string&) override { return fail(); }
  std::int64_t file_size(int) override { return static_cast<std::int64_t>(bytes_.size()); }

 private:
  static int fail() {
    errno = EROFS;
    return -1;
  }
  std::string_view bytes_;
  std::size_t at_ = 0;
};

struct Seen final : rtf::RecordingVisitor {
  std::vector<std::uint64_t> lines, problems;
  void on_line(const rtf::LineView& l) override { lines.push_back(l.offset); }
  void on_problem(rtf::ReadProblem&& p, bool) override { problems.push_back(p.offset); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const rtf::RecordingContents c = rtf::read_recording(bytes);
  std::uint64_t last = 0;
  for (const rtf::RecordedLine& l : c.lines) {
    if (!l.params || l.params->size() != l.line.values.size()) __builtin_trap();
    if (l.offset < last || l.offset >= size) __builtin_trap();
    last = l.offset + 1;
    const std::string payload = rtf::values_payload(l.line);
    const std::size_t at = static_cast<std::size_t>(l.offset) + rtf::kBlockHeadBytes;
    // The reserved and constant fields are not kept: compare what the reader takes.
    const std::string_view original = bytes.substr(at, payload.size());
    if (original.size() != payload.size()) __builtin_trap();
    for (std::size_t i :
         {rtf::kValTime, rtf::kValFirstDepth, rtf::kValThirdDepth, rtf::kValBitDepth}) {
      if (original.substr(i, 4) != std::string_view(payload).substr(i, 4)) __builtin_trap();
    }
    if (original.substr(rtf::kValCount) != std::string_view(payload).substr(rtf::kValCount))
      __builtin_trap();
  }
  for (const rtf::ReadProblem& p : c.problems) {
    if (p.offset > size || p.what.empty()) __builtin_trap();
  }
  if (c.cut_at_end && c.problems.empty()) __builtin_trap();

  // Chunks of 1 to 13 bytes, so that blocks, checks and the search after damage all cross
  // the edges of what is read.
  MemoryFile file(bytes);
  Seen streamed;
  rtf::scan_recording_file("f", file, streamed, 1 + size % 13);
  if (streamed.lines.size() != c.lines.size() || streamed.problems.size() != c.problems.size())
    __builtin_trap();
  for (std::size_t i = 0; i < c.lines.size(); ++i) {
    if (streamed.lines[i] != c.lines[i].offset) __builtin_trap();
  }
  for (std::size_t i = 0; i < c.problems.size(); ++i) {
    if (streamed.problems[i] != c.problems[i].offset) __builtin_trap();
  }

  rtf::LasOptions o;
  o.by_time = size % 2 == 0;
  const rtf::LasResult las = rtf::export_las(c, o);
  for (char ch : las.text) {
    if (static_cast<unsigned char>(ch) >= 0x80) __builtin_trap();
  }
  if (las.lines + las.dropped_lines != c.lines.size()) __builtin_trap();
  // The index, the first field of each data line, rises strictly.
  const std::size_t data_at = las.text.find('\n', las.text.rfind("\n~A") + 1) + 1;
  double previous = 0;
  std::size_t rows = 0;
  for (std::size_t at = data_at; at < las.text.size(); at = las.text.find('\n', at) + 1) {
    const double index = std::strtod(las.text.c_str() + at, nullptr);
    if (rows++ != 0 && !(index > previous)) __builtin_trap();
    previous = index;
  }
  if (rows != las.lines) __builtin_trap();
  return 0;
}
