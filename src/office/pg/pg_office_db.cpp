#include "office/pg/pg_office_db.h"

#include <fmt/format.h>
#include <chrono>

#include "office/office_schema.h"
#include "office/pg/pg_binary.h"

namespace office::pg {
namespace {

// SQLSTATEs of a database without this program's tables or functions.
bool missing_schema(const SqlError& e) {
  return e.sqlstate() == "42P01" || e.sqlstate() == "42883";
}

std::int64_t date_time_micros(lib::DateTime dt) {
  const std::optional<lib::LocalTime> t = lib::to_local_time(dt);
  if (!t) return 0;
  return (t->seconds - kPgEpochSeconds) * 1000000 + std::int64_t{t->milliseconds} * 1000;
}

// Year * 12 + month - 1 of local seconds since 1970.
int month_of(std::uint32_t seconds) {
  const std::chrono::year_month_day ymd{
      std::chrono::sys_days{std::chrono::days{static_cast<std::int64_t>(seconds) / 86400}}};
  return static_cast<int>(ymd.year()) * 12 + static_cast<int>(static_cast<unsigned>(ymd.month())) -
         1;
}

// One field of every record, in order: the array a column of the office's tables holds.
template <class Record, class Field>
std::vector<Field> field_of(const std::vector<Record>& records, Field Record::*field) {
  std::vector<Field> out;
  out.reserve(records.size());
  for (const Record& r : records) out.push_back(r.*field);
  return out;
}

std::vector<std::string> column(const journals::JournalTable& t, std::size_t row) {
  return t.rows[row];
}

}  // namespace

PgOfficeDb::PgOfficeDb(std::string address, int io_timeout_ms)
    : conn_(std::move(address), io_timeout_ms) {}

void PgOfficeDb::close() {
  conn_.close();
}

void PgOfficeDb::rollback() {
  runs_.clear();
  if (!conn_.connected()) return;
  try {
    conn_.exec("ROLLBACK");
  } catch (const LinkError&) {
    conn_.close();
  }
}

RigPositions PgOfficeDb::open(const std::string& rig) {
  conn_.connect();
  runs_.clear();
  months_.clear();
  std::int64_t version = 0;
  try {
    version = conn_.exec("SELECT coalesce(max(version), 0) FROM office_schema").int8(0, 0);
  } catch (const SqlError& e) {
    if (!missing_schema(e)) throw;
    throw OfficeError("the office database (" + conn_.shown() +
                      ") has no rigstation schema; make it with 'rigstation office migrate'");
  }
  if (version < kSchemaVersion) {
    throw OfficeError("the office database (" + conn_.shown() + ") has schema " +
                      std::to_string(version) + ", this program writes " +
                      std::to_string(kSchemaVersion) +
                      "; bring it up with 'rigstation office migrate'");
  }
  rig_id_ = static_cast<int>(
      conn_
          .exec("INSERT INTO rigs (name, last_contact) VALUES ($1, now()) ON CONFLICT (name) DO "
                "UPDATE SET last_contact = now() RETURNING rig_id",
                {text_param(rig)})
          .int8(0, 0));
  RigPositions out;
  const Result files = conn_.exec(
      "SELECT ru.race, c.kind, c.resume_at, c.params_at, c.params_end, c.line_count, c.last_time, "
      "ru.run_id FROM recordings c JOIN runs ru USING (run_id) WHERE ru.rig_id = $1",
      {int4_param(rig_id_)});
  for (int i = 0; i < files.rows(); ++i) {
    const FileKey key{static_cast<int>(files.int8(i, 0)),
                      static_cast<RecordingKind>(files.int8(i, 1))};
    FilePosition& p = out.files[key];
    p.resume = static_cast<std::uint64_t>(files.int8(i, 2));
    p.params_at = files.int8(i, 3);
    p.params_end = static_cast<std::uint64_t>(files.int8(i, 4));
    p.lines = static_cast<std::uint64_t>(files.int8(i, 5));
    p.last_time = static_cast<std::uint32_t>(files.int8(i, 6));
    runs_[key.race] = static_cast<int>(files.int8(i, 7));
  }
  const Result alarms = conn_.exec(
      "SELECT inode, log_offset FROM alarm_positions WHERE rig_id = $1", {int4_param(rig_id_)});
  if (alarms.rows() == 1) {
    out.alarms = {static_cast<std::uint64_t>(alarms.int8(0, 0)),
                  static_cast<std::uint64_t>(alarms.int8(0, 1))};
  }
  const Result journals =
      conn_.exec("SELECT journal, file_size, modified_ns, inode FROM journals WHERE rig_id = $1",
                 {int4_param(rig_id_)});
  for (int i = 0; i < journals.rows(); ++i) {
    out.journals[journals.text(i, 0)] = {journals.int8(i, 1), journals.int8(i, 2),
                                         static_cast<std::uint64_t>(journals.int8(i, 3))};
  }
  return out;
}

int PgOfficeDb::run_of(int race) {
  if (const auto it = runs_.find(race); it != runs_.end()) return it->second;
  Result r = conn_.exec(
      "INSERT INTO runs (rig_id, race) VALUES ($1, $2) ON CONFLICT DO NOTHING RETURNING run_id",
      {int4_param(rig_id_), int4_param(race)});
  if (r.rows() == 0) {
    r = conn_.exec("SELECT run_id FROM runs WHERE rig_id = $1 AND race = $2",
                   {int4_param(rig_id_), int4_param(race)});
  }
  const int id = static_cast<int>(r.int8(0, 0));
  runs_[race] = id;
  return id;
}

void PgOfficeDb::ensure_months(const Shipment& s) {
  for (const FileBatch& f : s.files) {
    for (const ShippedLine& l : f.lines) {
      const int m = month_of(l.time);
      const int year = m / 12;
      if (year < kFirstPartitionYear || year > kLastPartitionYear || months_.count(m)) continue;
      conn_.exec(fmt::format("SELECT office_month_partition('{:04}-{:02}-01')", year, m % 12 + 1));
      months_.insert(m);
    }
  }
}

std::uint64_t PgOfficeDb::ship(const Shipment& s) {
  if (!conn_.connected()) throw LinkError("not connected to the office");
  const std::uint64_t before = conn_.bytes_sent();
  ensure_months(s);
  conn_.exec("BEGIN");
  try {
    CopyWriter params, texts, lines;
    for (const FileBatch& f : s.files) {
      const int run = run_of(f.key.race);
      const auto kind = static_cast<std::int16_t>(f.key.kind);
      conn_.exec(
          "INSERT INTO recordings (run_id, kind, file_name) VALUES ($1, $2, $3) ON CONFLICT DO "
          "NOTHING",
          {int4_param(run), int2_param(kind), text_param(f.file_name)});
      const bool any = !f.lines.empty();
      const std::int64_t first =
          any ? timestamp_of(f.lines.front().time, f.lines.front().hundredths) : 0;
      const std::int64_t last =
          any ? timestamp_of(f.lines.back().time, f.lines.back().hundredths) : 0;
      const Result moved = conn_.exec(
          "UPDATE recordings SET resume_at = $3, params_at = $4, params_end = $5, line_count = $6, "
          "last_time = $7, first_line = coalesce(first_line, $8), last_line = coalesce($9, "
          "last_line), updated = now() WHERE run_id = $1 AND kind = $2 AND resume_at = $10 AND "
          "line_count = $11",
          {int4_param(run), int2_param(kind), int8_param(static_cast<std::int64_t>(f.to.resume)),
           int8_param(f.to.params_at), int8_param(static_cast<std::int64_t>(f.to.params_end)),
           int8_param(static_cast<std::int64_t>(f.to.lines)), int8_param(f.to.last_time),
           any ? timestamp_param(first) : null_param(kOidTimestamp),
           any ? timestamp_param(last) : null_param(kOidTimestamp),
           int8_param(static_cast<std::int64_t>(f.from.resume)),
           int8_param(static_cast<std::int64_t>(f.from.lines))});
      if (moved.affected() != 1) {
        throw PositionConflict("the office's position in '" + f.file_name +
                               "' is not the one this shipment starts from");
      }
      for (const ShippedParams& p : f.params) {
        using rtf::RecordedParam;
        const std::vector<float> lo = field_of(*p.list, &RecordedParam::scale_min);
        const std::vector<float> hi = field_of(*p.list, &RecordedParam::scale_max);
        params.row(9);
        params.int4(run);
        params.int2(kind);
        params.int8(static_cast<std::int64_t>(p.offset));
        params.text_array(field_of(*p.list, &RecordedParam::identifier));
        params.text_array(field_of(*p.list, &RecordedParam::full_name));
        params.text_array(field_of(*p.list, &RecordedParam::unit));
        params.text_array(field_of(*p.list, &RecordedParam::short_name));
        params.float4_array(lo.data(), lo.size());
        params.float4_array(hi.data(), hi.size());
      }
      for (const ShippedText& t : f.texts) {
        std::vector<std::string> keys, vals;
        for (const auto& [k, v] : t.values) {
          keys.push_back(k);
          vals.push_back(v);
        }
        texts.row(5);
        texts.int4(run);
        texts.int2(kind);
        texts.int8(static_cast<std::int64_t>(t.offset));
        texts.text_array(keys);
        texts.text_array(vals);
      }
      for (const ShippedLine& l : f.lines) {
        lines.row(10);
        lines.int4(run);
        lines.int2(kind);
        lines.int2(l.operation);
        lines.int8(static_cast<std::int64_t>(l.offset));
        lines.timestamp(timestamp_of(l.time, l.hundredths));
        lines.int8(static_cast<std::int64_t>(l.params_at));
        lines.float4(l.first_depth);
        lines.float4(l.bit_depth);
        lines.float4(l.third_depth);
        lines.float4_array(f.values.data() + l.first_value, l.count);
      }
    }
    if (params.rows() != 0) {
      conn_.copy_in(
          "COPY param_lists (run_id, kind, pos, identifiers, full_names, units, short_names, "
          "scale_min, scale_max) FROM STDIN (FORMAT binary)",
          params.finish());
    }
    if (texts.rows() != 0) {
      conn_.copy_in("COPY run_texts (run_id, kind, pos, keys, vals) FROM STDIN (FORMAT binary)",
                    texts.finish());
    }
    if (lines.rows() != 0) {
      conn_.copy_in(
          "COPY lines (run_id, kind, operation, pos, t, params_at, first_depth, bit_depth, "
          "third_depth, vals) FROM STDIN (FORMAT binary)",
          lines.finish());
    }
    if (s.alarms) {
      for (const alarms::AlarmLogRecord& a : s.alarms->episodes) {
        conn_.exec(
            "INSERT INTO alarm_episodes (rig_id, started, ended, parameter, kind, min_limit, "
            "max_limit, extreme, last_value, unit, text) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, "
            "$9, $10, $11) ON CONFLICT DO NOTHING",
            {int4_param(rig_id_), timestamp_param(date_time_micros(a.started)),
             timestamp_param(date_time_micros(a.ended)), text_param(a.parameter),
             int2_param(static_cast<std::int16_t>(a.kind)),
             a.min ? float4_param(*a.min) : null_param(kOidFloat4),
             a.max ? float4_param(*a.max) : null_param(kOidFloat4), float4_param(a.extreme),
             float4_param(a.value), text_param(a.unit), text_param(a.text)});
      }
      const Result moved = conn_.exec(
          "INSERT INTO alarm_positions (rig_id, inode, log_offset) VALUES ($1, $2, $3) ON "
          "CONFLICT (rig_id) DO UPDATE SET inode = EXCLUDED.inode, log_offset = "
          "EXCLUDED.log_offset WHERE alarm_positions.inode = $4 AND alarm_positions.log_offset = "
          "$5",
          {int4_param(rig_id_), int8_param(static_cast<std::int64_t>(s.alarms->to.inode)),
           int8_param(static_cast<std::int64_t>(s.alarms->to.offset)),
           int8_param(static_cast<std::int64_t>(s.alarms->from.inode)),
           int8_param(static_cast<std::int64_t>(s.alarms->from.offset))});
      if (moved.affected() != 1)
        throw PositionConflict("the office's position in the alarm log is not this shipment's");
    }
    for (const JournalSnapshot& j : s.journals) {
      conn_.exec(
          "INSERT INTO journals (rig_id, journal, titles, file_size, modified_ns, inode) VALUES "
          "($1, $2, $3, $4, $5, $6) ON CONFLICT (rig_id, journal) DO UPDATE SET titles = "
          "EXCLUDED.titles, file_size = EXCLUDED.file_size, modified_ns = EXCLUDED.modified_ns, "
          "inode = EXCLUDED.inode, updated = now()",
          {int4_param(rig_id_), text_param(j.journal),
           Param{text_array_bytes(j.table.titles), kOidTextArray, false}, int8_param(j.stamp.size),
           int8_param(j.stamp.modified_ns), int8_param(static_cast<std::int64_t>(j.stamp.inode))});
      conn_.exec("DELETE FROM journal_rows WHERE rig_id = $1 AND journal = $2",
                 {int4_param(rig_id_), text_param(j.journal)});
      if (j.table.rows.empty()) continue;
      CopyWriter rows;
      for (std::size_t i = 0; i < j.table.rows.size(); ++i) {
        rows.row(4);
        rows.int4(rig_id_);
        rows.text(j.journal);
        rows.int4(static_cast<std::int32_t>(i));
        rows.text_array(column(j.table, i));
      }
      conn_.copy_in("COPY journal_rows (rig_id, journal, ord, cells) FROM STDIN (FORMAT binary)",
                    rows.finish());
    }
    conn_.exec(
        "UPDATE rigs SET last_contact = now(), last_commit = now(), backlog_lines = $2, "
        "backlog_seconds = $3, forwarder = $4 WHERE rig_id = $1",
        {int4_param(rig_id_), int8_param(static_cast<std::int64_t>(s.report.backlog_lines)),
         float8_param(s.report.backlog_seconds), text_param(s.report.forwarder)});
    conn_.exec("COMMIT");
  } catch (const PositionConflict&) {
    rollback();
    throw;
  } catch (const SqlError&) {
    rollback();
    throw;
  } catch (const LinkError&) {
    runs_.clear();
    throw;
  }
  return conn_.bytes_sent() - before;
}

std::uint64_t PgOfficeDb::put_live(const live::LiveFrame& f, const LinkReport& report) {
  if (!conn_.connected()) throw LinkError("not connected to the office");
  const std::uint64_t before = conn_.bytes_sent();
  using live::FrameValue;
  const std::vector<float> vals = field_of(f.values, &FrameValue::value);
  const std::int64_t at = (static_cast<std::int64_t>(f.time) - kPgEpochSeconds) * 1000000 +
                          std::int64_t{f.milliseconds} * 1000;
  conn_.exec(
      "WITH contact AS (UPDATE rigs SET last_contact = now(), backlog_lines = $2, backlog_seconds "
      "= $3, forwarder = $4 WHERE rig_id = $1) "
      "INSERT INTO live_frames (rig_id, received, frame_time, sequence, race, race_active, bottom, "
      "bit, lag, block, operation, operation_name, identifiers, names, units, vals, stale, alarm, "
      "valid, alarms) VALUES ($1, now(), $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, $15, $16, "
      "$17, $18, $19, $20, $21, $22) ON CONFLICT (rig_id) DO UPDATE SET received = "
      "EXCLUDED.received, frame_time = EXCLUDED.frame_time, sequence = EXCLUDED.sequence, race = "
      "EXCLUDED.race, race_active = EXCLUDED.race_active, bottom = EXCLUDED.bottom, bit = "
      "EXCLUDED.bit, lag = EXCLUDED.lag, block = EXCLUDED.block, operation = EXCLUDED.operation, "
      "operation_name = EXCLUDED.operation_name, identifiers = EXCLUDED.identifiers, names = "
      "EXCLUDED.names, units = EXCLUDED.units, vals = EXCLUDED.vals, stale = EXCLUDED.stale, "
      "alarm = EXCLUDED.alarm, valid = EXCLUDED.valid, alarms = EXCLUDED.alarms WHERE "
      "live_frames.frame_time <= EXCLUDED.frame_time",
      {int4_param(rig_id_),
       int8_param(static_cast<std::int64_t>(report.backlog_lines)),
       float8_param(report.backlog_seconds),
       text_param(report.forwarder),
       timestamp_param(at),
       int8_param(f.sequence),
       int4_param(f.race),
       bool_param(f.race_active),
       float4_param(f.bottom),
       float4_param(f.bit),
       float4_param(f.lag),
       float4_param(f.block),
       int4_param(f.operation),
       text_param(f.operation_name),
       Param{text_array_bytes(field_of(f.values, &FrameValue::identifier)), kOidTextArray, false},
       Param{text_array_bytes(field_of(f.values, &FrameValue::name)), kOidTextArray, false},
       Param{text_array_bytes(field_of(f.values, &FrameValue::unit)), kOidTextArray, false},
       Param{float4_array_bytes(vals.data(), vals.size()), kOidFloat4Array, false},
       Param{bool_array_bytes(field_of(f.values, &FrameValue::stale)), kOidBoolArray, false},
       Param{bool_array_bytes(field_of(f.values, &FrameValue::alarm)), kOidBoolArray, false},
       Param{bool_array_bytes(field_of(f.values, &FrameValue::valid)), kOidBoolArray, false},
       Param{text_array_bytes(f.alarms), kOidTextArray, false}});
  return conn_.bytes_sent() - before;
}

void PgOfficeDb::touch(const LinkReport& report) {
  if (!conn_.connected()) throw LinkError("not connected to the office");
  conn_.exec(
      "UPDATE rigs SET last_contact = now(), backlog_lines = $2, backlog_seconds = $3, "
      "forwarder = $4 WHERE rig_id = $1",
      {int4_param(rig_id_), int8_param(static_cast<std::int64_t>(report.backlog_lines)),
       float8_param(report.backlog_seconds), text_param(report.forwarder)});
}

std::vector<std::string> PgOfficeDb::migrate() {
  conn_.connect();
  std::vector<std::string> done;
  // The list of versions is made under the same lock as the migrations: two forwarders
  // starting at once on a new database would otherwise both create it, and one would fail.
  conn_.exec("BEGIN");
  try {
    conn_.exec("SELECT pg_advisory_xact_lock(hashtext('office_schema'))");
    conn_.exec(
        "CREATE TABLE IF NOT EXISTS office_schema (version integer PRIMARY KEY, what text NOT "
        "NULL, applied timestamptz NOT NULL DEFAULT now())");
    conn_.exec("COMMIT");
  } catch (const SqlError&) {
    rollback();
    throw;
  }
  for (const Migration& m : migrations()) {
    conn_.exec("BEGIN");
    try {
      // Two migrations at once wait for each other here; the second finds the work done.
      conn_.exec("SELECT pg_advisory_xact_lock(hashtext('office_schema'))");
      const bool applied =
          conn_.exec("SELECT 1 FROM office_schema WHERE version = $1", {int4_param(m.version)})
              .rows() != 0;
      if (!applied) {
        conn_.exec_script(m.sql);
        conn_.exec("INSERT INTO office_schema (version, what) VALUES ($1, $2)",
                   {int4_param(m.version), text_param(m.what)});
        done.push_back("schema " + std::to_string(m.version) + ": " + std::string(m.what));
      }
      conn_.exec("COMMIT");
    } catch (const SqlError&) {
      rollback();
      throw;
    }
  }
  return done;
}

rtf::ScanTotals PgOfficeDb::replay(const std::string& rig, int race, RecordingKind kind,
                                   rtf::RecordingVisitor& visitor, std::uint64_t max_offset) {
  conn_.connect();
  const Result run = conn_.exec(
      "SELECT ru.run_id FROM runs ru JOIN rigs r USING (rig_id) WHERE r.name = $1 AND ru.race = $2",
      {text_param(rig), int4_param(race)});
  if (run.rows() == 0) {
    throw OfficeError("the office holds no run " + std::to_string(race) + " of rig '" + rig + "'");
  }
  const std::int64_t run_id = run.int8(0, 0);
  const int k = static_cast<int>(kind);
  // Offsets go up to 2^63: a limit above that is none.
  const auto limit = static_cast<std::int64_t>(std::min<std::uint64_t>(max_offset, INT64_MAX));
  const std::string where = fmt::format("run_id = {} AND kind = {} AND pos < {}", run_id, k, limit);

  std::map<std::uint64_t, rtf::ParamList> lists;
  std::vector<rtf::RecordedText> texts;
  auto read_all = [&](const std::string& sql,
                      const std::function<void(std::vector<CopyReader::Field>&)>& row) {
    CopyReader reader;
    std::vector<CopyReader::Field> fields;
    conn_.copy_out(sql, [&](std::string_view piece) {
      reader.feed(piece);
      while (reader.next(fields)) row(fields);
    });
  };
  read_all(
      "COPY (SELECT pos, identifiers, full_names, units, short_names, scale_min, scale_max "
      "FROM param_lists WHERE " +
          where + " ORDER BY pos) TO STDOUT (FORMAT binary)",
      [&](std::vector<CopyReader::Field>& f) {
        const auto ids = f[1].text_array(), names = f[2].text_array(), units = f[3].text_array(),
                   shorts = f[4].text_array();
        const auto lo = f[5].float4_array(), hi = f[6].float4_array();
        auto list = std::make_shared<std::vector<rtf::RecordedParam>>();
        for (std::size_t i = 0; i < ids.size(); ++i) {
          list->push_back({i < names.size() ? names[i] : "", i < units.size() ? units[i] : "",
                           i < shorts.size() ? shorts[i] : "", ids[i], i < lo.size() ? lo[i] : 0.f,
                           i < hi.size() ? hi[i] : 0.f});
        }
        lists[static_cast<std::uint64_t>(f[0].int8())] = std::move(list);
      });
  read_all("COPY (SELECT pos, keys, vals FROM run_texts WHERE " + where +
               " ORDER BY pos) TO STDOUT (FORMAT binary)",
           [&](std::vector<CopyReader::Field>& f) {
             rtf::RecordedText t;
             t.offset = static_cast<std::uint64_t>(f[0].int8());
             const auto keys = f[1].text_array(), vals = f[2].text_array();
             for (std::size_t i = 0; i < keys.size(); ++i)
               t.values.emplace_back(keys[i], i < vals.size() ? vals[i] : "");
             texts.push_back(std::move(t));
           });

  rtf::ScanTotals totals;
  auto list_it = lists.begin();
  std::size_t text_i = 0;
  // Hands on the texts and parameter lists before `offset`, in file order.
  auto up_to = [&](std::uint64_t offset) {
    for (;;) {
      const bool list_next = list_it != lists.end() && list_it->first < offset;
      const bool text_next = text_i < texts.size() && texts[text_i].offset < offset;
      if (!list_next && !text_next) return;
      if (list_next && (!text_next || list_it->first < texts[text_i].offset)) {
        totals.bytes = std::max(totals.bytes, list_it->first + 1);
        ++totals.blocks;
        visitor.on_params(list_it->first, list_it->second);
        ++list_it;
      } else {
        totals.bytes = std::max(totals.bytes, texts[text_i].offset + 1);
        ++totals.blocks;
        visitor.on_text(std::move(texts[text_i++]));
      }
    }
  };
  std::vector<float> values;
  read_all(
      "COPY (SELECT pos, t, operation, params_at, first_depth, bit_depth, third_depth, vals "
      "FROM lines WHERE " +
          where + " ORDER BY pos) TO STDOUT (FORMAT binary)",
      [&](std::vector<CopyReader::Field>& f) {
        rtf::LineView v;
        v.offset = static_cast<std::uint64_t>(f[0].int8());
        up_to(v.offset);
        split_timestamp(f[1].int8(), v.time, v.hundredths);
        v.operation = static_cast<std::uint8_t>(f[2].int2());
        const auto list = lists.find(static_cast<std::uint64_t>(f[3].int8()));
        v.first_depth = f[4].float4();
        v.bit_depth = f[5].float4();
        v.third_depth = f[6].float4();
        values = f[7].float4_array();
        totals.bytes = std::max(totals.bytes, v.offset + 1);
        ++totals.blocks;
        if (list == lists.end() || list->second->size() != values.size()) {
          visitor.on_problem({v.offset,
                              "a stored line whose parameter list is not stored "
                              "with it; the line is left out"},
                             false);
          return;
        }
        v.params = &list->second;
        v.count = values.size();
        v.values = values.data();
        visitor.on_line(v);
      });
  up_to(~std::uint64_t{0});
  return totals;
}

}  // namespace office::pg
