// The station's WITS side: rows fed by WITS items, and the parameter files of the servers
// that map rows to them.
#include <cerrno>
#include <cmath>
#include <map>
#include <set>

#include "core/config.h"
#include "core/error_log.h"
#include "core/system.h"
#include "lib/file_system.h"
#include "lib/str_utils.h"
#include "params/par_tabl.h"
#include "station/station.h"
#include "storage/data_storage.h"
#include "wits/wits0_format.h"
#include "wits/wits0_frames.h"
#include "wits/wits_out_format.h"
#include "wits/wits_out_list.h"

namespace station {

void Station::apply_wits_param_files() {
  const std::string& home = home_;
  params::ParTabl& table = ds_.par_tabl();
  for (const wits::WITSServerOption& server : config_.wits_options().servers()) {
    if (!server.enabled || server.params_file.empty()) continue;
    const std::string path =
        server.params_file.front() == '/' ? server.params_file : home + server.params_file;
    const auto bytes = lib::read_whole_file(path, fs_);
    if (!bytes) {
      const std::string message = "WITS server '" + server.name + "': its parameter file '" + path +
                                  "' cannot be read (" + lib::read_failure_text(errno) +
                                  "); no row is mapped to this server by it";
      log_.write(message);
      notes_.push_back(message);
      continue;
    }
    // The server's file names its rows: they are taken over whatever fed them before.
    for (const std::string& line : table.apply_wits_config(*bytes, server.name, true, path))
      notes_.push_back("WITS server '" + server.name + "': " + line);
  }
}

void Station::open_wits_sender(const StationSettings& settings) {
  if (settings.wits_out_port < 0) return;
  const std::string path = home_ + std::string(wits::out_format::kFileName);
  if (lib::missing(fs_, path)) {
    // A first --wits-out on a home: a commented starter publishes the values every rig has,
    // and shows the operator what to write.
    try {
      lib::write_file_atomically(path, wits::out_format::kStarterList, fs_);
    } catch (const std::exception& e) {
      throw StationError("the WITS sender's list '" + path + "' is missing and a starter cannot " +
                         "be written (" + e.what() +
                         "); write it by hand, one \"identifier RRII\" a line such as "
                         "\"вес_на_крюке 0114\"; the station did not start");
    }
    notes_.push_back("WITS sender: created the starter list '" + path +
                     "' (hook load, standpipe pressure, rotary speed); edit it to choose what "
                     "is published");
  }
  const auto bytes = lib::read_whole_file(path, fs_);
  if (!bytes) {
    throw StationError("the WITS sender's list '" + path + "' cannot be read (" +
                       lib::read_failure_text(errno) +
                       "): it names the parameters to publish and their codes, one "
                       "\"identifier RRII\" a line; the station did not start");
  }
  const wits::OutList list = wits::parse_out_list(*bytes, path);
  for (const std::string& problem : list.problems) {
    log_.write(problem);
    notes_.push_back("WITS sender: " + problem);
  }
  const params::ParTabl& table = ds_.par_tabl();
  wits_out_rows_.clear();
  for (const wits::OutEntry& entry : list.entries) {
    const int row = table.find_global(entry.identifier);
    if (row < 0 || row >= ds_tmp::kSlots) {
      const std::string message = path + ": the parameter '" + entry.identifier +
                                  "' is not in the parameter table; it is not published";
      log_.write(message);
      notes_.push_back("WITS sender: " + message);
      continue;
    }
    wits_out_rows_.push_back({row, entry.record, entry.item});
  }
  wits::Wits0ServerOptions options;
  options.address = settings.wits_out_address;
  options.port = settings.wits_out_port;
  wits_out_ = std::make_unique<wits::Wits0Server>(
      options, [this](const std::string& line) { log_.write("WITS sender: " + line); });
  if (const auto error = wits_out_->start()) {
    wits_out_.reset();
    throw StationError("the WITS sender " + *error + "; the station did not start");
  }
  notes_.push_back("WITS sender: " + std::to_string(wits_out_rows_.size()) +
                   " parameter(s) published on port " + std::to_string(wits_out_->port()) + " of " +
                   settings.wits_out_address);
}

void Station::publish_wits(const TickFrame& frame) {
  if (!wits_out_ || wits_out_rows_.empty()) return;
  ds_tmp::DataStorage& ds = ds_;
  // One frame per record: a receiver makes ready only the record its frame ends with.
  std::map<int, wits::FrameItems> records;
  for (const WitsOutRow& out : wits_out_rows_) {
    // A value the station does not have now is left out rather than sent as a live one.
    if (frame.stale(out.row) ||
        (frame.in_range(out.row) && !frame.rows[static_cast<std::size_t>(out.row)].valid))
      continue;
    records[out.record].emplace_back(out.item, wits::value_text(ds[out.row]));
  }
  std::string bytes;
  for (const auto& [record, items] : records) bytes += wits::make_frame(record, items);
  wits_out_->publish(std::move(bytes));
}

}  // namespace station
