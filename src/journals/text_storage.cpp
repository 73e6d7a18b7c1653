#include "journals/text_storage.h"

#include <mutex>
#include <utility>

#include "journals/remarks_file.h"

namespace text {
namespace {

constexpr const char* kLoad = "load_from_file";
constexpr const char* kSave = "save_to_file";

// A damaged file may have thousands of bad lines; the log gets the first few and a count.
constexpr std::size_t kMaxReportedLines = 10;

// time, kind, text, size, colour, number, extra; strings at least their 4-byte length.
constexpr std::size_t kMinStateRecordBytes = 7 * 4;

void write_state_record(lib::io::OutputStream& out, const Record& r) {
  using lib::io::write_binary;
  write_binary(out, r.time);
  write_binary(out, r.kind);
  write_binary(out, r.text);
  write_binary(out, r.size);
  write_binary(out, r.colour);
  write_binary(out, r.number);
  write_binary(out, r.extra);
}

Record read_state_record(lib::io::InputStream& in) {
  using lib::io::read_binary;
  Record r;
  read_binary(in, r.time);
  read_binary(in, r.kind);
  read_binary(in, r.text);
  read_binary(in, r.size);
  read_binary(in, r.colour);
  read_binary(in, r.number);
  read_binary(in, r.extra);
  return r;
}

}  // namespace

Storage::Storage(lib::lock_object& file_lock, journals::ErrorSink log, lib::FileSystem& fs)
    : SerialModuleBase(kSerialName, kStateVersion),
      file_lock_(file_lock),
      file_(kSerialName, fs, std::move(log)) {}

Record Storage::operator[](int index) const {
  return list_.at(index);
}

int Storage::size() const {
  return static_cast<int>(list_.size());
}

void Storage::add_record(const Record& record) {
  std::lock_guard guard(list_.mutex());
  reread_if_changed();
  list_.add(record);
  store();
}

void Storage::set_item(int index, const Record& record) {
  std::lock_guard guard(list_.mutex());
  const int at = current_index(index);
  if (at < 0) {
    list_.add(record);
  } else {
    list_.set(at, record);
  }
  store();
}

void Storage::delete_record(int index) {
  std::lock_guard guard(list_.mutex());
  const int at = current_index(index);
  if (at < 0) return;
  const Record removed = list_.at(at);
  list_.erase(at);
  deleted_.push_back({removed.time, removed.row});
  store();
}

void Storage::reread_if_changed() {
  if (keep_in_file_ && file_.changed_on_disk()) load_from_file();
}

int Storage::current_index(int index) {
  const Record seen = list_.at(index);
  if (!keep_in_file_ || !file_.changed_on_disk()) return index;
  load_from_file();
  return find_by_tyme(seen.time);
}

void Storage::store() {
  if (keep_in_file_) save_to_file();
}

void Storage::merge_from_state(std::vector<Record> records) {
  std::lock_guard guard(list_.mutex());
  reread_if_changed();
  int added = 0;
  for (auto& r : records) {
    if (find_by_tyme(r.time) >= 0) continue;  // the file's own copy wins
    list_.add(std::move(r));
    ++added;
  }
  if (added == 0) return;
  file_.report_merged(kLoad, added, save_to_file());
}

int Storage::find_by_tyme(std::uint32_t time) const {
  return list_.find_if([time](const Record& r) { return r.time == time; });
}

void Storage::clear_indexes() {
  list_.update_all([](Record& r) { r.row = -1; });
}

std::vector<DeletedRecord> Storage::get_deleted_records() {
  std::lock_guard guard(list_.mutex());
  return std::exchange(deleted_, {});
}

void Storage::set_file_name(std::string path) {
  std::lock_guard guard(list_.mutex());
  file_.set_name(std::move(path));
}

void Storage::set_keep_in_file(bool keep) {
  std::lock_guard guard(list_.mutex());
  keep_in_file_ = keep;
}

bool Storage::keeps_file() const {
  std::lock_guard guard(list_.mutex());
  return keep_in_file_;
}

std::string Storage::get_file_name() const {
  std::lock_guard guard(list_.mutex());
  return file_.name();
}

bool Storage::save_to_file() {
  std::lock_guard guard(list_.mutex());
  if (!file_.has_name()) return false;
  std::lock_guard file_guard(file_lock_);
  if (!file_.replace(write_remarks_file(list_.snapshot()), kSave)) return false;
  file_.remember_times();
  return true;
}

bool Storage::load_from_file() {
  std::lock_guard guard(list_.mutex());
  auto bytes = file_.read(kLoad);
  if (!bytes) return false;
  const RemarksFileContent content = read_remarks_file(*bytes);
  // Remember the times even for a file we refuse, so it is not re-read every check until
  // someone rewrites it.
  file_.remember_times();
  if (!content.problems.empty()) {
    std::string text;
    for (std::size_t i = 0; i < content.problems.size() && i < kMaxReportedLines; ++i) {
      if (i > 0) text += "; ";
      text += content.problems[i];
    }
    if (content.problems.size() > kMaxReportedLines) {
      text +=
          "; and " + std::to_string(content.problems.size() - kMaxReportedLines) + " more lines";
    }
    file_.report_damaged(kLoad, text);
    if (content.records.empty()) return false;
  }
  list_.replace_if_different(content.records);
  return true;
}

bool Storage::check_file_changes() {
  std::lock_guard guard(list_.mutex());
  if (!file_.changed_on_disk()) return false;
  return load_from_file();
}

void Storage::serial_fields(lib::serial_list& list, unsigned /*version*/) {
  if (keeps_file()) {
    journals::JournalList<Record>::add_file_kept_to_serial_list(
        list, kMinStateRecordBytes, read_state_record,
        [this](std::vector<Record> records) { merge_from_state(std::move(records)); });
  } else {
    list_.add_to_serial_list(list, kMinStateRecordBytes, write_state_record, read_state_record);
  }
}

}  // namespace text
