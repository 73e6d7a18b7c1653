// Connects the value registry to the data storage: names that are not registered values
// read the storage's averages and write its current values, and the parameter table
// answers for its rows.
#pragma once

#include "registry/values.h"

namespace params {
class Param;
}

namespace ds_tmp {

class DataStorage;

class StorageValuesBackend : public reg::ValuesBackend {
 public:
  explicit StorageValuesBackend(DataStorage& storage) : storage_(storage) {}
  double get_average(const std::string& name) override;
  bool has_param(const std::string& name) override;
  void set_current(const std::string& name, double value) override;
  bool get_table_param(const std::string& name, reg::ValueParam& param) override;
  void enum_table_params(std::vector<reg::ValueParam>& params) override;

 private:
  DataStorage& storage_;
};

// A table row as the registry hands it out: its names, unit and identifier, type 0.
void reg_param_2_plugin_param(const params::Param& row, reg::ValueParam& param);

}  // namespace ds_tmp
