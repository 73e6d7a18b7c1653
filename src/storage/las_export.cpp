#include "storage/las_export.h"

#include <fcntl.h>
#include <fmt/compile.h>
#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <iterator>
#include <limits>
#include <map>
#include <set>

#include "lib/binary_stream.h"
#include "lib/date_time.h"
#include "lib/export_target.h"
#include "lib/ident.h"
#include "storage/las_format.h"
#include "storage/real_time_format.h"

namespace rtf {
namespace {

// Lower-case Cyrillic letters from а (U+0430) to я (U+044F), then ё (U+0451).
const char* const kCyrillic[] = {"a",  "b",  "v",  "g",    "d", "e", "zh", "z", "i",  "y", "k",
                                 "l",  "m",  "n",  "o",    "p", "r", "s",  "t", "u",  "f", "kh",
                                 "ts", "ch", "sh", "shch", "",  "y", "",   "e", "yu", "ya"};

std::string upper_first(std::string s) {
  if (!s.empty()) s[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(s[0])));
  return s;
}

// Decodes one UTF-8 code point at `i`, moving past it; 0xFFFD on a broken sequence.
char32_t next_code_point(std::string_view s, std::size_t& i) {
  const auto c = static_cast<unsigned char>(s[i]);
  int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
  if (extra < 0 || i + static_cast<std::size_t>(extra) >= s.size() + (extra == 0 ? 1 : 0)) {
    ++i;
    return 0xFFFD;
  }
  char32_t cp = extra == 0 ? c : c & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    const auto cc = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
    if ((cc & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (cc & 0x3F);
  }
  i += static_cast<std::size_t>(extra) + 1;
  return cp;
}

// One header line: the mnemonic, a period, the unit, at least two spaces, the value, one
// space, a colon and the description. Readers split the value off at the spaces before it
// and at the first colon, so the value holds no colon and no run of spaces.
std::string las_line(std::string_view mnemonic, std::string_view unit, std::string value,
                     std::string_view description) {
  std::string v;
  for (char c : value) {
    if (c == ':') c = ' ';
    if (c == ' ' && (v.empty() || v.back() == ' ')) continue;
    v.push_back(c);
  }
  while (!v.empty() && v.back() == ' ') v.pop_back();
  const std::size_t used = mnemonic.size() + unit.size();
  const std::size_t pad = used + 2 < 16 ? 16 - used : 2;
  return fmt::format(" {}.{}{}{} : {}\n", mnemonic, unit, std::string(pad, ' '), v, description);
}

using Buffer = fmt::memory_buffer;

void put(Buffer& b, std::string_view s) {
  b.append(s.data(), s.data() + s.size());
}
void put(std::string& b, std::string_view s) {
  b.append(s);
}

// A number of a data line; not a number or infinite: the null value.
template <class Out, class T>
void put_number(Out& b, T v) {
  if (!std::isfinite(v)) {
    put(b, las::kNull);
  } else {
    // Compiled once: a format string parsed per value would cost a third of the export.
    fmt::format_to(std::back_inserter(b), FMT_COMPILE("{}"), v);
  }
}

// Hundredths of a second above 99 are not written by the station; they count as 99, so that
// a line's index never reaches into the next second.
std::uint8_t hundredths_of(const LineView& l) {
  return std::min<std::uint8_t>(l.hundredths, 99);
}

// The index of a line as the LAS orders it: hundredths of a second since 1970, or metres.
double index_key(const LineView& l, bool by_time) {
  return by_time ? static_cast<double>(l.time) * 100 + hundredths_of(l)
                 : static_cast<double>(l.first_depth);
}

// What a line gives the index: the time as seconds with its hundredths, or the depth.
struct IndexValue {
  std::uint32_t time = 0;
  std::uint8_t hundredths = 0;
  float depth = 0;
};

template <class Out>
void put_index(Out& b, const IndexValue& v, bool by_time) {
  if (!by_time) {
    put_number(b, static_cast<double>(v.depth));
    return;
  }
  fmt::format_to(std::back_inserter(b), FMT_COMPILE("{}"), v.time);
  if (v.hundredths != 0) {
    // "12.5", "12.05": the exact hundredths, no float rounding.
    const unsigned h = v.hundredths;
    fmt::format_to(std::back_inserter(b), FMT_COMPILE(".{}"), h / 10);
    if (h % 10 != 0) fmt::format_to(std::back_inserter(b), FMT_COMPILE("{}"), h % 10);
  }
}

// The index of a log must rise from line to line. A line whose index does not come after the
// line last taken (a clock set back, a run taken up again after a power cut, a depth drilled
// again) or is no finite number is left out and counted; both passes of an export leave out
// the same lines.
class IndexOrder {
 public:
  explicit IndexOrder(bool by_time) : by_time_(by_time) {}
  bool take(const LineView& l) {
    const double key = index_key(l, by_time_);
    if (std::isfinite(key) && key > last_) {
      last_ = key;
      return true;
    }
    if (dropped_++ == 0) first_dropped_ = l.offset;
    return false;
  }
  std::size_t dropped() const { return dropped_; }
  std::uint64_t first_dropped() const { return first_dropped_; }

 private:
  bool by_time_;
  double last_ = -std::numeric_limits<double>::infinity();
  std::size_t dropped_ = 0;
  std::uint64_t first_dropped_ = 0;
};

// Everything the export needs before its first data line, then the lines themselves.
class LasBuilder {
 public:
  explicit LasBuilder(const LasOptions& options)
      : options_(options), survey_order_(options.by_time), write_order_(options.by_time) {}

  // ---- the survey: every parameter list, the run header, the first and last index ----
  void add_params(const ParamList& list) {
    lists_.push_back(list);
    for (const RecordedParam& p : *list) {
      std::string id = lib::to_lower(p.identifier);
      if (index_of_.count(id)) continue;
      index_of_[id] = curves_.size();
      curves_.push_back({std::move(id), p});
    }
  }
  void add_text(const RecordedText& t) {
    if (header_) return;
    if (!t.get("скважина").empty() || !t.get("номер_рейса").empty()) header_ = t;
  }
  void add_line(const LineView& l) {
    ++seen_;
    if (!survey_order_.take(l)) return;
    const IndexValue v{l.time, hundredths_of(l), l.first_depth};
    if (lines_ == 0) start_ = v;
    stop_ = v;
    ++lines_;
  }
  std::size_t lines() const { return lines_; }  // lines the export takes
  std::size_t seen() const { return seen_; }    // lines the survey met
  std::size_t dropped() const { return survey_order_.dropped(); }
  std::uint64_t first_dropped() const { return survey_order_.first_dropped(); }

  // The curves asked for, and the mnemonics; the identifiers asked for that the file lacks.
  std::vector<std::string> choose_curves() {
    std::vector<std::string> unknown;
    if (!options_.params.empty()) {
      std::vector<Curve> chosen;
      for (const std::string& want : options_.params) {
        const auto it = index_of_.find(lib::to_lower(want));
        if (it == index_of_.end()) {
          unknown.push_back(want);
        } else {
          chosen.push_back(curves_[it->second]);
        }
      }
      curves_ = std::move(chosen);
      index_of_.clear();
      for (std::size_t i = 0; i < curves_.size(); ++i) index_of_[curves_[i].identifier] = i;
    }
    // Unique, the later of two equal ones numbered.
    std::set<std::string> used = {las::kTimeIndex, las::kDepthIndex, las::kBottomDepth,
                                  las::kBitDepth,  las::kThirdDepth, las::kOperation};
    for (const Curve& c : curves_) {
      std::string m = las_mnemonic(c.identifier);
      for (int n = 2; used.count(m); ++n) m = las_mnemonic(c.identifier) + "_" + std::to_string(n);
      used.insert(m);
      mnemonics_.push_back(m);
    }
    return unknown;
  }

  void write_header(Buffer& b) const;

  // One data line, unless its index does not follow the last line's (false then).
  bool write_line(Buffer& b, const LineView& l) {
    if (!write_order_.take(l)) return false;
    if (mapped_ != *l.params) {
      // The position in the line of each curve's value, found again only when the list
      // changes: a line costs no look-up. The list is held, not only its address: a list
      // freed and another made in its place must not pass for it.
      mapped_ = *l.params;
      position_of_.assign(curves_.size(), -1);
      // A list holding the same identifier twice gives the curve the later value.
      for (std::size_t i = 0; i < mapped_->size(); ++i) {
        const auto it = index_of_.find(lib::to_lower((*mapped_)[i].identifier));
        if (it != index_of_.end()) position_of_[it->second] = static_cast<int>(i);
      }
    }
    put_index(b, IndexValue{l.time, hundredths_of(l), l.first_depth}, options_.by_time);
    b.push_back(' ');
    if (options_.by_time) {
      put_number(b, static_cast<double>(l.first_depth));
      b.push_back(' ');
    }
    put_number(b, static_cast<double>(l.bit_depth));
    b.push_back(' ');
    put_number(b, static_cast<double>(l.third_depth));
    b.push_back(' ');
    fmt::format_to(std::back_inserter(b), FMT_COMPILE("{}"), static_cast<unsigned>(l.operation));
    for (const int at : position_of_) {
      b.push_back(' ');
      if (at < 0) {
        put(b, las::kNull);
      } else {
        put_number(b, l.value(static_cast<std::size_t>(at)));
      }
    }
    b.push_back('\n');
    return true;
  }

 private:
  struct Curve {
    std::string identifier;  // lower case
    RecordedParam param;
  };
  std::string index_text(const std::optional<IndexValue>& v) const {
    if (!v) return las::kNull;
    std::string t;
    put_index(t, *v, options_.by_time);
    return t;
  }

  const LasOptions& options_;
  std::vector<ParamList> lists_;  // keeps the survey's lists alive
  std::vector<Curve> curves_;
  std::map<std::string, std::size_t> index_of_;
  std::vector<std::string> mnemonics_;
  std::optional<RecordedText> header_;
  std::optional<IndexValue> start_, stop_;
  std::size_t lines_ = 0, seen_ = 0;
  IndexOrder survey_order_, write_order_;
  ParamList mapped_;
  std::vector<int> position_of_;  // per curve: its value's position in the line, or -1
};

}  // namespace

std::string transliterate(std::string_view utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const char32_t cp = next_code_point(utf8, i);
    if (cp < 0x20 || cp == 0x7F) {
      out.push_back('?');  // a line break or a control character would break the LAS apart
    } else if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp >= 0x430 && cp <= 0x44F) {
      out += kCyrillic[cp - 0x430];
    } else if (cp >= 0x410 && cp <= 0x42F) {
      out += upper_first(kCyrillic[cp - 0x410]);
    } else if (cp == 0x451) {
      out += "e";
    } else if (cp == 0x401) {
      out += "E";
    } else if (cp == 0xB2) {
      out += "2";
    } else if (cp == 0xB3) {
      out += "3";
    } else if (cp == 0xB0) {
      out += "deg";
    } else if (cp == 0xB7 || cp == 0x22C5) {
      out += ".";
    } else {
      out += "?";
    }
  }
  return out;
}

