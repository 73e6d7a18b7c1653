// The office database at scale (docs/scaling.md), against a PostgreSQL server of the
// benchmark's own on this machine:
//   BM_PsqlCopyBaseline: the rigs' lines as CSV loaded with `psql \copy`, one session per rig
//     at once: what the server takes when the client only sends text;
//   BM_ForwardRigs: as many forwarders at once, each draining a rig's day of recordings
//     (one line a second of 100 parameters) into the same database; its counter
//     `ratio_to_psql_copy` is its values per second over the baseline's;
//   BM_OneRigCatchUp: one rig's day of backlog drained alone over loopback TCP.
// Sizes: RIGCORE_BENCH_RIGS (50), RIGCORE_BENCH_LINES (86400 a rig), RIGCORE_BENCH_PARAMS
// (100). The server (support/pg_server.h) flushes to disk as a production one does; the
// recordings and the CSV go to a scratch folder under TMPDIR; everything is removed at the
// end.
#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <thread>

#include "lib/file_system.h"
#include "office/forwarder.h"
#include "office/pg/pg_binary.h"
#include "office/pg/pg_office_db.h"
#include "storage/real_time_reader.h"
#include "storage/real_time_records.h"
#include "support/pg_server.h"

namespace {

int env_int(const char* name, int def) {
  const char* v = std::getenv(name);
  return v ? std::atoi(v) : def;
}

struct Fixture {
  int rigs = env_int("RIGCORE_BENCH_RIGS", 50);
  int lines = env_int("RIGCORE_BENCH_LINES", 86400);
  int params = env_int("RIGCORE_BENCH_PARAMS", 100);
  std::string dir;
  std::unique_ptr<testing_support::PgServer> server;
  std::string day;  // one rig's day of recordings
  std::string csv;  // the same lines as CSV, run_id left to the session
  double baseline_values_per_s = 0;

  Fixture() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "rigcore-bench-XXXXXX").string();
    dir = std::string(::mkdtemp(tmpl.data())) + "/";
    server =
        std::make_unique<testing_support::PgServer>(testing_support::PgServer::find_binaries());
    make_day();
  }
  ~Fixture() {
    server.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }

  void make_day() {
    auto list = std::make_shared<std::vector<rtf::RecordedParam>>();
    for (int i = 0; i < params; ++i) {
      const std::string id = "параметр_" + std::to_string(i);
      list->push_back({"Параметр " + std::to_string(i), "ед", id, id, 0, 100});
    }
    std::string bytes;
    rtf::append_version_block(bytes);
    const std::uint32_t check = rtf::append_params_block(bytes, *list);
    rtf::ValuesLine l;
    l.values.resize(static_cast<std::size_t>(params));
    for (int s = 0; s < lines; ++s) {
      l.time = 1772323200 + static_cast<std::uint32_t>(s);  // from 01.03.2026 00:00
      l.first_depth = 2000.0f + static_cast<float>(s) * 0.001f;
      l.bit_depth = l.first_depth - 0.5f;
      l.third_depth = l.first_depth - 30.0f;
      l.operation = static_cast<std::uint8_t>(s / 600 % 8);
      for (int k = 0; k < params; ++k)
        l.values[static_cast<std::size_t>(k)] = static_cast<float>((s * 7 + k * 13) % 1000) / 7.0f;
      rtf::append_values_block(bytes, l, check);
    }
    day = dir + "day.realtim";
    lib::write_file_atomically(day, bytes, lib::posix_file_system(), false);

    // The same lines as a CSV client sends them: shortest floats, an array literal.
    struct Csv final : rtf::RecordingVisitor {
      std::string out;
      std::uint64_t params_at = 0;
      void on_params(std::uint64_t at, const rtf::ParamList&) override { params_at = at; }
      void on_line(const rtf::LineView& l) override {
        std::uint32_t s = 0;
        std::uint8_t h = 0;
        office::pg::split_timestamp(office::pg::timestamp_of(l.time, l.hundredths), s, h);
        const std::time_t t = s;
        std::tm tm{};
        ::gmtime_r(&t, &tm);
        fmt::format_to(std::back_inserter(out),
                       "1,{},{},{:04}-{:02}-{:02} {:02}:{:02}:{:02}.{:02},{},{},{},{},\"{{",
                       static_cast<int>(l.operation), l.offset, tm.tm_year + 1900, tm.tm_mon + 1,
                       tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(h), params_at,
                       l.first_depth, l.bit_depth, l.third_depth);
        for (std::size_t i = 0; i < l.count; ++i) {
          if (i != 0) out += ',';
          fmt::format_to(std::back_inserter(out), "{}", l.value(i));
        }
        out += "}\"\n";
      }
    } csv_lines;
    rtf::scan_recording(bytes, csv_lines);
    csv = dir + "day.csv";
    lib::write_file_atomically(csv, csv_lines.out, lib::posix_file_system(), false);
  }

  // A fresh database with the schema and the partitions of the day's months.
  std::string database(const std::string& name) {
    server->create_database(name);
    office::pg::PgOfficeDb(server->url(name)).migrate();
    server->psql(name, "SELECT office_month_partition('2026-03-01')");
    return name;
  }
  std::int64_t size_of(const std::string& db) {
    return std::stoll(server->psql(db, "SELECT pg_database_size(current_database())"));
  }
  double values() const { return static_cast<double>(rigs) * lines * params; }
};

