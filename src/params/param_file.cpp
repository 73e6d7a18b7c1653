#include "params/param_file.h"

#include <cmath>
#include <cstdint>
#include <utility>

#include "params/calibration_check.h"

namespace params::param_file {
namespace {

// A zero byte ends a text, so a text cannot hold one: it is cut there.
std::string encode_text(const lib::StrEncConverter& converter, std::string_view utf8) {
  return converter.from_utf8(utf8.substr(0, utf8.find('\0')));
}

void write_raw_text(lib::io::OutputStream& out, std::string bytes) {
  bytes.push_back('\0');
  lib::io::write_bytes(out, bytes);
}

void write_text(lib::io::OutputStream& out, const lib::StrEncConverter& converter,
                std::string_view utf8) {
  write_raw_text(out, encode_text(converter, utf8));
}

// The raw bytes of a text, without its zero byte.
std::string read_raw_text(lib::io::InputStream& in) {
  std::string bytes;
  for (;;) {
    if (in.at_end()) throw lib::io::StreamError("text not ended before the end of the file");
    char c = 0;
    in.read(&c, 1);
    if (c == '\0') return bytes;
    bytes.push_back(c);
  }
}

std::string offset_text(std::uint64_t offset) {
  return " at offset " + std::to_string(offset);
}

// How a problem names a row: its number in the table, counted from 1, and identifier.
std::string row_label(const std::vector<Param>& rows, std::size_t index) {
  return "row " + std::to_string(index + 1) + " '" + rows[index].identifier + "'";
}

std::string number_text(double v) {
  if (std::isnan(v)) return "NaN";
  return v > 0 ? "+infinity" : "-infinity";
}

// A point that is not a finite number would make every conversion of the row NaN or
// infinite; such a point is damage, not a calibration.
void check_points(const CalibrPoints& points, const std::string& row, std::uint64_t start,
                  ReadResult& result) {
  for (std::size_t k = 0; k < points.size(); ++k) {
    const UnitCalibrPoint& p = points[k];
    for (const auto& [name, v] : {std::pair{"x", p.x}, std::pair{"y", p.y}}) {
      if (std::isfinite(v)) continue;
      result.problems.push_back(row + ": calibration point " + std::to_string(k + 1) + " of " +
                                std::to_string(points.size()) + " has " + name + " = " +
                                number_text(v) + offset_text(start) +
                                "; calibration points must be finite numbers");
    }
  }
}

// Reads the calibration part into the rows; false when the part could not be read to its
// end, so nothing after it can be trusted. record_rows maps each row record of the file to
// its row, or -1 for a record dropped for having no identifier.
bool read_calibration(lib::io::InputStream& in, int version, const std::vector<int>& record_rows,
                      std::vector<Param>& rows, ReadResult& result) {
  int dropped = 0;
  std::vector<bool> seen(rows.size(), false);
  for (;;) {
    if (in.at_end()) {
      // Before version 2 the part simply runs to the end of the file.
      if (version >= kFirstDbSetVersion) {
        result.problems.push_back("the calibration part is cut short" + offset_text(in.position()));
        return false;
      }
      break;
    }
    const std::uint64_t start = in.position();
    if (in.remaining() < 4) {
      result.problems.push_back("calibration entry cut short" + offset_text(start));
      return false;
    }
    const auto index = lib::io::read_binary<std::int32_t>(in);
    if (version >= kFirstDbSetVersion && index == kEndOfCalibration) break;
    if (in.remaining() < 4) {
      result.problems.push_back("calibration entry cut short" + offset_text(start));
      return false;
    }
    const auto count = lib::io::read_binary<std::int32_t>(in);
    if (index == kOldEndOfCalibration || count == kOldEndOfCalibration) break;
    if (count < 0 || static_cast<std::uint64_t>(count) * kPointBytes > in.remaining()) {
      result.problems.push_back("calibration entry with " + std::to_string(count) +
                                " points does not fit the file" + offset_text(start));
      return false;
    }
    CalibrPoints points(static_cast<std::size_t>(count));
    for (UnitCalibrPoint& p : points) {
      lib::io::read_binary(in, p.x);
      lib::io::read_binary(in, p.y);
    }
    // Every entry belongs to a row record of this very file; an index past them means the
    // part is not what its writer wrote, and pairing its points with some other row would
    // give that row a conversion nobody made.
    if (index < 0 || static_cast<std::size_t>(index) >= record_rows.size()) {
      result.problems.push_back("calibration entry" + offset_text(start) + " names row record " +
                                std::to_string(index) + ", but the file has " +
                                std::to_string(record_rows.size()) + " row records");
      continue;
    }
    const int row = record_rows[static_cast<std::size_t>(index)];
    if (row < 0) {
      ++dropped;
      continue;
    }
    const auto r = static_cast<std::size_t>(row);
    if (seen[r]) {
      result.problems.push_back(row_label(rows, r) + ": a second calibration entry" +
                                offset_text(start));
      continue;
    }
    seen[r] = true;
    const std::size_t problems = result.problems.size();
    check_points(points, row_label(rows, r), start, result);
    // Points that are numbers but cannot convert are no damage of the file: the row keeps
    // them, to be corrected, and shows as not valid meanwhile.
    if (result.problems.size() == problems) {
      if (const auto fault = calibration_fault(points)) {
        result.warnings.push_back(row_label(rows, r) + ": the calibration is refused: " + *fault +
                                  "; the row shows not valid until its points are corrected");
      }
    }
    rows[r].points = std::move(points);
  }
  if (dropped > 0) {
    result.warnings.push_back(std::to_string(dropped) +
                              " calibration entries belong to rows without identifier; dropped");
  }
  return true;
}

void read_db_params(lib::io::InputStream& in, const lib::StrEncConverter& converter,
                    ReadResult& result) {
  const std::uint64_t start = in.position();
  if (in.remaining() < 4) {
    result.problems.push_back("the database set is missing" + offset_text(start));
    return;
  }
  const auto count = lib::io::read_binary<std::int32_t>(in);
  // Each identifier takes at least its zero byte.
  if (count < 0 || static_cast<std::uint64_t>(count) > in.remaining()) {
    result.problems.push_back("the database set announces " + std::to_string(count) +
                              " identifiers, which do not fit the file" + offset_text(start));
    return;
  }
  for (std::int32_t i = 0; i < count; ++i) {
    try {
      result.db_params.insert(converter.to_utf8(read_raw_text(in)));
    } catch (const lib::io::StreamError&) {
      result.problems.push_back("the database set is cut short after " + std::to_string(i) +
                                " identifiers");
      return;
    }
  }
}

}  // namespace

void write_row(lib::io::OutputStream& out, const lib::StrEncConverter& converter, const Param& row,
               int version) {
  // A row's first text equal to a mark would be read back as that mark and lose the rest
  // of the table, so such a name gets a trailing blank.
  std::string first = encode_text(converter, row.full_name);
  if (first == kEndOfRows || first == kHeaderMark) first.push_back(' ');
  write_raw_text(out, std::move(first));
  write_text(out, converter, row.short_name);
  write_text(out, converter, row.unit);
  write_text(out, converter, row.identifier);
  lib::io::write_binary(out, row.channel.channel);
  lib::io::write_binary(out, row.range);
  lib::io::write_binary(out, row.zero);
  lib::io::write_binary(out, row.scale_min);
  lib::io::write_binary(out, row.scale_max);
  lib::io::write_binary(out, row.averaging);
  lib::io::write_binary(out, row.attribute);
  if (version >= kFirstModuleVersion) lib::io::write_binary(out, row.channel.module);
  if (version >= kFirstChannelTypeVersion) lib::io::write_binary(out, row.channel.type);
}

RowRecord read_record(lib::io::InputStream& in, lib::StrEncConverter& converter, int& version,
                      Param& row) {
  if (in.at_end()) return RowRecord::kEndOfFile;
  std::string first = read_raw_text(in);
  if (first == kEndOfRows) return RowRecord::kEndOfRows;
  if (first == kHeaderMark) {
    lib::io::read_binary(in, version);
    if (version >= kFirstUtf8Version) converter.set_encoding(kCurrentEncoding);
    return RowRecord::kHeader;
  }
  Param read;
  read.full_name = converter.to_utf8(first);
  read.short_name = converter.to_utf8(read_raw_text(in));
  read.unit = converter.to_utf8(read_raw_text(in));
  read.identifier = converter.to_utf8(read_raw_text(in));
  lib::io::read_binary(in, read.channel.channel);
  lib::io::read_binary(in, read.range);
  lib::io::read_binary(in, read.zero);
  lib::io::read_binary(in, read.scale_min);
  lib::io::read_binary(in, read.scale_max);
  lib::io::read_binary(in, read.averaging);
  lib::io::read_binary(in, read.attribute);
  if (version >= kFirstModuleVersion) lib::io::read_binary(in, read.channel.module);
  if (version >= kFirstChannelTypeVersion) lib::io::read_binary(in, read.channel.type);
  row = std::move(read);
  return RowRecord::kRow;
}

std::string write(const std::vector<Param>& rows, const std::set<std::string>& db_params) {
  lib::io::BinaryMemoryOutputStream out;
  lib::StrEncConverter converter(kLegacyEncoding);
  write_text(out, converter, kHeaderMark);
  lib::io::write_binary(out, kCurrentVersion);
  converter.set_encoding(kCurrentEncoding);
  for (const Param& row : rows) write_row(out, converter, row, kCurrentVersion);
  write_text(out, converter, kEndOfRows);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Param& row = rows[i];
    // Rows without a device channel keep no calibration in the file.
    if (!row.channel.has_channel()) continue;
    lib::io::write_binary(out, static_cast<std::int32_t>(i));
    lib::io::write_binary(out, static_cast<std::int32_t>(row.points.size()));
    for (const UnitCalibrPoint& p : row.points) {
      lib::io::write_binary(out, p.x);
      lib::io::write_binary(out, p.y);
    }
  }
  lib::io::write_binary(out, kEndOfCalibration);
  lib::io::write_binary(out, static_cast<std::int32_t>(db_params.size()));
  for (const std::string& id : db_params) write_text(out, converter, id);
  return out.release();
}

