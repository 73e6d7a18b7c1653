// The stand counting as the tick drives it: once a tick the stand counter
// (candles::CandleCounter, docs/stand-counter.md) takes this tick's hook load and block
// position, recognises the runs of a trip and counts the stands and pipes, and the counts are
// written into their table rows ("число_свечей", "число_трубок") when the table has them: one
// way, never read back. The counter itself belongs to the hub, which saves its counts in the
// state file and hands it to the host; the operator's commands set it there.
//
// A sample with one of the two rows not current or not a number is skipped (told once in the
// log until both read again), the counts kept; with neither current (the data source silent)
// it is skipped without a word; a table without either row counts nothing. The counter's own
// error is logged and the counts kept. The log lines keep the texts operators know them by
// ("CalcValues::calc_pipes : …"). Not thread-safe: the station's tick owns it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "rig/row_by_name.h"

namespace candles {
class CandleCounter;
}
namespace ds_tmp {
class DataStorage;
}

namespace rig {

struct StandSettings {
  double zero_weight = 0;    // t: an empty block's load ("нулевой_вес")
  double stand_length = 0;   // m ("свеча")
  int pipes_per_stand = 0;   // of the drill string; 0 or less counts nothing
  int stands_in_string = 0;  // of the drill string: the counter's limit
  int hook_row = -1;         // the hook load's row, -1: none
  int block_row = -1;        // the block position's row, -1: none
  std::uint32_t time = 0;    // the tick's time stamp, seconds
};

class StandCounting {
 public:
  using Log = std::function<void(const std::string&)>;
  // All must outlive this.
  StandCounting(candles::CandleCounter& counter, ds_tmp::DataStorage& storage, Log log);

  // One tick; `current(row)` tells whether a row read this tick.
  void tick(const StandSettings& s, const std::function<bool(int)>& current);

 private:
  void count(const StandSettings& s, const std::function<bool(int)>& current);

  candles::CandleCounter& counter_;
  ds_tmp::DataStorage& storage_;
  Log log_;
  RowByName stands_row_;
  RowByName pipes_row_;
  bool bad_sample_ = false;
};

}  // namespace rig
