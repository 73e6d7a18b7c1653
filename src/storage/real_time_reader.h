// Reads a run recording file (real_time_format.h, docs/real-time-files.md) back into its
// texts, parameter lists and values lines, of either version (2.4, whose blocks are checked,
// and 2.3 before it, also mixed in one file). It takes files as crashes, other writers and
// damaged disks leave them: a last block cut short, several runs of the writer appended one
// after another, parameter lists changing in the middle. Damage costs only the damaged
// stretch: the reader notes its offset and what was wrong, and goes on from the first whole
// block after it (in version 2.3, the next version block); every complete block before and
// after it is kept, and a line is read only against its own parameter list.
//
// Two ways in: read_recording gives everything at once (a file's bytes already in memory);
// scan_recording_file streams a file of any size through lib::FileSystem in chunks and
// hands each block to a visitor as it is taken, holding at most one chunk and one block in
// memory, with no allocation per line or per value.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "lib/file_system.h"
#include "storage/real_time_records.h"

namespace rtf {

struct RecordedText {
  std::uint64_t offset = 0;
  KeyValueList values;  // the key=value lines in their order
  // The value of a key, or "" when the text has none.
  std::string get(std::string_view key) const;
};

struct RecordedLine {
  std::uint64_t offset = 0;
  ValuesLine line;
  ParamList params;  // the parameter block in force
};

struct ReadProblem {
  std::uint64_t offset = 0;  // of the block (or the bytes) that could not be taken
  std::string what;
};

// One values line as the scan meets it: the fixed fields decoded, the values read on
// demand from the block's bytes. Valid only during the visitor's call.
struct LineView {
  std::uint64_t offset = 0;
  std::uint32_t time = 0;
  std::uint8_t hundredths = 0;
  float first_depth = 0;
  float bit_depth = 0;
  float third_depth = 0;
  std::uint8_t operation = 0;
  const ParamList* params = nullptr;  // the parameter block in force; never null
  std::size_t count = 0;
  const char* raw_values = nullptr;  // count little-endian float32, or
  const float* values = nullptr;     // count floats (a line already decoded)

  float value(std::size_t i) const {
    if (values) return values[i];
    const auto* b = reinterpret_cast<const unsigned char*>(raw_values + 4 * i);
    const std::uint32_t bits = std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 |
                               std::uint32_t{b[2]} << 16 | std::uint32_t{b[3]} << 24;
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
  }
};

// What a scan hands on, in file order. Every call is optional.
class RecordingVisitor {
 public:
  virtual ~RecordingVisitor() = default;
  virtual void on_version(std::uint64_t /*offset*/) {}
  virtual void on_text(RecordedText&& /*text*/) {}
  virtual void on_params(std::uint64_t /*offset*/, const ParamList& /*list*/) {}
  virtual void on_line(const LineView& /*line*/) {}
  virtual void on_problem(ReadProblem&& /*problem*/, bool /*cut_at_end*/) {}
};

struct ScanTotals {
  std::size_t blocks = 0;    // complete blocks taken
  std::size_t versions = 0;  // version blocks: stretches written by a writer
  std::uint64_t bytes = 0;   // bytes read
  bool cut_at_end = false;   // the file ends in a cut block
};

// Scans bytes already in memory. Never throws on any content.
ScanTotals scan_recording(std::string_view bytes, RecordingVisitor& visitor);

// The bytes read at a time by scan_recording_file.
inline constexpr std::size_t kScanChunkBytes = std::size_t{1} << 20;

// Scans a file, reading it in chunks, and no further than `max_bytes` (what lies beyond is
// taken as not there yet). Never throws on any content; a file that cannot be opened or
// read throws lib::io::StreamError naming it and the system's reason (what was visited
// before a failed read stands).
ScanTotals scan_recording_file(const std::string& path, lib::FileSystem& fs,
                               RecordingVisitor& visitor, std::size_t chunk_bytes = kScanChunkBytes,
                               std::uint64_t max_bytes = ~std::uint64_t{0});

struct RecordingContents {
  std::vector<RecordedText> texts;
  std::vector<ParamList> param_lists;  // in file order, one per parameter block
  std::vector<RecordedLine> lines;
  std::vector<ReadProblem> problems;
  std::size_t blocks = 0;    // complete blocks taken
  std::size_t versions = 0;  // version blocks: stretches written by a writer
  // The file ends in a cut block (a writer stopped mid-write); it is one of the problems.
  bool cut_at_end = false;
};

// A visitor that keeps everything, for read_recording.
class CollectingVisitor : public RecordingVisitor {
 public:
  void on_text(RecordedText&& text) override { contents.texts.push_back(std::move(text)); }
  void on_params(std::uint64_t, const ParamList& list) override {
    contents.param_lists.push_back(list);
  }
  void on_line(const LineView& line) override;
  void on_problem(ReadProblem&& problem, bool) override {
    contents.problems.push_back(std::move(problem));
  }
  RecordingContents contents;
};

// Reads the bytes of a file. Never throws on any content.
RecordingContents read_recording(std::string_view bytes);

// Text of a problem for the operator: "<file>: offset N: what".
std::string problem_text(const std::string& file, const ReadProblem& p);

}  // namespace rtf
