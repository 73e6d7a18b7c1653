// The write token in the station home: made once, private to its owner, never overwritten,
// and refused when it could be read by others or is not a token.
#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/fakes.h"
#include "web/token.h"
#include "web/web_format.h"

namespace {

using ::testing::HasSubstr;
using testing_support::read_file;
using testing_support::TempDir;

const std::string kToken(64, 'a');

TEST(WebToken, IsMadePrivateOnceAndReadBackAfterwards) {
  TempDir dir;
  auto first = web::load_or_create_token(dir.path(), lib::posix_file_system());
  ASSERT_EQ(first.token.size(), web::format::kTokenChars) << first.message;
  EXPECT_TRUE(first.created);
  const std::string path = dir.file("web.token");
  EXPECT_EQ(read_file(path), first.token + "\n");
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  auto again = web::load_or_create_token(dir.path(), lib::posix_file_system());
  EXPECT_EQ(again.token, first.token);
  EXPECT_FALSE(again.created);
  // Two random tokens differ: the source is not a constant.
  EXPECT_NE(web::random_token(), web::random_token());
}

TEST(WebToken, AFileOthersMayReadTurnsWritesOff) {
  TempDir dir;
  const std::string path = dir.file("web.token");
  auto made = web::load_or_create_token(dir.path(), lib::posix_file_system());
  ASSERT_FALSE(made.token.empty());
  ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
  auto loaded = web::load_or_create_token(dir.path(), lib::posix_file_system());
  EXPECT_TRUE(loaded.token.empty());
  EXPECT_THAT(loaded.message, HasSubstr("may be read by others (mode 0644)"));
  EXPECT_THAT(loaded.message, HasSubstr(path));
  EXPECT_EQ(read_file(path), made.token + "\n");  // left as it was
}

TEST(WebToken, AFileThatIsNoTokenIsKeptAndRefused) {
  TempDir dir;
  const std::string path = dir.file("web.token");
  for (const std::string& text :
       {std::string("secret\n"), std::string(64, 'G'), kToken + "\nmore\n", std::string()}) {
    {
      std::FILE* f = std::fopen(path.c_str(), "w");
      std::fwrite(text.data(), 1, text.size(), f);
      std::fclose(f);
    }
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    auto loaded = web::load_or_create_token(dir.path(), lib::posix_file_system());
    EXPECT_TRUE(loaded.token.empty()) << text;
    EXPECT_THAT(loaded.message, HasSubstr("does not hold one line of 64 hex digits")) << text;
    EXPECT_EQ(read_file(path), text);
  }
  EXPECT_EQ(web::token_of_file_text(kToken + "\r\n"), kToken);
  EXPECT_EQ(web::token_of_file_text(kToken), kToken);
}

TEST(WebToken, AFailedWriteLeavesNoHalfToken) {
  TempDir dir;
  testing_support::FaultyFileSystem fs;
  fs.fail_after_bytes = 10;
  auto state = web::load_or_create_token(dir.path(), fs);
  EXPECT_TRUE(state.token.empty());
  EXPECT_THAT(state.message, HasSubstr("cannot write the web token"));
  EXPECT_FALSE(lib::exists(lib::posix_file_system(), dir.file("web.token")));

  testing_support::FaultyFileSystem refusing;
  refusing.fail_open_with = "web.token";
  state = web::load_or_create_token(dir.path(), refusing);
  EXPECT_THAT(state.message, HasSubstr("cannot create the web token"));
  // A source that gives no proper token is not written down.
  state = web::load_or_create_token(dir.path(), lib::posix_file_system(),
                                    [] { return std::string("short"); });
  EXPECT_TRUE(state.token.empty());
  EXPECT_FALSE(lib::exists(lib::posix_file_system(), dir.file("web.token")));
}

// The permissions come through the file system seam like the rest of the file's status.
TEST(WebToken, PermissionsAreAskedThroughTheSeam) {
  TempDir dir;
  ASSERT_FALSE(web::load_or_create_token(dir.path(), lib::posix_file_system()).token.empty());
  struct OpenToAll : testing_support::FaultyFileSystem {
    std::optional<lib::FileStatus> stat(const std::string& path) override {
      auto status = FaultyFileSystem::stat(path);
      if (status) status->permissions = 0644;
      return status;
    }
  } fs;
  auto state = web::load_or_create_token(dir.path(), fs);
  EXPECT_TRUE(state.token.empty());
  EXPECT_THAT(state.message, HasSubstr("may be read by others (mode 0644)"));
}

}  // namespace
