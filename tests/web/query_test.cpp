// The request parts the web view reads itself: query strings, parameter lists, times, the
// bearer token, static file paths and the listen address.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "lib/str_enc.h"
#include "web/query.h"
#include "web/web_format.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Pair;

TEST(Query, DecodesEscapesAndRefusesBadOnes) {
  EXPECT_EQ(web::percent_decode("a%20b+c%2C%d0%b2"), "a b c,\xd0\xb2");
  EXPECT_EQ(web::percent_decode(""), "");
  EXPECT_EQ(web::percent_decode("%"), std::nullopt);
  EXPECT_EQ(web::percent_decode("%4"), std::nullopt);
  EXPECT_EQ(web::percent_decode("ab%4"), std::nullopt);
  EXPECT_EQ(web::percent_decode("%zz"), std::nullopt);
  EXPECT_EQ(web::percent_decode("%00"), std::nullopt);  // a NUL would cut names short
  EXPECT_EQ(web::percent_decode(std::string("a\0b", 3)), std::nullopt);  // raw, too
  EXPECT_EQ(web::percent_decode("%41"), "A");
}

TEST(Query, SplitsFieldsInOrderAndKeepsTheFirstOfAName) {
  const auto q = web::parse_query("params=a,b&since=12.5&&flag&params=c");
  EXPECT_TRUE(q.error.empty());
  EXPECT_THAT(q.fields, ElementsAre(Pair("params", "a,b"), Pair("since", "12.5"), Pair("flag", ""),
                                    Pair("params", "c")));
  EXPECT_EQ(q.get("params"), "a,b");
  EXPECT_EQ(q.get("none"), std::nullopt);

  const auto bad = web::parse_query("a=1&b=%G1");
  EXPECT_THAT(bad.error, HasSubstr("%G1"));
  EXPECT_TRUE(bad.fields.empty());
  const auto long_one = web::parse_query(std::string(web::format::kMaxQueryBytes + 1, 'x'));
  EXPECT_THAT(long_one.error, HasSubstr("longer than"));
  // Fields are answered back as JSON: a NUL or bytes that are not UTF-8 are refused, and the
  // field quoted in the reason is text itself.
  for (const std::string& raw : {std::string("a=1&b\0=2", 8), std::string("params=%D0%B2%D0"),
                                 std::string("params=\xd0"), std::string("p=%FF&q=1")}) {
    const auto q = web::parse_query(raw);
    EXPECT_FALSE(q.error.empty()) << raw;
    EXPECT_TRUE(q.fields.empty()) << raw;
    EXPECT_TRUE(lib::is_valid_utf8(q.error)) << q.error;
  }
}

TEST(Query, AWriteIsUtf8TextOrRefusedWithTheOffsetOfTheBadByte) {
  struct Case {
    std::string body;
    bool one_line, may_be_empty;
    std::optional<std::string> text;
    std::string error;
  };
  const Case cases[] = {
      {"pump 2 repaired\r\n", false, false, "pump 2 repaired", ""},
      {"две\nстроки", false, false, "две\nстроки", ""},
      {"ok text \xc3", false, false, std::nullopt,
       "not UTF-8 text (an ill-formed byte at offset 8)"},
      {"\xed\xa0\x80", true, true, std::nullopt, "at offset 0"},  // a surrogate
      {"bit 1\nbottom 2", true, false, std::nullopt, "one line"},
      {std::string("bit\0 1", 6), true, false, std::nullopt, "one line"},
      {"\n", false, false, std::nullopt, "empty"},
      {"\n", true, true, "", ""},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_EQ(web::write_text(c.body, c.one_line, c.may_be_empty, error), c.text) << c.body;
    if (!c.text) {
      EXPECT_THAT(error, HasSubstr(c.error)) << c.body;
    }
  }
}

TEST(Query, AnOriginIsThisServerOnlyWhenItNamesTheHostAsked) {
  EXPECT_TRUE(web::origin_is_host("http://127.0.0.1:8080", "127.0.0.1:8080"));
  EXPECT_TRUE(web::origin_is_host("HTTP://Rig-7:80", "rig-7:80"));
  for (const auto& [origin, host] : std::vector<std::pair<std::string, std::string>>{
           {"http://evil.example", "127.0.0.1:8080"},
           {"http://127.0.0.1:8081", "127.0.0.1:8080"},
           {"https://127.0.0.1:8080", "127.0.0.1:8080"},
           {"http://127.0.0.1:8080.evil.example", "127.0.0.1:8080"},
           {"null", "127.0.0.1:8080"},
           {"http://", ""}})
    EXPECT_FALSE(web::origin_is_host(origin, host)) << origin << " " << host;
}

