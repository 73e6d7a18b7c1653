#include "plugin_host/plugin_manager.h"

#include <gtest/gtest.h>

#include "lib/binary_stream.h"
#include "lib/module_list.h"
#include "plugin_test_support.h"

using namespace reg;
using plugin_test::FakeLoader;
using plugin_test::Script;
using plugin_test::ScriptedPlugin;

namespace {

const lib::PluginEntry* null_entry() {
  return nullptr;
}
const lib::PluginEntry* other_version_entry() {
  static const lib::PluginEntry entry{kPluginAbiVersion + 7, nullptr, nullptr};
  return &entry;
}
const lib::PluginEntry* failing_create_entry() {
  static const lib::PluginEntry entry{kPluginAbiVersion, []() -> void* { return nullptr; },
                                      [](void*) {}};
  return &entry;
}

class PluginManagerTest : public testing::Test {
 protected:
  PluginManagerTest() {
    plugin_test::recorder() = {};
    station_.lock = &lock_;
    station_.values = &values_;
    station_.error_log = [this](const std::string& m) { log_.push_back(m); };
  }

  // Loads one scripted plug-in per script, in order, under /plugins/<index>.so.
  RegPluginManager& load(std::vector<Script> scripts) {
    manager_ = std::make_unique<RegPluginManager>(station_, loader_);
    for (std::size_t i = 0; i < scripts.size(); ++i) {
      plugin_test::recorder().scripts.push_back(scripts[i]);
      const std::string path = "/plugins/" + std::to_string(i) + ".so";
      loader_.add(path, &plugin_test::entry_of<ScriptedPlugin>);
      EXPECT_TRUE(manager_->load(path));
    }
    return *manager_;
  }

  std::vector<std::string>& calls() { return plugin_test::recorder().calls; }

  lib::lock_object lock_;
  Values values_{lock_};
  PluginStation station_;
  FakeLoader loader_;
  std::vector<std::string> log_;
  std::unique_ptr<RegPluginManager> manager_;
};

TEST_F(PluginManagerTest, ThrowingPluginIsLoggedOnceAndTheBroadcastGoesOn) {
  RegPluginManager& manager = load({{"первый"},
                                    {"второй", "", 0, Script::Throw::kMessage},
                                    {"странный", "", 0, Script::Throw::kUnknown},
                                    {"после"}});
  manager.for_each([](RegPlugin& p) { p.start_registration(12, true); });

  EXPECT_EQ(calls(), (std::vector<std::string>{"start:первый:12:1", "start:второй:12:1",
                                               "start:странный:12:1", "start:после:12:1"}));
  EXPECT_EQ(log_, (std::vector<std::string>{"Исключение \"сбой датчика\" в модуле \"второй\"",
                                            "Неизвестное исключение в модуле \"странный\""}));
}

TEST_F(PluginManagerTest, OptionsMenuHasItemsOnlyForPluginsWithOptions) {
  RegPluginManager& manager = load({{"a", "А", 0},
                                    {"b", "Б", kPluginHasOptions},
                                    {"c", "В", kPluginRegisterAtLoad},
                                    {"d", "Г", kPluginHasOptions | kPluginRegisterAtLoad}});
  const std::vector<PluginMenuItem> items = manager.fill_opts_menu();
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].caption, "Б");
  EXPECT_EQ(items[0].tag, 10001);
  EXPECT_EQ(items[1].caption, "Г");
  EXPECT_EQ(items[1].tag, 10003);

  manager.OnMenuClick(items[1]);
  EXPECT_EQ(calls(), (std::vector<std::string>{"options:d", "event:d:1:empty"}));

  // A tag of no plug-in (a stale or foreign menu item) is ignored.
  calls().clear();
  manager.OnMenuClick(PluginMenuItem{"?", 10004});
  manager.OnMenuClick(PluginMenuItem{"?", 5});
  EXPECT_TRUE(calls().empty());
}

TEST_F(PluginManagerTest, EventsReachEveryPluginWithTheSameValue) {
  RegPluginManager& manager = load({{"a"}, {"b"}});
  std::any value = 10;
  manager.call_event(3, value);
  EXPECT_EQ(calls(), (std::vector<std::string>{"event:a:3:value", "event:b:3:value"}));
  EXPECT_EQ(std::any_cast<int>(value), 12);  // each plug-in added one to the shared value
}

TEST_F(PluginManagerTest, FindsPluginsByTheirExactName) {
  RegPluginManager& manager = load({{"Глубиномер"}, {"other"}, {"Other"}});
  EXPECT_EQ(manager.find("Глубиномер"), manager.get_item(0));
  EXPECT_EQ(manager.find("other"), manager.get_item(1));
  EXPECT_EQ(manager.find("Other"), manager.get_item(2)) << "another case is another name";
  EXPECT_EQ(manager.find("глубиномер"), nullptr);
  EXPECT_TRUE(manager.is_active("Глубиномер"));
  EXPECT_FALSE(manager.is_active("ГЛУБИНОМЕР"));
  EXPECT_FALSE(manager.is_active("Глубиномер2"));

  manager.activate("other");
  EXPECT_EQ(manager.get_shown_page(), manager.get_item(1));
}

