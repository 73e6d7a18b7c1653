// The station side of PluginHost: one object per loaded plug-in, bound to the station's
// registry, lock and data through PluginStation, so it builds and tests without the hub.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "lib/file_system.h"
#include "lib/lock_object.h"
#include "plugin_host/plugin_host.h"

namespace reg {

// What the station hands to the plug-in services. Missing callbacks read as "nothing":
// false, the empty operation, no log line.
struct PluginStation {
  lib::lock_object* lock = nullptr;  // the system lock; null only in tests that need none
  Values* values = nullptr;
  std::function<bool(const std::string& name)> table_has_param;
  std::function<bool(const std::string& name)> crush_flag;
  std::function<bool()> reg_active;
  std::function<calc::CurrentOperationItem()> current_operation;
  std::function<void(const std::string& message)> error_log;
  // What the plug-ins' files are read through; null: no file can be read.
  lib::FileSystem* file_system = nullptr;
};

class PluginHostServices : public PluginHost {
 public:
  // `set_active` and `correct_interface` reach the manager that owns this object.
  PluginHostServices(const PluginStation& station, std::function<void()> set_active,
                     std::function<void()> correct_interface);
  ~PluginHostServices() override;

  // The plug-in's name for error-log lines.
  void set_plugin_name(const std::string& name) { plugin_name_ = name; }
  const std::string& plugin_name() const { return plugin_name_; }
  // Drops every getter the plug-in registered, before its code is unloaded; its values
  // then read 0.
  void retire();

  double get_value(const std::string& name) override;
  void set_value(const std::string& name, double value) override;
  bool name_exists(const std::string& name) override;
  bool get_crush_flag(const std::string& name) override;
  void set_active() override;
  bool get_reg_active() override;
  void correct_interface() override;
  void enum_values(std::vector<ValueParam>& list, bool with_params) override;
  void enum_variables(std::vector<std::string>& list) override;
  bool get_param(const std::string& name, ValueParam& param) override;
  calc::CurrentOperationItem get_operation() override;
  void register_value(const std::string& name, const std::string& full_name,
                      const std::string& unit, ValueType type,
                      std::function<double()> getter) override;
  double call_function1(const std::string& name, double a) override;
  double call_function2(const std::string& name, double a, double b) override;
  double call_function3(const std::string& name, double a, double b, double c) override;
  void set_variable(const std::string& name, const std::string& value) override;
  std::string get_variable(const std::string& name) override;
  double get_float_variable(const std::string& name) override;
  void write_error(const std::string& message) override;
  std::optional<std::string> read_file(const std::string& path, std::size_t max_bytes,
                                       std::string& error) override;

 private:
  struct GetterSlot {
    std::function<double()> getter;
  };
  class Guard;

  const PluginStation& station_;
  std::function<void()> set_active_;
  std::function<void()> correct_interface_;
  std::string plugin_name_;
  std::vector<std::shared_ptr<GetterSlot>> getters_;
};

}  // namespace reg
