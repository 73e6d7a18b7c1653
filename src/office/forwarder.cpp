#include "office/forwarder.h"

#include <fcntl.h>
#include <algorithm>
#include <cerrno>

#include "alarms/alarm_log_format.h"
#include "journals/journal_commands.h"
#include "journals/journal_files.h"
#include "office/recording_tail.h"
#include "storage/live_frame_format.h"

namespace office {
namespace {

// What a shipment costs on the link, about: the rate cap and the shipment size go by it.
constexpr std::uint64_t kLineOverheadBytes = 64;
constexpr std::uint64_t kBytesPerValue = 8;
// A line of a file nothing was shipped of yet, for the backlog's estimate: 100 values.
constexpr double kUnknownLineBytes = 445;
// At most this much of the alarm log is read in one round.
constexpr std::uint64_t kMaxAlarmBytesPerRound = std::uint64_t{4} << 20;

std::uint64_t text_bytes(const rtf::KeyValueList& values) {
  std::uint64_t n = 32;
  for (const auto& [k, v] : values) n += k.size() + v.size() + 8;
  return n;
}

std::uint64_t params_bytes(const rtf::ParamList& list) {
  std::uint64_t n = 64;
  for (const rtf::RecordedParam& p : *list)
    n += p.full_name.size() + p.unit.size() + p.short_name.size() + p.identifier.size() + 40;
  return n;
}

FileStamp stamp_of(lib::FileSystem& fs, const std::string& path) {
  const auto st = fs.stat(path);
  if (!st) return {};
  return {st->size, st->modified_ns, st->inode};
}

struct JournalFile {
  const char* name;
  journals::JournalKind kind;
};
constexpr JournalFile kJournals[] = {{"remarks", journals::JournalKind::kRemarks},
                                     {"troubles", journals::JournalKind::kTroubles},
                                     {"mud_log", journals::JournalKind::kMudLog},
                                     {"mud_additives", journals::JournalKind::kMudAdditives}};

}  // namespace

std::size_t Shipment::lines() const {
  std::size_t n = 0;
  for (const FileBatch& f : files) n += f.lines.size();
  return n;
}

// Gathers one recording's blocks into the pending shipment, and ships when it is full.
class BatchSink final : public TailSink {
 public:
  BatchSink(Forwarder& fw, const RecordingFile& file, const FilePosition& from, Shipment& pending)
      : fw_(fw), file_(file), pending_(pending) {
    start(from);
  }

  void boundary(const FilePosition& at) override {
    cur_.to = at;
    if (fw_.full()) flush();
  }
  void text(rtf::RecordedText&& t) override {
    fw_.pending_bytes_ += text_bytes(t.values);
    cur_.texts.push_back({t.offset, std::move(t.values)});
  }
  void params(std::uint64_t offset, const rtf::ParamList& list) override {
    fw_.pending_bytes_ += params_bytes(list);
    cur_.params.push_back({offset, list});
  }
  void line(const rtf::LineView& l, std::uint64_t params_at) override {
    ShippedLine s;
    s.offset = l.offset;
    s.params_at = params_at;
    s.time = l.time;
    s.hundredths = l.hundredths;
    s.first_depth = l.first_depth;
    s.bit_depth = l.bit_depth;
    s.third_depth = l.third_depth;
    s.operation = l.operation;
    s.first_value = cur_.values.size();
    s.count = static_cast<std::uint32_t>(l.count);
    for (std::size_t i = 0; i < l.count; ++i) cur_.values.push_back(l.value(i));
    cur_.lines.push_back(s);
    ++fw_.pending_lines_;
    fw_.pending_bytes_ += kLineOverheadBytes + kBytesPerValue * l.count;
  }
  void problem(const rtf::ReadProblem& p, bool cut_at_end) override {
    // A block cut at the end is one still being written: it is read again next round.
    if (cut_at_end) return;
    fw_.report_once(
        file_.path + "@" + std::to_string(p.offset),
        rtf::problem_text(file_.path, p) + "; the readable lines around it are shipped");
  }
  // The read ended at `end`: what is left goes with the round's last shipment.
  void finish(const FilePosition& end) {
    cur_.to = end;
    keep();
  }

 private:
  void start(const FilePosition& from) {
    cur_ = FileBatch{};
    cur_.key = {file_.race, file_.kind};
    cur_.file_name = file_.name;
    cur_.from = cur_.to = from;
  }
  void keep() {
    if (cur_.to != cur_.from || !cur_.texts.empty() || !cur_.params.empty() || !cur_.lines.empty())
      pending_.files.push_back(std::move(cur_));
  }
  void flush() {
    const FilePosition to = cur_.to;
    keep();
    fw_.ship(pending_);
    start(to);
  }

