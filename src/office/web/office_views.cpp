#include "office/web/office_views.h"

#include <cmath>
#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>
#include <variant>

#include "office/office_format.h"
#include "office/recording_files.h"
#include "office/web/office_web_format.h"
#include "storage/las_export.h"
#include "storage/recording_dump.h"
#include "web/json_text.h"
#include "web/query.h"

namespace office::view {
namespace {

using ::web::HttpAnswer;

HttpAnswer refused(int status, std::string why) {
  return {status, std::move(why), "application/json", {}};
}

HttpAnswer json_answer(std::string body) {
  return {200, std::move(body), "application/json", {}};
}

// A rig, a run and one of its recordings, as the query names them.
struct RunRef {
  std::string rig;
  int race = 0;
  RecordingKind kind = RecordingKind::time;
  std::int64_t run_id = 0;
};

std::optional<int> parse_race(const std::string& text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  int v = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return v > 0 ? std::optional<int>(v) : std::nullopt;
}

// The run the query names, or the refusal that says why not.
std::variant<RunRef, HttpAnswer> run_of(pg::Connection& conn, const ::web::Query& q) {
  RunRef ref;
  const auto rig = q.get("rig");
  if (!rig || rig->empty()) return refused(400, "'rig' is missing");
  ref.rig = *rig;
  const auto race = parse_race(q.get("race").value_or(""));
  if (!race) return refused(400, "'race' is not a run number (1 and up)");
  ref.race = *race;
  const auto kind = kind_of_name(q.get("file").value_or("time"));
  if (!kind) return refused(400, "'file' is one of time, depth, lag, fast");
  ref.kind = *kind;
  const pg::Result r = conn.exec(
      "SELECT ru.run_id FROM runs ru JOIN rigs r USING (rig_id) JOIN recordings c USING (run_id) "
      "WHERE r.name = $1 AND ru.race = $2 AND c.kind = $3",
      {pg::text_param(ref.rig), pg::int4_param(ref.race),
       pg::int2_param(static_cast<std::int16_t>(ref.kind))});
  if (r.rows() == 0) {
    return refused(404, "the office holds no " + std::string(kind_name(ref.kind)) +
                            " recording of run " + std::to_string(ref.race) + " of rig '" +
                            ref.rig + "'");
  }
  ref.run_id = r.int8(0, 0);
  return ref;
}

}  // namespace

std::vector<float> parse_real_array(std::string_view text) {
  std::vector<float> out;
  if (text.size() < 2 || text.front() != '{' || text.back() != '}') return out;
  text = text.substr(1, text.size() - 2);
  while (!text.empty()) {
    const std::size_t comma = text.find(',');
    const std::string field(text.substr(0, comma));
    char* end = nullptr;
    const float v = std::strtof(field.c_str(), &end);
    out.push_back(end != field.c_str() && *end == '\0' ? v : NAN);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return out;
}

HttpAnswer fleet_view(pg::Connection& conn) {
  // The database writes the JSON: every rig with its link, its live frame and a chart of the
  // last day of its time recording, newest line first counted back.
  const pg::Result r = conn.exec(
      R"sql(
SELECT coalesce(json_agg(f ORDER BY f.name), '[]') FROM (
  SELECT r.name, r.title,
    extract(epoch FROM r.last_contact) AS last_contact,
    extract(epoch FROM now() - r.last_contact) AS contact_age,
    extract(epoch FROM r.last_commit) AS last_commit,
    r.backlog_lines, r.backlog_seconds,
    lf.rig_id IS NOT NULL AS live,
    coalesce(extract(epoch FROM now() - lf.received) > $1, true) AS stale,
    lf.race, lf.bottom, lf.bit, lf.operation_name AS operation,
    coalesce(lf.alarms, '{}') AS alarms,
    (SELECT json_build_object('t', coalesce(json_agg(b.t ORDER BY b.t), '[]'),
                              'bottom', coalesce(json_agg(b.bottom ORDER BY b.t), '[]'),
                              'bit', coalesce(json_agg(b.bit ORDER BY b.t), '[]'))
     FROM (SELECT floor(extract(epoch FROM l.t) / $2) * $2 AS t,
                  max(l.first_depth) AS bottom, avg(l.bit_depth)::real AS bit
           FROM lines l JOIN runs ru USING (run_id)
           WHERE ru.rig_id = r.rig_id AND l.kind = 1
             AND l.t > (SELECT max(c.last_line) FROM recordings c JOIN runs ru2 USING (run_id)
                        WHERE ru2.rig_id = r.rig_id AND c.kind = 1) - make_interval(hours => $3)
           GROUP BY 1) b) AS chart
  FROM rigs r LEFT JOIN live_frames lf USING (rig_id)) f
)sql",
      {pg::int4_param(web_format::kLiveStaleSeconds),
       pg::int4_param(web_format::kFleetChartBucketSeconds),
       pg::int4_param(web_format::kFleetChartHours)});
  return json_answer(r.text(0, 0));
}

HttpAnswer rig_view(pg::Connection& conn, std::string_view query) {
  const ::web::Query q = ::web::parse_query(query);
  if (!q.error.empty()) return refused(400, q.error);
  const auto rig = q.get("rig");
  if (!rig || rig->empty()) return refused(400, "'rig' is missing");
  const pg::Result r = conn.exec(
      R"sql(
SELECT json_build_object(
  'name', r.name, 'title', r.title,
  'last_contact', extract(epoch FROM r.last_contact),
  'contact_age', extract(epoch FROM now() - r.last_contact),
  'last_commit', extract(epoch FROM r.last_commit),
  'backlog_lines', r.backlog_lines, 'backlog_seconds', r.backlog_seconds,
  'forwarder', r.forwarder,
  'live', (SELECT json_build_object(
             'time', extract(epoch FROM lf.frame_time),
             'received_age', extract(epoch FROM now() - lf.received),
             'stale', now() - lf.received > make_interval(secs => $2),
             'race', lf.race, 'race_active', lf.race_active,
             'bottom', lf.bottom, 'bit', lf.bit, 'lag', lf.lag, 'block', lf.block,
             'operation', lf.operation_name, 'alarms', lf.alarms,
             'values', (SELECT coalesce(json_agg(json_build_object(
                          'id', x.id, 'name', x.name, 'unit', x.unit, 'value', x.value,
                          'stale', x.stale OR now() - lf.received > make_interval(secs => $2),
                          'alarm', x.alarm, 'valid', x.valid) ORDER BY x.n), '[]')
                        FROM unnest(lf.identifiers, lf.names, lf.units, lf.vals, lf.stale,
                                    lf.alarm, lf.valid)
                             WITH ORDINALITY AS x(id, name, unit, value, stale, alarm, valid, n)))
           FROM live_frames lf WHERE lf.rig_id = r.rig_id),
  'runs', (SELECT coalesce(json_agg(json_build_object(
             'race', ru.race,
             'files', (SELECT json_agg(json_build_object(
                         'kind', c.kind, 'lines', c.line_count,
                         'first', extract(epoch FROM c.first_line),
                         'last', extract(epoch FROM c.last_line),
                         'params', (SELECT p.identifiers FROM param_lists p
                                    WHERE p.run_id = c.run_id AND p.kind = c.kind
                                    ORDER BY p.pos DESC LIMIT 1)) ORDER BY c.kind)
                       FROM recordings c WHERE c.run_id = ru.run_id)) ORDER BY ru.race DESC), '[]')
           FROM runs ru WHERE ru.rig_id = r.rig_id))
FROM rigs r WHERE r.name = $1
)sql",
      {pg::text_param(*rig), pg::int4_param(web_format::kLiveStaleSeconds)});
  if (r.rows() == 0) return refused(404, "the office knows no rig '" + *rig + "'");
  return json_answer(r.text(0, 0));
}

