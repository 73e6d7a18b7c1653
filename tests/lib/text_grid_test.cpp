#include "lib/text_grid.h"

#include <gtest/gtest.h>

namespace {

TEST(TextGridTest, CellsOutsideTheGridReadEmpty) {
  const lib::TextGrid empty;
  EXPECT_EQ(empty.row_count(), 0u);
  EXPECT_EQ(empty.cell(5, 5), "");
  EXPECT_TRUE(empty.titles().empty());
  EXPECT_TRUE(empty.row_is_blank(3));

  lib::TextGrid g({"a", "b"});
  EXPECT_EQ(g.row_count(), 1u);
  EXPECT_EQ(g.cell(0, 1), "b");
  EXPECT_EQ(g.cell(0, 2), "");
  EXPECT_EQ(g.cell(1, 0), "");
}

TEST(TextGridTest, WritingGrowsAndRowCountKeepsTheTitles) {
  lib::TextGrid g({"a", "b", "c"});
  g.set_cell(3, 1, "x");
  EXPECT_EQ(g.row_count(), 4u);
  EXPECT_EQ(g.row(3).size(), 3u) << "a new row is as wide as the titles";
  EXPECT_TRUE(g.row_is_blank(2));
  EXPECT_FALSE(g.row_is_blank(3));
  g.set_cell(1, 0, "  ");
  EXPECT_TRUE(g.row_is_blank(1)) << "blanks only";

  g.set_data_row_count(1);
  EXPECT_EQ(g.row_count(), 2u);
  EXPECT_EQ(g.titles()[2], "c");
  EXPECT_EQ(g.cell(3, 1), "");
  g.set_data_row_count(0);
  EXPECT_EQ(g.row_count(), 1u);
  EXPECT_TRUE(g.row(7).empty());
}

}  // namespace
