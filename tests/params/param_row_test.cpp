// A parameter row as a record: its input address, points, extended information,
// equality, the change report of an edit and the options question of the editor.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "file_builder.h"
#include "params/all_params.h"
#include "params/param.h"
#include "support/fakes.h"

namespace {

using params::Param;
using params::ParamExtInfo;
using params::UnitCalibrPoint;
using params::USOChannel;

Param sample() {
  Param p = params_test::param_of({"Давление ПЖ на входе", "P вх.", "атм.", "давление_на_входе", 5,
                                   250, 0.5f, 0, 250, 10, 0, 2, 0});
  p.points = {{0, 0}, {5, 250}};
  return p;
}

TEST(CalibrPoint, OrdersByInputAndComparesBothValues) {
  const UnitCalibrPoint a{1, 100}, b{2, 0}, c{1, 5};
  EXPECT_TRUE(a < b);
  EXPECT_FALSE(b < a);
  EXPECT_FALSE(a < c);
  EXPECT_FALSE(c < a);
  EXPECT_FALSE(a == c);
  EXPECT_TRUE(a == (UnitCalibrPoint{1, 100}));
  params::CalibrPoints points = {{3, 1}, {1, 2}, {2, 3}};
  std::sort(points.begin(), points.end());
  EXPECT_EQ(points, (params::CalibrPoints{{1, 2}, {2, 3}, {3, 1}}));
}

TEST(ParamEquality, EveryFieldButTheExtendedInformationCounts) {
  const Param base = sample();
  Param other = base;
  other.ext_info.set("wits", "строка");
  EXPECT_TRUE(base.equal(other));
  EXPECT_TRUE(base == other);

  auto differs = [&](auto change) {
    Param p = base;
    change(p);
    return p != base && !base.equal(p);
  };
  EXPECT_TRUE(differs([](Param& p) { p.full_name += "!"; }));
  EXPECT_TRUE(differs([](Param& p) { p.short_name += "!"; }));
  EXPECT_TRUE(differs([](Param& p) { p.unit += "!"; }));
  EXPECT_TRUE(differs([](Param& p) { p.identifier += "!"; }));
  EXPECT_TRUE(differs([](Param& p) { p.channel.module = 9; }));
  EXPECT_TRUE(differs([](Param& p) { p.channel.channel = 9; }));
  EXPECT_TRUE(differs([](Param& p) { p.channel.type = 2; }));
  EXPECT_TRUE(differs([](Param& p) { p.averaging = 2; }));
  EXPECT_TRUE(differs([](Param& p) { p.range = 250.0001f; }));
  EXPECT_TRUE(differs([](Param& p) { p.zero = 0; }));
  EXPECT_TRUE(differs([](Param& p) { p.scale_min = -1; }));
  EXPECT_TRUE(differs([](Param& p) { p.scale_max = 1; }));
  EXPECT_TRUE(differs([](Param& p) { p.attribute = 2; }));
  EXPECT_TRUE(differs([](Param& p) { p.points[1].y = 251; }));
  EXPECT_TRUE(differs([](Param& p) { p.points.pop_back(); }));
}

// --- Change report

TEST(CheckChanges, ListsChangedFieldsInOrderWithOldAndNewValues) {
  Param after = sample();
  after.full_name = "Давление на стояке";
  after.unit = "МПа";
  after.channel = USOChannel(3, 6, 1);
  after.averaging = 2;
  after.range = 25.5f;
  after.zero = -1;
  after.scale_max = 10;  // not reported
  after.attribute = 1;   // not reported
  EXPECT_EQ(sample().check_changes(after),
            "назв.[Давление ПЖ на входе -> Давление на стояке] "
            "ед.изм.[атм. -> МПа] "
            "АЦП[2 -> 3] АЦП[5 -> 6] тип канала[0 -> 1] "
            "осредн.[10 -> 2] диап.[250 -> 25.5] нуль[0.5 -> -1] ");
  EXPECT_EQ(sample().check_changes(sample()), "");
}

TEST(CheckChanges, DescribesWhatHappenedToThePoints) {
  Param corrected = sample();
  corrected.points[0].y = 2;
  Param removed = sample();
  removed.points.clear();
  EXPECT_EQ(sample().check_changes(removed), "удалены точки калибровки ");

  Param fresh = sample();
  fresh.points.clear();
  EXPECT_EQ(fresh.check_changes(sample()), "произведена калибровка по нескольким точкам ");

  Param both = corrected;
  both.averaging = 30;
  EXPECT_EQ(sample().check_changes(both), "осредн.[10 -> 30] скорректированы точки калибровки ");
}

// --- Extended information

TEST(ExtInfo, MissingOrNonNumericValuesReadAsZero) {
  ParamExtInfo info;
  EXPECT_EQ(info.get("half_life"), "");
  EXPECT_EQ(info.get_float("half_life"), 0.0);
  info.set("half_life", "30,5");
  info.set("radio_koeff", "не число");
  EXPECT_DOUBLE_EQ(info.get_float("half_life"), 30.5);
  EXPECT_EQ(info.get_float("radio_koeff"), 0.0);
}

TEST(ExtInfo, BinaryRoundTripAndDamage) {
  ParamExtInfo info;
  info.set("wits", "0108 Вес на крюке");
  info.set("", "пустой ключ");
  info.set("wits_server", "");
  lib::io::BinaryMemoryOutputStream out;
  info.save(out);

  ParamExtInfo back;
  back.set("старое", "значение");
  lib::io::BinaryMemoryInputStream in(out.data());
  back.load(in);
  EXPECT_EQ(back, info);
  EXPECT_TRUE(in.at_end());

  // Every cut of the data is refused and leaves the target as it was.
  for (std::size_t cut = 0; cut < out.data().size(); ++cut) {
    ParamExtInfo target;
    target.set("k", "v");
    lib::io::BinaryMemoryInputStream part(out.data().substr(0, cut));
    EXPECT_THROW(target.load(part), lib::io::StreamError) << cut;
    EXPECT_EQ(target.get("k"), "v");
  }
  // A count that cannot fit is refused before anything is allocated.
  lib::io::BinaryMemoryOutputStream huge;
  lib::io::write_binary(huge, std::int32_t{0x7FFFFFFF});
  lib::io::BinaryMemoryInputStream huge_in(huge.data());
  EXPECT_THROW(back.load(huge_in), lib::io::StreamError);
}

// --- Options of the editor

TEST(ParamOptions, OnlyDigitalRowsHaveOptions) {
  testing_support::TempDir home;
  params::AllParams catalogue(home.path(), lib::posix_file_system());
  reg::HostData host;
  host.text = "станция";

  Param ordinary = sample();
  int calls = 0;
  auto editor = [&](Param& row, const reg::HostData& h) {
    ++calls;
    EXPECT_EQ(h.text, "станция");
    row.ext_info.set("half_life", "30");
    return true;
  };
  EXPECT_FALSE(ordinary.param_options(host, catalogue, editor));
  EXPECT_EQ(calls, 0);

  Param meter = sample();
  meter.identifier = "плотн_пж_вх_радиоакт";
  EXPECT_TRUE(meter.param_options(host, catalogue));
  EXPECT_TRUE(meter.param_options(host, catalogue, editor));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(meter.ext_info.get("half_life"), "30");
  EXPECT_FALSE(
      meter.param_options(host, catalogue, [](Param&, const reg::HostData&) { return false; }));
}

}  // namespace
