// rigstation survey FILE.csv [--method 0|1|2] [--csv [--per-100ft]]: computes the trajectory
// of the survey stations in a CSV file and prints the station table, or the whole computed
// trajectory at full precision as CSV for other programs.
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "command_registry.h"
#include "lib/file_system.h"
#include "pore/survey_csv.h"
#include "pore/survey_csv_format.h"
#include "pore/survey_table.h"
#include "pore/wellbore.h"

namespace {

// Exit codes: 0 the table of all stations, 1 nothing to compute, 2 the table printed with
// some rows of the file left out (listed on stderr).
constexpr int kExitNothing = 1;
constexpr int kExitRowsSkipped = 2;

struct SurveyArgs {
  std::string file;
  int method = 0;
  bool csv = false;
  bool per_100ft = false;  // dogleg severity per 100 ft instead of per 30 m
};

int run_survey(const SurveyArgs& args) {
  auto bytes =
      lib::read_whole_file(args.file, lib::posix_file_system(), pore::survey_csv::kMaxFileBytes);
  if (!bytes) {
    const std::string why = lib::read_failure_text(errno, pore::survey_csv::kMaxFileBytes);
    std::fprintf(stderr, "survey: cannot read %s: %s\n", args.file.c_str(), why.c_str());
    return kExitNothing;
  }
  pore::SurveyCsvResult parsed = pore::parse_survey_csv(*bytes);
  for (const std::string& problem : parsed.problems)
    std::fprintf(stderr, "%s: %s\n", args.file.c_str(), problem.c_str());
  if (parsed.points.size() < 2) {
    std::fprintf(stderr, "survey: %s holds %zu usable station(s); at least 2 are needed\n",
                 args.file.c_str(), parsed.points.size());
    return kExitNothing;
  }
  pore::Wellbore wellbore;
  wellbore.set_points(std::move(parsed.points));
  wellbore.calculate(static_cast<pore::WbCalcMethod>(args.method), {});
  const std::string out =
      args.csv ? pore::format_trajectory_csv(
                     wellbore.points_copy(), wellbore.results(),
                     args.per_100ft ? pore::DoglegUnit::kPer100ft : pore::DoglegUnit::kPer30m)
               : pore::format_survey_table(wellbore.points_copy());
  std::fputs(out.c_str(), stdout);
  return parsed.problems.empty() ? 0 : kExitRowsSkipped;
}

void add_survey_command(CLI::App& app, rigstation::CommandContext& /*context*/) {
  auto args = std::make_shared<SurveyArgs>();
  CLI::App* cmd = app.add_subcommand(
      "survey",
      "Compute the trajectory of survey stations (CSV: measured depth, inclination, azimuth) "
      "and print the station table. Exit code 2: some rows were skipped (see stderr).");
  cmd->add_option("file", args->file, "CSV file of survey stations")->required();
  cmd->add_option("--method", args->method,
                  "0 average angle (default), 1 balanced tangential / radius of curvature, "
                  "2 minimum curvature")
      ->check(CLI::IsMember({0, 1, 2}));
  CLI::Option* csv = cmd->add_flag(
      "--csv", args->csv,
      "print the computed trajectory as CSV (\";\" separated) with every value at full "
      "precision, the last column the dogleg severity in degrees per 30 m");
  cmd->add_flag("--per-100ft", args->per_100ft,
                "with --csv: dogleg severity in degrees per 100 ft instead of per 30 m")
      ->needs(csv);
  cmd->callback([args] {
    const int rc = run_survey(*args);
    if (rc != 0) throw CLI::RuntimeError(rc);
  });
}

}  // namespace

RIGSTATION_COMMAND("survey", add_survey_command);
