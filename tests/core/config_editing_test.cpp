#include "core/config_editing.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/config.h"
#include "core/config_global_ini.h"
#include "core/config_user_interface.h"

using namespace reg;
using ::testing::AllOf;
using ::testing::HasSubstr;

namespace {

const OptionRow* row_of(const std::vector<OptionRow>& rows, const std::string& key) {
  for (const auto& r : rows) {
    if (r.key == key) return &r;
  }
  return nullptr;
}

TEST(ConfigEditingTest, RowsShowValuesAsTheDialogDoes) {
  // A number's row (type, value, default) is in the golden "config show" transcript.
  Config c;
  c.dol.koef_by_operation = true;
  const auto rows = describe_options(c);
  EXPECT_EQ(rows.size(), c.options().size());
  const OptionRow* adv = row_of(rows, "KoefD_advanced");
  ASSERT_NE(adv, nullptr);
  EXPECT_EQ(adv->value, "Да");
  EXPECT_EQ(adv->default_value, "Нет");

  UserInterfaceOpt ui;
  EXPECT_EQ(row_of(describe_options(ui), "frames_color")->value, "#808080");
}

TEST(ConfigEditingTest, SetsATypedValue) {
  Config c;
  EXPECT_EQ(set_option_text(c, "ДОЛ", "коэффицент_ДОЛа", "140,5"), std::nullopt);
  EXPECT_DOUBLE_EQ(c.dol.koef, 140.5);
  EXPECT_EQ(set_option_text(c, "дол", "РЕВЕРС_ДОЛ", " -1 "), std::nullopt) << "any letter case";
  EXPECT_EQ(c.dol.reverse, -1);
  EXPECT_EQ(set_option_text(c, "связь", "звук", "нет"), std::nullopt);
  EXPECT_FALSE(c.link.sound);
  EXPECT_EQ(set_option_text(c, "связь", "порт", "/dev/ttyUSB0"), std::nullopt);
  EXPECT_EQ(c.link.port, "/dev/ttyUSB0");
}

TEST(ConfigEditingTest, RefusesWrongTypesAndChangesNothing) {
  // A word for a number: the golden "config set" transcript.
  Config c;
  EXPECT_THAT(set_option_text(c, "ДОЛ", "реверс_ДОЛ", "1.5").value_or(""),
              HasSubstr("whole number"));
  EXPECT_THAT(set_option_text(c, "ДОЛ", "реверс_ДОЛ", "99999999999").value_or(""),
              HasSubstr("whole number"));
  EXPECT_EQ(c.dol.reverse, 1);
  EXPECT_THAT(set_option_text(c, "связь", "звук", "maybe").value_or(""), HasSubstr("yes/no"));
  EXPECT_TRUE(c.link.sound);
  EXPECT_THAT(set_option_text(c, "ДОЛ", "коэффицент_ДОЛа", "nan").value_or(""),
              HasSubstr("not a number"));
  EXPECT_DOUBLE_EQ(c.dol.koef, 150);
  EXPECT_THAT(set_option_text(c, "связь", "порт", "a\nb").value_or(""), HasSubstr("one line"));
  EXPECT_EQ(c.link.port, "COM1");

  UserInterfaceOpt ui;
  EXPECT_THAT(set_option_text(ui, "colors", "text_color", "red").value_or(""), HasSubstr("colour"));
  EXPECT_EQ(set_option_text(ui, "colors", "text_color", "#ff0000"), std::nullopt);
  EXPECT_EQ(ui.text_color, lib::Colour(0xFF0000));
}

// Bytes that are not UTF-8 would be saved as they came and leave a file that cannot be
// decoded at the next start.
TEST(ConfigEditingTest, RefusesTextThatIsNotUtf8) {
  Config c;
  const std::string port = c.link.port;
  const auto why = set_option_text(c, "связь", "порт", "COM\xFF");
  ASSERT_TRUE(why.has_value());
  EXPECT_THAT(*why, AllOf(HasSubstr("value"), HasSubstr("UTF-8"), HasSubstr("0xFF"),
                          HasSubstr("position 4")));
  EXPECT_EQ(c.link.port, port);
  // A CP1251 "порт" typed as the key is named as a key problem, not as an unknown option.
  const auto key = set_option_text(c, "связь", "\xEF\xEE\xF0\xF2", "COM2");
  ASSERT_TRUE(key.has_value());
  EXPECT_THAT(*key, AllOf(HasSubstr("key"), HasSubstr("UTF-8")));
  EXPECT_EQ(set_option_text(c, "связь", "порт", "COM2 «буровая»"), std::nullopt);
  EXPECT_EQ(c.link.port, "COM2 «буровая»");
}

TEST(ConfigEditingTest, NamesTheUnknownKeyOrSection) {
  Config c;
  EXPECT_THAT(set_option_text(c, "ДОЛ", "нет_такого", "1").value_or(""),
              HasSubstr("no option \"нет_такого\" in section \"ДОЛ\""));
  EXPECT_THAT(set_option_text(c, "нет_секции", "порт", "1").value_or(""),
              HasSubstr("no section \"нет_секции\""));
  // A key of another section is not found in this one.
  EXPECT_TRUE(set_option_text(c, "ДОЛ", "порт", "1").has_value());
}

}  // namespace
