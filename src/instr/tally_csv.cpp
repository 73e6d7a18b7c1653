#include "instr/tally_csv.h"

#include <cerrno>

#include "instr/csv_text.h"
#include "instr/tally_csv_format.h"
#include "lib/ident.h"

namespace instr {
namespace {

using namespace tally_csv;

std::string line_problem(int line, const std::string& reason) {
  return "line " + std::to_string(line) + ": " + reason;
}

// One element row; the reason in `why` when it cannot be taken.
bool parse_elem_row(const std::vector<std::string>& f, Elem& e, std::string& why) {
  if (static_cast<int>(f.size()) < kFirstLengthField) {
    why = "expected at least " + std::to_string(kFirstLengthField) + " fields, found " +
          std::to_string(f.size());
    return false;
  }
  auto type = parse_elem_type(f[kTypeField]);
  if (!type) {
    why = "unknown element type \"" + f[kTypeField] + "\"";
    return false;
  }
  e.type = *type;
  auto count = csv::parse_integer(f[kCountField]);
  if (!count || *count < 0 || *count > Elem::kMaxCount) {
    why = "count \"" + f[kCountField] + "\" is not a whole number in 0.." +
          std::to_string(Elem::kMaxCount);
    return false;
  }
  e.count = static_cast<std::int32_t>(*count);
  struct NumberField {
    int index;
    float* target;
    const char* what;
  } numbers[] = {{kDiameterField, &e.outer_diameter, "outer diameter"},
                 {kWallField, &e.wall_thickness, "wall thickness"},
                 {kWeightField, &e.weight_per_metre, "weight of one metre"}};
  for (const auto& nf : numbers) {
    auto v = csv::parse_number(f[nf.index]);
    if (!v) {
      why = std::string(nf.what) + " \"" + f[nf.index] + "\" is not a number";
      return false;
    }
    *nf.target = static_cast<float>(*v);
  }
  // Spreadsheets pad short rows with empty cells: trailing empty fields are no pipes.
  std::size_t last = f.size();
  while (last > static_cast<std::size_t>(kFirstLengthField) && f[last - 1].empty()) --last;
  for (std::size_t i = kFirstLengthField; i < last; ++i) {
    auto v = csv::parse_number(f[i]);
    if (!v) {
      why = "pipe length \"" + f[i] + "\" is not a number";
      return false;
    }
    e.pipe_lengths.push_back(static_cast<float>(*v));
  }
  if (auto bad = e.check()) {
    why = *bad;
    return false;
  }
  return true;
}

}  // namespace

TallyCsvResult parse_tally_csv(std::string_view bytes) {
  TallyCsvResult result;
  const std::string text = csv::decode_file_text(bytes);
  char sep = 0;
  bool svecha_seen = false;
  for (const csv::Line& line : csv::split_lines(text)) {
    if (csv::is_skipped_line(line.text)) continue;
    if (sep == 0) sep = csv::detect_separator(line.text);
    const std::vector<std::string> fields = csv::split_fields(line.text, sep);
    if (csv::all_fields_empty(fields)) continue;
    if (lib::ident_equal(fields[0], kTypeColumn)) continue;  // the header
    if (lib::ident_equal(fields[0], kSvechaSizeKey)) {
      auto n = fields.size() > 1 ? csv::parse_integer(fields[1]) : std::nullopt;
      if (!n || *n < 1 || *n > Items::kMaxSvechaSize) {
        result.problems.push_back(
            line_problem(line.number, "pipes per stand must be a whole number in 1.." +
                                          std::to_string(Items::kMaxSvechaSize)));
      } else if (svecha_seen) {
        result.problems.push_back(line_problem(line.number, "pipes per stand given twice"));
      } else {
        result.svecha_size = static_cast<int>(*n);
        svecha_seen = true;
      }
      continue;
    }
    if (result.elems.size() >= Items::kMaxElems) {
      result.problems.push_back(
          line_problem(line.number, "more than " + std::to_string(Items::kMaxElems) + " elements"));
      break;
    }
    Elem e;
    std::string why;
    if (parse_elem_row(fields, e, why)) {
      result.elems.push_back(std::move(e));
    } else {
      result.problems.push_back(line_problem(line.number, why));
    }
  }
  return result;
}

std::string tally_to_csv(const Items& items) {
  const std::string eol = "\r\n";
  std::string out = "\xEF\xBB\xBF";
  out += kSvechaSizeKey;
  out += kSeparator + std::to_string(items.get_svecha_size()) + eol;
  bool first = true;
  for (const char* column : kHeader) {
    if (!first) out += kSeparator;
    out += column;
    first = false;
  }
  out += eol;
  for (const Elem& e : items.elems()) {
    out += csv::quote_field(elem_type_name(e.type), kSeparator);
    out += kSeparator + std::to_string(e.count);
    out += kSeparator + csv::float_text(e.outer_diameter);
    out += kSeparator + csv::float_text(e.wall_thickness);
    out += kSeparator + csv::float_text(e.weight_per_metre);
    for (float l : e.pipe_lengths) out += kSeparator + csv::float_text(l);
    out += eol;
  }
  return out;
}

bool load_tally_csv(const std::string& path, Items& items, std::vector<std::string>& problems,
                    lib::FileSystem& fs) {
  problems.clear();
  auto bytes = lib::read_whole_file(path, fs, tally_csv::kMaxFileBytes);
  if (!bytes) {
    problems.push_back("cannot read " + path + ": " +
                       lib::read_failure_text(errno, tally_csv::kMaxFileBytes));
    return false;
  }
  TallyCsvResult parsed = parse_tally_csv(*bytes);
  if (!parsed.problems.empty()) {
    problems = std::move(parsed.problems);
    return false;
  }
  items.set_elems(std::move(parsed.elems));  // every element passed Elem::check already
  items.set_svecha_size(parsed.svecha_size);
  return true;
}

void save_tally_csv(const std::string& path, const Items& items, lib::FileSystem& fs) {
  lib::write_file_atomically(path, tally_to_csv(items), fs);
}

}  // namespace instr
