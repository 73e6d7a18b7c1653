#include "plugin_test_support.h"

namespace plugin_test {

Recorder& recorder() {
  static Recorder instance;
  return instance;
}

ScriptedPlugin::ScriptedPlugin() {
  if (!recorder().scripts.empty()) {
    script_ = recorder().scripts.front();
    recorder().scripts.pop_front();
  }
}

void ScriptedPlugin::get_info(reg::PluginInfo& info) {
  info.name = script_.name;
  info.caption = script_.caption;
  info.flags = script_.flags;
}

void ScriptedPlugin::start_registration(int race_num, bool continue_race) {
  recorder().calls.push_back("start:" + script_.name + ":" + std::to_string(race_num) + ":" +
                             (continue_race ? "1" : "0"));
  if (script_.throw_on_start == Script::Throw::kMessage) throw std::runtime_error("сбой датчика");
  if (script_.throw_on_start == Script::Throw::kUnknown) throw 42;
}

void ScriptedPlugin::stop_registration() {
  recorder().calls.push_back("stop:" + script_.name);
}

void ScriptedPlugin::options() {
  recorder().calls.push_back("options:" + script_.name);
}

void ScriptedPlugin::event(reg::PluginEventType type, std::any& value) {
  recorder().calls.push_back("event:" + script_.name + ":" + std::to_string(type) + ":" +
                             (value.has_value() ? "value" : "empty"));
  if (auto* number = std::any_cast<int>(&value)) *number += 1;
}

void PersistentPlugin::serial_fields(lib::serial_list& list, unsigned) {
  list.add(counter);
}

void FakeLoader::add(const std::string& path, lib::PluginEntryFunction entry) {
  libraries_[path] = entry;
}

void* FakeLoader::open(const std::string& path, std::string& error) {
  const auto it = libraries_.find(path);
  if (it == libraries_.end()) {
    error = "no such file";
    return nullptr;
  }
  ++open_count_;
  return &*it;
}

void* FakeLoader::symbol(void* handle, const char* name, std::string& error) {
  auto* library = static_cast<std::pair<const std::string, lib::PluginEntryFunction>*>(handle);
  if (std::string(name) != lib::kPluginEntryName || library->second == nullptr) {
    error = "undefined symbol";
    return nullptr;
  }
  return reinterpret_cast<void*>(library->second);
}

void FakeLoader::close(void* handle) {
  if (handle != nullptr) ++close_count_;
}

std::vector<std::string> FakeLoader::list_libraries(const std::string& folder) {
  std::vector<std::string> paths;
  for (const auto& [path, entry] : libraries_) {
    if (path.starts_with(folder)) paths.push_back(path);
  }
  return paths;
}

double MapBackend::get_average(const std::string& name) {
  const auto it = averages.find(name);
  return it != averages.end() ? it->second : 0.0;
}

bool MapBackend::get_table_param(const std::string& name, reg::ValueParam& param) {
  if (!averages.contains(name)) return false;
  param = reg::ValueParam{name, name, "", name, reg::kValuePlain};
  return true;
}

void MapBackend::enum_table_params(std::vector<reg::ValueParam>& params) {
  for (const auto& [name, value] : averages) {
    params.push_back(reg::ValueParam{name, name, "", name, reg::kValuePlain});
  }
}

}  // namespace plugin_test
