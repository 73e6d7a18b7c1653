// The parameter table taken again from its file while the station runs ("params reload" in
// the control folder, sent by rigstation params set and params calibrate): the rows, their
// inputs and conversions change between two ticks, and everything the station derived from
// the table follows.
#include <fmt/format.h>

#include "core/system.h"
#include "lib/file_system.h"
#include "lib/ident.h"
#include "params/global_nums.h"
#include "params/par_tabl.h"
#include "station/station.h"
#include "storage/data_storage.h"

namespace station {

std::string Station::reload_table() {
  ds_tmp::DataStorage& ds = ds_;
  params::ParTabl& table = ds.par_tabl();
  std::vector<std::string> before;
  for (const params::Param& p : table.rows()) before.push_back(p.identifier);
  // A file that cannot be read whole leaves the table the station runs on as it was.
  if (const params::ParTablLoad loaded = table.load(); !loaded)
    return "error " + loaded.describe() + "; the station goes on with the table it had";
  apply_wits_param_files();
  nums_.calculate(table);
  ds.correct_store_modes(nums_);
  pump_rows_ = find_pump_rows();
  // A slot that now holds another parameter starts from nothing, not from the values of the
  // one it held.
  bool moved = false;
  for (int i = 0; i < ds_tmp::kSlots; ++i) {
    const auto slot = static_cast<std::size_t>(i);
    const std::string now = i < table.get_items_count() ? table[i].identifier : std::string();
    if (lib::ident_equal(slot < before.size() ? before[slot] : std::string(), now)) continue;
    moved = true;
    ds.current_values()[i] = 0.0;
    if (slot < frame_.rows.size()) {
      FrameRow& r = frame_.rows[slot];
      r.raw = 0.0;
      r.has_raw = false;
      r.valid = true;
    }
  }
  ++frame_.table_version;
  // Until the next tick, a row is stale or not by the table it now has.
  for (std::size_t i = 0; i < frame_.rows.size() && i < table.rows().size(); ++i)
    frame_.rows[i].fed = table.rows()[i].channel.has_channel();
  if (moved) ds.average_values().clear();
  return fmt::format("ok the parameter table is taken again from '{}': {} row(s)",
                     table.file_name(), table.get_items_count());
}

}  // namespace station
