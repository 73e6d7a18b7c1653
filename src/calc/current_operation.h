// The rig operation under way and its three derived classifications, as the data storage
// keeps them. The operation dictionary gives the codes their names and meanings.
#pragma once

#include <cstdint>

namespace calc {

using OperType = std::int32_t;      // operation code; 0 = none
using WorkType = std::int32_t;      // work type of the daily report
using ProdTimeType = std::int32_t;  // production-time type

struct CurrentOperationItem {
  OperType operation = 0;
  std::int32_t sub_operation = 0;
  WorkType work_type = 0;
  ProdTimeType prod_time_type = 1;
  bool operator==(const CurrentOperationItem&) const = default;
};

}  // namespace calc