  Forwarder& fw_;
  const RecordingFile& file_;
  Shipment& pending_;
  FileBatch cur_;
};

Forwarder::Forwarder(ForwarderOptions options, OfficeDb& db, lib::FileSystem& fs, lib::Clock& clock,
                     Sleep sleep, Say say)
    : options_(std::move(options)),
      db_(db),
      fs_(fs),
      clock_(clock),
      sleep_(std::move(sleep)),
      say_(std::move(say)),
      rate_(options_.max_rate_kbit * 1000) {
  if (options_.max_rate_kbit > 0) {
    batch_bytes_ = std::max(kMinBatchBytes, rate_.bytes_in(kBatchSecondsAtCap));
    batch_lines_ = options_.batch_lines != 0 ? options_.batch_lines : ~std::size_t{0};
  } else {
    batch_bytes_ = kDefaultBatchBytes;
    batch_lines_ = options_.batch_lines != 0 ? options_.batch_lines : kDefaultBatchLines;
  }
}

void Forwarder::check_stop() const {
  if (stop_) throw Stopped{};
}

void Forwarder::report_once(const std::string& key, const std::string& line) {
  if (reported_.insert(key).second) say_(line);
}

LinkReport Forwarder::report() const {
  return {status_.backlog_lines, status_.backlog_seconds, options_.forwarder};
}

void Forwarder::failed(const std::string& what, bool office_refuses, std::int64_t retry_ms) {
  db_.close();
  const bool was_connected = status_.connected;
  status_.connected = false;
  status_.error = what;
  status_.office_refuses = office_refuses;
  status_.retry_at_ms = clock_.steady_ms() + retry_ms;
  say_(std::string("office link ") + (was_connected ? "lost: " : "down: ") + what +
       "; trying again in " + std::to_string((retry_ms + 999) / 1000) + " s");
  if (on_progress) on_progress();
}

void Forwarder::connect() {
  positions_ = db_.open(options_.rig);
  last_contact_ms_ = clock_.steady_ms();
  status_.connected = true;
  ++status_.connects;
  backoff_.succeeded();
  say_("office link up: rig '" + options_.rig + "', the office holds " +
       std::to_string(positions_.files.size()) + " recording(s) of it");
}

std::int64_t Forwarder::idle_ms() const {
  const std::int64_t now = clock_.steady_ms();
  if (!status_.connected) return std::max<std::int64_t>(0, status_.retry_at_ms - now);
  return 1000;
}

bool Forwarder::full() const {
  return pending_lines_ >= batch_lines_ || pending_bytes_ >= batch_bytes_;
}

void Forwarder::ship(Shipment& pending) {
  if (pending.empty()) return;
  check_stop();
  for (std::int64_t wait; (wait = rate_.wait_ms(clock_.steady_ms())) > 0;) {
    check_stop();
    sleep_(std::min<std::int64_t>(wait, 250));
  }
  // The office shows the backlog as it stands once this shipment is in.
  for (const FileBatch& f : pending.files) files_[f.key].resume = f.to.resume;
  update_backlog();
  pending.report = report();
  const std::uint64_t bytes = db_.ship(pending);
  last_contact_ms_ = clock_.steady_ms();
  rate_.spent(last_contact_ms_, bytes);
  status_.lines_shipped += pending.lines();
  status_.bytes_shipped += bytes;
  ++status_.commits;
  status_.last_commit = lib::get_local_time(clock_);
  for (const FileBatch& f : pending.files) {
    positions_.files[f.key] = f.to;
    FileState& st = files_[f.key];
    st.resume = f.to.resume;
    st.last_time = f.to.last_time;
    if (f.to.lines != 0)
      st.bytes_per_line = static_cast<double>(f.to.resume) / static_cast<double>(f.to.lines);
  }
  if (pending.alarms) positions_.alarms = pending.alarms->to;
  for (const JournalSnapshot& j : pending.journals) positions_.journals[j.journal] = j.stamp;
  pending = Shipment{};
  pending_lines_ = 0;
  pending_bytes_ = 0;
  update_backlog();
  if (on_progress) on_progress();
  // Between shipments the office sees the rig as it is now, however long the backlog.
  push_live();
}

void Forwarder::update_backlog() {
  std::uint64_t bytes = 0;
  double lines = 0;
  std::int64_t behind = 0;
  const std::int64_t now = lib::get_local_time(clock_).seconds;
  for (const auto& [key, st] : files_) {
    if (st.size <= st.resume) continue;
    const std::uint64_t left = st.size - st.resume;
    bytes += left;
    lines +=
        static_cast<double>(left) / (st.bytes_per_line > 0 ? st.bytes_per_line : kUnknownLineBytes);
    if (st.last_time != 0) behind = std::max<std::int64_t>(behind, now - st.last_time);
  }
  status_.backlog_bytes = bytes;
  status_.backlog_lines = static_cast<std::uint64_t>(lines + 0.5);
  status_.backlog_seconds = static_cast<double>(behind);
}

void Forwarder::push_live() {
  const std::int64_t now = clock_.steady_ms();
  if (live_pushed_ && now - last_live_ms_ < options_.live_every_ms) return;
  last_live_ms_ = now;
  live_pushed_ = true;
  const std::string path = options_.home + live::kFileName;
  std::string why;
  const std::optional<live::LiveFrame> frame = live::read_live_frame(path, fs_, why);
  if (!frame) {
    // No reason: no station has run here yet.
    if (!why.empty()) report_once("live:" + why, "live frame '" + path + "' not handed on: " + why);
    return;
  }
  // The same frame again: the station is not running; the office keeps the last one.
  const std::pair<std::uint32_t, std::uint32_t> id{frame->sequence, frame->time};
  if (last_frame_ == id) return;
  const std::uint64_t sent = db_.put_live(*frame, report());
  last_frame_ = id;
  last_contact_ms_ = now;
  rate_.spent(now, sent);
  ++status_.live_frames;
  if (on_progress) on_progress();
}

void Forwarder::collect_journals(Shipment& pending) {
  for (const JournalFile& j : kJournals) {
    const std::string path =
        journals::journal_path(options_.home, journals::journal_file_name(j.kind));
    const FileStamp stamp = stamp_of(fs_, path);
    const auto known = positions_.journals.find(j.name);
    if (known == positions_.journals.end() ? stamp.size < 0 : known->second == stamp) continue;
    JournalSnapshot snap{j.name, stamp, {}};
    if (stamp.size >= 0) {
      std::string trouble;
      snap.table = journals::list_journal(j.kind, path, fs_, [&](const std::string& m) {
        if (trouble.empty()) trouble = m;
      });
      // The office keeps its copy rather than take one that lacks records.
      if (!trouble.empty()) {
        report_once("journal:" + path + std::to_string(stamp.modified_ns),
                    "journal '" + path + "' not shipped, it does not read cleanly: " + trouble);
        continue;
      }
    }
    pending_bytes_ += 256 * (snap.table.rows.size() + 1);
    pending.journals.push_back(std::move(snap));
  }
}

void Forwarder::collect_alarms(Shipment& pending) {
  namespace fmt = alarms::alarm_log_format;
  const std::string current = options_.home + std::string(fmt::kFileName);
  const std::string old = current + std::string(fmt::kOldSuffix);
  const auto cur_st = fs_.stat(current);
  const auto old_st = fs_.stat(old);
  const AlarmPosition at = positions_.alarms;
  // The files to read, each from an offset: the one the office stands in, and the current
  // one after it when the log was renamed to .old meanwhile. A file the office never saw
  // (renamed twice since) is read whole; the office drops the episodes it holds already.
  std::vector<std::pair<std::string, std::uint64_t>> reads;
  if (at.inode != 0 && cur_st && cur_st->inode == at.inode) {
    reads.emplace_back(current, at.offset);
  } else if (at.inode != 0 && old_st && old_st->inode == at.inode) {
    reads.emplace_back(old, at.offset);
    if (cur_st) reads.emplace_back(current, 0);
  } else {
    if (old_st) reads.emplace_back(old, 0);
    if (cur_st) reads.emplace_back(current, 0);
  }
  AlarmBatch batch{at, at, {}};
  std::uint64_t budget = kMaxAlarmBytesPerRound;
  for (const auto& [path, from] : reads) {
    const int fd = fs_.open(path, O_RDONLY, 0);
    if (fd < 0) {
      report_once("alarms:" + path, "alarm log '" + path + "' cannot be read: " +
                                        lib::errno_text(errno) + "; tried again next round");
      return;
    }
    const auto st = fs_.fstat(fd);
    const std::uint64_t size =
        st ? static_cast<std::uint64_t>(std::max<std::int64_t>(st->size, 0)) : 0;
    std::string text;
    if (size > from) {
      text.resize(static_cast<std::size_t>(std::min(size - from, budget)));
      const ssize_t n = fs_.pread(fd, text.data(), text.size(), static_cast<off_t>(from));
      text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    }
    fs_.close(fd);
    // Whole lines only: the last one may still be being written.
    const std::size_t whole = text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1;
    std::uint64_t line_at = from;
    for (std::size_t pos = 0; pos < whole;) {
      const std::size_t end = text.find('\n', pos);
      std::string line = text.substr(pos, end - pos);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty() && line[0] != '#') {
        std::string why;
        if (auto r = alarms::parse_alarm_log_line(line, why)) {
          batch.episodes.push_back(std::move(*r));
        } else {
          report_once("alarm:" + path + std::to_string(line_at),
                      "alarm log '" + path + "' at offset " + std::to_string(line_at) + ": " + why +
                          "; the line is not shipped");
        }
      }
      line_at += end - pos + 1;
      pos = end + 1;
    }
    budget -= std::min<std::uint64_t>(budget, whole);
    if (st) batch.to = {st->inode, from + whole};
    if (budget == 0) break;
  }
  if (batch.to == batch.from) return;
  pending_bytes_ += 200 * batch.episodes.size();
  pending.alarms = std::move(batch);
}

