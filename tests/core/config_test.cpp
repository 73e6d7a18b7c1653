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

TEST(ConfigTest, LoadingRaisesTheRotorPulseCountToOne) {
  RecordingConfig r;
  for (const auto& [text, expected] : {std::pair{"0", 1}, {"-5", 1}, {"abc", 1}, {"4", 4}}) {
    r.config.load(ini_of(std::string("[прочие_настройки]\nрот_имп_на_оборот=") + text + "\n"));
    EXPECT_EQ(r.config.other.rotor_pulses_per_rev, expected) << text;
  }
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

}  // namespace
