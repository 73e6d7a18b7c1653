// The layout file as a mud logger edits it: every attribute read as written, and each kind of
// mistake costing only its line, its curve or its track, with a message naming the line.
#include <gtest/gtest.h>

#include <string>

#include "lib/file_system.h"
#include "mudlog/layout.h"
#include "mudlog/layout_format.h"
#include "support/fakes.h"

namespace {

using mudlog::TrackKind;

TEST(Layout, EveryAttributeIsReadAsWritten) {
  const auto r = mudlog::parse_layout(R"(# a comment
[log]
title = Скв. 12
scale = 1:200
page = 297x420

[track]
kind = curves
title = Gas
width = 42.5
against = lag
grid = 4
curve = сумм_газ colour=#C00010 style=dashed scale=log left=0.01 right=100 wrap=yes width=0.5
curve = метан_абс right=-3 left=7 style=dotted

[track]
kind = text
journals = mud_log
)",
                                      "l.ini");
  ASSERT_TRUE(r.problems.empty()) << r.problems.front();
  const mudlog::LogLayout& l = r.layout;
  EXPECT_EQ(l.title, "Скв. 12");
  EXPECT_EQ(l.scale, 200);
  EXPECT_EQ(l.page_width_mm, 297);
  EXPECT_EQ(l.page_height_mm, 420);
  ASSERT_EQ(l.tracks.size(), 2u);
  const mudlog::TrackSpec& gas = l.tracks[0];
  EXPECT_EQ(gas.title, "Gas");
  EXPECT_EQ(gas.width_mm, 42.5);
  EXPECT_EQ(gas.against, mudlog::DepthSource::lag);
  EXPECT_EQ(gas.grid, 4);
  ASSERT_EQ(gas.curves.size(), 2u);
  const mudlog::CurveSpec& c = gas.curves[0];
  EXPECT_EQ(c.identifier, "сумм_газ");
  EXPECT_EQ(c.colour, 0xC00010u);
  EXPECT_EQ(c.style, mudlog::LineStyle::dashed);
  EXPECT_EQ(c.scale, mudlog::ScaleKind::logarithmic);
  EXPECT_EQ(c.left, 0.01);
  EXPECT_EQ(c.right, 100);
  EXPECT_TRUE(c.wrap);
  EXPECT_EQ(c.line_width_mm, 0.5);
  EXPECT_EQ(c.line, 13);
  // A reversed scale (values rising to the left) is a scale too.
  EXPECT_EQ(gas.curves[1].left, 7);
  EXPECT_EQ(gas.curves[1].right, -3);
  EXPECT_EQ(l.tracks[1].kind, TrackKind::text);
  EXPECT_FALSE(l.tracks[1].remarks);
  EXPECT_TRUE(l.tracks[1].mud_log);
}

// Each line: the layout (after a good first track), the message expected, and what is left.
struct Mistake {
  const char* text;
  const char* message;
  std::size_t tracks;  // tracks read, the good first one included
  std::size_t curves;  // curves of the last track read
};

class LayoutMistake : public testing::TestWithParam<Mistake> {};

