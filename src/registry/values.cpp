#include "registry/values.h"

#include <mutex>

#include "lib/str_utils.h"

namespace reg {

Values::Values(lib::lock_object& lock, ValuesBackend* backend) : lock_(lock), backend_(backend) {}

void Values::set_backend(ValuesBackend* backend) {
  std::lock_guard guard(lock_);
  backend_ = backend;
}

void Values::register_value(const std::string& name, const std::string& full_name,
                            const std::string& unit, ValueType type,
                            std::function<double()> getter) {
  std::lock_guard guard(lock_);
  values_.try_emplace(name, values_detailed::IntValue{full_name, unit, type, std::move(getter)});
}

void Values::set_error_sink(ErrorSink sink) {
  std::lock_guard guard(lock_);
  error_sink_ = std::move(sink);
}

void Values::report_unknown(const std::string& name, const char* what) {
  if (!reported_.insert(name).second || !error_sink_) return;
  error_sink_("Values: " + std::string(what) + " of the unknown name \"" + name +
              "\": neither a registered value nor a parameter of the table" +
              (std::string(what) == "write" ? ", the value is lost" : ", 0 is read") +
              " (reported once per name)");
}

std::optional<double> Values::find(const std::string& name) {
  std::lock_guard guard(lock_);
  auto it = values_.find(name);
  if (it != values_.end()) return it->second.getter ? it->second.getter() : 0.0;
  if (!backend_) return std::nullopt;
  if (!backend_->has_param(name)) {
    report_unknown(name, "read");
    return std::nullopt;
  }
  return backend_->get_average(name);
}

double Values::get(const std::string& name) {
  std::lock_guard guard(lock_);
  if (auto v = find(name)) return *v;
  // Unknown names read what the store yields for them, as they always did.
  return backend_ ? backend_->get_average(name) : 0.0;
}

bool Values::has_value(const std::string& name) {
  std::lock_guard guard(lock_);
  return values_.count(name) > 0 || (backend_ != nullptr && backend_->has_param(name));
}

bool Values::set(const std::string& name, double value) {
  std::lock_guard guard(lock_);
  if (!backend_) return false;
  if (!backend_->has_param(name)) {
    report_unknown(name, "write");
    return false;
  }
  backend_->set_current(name, value);
  return true;
}

bool Values::get_param(const std::string& name, ValueParam& param) {
  std::lock_guard guard(lock_);
  auto it = values_.find(name);
  if (it != values_.end()) {
    int_value_to_value_param(it->second, param);
    param.name = it->first;
    return true;
  }
  if (!backend_) return false;
  ValueParam found;
  if (!backend_->get_table_param(name, found)) return false;
  param = found;
  return true;
}

void Values::enum_values(std::vector<ValueParam>& list, bool with_params) {
  std::lock_guard guard(lock_);
  if (with_params && backend_) backend_->enum_table_params(list);
  for (const auto& [key, value] : values_) {
    ValueParam p;
    int_value_to_value_param(value, p);
    p.name = key;
    list.push_back(std::move(p));
  }
}

void Values::enum_variables(std::vector<std::string>& list) {
  std::lock_guard guard(lock_);
  list.clear();
  for (const auto& [name, value] : variables_) list.push_back(name);
}

void Values::set_variable(const std::string& name, const std::string& value) {
  std::lock_guard guard(lock_);
  variables_[name] = value;
}

std::string Values::get_variable(const std::string& name) {
  std::lock_guard guard(lock_);
  auto it = variables_.find(name);
  return it == variables_.end() ? std::string() : it->second;
}

double Values::get_float_variable(const std::string& name) {
  return lib::str_to_float(get_variable(name));
}

void Values::register_function1(const char* name, Function1 f) {
  std::lock_guard guard(lock_);
  functions1_.try_emplace(name, std::move(f));
}

void Values::register_function2(const char* name, Function2 f) {
  std::lock_guard guard(lock_);
  functions2_.try_emplace(name, std::move(f));
}

void Values::register_function3(const char* name, Function3 f) {
  std::lock_guard guard(lock_);
  functions3_.try_emplace(name, std::move(f));
}

double Values::call_function1(const char* name, double a) {
  std::lock_guard guard(lock_);
  auto it = functions1_.find(name);
  return it == functions1_.end() || !it->second ? 0.0 : it->second(a);
}

double Values::call_function2(const char* name, double a, double b) {
  std::lock_guard guard(lock_);
  auto it = functions2_.find(name);
  return it == functions2_.end() || !it->second ? 0.0 : it->second(a, b);
}

double Values::call_function3(const char* name, double a, double b, double c) {
  std::lock_guard guard(lock_);
  auto it = functions3_.find(name);
  return it == functions3_.end() || !it->second ? 0.0 : it->second(a, b, c);
}

bool Values::param_exists(const std::string& name) const {
  return variables_.count(name) > 0 || values_.count(name) > 0;
}

void Values::int_value_to_value_param(const values_detailed::IntValue& value, ValueParam& param) {
  param.full_name = value.full_name;
  param.short_name = value.full_name;
  param.unit = value.unit;
  param.type = value.type;
}

}  // namespace reg
