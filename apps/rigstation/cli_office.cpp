// rigstation office: the office side of the link (docs/office-database.md). `migrate` makes
// or brings up the schema of the office database; `export` writes a run the office holds as
// LAS or CSV with the very writers `rec export` and `rec dump --csv` use on the rig's file;
// `settings` and `set` show and change the link's section [офис] of a station's settings.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "cli_office_web.h"
#include "command_registry.h"
#include "core/config_editing.h"
#include "lib/file_system.h"
#include "office/office_format.h"
#include "office/office_settings.h"
#include "office/pg/pg_office_db.h"
#include "office/recording_files.h"
#include "storage/las_export.h"
#include "storage/recording_dump.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitIncomplete = 2;

struct OfficeArgs {
  std::string db;
  std::string rig;
  int race = 0;
  std::string file = "time";
  std::string las;
  std::string csv;
  std::string params;
  std::string key;
  std::string value;
};

int run_migrate(const OfficeArgs& args) {
  office::pg::PgOfficeDb db(args.db);
  try {
    const std::vector<std::string> done = db.migrate();
    for (const std::string& line : done) std::printf("office: applied %s\n", line.c_str());
    if (done.empty())
      std::printf("office: %s is up to date (schema %d)\n", db.shown().c_str(),
                  office::kSchemaVersion);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "office migrate: %s\n", e.what());
    return kExitFailed;
  }
  return 0;
}

int run_export(const OfficeArgs& args) {
  const std::optional<office::RecordingKind> kind = office::kind_of_name(args.file);
  if (!kind) {
    std::fprintf(stderr, "office export: --file %s: one of time, depth, lag, fast\n",
                 args.file.c_str());
    return kExitFailed;
  }
  if (args.las.empty() == args.csv.empty()) {
    std::fprintf(stderr, "office export: give one of --las FILE and --csv FILE\n");
    return kExitFailed;
  }
  office::pg::PgOfficeDb db(args.db);
  const rtf::RecordingScan scan = [&](rtf::RecordingVisitor& v, std::uint64_t max_bytes) {
    return db.replay(args.rig, args.race, *kind, v, max_bytes);
  };
  const std::string what =
      "run " + std::to_string(args.race) + " of rig '" + args.rig + "' (" + args.file + ")";
  try {
    if (!args.csv.empty()) {
      std::size_t lines = 0;
      rtf::write_file_streamed(args.csv, lib::posix_file_system(), [&](const auto& write) {
        struct Counting final : rtf::RecordingVisitor {
          rtf::LineDumper& dump;
          std::size_t& lines;
          Counting(rtf::LineDumper& d, std::size_t& n) : dump(d), lines(n) {}
          void on_line(const rtf::LineView& l) override {
            dump.on_line(l);
            ++lines;
          }
        };
        rtf::LineDumper dump(true, write);
        Counting counting(dump, lines);
        scan(counting, ~std::uint64_t{0});
        dump.flush();
      });
      std::fprintf(stderr, "export: %zu lines of %s written to %s (CSV)\n", lines, what.c_str(),
                   args.csv.c_str());
      return 0;
    }
    rtf::LasOptions o;
    o.by_time = *kind == office::RecordingKind::time || *kind == office::RecordingKind::fast;
    for (std::size_t start = 0; start < args.params.size();) {
      std::size_t comma = args.params.find(',', start);
      if (comma == std::string::npos) comma = args.params.size();
      if (comma > start) o.params.push_back(args.params.substr(start, comma - start));
      start = comma + 1;
    }
    const rtf::LasResult las =
        rtf::export_las_scan_to_file(scan, args.las, lib::posix_file_system(), o);
    for (const std::string& p : las.unknown_params) {
      std::fprintf(stderr, "export: %s holds no parameter '%s'; it is left out\n", what.c_str(),
                   p.c_str());
    }
    std::fprintf(stderr, "export: %zu lines of %s written to %s (LAS 2.0, indexed by %s)\n",
                 las.lines, what.c_str(), args.las.c_str(), o.by_time ? "time" : "depth");
    return las.unknown_params.empty() && las.problems.empty() ? 0 : kExitIncomplete;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "office export: %s\n", e.what());
    return kExitFailed;
  }
}