HttpAnswer history_view(pg::Connection& conn, std::string_view query) {
  const ::web::Query q = ::web::parse_query(query);
  if (!q.error.empty()) return refused(400, q.error);
  auto ref_or = run_of(conn, q);
  if (auto* a = std::get_if<HttpAnswer>(&ref_or)) return std::move(*a);
  const RunRef& ref = std::get<RunRef>(ref_or);
  std::string error;
  const auto names = ::web::parse_param_list(q.get("params").value_or(""), error);
  if (!names) return refused(400, error);
  if (names->size() > web_format::kMaxHistoryParams) {
    return refused(400, "at most " + std::to_string(web_format::kMaxHistoryParams) +
                            " parameters in one request");
  }
  double from = -1e300, to = 1e300;
  for (auto [field, bound] : {std::pair{"from", &from}, {"to", &to}}) {
    const auto text = q.get(field);
    if (!text || text->empty()) continue;
    const auto v = ::web::parse_seconds(*text);
    if (!v) return refused(400, "'" + std::string(field) + "' is not a number");
    *bound = *v;
  }
  const bool by_depth = ref.kind == RecordingKind::depth || ref.kind == RecordingKind::lag;
  const std::string x = by_depth ? "first_depth" : "extract(epoch FROM t)";
  const std::vector<pg::Param> where_params = {pg::int8_param(ref.run_id),
                                               pg::int2_param(static_cast<std::int16_t>(ref.kind)),
                                               pg::float8_param(from), pg::float8_param(to)};
  const std::string where =
      " FROM lines WHERE run_id = $1 AND kind = $2 AND " + x + " BETWEEN $3 AND $4";
  const std::int64_t rows = conn.exec("SELECT count(*)" + where, where_params).int8(0, 0);
  const std::int64_t stride = std::max<std::int64_t>(
      1, (rows + static_cast<std::int64_t>(web_format::kMaxHistoryPoints) - 1) /
             static_cast<std::int64_t>(web_format::kMaxHistoryPoints));

  // Where each asked-for parameter sits in the lines of each parameter list.
  std::map<std::int64_t, std::vector<int>> slots;
  std::vector<bool> known(names->size(), false);
  const pg::Result lists = conn.exec(
      "SELECT pos, array_to_json(identifiers) FROM param_lists WHERE run_id = $1 AND kind = $2",
      {pg::int8_param(ref.run_id), pg::int2_param(static_cast<std::int16_t>(ref.kind))});
  for (int i = 0; i < lists.rows(); ++i) {
    const auto ids = nlohmann::json::parse(lists.text(i, 1));
    std::vector<int>& at = slots[lists.int8(i, 0)];
    for (std::size_t n = 0; n < names->size(); ++n) {
      int slot = -1;
      for (std::size_t k = 0; k < ids.size(); ++k) {
        if (ids[k].is_string() && ids[k].get<std::string>() == (*names)[n]) {
          slot = static_cast<int>(k);
          break;
        }
      }
      at.push_back(slot);
      if (slot >= 0) known[n] = true;
    }
  }

  std::vector<pg::Param> line_params = where_params;
  line_params.push_back(pg::int8_param(stride));
  const pg::Result lines =
      conn.exec("SELECT x, params_at, vals FROM (SELECT " + x +
                    " AS x, params_at, vals, row_number() OVER (ORDER BY pos) AS n" + where +
                    ") s WHERE (n - 1) % $5 = 0 ORDER BY x",
                line_params);
  nlohmann::json j;
  j["index"] = by_depth ? "depth" : "time";
  j["thinned"] = stride;
  j["lines"] = rows;
  std::vector<double> xs;
  std::vector<nlohmann::json> columns(names->size(), nlohmann::json::array());
  for (int i = 0; i < lines.rows(); ++i) {
    xs.push_back(std::strtod(lines.text(i, 0).c_str(), nullptr));
    const std::vector<float> vals = parse_real_array(lines.text(i, 2));
    const auto at = slots.find(lines.int8(i, 1));
    for (std::size_t n = 0; n < names->size(); ++n) {
      const int slot = at == slots.end() ? -1 : at->second[n];
      const float v = slot >= 0 && slot < static_cast<int>(vals.size()) ? vals[slot] : NAN;
      if (std::isfinite(v)) {
        columns[n].push_back(v);
      } else {
        columns[n].push_back(nullptr);
      }
    }
  }
  j["x"] = xs;
  j["values"] = nlohmann::json::object();
  j["unknown"] = nlohmann::json::array();
  for (std::size_t n = 0; n < names->size(); ++n) {
    if (known[n]) {
      j["values"][(*names)[n]] = std::move(columns[n]);
    } else {
      j["unknown"].push_back((*names)[n]);
    }
  }
  return json_answer(::web::json_text(j));
}

