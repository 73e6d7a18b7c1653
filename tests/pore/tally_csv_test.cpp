#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "instr/tally_csv.h"
#include "lib/str_enc.h"
#include "support/fakes.h"
#include "well_builders.h"

namespace {

using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;

using instr::ElemType;
using pore_tests::make_elem;

instr::Items two_elements() {
  instr::Items items;
  items.set_elems({make_elem(ElemType::kBit, 1, {0.35f}, 215.9f, 0),
                   make_elem(ElemType::kSvecha, 120, {12.1f, 11.95f, 12.5f}, 127, 9.19f, 29.1f)});
  items.set_svecha_size(3);
  return items;
}

// Decimal commas, padded empty cells, comments, CRLF, numbers as types, letter case, quoted
// cells, commas as separators and the 8-bit code page, as spreadsheets save them.
TEST(TallyCsvTest, ReadsWhatASpreadsheetSaves) {
  using Elems = std::vector<instr::Elem>;
  const struct {
    std::string text;
    Elems elems;
    int svecha_size;
  } cases[] = {
      {"ТИП;Количество;Д;Ст;Вес;Длины\r\n"
       "# КНБК\r\n"
       "долото;1;215,9;0;0;0,35;;;\r\n"
       "1;\"10\";127;9;29,1;12;12;12,5\r\n"
       "\r\n"
       "Трубок_в_свече;2\r\n"
       ";;;;;;\r\n",  // rows of bare separators below the data
       {make_elem(ElemType::kBit, 1, {0.35f}, 215.9f, 0),
        make_elem(ElemType::kSvecha, 10, {12, 12, 12.5f}, 127, 9, 29.1f)},
       2},
      {lib::utf8_to_cp1251("тип,количество\nСвеча,2,127,9,29.1,12,12\n"),
       {make_elem(ElemType::kSvecha, 2, {12, 12}, 127, 9, 29.1f)},
       instr::Items::kDefaultSvechaSize},
      {"", {}, instr::Items::kDefaultSvechaSize},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto parsed = instr::parse_tally_csv(c.text);
    EXPECT_THAT(parsed.problems, IsEmpty());
    EXPECT_EQ(parsed.elems, c.elems);
    EXPECT_EQ(parsed.svecha_size, c.svecha_size);
  }
}

TEST(TallyCsvTest, BadRowsAreReportedWithTheirLineNumbers) {
  const std::string text =
      "тип;количество;д;ст;вес;длины\n"
      "Свеча;10;127;9;29;12;12\n"  // 2: fine
      "Свеча;-3;127;9;29;12\n"     // 3: negative count
      "Труба?;1;127;9;29;12\n"     // 4: unknown kind
      "Свеча;1;127;9\n"            // 5: too few fields
      "Свеча;1;127;9;29;12;abc\n"  // 6: a length that is no number
      "Свеча;1;127;70;29;12\n"     // 7: wall thicker than the radius
      "Свеча;2.5;127;9;29;12\n"    // 8: half a stand
      "трубок_в_свече;0\n"         // 9: impossible stand size
      "Свеча;1;nan;9;29;12\n";     // 10: not a number
  auto parsed = instr::parse_tally_csv(text);
  EXPECT_EQ(parsed.elems.size(), 1u);
  ASSERT_EQ(parsed.problems.size(), 8u);
  const char* expected_lines[] = {
      "line 3:", "line 4:", "line 5:", "line 6:", "line 7:", "line 8:", "line 9:", "line 10:"};
  for (const char* l : expected_lines) {
    EXPECT_THAT(parsed.problems, testing::Contains(HasSubstr(l))) << l;
  }
  EXPECT_THAT(parsed.problems[1], HasSubstr("Труба?"));
}

TEST(TallyCsvTest, AnEndlessInputIsRefusedAtTheTallyLimit) {
  testing_support::EndlessFileSystem endless;
  instr::Items items = two_elements();
  std::vector<std::string> problems;
  EXPECT_FALSE(instr::load_tally_csv("/dev/endless", items, problems, endless));
  EXPECT_EQ(endless.bytes_read, 4 * 1024 * 1024 + 1);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_THAT(problems[0], HasSubstr("/dev/endless"));
  EXPECT_THAT(problems[0], HasSubstr("4 MiB"));
  EXPECT_EQ(items.elems().size(), 2u);
}

TEST(TallyCsvTest, DamagedFileDoesNotReplaceTheStoredTally) {
  testing_support::TempDir dir;
  instr::Items items = two_elements();
  const std::string path = dir.file("tally.csv");
  lib::write_file_atomically(path, "Свеча;10;127;9;29;12\nСвеча;x;127;9;29;12\n",
                             lib::posix_file_system());
  std::vector<std::string> problems;
  EXPECT_FALSE(instr::load_tally_csv(path, items, problems, lib::posix_file_system()));
  EXPECT_THAT(problems, ElementsAre(HasSubstr("line 2:")));
  EXPECT_EQ(items.elems(), two_elements().elems());

  EXPECT_FALSE(
      instr::load_tally_csv(dir.file("missing.csv"), items, problems, lib::posix_file_system()));
  EXPECT_THAT(problems, ElementsAre(HasSubstr("missing.csv")));
  EXPECT_EQ(items.size(), 2u);
}

TEST(TallyCsvTest, SaveAndLoadThroughAFile) {
  testing_support::TempDir dir;
  instr::Items items = two_elements();
  items.set_svecha_size(2);
  instr::save_tally_csv(dir.file("t.csv"), items, lib::posix_file_system());
  EXPECT_THAT(testing_support::read_file(dir.file("t.csv")),
              HasSubstr("Свеча;120;127;9.19;29.1;12.1;11.95;12.5\r\n"));
  instr::Items loaded;
  std::vector<std::string> problems;
  ASSERT_TRUE(instr::load_tally_csv(dir.file("t.csv"), loaded, problems, lib::posix_file_system()));
  EXPECT_THAT(problems, IsEmpty());
  EXPECT_EQ(loaded.elems(), items.elems());
  EXPECT_EQ(loaded.get_svecha_size(), 2);
}

TEST(TallyCsvTest, FailedSaveKeepsTheOldFile) {
  testing_support::TempDir dir;
  const std::string path = dir.file("t.csv");
  lib::write_file_atomically(path, "old", lib::posix_file_system());
  testing_support::FaultyFileSystem fs;
  fs.fail_after_bytes = 10;
  EXPECT_THROW(instr::save_tally_csv(path, two_elements(), fs), lib::io::StreamError);
  EXPECT_EQ(testing_support::read_file(path), "old");
}

}  // namespace
