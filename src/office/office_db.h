// The office database as the forwarder sees it: the seam between the forwarder's logic
// (what to ship, from where, when) and the database that keeps it. The PostgreSQL
// implementation is office/pg/pg_office_db.h; tests put a fake in its place that fails
// when told to.
//
// Exactly once: every line is keyed by rig, run, kind of file and its offset in the file,
// and the forwarder's position in each file travels in the same transaction as the lines it
// covers (ship). Whatever happens to either side, the position the office holds is the end
// of what it holds; a forwarder that lost its link asks again (open) and goes on from there.
//
// Not thread-safe: one forwarder thread uses an OfficeDb.
#pragma once

#include <compare>
#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "alarms/alarm_log_file.h"
#include "journals/journal_tables.h"
#include "office/office_format.h"
#include "storage/live_frame.h"
#include "storage/real_time_records.h"

namespace office {

// The link failed: no connection, a connection lost or stalled, a server that restarted, a
// statement the server refused. Nothing of the failed call counts as committed; ask the
// office where it stands (open) before going on.
class LinkError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The office cannot take this program's data however long one waits: its schema is missing
// or older than this program's (`rigstation office migrate` mends that), or the address is
// not one.
class OfficeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A position the shipment started from is not the one the office holds: another forwarder
// shipped from the same home meanwhile. Nothing was committed; ask again (open).
class PositionConflict : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct FileKey {
  int race = 0;
  RecordingKind kind = RecordingKind::time;
  auto operator<=>(const FileKey&) const = default;
};

// Where the forwarder stands in one recording file.
struct FilePosition {
  std::uint64_t resume = 0;      // offset of the first block not shipped
  std::int64_t params_at = -1;   // offset of the parameter block in force there; -1: none
  std::uint64_t params_end = 0;  // the offset just after that block
  std::uint64_t lines = 0;       // lines shipped
  std::uint32_t last_time = 0;   // time of the last line shipped (local seconds)
  bool operator==(const FilePosition&) const = default;
};

struct ShippedText {
  std::uint64_t offset = 0;
  rtf::KeyValueList values;
};

struct ShippedParams {
  std::uint64_t offset = 0;
  rtf::ParamList list;
};

struct ShippedLine {
  std::uint64_t offset = 0;
  std::uint64_t params_at = 0;  // the parameter block the values are read against
  std::uint32_t time = 0;
  std::uint8_t hundredths = 0;
  float first_depth = 0, bit_depth = 0, third_depth = 0;
  std::uint8_t operation = 0;
  std::size_t first_value = 0;  // into FileBatch::values
  std::uint32_t count = 0;
};

// What one shipment carries of one file: the blocks between two positions.
struct FileBatch {
  FileKey key;
  std::string file_name;
  FilePosition from, to;
  std::vector<ShippedText> texts;
  std::vector<ShippedParams> params;
  std::vector<ShippedLine> lines;
  std::vector<float> values;
};

// Where the forwarder stands in the alarm log: the file (by inode) and the offset after the
// last whole line shipped. Inode 0: nothing shipped yet.
struct AlarmPosition {
  std::uint64_t inode = 0;
  std::uint64_t offset = 0;
  bool operator==(const AlarmPosition&) const = default;
};

struct AlarmBatch {
  AlarmPosition from, to;
  std::vector<alarms::AlarmLogRecord> episodes;
};

// A journal file as it was when shipped; size -1: there was no file.
struct FileStamp {
  std::int64_t size = -1;
  std::int64_t modified_ns = 0;
  std::uint64_t inode = 0;
  bool operator==(const FileStamp&) const = default;
};

// A journal as a whole: the office replaces its copy with this.
struct JournalSnapshot {
  std::string journal;  // "remarks", "troubles", "mud_log", "mud_additives"
  FileStamp stamp;
  journals::JournalTable table;
};

// What the office shows of the link beside the rig's data.
struct LinkReport {
  std::uint64_t backlog_lines = 0;
  double backlog_seconds = 0;
  std::string forwarder;  // the forwarding program: host, process, version
};

// One transaction's worth.
struct Shipment {
  std::vector<FileBatch> files;
  std::optional<AlarmBatch> alarms;
  std::vector<JournalSnapshot> journals;
  LinkReport report;
  bool empty() const { return files.empty() && !alarms && journals.empty(); }
  std::size_t lines() const;
};

// What the office holds for a rig, as positions to go on from.
struct RigPositions {
  std::map<FileKey, FilePosition> files;
  AlarmPosition alarms;
  std::map<std::string, FileStamp> journals;
};

class OfficeDb {
 public:
  virtual ~OfficeDb() = default;
  // Connects when not connected, finds the rig by name (adding it when new) and answers
  // the positions the office holds for it. Throws LinkError, or OfficeError.
  virtual RigPositions open(const std::string& rig) = 0;
  // Drops the connection (nothing is committed that was not).
  virtual void close() = 0;
  // Commits the whole shipment in one transaction, each position with the data it covers,
  // and the report with it: all of it or nothing. Throws LinkError (the outcome is then
  // unknown until open tells it), PositionConflict, or OfficeError. Returns the bytes sent.
  virtual std::uint64_t ship(const Shipment& shipment) = 0;
  // Replaces the rig's live frame unless the office holds a newer one, with the report.
  // Throws LinkError. Returns the bytes sent.
  virtual std::uint64_t put_live(const live::LiveFrame& frame, const LinkReport& report) = 0;
  // Tells the office the rig is still there (last contact, the report) when nothing else
  // went for a while. Throws LinkError.
  virtual void touch(const LinkReport& report) = 0;
};

}  // namespace office
