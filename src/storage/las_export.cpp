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
#include <map>
#include <set>

#include "lib/binary_stream.h"
#include "lib/date_time.h"
#include "lib/ident.h"
#include "storage/las_format.h"

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

std::string number(double v) {
  if (!std::isfinite(v)) return las::kNull;
  return fmt::format("{}", v);
}

using Buffer = fmt::memory_buffer;

void put(Buffer& b, std::string_view s) {
  b.append(s.data(), s.data() + s.size());
}

// A number of a data line; not a number or infinite: the null value.
template <class T>
void put_number(Buffer& b, T v) {
  if (!std::isfinite(v)) {
    put(b, las::kNull);
  } else {
    // Compiled once: a format string parsed per value would cost a third of the export.
    fmt::format_to(std::back_inserter(b), FMT_COMPILE("{}"), v);
  }
}

// Everything the export needs before its first data line, then the lines themselves.
class LasBuilder {
 public:
  explicit LasBuilder(const LasOptions& options) : options_(options) {}

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
    const double v = index_value(l);
    if (lines_ == 0) start_ = v;
    stop_ = v;
    ++lines_;
  }
  std::size_t lines() const { return lines_; }

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
    std::set<std::string> used = {options_.by_time ? las::kTimeIndex : las::kDepthIndex,
                                  las::kBitDepth, las::kThirdDepth, las::kOperation};
    for (const Curve& c : curves_) {
      std::string m = las_mnemonic(c.identifier);
      for (int n = 2; used.count(m); ++n) m = las_mnemonic(c.identifier) + "_" + std::to_string(n);
      used.insert(m);
      mnemonics_.push_back(m);
    }
    return unknown;
  }

  void write_header(Buffer& b) const;

  // One data line.
  void write_line(Buffer& b, const LineView& l) {
    if (mapped_ != *l.params) {
      // The position in the line of each curve's value, found again only when the list
      // changes: a line costs no look-up. The list is held, not just its address: a reader
      // that frees a list may hand out the next one at the same address.
      mapped_ = *l.params;
      position_of_.assign(curves_.size(), -1);
      // A list holding the same identifier twice gives the curve the later value.
      for (std::size_t i = 0; i < mapped_->size(); ++i) {
        const auto it = index_of_.find(lib::to_lower((*mapped_)[i].identifier));
        if (it != index_of_.end()) position_of_[it->second] = static_cast<int>(i);
      }
    }
    put_number(b, index_value(l));
    b.push_back(' ');
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
  }

 private:
  struct Curve {
    std::string identifier;  // lower case
    RecordedParam param;
  };
  double index_value(const LineView& l) const {
    return options_.by_time ? static_cast<double>(l.time) : static_cast<double>(l.first_depth);
  }

  const LasOptions& options_;
  std::vector<ParamList> lists_;  // keeps the survey's lists alive
  std::vector<Curve> curves_;
  std::map<std::string, std::size_t> index_of_;
  std::vector<std::string> mnemonics_;
  std::optional<RecordedText> header_;
  double start_ = las::kNullValue, stop_ = las::kNullValue;
  std::size_t lines_ = 0;
  ParamList mapped_;
  std::vector<int> position_of_;  // per curve: its value's position in the line, or -1
};

}  // namespace

std::string transliterate(std::string_view utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const char32_t cp = next_code_point(utf8, i);
    if (cp < 0x80) {
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
  out += las_line("STRT", index_unit, number(start_), "START");
  out += las_line("STOP", index_unit, number(stop_), "STOP");
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
  out += "~A";
  out += fmt::format(" {}", index_mnemonic);
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
  if (!contents.lines.empty()) {
    builder.add_line(view_of(contents.lines.front()));
    builder.add_line(view_of(contents.lines.back()));
  }
  result.unknown_params = builder.choose_curves();
  Buffer b;
  builder.write_header(b);
  for (const RecordedLine& l : contents.lines) {
    builder.write_line(b, view_of(l));
    ++result.lines;
    if (options.progress && options.progress_every != 0 &&
        result.lines % options.progress_every == 0) {
      options.progress(result.lines, contents.lines.size());
    }
  }
  result.text.assign(b.data(), b.size());
  return result;
}

LasResult export_las_file(const std::string& path, lib::FileSystem& fs, const LasOptions& options,
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
  const ScanTotals first = scan_recording_file(path, fs, survey);
  result.unknown_params = builder.choose_curves();
  const std::size_t total = builder.lines();

  // Second pass: the lines, up to where the first pass ended (a file still being written
  // may have grown since; what came after is not in the header's span).
  Buffer b;
  builder.write_header(b);
  class Rows final : public RecordingVisitor {
   public:
    Rows(LasBuilder& builder, Buffer& b, LasResult& r, const LasOptions& o, std::size_t total,
         const std::function<void(std::string_view)>& out)
        : builder_(builder), b_(b), r_(r), o_(o), total_(total), out_(out) {}
    void on_line(const LineView& l) override {
      if (r_.lines == total_) return;
      builder_.write_line(b_, l);
      if (b_.size() >= kLasFlushBytes) {
        out_(std::string_view(b_.data(), b_.size()));
        b_.clear();
      }
      ++r_.lines;
      if (o_.progress && o_.progress_every != 0 && r_.lines % o_.progress_every == 0) {
        o_.progress(r_.lines, total_);
      }
    }

   private:
    LasBuilder& builder_;
    Buffer& b_;
    LasResult& r_;
    const LasOptions& o_;
    std::size_t total_;
    const std::function<void(std::string_view)>& out_;
  } rows(builder, b, result, options, total, out);
  scan_recording_file(path, fs, rows, kScanChunkBytes, first.bytes);
  if (b.size() != 0) out(std::string_view(b.data(), b.size()));
  return result;
}

LasResult export_las_to_file(const std::string& path, const std::string& las_path,
                             lib::FileSystem& fs, const LasOptions& options) {
  // The pid keeps two exports to the same file from sharing one temporary file.
  const std::string tmp = lib::atomic_temporary_prefix(las_path) + std::to_string(::getpid());
  const int fd = fs.open(tmp, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) {
    throw lib::io::StreamError("cannot create '" + tmp + "': " + lib::errno_text(errno));
  }
  LasResult result;
  try {
    result = export_las_file(path, fs, options, [&](std::string_view piece) {
      if (!lib::write_all(fs, fd, piece.data(), piece.size())) {
        throw lib::io::StreamError("cannot write '" + tmp + "': " + lib::errno_text(errno));
      }
    });
    if (fs.fsync(fd) != 0) {
      throw lib::io::StreamError("cannot flush '" + tmp + "': " + lib::errno_text(errno));
    }
  } catch (...) {
    fs.close(fd);
    fs.unlink(tmp);
    throw;
  }
  if (fs.close(fd) != 0) {
    const int err = errno;
    fs.unlink(tmp);
    throw lib::io::StreamError("cannot close '" + tmp + "': " + lib::errno_text(err));
  }
  if (fs.rename(tmp, las_path) != 0) {
    const int err = errno;
    fs.unlink(tmp);
    throw lib::io::StreamError("cannot replace '" + las_path + "': " + lib::errno_text(err));
  }
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
