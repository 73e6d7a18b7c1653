// A table row found by its identifier and kept: looked up again only when the table's rows
// were replaced (loaded, resized) or the kept row no longer carries the identifier, since a
// search of a table of 512 rows every tick costs more than what the tick then does with the
// row. A row the table lacks stays lacking until its rows are replaced. Not thread-safe: the
// station's tick owns it.
#pragma once

#include <cstddef>
#include <string>
#include <utility>

namespace params {
class ParTabl;
}

namespace rig {

class RowByName {
 public:
  explicit RowByName(std::string identifier) : identifier_(std::move(identifier)) {}
  // The row in `table`, -1 when it has none.
  int find(const params::ParTabl& table);

 private:
  std::string identifier_;
  const void* cached_rows_ = nullptr;
  std::size_t cached_size_ = 0;
  int row_ = -1;
  std::string found_;  // the identifier the row had when found
};

}  // namespace rig
