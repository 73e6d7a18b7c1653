// Reads a run recording file (real_time_format.h, docs/real-time-files.md) back into its
// texts, parameter lists and values lines. It takes files as crashes, other writers and
// damaged disks leave them: a last block cut short, several runs of the writer appended one
// after another, parameter lists changing in the middle. Damage costs only the damaged
// stretch: the reader notes its offset and what was wrong, and goes on from the next
// version block; every complete block before and after it is kept.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

// Reads the bytes of a file. Never throws on any content.
RecordingContents read_recording(std::string_view bytes);

// Text of a problem for the operator: "<file>: offset N: what".
std::string problem_text(const std::string& file, const ReadProblem& p);

}  // namespace rtf
