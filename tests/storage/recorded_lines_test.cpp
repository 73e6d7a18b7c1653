#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "params/all_params.h"
#include "storage/data_storage.h"
#include "storage/file_stored_values.h"
#include "storage/real_time_file.h"
#include "storage/recording_blocks.h"
#include "support/fakes.h"

using namespace recording_test;
using testing::HasSubstr;
using testing_support::TempDir;

namespace {

constexpr int kHook = 0, kPressure = 1, kBlock = 2;

// A station with three rows (hook load, inlet pressure, block position) and its recorder.
struct Station {
  TempDir home;
  params::AllParams catalogue{home.path(), lib::posix_file_system()};
  ds_tmp::DataStorage storage{catalogue};
  testing_support::FakeClock clock;
  std::vector<std::string> log;
  std::unique_ptr<rtf::RealTimeFile> rec;

  Station() {
    for (const char* id : {"вес_на_крюке", "давление_на_входе", "тальблок"}) {
      storage.par_tabl().add(id);
    }
    rec = make_recorder();
    rec->calculate_file_names(home.path(), 5);
  }
  std::unique_ptr<rtf::RealTimeFile> make_recorder() {
    rtf::RealTimeFileServices s;
    s.log = [this](const std::string& l) { log.push_back(l); };
    return std::make_unique<rtf::RealTimeFile>(storage, catalogue, lib::posix_file_system(), clock,
                                               s);
  }
  void mode(int row, std::uint8_t m) { storage.par_tabl()[row].attribute = m; }
  void tick(double hook, double pressure = 0, double block = 0) {
    storage.current_values()[kHook] = hook;
    storage.current_values()[kPressure] = pressure;
    storage.current_values()[kBlock] = block;
    rec->store_values_for_file();
  }
  std::vector<Block> written(const std::string& file) {
    rec->write_pending();
    return blocks_of(testing_support::read_file(file));
  }
  // The values blocks of a file, each as its values.
  std::vector<std::vector<float>> lines(const std::string& file) {
    std::vector<std::vector<float>> out;
    for (const Block& b : written(file)) {
      if (b.type != 1) continue;
      std::vector<float> v;
      for (std::uint32_t i = 0; i < u32_at(b.payload, 41); ++i)
        v.push_back(f32_at(b.payload, 45 + 4 * i));
      out.push_back(v);
    }
    return out;
  }
};

TEST(StoredValues, MeanLastAndMaximumModesMakeTheLineAndAnUnfedLineRepeatsTheLast) {
  Station s;
  s.mode(kHook, rtf::kStoreMean);
  s.mode(kPressure, rtf::kStoreLast);
  s.mode(kBlock, rtf::kStoreMax);
  s.tick(1, 7, 5);
  s.tick(2, 8, 9);
  s.tick(3, 6, 4);
  s.rec->save_time_values();
  s.rec->save_time_values();  // nothing fed since: the last values again, not 0
  s.tick(-1, 1, -3);
  s.tick(-2, 2, -4);
  s.rec->save_time_values();  // every value of the maximum negative: 0
  const auto lines = s.lines(s.rec->file_names().time);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], (std::vector<float>{2, 6, 9}));
  EXPECT_EQ(lines[1], (std::vector<float>{2, 6, 9}));
  EXPECT_EQ(lines[2], (std::vector<float>{-1.5f, 2, 0}));
}