std::string las_mnemonic(std::string_view identifier) {
  std::string m;
  for (char c : transliterate(identifier)) {
    const auto u = static_cast<unsigned char>(c);
    m.push_back(std::isalnum(u) ? static_cast<char>(std::toupper(u)) : '_');
  }
  return m.empty() ? std::string("_") : m;
}

namespace {

void LasBuilder::write_header(Buffer& b) const {
  const RecordedText* header = header_ ? &*header_ : nullptr;
  // A value of the header: readers end the value at the first colon, so it holds none.
  auto head = [&](const char* key) {
    std::string v = header ? transliterate(header->get(key)) : "";
    std::replace(v.begin(), v.end(), ':', ' ');
    return v;
  };
  std::string out;
  const char* index_mnemonic = options_.by_time ? las::kTimeIndex : las::kDepthIndex;
  const char* index_unit = options_.by_time ? "S" : "M";
  out += "~Version Information\n";
  out += las_line("VERS", "", las::kVersion, "CWLS LOG ASCII STANDARD - VERSION 2.0");
  out += las_line("WRAP", "", "NO", "ONE LINE PER DEPTH STEP");
  out += "~Well Information\n";
  out += las_line("STRT", index_unit, index_text(start_), "START");
  out += las_line("STOP", index_unit, index_text(stop_), "STOP");
  out += las_line("STEP", index_unit, "0", "STEP, 0 for irregular spacing");
  out += las_line("NULL", "", las::kNull, "NULL VALUE");
  out += las_line("COMP", "", head("заказчик"), "COMPANY");
  out += las_line("WELL", "", head("скважина"), "WELL");
  out += las_line("FLD", "", head("месторождение"), "FIELD");
  std::string date;
  if (header && !header->get("нач_время").empty()) {
    try {
      const double seconds = std::stod(header->get("нач_время"));
      // The day only: a time of day would bring colons into the value.
      date = lib::format_date_time({25569.0 + seconds / 86400.0}).substr(0, 10);
    } catch (const std::exception&) {
      date = head("нач_время");
    }
  }
  out += las_line("DATE", "", date, "LOG DATE, the start of the run");
  out += las_line("RUN", "", head("номер_рейса"), "BIT RUN NUMBER");
  out += "~Curve Information\n";
  out += las_line(index_mnemonic, index_unit, "",
                  options_.by_time ? "Time, seconds since 01.01.1970 local" : "Depth");
  if (options_.by_time) out += las_line(las::kBottomDepth, "M", "", "Bottom-hole depth");
  out += las_line(las::kBitDepth, "M", "", "Bit depth");
  out += las_line(las::kThirdDepth, "M", "",
                  options_.by_time ? "Lag depth" : "Third depth of the line");
  out += las_line(las::kOperation, "", "", "Operation code");
  for (std::size_t i = 0; i < curves_.size(); ++i) {
    const RecordedParam& p = curves_[i].param;
    std::string unit;
    // A unit ends at the first space, and a trailing period ("атм.") would read as part of
    // the next field.
    for (char c : transliterate(p.unit)) {
      if (c != ' ' && c != ':') unit.push_back(c);
    }
    while (!unit.empty() && unit.back() == '.') unit.pop_back();
    std::string descr = transliterate(p.full_name);
    std::replace(descr.begin(), descr.end(), ':', ' ');
    out += las_line(mnemonics_[i], unit, "", descr + " (" + transliterate(p.identifier) + ")");
  }
  if (dropped() != 0) {
    out += "~Other Information\n";
    out += fmt::format(
        "{} line(s) of the recording left out: the {} of each does not come after "
        "the line before it (the first at offset {})\n",
        dropped(), index_mnemonic, first_dropped());
  }
  out += "~A";
  out += fmt::format(" {}", index_mnemonic);
  if (options_.by_time) out += fmt::format(" {}", las::kBottomDepth);
  out += fmt::format(" {} {} {}", las::kBitDepth, las::kThirdDepth, las::kOperation);
  for (const std::string& m : mnemonics_) out += " " + m;
  out += "\n";
  put(b, out);
}

}  // namespace