int run_settings(const std::string& home) {
  office::OfficeSettings s;
  const std::string path = home + office::kSettingsFileName;
  s.load_from_file(path, lib::posix_file_system());
  lib::options_list list = s.options();
  std::printf("[офис] in %s\n", path.c_str());
  for (const lib::Option& o : list) {
    std::printf("  %s = %s    (%s%s%s)\n", o.key().c_str(),
                reg::option_display_text(o, o.value()).c_str(), o.caption().c_str(),
                o.unit().empty() ? "" : ", ", o.unit().c_str());
  }
  return 0;
}

int run_set(const std::string& home, const OfficeArgs& args) {
  office::OfficeSettings s;
  const std::string path = home + office::kSettingsFileName;
  s.load_from_file(path, lib::posix_file_system());
  if (auto why = reg::set_option_text(s, "офис", args.key, args.value)) {
    std::fprintf(stderr, "office set: [офис] %s: %s; nothing saved\n", args.key.c_str(),
                 why->c_str());
    return kExitFailed;
  }
  try {
    s.save_to_file(path, lib::posix_file_system());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "office set: %s; nothing saved\n", e.what());
    return kExitIncomplete;
  }
  lib::options_list list = s.options();
  const lib::Option* o = list.find("офис", args.key);
  std::printf("[офис] %s = %s\n", o->key().c_str(),
              reg::option_display_text(*o, o->value()).c_str());
  return 0;
}

void add_office(CLI::App& app, rigstation::CommandContext& context) {
  auto args = std::make_shared<OfficeArgs>();
  CLI::App* cmd = app.add_subcommand(
      "office",
      "The office database the rigs forward to (PostgreSQL), its view of every rig with its "
      "accounts, and the link's settings");
  cmd->require_subcommand(1);

  CLI::App* migrate = cmd->add_subcommand(
      "migrate", "Make the office schema, or bring it up to this program's; safe to repeat");
  migrate->add_option("--db", args->db, "The office database, a libpq URI or key=value string")
      ->required();
  migrate->callback([args] {
    if (const int rc = run_migrate(*args); rc != 0) throw CLI::RuntimeError(rc);
  });

  CLI::App* exp = cmd->add_subcommand(
      "export",
      "Write a run the office holds as LAS 2.0 or CSV, exactly as 'rec export' and 'rec dump "
      "--csv' write it from the rig's file. Exit code 2: parameters asked for that the run "
      "does not hold");
  exp->add_option("--db", args->db, "The office database, a libpq URI or key=value string")
      ->required();
  exp->add_option("--rig", args->rig, "The rig's name in the office")->required();
  exp->add_option("--race", args->race, "The run number")
      ->required()
      ->check(CLI::Range(1, 1000000));
  exp->add_option("--file", args->file,
                  "Which recording of the run: time (default), depth, lag, fast");
  exp->add_option("--las", args->las, "The LAS file to write");
  exp->add_option("--csv", args->csv, "The CSV file to write");
  exp->add_option("--params", args->params,
                  "LAS: comma-separated identifiers of the parameters to export, in this order");
  exp->callback([args] {
    if (const int rc = run_export(*args); rc != 0) throw CLI::RuntimeError(rc);
  });

  CLI::App* show = cmd->add_subcommand("settings", "Show the link's settings [офис] of the home");
  show->callback([&context] {
    if (const int rc = run_settings(context.home()); rc != 0) throw CLI::RuntimeError(rc);
  });
  CLI::App* set = cmd->add_subcommand(
      "set", "Change one of the link's settings: имя_буровой, адрес_базы, предел_скорости");
  set->add_option("key", args->key, "The key in [офис]")->required();
  set->add_option("value", args->value, "The new value")->required();
  set->callback([&context, args] {
    if (const int rc = run_set(context.home(), *args); rc != 0) throw CLI::RuntimeError(rc);
  });
  add_office_web(*cmd);
}

}  // namespace

RIGSTATION_COMMAND("office", add_office);
