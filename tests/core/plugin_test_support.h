// In-process plug-ins and a fake dynamic loader for the plug-in manager tests: "libraries"
// are entry functions looked up by path, so no shared object is needed to test the
// manager's bookkeeping, broadcasts and refusals.
#pragma once

#include <deque>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "lib/module_base.h"
#include "lib/plugin_loader.h"
#include "plugin_host/plugin_export.h"
#include "plugin_host/plugin_interface.h"
#include "registry/values.h"

namespace plugin_test {

// How the next ScriptedPlugin made behaves.
struct Script {
  enum class Throw { kNone, kMessage, kUnknown };
  Script() = default;
  Script(std::string name, std::string caption = {}, std::int32_t flags = 0,
         Throw throw_on_start = Throw::kNone)
      : name(std::move(name)),
        caption(std::move(caption)),
        flags(flags),
        throw_on_start(throw_on_start) {}

  std::string name;
  std::string caption;
  std::int32_t flags = 0;
  Throw throw_on_start = Throw::kNone;
};

// Shared by the plug-ins of one test; the fixture resets it.
struct Recorder {
  std::deque<Script> scripts;
  std::vector<std::string> calls;
};
Recorder& recorder();

class ScriptedPlugin : public reg::RegPlugin {
 public:
  ScriptedPlugin();
  void get_info(reg::PluginInfo& info) override;
  void start_registration(int race_num, bool continue_race) override;
  void stop_registration() override;
  void options() override;
  void event(reg::PluginEventType type, std::any& value) override;

 private:
  Script script_;
};

// A plug-in that also keeps a state in the station's state file.
class PersistentPlugin : public reg::RegPlugin, public lib::SerialModuleBase {
 public:
  PersistentPlugin() : lib::SerialModuleBase("PersistentPlugin", 1) {}
  void get_info(reg::PluginInfo& info) override { info.name = "persistent"; }
  int counter = 0;

 protected:
  void serial_fields(lib::serial_list& list, unsigned version) override;
};

template <class P>
const lib::PluginEntry* entry_of() {
  static const lib::PluginEntry entry{
      reg::kPluginAbiVersion, []() -> void* { return static_cast<reg::RegPlugin*>(new P); },
      [](void* object) { delete static_cast<reg::RegPlugin*>(object); }};
  return &entry;
}

class FakeLoader : public lib::PluginLoader {
 public:
  // A library at `path` whose entry point is `entry`; a null entry: no entry point.
  void add(const std::string& path, lib::PluginEntryFunction entry);
  void* open(const std::string& path, std::string& error) override;
  void* symbol(void* handle, const char* name, std::string& error) override;
  // The fake's entries are functions of this program.
  bool is_function(void* /*address*/) override { return true; }
  void close(void* handle) override;
  std::vector<std::string> list_libraries(const std::string& folder) override;

  int open_count() const { return open_count_; }
  int close_count() const { return close_count_; }

 private:
  std::map<std::string, lib::PluginEntryFunction> libraries_;
  int open_count_ = 0;
  int close_count_ = 0;
};

// A parameter store for the registry: averages read, current values written.
class MapBackend : public reg::ValuesBackend {
 public:
  std::map<std::string, double> averages;
  std::map<std::string, double> currents;
  double get_average(const std::string& name) override;
  void set_current(const std::string& name, double value) override { currents[name] = value; }
  bool get_table_param(const std::string& name, reg::ValueParam& param) override;
  void enum_table_params(std::vector<reg::ValueParam>& params) override;
};

}  // namespace plugin_test
