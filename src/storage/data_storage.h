// DataStorage: the station's store of the rig's present state. It owns the parameter table
// and keeps, per parameter slot (the row's index in the table, 512 at most), the current
// value, the moving average and the alarm flag; besides them the bottom-hole and bit
// depths, a short-lived depth-changed marker, the current and forced operation, and two
// flags the host sets. Every module reads parameter values through it.
//
// It has no lock of its own, but for the forced operation, which any thread may set: callers
// hold the system lock around other access shared with other threads.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "calc/current_operation.h"
#include "calc/delayed_depth.h"
#include "lib/module_base.h"
#include "params/par_tabl.h"
#include "storage/average_values.h"
#include "storage/crush_flags.h"
#include "storage/current_values.h"
#include "storage/file_data.h"

namespace reg {
class GlobalNums;
}
namespace calc {
class Operations;
}

namespace ds_tmp {

inline constexpr double kMaxDepth = 15000.0;
inline constexpr int kDepthChangedTicks = 3;
inline constexpr const char* kDepthZOutOfRange =
    "Некорректное значение глубины забоя!\nРазрешённые значения - от 0 до 15000 метров.";
inline constexpr const char* kDepthCurOutOfRange =
    "Некорректное значение глубины инструмента!\nРазрешённые значения - от 0 до 15000 метров.";

// What the operation detection needs from the station around the storage. The owner sets
// it once, before any other thread can call set_forced_operation.
struct OperationServices {
  // The operation dictionary; null: calc::Operations::standard().
  const calc::Operations* dictionary = nullptr;
  // The well-known rows, for the rotary speed; null: that row is unknown (reads as 0).
  const reg::GlobalNums* global_nums = nullptr;
  // The bit run's purpose text, whose code in brackets selects the work type; empty: none.
  std::function<std::string()> purpose;
  // Queues a task for the main thread; false when the queue refused it. Empty (a storage
  // outside a hub): a change of the forced operation applies at once on the caller's thread.
  std::function<bool(std::function<void()>)> post_to_main_thread;
  // Told on the main thread each time the forced operation changes, with the new forced
  // operation, sub-operation and work type.
  std::function<void(calc::OperType, int, calc::WorkType)> forced_operation_changed;
};

class DataStorage : public lib::SerialModuleBase {
 public:
  using CrushFlags = ds_tmp::CrushFlags;

  // The catalogue must outlive the storage.
  explicit DataStorage(const params::AllParams& catalogue, params::ParTablServices services = {});
  ~DataStorage() override;

  // ---- values ---------------------------------------------------------------------------
  // The value a reader sees: the average when the slot's window holds more than one value,
  // else the current value. Outside 0..511, or a name no row bears: a zeroed spare.
  double& operator[](int index) { return averages_->operator[](index); }
  double& operator[](std::string_view identifier) { return averages_->operator[](identifier); }
  double& operator[](const char* identifier) { return (*this)[std::string_view(identifier)]; }

  params::ParTabl& par_tabl() { return *table_; }
  const params::ParTabl& par_tabl() const { return *table_; }
  ds_tmp::CurrentValues& current_values() { return *current_; }
  ds_tmp::AverageValues& average_values() { return *averages_; }
  CrushFlags& crush_flags() { return *crush_flags_; }
  // The lag-depth tracker; it reads the bottom-hole depth from here.
  calc::DelayedDepth& delayed_depth() { return *delayed_depth_; }
  const calc::DelayedDepth& delayed_depth() const { return *delayed_depth_; }
  FileData& file_data() { return file_data_; }

  // ---- depths ---------------------------------------------------------------------------
  double depth_z() const { return depth_z_; }
  double depth_cur() const { return depth_cur_; }
  // Bottom-hole depth in metres, 0..15000; the bit follows the bottom when it was on
  // bottom, and never stays below it. Throws std::runtime_error out of range; nothing
  // changes then.
  void set_depth_z(double depth);
  // Bit depth in metres, 0..15000, held at or above the bottom.
  void set_depth_cur(double depth);
  // Height of the bit above bottom, never negative.
  double get_depth_uz() const;
  // Counts the writes of the depths (the two setters, a settings load, a restored state): a
  // writer that notes it after its own write tells a later write by someone else from its
  // own without reading the depths back.
  std::uint64_t depth_writes() const { return depth_writes_; }

  // The depth-changed marker stays raised for three ticks after a change.
  void depth_changed() { depth_changed_counter_ = kDepthChangedTicks; }
  void tick() {
    if (depth_changed_counter_ != 0) --depth_changed_counter_;
  }
  bool is_depth_changed() const { return depth_changed_counter_ != 0; }

  // ---- host flags -----------------------------------------------------------------------
  bool circulation_on() const { return circulation_on_; }
  void set_circulation_on(bool on) { circulation_on_ = on; }
  bool depth_file_on() const { return depth_file_on_; }
  void set_depth_file_on(bool on) { depth_file_on_ = on; }
  std::int32_t host_value(int which) const {
    return which == 0 ? host_values_[0] : host_values_[1];
  }
  void set_host_value(int which, std::int32_t v) { host_values_[which == 0 ? 0 : 1] = v; }