TEST(StoredValues, TimeLineCarriesDepthsOperationAndTheClocksTime) {
  Station s;
  s.storage.set_depth_z(1400);
  s.storage.delayed_depth().clear();  // the lag depth is now 1400
  s.storage.set_depth_z(1500.5);
  s.storage.set_depth_cur(1490.25);
  s.storage.set_operation(2);
  s.clock.now = {1'700'000'123, 870};
  s.tick(10);
  s.rec->save_time_values();
  const auto blocks = s.written(s.rec->file_names().time);
  ASSERT_EQ(blocks.size(), 3u);
  const std::string& p = blocks[2].payload;
  EXPECT_EQ(u32_at(p, 0), 1'700'000'123u);
  EXPECT_EQ(f32_at(p, 4), 1500.5f);
  EXPECT_EQ(f32_at(p, 8), 1400.0f);
  EXPECT_EQ(static_cast<unsigned char>(p[12]), 2);
  EXPECT_EQ(f32_at(p, 13), 1490.25f);
  EXPECT_EQ(static_cast<unsigned char>(p[40]), 87);
  EXPECT_EQ(identifiers_of(blocks[1].payload),
            (std::vector<std::string>{"вес_на_крюке", "давление_на_входе", "тальблок"}));
}

TEST(StoredValues, DepthLinesNeedFeedingAndRepeatWhileTheDepthFileIsOff) {
  Station s;
  s.tick(5);
  s.rec->save_depth_values(100, 0);  // the depth file was never fed
  EXPECT_EQ(s.rec->get_queue_size(), 0u);
  EXPECT_EQ(s.rec->pending_lag_lines(), 0u);
  s.storage.set_depth_file_on(true);
  s.tick(5);
  s.rec->save_depth_values(101, 0);
  s.storage.set_depth_file_on(false);
  s.tick(50);
  s.rec->save_depth_values(102, 0);
  const auto lines = s.lines(s.rec->file_names().depth);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1][0], 5.0f);
  EXPECT_EQ(s.rec->pending_lag_lines(), 2u);
}

TEST(LagLines, ALineArrivesAsItsRemainingPassesZeroAndIsWrittenAfterItsDelay) {
  Station s;
  s.storage.set_depth_file_on(true);
  s.tick(30);
  s.rec->save_depth_values(100, 2);
  const std::vector<double> expected_remaining = {60, 20, -20, -20};
  for (int call = 1; call <= 4; ++call) {
    s.rec->save_lag_depth_values("", "", 40);
    ASSERT_EQ(s.rec->pending_lag_lines(), 1u) << "call " << call;
    EXPECT_EQ(s.rec->lag_lines().front().remaining, expected_remaining[call - 1]);
    EXPECT_EQ(s.rec->lag_lines().front().arrived, call >= 3);
  }
  EXPECT_EQ(s.rec->lag_lines().front().delay, 1);
  s.rec->save_lag_depth_values("", "", 40);
  EXPECT_EQ(s.rec->pending_lag_lines(), 0u);
  const auto blocks = s.written(s.rec->file_names().lag);
  ASSERT_EQ(blocks.size(), 3u);
  EXPECT_EQ(f32_at(blocks[2].payload, 4), 100.0f);
  EXPECT_EQ(f32_at(blocks[2].payload, 8), 100.0f);
  EXPECT_EQ(f32_at(blocks[2].payload, 45), 30.0f);
}

TEST(LagLines, NothingMovesWithoutCirculationAndArrivalTakesTheSurfaceReading) {
  Station s;
  s.storage.set_depth_file_on(true);
  s.tick(30, 11);
  s.rec->save_depth_values(100, 0);
  s.storage.set_circulation_on(false);
  for (int i = 0; i < 5; ++i) s.rec->save_lag_depth_values("", "", 40);
  EXPECT_EQ(s.rec->lag_lines().front().remaining, 100);
  EXPECT_FALSE(s.rec->lag_lines().front().arrived);
  s.storage.set_circulation_on(true);
  // The surface reading of the pressure at arrival replaces the drilled one; the hook load
  // keeps its drilled value; the block position is live.
  s.tick(70, 44, 3);
  s.rec->save_depth_values(110, 5);
  s.tick(90, 99, 8);
  s.rec->save_lag_depth_values("давление_на_входе", "тальблок", 200);
  ASSERT_EQ(s.rec->pending_lag_lines(), 1u);
  const auto lines = s.lines(s.rec->file_names().lag);
  ASSERT_EQ(lines.size(), 1u);
  // Hook load as drilled (30), pressure as it was when the line arrived (the depth file's
  // last: 44), block position the live mean of the lag file's feeding (3, 8: 5.5 ... and
  // the first tick's 0): (0 + 3 + 8) / 3.
  EXPECT_EQ(lines[0][0], 30.0f);
  EXPECT_EQ(lines[0][1], 44.0f);
  EXPECT_FLOAT_EQ(lines[0][2], 11.0f / 3);

  // Another arrival list over the same parameters takes effect at the next arrival: the
  // 120 m line takes the hook load of its arrival (the 130 m line's 20) and keeps its
  // drilled pressure ((99 + 60) / 2).
  s.tick(50, 60, 1);
  s.rec->save_depth_values(120, 0);
  s.tick(20, 30, 0);
  s.rec->save_depth_values(130, 0);
  // The 110 m line waits its delay of 5 calls, then the lines go one a call.
  for (int i = 0; i < 10; ++i) s.rec->save_lag_depth_values("вес_на_крюке", "тальблок", 200);
  const auto later = s.lines(s.rec->file_names().lag);
  ASSERT_EQ(later.size(), 4u);
  EXPECT_EQ(later[2][0], 20.0f);
  EXPECT_EQ(later[2][1], 79.5f);
}

