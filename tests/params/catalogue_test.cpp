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

// The rows left to the catalogue's author must still read like a station's list.
TEST_F(CatalogueTest, NamedEntriesAreConsistentForTheOperator) {
  std::set<std::string> ids;
  std::set<int> analog_inputs;
  std::set<int> pulse_inputs;
  const std::set<int> averagings = {1, 2, 10, 30, 120};
  for (const DefaultParam& e : catalogue.entries()) {
    SCOPED_TRACE(e.identifier);
    EXPECT_TRUE(ids.insert(e.identifier).second) << "duplicate identifier";
    EXPECT_FALSE(e.full_name.empty());
    EXPECT_FALSE(e.short_name.empty());
    EXPECT_TRUE(lib::is_valid_utf8(e.full_name + e.short_name + e.unit));
    EXPECT_GT(e.range, 0.0f);
    EXPECT_LT(e.scale_min, e.scale_max);
    EXPECT_TRUE(averagings.count(e.averaging));
    EXPECT_GE(e.group, 1);
    EXPECT_LE(e.group, 11);
    // A row not read from a device has no default input; device inputs do not collide.
    if (e.channel_type == -1) {
      EXPECT_EQ(e.channel, -1);
    }
    if (e.channel_type == 0 && e.channel >= 0) {
      EXPECT_LT(e.channel, 24);
      EXPECT_TRUE(analog_inputs.insert(e.channel).second) << "analog input used twice";
    }
    if (e.channel_type == 1) {
      EXPECT_GE(e.channel, 0);
      EXPECT_TRUE(pulse_inputs.insert(e.channel).second) << "pulse input used twice";
    }
  }
}

TEST_F(CatalogueTest, ExportedIdentifiersNameCatalogueEntries) {
  using namespace params::ParamVars;
  for (int i = 0; i < kTankCount; ++i) {
    EXPECT_GE(catalogue.get_param_number(h_emk[i]), 0) << h_emk[i];
    EXPECT_GE(catalogue.get_param_number(v_emk[i]), 0) << v_emk[i];
  }
  for (const char* id : {v_meh, ob_rot, nagr, pomp, radio_dens_in, radio_dens_out, ud_soprotivl_in,
                         ud_soprotivl_out, el_prov_in, el_prov_out, potery_zatr_name,
                         potery_kolonna_name, ekv_plotn_name, davl_svab_name, eff_davl_name}) {
    EXPECT_GE(catalogue.get_param_number(id), 0) << id;
  }
  // Values supplied by the telemetry and pressure modules are not catalogue entries.
  for (const char* id : {incl_depth_param_name, zenit_param_name, azimut_param_name, davl_por_name,
                         davl_plast_norm_name, davl_gidrost_name, davl_gidrorazr_name,
                         davl_k_anom_name, davl_gorn_name}) {
    EXPECT_EQ(catalogue.get_param_number(id), -1) << id;
  }
}

// --- Look-ups

TEST_F(CatalogueTest, LooksUpIdentifiersWithoutRegardToCase) {
  EXPECT_EQ(catalogue.get_param_number("ВЕС_НА_КРЮКЕ"), 0);
  EXPECT_EQ(catalogue.get_param_number("Cem_V"), catalogue.get_param_number("cem_V"));
  EXPECT_EQ(catalogue.get_param_number("prvp"), 235);
  EXPECT_EQ(catalogue.get_param_number("вес_на_крюке_нет"), -1);
  EXPECT_EQ(catalogue.get_param_number(""), -1);
}

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

TEST_F(CatalogueTest, RegisteringAppendsWithoutDuplicateCheck) {
  catalogue.register_param("Новый", "Нов.", "м", "новый_параметр", 5, 10, 7, 3, 1, 0, 3, 0);
  ASSERT_EQ(catalogue.get_items_count(), 262);
  const DefaultParam& e = catalogue.at(261);
  EXPECT_EQ(std::tie(e.identifier, e.channel, e.channel_type, e.averaging, e.group),
            std::make_tuple("новый_параметр", 5, -1, 10, 7));
  EXPECT_EQ(std::tie(e.range, e.zero, e.scale_max), std::make_tuple(3.0f, 1.0f, 3.0f));

  // A second entry with the same identifier is appended, but look-ups find the first, and
  // the mnemonic form gives its mnemonic to that first entry.
  catalogue.register_param("XYZ", 1, 1, 9, 10, 0, 0, 10, 0, "новый_параметр", "к", "е", "Полное");
  EXPECT_EQ(catalogue.get_items_count(), 263);
  EXPECT_EQ(catalogue.get_param_number("новый_параметр"), 261);
  EXPECT_EQ(catalogue.at(261).mnemonic, "XYZ");
  EXPECT_EQ(catalogue.at(262).mnemonic, "");
  EXPECT_EQ(catalogue.at(262).full_name, "Полное");
}

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

TEST_F(CatalogueTest, AssignToLeavesModulePointsAndExtendedInformation) {
  params::Param row;
  row.channel.module = 7;
  row.points = {{1, 2}};
  row.ext_info.set("wits", "x");
  entry("давление_на_входе").assign_to(row);
  EXPECT_EQ(row.identifier, "давление_на_входе");
  EXPECT_EQ(row.channel, params::USOChannel(7, 1, 0));
  EXPECT_EQ(row.points.size(), 1u);
  EXPECT_EQ(row.ext_info.get("wits"), "x");
}

TEST_F(CatalogueTest, VoiceSourceHasOneFilePerEntry) {
  TempDir out;
  const auto report = catalogue.all_params_to_voice_source(out.path());
  EXPECT_EQ(report.written, 261);
  EXPECT_TRUE(report.failures.empty());
  EXPECT_EQ(testing_support::read_file(out.file("вес_на_крюке.txt")), "Вес на крюке\n");
  EXPECT_EQ(testing_support::read_file(out.file("PRVP.txt")), "Давление на прувере\n");
  EXPECT_EQ(testing_support::read_file(out.file("__63.txt")), "__63\n");
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