LasResult export_las(const RecordingContents& contents, const LasOptions& options) {
  LasResult result;
  LasBuilder builder(options);
  for (const ParamList& list : contents.param_lists) builder.add_params(list);
  for (const RecordedText& t : contents.texts) builder.add_text(t);
  auto view_of = [](const RecordedLine& l) {
    LineView v;
    v.offset = l.offset;
    v.time = l.line.time;
    v.hundredths = l.line.hundredths;
    v.first_depth = l.line.first_depth;
    v.bit_depth = l.line.bit_depth;
    v.third_depth = l.line.third_depth;
    v.operation = l.line.operation;
    v.params = &l.params;
    v.count = l.line.values.size();
    v.values = l.line.values.data();
    return v;
  };
  for (const RecordedLine& l : contents.lines) builder.add_line(view_of(l));
  result.unknown_params = builder.choose_curves();
  result.dropped_lines = builder.dropped();
  result.first_dropped_offset = builder.first_dropped();
  Buffer b;
  builder.write_header(b);
  for (const RecordedLine& l : contents.lines) {
    if (!builder.write_line(b, view_of(l))) continue;
    ++result.lines;
    if (options.progress && options.progress_every != 0 &&
        result.lines % options.progress_every == 0) {
      options.progress(result.lines, builder.lines());
    }
  }
  result.text.assign(b.data(), b.size());
  return result;
}