TEST(LagLines, FlashWritesEveryWaitingLineInOneTaskAsDrilling) {
  Station s;
  s.storage.set_depth_file_on(true);
  for (int d = 1; d <= 3; ++d) {
    s.tick(d * 10);
    s.rec->save_depth_values(100.0f + d, 0);
  }
  s.rec->write_pending();
  const std::size_t before = s.rec->get_queue_size();
  s.rec->flash_lag_data();
  EXPECT_EQ(s.rec->get_queue_size(), before + 1);
  EXPECT_EQ(s.rec->pending_lag_lines(), 0u);
  const auto blocks = s.written(s.rec->file_names().lag);
  EXPECT_EQ(types_of(testing_support::read_file(s.rec->file_names().lag)),
            (std::vector<int>{99, 2, 1, 1, 1}));
  for (int d = 1; d <= 3; ++d) {
    EXPECT_EQ(f32_at(blocks[1 + d].payload, 4), 100.0f + d);
    EXPECT_EQ(static_cast<unsigned char>(blocks[1 + d].payload[12]), 2);
    EXPECT_EQ(f32_at(blocks[1 + d].payload, 45), d * 10.0f);
  }
}

TEST(StoredValues, AFailingReceiverIsLoggedAndTheLineStillQueued) {
  Station s;
  int heard = 0;
  s.rec->on_save_time_data.push_back(
      [&](const rtf::ParamList& p, float, float, float, std::uint8_t, const std::vector<float>& v) {
        heard = static_cast<int>(p->size() + v.size());
      });
  s.rec->on_save_time_data.push_back(
      [](const rtf::ParamList&, float, float, float, std::uint8_t, const std::vector<float>&) {
        throw std::runtime_error("приёмник сломан");
      });
  s.tick(1);
  s.rec->save_time_values();
  EXPECT_EQ(heard, 6);
  ASSERT_EQ(s.log.size(), 1u);
  EXPECT_EQ(s.log[0], "Ошибка в on_save_time_data : приёмник сломан");
  EXPECT_EQ(s.rec->get_queue_size(), 1u);
}

TEST(StoredValues, LinesFollowAnEditOfTheTableBetweenTwoTicks) {
  Station s;
  s.tick(12, 34, 56);
  s.rec->save_fast_file();
  s.rec->save_time_values();
  // The pressure row becomes the weight on bit; the block row gets another unit.
  s.storage.par_tabl()[kPressure].identifier = "нагрузка";
  s.storage.par_tabl()[kBlock].unit = "см";
  s.tick(13, 7, 57);
  s.rec->save_fast_file();
  s.rec->save_time_values();
  const auto fast = s.lines(s.rec->file_names().fast);
  ASSERT_EQ(fast.size(), 2u);
  EXPECT_EQ(fast[0], (std::vector<float>{12, 34, 0, 0, 56}));
  // Inlet pressure has no row any more (fed as 0); weight on bit is read from the row.
  EXPECT_EQ(fast[1], (std::vector<float>{13, 0, 0, 7, 57}));
  const auto time_blocks = s.written(s.rec->file_names().time);
  std::vector<int> types;
  for (const Block& b : time_blocks) types.push_back(b.type);
  // A new parameter block before the second line: an identifier and a unit changed.
  EXPECT_EQ(types, (std::vector<int>{99, 2, 1, 2, 1}));
  EXPECT_EQ(identifiers_of(time_blocks[3].payload)[kPressure], "нагрузка");
  EXPECT_EQ(f32_at(time_blocks[4].payload, 45 + 4 * kPressure), 7.0f);
  // A file's parameter block is written again only when the identifiers change: a change
  // of unit alone goes on under the block in force.
  s.storage.par_tabl()[kBlock].unit = "мм";
  s.tick(14, 8, 58);
  s.rec->save_time_values();
  types.clear();
  const auto later = s.written(s.rec->file_names().time);
  for (const Block& b : later) types.push_back(b.type);
  EXPECT_EQ(types, (std::vector<int>{99, 2, 1, 2, 1, 1}));
  EXPECT_EQ(f32_at(later.back().payload, 45 + 4 * kPressure), 8.0f);
}