  // ---- operation ------------------------------------------------------------------------
  // The rig operation under way (the current one, set by whoever recognises it each tick)
  // and the one an operator or plug-in forces over it. A forced field of 0 means "not
  // forced": the effective value of each field is the forced one when it is not 0, else
  // the current one. Main thread, under the system lock, except where said otherwise.
  void set_operation_services(OperationServices services) { op_services_ = std::move(services); }
  const calc::Operations& operation_dictionary() const;

  // Takes the item's operation and sub-operation when its operation differs from the
  // current one (clearing the forced sub-operation); otherwise keeps the current ones. Then
  // derives the sub-operation, work type and production time of the effective operation
  // (detect_workmode) and returns the work type. An operation or sub-operation the
  // dictionary does not know throws std::invalid_argument and changes nothing.
  calc::WorkType set_operation(const calc::CurrentOperationItem& item);
  calc::WorkType set_operation(calc::OperType oper) { return set_operation({oper, 0, 0, 1}); }
  // The effective operation, and the effective item with the current production time.
  calc::OperType get_operation() const;
  calc::CurrentOperationItem get_operation_ex() const;
  // See calc::detect_workmode; the rotary speed is the average of the well-known rotary
  // speed row and the purpose comes from the services.
  calc::WorkType detect_workmode(calc::OperType oper, int& suboper,
                                 calc::ProdTimeType& prodtime) const;

  // Forces the item's operation, sub-operation and work type. Any thread: the values are
  // stored at once, so every reader sees the forced operation from the return on; only the
  // announcement (forced_operation_changed) is queued for the main thread. An item equal
  // to the forced one changes and announces nothing. Ids the dictionary does not know (0 is
  // allowed everywhere: not forced) throw std::invalid_argument at once. False when the
  // main-thread queue refused the announcement: the change is then taken back.
  bool set_forced_operation(const calc::CurrentOperationItem& item);
  // Clears the forced operation and sub-operation; a forced work type stays (it is forced
  // on its own, e.g. while an accident is dealt with). Any thread, like the above.
  bool set_forced_operation_none();
  // The main-thread half of the two above: announces the forced values.
  void mt_set_forced_operation(calc::OperType oper, int suboper, calc::WorkType work);
  calc::OperType get_forced_operation() const;
  calc::CurrentOperationItem get_forced_operation_ex() const;

  const calc::CurrentOperationItem& current_operation_item() const { return current_op_; }
  void set_current_operation_item(const calc::CurrentOperationItem& item) { current_op_ = item; }
  calc::CurrentOperationItem forced_operation_item() const { return get_forced_operation_ex(); }
  void set_forced_operation_item(const calc::CurrentOperationItem& item);

  // What the last restore of the state had to correct (an operation the dictionary does not
  // know, replaced by none), one sentence each; the list is emptied by the call.
  std::vector<std::string> take_restore_problems() { return std::move(restore_problems_); }

  // ---- settings -------------------------------------------------------------------------
  // Section "рейс", keys "глубина_забоя" and "глубина_долота". Loading takes the present
  // depths as defaults and applies no range check.
  void load_conf(const std::string& file, lib::FileSystem& fs);
  void save_conf(const std::string& file, lib::FileSystem& fs);
  const std::string& section_name() const { return section_; }

  // The recording rule of four well-known rows: last value for the rates of penetration
  // and the "дмк" pair, maximum for the maximum gas.
  void correct_store_modes(const reg::GlobalNums& nums);

  // ---- slots in the state file ------------------------------------------------------------
  // The identifier of every slot's row when the state was saved, as the last state read
  // carried them; nullptr when it carried none (an older state, or none read). The state
  // kept per slot (averages) belongs to these rows, so a slot whose row has changed since
  // must not show it.
  const std::vector<std::string>* saved_slot_identifiers() const {
    return saved_slots_known_ ? &saved_slots_ : nullptr;
  }

 protected:
  void serial_fields(lib::serial_list& list, unsigned version) override;
  void after_deserialize() override;

 private:
  // Replaces a restored operation item the dictionary does not know and notes why.
  void check_restored_operation(calc::CurrentOperationItem& item, const char* which);

  calc::CurrentOperationItem current_op_;
  // Guards forced_op_, which any thread may set.
  mutable std::mutex forced_lock_;
  calc::CurrentOperationItem forced_op_;
  std::int32_t depth_changed_counter_ = 0;
  std::uint64_t depth_writes_ = 0;
  std::string section_ = "рейс";
  // Before the table: it copies the error log of the services the table then takes.
  std::unique_ptr<calc::DelayedDepth> delayed_depth_;
  std::unique_ptr<params::ParTabl> table_;
  std::unique_ptr<ds_tmp::CurrentValues> current_;
  std::unique_ptr<ds_tmp::AverageValues> averages_;
  std::unique_ptr<CrushFlags> crush_flags_;
  FileData file_data_;
  bool circulation_on_ = true;
  bool depth_file_on_ = false;
  double depth_z_ = 0;
  double depth_cur_ = 0;
  std::int32_t host_values_[2] = {0, 0};
  std::vector<std::string> saved_slots_;
  bool saved_slots_known_ = false;
  OperationServices op_services_;
  std::vector<std::string> restore_problems_;
};

}  // namespace ds_tmp
