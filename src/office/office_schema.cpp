#include "office/office_schema.h"

#include "office/office_format.h"

namespace office {
namespace {

// The first schema: rigs and their runs, the four recordings of each run with the
// forwarder's position in each, their texts, parameter lists and lines (partitioned by
// month), the alarm episodes, the journals, and each rig's live frame.
constexpr std::string_view kSchema1 = R"sql(
CREATE TABLE rigs (
  rig_id          serial PRIMARY KEY,
  name            text NOT NULL UNIQUE,
  first_contact   timestamptz NOT NULL DEFAULT now(),
  last_contact    timestamptz,
  last_commit     timestamptz,
  backlog_lines   bigint NOT NULL DEFAULT 0,
  backlog_seconds double precision NOT NULL DEFAULT 0,
  forwarder       text NOT NULL DEFAULT ''
);

CREATE TABLE runs (
  run_id     serial PRIMARY KEY,
  rig_id     integer NOT NULL REFERENCES rigs,
  race       integer NOT NULL,
  first_seen timestamptz NOT NULL DEFAULT now(),
  UNIQUE (rig_id, race)
);

CREATE TABLE recordings (
  run_id      integer NOT NULL REFERENCES runs,
  kind        smallint NOT NULL CHECK (kind BETWEEN 1 AND 4),
  file_name   text NOT NULL,
  resume_at   bigint NOT NULL DEFAULT 0,
  params_at   bigint NOT NULL DEFAULT -1,
  params_end  bigint NOT NULL DEFAULT 0,
  line_count  bigint NOT NULL DEFAULT 0,
  last_time   bigint NOT NULL DEFAULT 0,
  first_line  timestamp,
  last_line   timestamp,
  updated     timestamptz,
  PRIMARY KEY (run_id, kind)
);

CREATE TABLE param_lists (
  run_id      integer NOT NULL,
  kind        smallint NOT NULL,
  pos         bigint NOT NULL,
  identifiers text[] NOT NULL,
  full_names  text[] NOT NULL,
  units       text[] NOT NULL,
  short_names text[] NOT NULL,
  scale_min   real[] NOT NULL,
  scale_max   real[] NOT NULL,
  PRIMARY KEY (run_id, kind, pos),
  FOREIGN KEY (run_id, kind) REFERENCES recordings
);

CREATE TABLE run_texts (
  run_id integer NOT NULL,
  kind   smallint NOT NULL,
  pos    bigint NOT NULL,
  keys   text[] NOT NULL,
  vals   text[] NOT NULL,
  PRIMARY KEY (run_id, kind, pos),
  FOREIGN KEY (run_id, kind) REFERENCES recordings
);

CREATE TABLE lines (
  run_id      integer NOT NULL,
  kind        smallint NOT NULL,
  operation   smallint NOT NULL,
  pos         bigint NOT NULL,
  t           timestamp NOT NULL,
  params_at   bigint NOT NULL,
  first_depth real NOT NULL,
  bit_depth   real NOT NULL,
  third_depth real NOT NULL,
  vals        real[] NOT NULL,
  PRIMARY KEY (run_id, kind, pos, t)
) PARTITION BY RANGE (t);
CREATE INDEX lines_by_time ON lines (run_id, kind, t);
CREATE INDEX lines_by_depth ON lines (run_id, kind, first_depth) WHERE kind IN (2, 3);
CREATE TABLE lines_other PARTITION OF lines DEFAULT;

-- The partition of the month of `day`, made when missing. Taken under a lock, so forwarders
-- that meet a new month together make it once; call it outside the transaction that writes
-- the lines, which then holds no lock the making of a partition waits for.
CREATE FUNCTION office_month_partition(day date) RETURNS void LANGUAGE plpgsql AS $fn$
DECLARE
  first date := date_trunc('month', day)::date;
  name  text := 'lines_' || to_char(first, 'YYYY_MM');
BEGIN
  IF to_regclass(name) IS NOT NULL THEN RETURN; END IF;
  PERFORM pg_advisory_xact_lock(hashtext('office_month_partition'));
  IF to_regclass(name) IS NOT NULL THEN RETURN; END IF;
  EXECUTE format('CREATE TABLE %I PARTITION OF lines FOR VALUES FROM (%L) TO (%L)',
                 name, first, (first + interval '1 month')::date);
END
$fn$;

CREATE TABLE alarm_episodes (
  rig_id     integer NOT NULL REFERENCES rigs,
  started    timestamp NOT NULL,
  ended      timestamp NOT NULL,
  parameter  text NOT NULL,
  kind       smallint NOT NULL,
  min_limit  real,
  max_limit  real,
  extreme    real NOT NULL,
  last_value real NOT NULL,
  unit       text NOT NULL,
  text       text NOT NULL,
  received   timestamptz NOT NULL DEFAULT now()
);
CREATE UNIQUE INDEX alarm_episodes_once ON alarm_episodes
  (rig_id, started, parameter, kind, coalesce(min_limit, 'NaN'), coalesce(max_limit, 'NaN'));
CREATE INDEX alarm_episodes_by_end ON alarm_episodes (rig_id, ended);

CREATE TABLE alarm_positions (
  rig_id  integer PRIMARY KEY REFERENCES rigs,
  inode   bigint NOT NULL,
  log_offset bigint NOT NULL
);

CREATE TABLE journals (
  rig_id      integer NOT NULL REFERENCES rigs,
  journal     text NOT NULL,
  titles      text[] NOT NULL,
  file_size   bigint NOT NULL,
  modified_ns bigint NOT NULL,
  inode       bigint NOT NULL,
  updated     timestamptz NOT NULL DEFAULT now(),
  PRIMARY KEY (rig_id, journal)
);

CREATE TABLE journal_rows (
  rig_id  integer NOT NULL,
  journal text NOT NULL,
  ord     integer NOT NULL,
  cells   text[] NOT NULL,
  PRIMARY KEY (rig_id, journal, ord),
  FOREIGN KEY (rig_id, journal) REFERENCES journals ON DELETE CASCADE
);

CREATE TABLE live_frames (
  rig_id         integer PRIMARY KEY REFERENCES rigs,
  received       timestamptz NOT NULL DEFAULT now(),
  frame_time     timestamp NOT NULL,
  sequence       bigint NOT NULL,
  race           integer NOT NULL,
  race_active    boolean NOT NULL,
  bottom         real NOT NULL,
  bit            real NOT NULL,
  lag            real NOT NULL,
  block          real NOT NULL,
  operation      integer NOT NULL,
  operation_name text NOT NULL,
  identifiers    text[] NOT NULL,
  names          text[] NOT NULL,
  units          text[] NOT NULL,
  vals           real[] NOT NULL,
  stale          boolean[] NOT NULL,
  alarm          boolean[] NOT NULL,
  valid          boolean[] NOT NULL,
  alarms         text[] NOT NULL
);
)sql";

// The office view's accounts and their sessions (the token's SHA-256 as hex, never the
// token), and a title for each rig that the office may give it beside the name its
// forwarder sends.
constexpr std::string_view kSchema2 = R"sql(
CREATE TABLE office_users (
  name          text PRIMARY KEY,
  password_hash text NOT NULL,
  role          text NOT NULL CHECK (role IN ('read', 'write')),
  created       timestamptz NOT NULL DEFAULT now(),
  changed       timestamptz
);

CREATE TABLE office_sessions (
  token_digest text PRIMARY KEY,
  user_name    text NOT NULL REFERENCES office_users ON DELETE CASCADE,
  created      timestamptz NOT NULL DEFAULT now(),
  expires      timestamptz NOT NULL
);
CREATE INDEX office_sessions_by_user ON office_sessions (user_name);

ALTER TABLE rigs ADD COLUMN title text NOT NULL DEFAULT '';
)sql";

}  // namespace

const std::vector<Migration>& migrations() {
  static const std::vector<Migration> all = {
      {1, "rigs, runs, recordings with lines by month, alarm episodes, journals, live frames",
       kSchema1},
      {2, "office accounts and sessions, rig titles", kSchema2},
  };
  static_assert(kSchemaVersion == 2, "the last migration is the schema this program writes");
  return all;
}

}  // namespace office