void Forwarder::forward_file(const RecordingFile& file, Shipment& pending) {
  const FileKey key{file.race, file.kind};
  const auto known = positions_.files.find(key);
  const FilePosition from = known == positions_.files.end() ? FilePosition{} : known->second;
  const auto st = fs_.stat(file.path);
  if (!st) return;  // gone since the listing
  FileState& state = files_[key];
  state.size = static_cast<std::uint64_t>(std::max<std::int64_t>(st->size, 0));
  state.resume = from.resume;
  state.last_time = from.last_time;
  if (from.lines != 0)
    state.bytes_per_line = static_cast<double>(from.resume) / static_cast<double>(from.lines);
  if (state.size < from.resume) {
    ++status_.skipped_files;
    report_once("short:" + file.path,
                "recording '" + file.path + "' holds " + std::to_string(state.size) +
                    " bytes, fewer than the " + std::to_string(from.resume) +
                    " the office has of it: it was replaced or cut; it is not shipped");
    state.size = state.resume;
    return;
  }
  if (state.size == from.resume) return;
  BatchSink sink(*this, file, from, pending);
  FilePosition end;
  try {
    end = read_tail(file.path, fs_, from, sink);
  } catch (const lib::io::StreamError& e) {
    ++status_.skipped_files;
    report_once("unreadable:" + file.path,
                std::string("recording not shipped: ") + e.what() + "; tried again next round");
    return;
  }
  sink.finish(end);
  // A block cut short at the end (a station killed while writing it) is no line to wait
  // for: what could be shipped was.
  state.size = end.resume;
}

