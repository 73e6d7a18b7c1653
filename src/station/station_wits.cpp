// The station's WITS side: rows fed by WITS items, and the parameter files of the servers
// that map rows to them.
#include <cerrno>
#include <cmath>
#include <map>

#include "core/config.h"
#include "core/error_log.h"
#include "core/system.h"
#include "lib/file_system.h"
#include "params/par_tabl.h"
#include "station/station.h"
#include "storage/data_storage.h"
#include "wits/wits0_format.h"
#include "wits/wits0_frames.h"
#include "wits/wits_out_format.h"
#include "wits/wits_out_list.h"

namespace station {

void Station::apply_wits_param_files() {
  const std::string& home = hub_.get_exe_path();
  params::ParTabl& table = hub_.data_storage().par_tabl();
  for (const wits::WITSServerOption& server : hub_.config().wits_options().servers()) {
    if (!server.enabled || server.params_file.empty()) continue;
    const std::string path =
        server.params_file.front() == '/' ? server.params_file : home + server.params_file;
    const auto bytes = lib::read_whole_file(path, hub_.file_system());
    if (!bytes) {
      const std::string message = "WITS server '" + server.name + "': its parameter file '" + path +
                                  "' cannot be read (" + lib::read_failure_text(errno) +
                                  "); no row is mapped to this server by it";
      hub_.error_log().write(message);
      notes_.push_back(message);
      continue;
    }
    // The server's file names its rows: they are taken over whatever fed them before.
    for (const std::string& line : table.apply_wits_config(*bytes, server.name, true, path))
      notes_.push_back("WITS server '" + server.name + "': " + line);
  }
}

void Station::convert_wits_rows(int rows) {
  ds_tmp::DataStorage& ds = hub_.data_storage();
  const params::ParTabl& table = ds.par_tabl();
  double factor = hub_.values().get_float_variable("KoefPolispast");
  if (!(factor > 0)) factor = 1.0;
  const lib::DateTime now = lib::now(hub_.clock());
  for (int i = 0; i < rows; ++i) {
    const params::Param& row = table.rows()[static_cast<std::size_t>(i)];
    if (row.channel.type != params::kChannelWits || !row.channel.has_channel()) continue;
    const auto slot = static_cast<std::size_t>(i);
    const double raw = wits_reading_.get_value(row.ext_info.get(params::ext_keys::kWitsServer),
                                               row.ext_info.get(params::ext_keys::kWitsCode));
    raw_[slot] = raw;
    has_raw_[slot] = true;
    // Nothing from its server (or no code to look for): the row keeps its last value and
    // shows as stale, as a bus row does when its module does not answer.
    if (raw == wits::kNotAvailable) continue;
    const double value = row.calc_value_from_reading(raw, source_.adc_full_scale, factor, now);
    note_conversion(i, row, raw, value);
    if (std::isfinite(value)) {
      ds.current_values()[i] = value;
      fresh_[slot] = true;
    }
  }
}

void Station::open_wits_sender(const StationSettings& settings) {
  if (settings.wits_out_port < 0) return;
  const std::string path = hub_.get_exe_path() + std::string(wits::out_format::kFileName);
  const auto bytes = lib::read_whole_file(path, hub_.file_system());
  if (!bytes) {
    throw StationError("the WITS sender's list '" + path + "' cannot be read (" +
                       lib::read_failure_text(errno) +
                       "): it names the parameters to publish and their codes, one "
                       "\"identifier RRII\" a line; the station did not start");
  }
  const wits::OutList list = wits::parse_out_list(*bytes, path);
  for (const std::string& problem : list.problems) {
    hub_.error_log().write(problem);
    notes_.push_back("WITS sender: " + problem);
  }
  const params::ParTabl& table = hub_.data_storage().par_tabl();
  wits_out_rows_.clear();
  for (const wits::OutEntry& entry : list.entries) {
    const int row = table.find_global(entry.identifier);
    if (row < 0 || row >= ds_tmp::kSlots) {
      const std::string message = path + ": the parameter '" + entry.identifier +
                                  "' is not in the parameter table; it is not published";
      hub_.error_log().write(message);
      notes_.push_back("WITS sender: " + message);
      continue;
    }
    wits_out_rows_.push_back({row, entry.record, entry.item});
  }
  wits::Wits0ServerOptions options;
  options.port = settings.wits_out_port;
  wits_out_ = std::make_unique<wits::Wits0Server>(
      options, [this](const std::string& line) { hub_.error_log().write("WITS sender: " + line); });
  if (const auto error = wits_out_->start()) {
    wits_out_.reset();
    throw StationError("the WITS sender " + *error + "; the station did not start");
  }
  notes_.push_back("WITS sender: " + std::to_string(wits_out_rows_.size()) +
                   " parameter(s) published on port " + std::to_string(wits_out_->port()));
}

void Station::publish_wits() {
  if (!wits_out_ || wits_out_rows_.empty()) return;
  ds_tmp::DataStorage& ds = hub_.data_storage();
  // One frame per record: a receiver makes ready only the record its frame ends with.
  std::map<int, wits::FrameItems> records;
  for (const WitsOutRow& out : wits_out_rows_) {
    const auto slot = static_cast<std::size_t>(out.row);
    // A value the station does not have now is left out rather than sent as a live one.
    if (row_stale(out.row) || (slot < valid_.size() && !valid_[slot])) continue;
    records[out.record].emplace_back(out.item, wits::value_text(ds[out.row]));
  }
  std::string bytes;
  for (const auto& [record, items] : records) bytes += wits::make_frame(record, items);
  wits_out_->publish(std::move(bytes));
}

}  // namespace station
