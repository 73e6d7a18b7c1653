#include "wits/wits0_reader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "wits/wits0_format.h"

using namespace wits;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;

namespace {

// Every event, in order, so a test can say what the thread would have logged.
struct Recorder : ReadEvents {
  int starts = 0;
  int overlong = 0;
  std::vector<std::string> lines;
  std::vector<int> ready;
  void on_start() override { ++starts; }
  void on_item_line(std::string_view line) override { lines.emplace_back(line); }
  void on_ready(int record) override { ready.push_back(record); }
  void on_overlong_line() override { ++overlong; }
};

struct Reading {
  RecordStore store;
  Recorder events;
  // Results of read_record until it returns false (the stream gave nothing before a start).
  std::vector<bool> read_all(std::string_view bytes) {
    MemoryByteSource source(bytes);
    std::vector<bool> results;
    while (true) {
      const bool r = read_record(source, store, events);
      results.push_back(r);
      if (!r || results.size() > 1000) break;
    }
    return results;
  }
  bool read_one(std::string_view bytes) {
    MemoryByteSource source(bytes);
    return read_record(source, store, events);
  }
};

std::string crlf(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out.push_back('\r');
    out.push_back(c);
  }
  return out;
}

std::string file_bytes(const std::string& name) {
  std::ifstream in(std::string(RIGCORE_WITS_TEST_DATA) + name, std::ios::binary);
  EXPECT_TRUE(in.good()) << name;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

TEST(WITS0ReaderTest, ARecordBecomesReadyAtItsEndWithValuesUntrimmed) {
  Reading r;
  EXPECT_TRUE(r.read_one("&&\r\n0108123.4\r\n0110 5\r\n!!\r\n"));
  const WITSRecords records = r.store.snapshot();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_TRUE(records.at(1).ready);
  EXPECT_THAT(records.at(1).items, ElementsAre(Pair(8, "123.4"), Pair(10, " 5")));
  EXPECT_EQ(r.events.starts, 1);
  EXPECT_THAT(r.events.lines, ElementsAre("0108123.4", "0110 5"));
  EXPECT_THAT(r.events.ready, ElementsAre(1));

  WITSCommIncomData reading;
  EXPECT_TRUE(r.store.take_ready(reading.servers()["S"]));
  EXPECT_DOUBLE_EQ(reading.get_value("S", "0108"), 123.4);
  // Handed out once: the flag is cleared, nothing more to take.
  EXPECT_FALSE(r.store.snapshot().at(1).ready);
  EXPECT_FALSE(r.store.take_ready(reading.servers()["S"]));
}

TEST(WITS0ReaderTest, AnUnfinishedRecordIsNotHandedOutAndARefillHidesTheOldCopy) {
  Reading r;
  // The stream stops before the end line: the record exists but is not ready.
  EXPECT_TRUE(r.read_one("&&\r\n0108100\r\n0110 7\r\n"));
  WITSRecords out;
  EXPECT_FALSE(r.store.take_ready(out));
  EXPECT_THAT(out, IsEmpty());

  // A complete copy, not yet taken; then the first line of the next copy hides it again.
  EXPECT_TRUE(r.read_one("&&\r\n0108200\r\n!!\r\n"));
  EXPECT_TRUE(r.store.snapshot().at(1).ready);
  EXPECT_TRUE(r.read_one("&&\r\n0108300\r\n01"));
  EXPECT_FALSE(r.store.take_ready(out));
  EXPECT_TRUE(r.read_one("&&\r\n0110 8\r\n!!\r\n"));
  ASSERT_TRUE(r.store.take_ready(out));
  EXPECT_THAT(out.at(1).items, ElementsAre(Pair(8, "300"), Pair(10, " 8")));
}

TEST(WITS0ReaderTest, StartSequenceIsMatchedWithOverlap) {
  // The third '&' keeps the match alive, as does a start after a broken one.
  for (const char* start :
       {"&&&\r\n", "&&&&&\r\n", "&&\r&&\r\n", "\xEF\xBB\xBF&&\r\n", "x&&\r\n"}) {
    Reading r;
    EXPECT_TRUE(r.read_one(std::string(start) + "0108 1\r\n!!\r\n")) << start;
    EXPECT_THAT(r.events.ready, ElementsAre(1)) << start;
  }
  // Not starts: a lone '&', LF without CR, a blank inside, CR LF reversed.
  for (const char* start : {"&\r\n", "&&\n", "& &\r\n", "&&\n\r"}) {
    Reading r;
    EXPECT_FALSE(r.read_one(std::string(start) + "0108 1\r\n!!\r\n")) << start;
    EXPECT_EQ(r.events.starts, 0) << start;
    EXPECT_THAT(r.store.snapshot(), IsEmpty()) << start;
  }
}

TEST(WITS0ReaderTest, NothingBeforeAStartMeansALostStream) {
  Reading r;
  EXPECT_FALSE(r.read_one(""));
  EXPECT_FALSE(r.read_one("0108 1\r\n!!\r\n"));
  EXPECT_FALSE(r.read_one(std::string("\0\x01\xff&&", 5)));
  EXPECT_EQ(r.events.starts, 0);
  EXPECT_THAT(r.store.snapshot(), IsEmpty());
}

TEST(WITS0ReaderTest, AnExclamationInTheFirstOrSecondColumnEndsTheRecord) {
  for (const char* end : {"!!", "!", " !", "x!", "!x trailing"}) {
    Reading r;
    EXPECT_TRUE(r.read_one(std::string("&&\r\n0108 1\r\n") + end + "\r\n0108 2\r\n")) << end;
    EXPECT_THAT(r.events.ready, ElementsAre(1)) << end;
    EXPECT_EQ(r.store.snapshot().at(1).items.at(8), " 1") << end;
  }
  // In the third column it is a value.
  Reading r;
  EXPECT_TRUE(r.read_one("&&\r\n01!!\r\n0108!\r\n!!\r\n"));
  EXPECT_EQ(r.store.snapshot().at(1).items.at(8), "!");
  // An end line before any item makes nothing ready.
  Reading empty;
  EXPECT_TRUE(empty.read_one("&&\r\n!!\r\n"));
  EXPECT_THAT(empty.events.ready, IsEmpty());
  EXPECT_THAT(empty.store.snapshot(), IsEmpty());
}

TEST(WITS0ReaderTest, LinesWhoseNumbersAreNotDecimalAreIgnored) {
  Reading r;
  EXPECT_TRUE(r.read_one(
      "&&\r\n01x8 1\r\nab08 2\r\n-108 3\r\n 108 4\r\n01\r\n\r\n0207 5\r\n0108\r\n!!\r\n"));
  // Only the good lines were taken; the last good line's record is made ready.
  EXPECT_THAT(r.events.lines, ElementsAre("0207 5", "0108"));
  const WITSRecords records = r.store.snapshot();
  EXPECT_THAT(records.at(2).items, ElementsAre(Pair(7, " 5")));
  EXPECT_FALSE(records.at(2).ready);
  EXPECT_THAT(records.at(1).items, ElementsAre(Pair(8, "")));
  EXPECT_TRUE(records.at(1).ready);
}

TEST(WITS0ReaderTest, ValuesKeepEveryByteUpToTheLineEnd) {
  Reading r;
  EXPECT_TRUE(
      r.read_one(std::string("&&\r\n0108  1.5 \t\r\n0109a\rb\r\n0110\0\xff\r\n!!\r\n", 36)));
  const auto items = r.store.snapshot().at(1).items;
  EXPECT_EQ(items.at(8), "  1.5 \t");
  EXPECT_EQ(items.at(9), "a\rb");
  EXPECT_EQ(items.at(10), std::string("\0\xff", 2));
}

TEST(WITS0ReaderTest, ALineOfTheLongestSizeIsTakenALongerOneAbandonsItsRecord) {
  const std::string longest = "0108" + std::string(kMaxLineBytes - 4, '7');
  Reading fits;
  EXPECT_TRUE(fits.read_one("&&\r\n" + longest + "\r\n!!\r\n"));
  EXPECT_THAT(fits.events.ready, ElementsAre(1));
  EXPECT_EQ(fits.store.snapshot().at(1).items.at(8).size(), kMaxLineBytes - 4);

  // One byte more (a CR that is not a line end counts too): the record is abandoned, and
  // the long line's tail, which looks like items and an end, is not taken for anything. The
  // next record after the next start is read whole.
  for (const std::string& too_long : {longest + "7", longest + "\r"}) {
    Reading r;
    const std::string stream =
        "&&\r\n0105 a\r\n" + too_long + "0150 tail\r\n!!\r\n" + "&&\r\n0201 7\r\n!!\r\n";
    EXPECT_EQ(r.read_all(stream), (std::vector<bool>{true, true, false}));
    EXPECT_EQ(r.events.overlong, 1);
    EXPECT_THAT(r.events.ready, ElementsAre(2));
    const WITSRecords records = r.store.snapshot();
    EXPECT_FALSE(records.at(1).ready);
    EXPECT_THAT(records.at(1).items, ElementsAre(Pair(5, " a")));
    EXPECT_THAT(records.at(2).items, ElementsAre(Pair(1, " 7")));
  }
}

TEST(WITS0ReaderTest, AnEndlessLineEndsTheReadWithinItsBound) {
  // Without a line end the reader stops after kMaxLineBytes + 1 bytes of the line instead of
  // reading on for ever, so the receiving thread keeps turning.
  const std::string stream = "&&\r\n" + std::string(100000, '5');
  MemoryByteSource source(stream);
  RecordStore store;
  Recorder events;
  EXPECT_TRUE(read_record(source, store, events));
  EXPECT_EQ(source.position(), 4 + kMaxLineBytes + 1);
  EXPECT_THAT(store.snapshot(), IsEmpty());
}

TEST(WITS0ReaderTest, ARealPeersCaptureIsReadFrameByFrame) {
  // The capture has LF line ends: taken as it is, nothing in it is a start.
  const std::string capture = file_bytes("witskit_sample_comprehensive.wits");
  Reading as_is;
  EXPECT_EQ(as_is.read_all(capture), (std::vector<bool>{false}));
  EXPECT_THAT(as_is.store.snapshot(), IsEmpty());

  // With CR LF, as peers send it: four frames. Frames mix records, and only the record of
  // the last item before the end line is made ready; the last frame's end line has no line
  // end before the capture stops, so its record is left not ready.
  Reading r;
  EXPECT_EQ(r.read_all(crlf(capture)), (std::vector<bool>{true, true, true, true, false}));
  EXPECT_EQ(r.events.starts, 4);
  EXPECT_THAT(r.events.ready, ElementsAre(15, 8, 13));
  const WITSRecords records = r.store.snapshot();
  EXPECT_THAT(records.at(15).items, ElementsAre(Pair(11, "5"), Pair(12, "1000"), Pair(13, "8")));
  // Record 8 got items from two frames, the second frame's values replacing the first's.
  EXPECT_THAT(records.at(8).items, ElementsAre(Pair(15, "3.8"), Pair(16, "2.1"), Pair(23, "9.7"),
                                               Pair(24, "1.3"), Pair(44, "2.15")));
  EXPECT_FALSE(records.at(1).ready);
  EXPECT_EQ(records.at(1).items.at(8), "3650.40");
  EXPECT_FALSE(records.at(19).ready);
  EXPECT_EQ(records.at(19).items.size(), 4u);

  WITSCommIncomData reading;
  EXPECT_TRUE(r.store.take_ready(reading.servers()["СКЦ"]));
  EXPECT_DOUBLE_EQ(reading.get_value("СКЦ", "0816"), 2.1);
  EXPECT_DOUBLE_EQ(reading.get_value("", "1312"),
                   kNotAvailable);  // 13 was ready, item 12 never sent
  EXPECT_DOUBLE_EQ(reading.get_value("", "1316"), 20.5);
}
