#include "core/config.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "support/error_of.h"
#include "support/fakes.h"
#include "support/fault_sweep.h"

using namespace reg;
using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using testing_support::disarm;
using testing_support::error_of;
using testing_support::FaultyFileSystem;
using testing_support::FileFault;
using testing_support::read_file;
using testing_support::sweep_file_faults;
using testing_support::TempDir;

namespace {

lib::IniFile ini_of(const std::string& text) {
  lib::IniFile ini;
  ini.load_text(text);
  return ini;
}

// A Config whose variable setter records what it is told.
struct RecordingConfig {
  Config config;
  std::map<std::string, std::string> variables;
  std::vector<std::string> errors;
  RecordingConfig() {
    config.set_variable_setter(
        [this](const std::string& n, const std::string& v) { variables[n] = v; });
    config.set_error_sink([this](const std::string& m) { errors.push_back(m); });
  }
};

TEST(ConfigTest, PumpVolume) {
  NasosOpt p;
  EXPECT_DOUBLE_EQ(p.calc_volume(10), 10 * 8 * 0.8 * 60 / 60.0);
  p.range = 30;
  p.fill_coefficient = 1;
  EXPECT_DOUBLE_EQ(p.calc_volume(3), 3 * 8 * 30 / 60.0);
  EXPECT_DOUBLE_EQ(p.calc_volume(0), 0);
}

TEST(ConfigTest, LoadingResolvesTheWeightWithoutRotation) {
  // Only the -1 marker is resolved; a missing key reads as that marker and follows too.
  const std::pair<const char*, double> cases[] = {{"общий_вес_колонны_бв=-1\n", 7.5},
                                                  {"общий_вес_колонны_бв=3\n", 3},
                                                  {"общий_вес_колонны_бв=-2\n", -2},
                                                  {"", 7.5}};
  RecordingConfig r;
  for (const auto& [line, expected] : cases) {
    r.config.load(ini_of(std::string("[настройки_распознавания]\nобщий_вес_колонны=7.5\n") + line));
    EXPECT_DOUBLE_EQ(r.config.get_WKolTur(), expected) << line;
  }
}

TEST(ConfigTest, LoadingRaisesTheRotorPulseCountToOne) {
  RecordingConfig r;
  for (const auto& [text, expected] : {std::pair{"0", 1}, {"-5", 1}, {"abc", 1}, {"4", 4}}) {
    r.config.load(ini_of(std::string("[прочие_настройки]\nрот_имп_на_оборот=") + text + "\n"));
    EXPECT_EQ(r.config.other.rotor_pulses_per_rev, expected) << text;
  }
}

TEST(ConfigTest, LoadingSetsTheVariables) {
  RecordingConfig r;
  r.config.load(
      ini_of("[настройки_распознавания]\nнулевой_вес=12.5\n"
             "[прочие_настройки]\nкоэффицент_полиспаста=8\n"));
  EXPECT_EQ(r.variables["ves0"], "12.5");
  EXPECT_EQ(r.variables["KoefPolispast"], "8");
  Config silent;  // no setter: nothing to call, nothing breaks
  silent.fill_to_variables();
}

TEST(ConfigTest, DepthSensorCoefficientByOperation) {
  Config c;
  c.dol.koef = 150;
  c.dol.koef_dn = 140;
  c.dol.koef_up = 160;
  for (int op : {0, 2, kTripDownOperation, kTripUpOperation, 31}) {
    EXPECT_DOUBLE_EQ(c.get_KoefD(op), 150) << op;
  }
  c.set_KoefD(kTripDownOperation, 151);
  EXPECT_DOUBLE_EQ(c.dol.koef, 151) << "without KoefD_advanced every operation sets the one";
  EXPECT_DOUBLE_EQ(c.dol.koef_dn, 140);

  c.dol.koef_by_operation = true;
  EXPECT_DOUBLE_EQ(c.get_KoefD(kTripDownOperation), 140);
  EXPECT_DOUBLE_EQ(c.get_KoefD(kTripUpOperation), 160);
  EXPECT_DOUBLE_EQ(c.get_KoefD(2), 151);
  c.set_KoefD(kTripUpOperation, 170);
  c.set_KoefD(3, 152);
  EXPECT_DOUBLE_EQ(c.dol.koef_up, 170);
  EXPECT_DOUBLE_EQ(c.dol.koef, 152);
  EXPECT_DOUBLE_EQ(c.dol.koef_dn, 140);
}

TEST(ConfigTest, PumpAndRotorReadTheCurrentValues) {
  Config c;
  EXPECT_DOUBLE_EQ(c.get_nas(0), 0) << "no reader yet";
  std::vector<std::string> asked;
  c.set_current_value_reader([&](const std::string& name) {
    asked.push_back(name);
    return name == "ходы_насоса1" ? 42.0 : 7.0;
  });
  EXPECT_DOUBLE_EQ(c.get_nas(0), 42);
  EXPECT_DOUBLE_EQ(c.get_nas(5), 7);
  EXPECT_DOUBLE_EQ(c.get_rotor(), 7);
  EXPECT_THAT(asked, ElementsAre("ходы_насоса1", "ходы_насоса6", "обороты_ротора"));
}

TEST(ConfigTest, WholeConfigurationRoundTripsThroughAFile) {
  TempDir dir;
  const std::string path = dir.file("global.ini");
  std::ofstream(path) << "; keep me\n[текущие_настройки]\nскважина=101\n";
  {
    Config c;
    c.dol.koef = 151.25;
    c.link.port = "/dev/ttyS1";
    c.sound.voice_warns = false;
    c.other.pumps[2].volume = 12;
    c.min_max_values().add(std::make_unique<alarms::MinMaxRelayValue>("вес", -1, 100, 4));
    c.min_max_values2().add(std::make_unique<alarms::MinMaxValue>("второй", 1, 2));
    c.wits_options().servers().pop_back();
    c.save_to_file(path, lib::posix_file_system());
  }
  RecordingConfig r;
  r.config.dol.koef = 0;
  r.config.load_from_file(path, lib::posix_file_system());
  const Config& c = r.config;
  EXPECT_DOUBLE_EQ(c.dol.koef, 151.25);
  EXPECT_EQ(c.link.port, "/dev/ttyS1");
  EXPECT_FALSE(c.sound.voice_warns);
  EXPECT_DOUBLE_EQ(c.other.pumps[2].volume, 12);
  ASSERT_EQ(c.min_max_values().size(), 9u);
  EXPECT_EQ(c.min_max_values()[8].get_kind(), alarms::kKindRelay);
  ASSERT_EQ(c.min_max_values2().size(), 1u);
  EXPECT_EQ(c.min_max_values2()[0].get_param(), "второй");
  EXPECT_EQ(c.wits_options().servers().size(), 1u);
  EXPECT_TRUE(r.errors.empty());
  EXPECT_EQ(r.variables.count("ves0"), 1u);
  const std::string text = testing_support::read_file(path);
  EXPECT_THAT(text, HasSubstr("; keep me\n"));
  EXPECT_THAT(text, HasSubstr("[текущие_настройки]\nскважина=101\n"));
}

// A change of the settings rewrites global.ini after keeping the previous file as
// global.ini.bak. Whichever call fails, global.ini holds the old text or the new one, never a
// mix nor the new one without the backup, a backup holds the whole previous file, a failure
// names the file, and the change is written by the next save.
TEST(ConfigTest, EveryFailingCallOfASettingsRewriteKeepsAWholeFile) {
  TempDir setup;
  const std::string first = setup.file("global.ini");
  std::ofstream(first) << "; keep me\n[текущие_настройки]\nскважина=101\n";
  Config c;
  c.save_to_file(first, lib::posix_file_system());
  const std::string old_text = read_file(first);
  c.dol.koef = 151.25;
  c.save_to_file(first, lib::posix_file_system());
  const std::string new_text = read_file(first);

  sweep_file_faults([&](const FileFault& fault) {
    TempDir dir;
    FaultyFileSystem fs;
    const std::string path = dir.file("global.ini");
    lib::write_file_atomically(path, old_text, lib::posix_file_system());
    fault.arm(fs);
    std::string error = error_of([&] { c.save_to_file(path, fs); });
    if (error == "no error") error.clear();
    const long long calls = disarm(fs);
    const std::string now = read_file(path);
    if (error.empty()) {
      EXPECT_EQ(now, new_text) << "failed " << fs.failed_call;
    } else {
      EXPECT_TRUE(now == old_text || now == new_text) << "failed " << fs.failed_call;
      EXPECT_THAT(error, HasSubstr(path));
    }
    EXPECT_TRUE(error.empty() || fault.any()) << error;
    // Never replaced without the backup.
    if (now == new_text || std::filesystem::exists(lib::backup_path(path))) {
      EXPECT_EQ(read_file(lib::backup_path(path)), old_text) << "failed " << fs.failed_call;
    }
    c.save_to_file(path, lib::posix_file_system());
    EXPECT_EQ(read_file(path), new_text);
    return calls;
  });
}

TEST(ConfigTest, ThresholdProblemsGoToTheErrorSink) {
  RecordingConfig r;
  r.config.load(ini_of("[MinMaxValues]\nsize=2\nversion=1\nitem0=\"0,a,0,0,1,1\"\nitem1=\"\"\n"));
  ASSERT_EQ(r.config.min_max_values().size(), 1u);
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_THAT(r.errors[0], HasSubstr("item1"));
}

// At a start every correction comes back as a message naming the file, section, key, the
// text found and the default used; lines of the lists name the file too.
TEST(ConfigTest, StartLoadReportsEveryCorrectionWithFileSectionAndKey) {
  TempDir dir;
  const std::string path = dir.file("global.ini");
  lib::write_file_atomically(path,
                             "[ДОЛ]\nкоэффицент_ДОЛа=сто\nсвеча=24\nмусор\n"
                             "[MinMaxValues]\nsize=1\nversion=1\nitem0=\"\"\n",
                             lib::posix_file_system());
  RecordingConfig r;
  const std::vector<std::string> notes = r.config.load_for_start(path, lib::posix_file_system());
  EXPECT_EQ(r.config.dol.block_travel, 24);
  EXPECT_EQ(r.config.dol.koef, 150);
  EXPECT_THAT(notes, Contains(AllOf(HasSubstr(path), HasSubstr("[ДОЛ] коэффицент_ДОЛа"),
                                    HasSubstr("\"сто\""), HasSubstr("default 150"))));
  EXPECT_THAT(notes, Contains(AllOf(HasSubstr(path), HasSubstr("line 4"))));
  EXPECT_THAT(notes, Contains(AllOf(HasSubstr(path), HasSubstr("item0"))));
  EXPECT_THAT(r.errors, IsEmpty()) << "the start's messages go to the caller, not twice";
}

TEST(ConfigTest, StartLoadRefusesFilesItCannotTrust) {
  TempDir dir;
  const std::string path = dir.file("global.ini");
  struct Case {
    const char* name;
    std::string bytes;
    const char* reason;
  };
  const Case cases[] = {
      {"empty", "", "empty"},
      {"comments only", "; nothing here\n\n", "empty"},
      {"damaged UTF-8", "[связь]\nпорт=/dev/ttyS0\nимя=Буровая\xFF\n", "line 3"},
  };
  for (const Case& c : cases) {
    lib::write_file_atomically(path, c.bytes, lib::posix_file_system());
    Config config;
    config.link.port = "/dev/ttyUSB7";
    EXPECT_THAT(
        error_of<lib::IniError>([&] { config.load_for_start(path, lib::posix_file_system()); }),
        AllOf(HasSubstr(path), HasSubstr(c.reason)))
        << c.name;
    EXPECT_EQ(config.link.port, "/dev/ttyUSB7") << c.name << ": settings changed anyway";
    EXPECT_EQ(testing_support::read_file(path), c.bytes) << c.name;
  }
  std::filesystem::create_directory(dir.file("folder.ini"));
  Config config;
  EXPECT_THROW(config.load_for_start(dir.file("folder.ini"), lib::posix_file_system()),
               lib::IniError);

  // A CP1251 file is read, and said to be.
  lib::write_file_atomically(path, "[\xF1\xE2\xFF\xE7\xFC]\n\xEF\xEE\xF0\xF2=/dev/ttyS1\n",
                             lib::posix_file_system());
  EXPECT_THAT(config.load_for_start(path, lib::posix_file_system()),
              ElementsAre(AllOf(HasSubstr(path), HasSubstr("CP1251"))));
  EXPECT_EQ(config.link.port, "/dev/ttyS1");
  // A missing one gives the defaults, and a note.
  EXPECT_THAT(config.load_for_start(dir.file("none.ini"), lib::posix_file_system()),
              ElementsAre(AllOf(HasSubstr("none.ini"), HasSubstr("not found"))));
  EXPECT_EQ(config.link.port, "COM1");
}

TEST(ConfigTest, DefaultsResetEverythingButTheRunRecord) {
  Config c;
  c.dol.koef = 1;
  c.out_params.clear();
  c.min_max_values().clear();
  c.min_max_values2().add("x");
  c.wits_options().servers().clear();
  c.race_info().settings.race_number = 5;
  c.defaults();
  EXPECT_DOUBLE_EQ(c.dol.koef, 150);
  EXPECT_EQ(c.out_params.size(), 19u);
  EXPECT_EQ(c.min_max_values().size(), 8u);
  EXPECT_TRUE(c.min_max_values2().empty());
  EXPECT_EQ(c.wits_options().servers().size(), 2u);
  EXPECT_EQ(c.race_info().settings.race_number, 5);
}

}  // namespace
