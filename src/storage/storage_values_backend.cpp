#include "storage/storage_values_backend.h"

#include "storage/data_storage.h"

namespace ds_tmp {

void reg_param_2_plugin_param(const params::Param& row, reg::ValueParam& param) {
  param.full_name = row.full_name;
  param.short_name = row.short_name;
  param.unit = row.unit;
  param.name = row.identifier;
  param.type = reg::kValuePlain;
}

double StorageValuesBackend::get_average(const std::string& name) {
  return storage_[name.c_str()];
}

bool StorageValuesBackend::has_param(const std::string& name) {
  const int row = storage_.par_tabl().find_global(name);
  return row >= 0 && row < ds_tmp::kSlots;
}

void StorageValuesBackend::set_current(const std::string& name, double value) {
  storage_.current_values()[name] = value;
}

bool StorageValuesBackend::get_table_param(const std::string& name, reg::ValueParam& param) {
  int row = storage_.par_tabl().find_global(name);
  if (row < 0) return false;
  // Read through the rows: taking a row for writing would count as an edit of the table.
  reg_param_2_plugin_param(storage_.par_tabl().rows()[static_cast<std::size_t>(row)], param);
  return true;
}

void StorageValuesBackend::enum_table_params(std::vector<reg::ValueParam>& params) {
  for (const auto& row : storage_.par_tabl().rows()) {
    reg::ValueParam p;
    reg_param_2_plugin_param(row, p);
    params.push_back(std::move(p));
  }
}

}  // namespace ds_tmp
