#include "lib/text_grid.h"

#include <algorithm>
#include <utility>

#include "lib/str_utils.h"

namespace lib {

namespace {
const std::string kEmpty;
const std::vector<std::string> kNoTitles;
}  // namespace

TextGrid::TextGrid(std::vector<std::string> titles) {
  rows_.push_back(std::move(titles));
}

const std::vector<std::string>& TextGrid::titles() const {
  return rows_.empty() ? kNoTitles : rows_.front();
}

const std::string& TextGrid::cell(std::size_t row, std::size_t col) const {
  if (row >= rows_.size() || col >= rows_[row].size()) return kEmpty;
  return rows_[row][col];
}

void TextGrid::set_cell(std::size_t row, std::size_t col, std::string text) {
  if (row >= rows_.size()) rows_.resize(row + 1);
  std::vector<std::string>& cells = rows_[row];
  if (col >= cells.size()) cells.resize(std::max(col + 1, col_count()));
  cells[col] = std::move(text);
}

void TextGrid::set_data_row_count(std::size_t data_rows) {
  const std::size_t width = col_count();
  rows_.resize(data_rows + 1);
  for (auto& cells : rows_) {
    if (cells.size() < width) cells.resize(width);
  }
}

std::vector<std::string> TextGrid::row(std::size_t row) const {
  return row < rows_.size() ? rows_[row] : std::vector<std::string>{};
}

bool TextGrid::row_is_blank(std::size_t row) const {
  if (row >= rows_.size()) return true;
  return std::all_of(rows_[row].begin(), rows_[row].end(),
                     [](const std::string& c) { return trim(c).empty(); });
}

}  // namespace lib
