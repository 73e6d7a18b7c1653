// Real shared objects through dlopen: the example plug-in, refused libraries, and the hub
// telling a loaded plug-in about the registration bracket.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "core/system.h"
#include "formula/calculator.h"
#include "lib/file_system.h"
#include "lib/plugin_loader.h"
#include "plugin_host/plugin_manager.h"
#include "plugin_test_support.h"
#include "support/fakes.h"

using namespace reg;

namespace {

const std::string kDerivedPrefix = "Модуль 'derived_values' :";

class PluginLoadingTest : public testing::Test {
 protected:
  PluginLoadingTest() {
    station_.lock = &lock_;
    station_.values = &values_;
    station_.error_log = [this](const std::string& m) { log_.push_back(m); };
    station_.file_system = &fs_;
    values_.set_backend(&backend_);
  }

  void write_formulas(const std::string& text) {
    std::ofstream(work_.path() + "/derived_values.ini", std::ios::binary) << text;
  }

  int log_lines_containing(const std::string& part) const {
    return static_cast<int>(std::count_if(log_.begin(), log_.end(), [&](const std::string& l) {
      return l.find(part) != std::string::npos;
    }));
  }

  // Loads the example plug-in and lets it read its file.
  RegPluginManager& load_derived_values() {
    manager_ = std::make_unique<RegPluginManager>(station_);
    EXPECT_TRUE(manager_->load(RIGCORE_TEST_DERIVED_VALUES_PLUGIN));
    manager_->set_workpath(work_.path() + "/");
    manager_->for_each([](RegPlugin& p) { p.init(); });
    return *manager_;
  }

  void tick() {
    manager_->for_each([](RegPlugin& p) { p.data_calc_completed(); });
  }