HttpAnswer export_view(pg::PgOfficeDb& db, std::string_view query) {
  const ::web::Query q = ::web::parse_query(query);
  if (!q.error.empty()) return refused(400, q.error);
  db.connection().connect();
  auto ref_or = run_of(db.connection(), q);
  if (auto* a = std::get_if<HttpAnswer>(&ref_or)) return std::move(*a);
  const RunRef& ref = std::get<RunRef>(ref_or);
  const std::string format = q.get("format").value_or("las");
  if (format != "las" && format != "csv") return refused(400, "'format' is las or csv");

  struct TooLarge {};
  std::string body;
  const auto out = [&](std::string_view piece) {
    if (body.size() + piece.size() > web_format::kMaxExportBytes) throw TooLarge{};
    body.append(piece);
  };
  const rtf::RecordingScan scan = [&](rtf::RecordingVisitor& v, std::uint64_t max_bytes) {
    return db.replay(ref.rig, ref.race, ref.kind, v, max_bytes);
  };
  HttpAnswer a;
  try {
    if (format == "csv") {
      rtf::LineDumper dump(true, out);
      scan(dump, ~std::uint64_t{0});
      dump.flush();
      a.content_type = "text/csv; charset=utf-8";
    } else {
      rtf::LasOptions o;
      o.by_time = ref.kind == RecordingKind::time || ref.kind == RecordingKind::fast;
      std::string error;
      const auto params = ::web::parse_param_list(q.get("params").value_or(""), error);
      if (!params) return refused(400, error);
      o.params = *params;
      const rtf::LasResult las = rtf::export_las_scan(scan, o, out);
      if (!las.unknown_params.empty()) {
        std::string list;
        for (const auto& p : las.unknown_params) list += (list.empty() ? "" : ", ") + p;
        return refused(404, "run " + std::to_string(ref.race) + " holds no parameter " + list);
      }
      a.content_type = "text/plain; charset=us-ascii";
    }
  } catch (const TooLarge&) {
    return refused(413, "the export is larger than " +
                            std::to_string(web_format::kMaxExportBytes >> 20) +
                            " MiB; use 'rigstation office export' for it");
  }
  // The file name holds only what the query checked: a number and a kind, ASCII.
  a.headers.emplace_back("Content-Disposition",
                         "attachment; filename=\"run" + std::to_string(ref.race) + "-" +
                             std::string(kind_name(ref.kind)) + "." + format + "\"");
  a.body = std::move(body);
  return a;
}

HttpAnswer set_title(pg::Connection& conn, const std::string& rig, const std::string& title) {
  if (title.size() > 200) return refused(400, "a title has at most 200 bytes");
  if (conn.exec("UPDATE rigs SET title = $2 WHERE name = $1",
                {pg::text_param(rig), pg::text_param(title)})
          .affected() != 1) {
    return refused(404, "the office knows no rig '" + rig + "'");
  }
  return json_answer(::web::json_text({{"rig", rig}, {"title", title}}));
}

}  // namespace office::view
