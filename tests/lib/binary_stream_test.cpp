#include "lib/binary_stream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <iterator>
#include <limits>

#include "support/fakes.h"

using namespace lib;
using namespace lib::io;
using testing_support::FaultyFileSystem;
using testing_support::TempDir;

namespace {

std::string hex(std::string_view bytes) {
  static const char* d = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += d[c >> 4];
    out += d[c & 15];
  }
  return out;
}

TEST(BinaryStream, NumbersAreLittleEndianWhateverTheHost) {
  BinaryMemoryOutputStream out;
  write_binary(out, std::uint32_t{0x01020304});
  write_binary(out, std::int16_t{-2});
  write_binary(out, 1.0);
  write_binary(out, 1.0f);
  write_binary(out, true);
  EXPECT_EQ(hex(out.data()),
            "04030201"
            "feff"
            "000000000000f03f"
            "0000803f"
            "01");
}

TEST(BinaryStream, ReadingPastTheEndThrowsAndLeavesNothingHalfRead) {
  BinaryMemoryOutputStream out;
  write_binary(out, std::uint16_t{7});
  BinaryMemoryInputStream in(out.data());
  EXPECT_THROW(read_binary<std::uint32_t>(in), StreamError);
  EXPECT_EQ(in.position(), 0u);
  EXPECT_EQ(read_binary<std::uint16_t>(in), 7);
  EXPECT_THROW(read_binary<std::uint8_t>(in), StreamError);
  EXPECT_THROW(in.seek(3), StreamError);
}

TEST(BinaryStream, StringLengthThatDoesNotFitIsRefusedBeforeAllocating) {
  BinaryMemoryOutputStream out;
  write_binary(out, std::uint32_t{0xFFFFFFF0u});  // a damaged length: ~4 GiB
  write_bytes(out, "abc");
  BinaryMemoryInputStream in(out.data());
  try {
    read_binary<std::string>(in);
    FAIL() << "a length beyond the data must be refused";
  } catch (const StreamError& e) {
    EXPECT_NE(std::string(e.what()).find("does not fit"), std::string::npos) << e.what();
  }
  BinaryMemoryInputStream short_block(
      std::string_view("\x05\x00\x00\x00"
                       "ab",
                       6));
  EXPECT_THROW(read_binary<std::string>(short_block), StreamError);
  EXPECT_THROW(read_bytes(short_block, 100), StreamError);
}

TEST(BinaryFileStream, CreatesTruncatesAndAppends) {
  TempDir dir;
  const std::string path = dir.file("a.bin");
  {
    BinaryOutputFileStream out(path, /*append=*/true,
                               lib::posix_file_system());  // missing file is created
    write_binary(out, std::uint32_t{1});
  }
  {
    BinaryOutputFileStream out(path, /*append=*/true, lib::posix_file_system());
    write_binary(out, std::uint32_t{2});
  }
  {
    BinaryInputStream in(path, lib::posix_file_system());
    EXPECT_EQ(in.size(), 8u);
    EXPECT_EQ(read_binary<std::uint32_t>(in), 1u);
    EXPECT_EQ(read_binary<std::uint32_t>(in), 2u);
  }
  {
    BinaryOutputFileStream out(path, /*append=*/false, lib::posix_file_system());
    write_binary(out, std::uint8_t{9});
  }
  EXPECT_EQ(testing_support::read_file(path), std::string(1, '\x09'));
  EXPECT_THROW(BinaryInputStream(dir.file("missing.bin"), lib::posix_file_system()), StreamError);
  EXPECT_THROW(
      BinaryOutputFileStream(dir.file("no/such/folder/x.bin"), false, lib::posix_file_system()),
      StreamError);
}

TEST(BinaryFileStream, ShortWritesStillDeliverEveryByte) {
  TempDir dir;
  FaultyFileSystem fs;
  fs.max_write_chunk = 3;
  std::string big(200000, 'x');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  {
    BinaryOutputFileStream out(dir.file("s.bin"), false, fs);
    write_bytes(out, "head");
    write_bytes(out, big);
    out.close();
  }
  EXPECT_EQ(testing_support::read_file(dir.file("s.bin")), "head" + big);
}

TEST(BinaryFileStream, FullDiskIsReportedNotHidden) {
  TempDir dir;
  FaultyFileSystem fs;
  fs.fail_after_bytes = 10;
  BinaryOutputFileStream out(dir.file("f.bin"), false, fs);
  write_bytes(out, std::string(100, 'a'));  // buffered: the failure shows on flush
  EXPECT_THROW(out.close(), StreamError);
  EXPECT_FALSE(out.is_open());
}

TEST(AtomicWrite, FailureKeepsTheOldFileAndRemovesTheTemporary) {
  TempDir dir;
  const std::string path = dir.file("state.bin");
  write_file_atomically(path, "old content", lib::posix_file_system());

  for (int fault = 0; fault < 3; ++fault) {
    FaultyFileSystem fs;
    if (fault == 0) fs.fail_after_bytes = 4;
    if (fault == 1) fs.fail_fsync = true;
    if (fault == 2) fs.fail_rename = true;
    EXPECT_THROW(write_file_atomically(path, "new content that is longer", fs), StreamError)
        << fault;
    EXPECT_EQ(testing_support::read_file(path), "old content") << fault;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1)
        << "temporary file left behind, fault " << fault;
  }
  write_file_atomically(path, "new", lib::posix_file_system());
  EXPECT_EQ(testing_support::read_file(path), "new");
}

}  // namespace
