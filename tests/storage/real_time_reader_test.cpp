#include "storage/real_time_reader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "params/all_params.h"
#include "recorded_params.h"
#include "storage/data_storage.h"
#include "storage/real_time_file.h"
#include "storage/recording_blocks.h"
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
    rtf::RealTimeFile rec(storage, catalogue, lib::posix_file_system(), lib::system_clock());
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
      if (l.offset + 3 + 45 + 4 * l.line.values.size() + 4 <= cut) ++complete;
    }
    ASSERT_EQ(c.lines.size(), complete) << "cut at " << cut;
    // Only a cut inside a block is a problem, and it is the last one.
    EXPECT_LE(c.problems.size(), 1u) << "cut at " << cut;
    if (!c.problems.empty()) {
      EXPECT_TRUE(c.cut_at_end) << "cut at " << cut;
    }
  }
}

// What a reading found of each line: its first value and the identifier it was read against.
std::vector<std::pair<float, std::string>> lines_read(const rtf::RecordingContents& c) {
  std::vector<std::pair<float, std::string>> out;
  for (const auto& l : c.lines) out.emplace_back(l.line.values[0], (*l.params)[0].identifier);
  return out;
}

TEST(RecordingReader, OneFlippedBitAnywhereCostsOnlyTheBlockItIsIn) {
  WrittenFile w;
  w.write_run(0, 16, params_of({"a", "b"}), params_of({"b", "a"}));
  const std::string whole = w.bytes();
  const rtf::RecordingContents clean = rtf::read_recording(whole);
  ASSERT_EQ(clean.lines.size(), 16u);
  const std::size_t line_bytes = 3 + 45 + 2 * 4 + 4;
  for (std::size_t at = 0; at < whole.size(); ++at) {
    std::string bytes = whole;
    bytes[at] = static_cast<char>(bytes[at] ^ (1 << (at % 8)));
    const rtf::RecordingContents c = rtf::read_recording(bytes);
    // Every other line, read against its own parameters; a line whose own block was hit is
    // left out, never read wrongly.
    rtf::RecordingContents expected;
    for (const auto& l : clean.lines) {
      if (at < l.offset || at >= l.offset + line_bytes) expected.lines.push_back(l);
    }
    ASSERT_EQ(lines_read(c), lines_read(expected)) << "bit flipped at " << at;
    EXPECT_FALSE(c.problems.empty()) << "bit flipped at " << at;
  }
}

TEST(RecordingReader, LinesWhoseParameterBlockIsLostAreLeftOutNotReadAgainstAnotherList) {
  WrittenFile w;
  const auto ab = params_of({"a", "b"});
  w.write_run(0, 20, ab, params_of({"b", "a"}));
  w.write_run(100, 2, ab, ab);
  std::string bytes = w.bytes();
  const rtf::RecordingContents clean = rtf::read_recording(bytes);
  // Both copies of the second list (the same size as the first) damaged.
  const std::uint64_t copies = clean.lines[9].offset + 3 + 45 + 8 + 4;
  const std::uint64_t end = clean.lines[10].offset;
  bytes[copies + 5] ^= 0x10;
  bytes[(copies + end) / 2 + 5] ^= 0x10;
  const rtf::RecordingContents c = rtf::read_recording(bytes);
  ASSERT_EQ(c.lines.size(), 12u);  // the ten lines of the first list and the next run
  EXPECT_EQ(c.lines[9].line.values[0], 9.0f);
  EXPECT_EQ(c.lines[10].line.values[0], 100.0f);
  // The first copy, skipped with the second to the next whole block, then each line of the
  // list lost.
  ASSERT_EQ(c.problems.size(), 11u);
  EXPECT_EQ(c.problems[0].offset, copies);
  EXPECT_THAT(c.problems[0].what, HasSubstr("check fails"));
  EXPECT_EQ(c.problems[1].offset, clean.lines[10].offset);
  EXPECT_THAT(c.problems[1].what, HasSubstr("another parameter list"));
}

TEST(RecordingReader, FilesOfTheEarlierVersionAreReadAndResumeAtTheirNextRun) {
  using recording_test::plain_block;
  auto line = [](float v) {
    rtf::ValuesLine l;
    l.time = 500;
    l.values = {v, v + 1};
    return plain_block(1, rtf::values_payload(l));
  };
  const std::string run1 = recording_test::plain_version_block() +
                           recording_test::plain_params_block({"a", "b"}) + line(1) + line(2) +
                           line(3);
  const std::string run2 = recording_test::plain_version_block() +
                           recording_test::plain_params_block({"b", "a"}) + line(4);
  WrittenFile w;
  lib::write_file_atomically(w.file, run1 + run2, lib::posix_file_system(), false);
  w.write_run(100, 2, params_of({"a", "b"}), params_of({"a", "b"}));  // the station updated
  std::string bytes = w.bytes();
  const rtf::RecordingContents c = rtf::read_recording(bytes);
  EXPECT_TRUE(c.problems.empty());
  EXPECT_EQ(c.versions, 3u);
  EXPECT_EQ(lines_read(c), (std::vector<std::pair<float, std::string>>{
                               {1, "a"}, {2, "a"}, {3, "a"}, {4, "b"}, {100, "a"}, {101, "a"}}));
  // Damage in a stretch of the earlier version costs it up to its next version block.
  const std::uint64_t damaged_at = c.lines[1].offset;
  bytes[damaged_at] = 77;
  const rtf::RecordingContents d = rtf::read_recording(bytes);
  ASSERT_EQ(d.problems.size(), 1u);
  EXPECT_EQ(d.problems[0].offset, damaged_at);
  EXPECT_THAT(d.problems[0].what, HasSubstr("unknown block type 77"));
  EXPECT_THAT(rtf::problem_text("f.realtim", d.problems[0]),
              HasSubstr("f.realtim: offset " + std::to_string(damaged_at)));
  EXPECT_EQ(d.lines.size(), 4u);
  EXPECT_EQ(d.lines[1].offset, c.lines[3].offset);
}

TEST(RecordingReader, ALineWhoseCountDisagreesWithItsParametersIsLeftOutAlone) {
  WrittenFile w;
  w.write_run(0, 4, params_of({"a", "b"}), params_of({"a", "b"}));
  std::string bytes = w.bytes();
  const rtf::RecordingContents clean = rtf::read_recording(bytes);
  ASSERT_EQ(clean.lines.size(), 4u);
  // A values block with one value more, framed and checked, of the list in force, spliced in
  // after the first line.
  rtf::ValuesLine odd;
  odd.values = {1, 2, 3};
  lib::io::BinaryMemoryOutputStream out;
  const std::size_t at = clean.lines[1].offset;
  rtf::ValuesWriterRecord(odd, params_of({"x", "y", "z"}))
      .write(out, recording_test::u32_at(bytes, at + 3 + 17));
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
