// Reads a recording file from where the office stands in it to its end, again and again as
// it grows, through the recording reader (storage/real_time_reader.h) and never parsing a
// block itself.
//
// A read may start at any block boundary the reader reported before: the reader is shown the
// file as the parameter block in force there followed by the bytes from that boundary on,
// so it reads the lines after it against the right list, and a read costs only the new
// bytes however long the file is. Offsets handed on are the file's own.
//
// Where a read stops: at the end of the last whole block. A last block cut short (the
// station is writing it, or was killed while writing it) or damage with nothing readable
// after it is read again next time, when more may follow.
#pragma once

#include <cstdint>
#include <string>

#include "lib/file_system.h"
#include "office/office_db.h"
#include "storage/real_time_reader.h"

namespace office {

class TailSink {
 public:
  virtual ~TailSink() = default;
  // A block boundary: every block before `at.resume` was handed on. The sink may ship what
  // it holds here with `at` as its position.
  virtual void boundary(const FilePosition& at) = 0;
  virtual void text(rtf::RecordedText&& text) = 0;
  virtual void params(std::uint64_t offset, const rtf::ParamList& list) = 0;
  // A line read against the parameter block at `params_at`.
  virtual void line(const rtf::LineView& line, std::uint64_t params_at) = 0;
  // Damage the reader met (offset in the file); it goes on after it where it can. `cut_at_end`:
  // the file ends in a block cut short, which is what a block still being written looks like.
  virtual void problem(const rtf::ReadProblem& problem, bool cut_at_end) = 0;
};

// Reads the file from `from` on and returns the position at the end of what was read.
// Throws lib::io::StreamError when the file cannot be opened or read, and whatever the sink
// throws (the read then stops where it is).
FilePosition read_tail(const std::string& path, lib::FileSystem& fs, const FilePosition& from,
                       TailSink& sink);

}  // namespace office