LasResult export_las_scan(const RecordingScan& scan, const LasOptions& options,
                          const std::function<void(std::string_view)>& out) {
  LasResult result;
  LasBuilder builder(options);

  // First pass: what the header needs.
  class Survey final : public RecordingVisitor {
   public:
    Survey(LasBuilder& b, LasResult& r) : b_(b), r_(r) {}
    void on_text(RecordedText&& t) override { b_.add_text(t); }
    void on_params(std::uint64_t, const ParamList& list) override { b_.add_params(list); }
    void on_line(const LineView& l) override { b_.add_line(l); }
    void on_problem(ReadProblem&& p, bool) override { r_.problems.push_back(std::move(p)); }

   private:
    LasBuilder& b_;
    LasResult& r_;
  } survey(builder, result);
  const ScanTotals first = scan(survey, ~std::uint64_t{0});
  result.unknown_params = builder.choose_curves();
  result.dropped_lines = builder.dropped();
  result.first_dropped_offset = builder.first_dropped();

  // Second pass: the lines, up to where the first pass ended (a file still being written
  // may have grown since; what came after is not in the header's span).
  Buffer b;
  builder.write_header(b);
  class Rows final : public RecordingVisitor {
   public:
    Rows(LasBuilder& builder, Buffer& b, LasResult& r, const LasOptions& o,
         const std::function<void(std::string_view)>& out)
        : builder_(builder), b_(b), r_(r), o_(o), out_(out) {}
    void on_line(const LineView& l) override {
      if (seen_ == builder_.seen()) return;
      ++seen_;
      if (!builder_.write_line(b_, l)) return;
      if (b_.size() >= kLasFlushBytes) {
        out_(std::string_view(b_.data(), b_.size()));
        b_.clear();
      }
      ++r_.lines;
      if (o_.progress && o_.progress_every != 0 && r_.lines % o_.progress_every == 0) {
        o_.progress(r_.lines, builder_.lines());
      }
    }

   private:
    LasBuilder& builder_;
    Buffer& b_;
    LasResult& r_;
    const LasOptions& o_;
    const std::function<void(std::string_view)>& out_;
    std::size_t seen_ = 0;
  } rows(builder, b, result, options, out);
  scan(rows, first.bytes);
  if (b.size() != 0) out(std::string_view(b.data(), b.size()));
  return result;
}

