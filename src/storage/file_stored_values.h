// What the recorder accumulates between two lines of a file: per catalogue parameter the
// sum and count of the values fed since the last line (or the held value, by the
// parameter's store mode), and the value written in the last line; and the depth lines that
// wait for their mud to reach the surface before they become lag lines.
//
// Main thread only; nothing here is shared with the writer thread.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "lib/serial_list.h"
#include "storage/real_time_records.h"

namespace rtf {

// Store modes, the row's attribute byte.
inline constexpr std::uint8_t kStoreMean = 0;
inline constexpr std::uint8_t kStoreLast = 1;
inline constexpr std::uint8_t kStoreMax = 2;

// The 80-bit extended sum in the state: sign and 15-bit biased exponent, then the 64-bit
// significand with its explicit integer bit, little-endian (the x87 layout), whatever the
// platform's long double is, so a state written on one machine reads on another.
inline constexpr std::size_t kExtendedBytes = 10;
void write_extended(lib::io::OutputStream& out, long double value);
long double read_extended(lib::io::InputStream& in);

struct FileStoredValue {
  long double sum = 0;
  std::int32_t count = 0;
  double last = 0;

  // The value of the next line: the mean (or held value) when anything was fed since the
  // last line, else the last line's value.
  double calc() const { return count != 0 ? static_cast<double>(sum / count) : last; }
  void clear() { *this = {}; }
  // Starts the next line: sum and count 0, the last line's value kept. The sum is zeroed as
  // bytes (all zero bits are +0 in every long double layout): a store through the x87 unit
  // costs several times more, for every catalogue parameter of every line.
  void restart() {
    std::memset(&sum, 0, sizeof sum);
    count = 0;
  }
  // Feeds one value by store mode; other modes leave the accumulator untouched. Inline: the
  // tick feeds every row into three sets.
  void feed(double v, std::uint8_t mode) {
    switch (mode) {
      case kStoreMean:
        sum += v;
        ++count;
        break;
      case kStoreLast:
        sum = v;
        count = 1;
        break;
      case kStoreMax:
        if (sum < v) sum = v;
        count = 1;
        break;
      default:
        break;
    }
  }
  void serialize(lib::serial_list& list);
};

class FileStoredValues {
 public:
  std::vector<FileStoredValue>& items() { return items_; }
  const std::vector<FileStoredValue>& items() const { return items_; }
  bool empty() const { return items_.empty(); }
  void resize(std::size_t n) { items_.resize(n); }
  // Clears every element, keeping the size.
  void clear();
  // Fills `line` with one value per parameter of `catalogue_index` (-1: a parameter the
  // catalogue lacks, written as 0), stamps it and restarts every element (sum and count 0,
  // last kept). False, leaving the line alone, when nothing was ever fed (an empty set).
  // Throws std::out_of_range for a catalogue index beyond the set.
  bool calculate_save_values(ValuesLine& line, const std::vector<int>& catalogue_index,
                             float first_depth, float bit_depth, float third_depth,
                             std::uint8_t operation, std::uint32_t time, std::uint8_t hundredths);
  void serialize(lib::serial_list& list);

 private:
  std::vector<FileStoredValue> items_;
};

// A drilled depth's line on its way up: its values wait until `remaining` has been
// advanced to 0 or below (the mud has reached the surface) and then `delay` more calls.
struct LagFileStoredLine {
  double depth = 0;
  double remaining = 0;
  std::int32_t delay = 0;
  std::vector<double> values;  // one per parameter
  ParamList params;            // the table's parameters when the line was made
  bool arrived = false;
  void serialize(lib::serial_list& list);
};

}  // namespace rtf
