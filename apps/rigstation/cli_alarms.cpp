// rigstation alarms log [--since TIME] [--file FILE]: prints the ended alarm episodes the
// station wrote to its alarm log (station/alarm_log_format.h), oldest first, one a line.
// Damaged lines are named on stderr and skipped; the others are still printed.
#include <cstdio>
#include <memory>
#include <string>

#include "alarms/min_max_value.h"
#include "command_registry.h"
#include "lib/date_time.h"
#include "lib/file_system.h"
#include "station/alarm_log_file.h"
#include "station/alarm_log_format.h"
#include "station/live_view.h"

namespace {

// Exit codes: 0 done; 1 a line or file could not be read (see stderr); 2 a bad --since.
constexpr int kExitDamaged = 1;
constexpr int kExitUsage = 2;

struct AlarmArgs {
  std::string since;
  std::string file;
};

// Pads to `width` characters, not bytes: the identifiers are Cyrillic.
std::string pad(const std::string& text, std::size_t width) {
  const std::size_t chars = station::text_width(text);
  return chars >= width ? text : text + std::string(width - chars, ' ');
}

std::string limit_text(const std::optional<float>& limit) {
  return limit ? alarms::float32_to_str(*limit) : "-";
}

void print_log(const AlarmArgs& args, const rigstation::CommandContext& context) {
  std::optional<lib::DateTime> since;
  if (!args.since.empty()) {
    since = lib::parse_date_time(args.since);
    if (!since) {
      std::fprintf(stderr,
                   "alarms log: --since '%s' is not a time; write dd.mm.yyyy, "
                   "dd.mm.yyyy hh:mm or dd.mm.yyyy hh:mm:ss\n",
                   args.since.c_str());
      throw CLI::RuntimeError(kExitUsage);
    }
  }
  const std::string path = args.file.empty()
                               ? context.home() + std::string(station::alarm_log_format::kFileName)
                               : args.file;
  const auto log = station::read_alarm_log(path, lib::posix_file_system());
  for (const auto& problem : log.problems)
    std::fprintf(stderr, "alarms log: %s\n", problem.c_str());
  std::printf("%-19s  %-19s  %-24s %4s %10s %10s %10s  %s\n", "started", "ended", "parameter",
              "kind", "min", "max", "extreme", "unit");
  int shown = 0;
  for (const auto& r : log.records) {
    // An episode still running at `since` belongs to what happened since.
    if (since && r.ended < *since) continue;
    std::printf("%-19s  %-19s  %s %4d %10s %10s %10s  %s\n",
                lib::format_date_time(r.started).c_str(), lib::format_date_time(r.ended).c_str(),
                pad(r.parameter, 24).c_str(), r.kind, limit_text(r.min).c_str(),
                limit_text(r.max).c_str(), alarms::float32_to_str(r.extreme).c_str(),
                r.unit.c_str());
    ++shown;
  }
  if (shown == 0) std::printf("(no alarm in '%s'%s)\n", path.c_str(), since ? " since then" : "");
  if (!log.problems.empty()) throw CLI::RuntimeError(kExitDamaged);
}

void add_alarms_command(CLI::App& app, rigstation::CommandContext& context) {
  CLI::App* alarms_cmd = app.add_subcommand("alarms", "The station's alarms");
  alarms_cmd->require_subcommand(1);
  auto args = std::make_shared<AlarmArgs>();
  CLI::App* log = alarms_cmd->add_subcommand(
      "log",
      "Print the ended alarms, oldest first. Exit code 1: a damaged line or an unreadable "
      "file (named on stderr; the rest is printed); 2: a bad --since.");
  log->add_option("--since", args->since,
                  "Only alarms still running at or ending after this local time "
                  "(dd.mm.yyyy[ hh:mm[:ss]])");
  log->add_option("--file", args->file, "Alarm log file (default: the station's own)");
  log->callback([args, &context] { print_log(*args, context); });
}

}  // namespace

RIGSTATION_COMMAND("alarms", add_alarms_command);
