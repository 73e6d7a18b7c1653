#include "storage/real_time_file.h"

#include <fcntl.h>
#include <fmt/format.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

#include "storage/data_storage.h"
#include "storage/real_time_format.h"

namespace rtf {
namespace {

constexpr auto kIdleWait = std::chrono::milliseconds(50);
constexpr auto kRetryWait = std::chrono::milliseconds(10);
constexpr const char* kThreadCaller = "RealTimeFile::save_thread";

std::string folder_of(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string bare_name(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string depth_text(double d) {
  return fmt::format("{}", d);
}

// Why one write failed, for the log.
struct WriteFailure {
  std::string what;
};

}  // namespace

std::string run_number_text(int run) {
  std::string n = std::to_string(run);
  if (n.size() < static_cast<std::size_t>(kRunNumberDigits)) {
    n.insert(0, static_cast<std::size_t>(kRunNumberDigits) - n.size(), '0');
  }
  return n;
}

RunFileNames run_file_names(const std::string& folder, int run) {
  const std::string base = folder + run_number_text(run);
  return {base + kTimeSuffix, base + kDepthSuffix, base + kLagSuffix,  base + kRaceSuffix,
          base + kFastSuffix, base + kInstrSuffix, base + kPoreSuffix, folder + kFolderFile};
}

RealTimeFile::RealTimeFile(ds_tmp::DataStorage& storage, RealTimeFileServices services)
    : storage_(storage),
      services_(std::move(services)),
      fs_(services_.fs ? *services_.fs : lib::posix_file_system()),
      clock_(services_.clock ? *services_.clock : lib::system_clock()),
      queue_(services_.max_queue_bytes) {}

RealTimeFile::~RealTimeFile() {
  stop_save_thread();
}

void RealTimeFile::calculate_file_names(const std::string& folder, int run) {
  names_ = run_file_names(folder, run);
}

// ---- queueing ---------------------------------------------------------------------------

bool RealTimeFile::queue_task(std::shared_ptr<const Records> task) {
  const std::string file = task->file;
  if (queue_.push(std::move(task))) {
    if (refused_in_series_ != 0) {
      log("Очередь записи снова принимает строки; не записано строк, пока она была полна: " +
          std::to_string(refused_in_series_));
      refused_in_series_ = 0;
    }
    return true;
  }
  if (refused_in_series_++ == 0) {
    log("Очередь записи полна (" + lib::byte_count_text(queue_.max_bytes()) +
        ", заданий: " + std::to_string(queue_.size()) + "): строка для файла '" + file +
        "' не записана; диск не принимает записи, новые строки теряются, пока очередь не "
        "освободится");
  }
  return false;
}

bool RealTimeFile::save_text_values(const std::string& file, const KeyValueList& list) {
  auto task = std::make_shared<Records>();
  task->file = file;
  try {
    task->records.push_back(std::make_shared<TextWriterRecord>(key_value_text(list)));
  } catch (const std::length_error& e) {
    log("Текст для файла '" + file + "' не записан: " + e.what());
    return false;
  }
  return queue_task(std::move(task));
}

bool RealTimeFile::save_text_values(const KeyValueList& list) {
  bool ok = true;
  for (const std::string* f : {&names_.time, &names_.depth, &names_.lag, &names_.fast}) {
    ok = save_text_values(*f, list) && ok;
  }
  return ok;
}

void RealTimeFile::save_begin_race_data(const std::string& file, const KeyValueList& header,
                                        bool without_start) {
  KeyValueList list = header;
  add_value_name(list, "глубинный_файл", bare_name(names_.depth));
  add_value_name(list, "временной_файл", bare_name(names_.time));
  add_value_name(list, "реальн_глубинный_файл", bare_name(names_.lag));
  if (!without_start) {
    add_value_name(list, "нач_глубина", depth_text(storage_.depth_z()));
    add_value_name(list, "нач_время", std::to_string(lib::get_local_time(clock_).seconds));
  }
  save_text_values(file, list);
}

void RealTimeFile::save_start_values(const KeyValueList& header, bool without_start) {
  for (const std::string* f : {&names_.time, &names_.depth, &names_.lag, &names_.fast}) {
    save_begin_race_data(*f, header, without_start);
  }
}

void RealTimeFile::save_end_race_data(const std::string& file) {
  if (!lib::exists(fs_, file)) return;
  KeyValueList list;
  add_value_name(list, "конеч_глубина", depth_text(storage_.depth_z()));
  add_value_name(list, "конеч_время", std::to_string(lib::get_local_time(clock_).seconds));
  save_text_values(file, list);
}

void RealTimeFile::save_end_values() {
  for (const std::string* f : {&names_.time, &names_.depth, &names_.lag, &names_.fast}) {
    save_end_race_data(*f);
  }
}

// ---- writing ----------------------------------------------------------------------------

bool RealTimeFile::save_values_asynch(const Records& task, std::string_view caller) {
  const std::string& file = task.file;
  ValuesWriterDequeFileData data = queue_.file_data(file);

  // The blocks are assembled first: a task that cannot be encoded can never be written,
  // and must not hold up the tasks behind it.
  auto assemble = [&](bool need_header, lib::io::BinaryMemoryOutputStream& out) {
    if (need_header) write_version_block(out);
    for (const auto& record : task.records) {
      if (!need_header) need_header = record->check(data);
      if (ParamList params = record->get_provider(); need_header && params) {
        write_params_block(out, *params);
        data.names.clear();
        for (const RecordedParam& p : *params) data.names.push_back(p.identifier);
        need_header = false;
      }
      record->write(out);
    }
  };

  int fd = -1;
  try {
    const std::string marker = folder_of(file) + kNoLockingMarker;
    if (!lib::exists(fs_, marker)) {
      const int m = fs_.open(marker, O_WRONLY | O_CREAT, 0644);
      if (m < 0) throw WriteFailure{"не создан '" + marker + "': " + lib::errno_text(errno)};
      fs_.close(m);
    }
    fd = fs_.open(file, O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0) throw WriteFailure{"не открыт: " + lib::errno_text(errno)};
    const auto before = fs_.fstat(fd);
    if (!before) throw WriteFailure{"не прочитано состояние: " + lib::errno_text(errno)};
    const bool need_header = before->size == 0 || !data.written ||
                             before->modified_ns != data.modified_ns || before->size != data.size ||
                             before->inode != data.inode;
    lib::io::BinaryMemoryOutputStream out;
    try {
      assemble(need_header, out);
    } catch (const std::exception& e) {
      fs_.close(fd);
      log("Запись в файл '" + file + "' (" + std::string(caller) + ") отброшена: " + e.what());
      return true;
    }
    if (!lib::write_all(fs_, fd, out.data().data(), out.data().size())) {
      const int err = errno;
      // Nothing of a failed task may stay: the retry appends it whole.
      // The cut moves the file's time: remember it as the writer's own, or the retry would
      // take the file for one written behind its back.
      const auto cut = fs_.ftruncate(fd, before->size) == 0 ? fs_.fstat(fd) : std::nullopt;
      ValuesWriterDequeFileData kept = queue_.file_data(file);
      if (cut && kept.written && kept.size == before->size &&
          kept.modified_ns == before->modified_ns && kept.inode == before->inode) {
        kept.modified_ns = cut->modified_ns;
        kept.inode = cut->inode;
        queue_.set_file_data(file, std::move(kept));
      } else if (!cut) {
        queue_.forget_file(file);
      }
      throw WriteFailure{"не записано " + lib::byte_count_text(out.data().size()) + ": " +
                         lib::errno_text(err)};
    }
    const auto after = fs_.fstat(fd);
    fs_.close(fd);
    fd = -1;
    data.written = after.has_value();
    if (after) {
      data.modified_ns = after->modified_ns;
      data.size = after->size;
      data.inode = after->inode;
    }
    queue_.set_file_data(file, std::move(data));
  } catch (const WriteFailure& f) {
    if (fd >= 0) fs_.close(fd);
    ++failures_;
    if (failing_file_ != file) {
      failing_file_ = file;
      log("Ошибка записи в файл '" + file + "' (" + std::string(caller) + "): " + f.what +
          "; запись остаётся в очереди и повторяется каждые 10 мс");
    }
    return false;
  }
  if (!failing_file_.empty()) {
    log("Запись в файл '" + failing_file_ + "' возобновлена после " + std::to_string(failures_) +
        " неудачных попыток");
    failing_file_.clear();
    failures_ = 0;
  }
  return true;
}

std::size_t RealTimeFile::write_pending() {
  std::size_t written = 0;
  while (auto task = queue_.oldest()) {
    if (!save_values_asynch(*task, "RealTimeFile::write_pending")) break;
    queue_.pop_oldest();
    ++written;
  }
  return written;
}

void RealTimeFile::start_save_thread() {
  if (thread_.joinable()) return;
  thread_ = std::jthread([this](std::stop_token stop) { save_thread(stop); });
}

void RealTimeFile::stop_save_thread() {
  if (!thread_.joinable()) return;
  thread_.request_stop();
  thread_.join();
  thread_ = std::jthread();
  if (const std::size_t left = queue_.size(); left != 0) {
    log("Поток записи остановлен, не записано заданий: " + std::to_string(left) +
        " (последняя ошибка записи: файл '" + failing_file_ + "')");
  }
}

void RealTimeFile::save_thread(std::stop_token stop) {
  for (;;) {
    auto task = queue_.oldest();
    if (!task) {
      if (stop.stop_requested()) return;
      queue_.wait_for_task(stop, kIdleWait);
      continue;
    }
    if (save_values_asynch(*task, kThreadCaller)) {
      queue_.pop_oldest();
      continue;
    }
    if (stop.stop_requested()) return;
    queue_.wait_or_stop(stop, kRetryWait);
  }
}

}  // namespace rtf
