// reg::RegPluginManager: the station's plug-ins. Loads them through lib::PluginManager,
// gives each its own host services, registers plug-ins that are also persistent modules in
// the hub's module list, broadcasts life-cycle calls (shielding the station from what a
// plug-in throws) and keeps the data of the options menu, the pages and the status line.
//
// Not thread-safe by itself: the host's window thread calls it, and the hub calls for_each
// under the system lock.
#pragma once

#include <any>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "lib/plugin_manager.h"
#include "plugin_host/plugin_host_services.h"
#include "plugin_host/plugin_interface.h"
#include "plugin_host/plugin_menu.h"

namespace reg {

class RegPluginManager : public lib::PluginManager {
 public:
  explicit RegPluginManager(PluginStation station,
                            lib::PluginLoader& loader = lib::system_plugin_loader());
  ~RegPluginManager() override;

  int get_size() const { return count(); }
  // The plug-in at that index; null outside the list or after it was unloaded.
  RegPlugin* get_item(int index) const;

  // Stores the folder and publishes it as the variable "work_path".
  void set_workpath(const std::string& folder);
  const std::string& get_workpath() const { return work_path_; }
  const std::string& get_work_path() const { return work_path_; }

  void set_plugin_active(RegPlugin* plugin) { active_ = plugin; }
  RegPlugin* get_plugin_active() const { return active_; }

  // Clears `info`, then asks the plug-in.
  void get_plugin_info(RegPlugin& plugin, PluginInfo& info);

  // Calls `f` on every plug-in in index order. An exception leaving the plug-in (its
  // information query included) is written to the error log and the broadcast goes on.
  void for_each(const std::function<void(RegPlugin&)>& f);
  // Calls event(type, value) on every plug-in in index order; exceptions pass through.
  void call_event(PluginEventType type, std::any& value);

  // The first plug-in whose information name equals `name` exactly (case included), or null.
  RegPlugin* find(const std::string& name);
  bool is_active(const std::string& name) { return find(name) != nullptr; }
  // Brings the plug-in's page to the front: shows it and remembers it as the shown page.
  void activate(const std::string& name);
  RegPlugin* get_shown_page() const { return shown_page_; }

  // One item per plug-in with an options dialog, in index order.
  std::vector<PluginMenuItem> fill_opts_menu();
  // The item of `tag` was clicked: options(), then event(1) with an empty value. A tag of
  // no loaded plug-in does nothing. Exceptions pass through to the host.
  void OnMenuClick(const PluginMenuItem& sender);

  // The status line texts of the plug-ins that have one, each "caption: text".
  std::vector<std::string> status_texts();

  // Plug-ins ask for a new layout of their pages; the host listens here.
  void set_interface_listener(std::function<void()> listener);
  void correct_interface();

 protected:
  void after_load_item(const RegisterCallback& register_module, lib::LoadedPlugin& item,
                       int index) override;
  void before_unload_item(lib::LoadedPlugin& item, int index) override;

 private:
  void log_error(const std::string& message) const;
  std::string plugin_name(int index) const;

  PluginStation station_;
  std::vector<std::unique_ptr<PluginHostServices>> hosts_;  // by index
  std::string work_path_;
  RegPlugin* active_ = nullptr;
  RegPlugin* shown_page_ = nullptr;
  std::function<void()> interface_listener_;
};

}  // namespace reg
