// Feeds arbitrary bytes to the recording file reader. Whatever it takes must hold together:
// every line's values match its parameter list and re-encode to the very bytes they were
// read from, lines and problems lie inside the file in order, and the LAS export of it is
// ASCII.
#include <cstdint>
#include <string_view>

#include "storage/las_export.h"
#include "storage/real_time_format.h"
#include "storage/real_time_reader.h"
#include "storage/real_time_records.h"

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
  rtf::LasOptions o;
  o.by_time = size % 2 == 0;
  const rtf::LasResult las = rtf::export_las(c, o);
  for (char ch : las.text) {
    if (static_cast<unsigned char>(ch) >= 0x80) __builtin_trap();
  }
  return 0;
}
