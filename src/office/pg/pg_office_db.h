// The office database on PostgreSQL (docs/office-database.md): the forwarder's OfficeDb,
// the migrations of `rigstation office migrate`, and a stored run read back for
// `rigstation office export`.
//
// Lines go in with one binary COPY per shipment; the positions, texts, parameter lists,
// alarm episodes and journals of the shipment go in the same transaction. The partition of a
// month is made, when missing, in a transaction of its own before the lines that need it.
// Not thread-safe: one connection, one user.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "office/office_db.h"
#include "office/pg/pg_connection.h"
#include "storage/real_time_reader.h"

namespace office::pg {

// The longest the link may make no progress before it counts as lost.
inline constexpr int kDefaultIoTimeoutMs = 30000;

class PgOfficeDb final : public OfficeDb {
 public:
  explicit PgOfficeDb(std::string address, int io_timeout_ms = kDefaultIoTimeoutMs);

  RigPositions open(const std::string& rig) override;
  void close() override;
  std::uint64_t ship(const Shipment& shipment) override;
  std::uint64_t put_live(const live::LiveFrame& frame, const LinkReport& report) override;
  void touch(const LinkReport& report) override;

  // Applies, each in its own transaction, the migrations the database lacks; one line for
  // the operator per migration applied, none when it is up to date. Safe to run from two
  // places at once. Throws LinkError.
  std::vector<std::string> migrate();

  // The office's copy of one recording handed to `visitor` as a scan of the file would
  // hand it on (texts, parameter lists and lines in file order), no further than
  // `max_offset` into the file. Throws OfficeError when the office holds no such run, and
  // LinkError.
  rtf::ScanTotals replay(const std::string& rig, int race, RecordingKind kind,
                         rtf::RecordingVisitor& visitor, std::uint64_t max_offset);

  // Where it connects to, without the password.
  const std::string& shown() const { return conn_.shown(); }
  Connection& connection() { return conn_; }

 private:
  int run_of(int race);
  void ensure_months(const Shipment& shipment);
  void rollback();

  Connection conn_;
  int rig_id_ = 0;
  std::map<int, int> runs_;  // race -> run_id, as committed
  std::set<int> months_;     // year * 12 + month - 1 whose partition is there
};

}  // namespace office::pg
