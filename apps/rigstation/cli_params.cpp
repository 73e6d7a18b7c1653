// rigstation params catalogue [--group N]: lists the parameter catalogue.
// rigstation params show FILE: prints a parameter file (and its ".extended" companion when
// there is one) as a readable table.
#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "command_registry.h"
#include "lib/file_system.h"
#include "params/all_params.h"
#include "params/extended_file.h"
#include "params/par_tabl.h"
#include "params/param_file.h"
#include "params/param_text.h"

namespace {

// Exit codes of "show": 0 a sound file, 1 unreadable, 2 printed with damage (listed).
constexpr int kExitUnreadable = 1;
constexpr int kExitDamaged = 2;

struct ParamsArgs {
  std::optional<int> group;
  std::string file;
};

int run_catalogue(const ParamsArgs& args, const std::string& home) {
  const params::AllParams catalogue(home, lib::posix_file_system());
  std::fputs(params::format_catalogue(catalogue, args.group).c_str(), stdout);
  return 0;
}

int run_show(const ParamsArgs& args) {
  const auto bytes = lib::read_whole_file(args.file, lib::posix_file_system());
  if (!bytes) {
    const std::string why = lib::read_failure_text(errno, lib::kDefaultMaxFileBytes);
    std::fprintf(stderr, "params show: cannot read %s: %s\n", args.file.c_str(), why.c_str());
    return kExitUnreadable;
  }
  const params::param_file::ReadResult file = params::param_file::read(*bytes, params::kMaxParams);
  std::optional<params::extended_file::ReadResult> extended;
  const auto ext_bytes = lib::read_whole_file(
      args.file + std::string(params::param_file::kExtendedSuffix), lib::posix_file_system());
  if (ext_bytes) extended = params::extended_file::read(*ext_bytes, file.encoding);

  std::fputs(params::format_param_file(file, extended ? &*extended : nullptr).c_str(), stdout);
  if (file.refused) return kExitUnreadable;
  const bool damaged = !file.problems.empty() || (extended && !extended->problems.empty());
  return damaged ? kExitDamaged : 0;
}

void add_params_command(CLI::App& app, rigstation::CommandContext& context) {
  auto args = std::make_shared<ParamsArgs>();
  CLI::App* cmd = app.add_subcommand("params", "The parameter catalogue and parameter files");
  cmd->require_subcommand(1);

  CLI::App* catalogue = cmd->add_subcommand(
      "catalogue", "List the catalogue: identifier, names, unit and group of every entry");
  catalogue->add_option("--group", args->group, "Only the entries of this display group (0-11)");
  catalogue->callback([args, &context] {
    const int rc = run_catalogue(*args, context.home());
    if (rc != 0) throw CLI::RuntimeError(rc);
  });

  CLI::App* show = cmd->add_subcommand(
      "show",
      "Print a parameter file as a table. Exit code 1: unreadable; 2: damaged (listed at the "
      "end).");
  show->add_option("file", args->file, "Parameter file")->required();
  show->callback([args] {
    const int rc = run_show(*args);
    if (rc != 0) throw CLI::RuntimeError(rc);
  });
}

}  // namespace

RIGSTATION_COMMAND("params", add_params_command);