namespace {

bool ends_with(const std::string& s, std::string_view tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// True when the file starts as a recording does, with a version block of either framing.
bool starts_as_recording(const std::string& path, lib::FileSystem& fs) {
  const int fd = fs.open(path, O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) return false;
  unsigned char b[kVersionBlockBytes] = {};
  std::size_t got = 0;
  while (got < sizeof b) {
    const ssize_t n = fs.read(fd, b + got, sizeof b - got);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  fs.close(fd);
  return got == sizeof b && b[0] == kBlockVersion && b[1] == kVersionPayloadBytes && b[2] == 0 &&
         b[3] == kVersionFirst && b[4] == 0 && b[5] == 0 && b[6] == 0 &&
         (b[7] == kVersionPlain || b[7] == kVersionChecked) && b[8] == 0 && b[9] == 0 && b[10] == 0;
}

// An export never goes over the recording it reads, nor over any other recording: the
// station may be appending to it, and nothing could bring its lines back.
void refuse_recording_target(const std::string& recording, const lib::ExportTarget& target,
                             lib::FileSystem& fs) {
  auto refuse = [&](const std::string& why) {
    throw lib::io::StreamError("will not write the export to '" + target.path() + "': " + why);
  };
  const auto& there = target.status();
  if (there) {
    const auto input = fs.stat(recording);
    if (input && input->device == there->device && input->inode == there->inode) {
      refuse("it is the recording being exported");
    }
  }
  if (target.target() == lib::ExportTarget::kStandardOutput || target.streamed()) return;
  const std::string& file = target.target();
  const std::string which = file == target.path() ? "it" : "'" + file + "', where it leads,";
  for (const char* suffix : {kTimeSuffix, kDepthSuffix, kLagSuffix}) {
    if (ends_with(file, suffix)) refuse(which + " is named as a recording file");
  }
  if (there && starts_as_recording(file, fs)) refuse(which + " is a recording file");
}

}  // namespace

LasResult export_las_file(const std::string& path, lib::FileSystem& fs, const LasOptions& options,
                          const std::function<void(std::string_view)>& out) {
  return export_las_scan(
      [&](RecordingVisitor& v, std::uint64_t max_bytes) {
        return scan_recording_file(path, fs, v, kScanChunkBytes, max_bytes);
      },
      options, out);
}

void write_file_streamed(
    const std::string& path, lib::FileSystem& fs,
    const std::function<void(const std::function<void(std::string_view)>& write)>& produce) {
  lib::ExportTarget target(path, fs);
  produce([&](std::string_view piece) { target.write(piece); });
  target.commit();
}

LasResult export_las_scan_to_file(const RecordingScan& scan, const std::string& las_path,
                                  lib::FileSystem& fs, const LasOptions& options) {
  lib::ExportTarget target(las_path, fs);
  LasResult result =
      export_las_scan(scan, options, [&](std::string_view piece) { target.write(piece); });
  target.commit();
  return result;
}

LasResult export_las_to_file(const std::string& path, const std::string& las_path,
                             lib::FileSystem& fs, const LasOptions& options) {
  lib::ExportTarget target(las_path, fs);
  refuse_recording_target(path, target, fs);
  LasResult result =
      export_las_file(path, fs, options, [&](std::string_view piece) { target.write(piece); });
  target.commit();
  return result;
}

ProgressSteps::ProgressSteps(std::size_t total, int step_percent)
    : total_(total), step_(std::clamp(step_percent, 1, 100)) {}

std::optional<int> ProgressSteps::advance(std::size_t done) {
  if (total_ == 0) return std::nullopt;
  const auto percent = static_cast<int>(std::min<std::size_t>(done, total_) * 100 / total_);
  const int step = percent / step_ * step_;
  if (step <= told_) return std::nullopt;
  told_ = step;
  return step;
}

}  // namespace rtf
