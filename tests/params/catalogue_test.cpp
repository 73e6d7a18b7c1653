// The parameter catalogue: its fixed content, look-ups, registration, incoming
// placeholders, the digital set, the fast list and the voice source texts.
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "lib/str_enc.h"
#include "params/all_params.h"
#include "params/param.h"
#include "params/param_groups.h"
#include "params/param_vars.h"
#include "support/fakes.h"

namespace {

using params::AllParams;
using params::DefaultParam;
using testing_support::TempDir;

class CatalogueTest : public ::testing::Test {
 protected:
  TempDir home;
  AllParams catalogue{home.path(), lib::posix_file_system()};

  const DefaultParam& entry(const std::string& id) {
    const int n = catalogue.get_param_number(id);
    EXPECT_GE(n, 0) << id;
    return catalogue.at(n);
  }
};

// --- Look-ups

TEST_F(CatalogueTest, AtOutsideTheEntriesRaisesOutOfRange) {
  EXPECT_THROW(catalogue.at(catalogue.get_items_count()), std::out_of_range);
  EXPECT_THROW(catalogue.at(-1), std::out_of_range);
  EXPECT_NO_THROW(catalogue.at(catalogue.get_items_count() - 1));
}

TEST_F(CatalogueTest, DigitalSetIsExactAndEditable) {
  using Test = AllParams::ParamTest;
  EXPECT_TRUE(catalogue.test_param("плотн_пж_вх_радиоакт", Test::kDigital));
  EXPECT_TRUE(catalogue.test_param("плотн_пж_вых_радиоакт", Test::kDigital));
  EXPECT_FALSE(catalogue.test_param("плотн_пж_вх_радиоакт", static_cast<Test>(1)));
  EXPECT_FALSE(catalogue.test_param("ПЛОТН_ПЖ_ВХ_РАДИОАКТ", Test::kDigital));
  EXPECT_FALSE(catalogue.test_param("вес_на_крюке", Test::kDigital));

  catalogue.add_digit_params("cem_plotn");
  EXPECT_TRUE(catalogue.test_param("cem_plotn", Test::kDigital));
  catalogue.remove_digit_params("плотн_пж_вх_радиоакт");
  EXPECT_FALSE(catalogue.test_param("плотн_пж_вх_радиоакт", Test::kDigital));
  catalogue.init();
  EXPECT_TRUE(catalogue.test_param("плотн_пж_вх_радиоакт", Test::kDigital));
  EXPECT_FALSE(catalogue.test_param("cem_plotn", Test::kDigital));
}

// --- Registration and incoming parameters

TEST_F(CatalogueTest, IncomingParametersFillThe32FirstPlaceholders) {
  for (int i = 0; i < 32; ++i) {
    catalogue.add_incoming_param("Входящий " + std::to_string(i), "Вх", "ед",
                                 "вход" + std::to_string(i), -1, 1, 11, 50, 0, 0, 50, 0);
  }
  EXPECT_EQ(catalogue.incoming_count(), 32);
  EXPECT_EQ(catalogue.get_param_number("__0"), -1);
  EXPECT_EQ(catalogue.get_param_number("__31"), -1);
  EXPECT_EQ(catalogue.get_param_number("вход0"), 160);
  EXPECT_EQ(catalogue.get_param_number("вход31"), 191);
  EXPECT_EQ(catalogue.at(160).full_name, "Входящий 0");
  EXPECT_EQ(catalogue.at(160).range, 50.0f);

  // The 33rd changes nothing: "__32" stays a placeholder.
  catalogue.add_incoming_param("Лишний", "Л", "ед", "лишний", -1, 1, 11, 50, 0, 0, 50, 0);
  EXPECT_EQ(catalogue.incoming_count(), 32);
  EXPECT_EQ(catalogue.get_param_number("лишний"), -1);
  EXPECT_EQ(catalogue.get_param_number("__32"), 192);
  EXPECT_EQ(catalogue.get_items_count(), 261);
}

TEST_F(CatalogueTest, IncomingParameterAlreadyKnownIsNotAdded) {
  catalogue.add_incoming_param("Вес", "W", "т", "ВЕС_НА_КРЮКЕ", -1, 1, 11, 50, 0, 0, 50, 0);
  EXPECT_EQ(catalogue.incoming_count(), 0);
  EXPECT_EQ(catalogue.at(160).identifier, "__0");
  catalogue.add_incoming_param("Первый", "П", "ед", "первый", -1, 1, 11, 50, 0, 0, 50, 0);
  catalogue.add_incoming_param("Первый", "П", "ед", "первый", -1, 1, 11, 50, 0, 0, 50, 0);
  EXPECT_EQ(catalogue.incoming_count(), 1);
  EXPECT_EQ(catalogue.at(161).identifier, "__1");
}

// --- Fast list

TEST(CatalogueFastList, ReadsKnownLinesInFileOrderOrFallsBackToTheFiveDefaults) {
  using Ids = std::vector<std::string>;
  const Ids defaults = {"вес_на_крюке", "давление_на_входе", "момент_ротора", "нагрузка",
                        "тальблок"};
  struct Case {
    const char* name;
    std::optional<std::string> file;
    Ids expected;
  };
  const Case cases[] = {
      {"missing file", std::nullopt, defaults},
      {"only unknown identifiers", "нет_такого\nи_такого\n\n", defaults},
      // Unknown lines in a row test the re-test of a position after a removal.
      {"mixed",
       "нет1\nнет2\nобороты_ротора\r\n  тальблок \nнет3\nPRVP",
       {"обороты_ротора", "тальблок", "PRVP"}},
      {"eight-bit code page",
       lib::utf8_to_cp1251("момент_ротора\nнагрузка\n"),
       {"момент_ротора", "нагрузка"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir home;
    if (c.file)
      lib::write_file_atomically(home.file("fast_params"), *c.file, lib::posix_file_system());
    EXPECT_EQ(AllParams(home.path(), lib::posix_file_system()).fast_params(), c.expected);
  }
}

// --- Rows from the catalogue and voice texts

TEST_F(CatalogueTest, EntriesBecomeRowsInCatalogueOrder) {
  std::vector<params::Param> rows(3);
  rows[0].identifier = "старый";
  catalogue.get_all_params(rows);
  ASSERT_EQ(rows.size(), 261u);
  const params::Param& hook = rows[0];
  EXPECT_EQ(hook.full_name, catalogue.at(0).full_name);
  EXPECT_EQ(hook.channel, params::USOChannel(0, 0, 0));
  const params::Param& rotation =
      rows[static_cast<std::size_t>(catalogue.get_param_number("обороты_ротора"))];
  EXPECT_EQ(rotation.channel, params::USOChannel(0, 0, 1));
  EXPECT_EQ(rotation.averaging, 2);
  EXPECT_EQ(rows[252].attribute, catalogue.at(252).attribute);
}

TEST_F(CatalogueTest, VoiceSourceRefusesIdentifiersThatLeaveTheFolder) {
  TempDir out;
  catalogue.register_param("Плохой", "П", "", "../за_пределами", -1, 1, 7, 1, 0, 0, 1, 0);
  catalogue.register_param("Пустой", "П", "", "", -1, 1, 7, 1, 0, 0, 1, 0);
  const auto report = catalogue.all_params_to_voice_source(out.path());
  EXPECT_EQ(report.written, 261);
  EXPECT_EQ(report.failures.size(), 2u);
  EXPECT_FALSE(std::filesystem::exists(out.path() + "../за_пределами.txt"));
}

TEST_F(CatalogueTest, VoiceSourceReportsAFolderThatCannotBeWritten) {
  const auto report = catalogue.all_params_to_voice_source(home.file("нет_папки/глубже"));
  EXPECT_EQ(report.written, 0);
  EXPECT_EQ(report.failures.size(), 261u);
}

}  // namespace