  lib::lock_object lock_;
  Values values_{lock_};
  plugin_test::MapBackend backend_;
  testing_support::FaultyFileSystem fs_;
  PluginStation station_;
  std::vector<std::string> log_;
  testing_support::TempDir work_;
  std::unique_ptr<RegPluginManager> manager_;
};

TEST_F(PluginLoadingTest, WrongVersionAndForeignLibrariesAreRefused) {
  RegPluginManager manager(station_);
  EXPECT_FALSE(manager.load(RIGCORE_TEST_WRONG_ABI_PLUGIN));
  EXPECT_FALSE(manager.load(RIGCORE_TEST_NOT_A_PLUGIN));
  EXPECT_FALSE(manager.load(work_.path() + "/missing.so"));
  // A file that is not a shared object at all.
  std::ofstream(work_.path() + "/garbage.so") << "\x7f"
                                                 "ELF? not really";
  EXPECT_FALSE(manager.load(work_.path() + "/garbage.so"));

  EXPECT_EQ(manager.get_size(), 0);
  ASSERT_EQ(log_.size(), 4u);
  EXPECT_NE(log_[0].find("версии интерфейса " + std::to_string(kPluginAbiVersion + 1)),
            std::string::npos)
      << log_[0];
  EXPECT_NE(log_[1].find("это не модуль станции"), std::string::npos) << log_[1];
  EXPECT_NE(log_[2].find("missing.so"), std::string::npos) << log_[2];
  EXPECT_NE(log_[3].find("garbage.so"), std::string::npos) << log_[3];
}

// A library that exports the entry name as data would be jumped into and crash the station
// (and `rigstation plugins list`): it is refused with its file named, beside good plug-ins
// of the same folder.
TEST_F(PluginLoadingTest, AnEntryThatIsDataIsRefusedWithoutBeingCalled) {
  RegPluginManager manager(station_);
  EXPECT_FALSE(manager.load(RIGCORE_TEST_DATA_ENTRY_PLUGIN));
  EXPECT_EQ(manager.get_size(), 0);
  ASSERT_EQ(log_.size(), 1u);
  EXPECT_NE(log_[0].find(RIGCORE_TEST_DATA_ENTRY_PLUGIN), std::string::npos) << log_[0];
  EXPECT_NE(log_[0].find("не функция"), std::string::npos) << log_[0];

  const std::string folder = work_.path() + "/plugins/";
  std::filesystem::create_directories(folder);
  std::filesystem::copy_file(RIGCORE_TEST_DATA_ENTRY_PLUGIN, folder + "a_data_entry.so");
  std::filesystem::copy_file(RIGCORE_TEST_BRACKET_PLUGIN, folder + "b_bracket.so");
  log_.clear();
  EXPECT_EQ(manager.load_folder(folder), 1);
  EXPECT_EQ(manager.get_size(), 1);
  ASSERT_EQ(log_.size(), 1u);
  EXPECT_NE(log_[0].find("a_data_entry.so"), std::string::npos) << log_[0];
}

TEST_F(PluginLoadingTest, BadLinesAreLoggedAndTheGoodOnesStillWork) {
  write_formulas(
      "строка без знака\n"
      " = 1 + 2\n"
      "пустая =   \n"
      "символ = вес $ 2\n"
      "скобки = (вес + 1\n"
      "хорошая = вес + 1\n"
      "хорошая = вес + 2\n"
      "вес = 5\n");
  backend_.averages = {{"вес", 10}};
  values_.register_value("вес", "Вес", "т", kValuePlain, [] { return 10.0; });
  load_derived_values();
  tick();

  EXPECT_FLOAT_EQ(values_.get("хорошая"), 11);  // the first definition holds
  EXPECT_EQ(log_lines_containing(kDerivedPrefix), 7);
  for (const char* part :
       {"строка 1:", "пустое имя", "пустая формула", "строка 4 'символ'", "строка 5 'скобки'",
        "строка 7 'хорошая': имя определено дважды", "строка 8 'вес': имя уже занято"}) {
    EXPECT_EQ(log_lines_containing(part), 1) << part;
  }
}

TEST_F(PluginLoadingTest, FailingFormulaIsLoggedOncePerSpellAndReadsZero) {
  write_formulas("отношение = вес / давление\n");
  backend_.averages = {{"вес", 10}, {"давление", 0}};
  load_derived_values();
  tick();
  tick();
  EXPECT_EQ(values_.get("отношение"), 0.0);
  EXPECT_EQ(log_lines_containing("'отношение': Деление на ноль"), 1);

  backend_.averages["давление"] = 5;
  tick();
  EXPECT_FLOAT_EQ(values_.get("отношение"), 2);
  backend_.averages["давление"] = 0;
  tick();
  EXPECT_EQ(log_lines_containing("'отношение': Деление на ноль"), 2);
}

// The plug-in reads its file through the station's file system: one it refuses is logged
// with the reason, and no value is made.
TEST_F(PluginLoadingTest, AnUnreadableFileIsLoggedWithoutValues) {
  write_formulas("первая = 1\n");
  fs_.fail_open_with = "derived_values.ini";
  RegPluginManager& manager = load_derived_values();
  tick();
  EXPECT_EQ(log_lines_containing(kDerivedPrefix + "не удалось прочитать файл '" + work_.path() +
                                 "/derived_values.ini': " + lib::errno_text(EACCES)),
            1);
  EXPECT_FALSE(values_.param_exists("первая"));
  EXPECT_TRUE(manager.status_texts().empty());
}

}  // namespace

namespace {

// A folder that exists only in the seam: the loader must list it through the station's file
// system, not behind its back.
class PluginFolderFileSystem : public testing_support::FaultyFileSystem {
 public:
  std::vector<std::string> list_folder(const std::string& folder) override {
    listed.push_back(folder);
    return {"b.so", "notes.txt", "a.so", "folder.so", ".so", "broken.so"};
  }
  std::optional<lib::FileStatus> stat(const std::string& path) override {
    lib::FileStatus status;
    if (path.ends_with("/folder.so")) {
      status.kind = lib::FileStatus::Kind::folder;
    } else if (path.ends_with("/broken.so")) {
      errno = ENOENT;  // a dangling link
      return std::nullopt;
    } else {
      status.kind = lib::FileStatus::Kind::regular;
    }
    return status;
  }
  std::vector<std::string> listed;
};

}  // namespace

TEST(PluginFolder, TheSystemLoaderListsLibraryFilesThroughTheFileSystemSeam) {
  PluginFolderFileSystem fs;
  auto loader = lib::make_system_plugin_loader(fs);
  EXPECT_EQ(loader->list_libraries("/station/plugins"),
            (std::vector<std::string>{"/station/plugins/a.so", "/station/plugins/b.so"}));
  EXPECT_EQ(loader->list_libraries("/station/plugins/"),
            (std::vector<std::string>{"/station/plugins/a.so", "/station/plugins/b.so"}));
  EXPECT_EQ(fs.listed, (std::vector<std::string>{"/station/plugins", "/station/plugins/"}));
}
