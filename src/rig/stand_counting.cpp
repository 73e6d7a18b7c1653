#include "rig/stand_counting.h"

#include <cmath>
#include <limits>

#include "calc/calc_values.h"
#include "calc/candle_counter.h"
#include "params/par_tabl.h"
#include "storage/data_storage.h"

namespace rig {
namespace {

constexpr const char* kWhere = "CalcValues::calc_pipes";

}  // namespace

StandCounting::StandCounting(candles::CandleCounter& counter, ds_tmp::DataStorage& storage, Log log)
    : counter_(counter),
      storage_(storage),
      log_(std::move(log)),
      stands_row_(calc::calc_names::kStands),
      pipes_row_(calc::calc_names::kPipes) {}

void StandCounting::tick(const StandSettings& s, const std::function<bool(int)>& current) {
  // A counter that fails keeps its counts; the next tick counts again.
  calc::run_module(
      kWhere, [&] { count(s, current); }, log_);
}

void StandCounting::count(const StandSettings& s, const std::function<bool(int)>& current) {
  candles::CandleCounter& counter = counter_;
  counter.set_max_count(s.stands_in_string);
  // Without both rows nothing tells a loaded run from an empty one, or where the block is.
  if (s.hook_row < 0 || s.block_row < 0) return;
  const bool hook_current = current(s.hook_row);
  const bool block_current = current(s.block_row);
  // Neither read this tick: the data source is silent, which is told where it is watched.
  if (!hook_current && !block_current) return;
  const auto sample = [this](int row, bool is_current) {
    return is_current && row < ds_tmp::kSlots ? storage_.current_values()[row]
                                              : std::numeric_limits<double>::quiet_NaN();
  };
  const candles::Item item{static_cast<float>(sample(s.hook_row, hook_current)),
                           static_cast<float>(sample(s.block_row, block_current)), s.time};
  if (!counter.add_item(item)) {
    if (!bad_sample_) {
      log_(std::string(kWhere) + " : the hook load ('вес_на_крюке', row " +
           std::to_string(s.hook_row + 1) + ") or the block position ('тальблок', row " +
           std::to_string(s.block_row + 1) +
           ") is not a current number; the samples are skipped until both read again, the "
           "counts are kept (" +
           std::to_string(counter.get()) + " stands, " + std::to_string(counter.get_pipe()) +
           " pipes)");
    }
    bad_sample_ = true;
    return;
  }
  if (bad_sample_) {
    log_(std::string(kWhere) +
         " : the hook load and the block position read again; counting goes on");
    bad_sample_ = false;
  }
  counter.calculate(static_cast<float>(s.zero_weight), static_cast<float>(s.stand_length),
                    s.pipes_per_stand);
  const params::ParTabl& table = storage_.par_tabl();
  for (auto [row, value] : {std::pair{stands_row_.find(table), counter.get()},
                            std::pair{pipes_row_.find(table), counter.get_pipe()}}) {
    if (row >= 0 && row < table.get_items_count() && row < ds_tmp::kSlots)
      storage_.current_values()[row] = value;
  }
}

}  // namespace rig
