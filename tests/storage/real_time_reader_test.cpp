#include "storage/real_time_reader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "params/all_params.h"
#include "recorded_params.h"
#include "storage/data_storage.h"
#include "storage/real_time_file.h"
#include "support/fakes.h"

using testing::HasSubstr;
using testing_support::TempDir;

namespace {

rtf::ParamList params_of(std::initializer_list<const char*> ids) {
  return recording_test::param_list(ids, "кН", -1, 250);
}

// A file made by the recorder itself: a header text, lines over two parameter lists, and
// a second run of the writer appending after a restart.
struct WrittenFile {
  TempDir home;
  params::AllParams catalogue{home.path(), lib::posix_file_system()};
  ds_tmp::DataStorage storage{catalogue};
  std::string file = home.file("0009.realtim");
  std::vector<float> first_values;  // of each line, in order

  void write_run(int from, int lines, const rtf::ParamList& a, const rtf::ParamList& b) {
    rtf::RealTimeFile rec(storage, catalogue);
    rec.save_text_values(file, {{"скважина", "77"}, {"номер_рейса", "9"}});
    for (int i = 0; i < lines; ++i) {
      const auto& params = i < lines / 2 ? a : b;
      auto task = std::make_shared<rtf::Records>();
      task->file = file;
      rtf::ValuesLine line;
      line.time = 1000 + from + i;
      line.first_depth = 100.0f + i;
      for (std::size_t p = 0; p < params->size(); ++p) line.values.push_back(from + i + 0.5f * p);
      first_values.push_back(line.values[0]);
      task->records.push_back(std::make_shared<rtf::ValuesWriterRecord>(line, params));
      rec.queue_task(task);
    }
    rec.write_pending();
  }
  std::string bytes() const { return testing_support::read_file(file); }
};

TEST(RecordingReader, ReadsBackEveryLineOfSeveralRunsWithTheParameterListInForce) {
  WrittenFile w;
  const auto ab = params_of({"a", "b"});
  const auto abc = params_of({"a", "b", "c"});
  w.write_run(0, 6, ab, abc);
  w.write_run(100, 4, abc, ab);
  const rtf::RecordingContents c = rtf::read_recording(w.bytes());
  EXPECT_TRUE(c.problems.empty()) << rtf::problem_text(w.file, c.problems.front());
  EXPECT_EQ(c.versions, 2u);
  ASSERT_EQ(c.texts.size(), 2u);
  EXPECT_EQ(c.texts[1].get("номер_рейса"), "9");
  EXPECT_EQ(c.texts[1].get("нет_такого"), "");
  ASSERT_EQ(c.lines.size(), 10u);
  for (std::size_t i = 0; i < 10; ++i) EXPECT_EQ(c.lines[i].line.values[0], w.first_values[i]);
  EXPECT_EQ(c.lines[2].params->size(), 2u);
  EXPECT_EQ(c.lines[3].params->size(), 3u);
  EXPECT_EQ(c.lines[6].params->size(), 3u);  // the second run starts with its own list
  EXPECT_EQ(c.lines[9].params->size(), 2u);
  EXPECT_EQ((*c.lines[9].params)[1].unit, "кН");
  EXPECT_EQ((*c.lines[9].params)[1].scale_max, 250.0f);
  EXPECT_EQ(c.lines[4].line.first_depth, 104.0f);
  EXPECT_EQ(c.lines[7].line.time, 1101u);
}

TEST(RecordingReader, AFileCutAtAnyByteKeepsEveryCompleteLineBeforeTheCut) {
  WrittenFile w;
  w.write_run(0, 6, params_of({"a", "b"}), params_of({"b", "a"}));
  const std::string whole = w.bytes();
  const rtf::RecordingContents full = rtf::read_recording(whole);
  ASSERT_EQ(full.lines.size(), 6u);
  for (std::size_t cut = 0; cut < whole.size(); ++cut) {
    const rtf::RecordingContents c = rtf::read_recording(std::string_view(whole).substr(0, cut));
    std::size_t complete = 0;
    for (const auto& l : full.lines) {
      if (l.offset + 3 + 45 + 4 * l.line.values.size() <= cut) ++complete;
    }
    ASSERT_EQ(c.lines.size(), complete) << "cut at " << cut;
    // Only a cut inside a block is a problem, and it is the last one.
    EXPECT_LE(c.problems.size(), 1u) << "cut at " << cut;
    if (!c.problems.empty()) {
      EXPECT_TRUE(c.cut_at_end) << "cut at " << cut;
    }
  }
}

TEST(RecordingReader, ADamagedBlockIsReportedWithItsOffsetAndTheNextRunIsRead) {
  WrittenFile w;
  const auto ab = params_of({"a", "b"});
  w.write_run(0, 4, ab, ab);
  const std::size_t first_run = w.bytes().size();
  w.write_run(100, 4, ab, ab);
  std::string bytes = w.bytes();
  const rtf::RecordingContents clean = rtf::read_recording(bytes);
  ASSERT_EQ(clean.lines.size(), 8u);
  const std::uint64_t damaged_at = clean.lines[1].offset;
  bytes[damaged_at] = 77;  // the second line's type byte
  const rtf::RecordingContents c = rtf::read_recording(bytes);
  ASSERT_EQ(c.problems.size(), 1u);
  EXPECT_EQ(c.problems[0].offset, damaged_at);
  EXPECT_THAT(c.problems[0].what, HasSubstr("unknown block type 77"));
  EXPECT_THAT(rtf::problem_text("f.realtim", c.problems[0]),
              HasSubstr("f.realtim: offset " + std::to_string(damaged_at)));
  // The first line, and the whole second run from its version block on.
  ASSERT_EQ(c.lines.size(), 5u);
  EXPECT_EQ(c.lines[0].line.values[0], 0.0f);
  EXPECT_EQ(c.lines[1].line.values[0], 100.0f);
  EXPECT_GE(c.lines[1].offset, first_run);
  EXPECT_FALSE(c.cut_at_end);
}

TEST(RecordingReader, ALineWhoseCountDisagreesWithItsParametersIsLeftOutAlone) {
  WrittenFile w;
  w.write_run(0, 4, params_of({"a", "b"}), params_of({"a", "b"}));
  std::string bytes = w.bytes();
  const rtf::RecordingContents clean = rtf::read_recording(bytes);
  ASSERT_EQ(clean.lines.size(), 4u);
  // A values block with one value more, framed correctly, spliced in after the first line.
  rtf::ValuesLine odd;
  odd.values = {1, 2, 3};
  lib::io::BinaryMemoryOutputStream out;
  rtf::ValuesWriterRecord(odd, params_of({"x", "y", "z"})).write(out);
  const std::size_t at = clean.lines[1].offset;
  bytes.insert(at, out.data());
  const rtf::RecordingContents c = rtf::read_recording(bytes);
  ASSERT_EQ(c.problems.size(), 1u);
  EXPECT_EQ(c.problems[0].offset, at);
  EXPECT_THAT(c.problems[0].what, HasSubstr("3 values where the parameter block has 2"));
  EXPECT_EQ(c.lines.size(), 4u);
}

TEST(RecordingReader, GarbageNeverThrowsAndAnEmptyFileHasNothing) {
  EXPECT_EQ(rtf::read_recording("").blocks, 0u);
  std::string noise;
  std::uint32_t x = 12345;
  for (int i = 0; i < 20000; ++i) {
    x = x * 1103515245u + 12345u;
    noise.push_back(static_cast<char>(x >> 16));
  }
  for (std::size_t n : {1u, 2u, 3u, 50u, 20000u}) {
    EXPECT_NO_THROW(rtf::read_recording(std::string_view(noise).substr(0, n)));
  }
  // A parameter block claiming a billion parameters is refused, not allocated.
  std::string huge = {2, 4, 0, 0, 0, 0, 0x40};
  const auto c = rtf::read_recording(huge);
  ASSERT_EQ(c.problems.size(), 1u);
  EXPECT_THAT(c.problems[0].what, HasSubstr("parameter count"));
}

}  // namespace
