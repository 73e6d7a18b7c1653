#include "plugin_host/plugin_host_services.h"

#include <cerrno>

#include "lib/str_enc.h"

namespace reg {

// Holds the system lock for one service call; a station without a lock (tests) runs bare.
class PluginHostServices::Guard {
 public:
  explicit Guard(const PluginStation& station) : lock_(station.lock) {
    if (lock_ != nullptr) lock_->lock();
  }
  ~Guard() {
    if (lock_ != nullptr) lock_->unlock();
  }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;

 private:
  lib::lock_object* lock_;
};

PluginHostServices::PluginHostServices(const PluginStation& station,
                                       std::function<void()> set_active,
                                       std::function<void()> correct_interface)
    : station_(station),
      set_active_(std::move(set_active)),
      correct_interface_(std::move(correct_interface)) {}

PluginHostServices::~PluginHostServices() {
  retire();
}

void PluginHostServices::retire() {
  Guard guard(station_);
  // The registry keeps its wrappers (it cannot forget a name); they find an empty slot.
  for (auto& slot : getters_) slot->getter = nullptr;
  getters_.clear();
}

double PluginHostServices::get_value(const std::string& name) {
  Guard guard(station_);
  return station_.values ? station_.values->get(name) : 0.0;
}

void PluginHostServices::set_value(const std::string& name, double value) {
  Guard guard(station_);
  if (station_.values) station_.values->set(name, value);
}

bool PluginHostServices::name_exists(const std::string& name) {
  Guard guard(station_);
  if (station_.table_has_param && station_.table_has_param(name)) return true;
  return station_.values != nullptr && station_.values->param_exists(name);
}

bool PluginHostServices::get_crush_flag(const std::string& name) {
  Guard guard(station_);
  return station_.crush_flag && station_.crush_flag(name);
}

void PluginHostServices::set_active() {
  Guard guard(station_);
  if (set_active_) set_active_();
}

bool PluginHostServices::get_reg_active() {
  Guard guard(station_);
  return station_.reg_active && station_.reg_active();
}

void PluginHostServices::correct_interface() {
  Guard guard(station_);
  if (correct_interface_) correct_interface_();
}

void PluginHostServices::enum_values(std::vector<ValueParam>& list, bool with_params) {
  Guard guard(station_);
  if (station_.values) station_.values->enum_values(list, with_params);
}

void PluginHostServices::enum_variables(std::vector<std::string>& list) {
  Guard guard(station_);
  if (station_.values) station_.values->enum_variables(list);
}

bool PluginHostServices::get_param(const std::string& name, ValueParam& param) {
  Guard guard(station_);
  return station_.values != nullptr && station_.values->get_param(name, param);
}

calc::CurrentOperationItem PluginHostServices::get_operation() {
  Guard guard(station_);
  return station_.current_operation ? station_.current_operation() : calc::CurrentOperationItem{};
}

void PluginHostServices::register_value(const std::string& name, const std::string& full_name,
                                        const std::string& unit, ValueType type,
                                        std::function<double()> getter) {
  Guard guard(station_);
  if (!station_.values) return;
  // A plug-in's texts are mended where they enter, and the log says so: the table, the logs
  // and every JSON writer downstream take UTF-8 only.
  if (!lib::is_valid_utf8(name) || !lib::is_valid_utf8(full_name) || !lib::is_valid_utf8(unit)) {
    if (station_.error_log) {
      station_.error_log("Модуль '" + plugin_name_ + "': the value '" + lib::to_valid_utf8(name) +
                         "' has a name, caption or unit that is not UTF-8 text; it is shown "
                         "with U+FFFD in place of the bad bytes");
    }
    return register_value(lib::to_valid_utf8(name), lib::to_valid_utf8(full_name),
                          lib::to_valid_utf8(unit), type, std::move(getter));
  }
  // The registry outlives the plug-in, so it must never hold the plug-in's own callable:
  // destroying or calling it after the library is closed would run unmapped code.
  auto slot = std::make_shared<GetterSlot>(GetterSlot{std::move(getter)});
  getters_.push_back(slot);
  station_.values->register_value(name, full_name, unit, type, [slot]() -> double {
    return slot->getter ? slot->getter() : 0.0;
  });
}

double PluginHostServices::call_function1(const std::string& name, double a) {
  Guard guard(station_);
  return station_.values ? station_.values->call_function1(name.c_str(), a) : 0.0;
}

double PluginHostServices::call_function2(const std::string& name, double a, double b) {
  Guard guard(station_);
  return station_.values ? station_.values->call_function2(name.c_str(), a, b) : 0.0;
}

double PluginHostServices::call_function3(const std::string& name, double a, double b, double c) {
  Guard guard(station_);
  return station_.values ? station_.values->call_function3(name.c_str(), a, b, c) : 0.0;
}

void PluginHostServices::set_variable(const std::string& name, const std::string& value) {
  Guard guard(station_);
  if (station_.values) station_.values->set_variable(name, value);
}

std::string PluginHostServices::get_variable(const std::string& name) {
  Guard guard(station_);
  return station_.values ? station_.values->get_variable(name) : std::string();
}

double PluginHostServices::get_float_variable(const std::string& name) {
  Guard guard(station_);
  return station_.values ? station_.values->get_float_variable(name) : 0.0;
}

std::optional<std::string> PluginHostServices::read_file(const std::string& path,
                                                         std::size_t max_bytes,
                                                         std::string& error) {
  if (station_.file_system == nullptr) {
    error = "the station gives its plug-ins no file system";
    return std::nullopt;
  }
  auto text = lib::read_whole_file(path, *station_.file_system, max_bytes);
  if (!text) error = lib::read_failure_text(errno, max_bytes);
  return text;
}

void PluginHostServices::write_error(const std::string& message) {
  Guard guard(station_);
  if (station_.error_log) station_.error_log("Модуль '" + plugin_name_ + "' :" + message);
}

}  // namespace reg