TEST_F(PluginManagerTest, PersistentPluginIsRegisteredAndSavedWithTheState) {
  lib::ModuleList modules;
  RegPluginManager manager(station_, loader_);
  loader_.add("/p/persistent.so", &plugin_test::entry_of<plugin_test::PersistentPlugin>);
  loader_.add("/p/plain.so", &plugin_test::entry_of<ScriptedPlugin>);
  plugin_test::recorder().scripts.push_back({"plain"});
  const auto register_module = [&](const std::string& name, lib::ModuleBaseOld& module) {
    modules.register_module(module, name);
  };
  EXPECT_EQ(manager.load_folder("/p/", register_module), 2);
  ASSERT_EQ(modules.names(), std::vector<std::string>{"persistent"});

  // The plug-in's state goes through the module list like any module's.
  auto* persistent = dynamic_cast<plugin_test::PersistentPlugin*>(manager.find("persistent"));
  ASSERT_NE(persistent, nullptr);
  persistent->counter = 77;
  lib::io::BinaryMemoryOutputStream out;
  modules.serialize(out, nullptr, 1);
  persistent->counter = 0;
  lib::io::BinaryMemoryInputStream in(out.data());
  EXPECT_EQ(modules.deserialize(in, 1, {}).read, 1);
  EXPECT_EQ(persistent->counter, 77);
}

TEST_F(PluginManagerTest, RefusedLibrariesAreLoggedAndTakeNoSlot) {
  RegPluginManager manager(station_, loader_);
  loader_.add("/bad/no_entry.so", nullptr);
  loader_.add("/bad/null_entry.so", &null_entry);
  loader_.add("/bad/other_version.so", &other_version_entry);
  loader_.add("/bad/no_object.so", &failing_create_entry);

  EXPECT_EQ(manager.load_folder("/bad/"), 0);
  EXPECT_FALSE(manager.load("/bad/missing.so"));
  EXPECT_EQ(manager.get_size(), 0);
  ASSERT_EQ(log_.size(), 5u);
  // Name order of the folder: no_entry, no_object, null_entry, other_version.
  EXPECT_NE(log_[0].find("/bad/no_entry.so"), std::string::npos);
  EXPECT_NE(log_[0].find(lib::kPluginEntryName), std::string::npos);
  EXPECT_NE(log_[1].find("объект модуля не создан"), std::string::npos);
  EXPECT_NE(log_[2].find("не вернула"), std::string::npos);
  EXPECT_NE(log_[3].find("версии интерфейса " + std::to_string(kPluginAbiVersion + 7)),
            std::string::npos);
  EXPECT_NE(log_[4].find("no such file"), std::string::npos);
  // Every library that was opened was closed again.
  EXPECT_EQ(loader_.open_count(), 4);
  EXPECT_EQ(loader_.close_count(), 4);
}

TEST_F(PluginManagerTest, FreeUnloadsEverythingAndRegisteredValuesFallSilent) {
  RegPluginManager& manager = load({{"a"}, {"b"}});
  double source = 5;
  manager.get_item(1)->host()->register_value("из_модуля", "Из модуля", "", kValuePlain,
                                              [&source] { return source; });
  EXPECT_EQ(values_.get("из_модуля"), 5.0);

  manager.free();
  EXPECT_EQ(manager.get_size(), 0);
  EXPECT_EQ(loader_.close_count(), 2);
  source = 9;  // the getter must not be called any more
  EXPECT_EQ(values_.get("из_модуля"), 0.0);
}

TEST_F(PluginManagerTest, AValueNamedInAnotherEncodingIsRegisteredMendedAndLogged) {
  RegPluginManager& manager = load({{"a"}});
  manager.get_item(0)->host()->register_value("газ\xd0", "Газ", "%", kValuePlain,
                                              [] { return 3.0; });
  EXPECT_EQ(values_.get("газ\uFFFD"), 3.0);
  ASSERT_EQ(log_.size(), 1u);
  EXPECT_NE(log_[0].find("'газ\uFFFD' has a name, caption or unit that is not UTF-8"),
            std::string::npos)
      << log_[0];
}

TEST_F(PluginManagerTest, StatusTextsSkipPluginsWithoutOne) {
  struct Talking : ScriptedPlugin {
    std::string status_text() override { return "работает"; }
  };
  RegPluginManager& manager = load({{"a", "Первый"}});
  plugin_test::recorder().scripts.push_back({"b", "Второй"});
  loader_.add("/plugins/talking.so", &plugin_test::entry_of<Talking>);
  ASSERT_TRUE(manager.load("/plugins/talking.so"));
  EXPECT_EQ(manager.status_texts(), std::vector<std::string>{"Второй: работает"});
}

}  // namespace
