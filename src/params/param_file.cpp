#include "params/param_file.h"

#include <cstdint>

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

// Reads the calibration part into the rows; false when it was damaged, so nothing after
// it can be trusted. record_rows maps each row record of the file to its row, or -1.
bool read_calibration(lib::io::InputStream& in, int version, const std::vector<int>& record_rows,
                      std::vector<Param>& rows, ReadResult& result) {
  int dropped = 0;
  bool ok = true;
  for (;;) {
    if (in.at_end()) {
      // Before version 2 the part simply runs to the end of the file.
      if (version >= kFirstDbSetVersion) {
        result.problems.push_back("the calibration part is cut short");
        ok = false;
      }
      break;
    }
    const std::uint64_t start = in.position();
    if (in.remaining() < 4) {
      result.problems.push_back("calibration entry cut short" + offset_text(start));
      ok = false;
      break;
    }
    const auto index = lib::io::read_binary<std::int32_t>(in);
    if (version >= kFirstDbSetVersion && index == kEndOfCalibration) break;
    if (in.remaining() < 4) {
      result.problems.push_back("calibration entry cut short" + offset_text(start));
      ok = false;
      break;
    }
    const auto count = lib::io::read_binary<std::int32_t>(in);
    if (index == kOldEndOfCalibration || count == kOldEndOfCalibration) break;
    if (count < 0 || static_cast<std::uint64_t>(count) * kPointBytes > in.remaining()) {
      result.problems.push_back("calibration entry with " + std::to_string(count) +
                                " points does not fit the file" + offset_text(start));
      ok = false;
      break;
    }
    CalibrPoints points(static_cast<std::size_t>(count));
    for (UnitCalibrPoint& p : points) {
      lib::io::read_binary(in, p.x);
      lib::io::read_binary(in, p.y);
    }
    const bool known = index >= 0 && static_cast<std::size_t>(index) < record_rows.size() &&
                       record_rows[static_cast<std::size_t>(index)] >= 0;
    if (known) {
      rows[static_cast<std::size_t>(record_rows[static_cast<std::size_t>(index)])].points =
          std::move(points);
    } else {
      ++dropped;
    }
  }
  if (dropped > 0) {
    result.problems.push_back(std::to_string(dropped) +
                              " calibration entries name no row of the table; dropped");
  }
  return ok;
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
        result.problems.push_back("the file ends before the end of the rows");
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
                                  " rows; the rest is ignored" + offset_text(start));
        break;
      }
      record_rows.push_back(static_cast<int>(result.rows.size()));
      result.rows.push_back(std::move(row));
    }
  } catch (const lib::io::StreamError& e) {
    result.problems.push_back(std::string("a row is cut short: ") + e.what());
  }
  result.version = version;
  result.encoding = converter.encoding();
  if (!rows_whole) return result;

  if (!read_calibration(in, version, record_rows, result.rows, result)) return result;
  if (version >= kFirstDbSetVersion) read_db_params(in, converter, result);
  return result;
}

}  // namespace params::param_file