TEST_P(LayoutMistake, CostsOnlyWhatItSpoilsAndNamesTheLine) {
  const Mistake& m = GetParam();
  const std::string text = std::string("[track]\nkind = depth\n") + m.text;
  const auto r = mudlog::parse_layout(text, "l.ini");
  ASSERT_EQ(r.problems.size(), 1u) << text;
  EXPECT_NE(r.problems[0].find(m.message), std::string::npos) << r.problems[0];
  ASSERT_EQ(r.layout.tracks.size(), m.tracks) << text;
  EXPECT_EQ(r.layout.tracks.back().curves.size(), m.curves) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LayoutMistake,
    testing::Values(
        Mistake{"[track]\nkind = wiggle\ncurve = a\n", "l.ini, line 4: unknown track kind 'wiggle'",
                1, 0},
        Mistake{"[track]\ncurve = a colour=red\ncurve = b\n",
                "line 4: colour 'red' is not #rrggbb; the curve 'a' is left out", 2, 1},
        Mistake{"[track]\ncurve = a scale=log left=0 right=10\n",
                "line 4: a log scale needs limits above 0", 2, 0},
        Mistake{"[track]\ncurve = a left=3 right=3\n", "line 4: left and right are both 3", 2, 0},
        Mistake{"[track]\ncurve = a wrap=maybe\n", "line 4: wrap 'maybe' is not yes or no", 2, 0},
        Mistake{"[track]\ncurve = a left=1,5\n", "line 4: left '1,5' is not a number", 2, 0},
        Mistake{"[track]\ncurve = a hue=3\n", "line 4: unknown attribute 'hue'", 2, 0},
        Mistake{"[track]\ncurve = left=0\n", "line 4: a curve starts with the parameter's", 2, 0},
        Mistake{"[track]\nwidth = 500\ncurve = a\n", "line 4: width '500' is not a number of mm", 2,
                1},
        Mistake{"[track]\ngrid = 2.5\n", "line 4: grid '2.5' is not a whole number", 2, 0},
        Mistake{"[track]\nkind = text\ncurve = a\n", "line 5: only a curves track has curves", 2,
                0},
        Mistake{"[track]\nkind = depth\nagainst = lag\n",
                "line 5: only a curves track is plotted against a depth", 2, 0},
        Mistake{"[track]\nkind = text\njournals = remarks, diary\n",
                "line 5: unknown journal 'diary'", 2, 0},
        Mistake{"[trak]\nkind = curves\n[track]\ncurve = a\n", "line 3: unknown section [trak]", 2,
                1},
        Mistake{"[track\ncurve = a\n", "line 3: a section name must end with ']'", 1, 0},
        Mistake{"[track]\nsomething\n", "line 4: 'something' is not key = value", 2, 0},
        Mistake{"[log]\nscale = 1:20\n", "line 4: scale '1:20' is not a whole number", 1, 0},
        Mistake{"[log]\npage = letter\n", "line 4: page 'letter' is not A4, A3 or WIDTHxHEIGHT", 1,
                0},
        Mistake{"[track]\ncurve = a\ncurve = b\ncurve = c\ncurve = d\ncurve = e\ncurve = f\n"
                "curve = g\n",
                "line 10: a track holds at most 6 curves", 2, 6}));

TEST(Layout, NothingUsableGivesTheStarterLayoutWithTheReason) {
  for (const char* text :
       {"", "# only a comment\n", "[track]\nkind = nothing\n", "[track]\ncurve = \xff\xfe\n"}) {
    const auto r = mudlog::parse_layout(text, "l.ini");
    ASSERT_FALSE(r.problems.empty()) << text;
    EXPECT_EQ(r.layout.tracks.size(),
              mudlog::parse_layout(mudlog::starter_layout_text(), "").layout.tracks.size());
  }
}

TEST(Layout, TheStarterLayoutReadsWithoutAProblemAndFitsItsPage) {
  const auto r = mudlog::parse_layout(mudlog::starter_layout_text(), "");
  EXPECT_TRUE(r.problems.empty()) << r.problems.front();
  double width = 0;
  for (const auto& t : r.layout.tracks) width += t.width_mm;
  EXPECT_LE(width, r.layout.page_width_mm - 20);
}

TEST(Layout, AStationWritesTheStarterOnceAndNeverOverAnEditedFile) {
  testing_support::TempDir dir;
  auto& fs = lib::posix_file_system();
  const std::string path = dir.file(std::string(mudlog::layout_format::kFileName));
  EXPECT_TRUE(mudlog::ensure_starter_layout(path, fs));
  EXPECT_EQ(testing_support::read_file(path), mudlog::starter_layout_text());
  lib::write_file_atomically(path, "[track]\nkind = depth\n", fs, false);
  EXPECT_FALSE(mudlog::ensure_starter_layout(path, fs));
  EXPECT_EQ(mudlog::load_layout(path, fs).layout.tracks.size(), 1u);
  const auto missing = mudlog::load_layout(dir.file("none.ini"), fs);
  ASSERT_EQ(missing.problems.size(), 1u);
  EXPECT_NE(missing.problems[0].find("none.ini: no such file; the starter layout is drawn"),
            std::string::npos);
}

}  // namespace
