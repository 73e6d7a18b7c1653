#include "journals/troubles_log.h"

#include <algorithm>
#include <mutex>

#include "journals/troubles_file.h"
#include "journals/troubles_format.h"

namespace journals {

TroublesLog::TroublesLog(ErrorSink log, lib::FileSystem& fs)
    : SerialModuleBase(kSerialName, kStateVersion),
      dict_(TroublesDict::default_dict()),
      file_(kSerialName, fs, std::move(log)) {}

template <class Notify>
void TroublesLog::notify(Notify call) {
  // A copy, so a handler that removes itself (or another) does not upset the loop.
  const auto handlers = handlers_;
  for (auto* h : handlers) call(*h);
}

void TroublesLog::add_record(const TroublesLogRecord& record) {
  std::lock_guard guard(list_.mutex());
  reread_if_changed();
  notify([&](ITroublesNotifyHandler& h) { h.record_added(record); });
  list_.add(record);
  store();
}

void TroublesLog::set_record(const TroublesLogRecord& record, int index) {
  std::lock_guard guard(list_.mutex());
  const int at = current_index(index);
  if (at < 0) {
    notify([&](ITroublesNotifyHandler& h) { h.record_added(record); });
    list_.add(record);
  } else {
    list_.set(at, record);
    notify([&](ITroublesNotifyHandler& h) { h.record_changed(record); });
  }
  store();
}

void TroublesLog::delete_record(int index) {
  std::lock_guard guard(list_.mutex());
  const int at = current_index(index);
  if (at < 0) return;
  const TroublesLogRecord record = list_.at(at);
  notify([&](ITroublesNotifyHandler& h) { h.record_deleted(record); });
  list_.erase(at);
  store();
}

void TroublesLog::clear() {
  std::lock_guard guard(list_.mutex());
  list_.clear();
  store();
}

void TroublesLog::reread_if_changed() {
  if (keep_in_file_ && file_.changed_on_disk()) load();
}

int TroublesLog::current_index(int index) {
  const TroublesLogRecord seen = list_.at(index);
  if (!keep_in_file_ || !file_.changed_on_disk()) return index;
  load();
  return list_.index_of_same(seen);
}

void TroublesLog::store() {
  if (keep_in_file_) save();
}

void TroublesLog::merge_from_state(std::vector<TroublesLogRecord> records) {
  std::lock_guard guard(list_.mutex());
  reread_if_changed();
  const int added = list_.add_missing(std::move(records));  // the file's own copy wins
  if (added > 0) file_.report_merged("load", added, save());
}

TroublesLogRecord TroublesLog::get_record(int index) const {
  return list_.at(index);
}

int TroublesLog::get_size() const {
  return static_cast<int>(list_.size());
}

int TroublesLog::index_of(const TroublesLogRecord& record) const {
  return list_.index_of(record.key);
}

void TroublesLog::set_dict(TroublesDict dict) {
  std::lock_guard guard(list_.mutex());
  dict_ = std::move(dict);
}

TroublesDict TroublesLog::get_dict() const {
  std::lock_guard guard(list_.mutex());
  return dict_;
}

void TroublesLog::set_sefault_dict() {
  set_dict(TroublesDict::default_dict());
}

void TroublesLog::add_notify_handler(ITroublesNotifyHandler* handler) {
  std::lock_guard guard(list_.mutex());
  if (handler != nullptr &&
      std::find(handlers_.begin(), handlers_.end(), handler) == handlers_.end()) {
    handlers_.push_back(handler);
  }
}

void TroublesLog::remove_notify_handler(ITroublesNotifyHandler* handler) {
  std::lock_guard guard(list_.mutex());
  std::erase(handlers_, handler);
}

void TroublesLog::set_file_name(std::string path) {
  std::lock_guard guard(list_.mutex());
  file_.set_name(std::move(path));
}

std::string TroublesLog::get_file_name() const {
  std::lock_guard guard(list_.mutex());
  return file_.name();
}

void TroublesLog::set_keep_in_file(bool keep) {
  std::lock_guard guard(list_.mutex());
  keep_in_file_ = keep;
}

bool TroublesLog::keeps_file() const {
  std::lock_guard guard(list_.mutex());
  return keep_in_file_;
}

bool TroublesLog::check_file_changes() {
  std::lock_guard guard(list_.mutex());
  return file_.changed_on_disk() && load();
}

bool TroublesLog::save() {
  std::lock_guard guard(list_.mutex());
  if (!file_.replace(write_troubles_file(list_.snapshot()), "save")) return false;
  file_.remember_times();
  return true;
}

bool TroublesLog::load() {
  std::lock_guard guard(list_.mutex());
  auto bytes = file_.read("load");
  if (!bytes) return false;
  file_.remember_times();
  try {
    list_.replace_if_different(read_troubles_file(*bytes).records);
  } catch (const lib::io::StreamError& e) {
    file_.report_damaged("load", e.what());
    return false;
  }
  return true;
}

void TroublesLog::serial_fields(lib::serial_list& list, unsigned /*version*/) {
  auto read = [](lib::io::InputStream& in) {
    return read_troubles_record(in, troubles_format::kCurrentVersion);
  };
  if (keeps_file()) {
    JournalList<TroublesLogRecord>::add_file_kept_to_serial_list(
        list, troubles_format::kMinRecordBytes, read,
        [this](std::vector<TroublesLogRecord> records) { merge_from_state(std::move(records)); });
  } else {
    list_.add_to_serial_list(list, troubles_format::kMinRecordBytes, write_troubles_record, read);
  }
}

}  // namespace journals