std::string extended_bytes(long double v) {
  lib::io::BinaryMemoryOutputStream out;
  rtf::write_extended(out, v);
  return out.data();
}

long double extended_back(const std::string& bytes) {
  lib::io::BinaryMemoryInputStream in(bytes);
  return rtf::read_extended(in);
}

TEST(StoredValuesState, TheExtendedSumIsStoredInTheTenByteLayoutWhateverThePlatform) {
  // 1.0: significand 0x8000000000000000, exponent 0x3FFF; -2.5: 0xA000..., 0xC000.
  EXPECT_EQ(extended_bytes(1.0L), std::string("\0\0\0\0\0\0\0\x80\xFF\x3F", 10));
  EXPECT_EQ(extended_bytes(-2.5L), std::string("\0\0\0\0\0\0\0\xA0\x00\xC0", 10));
  EXPECT_EQ(extended_bytes(0.0L), std::string(10, '\0'));
  for (long double v : {0.1L, -123456.789L, 1e300L, 3.0L / 7, 1e-300L}) {
    EXPECT_EQ(extended_back(extended_bytes(v)), v);
  }
  EXPECT_TRUE(
      std::isinf(extended_back(extended_bytes(std::numeric_limits<long double>::infinity()))));
  EXPECT_TRUE(std::isnan(extended_back(extended_bytes(std::nanl("")))));
}

TEST(StoredValuesState, AccumulatorsAndWaitingLinesSurviveARestartAndACutStateIsRefused) {
  Station s;
  s.storage.set_depth_file_on(true);
  s.tick(1);
  s.tick(2);  // mean 1.5 pending in the time file
  s.rec->save_depth_values(100, 1);
  s.tick(4);
  lib::io::BinaryMemoryOutputStream out;
  {
    lib::serial_list list(out, 1);
    s.rec->serialize_state(list, rtf::RealTimeFile::kStateVersion);
  }
  auto again = s.make_recorder();
  again->calculate_file_names(s.home.path(), 6);
  {
    lib::io::BinaryMemoryInputStream in(out.data());
    lib::serial_list list(in, 1);
    again->serialize_state(list, rtf::RealTimeFile::kStateVersion);
  }
  ASSERT_EQ(again->pending_lag_lines(), 1u);
  EXPECT_EQ(again->lag_lines().front().depth, 100);
  EXPECT_EQ(again->lag_lines().front().delay, 1);
  again->save_time_values();
  again->write_pending();
  const auto blocks = blocks_of(testing_support::read_file(again->file_names().time));
  ASSERT_EQ(blocks.size(), 3u);
  EXPECT_FLOAT_EQ(f32_at(blocks[2].payload, 45), 7.0f / 3);

  for (std::size_t cut : {out.data().size() - 1, out.data().size() / 2, std::size_t{3}}) {
    auto third = s.make_recorder();
    lib::io::BinaryMemoryInputStream in(std::string_view(out.data()).substr(0, cut));
    lib::serial_list list(in, 1);
    EXPECT_THROW(third->serialize_state(list, rtf::RealTimeFile::kStateVersion),
                 lib::io::StreamError)
        << cut;
  }
}

}  // namespace
