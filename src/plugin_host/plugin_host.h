// The services the station offers to a plug-in: reading and writing its data by name,
// registering values, calling functions, keeping variables and reporting errors. Every
// service takes the system lock for the duration of the call; the lock is re-entrant, so a
// plug-in may call services from inside a broadcast. Each plug-in gets its own host object,
// so the services know which plug-in is calling (for the error log and "active").
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "calc/current_operation.h"
#include "registry/values.h"

namespace reg {

class PluginHost {
 public:
  virtual ~PluginHost() = default;

  virtual double get_value(const std::string& name) = 0;
  virtual void set_value(const std::string& name, double value) = 0;
  // True when the parameter table has the name or the registry knows it.
  virtual bool name_exists(const std::string& name) = 0;
  // The alarm flag of a parameter as of the last alarm pass.
  virtual bool get_crush_flag(const std::string& name) = 0;
  // Marks the calling plug-in as the active one.
  virtual void set_active() = 0;
  virtual bool get_reg_active() = 0;
  // Asks the host to lay out the plug-ins' interface again.
  virtual void correct_interface() = 0;

  virtual void enum_values(std::vector<ValueParam>& list, bool with_params) = 0;
  virtual void enum_variables(std::vector<std::string>& list) = 0;
  virtual bool get_param(const std::string& name, ValueParam& param) = 0;
  virtual calc::CurrentOperationItem get_operation() = 0;

  // The getter is kept by the station only while the plug-in is loaded; after unloading,
  // the value reads 0 and the plug-in's code is never called again.
  virtual void register_value(const std::string& name, const std::string& full_name,
                              const std::string& unit, ValueType type,
                              std::function<double()> getter) = 0;
  virtual double call_function1(const std::string& name, double a) = 0;
  virtual double call_function2(const std::string& name, double a, double b) = 0;
  virtual double call_function3(const std::string& name, double a, double b, double c) = 0;

  virtual void set_variable(const std::string& name, const std::string& value) = 0;
  virtual std::string get_variable(const std::string& name) = 0;
  virtual double get_float_variable(const std::string& name) = 0;

  // Written to the station's error log as "Модуль '<plug-in name>' :<message>".
  virtual void write_error(const std::string& message) = 0;
  // The whole content of a file (the plug-in's own settings, say), at most `max_bytes`, read
  // through the station's file system; nullopt when it cannot be, with the reason in `error`.
  virtual std::optional<std::string> read_file(const std::string& path, std::size_t max_bytes,
                                               std::string& error) = 0;
};

}  // namespace reg
