#include "journals/journal_file.h"

#include <cerrno>

#include "lib/binary_stream.h"
#include "lib/date_time.h"

namespace journals {
namespace {

// Enough numbered copies for any realistic run of damaged loads; past it the newest copy
// overwrites the last name rather than fail the save.
constexpr int kMaxDamagedCopies = 100;

std::string damaged_copy_name(lib::FileSystem& fs, const std::string& path) {
  std::string name = path + ".damaged";
  for (int i = 1; i < kMaxDamagedCopies && !lib::missing(fs, name); ++i) {
    name = path + ".damaged." + std::to_string(i);
  }
  return name;
}

}  // namespace

JournalFile::JournalFile(std::string owner, lib::FileSystem& fs, ErrorSink log)
    : owner_(std::move(owner)), fs_(fs), log_(std::move(log)) {}

void JournalFile::set_name(std::string path) {
  if (path != path_) {
    damaged_ = false;
    seen_.reset();
  }
  path_ = std::move(path);
}

std::optional<std::string> JournalFile::read(const char* operation) {
  if (path_.empty()) return std::nullopt;
  errno = 0;
  auto bytes = lib::read_whole_file(path_, fs_, kMaxJournalFileBytes);
  const int err = errno;
  if (!bytes && err == ENOENT) return bytes;
  // Seen, readable or not: a station checking the file every tick reads (and reports) it
  // again only once it changes.
  remember_times();
  if (!bytes) {
    // The file is there but cannot be read: whatever it holds must not be overwritten
    // unseen.
    report_damaged(operation, lib::read_failure_text(err, kMaxJournalFileBytes));
  }
  return bytes;
}

bool JournalFile::replace(std::string_view bytes, const char* operation) {
  if (path_.empty()) return false;
  // Without the copy the damaged file's unread records would be gone for good.
  if (damaged_ && !keep_damaged_copy(operation)) return false;
  try {
    lib::write_file_atomically(path_, bytes, fs_);
  } catch (const std::exception& e) {
    report(operation, "Ошибка записи в файл '" + path_ + "': " + e.what());
    return false;
  }
  damaged_ = false;
  return true;
}

void JournalFile::report_damaged(const char* operation, const std::string& reason) {
  damaged_ = true;
  report(operation, "Ошибка чтения из файла '" + path_ + "': " + reason);
}

void JournalFile::report_merged(const char* operation, int count, bool saved) {
  const std::string what = "записей из старого файла состояния: " + std::to_string(count);
  if (saved) {
    report(operation, what + ", перенесены в файл '" + path_ + "'");
  } else {
    report(operation, what + ", не записаны в файл '" + path_ +
                          "'; они остаются в памяти и будут записаны при следующем изменении");
  }
}

void JournalFile::report(const char* operation, const std::string& text) {
  if (log_) log_(owner_ + "::" + operation + " : " + text);
}

void JournalFile::remember_times() {
  seen_ = path_.empty() ? std::nullopt : lib::get_file_times(fs_, path_);
}

bool JournalFile::changed_on_disk() const {
  if (path_.empty()) return false;
  const auto now = lib::get_file_times(fs_, path_);
  if (!now) return false;
  return !seen_ || seen_->modified_ns != now->modified_ns || seen_->size != now->size ||
         seen_->inode != now->inode;
}

bool JournalFile::keep_damaged_copy(const char* operation) {
  errno = 0;
  auto old = lib::read_whole_file(path_, fs_, kMaxJournalFileBytes);
  if (!old) {
    if (errno == ENOENT) return true;  // the file is gone: nothing left to keep
    report(operation, "файл '" + path_ + "' нельзя прочитать, чтобы сохранить его копию (" +
                          lib::read_failure_text(errno, kMaxJournalFileBytes) +
                          "), файл не перезаписан");
    return false;
  }
  const std::string copy = damaged_copy_name(fs_, path_);
  try {
    lib::write_file_atomically(copy, *old, fs_);
    report(operation, "повреждённый файл '" + path_ + "' сохранён как '" + copy + "'");
    damaged_ = false;
    return true;
  } catch (const std::exception& e) {
    report(operation, "не удалось сохранить копию повреждённого файла '" + path_ +
                          "', файл не перезаписан: " + e.what());
    return false;
  }
}

}  // namespace journals