TEST(Query, SplitsATargetAtTheFirstQuestionMark) {
  EXPECT_EQ(web::split_target("/api/history?params=a?b").first, "/api/history");
  EXPECT_EQ(web::split_target("/api/history?params=a?b").second, "params=a?b");
  EXPECT_EQ(web::split_target("/x").second, "");
}

TEST(Query, ParameterListsDropBlanksAndAreBounded) {
  std::string error;
  EXPECT_THAT(*web::parse_param_list(" вес_на_крюке , ,rig.bit,", error),
              ElementsAre("вес_на_крюке", "rig.bit"));
  EXPECT_TRUE(web::parse_param_list("", error)->empty());
  EXPECT_EQ(web::parse_param_list("a,b\x01", error), std::nullopt);
  EXPECT_THAT(error, HasSubstr("control character"));
  std::string many;
  for (std::size_t i = 0; i <= web::format::kMaxHistoryParams; ++i) many += "p,";
  EXPECT_EQ(web::parse_param_list(many, error), std::nullopt);
  EXPECT_THAT(error, HasSubstr("more than"));
}

TEST(Query, SecondsAreFiniteDecimalsOnly) {
  EXPECT_EQ(web::parse_seconds("1796601593.179"), 1796601593.179);
  EXPECT_EQ(web::parse_seconds("-5"), -5.0);
  EXPECT_EQ(web::parse_seconds(".5"), 0.5);
  for (const char* bad : {"", "-", ".", "1e9", "nan", "inf", "+1", "1.2.3", "12 ", "0x10",
                          "123456789012345678901234567890123"})
    EXPECT_EQ(web::parse_seconds(bad), std::nullopt) << bad;
}

TEST(Query, BearerTokensAreTakenFromTheirSchemeOnly) {
  EXPECT_EQ(web::bearer_token("Bearer abc123"), "abc123");
  EXPECT_EQ(web::bearer_token("  bearer\tabc  "), "abc");
  EXPECT_EQ(web::bearer_token("BEARER abc"), "abc");
  for (const char* bad : {"", "Bearer", "Bearer ", "Basic abc", "Bearerabc", "Bearer a b",
                          "Bearer a\x01", "Token abc"})
    EXPECT_EQ(web::bearer_token(bad), std::nullopt) << bad;
}

TEST(Query, TokensMatchOnlyWhenEqual) {
  EXPECT_TRUE(web::tokens_equal("abcd", "abcd"));
  EXPECT_FALSE(web::tokens_equal("abce", "abcd"));
  EXPECT_FALSE(web::tokens_equal("abc", "abcd"));
  EXPECT_FALSE(web::tokens_equal("abcde", "abcd"));
  EXPECT_FALSE(web::tokens_equal("", ""));  // a station without a token accepts nothing
  EXPECT_FALSE(web::tokens_equal("abcd", ""));
}

TEST(Query, StaticPathsRefuseTraversalInEveryDisguise) {
  EXPECT_EQ(web::static_path("/"), "/");
  EXPECT_EQ(web::static_path("/app.js"), "/app.js");
  EXPECT_EQ(web::static_path("/a%20b/c+d.css"), "/a b/c+d.css");
  for (const char* bad : {"", "app.js", "/../etc/passwd", "/a/../../b", "/%2e%2e/etc/passwd",
                          "/%2E%2E%2Fx", "/..%2f..%2fetc", "/a//b", "/.hidden", "/a/./b",
                          "/a\\..\\b", "/a%5c..%5cb", "/a%00b", "/%zz", "/a%0ab"})
    EXPECT_EQ(web::static_path(bad), std::nullopt) << bad;
}

TEST(Query, ListenAddressesTakeAPortAloneOnLoopback) {
  std::string error;
  auto a = web::parse_listen_address("8080", error);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->host, "127.0.0.1");
  EXPECT_EQ(a->port, 8080u);
  a = web::parse_listen_address("0.0.0.0:80", error);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->host, "0.0.0.0");
  a = web::parse_listen_address("[::1]:0", error);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->host, "::1");
  EXPECT_EQ(a->port, 0u);
  for (const char* bad : {"", ":80", "host:80", "127.0.0.1:", "127.0.0.1:65536", "1:2x", "[::1]80",
                          "[::1]", "123456"}) {
    error.clear();
    EXPECT_EQ(web::parse_listen_address(bad, error), std::nullopt) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

}  // namespace
