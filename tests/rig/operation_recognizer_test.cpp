#include "rig/operation_recognizer.h"

#include <gtest/gtest.h>

#include <limits>

using rig::OperationRecognizer;
using rig::RecognitionSettings;
using rig::RigOperation;
using rig::RigSnapshot;

namespace {

RigSnapshot on_hook_at(double t, double bit, double bottom) {
  RigSnapshot s;
  s.seconds = t;
  s.on_hook = true;
  s.bit_depth = bit;
  s.bottom_depth = bottom;
  return s;
}

OperationRecognizer recognizer(double hold_seconds) {
  OperationRecognizer r;
  RecognitionSettings st;
  st.min_operation_seconds = hold_seconds;
  st.zero_pressure = 30;
  st.min_load = 0.5;
  st.stand_length = 36;
  r.set_settings(st);
  return r;
}

// Each rule on its own, with no hold time.
TEST(OperationRecognizer, EachRuleGivesItsOperation) {
  struct Case {
    const char* what;
    RigSnapshot s;
    RigOperation expected;
  };
  auto s = [](auto&& edit) {
    RigSnapshot x = on_hook_at(0, 990, 1000);
    edit(x);
    return x;
  };
  const Case cases[] = {
      {"on bottom with weight",
       s([](auto& x) { x.bit_depth = 1000, x.weight_on_bit = 5, x.inlet_pressure = 80; }),
       RigOperation::drilling},
      {"off bottom, pumping, moving",
       s([](auto& x) { x.inlet_pressure = 80, x.block_speed = 0.2; }), RigOperation::reaming},
      {"off bottom, pumping, still", s([](auto& x) { x.inlet_pressure = 80; }),
       RigOperation::flushing},
      {"pumps off, block going up", s([](auto& x) { x.block_speed = 0.5; }),
       RigOperation::tripping_out},
      {"pumps off, block going down", s([](auto& x) { x.block_speed = -0.5; }),
       RigOperation::tripping_in},
      {"pumps off, still", s([](auto&) {}), RigOperation::idle},
      {"slips near bottom", s([](auto& x) { x.on_hook = false; }), RigOperation::connection},
      {"slips far from bottom, no trip before",
       s([](auto& x) { x.on_hook = false, x.bit_depth = 200; }), RigOperation::idle},
      {"unknown pressure is not pumping",
       s([](auto& x) { x.inlet_pressure = std::numeric_limits<double>::quiet_NaN(); }),
       RigOperation::idle},
      {"pressure at the zero pressure is not pumping", s([](auto& x) { x.inlet_pressure = 30; }),
       RigOperation::idle},
  };
  for (const Case& c : cases) {
    OperationRecognizer r = recognizer(0);
    EXPECT_EQ(r.tick(c.s), c.expected) << c.what;
  }
}

TEST(OperationRecognizer, ReamingNeedsRotationWhenTheSettingSaysSo) {
  OperationRecognizer r = recognizer(0);
  RecognitionSettings st = r.settings();
  st.rotation_for_reaming = true;
  r.set_settings(st);
  RigSnapshot x = on_hook_at(0, 990, 1000);
  x.inlet_pressure = 80;
  x.block_speed = -0.2;
  EXPECT_EQ(r.tick(x), RigOperation::flushing);
  x.rotary_speed = 60;
  EXPECT_EQ(r.tick(x), RigOperation::reaming);
}

// A trip goes on while the string sits in the slips between stands, even the last stand
// near the bottom; a pick-up near the bottom that ends in the slips is a connection.
TEST(OperationRecognizer, TripDirectionHoldsThroughTheSlips) {
  {
    OperationRecognizer r = recognizer(0);
    RigSnapshot x = on_hook_at(0, 1000, 1000);
    x.block_speed = 0.6;
    EXPECT_EQ(r.tick(x), RigOperation::tripping_out);
    x.bit_depth = 990;
    x.on_hook = false;
    EXPECT_EQ(r.tick(x), RigOperation::connection);
  }
  OperationRecognizer r = recognizer(0);
  RigSnapshot x = on_hook_at(0, 500, 1000);
  x.block_speed = 0.6;
  EXPECT_EQ(r.tick(x), RigOperation::tripping_out);
  x.on_hook = false;
  x.block_speed = -0.6;  // the empty block goes down for the next stand
  EXPECT_EQ(r.tick(x), RigOperation::tripping_out);
  x.on_hook = true;
  x.block_speed = -0.6;
  EXPECT_EQ(r.tick(x), RigOperation::tripping_in);
  x.on_hook = false;
  EXPECT_EQ(r.tick(x), RigOperation::tripping_in);
  x.bit_depth = 990;  // the last stand in: still the trip
  EXPECT_EQ(r.tick(x), RigOperation::tripping_in);
  // Pumping ends the trip; the slips near the bottom are a connection again.
  x.on_hook = true;
  x.block_speed = 0;
  x.inlet_pressure = 80;
  EXPECT_EQ(r.tick(x), RigOperation::flushing);
  x.on_hook = false;
  x.inlet_pressure = 0;
  EXPECT_EQ(r.tick(x), RigOperation::connection);
}

// The hold time keeps a short pick-up during drilling from becoming a trip, and a new
// operation takes over once it held long enough. Drilling stays recognised for a minute
// after the bottom last moved even with no weight on bit reported.
TEST(OperationRecognizer, NewOperationMustHoldForTheMinimumTime) {
  OperationRecognizer r = recognizer(180);
  RigSnapshot x = on_hook_at(0, 1000, 1000);
  x.inlet_pressure = 80;
  x.drilled = true;
  EXPECT_EQ(r.tick(x), RigOperation::drilling);  // the first one is taken at once
  x.drilled = false;
  x.seconds = 30;
  EXPECT_EQ(r.tick(x), RigOperation::drilling);
  // A 2-minute pick-up with pumps on: reaming candidate, still drilling.
  x.bit_depth = 995;
  x.block_speed = 0.1;
  for (double t = 40; t <= 160; t += 10) {
    x.seconds = t;
    EXPECT_EQ(r.tick(x), RigOperation::drilling) << t;
  }
  EXPECT_EQ(r.candidate(), RigOperation::reaming);
  for (double t = 170; t <= 230; t += 10) {
    x.seconds = t;
    r.tick(x);
  }
  EXPECT_EQ(r.current(), RigOperation::reaming);
}

}  // namespace
