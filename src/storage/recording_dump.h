// The lines of a recording as text, as `rigstation rec dump` prints them: per line its time
// ("dd.mm.yyyy hh:mm:ss"), first depth, bit depth, third depth and operation, then the values;
// either blank-separated with `identifier=value`, or as ";"-separated CSV under a header row
// of identifiers, repeated wherever the parameter list changes. Numbers are the shortest text
// that reads back as the recorded float. The office writes its copy of a run with the same
// dumper, so the two texts of one run can be compared byte for byte.
#pragma once

#include <fmt/format.h>

#include <functional>
#include <string_view>
#include <vector>

#include "storage/real_time_reader.h"

namespace rtf {

class LineDumper final : public RecordingVisitor {
 public:
  // `out` takes the text in pieces of about a megabyte, in order.
  LineDumper(bool csv, std::function<void(std::string_view)> out);
  void on_line(const LineView& line) override;
  // Hands on what is still buffered; call once the scan is over.
  void flush();

 private:
  bool csv_;
  std::function<void(std::string_view)> out_;
  // Held, not only its address: a list freed and another made in its place must not pass
  // for it.
  ParamList header_;
  fmt::memory_buffer buf_;
};

}  // namespace rtf
