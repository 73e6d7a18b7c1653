// The data side of a grid editor: a table of text cells whose row 0 holds the column
// titles. Settings lists (thresholds, servers...) fill one to be shown and read the edited
// cells back; the widget that displays it is the host's business.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace lib {

class TextGrid {
 public:
  TextGrid() = default;
  // A grid with the title row only.
  explicit TextGrid(std::vector<std::string> titles);

  // Rows including the title row.
  std::size_t row_count() const { return rows_.size(); }
  // The number of titles.
  std::size_t col_count() const { return rows_.empty() ? 0 : rows_.front().size(); }
  const std::vector<std::string>& titles() const;

  // The text of a cell; "" for a cell outside the grid, so a reader never has to check.
  const std::string& cell(std::size_t row, std::size_t col) const;
  // Writes a cell, adding rows and columns as needed (new cells are empty).
  void set_cell(std::size_t row, std::size_t col, std::string text);
  // Keeps the title row and `data_rows` rows after it (added empty or cut off).
  void set_data_row_count(std::size_t data_rows);
  // The cells of one row; empty for a row outside the grid.
  std::vector<std::string> row(std::size_t row) const;
  // True when every cell of the row is empty or blank (or the row does not exist).
  bool row_is_blank(std::size_t row) const;

 private:
  std::vector<std::vector<std::string>> rows_;
};

}  // namespace lib