ReadResult read(std::string_view bytes, std::size_t max_rows) {
  ReadResult result;
  lib::io::BinaryMemoryInputStream in(bytes);
  lib::StrEncConverter converter(kLegacyEncoding);
  int version = 0;
  // Row records of the file, in order, and the row each became (-1: dropped), so that
  // calibration entries find their row even when rows without identifier were dropped.
  std::vector<int> record_rows;
  bool rows_whole = false;

  try {
    for (;;) {
      const std::uint64_t start = in.position();
      Param row;
      const RowRecord record = read_record(in, converter, version, row);
      if (record == RowRecord::kEndOfRows) {
        rows_whole = true;
        break;
      }
      if (record == RowRecord::kEndOfFile) {
        result.problems.push_back(bytes.empty() ? std::string("the file is empty (0 bytes)")
                                                : "the file ends before the end of the rows" +
                                                      offset_text(start));
        break;
      }
      if (record == RowRecord::kHeader) {
        if (version < 0 || version > kCurrentVersion) {
          result.problems.push_back("file version " + std::to_string(version) +
                                    " is not one this program reads");
          result.refused = true;
          return result;
        }
        continue;
      }
      if (row.identifier.empty()) {
        record_rows.push_back(-1);
        continue;
      }
      if (result.rows.size() >= max_rows) {
        result.problems.push_back("more than " + std::to_string(max_rows) +
                                  " rows; the station has no slot for row " +
                                  std::to_string(max_rows + 1) + offset_text(start));
        break;
      }
      // Range and zero make the conversion of a row without points.
      for (const auto& [name, v] : {std::pair{"range", row.range}, std::pair{"zero", row.zero}}) {
        if (std::isfinite(v)) continue;
        result.problems.push_back("row " + std::to_string(result.rows.size() + 1) + " '" +
                                  row.identifier + "'" + offset_text(start) + ": " + name + " is " +
                                  number_text(v) + ", not a number");
      }
      record_rows.push_back(static_cast<int>(result.rows.size()));
      result.rows.push_back(std::move(row));
    }
  } catch (const lib::io::StreamError& e) {
    result.problems.push_back("row record " + std::to_string(record_rows.size() + 1) +
                              " is cut short: " + e.what());
  }
  result.version = version;
  result.encoding = converter.encoding();
  if (!rows_whole) return result;

  if (!read_calibration(in, version, record_rows, result.rows, result)) return result;
  if (version >= kFirstDbSetVersion) read_db_params(in, converter, result);
  return result;
}

}  // namespace params::param_file
