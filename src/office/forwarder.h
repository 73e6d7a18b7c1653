// The forwarder: ships what a station records in its home to the office database, and only
// reads that home, so a slow or broken link can never hold up the station's tick.
//
// Each round it
//  - connects when not connected (after a failure it waits 1 s, then 2, 4 ... up to 60 s)
//    and learns from the office where it stands in every file;
//  - hands on the station's live frame (data/live_frame.dat) when it changed and the last one
//    is a few seconds old: the newest only, never queued;
//  - ships every journal that changed (whole), the alarm episodes logged since, and every
//    recording's new lines, in shipments of about `batch_lines` lines (or about two seconds
//    of the rate cap), each committed with the positions it covers.
// The recordings are the queue: nothing is held in memory between rounds but positions,
// and after any failure the office's positions say where to go on.
//
// Not thread-safe, except stop(). Blocking: a round takes as long as the link needs.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "lib/date_time.h"
#include "lib/file_system.h"
#include "office/link_pacing.h"
#include "office/office_db.h"
#include "office/recording_files.h"

namespace office {

inline constexpr std::size_t kDefaultBatchLines = 10000;
inline constexpr std::uint64_t kDefaultBatchBytes = std::uint64_t{8} << 20;
// With a rate cap a shipment takes about this long on the link.
inline constexpr double kBatchSecondsAtCap = 2.0;
inline constexpr std::uint64_t kMinBatchBytes = 16 << 10;
inline constexpr std::int64_t kLiveEveryMs = 3000;
// With nothing to ship and no new live frame, the office still hears from the rig this often.
inline constexpr std::int64_t kContactEveryMs = 30000;

struct ForwarderOptions {
  std::string home;  // ends with '/'
  std::string rig;
  std::int64_t max_rate_kbit = 0;  // 0: no cap
  std::size_t batch_lines = 0;     // 0: kDefaultBatchLines, or what the rate cap gives
  std::int64_t live_every_ms = kLiveEveryMs;
  std::string forwarder;  // how the office names this program: host, process, version
};

struct ForwarderStatus {
  bool connected = false;
  std::string error;             // the last failure; "" once a round went well
  bool office_refuses = false;   // the error is one that waiting does not mend
  std::int64_t retry_at_ms = 0;  // steady ms of the next try while not connected
  std::uint64_t backlog_lines = 0;
  std::uint64_t backlog_bytes = 0;
  double backlog_seconds = 0;
  std::optional<lib::LocalTime> last_commit;
  std::uint64_t lines_shipped = 0, bytes_shipped = 0, commits = 0, live_frames = 0;
  std::uint64_t connects = 0;
  bool caught_up = false;  // the last round shipped everything it found
  // Recordings the last round could not ship at all (unreadable, or shorter than what the
  // office holds of them); each is said once.
  std::size_t skipped_files = 0;
};

class Forwarder {
 public:
  using Sleep = std::function<void(std::int64_t ms)>;
  using Say = std::function<void(const std::string& line)>;

  // `sleep` waits (the rate cap's waits); `say` takes lines for the operator's log.
  Forwarder(ForwarderOptions options, OfficeDb& db, lib::FileSystem& fs, lib::Clock& clock,
            Sleep sleep, Say say);

  // One round (see above). True when it ended with everything found in the home shipped.
  bool round();
  // Milliseconds until the next round is worth making: 0 when work is left, else until the
  // next try or the next live frame.
  std::int64_t idle_ms() const;
  // Ends a round at the next shipment boundary; any thread.
  void stop() { stop_ = true; }
  const ForwarderStatus& status() const { return status_; }
  // Called after every shipment and live frame, so the caller can show progress.
  std::function<void()> on_progress;

 private:
  friend class BatchSink;
  struct Stopped {};
  struct FileState {
    std::uint64_t size = 0;
    std::uint64_t resume = 0;
    double bytes_per_line = 0;
    std::uint32_t last_time = 0;
  };

  void connect();
  void failed(const std::string& what, bool office_refuses, std::int64_t retry_ms);
  void push_live();
  void collect_journals(Shipment& pending);
  void collect_alarms(Shipment& pending);
  // Reads one recording on from its position; ships on the way when a shipment fills.
  void forward_file(const RecordingFile& file, Shipment& pending);
  bool full() const;
  void ship(Shipment& pending);
  void update_backlog();
  void report_once(const std::string& key, const std::string& line);
  LinkReport report() const;
  void check_stop() const;

  ForwarderOptions options_;
  OfficeDb& db_;
  lib::FileSystem& fs_;
  lib::Clock& clock_;
  Sleep sleep_;
  Say say_;
  std::atomic<bool> stop_{false};
  ForwarderStatus status_;
  Backoff backoff_;
  RateCap rate_;
  std::size_t batch_lines_;
  std::uint64_t batch_bytes_;
  RigPositions positions_;
  std::map<FileKey, FileState> files_;
  std::set<std::string> reported_;
  std::int64_t last_live_ms_ = 0;
  bool live_pushed_ = false;
  std::int64_t last_contact_ms_ = 0;
  std::optional<std::pair<std::uint32_t, std::uint32_t>> last_frame_;  // sequence, time
  std::size_t pending_lines_ = 0;
  std::uint64_t pending_bytes_ = 0;
};

}  // namespace office
