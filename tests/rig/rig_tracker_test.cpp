#include "rig/rig_tracker.h"

#include <gtest/gtest.h>

#include <string>

#include "params/all_params.h"
#include "storage/data_storage.h"
#include "support/fakes.h"

namespace {

// The tracker over a storage whose bottom is 1000 m with the bit on bottom; one pulse is one
// metre of block travel, so a count of -k lowers the block (and the bit) by k metres.
struct Rig {
  testing_support::TempDir home;
  params::AllParams catalogue{home.path(), lib::posix_file_system()};
  ds_tmp::DataStorage ds{catalogue};
  rig::RigTracker tracker{
      ds,
      {.travel_for = [](std::int64_t pulses, double, rig::RigOperation) { return double(pulses); },
       .annulus = [](double) { return 0.0; },
       .log = [](const std::string&) {}}};
  Rig() {
    ds.set_depth_z(1000);
    ds.set_depth_cur(1000);
    rig::RigTrackerSettings s;
    s.depth.block_low = 0;
    s.depth.block_high = 30;
    tracker.set_settings(s);
    tracker.start();
  }
  void tick(std::int64_t pulses, double seconds) {
    tracker.tick({.seconds = seconds, .pulses = pulses, .hook_load = 100});
  }
};

TEST(RigTracker, ItsOwnWritesAreNotTakenForSomeoneElses) {
  Rig r;
  // The storage drags a bit on bottom along with a new bottom; the tracker's bit stays where
  // the operator left it, and the storage must say so too.
  ASSERT_TRUE(r.tracker.set_bottom(1010));
  r.tick(0, 0);
  EXPECT_FALSE(r.tracker.take_outside_depths());
  EXPECT_DOUBLE_EQ(r.ds.depth_z(), 1010);
  EXPECT_DOUBLE_EQ(r.ds.depth_cur(), 1000);
}

TEST(RigTracker, GoesOnFromDepthsSetElsewhere) {
  Rig r;
  r.tick(0, 0);
  // A plug-in moves the depths: even a write of the same bottom counts as someone else's.
  r.ds.set_depth_z(1200);
  r.ds.set_depth_cur(1150);
  ASSERT_TRUE(r.tracker.take_outside_depths());
  EXPECT_DOUBLE_EQ(r.tracker.depths().bottom, 1200);
  EXPECT_DOUBLE_EQ(r.tracker.depths().bit, 1150);
  EXPECT_FALSE(r.tracker.take_outside_depths());
  r.ds.set_depth_z(1200);
  EXPECT_TRUE(r.tracker.take_outside_depths());
}

}  // namespace