Fixture& fx() {
  static Fixture f;
  return f;
}

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void BM_PsqlCopyBaseline(benchmark::State& state) {
  Fixture& f = fx();
  for (auto _ : state) {
    const std::string db = f.database("baseline");
    // Each session stores its rig's rows under a run of its own.
    f.server->psql(db,
                   "ALTER TABLE lines ALTER COLUMN run_id SET DEFAULT "
                   "current_setting('bench.run_id')::integer");
    const auto t0 = std::chrono::steady_clock::now();
    std::vector<std::thread> sessions;
    std::atomic<int> failed{0};
    for (int r = 0; r < f.rigs; ++r) {
      sessions.emplace_back([&, r] {
        const lib::ProcessResult p = lib::system_process_runner().run(
            {f.server->binaries() + "/psql", "-X", "-q", "-d", f.server->url(db), "-c",
             "SET bench.run_id = " + std::to_string(r + 1), "-c",
             "\\copy lines (kind, operation, pos, t, params_at, first_depth, bit_depth, "
             "third_depth, vals) FROM '" +
                 f.csv + "' WITH (FORMAT csv)"});
        if (!p.ok()) ++failed;
      });
    }
    for (auto& s : sessions) s.join();
    const double seconds = seconds_since(t0);
    state.SetIterationTime(seconds);
    if (failed != 0) state.SkipWithError("a psql \\copy failed");
    f.baseline_values_per_s = f.values() / seconds;
    state.counters["values_per_s"] = f.baseline_values_per_s;
    state.counters["rows"] = static_cast<double>(f.rigs) * f.lines;
    f.server->psql("postgres", "DROP DATABASE " + db);
  }
}

// Drains `rigs` homes, each a hard link of the day, with one forwarder thread each.
double forward(Fixture& f, const std::string& url, int rigs, std::uint64_t* shipped) {
  std::vector<std::string> homes;
  for (int r = 0; r < rigs; ++r) {
    const std::string home = f.dir + "rig" + std::to_string(r) + "/";
    std::filesystem::create_directories(home + "records");
    std::filesystem::remove(home + "records/0001.realtim");
    std::filesystem::create_hard_link(f.day, home + "records/0001.realtim");
    homes.push_back(home);
  }
  std::atomic<std::uint64_t> lines{0};
  const auto t0 = std::chrono::steady_clock::now();
  std::vector<std::thread> threads;
  for (int r = 0; r < rigs; ++r) {
    threads.emplace_back([&, r] {
      office::pg::PgOfficeDb db(url);
      office::ForwarderOptions o;
      o.home = homes[static_cast<std::size_t>(r)];
      o.rig = "rig " + std::to_string(r);
      office::Forwarder fw(
          o, db, lib::posix_file_system(), lib::system_clock(),
          [](std::int64_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); },
          [](const std::string& line) {
            // A failure is news in a benchmark; the link coming up is not.
            if (line.rfind("office link up", 0) != 0)
              std::fprintf(stderr, "forward: %s\n", line.c_str());
          });
      while (!fw.round()) std::this_thread::sleep_for(std::chrono::milliseconds(fw.idle_ms()));
      lines += fw.status().lines_shipped;
    });
  }
  for (auto& t : threads) t.join();
  if (shipped) *shipped = lines;
  return seconds_since(t0);
}

void BM_ForwardRigs(benchmark::State& state) {
  Fixture& f = fx();
  for (auto _ : state) {
    const std::string db = f.database("forwarded");
    const std::int64_t empty = f.size_of(db);
    std::uint64_t shipped = 0;
    const double seconds = forward(f, f.server->url(db), f.rigs, &shipped);
    state.SetIterationTime(seconds);
    if (shipped != static_cast<std::uint64_t>(f.rigs) * f.lines)
      state.SkipWithError("lines missing");
    const double vps = f.values() / seconds;
    state.counters["values_per_s"] = vps;
    if (f.baseline_values_per_s > 0)
      state.counters["ratio_to_psql_copy"] = vps / f.baseline_values_per_s;
    f.server->psql(db, "VACUUM ANALYZE");
    state.counters["db_bytes_per_rig_day"] =
        static_cast<double>(f.size_of(db) - empty) / f.rigs * (86400.0 / f.lines);
    f.server->psql("postgres", "DROP DATABASE " + db);
  }
}

void BM_OneRigCatchUp(benchmark::State& state) {
  Fixture& f = fx();
  for (auto _ : state) {
    const std::string db = f.database("one_rig");
    const double seconds = forward(f, f.server->tcp_url(db, f.server->port()), 1, nullptr);
    state.SetIterationTime(seconds);
    state.counters["day_seconds"] = seconds * (86400.0 / f.lines);
    f.server->psql("postgres", "DROP DATABASE " + db);
  }
}

BENCHMARK(BM_PsqlCopyBaseline)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_ForwardRigs)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_OneRigCatchUp)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
