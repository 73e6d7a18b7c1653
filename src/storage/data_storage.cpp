#include "storage/data_storage.h"

#include <stdexcept>

#include "lib/ini_file.h"
#include "lib/str_utils.h"
#include "params/global_nums.h"

namespace ds_tmp {
namespace {
constexpr const char* kSerialName = "DataStorage";
constexpr unsigned kSerialVersion = 3;
// From this layout on the block carries the identifiers of the slots' rows.
constexpr unsigned kFirstSlotIdsVersion = 2;
// From this layout on the block ends with the forced operation, sub-operation and work
// type.
constexpr unsigned kFirstForcedOperationVersion = 3;
constexpr const char* kDepthZKey = "глубина_забоя";
constexpr const char* kDepthCurKey = "глубина_долота";

// Store modes of the recorder, kept in the row's attribute byte.
constexpr std::uint8_t kStoreLast = 1;
constexpr std::uint8_t kStoreMax = 2;

bool depth_in_range(double d) {
  return d >= 0 && d <= kMaxDepth;
}  // false for NaN
}  // namespace

DataStorage::DataStorage(const params::AllParams& catalogue, params::ParTablServices services)
    : SerialModuleBase(kSerialName, kSerialVersion),
      delayed_depth_(
          std::make_unique<calc::DelayedDepth>([this] { return depth_z_; }, services.error_log)),
      table_(std::make_unique<params::ParTabl>(catalogue, std::move(services))),
      current_(std::make_unique<CurrentValues>(*table_)),
      averages_(std::make_unique<AverageValues>(*table_, *current_)),
      crush_flags_(std::make_unique<CrushFlags>(*table_)) {}

DataStorage::~DataStorage() = default;

void DataStorage::set_depth_z(double depth) {
  if (!depth_in_range(depth)) throw std::runtime_error(kDepthZOutOfRange);
  const bool bit_on_bottom = !lib::is_over_null(depth_z_ - depth_cur_);
  depth_z_ = depth;
  if (depth_z_ < depth_cur_ || bit_on_bottom) depth_cur_ = depth_z_;
  ++depth_writes_;
  depth_changed();
}

void DataStorage::set_depth_cur(double depth) {
  if (!depth_in_range(depth)) throw std::runtime_error(kDepthCurOutOfRange);
  depth_cur_ = std::min(depth, depth_z_);
  ++depth_writes_;
  depth_changed();
}

double DataStorage::get_depth_uz() const {
  double h = depth_z_ - depth_cur_;
  return h > 0 ? h : 0;
}

void DataStorage::load_conf(const std::string& file, lib::FileSystem& fs) {
  auto ini = lib::get_readonly_ini_file(file, fs);
  depth_z_ = ini->get_double(section_, kDepthZKey, depth_z_);
  depth_cur_ = ini->get_double(section_, kDepthCurKey, depth_cur_);
  ++depth_writes_;
}

void DataStorage::save_conf(const std::string& file, lib::FileSystem& fs) {
  auto ini = lib::get_ini_file(file, fs);
  ini->set_double(section_, kDepthZKey, depth_z_);
  ini->set_double(section_, kDepthCurKey, depth_cur_);
  ini->save();
}

void DataStorage::correct_store_modes(const reg::GlobalNums& nums) {
  auto set_mode = [&](int slot, std::uint8_t mode) {
    int row = nums[slot];
    if (row >= 0 && row < table_->get_items_count()) (*table_)[row].attribute = mode;
  };
  set_mode(reg::GlobalNums::kSkorostMehanicheskaya, kStoreLast);
  set_mode(reg::GlobalNums::kDmk, kStoreLast);
  set_mode(reg::GlobalNums::kDmk1, kStoreLast);
  set_mode(reg::GlobalNums::kMaksimalnyGaz, kStoreMax);
}

void DataStorage::serial_fields(lib::serial_list& list, unsigned version) {
  list.add(circulation_on_).add(depth_file_on_).add(depth_z_).add(depth_cur_);
  if (list.reading()) ++depth_writes_;
  list.add(current_op_.operation).add(current_op_.sub_operation).add(current_op_.work_type);
  list.add(host_values_[0]).add(host_values_[1]);
  // Nothing was forced in the older layouts' eyes: they never kept it.
  if (list.reading() && version < kFirstForcedOperationVersion) set_forced_operation_item({});
  if (version < kFirstSlotIdsVersion) {
    saved_slots_.clear();
    saved_slots_known_ = false;
    return;
  }
  // Which row each slot held, so a later start can tell the per-slot state of a replaced
  // table from that of its own rows.
  std::vector<std::string> slots;
  if (!list.reading()) {
    for (const params::Param& row : table_->rows()) slots.push_back(row.identifier);
  }
  list.add(slots);
  if (list.reading()) {
    saved_slots_ = std::move(slots);
    saved_slots_known_ = true;
  }
  if (version < kFirstForcedOperationVersion) return;
  calc::CurrentOperationItem forced = get_forced_operation_ex();
  list.add(forced.operation).add(forced.sub_operation).add(forced.work_type);
  if (list.reading()) set_forced_operation_item(forced);
}

}  // namespace ds_tmp