bool Forwarder::round() {
  status_.caught_up = false;
  if (!status_.connected) {
    if (clock_.steady_ms() < status_.retry_at_ms) return false;
    try {
      connect();
    } catch (const LinkError& e) {
      failed(e.what(), false, backoff_.failed());
      return false;
    } catch (const OfficeError& e) {
      failed(e.what(), true, backoff_.failed());
      return false;
    }
  }
  Shipment pending;
  pending_lines_ = 0;
  pending_bytes_ = 0;
  status_.skipped_files = 0;
  try {
    push_live();
    collect_journals(pending);
    collect_alarms(pending);
    for (const RecordingFile& f : list_recordings(options_.home + kRecordingFolder, fs_)) {
      check_stop();
      forward_file(f, pending);
    }
    ship(pending);
    update_backlog();
    if (clock_.steady_ms() - last_contact_ms_ >= kContactEveryMs) {
      db_.touch(report());
      last_contact_ms_ = clock_.steady_ms();
    }
    status_.error.clear();
    status_.office_refuses = false;
    status_.caught_up = true;
    if (on_progress) on_progress();
    return true;
  } catch (const Stopped&) {
    return false;
  } catch (const PositionConflict& e) {
    failed(std::string(e.what()) + "; going on from where the office stands", false, 0);
  } catch (const LinkError& e) {
    failed(e.what(), false, backoff_.failed());
  } catch (const OfficeError& e) {
    failed(e.what(), true, backoff_.failed());
  }
  return false;
}

}  // namespace office
