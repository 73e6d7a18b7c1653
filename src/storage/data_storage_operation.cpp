// The operation part of DataStorage: the current and forced operation and what is derived
// from them.
#include <stdexcept>
#include <string>

#include "calc/operations.h"
#include "calc/work_mode.h"
#include "params/global_nums.h"
#include "storage/data_storage.h"

namespace ds_tmp {
namespace {

std::string item_text(const calc::CurrentOperationItem& item) {
  return "operation " + std::to_string(item.operation) + ", sub-operation " +
         std::to_string(item.sub_operation) + ", work type " + std::to_string(item.work_type) +
         ", production time " + std::to_string(item.prod_time_type);
}

// What of an item the dictionary does not know, "" when it knows everything. 0 is allowed
// in every field (no operation, "Прочее", no work type), so a forced item of zeros is fine.
std::string unknown_fields(const calc::Operations& d, const calc::CurrentOperationItem& item,
                           bool check_work_type) {
  std::string out;
  auto add = [&out](const char* what, int value, int count) {
    out += (out.empty() ? "unknown " : ", unknown ") + std::string(what) + " " +
           std::to_string(value) + " (known: 0.." + std::to_string(count - 1) + ")";
  };
  if (!d.has_operation(item.operation)) add("operation", item.operation, d.operation_count());
  if (!d.has_suboperation(item.sub_operation))
    add("sub-operation", item.sub_operation, d.suboperation_count());
  if (check_work_type && !d.has_work_type(item.work_type))
    add("work type", item.work_type, d.work_type_count());
  return out;
}

}  // namespace

const calc::Operations& DataStorage::operation_dictionary() const {
  return op_services_.dictionary ? *op_services_.dictionary : calc::Operations::standard();
}

calc::WorkType DataStorage::set_operation(const calc::CurrentOperationItem& item) {
  // The work type of the item is derived below, whatever it says.
  const std::string unknown = unknown_fields(operation_dictionary(), item, false);
  if (!unknown.empty()) {
    throw std::invalid_argument("set_operation refused: " + unknown + "; the current operation " +
                                std::to_string(current_op_.operation) + " is kept");
  }
  if (item.operation != current_op_.operation) {
    current_op_.operation = item.operation;
    current_op_.sub_operation = item.sub_operation;
    std::lock_guard guard(forced_lock_);
    forced_op_.sub_operation = 0;
  }
  current_op_.work_type =
      detect_workmode(get_operation(), current_op_.sub_operation, current_op_.prod_time_type);
  return current_op_.work_type;
}

calc::OperType DataStorage::get_operation() const {
  const calc::OperType forced = get_forced_operation();
  return forced != 0 ? forced : current_op_.operation;
}

calc::CurrentOperationItem DataStorage::get_operation_ex() const {
  auto pick = [](std::int32_t forced, std::int32_t current) {
    return forced != 0 ? forced : current;
  };
  const calc::CurrentOperationItem forced = get_forced_operation_ex();
  return {pick(forced.operation, current_op_.operation),
          pick(forced.sub_operation, current_op_.sub_operation),
          pick(forced.work_type, current_op_.work_type), current_op_.prod_time_type};
}

calc::OperType DataStorage::get_forced_operation() const {
  std::lock_guard guard(forced_lock_);
  return forced_op_.operation;
}

calc::CurrentOperationItem DataStorage::get_forced_operation_ex() const {
  std::lock_guard guard(forced_lock_);
  return forced_op_;
}

void DataStorage::set_forced_operation_item(const calc::CurrentOperationItem& item) {
  std::lock_guard guard(forced_lock_);
  forced_op_ = item;
}

calc::WorkType DataStorage::detect_workmode(calc::OperType oper, int& suboper,
                                            calc::ProdTimeType& prodtime) const {
  calc::WorkModeInputs in;
  // A row the table lacks is -1, which reads as the zeroed spare: the table is not turning.
  const int rotary_row =
      op_services_.global_nums ? (*op_services_.global_nums)[reg::GlobalNums::kOborotyRotora] : -1;
  in.rotary_speed = averages_->operator[](rotary_row);
  const std::string purpose = op_services_.purpose ? op_services_.purpose() : std::string();
  in.purpose = purpose;
  return calc::detect_workmode(operation_dictionary(), oper, in, suboper, prodtime);
}

bool DataStorage::set_forced_operation(const calc::CurrentOperationItem& item) {
  const std::string unknown = unknown_fields(operation_dictionary(), item, true);
  if (!unknown.empty()) {
    throw std::invalid_argument("set_forced_operation refused: " + unknown +
                                "; the forced operation is kept");
  }
  auto same = [&item](const calc::CurrentOperationItem& f) {
    return f.operation == item.operation && f.sub_operation == item.sub_operation &&
           f.work_type == item.work_type;
  };
  calc::CurrentOperationItem before;
  {
    std::lock_guard guard(forced_lock_);
    if (same(forced_op_)) return true;
    before = forced_op_;
    forced_op_.operation = item.operation;
    forced_op_.sub_operation = item.sub_operation;
    forced_op_.work_type = item.work_type;
  }
  auto announce = [this, item] {
    mt_set_forced_operation(item.operation, item.sub_operation, item.work_type);
  };
  if (!op_services_.post_to_main_thread) {
    announce();
    return true;
  }
  if (op_services_.post_to_main_thread(announce)) return true;
  // Nobody would hear of a change the queue refused: it is taken back, unless another
  // change came in meanwhile.
  std::lock_guard guard(forced_lock_);
  if (same(forced_op_)) forced_op_ = before;
  return false;
}

bool DataStorage::set_forced_operation_none() {
  calc::CurrentOperationItem item = get_forced_operation_ex();
  item.operation = 0;
  item.sub_operation = 0;
  return set_forced_operation(item);
}

void DataStorage::mt_set_forced_operation(calc::OperType oper, int suboper, calc::WorkType work) {
  if (op_services_.forced_operation_changed)
    op_services_.forced_operation_changed(oper, suboper, work);
}

void DataStorage::after_deserialize() {
  // Neither production time is kept in the state: the current one is derived again by the
  // next set_operation, and the forced one is never forced.
  check_restored_operation(current_op_, "current");
  std::lock_guard guard(forced_lock_);
  check_restored_operation(forced_op_, "forced");
}

void DataStorage::check_restored_operation(calc::CurrentOperationItem& item, const char* which) {
  const std::string unknown = unknown_fields(operation_dictionary(), item, true);
  if (unknown.empty()) return;
  const calc::CurrentOperationItem replacement{};
  restore_problems_.push_back("DataStorage: the saved " + std::string(which) + " operation (" +
                              item_text(item) + ") has " + unknown + "; it is replaced by (" +
                              item_text(replacement) + ")");
  item = replacement;
}

}  // namespace ds_tmp
