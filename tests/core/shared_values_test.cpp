#include "core/shared_values.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "core/shared_values_format.h"
#include "support/fakes.h"

using namespace reg;
using testing_support::TempDir;

namespace {

TEST(SharedValues, FileIsFiveLittleEndianFloatsInTheirOrder) {
  std::string bytes = encode_shared_values({1.0, 2.0, -1.0, 0.5, 1e10});
  ASSERT_EQ(bytes.size(), kvb::kFileBytes);
  EXPECT_EQ(bytes.substr(kvb::kBottomHoleDepth, 4), std::string("\x00\x00\x80\x3f", 4));
  EXPECT_EQ(bytes.substr(kvb::kBitDepth, 4), std::string("\x00\x00\x00\x40", 4));
  EXPECT_EQ(bytes.substr(kvb::kHookLoad, 4), std::string("\x00\x00\x80\xbf", 4));
  EXPECT_EQ(bytes.substr(kvb::kBlockPosition, 4), std::string("\x00\x00\x00\x3f", 4));
  auto back = decode_shared_values(bytes);
  ASSERT_TRUE(back);
  EXPECT_FLOAT_EQ(static_cast<float>(back->inlet_pressure), 1e10f);
  EXPECT_FALSE(decode_shared_values(bytes.substr(0, 19)));
  EXPECT_FALSE(decode_shared_values(bytes + "x"));
}

TEST(SharedValues, UnwritableFileIsSkippedQuietly) {
  lib::lock_object lock(lib::lock_object::kInterProcess, "/nonexistent/kvb.lock",
                        lib::posix_file_system());
  SharedValuesWriter writer("/nonexistent/kvb.dat", lock, lib::posix_file_system());
  EXPECT_FALSE(writer.write({}));
  EXPECT_FALSE(writer.write({}));
}

// Someone else removes the file, renames another over it or cuts it short: the next tick
// puts a whole record back where readers look, instead of writing into a lost inode.
TEST(SharedValues, FileRemovedReplacedOrCutIsMadeWholeAgain) {
  TempDir dir;
  const std::string path = dir.file("kvb.dat");
  lib::lock_object lock(lib::lock_object::kInProcess);
  auto& fs = lib::posix_file_system();
  SharedValuesWriter writer(path, lock, fs);
  ASSERT_TRUE(writer.write({1, 1, 1, 1, 1}));
  ASSERT_TRUE(writer.write({1, 1, 1, 1, 1}));

  std::filesystem::remove(path);
  ASSERT_TRUE(writer.write({2, 2, 2, 2, 2}));
  EXPECT_EQ(read_shared_values(path, lock, fs), (SharedValues{2, 2, 2, 2, 2}));

  std::ofstream(dir.file("other")) << "junk";
  std::filesystem::rename(dir.file("other"), path);
  ASSERT_TRUE(writer.write({3, 3, 3, 3, 3}));
  EXPECT_EQ(read_shared_values(path, lock, fs), (SharedValues{3, 3, 3, 3, 3}));

  std::filesystem::resize_file(path, 7);
  ASSERT_TRUE(writer.write({4, 4, 4, 4, 4}));
  EXPECT_EQ(read_shared_values(path, lock, fs), (SharedValues{4, 4, 4, 4, 4}));
  ASSERT_TRUE(writer.write({5, 5, 5, 5, 5}));
  EXPECT_EQ(read_shared_values(path, lock, fs), (SharedValues{5, 5, 5, 5, 5}));
}

// A write cut short in place is made good at once by replacing the file whole; a write that
// cannot be made at all reports failure and leaves the last whole record for the next tick.
TEST(SharedValues, ShortOrFailedWritesNeverLeaveAMixedRecord) {
  TempDir dir;
  const std::string path = dir.file("kvb.dat");
  lib::lock_object lock(lib::lock_object::kInProcess);
  testing_support::FaultyFileSystem fs;
  SharedValuesWriter writer(path, lock, fs);
  ASSERT_TRUE(writer.write({1, 1, 1, 1, 1}));
  ASSERT_TRUE(writer.write({1, 1, 1, 1, 1}));
  fs.max_write_chunk = 6;
  EXPECT_TRUE(writer.write({2, 2, 2, 2, 2}));
  EXPECT_EQ(read_shared_values(path, lock, fs), (SharedValues{2, 2, 2, 2, 2}));
  fs.max_write_chunk = 0;
  fs.fail_after_bytes = fs.written.load();
  EXPECT_FALSE(writer.write({3, 3, 3, 3, 3}));
  EXPECT_EQ(read_shared_values(path, lock, fs), (SharedValues{2, 2, 2, 2, 2}));
  fs.fail_after_bytes = -1;
  ASSERT_TRUE(writer.write({4, 4, 4, 4, 4}));
  EXPECT_EQ(read_shared_values(path, lock, fs), (SharedValues{4, 4, 4, 4, 4}));
}

// Two processes export hundreds of times while a third reads without taking the lock and
// a fourth reads with it: the locked reader always sees one whole record, and even the
// reader without the lock never finds the file short or missing once it exists.
TEST(SharedValues, ConcurrentExportersNeverShowAMixedRecord) {
  TempDir dir;
  const std::string path = dir.file("kvb.dat");
  const std::string lock_file = dir.file("kvb.dat.lock");
  constexpr int kWrites = 400;

  auto spawn = [&](auto body) {
    pid_t pid = fork();
    if (pid == 0) _exit(body());
    return pid;
  };
  auto writer = [&](float base) {
    return [&, base] {
      lib::lock_object lock(lib::lock_object::kInterProcess, lock_file, lib::posix_file_system());
      SharedValuesWriter out(path, lock, lib::posix_file_system());
      for (int i = 0; i < kWrites; ++i) {
        float v = base + static_cast<float>(i);
        if (!out.write({v, v, v, v, v})) return 2;
      }
      return 0;
    };
  };
  // A reader sees a record whose five values agree, from one writer, or no file yet.
  auto reader = [&](bool locked) {
    return [&, locked] {
      lib::lock_object lock(locked ? lib::lock_object::kInterProcess : lib::lock_object::kNoLock,
                            lock_file, lib::posix_file_system());
      // Wait for the first record: under load the writers may start after this reader.
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (!std::filesystem::exists(path) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      int seen = 0;
      for (int i = 0; i < 3000; ++i) {
        lib::lock_object& l = lock;
        auto bytes = [&] {
          std::lock_guard g(l);
          return lib::read_whole_file(path, lib::posix_file_system());
        }();
        if (!bytes) continue;
        if (bytes->size() != kvb::kFileBytes) return 3;
        auto v = decode_shared_values(*bytes);
        if (!v) return 4;
        const bool mixed =
            v->bit_depth != v->bottom_hole_depth || v->hook_load != v->bottom_hole_depth ||
            v->block_position != v->bottom_hole_depth || v->inlet_pressure != v->bottom_hole_depth;
        if (locked && mixed) {
          return 5;
        }
        ++seen;
      }
      return seen > 0 ? 0 : 6;
    };
  };

  pid_t pids[] = {spawn(writer(0.0f)), spawn(writer(100000.0f)), spawn(reader(false)),
                  spawn(reader(true))};
  for (pid_t pid : pids) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "process " << pid;
  }
  // Only the final record is left, with no temporary files beside it.
  // kvb.dat and its lock file
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
  EXPECT_EQ(testing_support::read_file(path).size(), kvb::kFileBytes);
}

}  // namespace
