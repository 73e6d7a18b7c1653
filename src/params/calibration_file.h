// Reading and writing the calibration text file of one parameter row.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "params/unit_calibr_point.h"

namespace params {

enum class CalibrLoadStatus {
  kLoaded,         // the row's points were replaced
  kCannotRead,     // the file is missing or unreadable
  kNotCalibrFile,  // the file has no "param_name=" line
  kOtherParam,     // the file belongs to another identifier
  kBadPoint,       // a point is not a finite number; the row keeps its points
  kUnusable,       // the points cannot convert (calibration_check.h); the row keeps its points
};

struct CalibrLoadResult {
  CalibrLoadStatus status = CalibrLoadStatus::kCannotRead;
  int skipped_lines = 0;  // point lines that held no pair of numbers
  int bad_line = 0;       // kBadPoint: the first line (from 1) whose point is NaN or infinite
  std::string fault;      // kUnusable: why the points cannot convert
};

namespace calibration_file {

// The whole file for a row, UTF-8, lines ended by "\n".
std::string format(std::string_view identifier, const CalibrPoints& points);

struct Parsed {
  std::string identifier;  // UTF-8
  CalibrPoints points;     // in file order
  int skipped_lines = 0;
  int first_bad_line = 0;  // the first line (from 1) holding a NaN or infinite point; 0: none
};

// Reads a file's bytes; nullopt when it has no "param_name=" line where one belongs.
// Point lines are read by their columns; a hand-edited line whose numbers do not sit in
// the columns is read as two blank-separated numbers; blank lines are passed over and
// other lines counted as skipped. A point that is NaN or infinite is noted in
// first_bad_line and not taken.
std::optional<Parsed> parse(std::string_view bytes);

}  // namespace calibration_file
}  // namespace params
