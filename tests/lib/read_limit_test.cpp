// A path may name an endless input (/dev/zero, a FIFO fed forever) or a huge file: every
// whole-file reader stops at its limit with a reason that names the limit, instead of
// growing until the memory is gone.
#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>

#include "lib/binary_stream.h"
#include "lib/file_system.h"
#include "support/fakes.h"

namespace {

using testing_support::EndlessFileSystem;
using testing_support::TempDir;

TEST(ReadLimit, AnEndlessInputStopsJustPastTheLimit) {
  EndlessFileSystem endless;
  constexpr std::size_t kLimit = 100000;
  errno = 0;
  EXPECT_FALSE(lib::read_whole_file("/dev/endless", endless, kLimit));
  EXPECT_EQ(errno, EFBIG);
  EXPECT_EQ(endless.bytes_read, static_cast<long long>(kLimit) + 1);
  EXPECT_EQ(endless.open_fds, 0);  // closed again

  EXPECT_EQ(lib::read_failure_text(EFBIG, std::size_t{64} << 20),
            "larger than 64 MiB, the most such a file may hold");
  EXPECT_EQ(lib::byte_count_text(4096), "4 KiB");
  EXPECT_EQ(lib::byte_count_text(1000), "1000 bytes");
}

TEST(ReadLimit, TheRealZeroDeviceIsRefusedAndTheStreamSaysWhy) {
  errno = 0;
  EXPECT_FALSE(lib::read_whole_file("/dev/zero", lib::posix_file_system(), 1 << 20));
  EXPECT_EQ(errno, EFBIG);
  try {
    lib::io::BinaryInputStream in("/dev/zero", lib::posix_file_system(), 1 << 20);
    FAIL() << "an endless input was read";
  } catch (const lib::io::StreamError& e) {
    EXPECT_NE(std::string(e.what()).find("/dev/zero"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("1 MiB"), std::string::npos) << e.what();
  }
}

TEST(ReadLimit, AFileUpToTheLimitIsReadWholeAndOneByteMoreIsNot) {
  TempDir dir;
  const std::string exact(4096, 'a');
  std::ofstream(dir.file("exact"), std::ios::binary) << exact;
  std::ofstream(dir.file("over"), std::ios::binary) << exact << 'b';
  EXPECT_EQ(lib::read_whole_file(dir.file("exact"), lib::posix_file_system(), 4096), exact);
  errno = 0;
  EXPECT_FALSE(lib::read_whole_file(dir.file("over"), lib::posix_file_system(), 4096));
  EXPECT_EQ(errno, EFBIG);
  // A missing file still says so.
  errno = 0;
  EXPECT_FALSE(lib::read_whole_file(dir.file("none"), lib::posix_file_system(), 4096));
  EXPECT_EQ(errno, ENOENT);
}

}  // namespace
