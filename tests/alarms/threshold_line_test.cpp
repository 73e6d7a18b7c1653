#include "alarms/threshold_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace alarms;

namespace {

std::vector<std::string> texts_of(const lib::StringContainer& items) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < items.size(); ++i) out.push_back(items[i]);
  return out;
}

TEST(ThresholdLine, EncodingAddsOnlyTheOuterPair) {
  const lib::StringContainer items{"3", "a b", "x\"y", "", "+1,+2"};
  EXPECT_EQ(encode_threshold_line(items), "\"3,\"a b\",\"x\"\"y\",\"\",\"+1,+2\"\"");
}

// Each line with the form it must be recognised as and the items it holds.
TEST(ThresholdLine, FormsAreToldApart) {
  struct Case {
    const char* line;
    LineForm form;
    std::vector<std::string> items;
  };
  const std::vector<Case> cases = {
      // No quotes inside: both forms are the same.
      {"\"0,a,0,0,1,30\"", LineForm::kPlain, {"0", "a", "0", "0", "1", "30"}},
      // Odd quote runs only occur in the current form.
      {"\"3,a,\"+1,+2\"\"", LineForm::kPlain, {"3", "a", "+1,+2"}},
      {"\"0,\"a \"\"b\"\"\"\"", LineForm::kPlain, {"0", "a \"b\""}},
      // The doubled form: even runs, broken as it stands, well formed once halved.
      {"\"3,a,\"\"+1,+2\"\"\"", LineForm::kDoubled, {"3", "a", "+1,+2"}},
      {"\"0,\"\"a \"\"\"\"b\"\"\"\"\"\"\"", LineForm::kDoubled, {"0", "a \"b\""}},
      {" \"1,\"\"x y\"\",0\" ", LineForm::kDoubled, {"1", "x y", "0"}},
      // Well formed as it stands: current, even with even runs only.
      {"\"3,\"\",0,\"\"\"", LineForm::kPlain, {"3", "", "0", ""}},
      {"\"0,\"\"\"\",1\"", LineForm::kPlain, {"0", "\"", "1"}},
      // Broken either way (an odd run): read leniently as it stands, the text after the
      // closing quote kept up to the comma.
      {"\"0,\"\"a\",1\"", LineForm::kPlain, {"0", "a\"", "1"}},
      // No outer pair: taken as it is.
      {"0,a,1", LineForm::kPlain, {"0", "a", "1"}},
  };
  for (const Case& c : cases) {
    const DecodedLine d = decode_threshold_line(c.line);
    EXPECT_EQ(d.form, c.form) << c.line;
    EXPECT_EQ(texts_of(d.items), c.items) << c.line;
  }
}

}  // namespace
