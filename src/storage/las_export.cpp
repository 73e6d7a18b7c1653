#include "storage/las_export.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <set>

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

LasResult export_las(const RecordingContents& contents, const LasOptions& options) {
  LasResult result;
  // The curves: every parameter met, in the order first met, or the requested ones.
  struct Curve {
    std::string identifier;  // lower case
    const RecordedParam* param = nullptr;
  };
  std::vector<Curve> curves;
  std::map<std::string, std::size_t> index_of;
  for (const ParamList& list : contents.param_lists) {
    for (const RecordedParam& p : *list) {
      const std::string id = lib::to_lower(p.identifier);
      if (index_of.count(id)) continue;
      index_of[id] = curves.size();
      curves.push_back({id, &p});
    }
  }
  if (!options.params.empty()) {
    std::vector<Curve> chosen;
    for (const std::string& want : options.params) {
      const auto it = index_of.find(lib::to_lower(want));
      if (it == index_of.end()) {
        result.unknown_params.push_back(want);
      } else {
        chosen.push_back(curves[it->second]);
      }
    }
    curves = std::move(chosen);
    index_of.clear();
    for (std::size_t i = 0; i < curves.size(); ++i) index_of[curves[i].identifier] = i;
  }

  // Mnemonics: unique, the later of two equal ones numbered.
  std::vector<std::string> mnemonics;
  std::set<std::string> used = {options.by_time ? las::kTimeIndex : las::kDepthIndex,
                                las::kBitDepth, las::kThirdDepth, las::kOperation};
  for (const Curve& c : curves) {
    std::string m = las_mnemonic(c.identifier);
    for (int n = 2; used.count(m); ++n) m = las_mnemonic(c.identifier) + "_" + std::to_string(n);
    used.insert(m);
    mnemonics.push_back(m);
  }

  // The index span.
  auto index_value = [&](const RecordedLine& l) {
    return options.by_time ? static_cast<double>(l.line.time)
                           : static_cast<double>(l.line.first_depth);
  };
  double start = las::kNullValue, stop = las::kNullValue;
  if (!contents.lines.empty()) {
    start = index_value(contents.lines.front());
    stop = index_value(contents.lines.back());
  }
  // The run header: the first text with a well name.
  const RecordedText* header = nullptr;
  for (const RecordedText& t : contents.texts) {
    if (!t.get("скважина").empty() || !t.get("номер_рейса").empty()) {
      header = &t;
      break;
    }
  }
  // A value of the header: readers end the value at the first colon, so it holds none.
  auto head = [&](const char* key) {
    std::string v = header ? transliterate(header->get(key)) : "";
    std::replace(v.begin(), v.end(), ':', ' ');
    return v;
  };

  std::string& out = result.text;
  const char* index_mnemonic = options.by_time ? las::kTimeIndex : las::kDepthIndex;
  const char* index_unit = options.by_time ? "S" : "M";
  out += "~Version Information\n";
  out += las_line("VERS", "", las::kVersion, "CWLS LOG ASCII STANDARD - VERSION 2.0");
  out += las_line("WRAP", "", "NO", "ONE LINE PER DEPTH STEP");
  out += "~Well Information\n";
  out += las_line("STRT", index_unit, number(start), "START");
  out += las_line("STOP", index_unit, number(stop), "STOP");
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
                  options.by_time ? "Time, seconds since 01.01.1970 local" : "Depth");
  out += las_line(las::kBitDepth, "M", "", "Bit depth");
  out += las_line(las::kThirdDepth, "M", "",
                  options.by_time ? "Lag depth" : "Third depth of the line");
  out += las_line(las::kOperation, "", "", "Operation code");
  for (std::size_t i = 0; i < curves.size(); ++i) {
    const RecordedParam& p = *curves[i].param;
    std::string unit;
    // A unit ends at the first space, and a trailing period ("атм.") would read as part of
    // the next field.
    for (char c : transliterate(p.unit)) {
      if (c != ' ' && c != ':') unit.push_back(c);
    }
    while (!unit.empty() && unit.back() == '.') unit.pop_back();
    std::string descr = transliterate(p.full_name);
    std::replace(descr.begin(), descr.end(), ':', ' ');
    out += las_line(mnemonics[i], unit, "", descr + " (" + transliterate(p.identifier) + ")");
  }
  out += "~A";
  out += fmt::format(" {}", index_mnemonic);
  out += fmt::format(" {} {} {}", las::kBitDepth, las::kThirdDepth, las::kOperation);
  for (const std::string& m : mnemonics) out += " " + m;
  out += "\n";

  std::vector<int> column_of;  // per position of the line's parameter list
  const std::vector<RecordedParam>* mapped = nullptr;
  std::vector<double> row(curves.size());
  std::size_t done = 0;
  for (const RecordedLine& l : contents.lines) {
    if (mapped != l.params.get()) {
      mapped = l.params.get();
      column_of.clear();
      for (const RecordedParam& p : *mapped) {
        const auto it = index_of.find(lib::to_lower(p.identifier));
        column_of.push_back(it == index_of.end() ? -1 : static_cast<int>(it->second));
      }
    }
    std::fill(row.begin(), row.end(), las::kNullValue);
    for (std::size_t i = 0; i < l.line.values.size(); ++i) {
      if (column_of[i] >= 0) row[static_cast<std::size_t>(column_of[i])] = l.line.values[i];
    }
    out += number(index_value(l));
    out += ' ';
    out += number(l.line.bit_depth);
    out += ' ';
    out += number(l.line.third_depth);
    out += ' ';
    out += std::to_string(l.line.operation);
    for (double v : row) {
      out += ' ';
      out +=
          v == las::kNullValue ? std::string(las::kNull) : fmt::format("{}", static_cast<float>(v));
    }
    out += '\n';
    if (options.progress && ++done % options.progress_every == 0) {
      options.progress(done, contents.lines.size());
    }
  }
  return result;
}

}  // namespace rtf
