#include "plugin_host/plugin_manager.h"

#include <exception>

#include "lib/module_base.h"
#include "plugin_host/plugin_export.h"

namespace reg {

RegPluginManager::RegPluginManager(PluginStation station, lib::PluginLoader& loader)
    : lib::PluginManager(
          kPluginAbiVersion, [this](const std::string& message) { log_error(message); }, loader),
      station_(std::move(station)) {}

RegPluginManager::~RegPluginManager() {
  free();
}

void RegPluginManager::log_error(const std::string& message) const {
  if (station_.error_log) station_.error_log(message);
}

RegPlugin* RegPluginManager::get_item(int index) const {
  const lib::LoadedPlugin* loaded = item(index);
  return loaded != nullptr ? static_cast<RegPlugin*>(loaded->object) : nullptr;
}

std::string RegPluginManager::plugin_name(int index) const {
  if (index < 0 || index >= static_cast<int>(hosts_.size()) || !hosts_[index]) return {};
  return hosts_[static_cast<std::size_t>(index)]->plugin_name();
}

void RegPluginManager::set_workpath(const std::string& folder) {
  work_path_ = folder;
  if (station_.values) station_.values->set_variable("work_path", folder);
}

void RegPluginManager::get_plugin_info(RegPlugin& plugin, PluginInfo& info) {
  info.clear();
  plugin.get_info(info);
}

void RegPluginManager::for_each(const std::function<void(RegPlugin&)>& f) {
  for (int index = 0; index < get_size(); ++index) {
    RegPlugin* plugin = get_item(index);
    if (plugin == nullptr) continue;
    // The name known from loading stands in when the information query itself throws.
    std::string name = plugin_name(index);
    try {
      PluginInfo info;
      get_plugin_info(*plugin, info);
      name = info.name;
      f(*plugin);
    } catch (const std::exception& e) {
      log_error(std::string("Исключение \"") + e.what() + "\" в модуле \"" + name + "\"");
    } catch (...) {
      log_error("Неизвестное исключение в модуле \"" + name + "\"");
    }
  }
}

void RegPluginManager::call_event(PluginEventType type, std::any& value) {
  for (int index = 0; index < get_size(); ++index) {
    if (RegPlugin* plugin = get_item(index)) plugin->event(type, value);
  }
}

RegPlugin* RegPluginManager::find(const std::string& name) {
  for (int index = 0; index < get_size(); ++index) {
    RegPlugin* plugin = get_item(index);
    if (plugin == nullptr) continue;
    PluginInfo info;
    get_plugin_info(*plugin, info);
    // Exactly as the plug-in spells it: names are keys, not parameter identifiers.
    if (info.name == name) return plugin;
  }
  return nullptr;
}

void RegPluginManager::activate(const std::string& name) {
  RegPlugin* plugin = find(name);
  if (plugin == nullptr || plugin == shown_page_) return;
  if (shown_page_ != nullptr) shown_page_->show(false);
  shown_page_ = plugin;
  plugin->show(true);
}

std::vector<PluginMenuItem> RegPluginManager::fill_opts_menu() {
  std::vector<PluginMenuItem> items;
  for (int index = 0; index < get_size(); ++index) {
    RegPlugin* plugin = get_item(index);
    if (plugin == nullptr) continue;
    PluginInfo info;
    get_plugin_info(*plugin, info);
    if (info.has_options()) items.push_back({info.caption, kPluginMenuTagBase + index});
  }
  return items;
}

void RegPluginManager::OnMenuClick(const PluginMenuItem& sender) {
  RegPlugin* plugin = get_item(sender.tag - kPluginMenuTagBase);
  if (plugin == nullptr) return;
  plugin->options();
  std::any empty;
  plugin->event(kPluginEventOptionsClosed, empty);
}

std::vector<std::string> RegPluginManager::status_texts() {
  std::vector<std::string> texts;
  for_each([&texts, this](RegPlugin& plugin) {
    std::string text = plugin.status_text();
    if (text.empty()) return;
    PluginInfo info;
    get_plugin_info(plugin, info);
    texts.push_back(info.caption + ": " + text);
  });
  return texts;
}

void RegPluginManager::set_interface_listener(std::function<void()> listener) {
  interface_listener_ = std::move(listener);
}

void RegPluginManager::correct_interface() {
  if (interface_listener_) interface_listener_();
}

void RegPluginManager::after_load_item(const RegisterCallback& register_module,
                                       lib::LoadedPlugin& item, int index) {
  RegPlugin& plugin = *static_cast<RegPlugin*>(item.object);
  if (static_cast<int>(hosts_.size()) <= index) hosts_.resize(static_cast<std::size_t>(index) + 1);
  auto host = std::make_unique<PluginHostServices>(
      station_, [this, &plugin] { set_plugin_active(&plugin); }, [this] { correct_interface(); });
  host->set_plugin_name(item.path);  // until the plug-in tells its own name
  plugin.set_host(host.get());
  PluginHostServices& services = *host;
  hosts_[static_cast<std::size_t>(index)] = std::move(host);

  PluginInfo info;
  try {
    get_plugin_info(plugin, info);
    services.set_plugin_name(info.name);
  } catch (const std::exception& e) {
    log_error(std::string("Исключение \"") + e.what() + "\" в модуле \"" + item.path + "\"");
    return;
  } catch (...) {
    log_error("Неизвестное исключение в модуле \"" + item.path + "\"");
    return;
  }
  // Its state then travels in the station's state file with every other module.
  if (auto* module = dynamic_cast<lib::ModuleBaseOld*>(&plugin); module && register_module) {
    register_module(info.name, *module);
  }
}

void RegPluginManager::before_unload_item(lib::LoadedPlugin& item, int index) {
  RegPlugin* plugin = static_cast<RegPlugin*>(item.object);
  if (plugin == active_) active_ = nullptr;
  if (plugin == shown_page_) shown_page_ = nullptr;
  if (index >= 0 && index < static_cast<int>(hosts_.size()) && hosts_[index]) {
    hosts_[static_cast<std::size_t>(index)]->retire();
  }
  if (plugin != nullptr) item.entry->destroy(item.object);
  item.object = nullptr;
  if (index >= 0 && index < static_cast<int>(hosts_.size())) {
    hosts_[static_cast<std::size_t>(index)].reset();
    if (index == static_cast<int>(hosts_.size()) - 1) hosts_.pop_back();
  }
}

}  // namespace reg
