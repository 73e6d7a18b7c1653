// rigstation params catalogue [--group N]: lists the parameter catalogue.
// rigstation params show FILE: prints a parameter file (and its ".extended" companion when
// there is one) as a readable table.
// rigstation params set ROW [--identifier ID] [--module N] [--channel N] [--type T]
//   [--wits CODE [--wits-server NAME]] [--range R] [--zero Z] [--averaging N]
//   [--points X:Y,X:Y|none] [--reload]: edits one row of the home's parameter table.
// rigstation params calibrate ROW --point RAW VALUE ... [--clear] [--reload]: adds
//   calibration points to a row (one at the raw value of an existing point replaces it).
// Both check the edit as the loader checks a file, keep the previous files as ".bak" and
// replace them atomically; while a station runs on the home they refuse unless told to
// --reload, which has the station take the table again through its control folder.
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "command_registry.h"
#include "lib/file_system.h"
#include "params/all_params.h"
#include "params/extended_file.h"
#include "params/par_tabl.h"
#include "params/param_file.h"
#include "params/param_text.h"
#include "params/row_edit.h"
#include "station/control_folder.h"
#include "station/station.h"
#include "station/station_home.h"

namespace {

// Exit codes of "show": 0 a sound file, 1 unreadable, 2 printed with damage (listed).
constexpr int kExitUnreadable = 1;
constexpr int kExitDamaged = 2;
// Exit codes of "set" and "calibrate": 1 the edit is refused (nothing saved), 2 the table
// cannot be read or written (nothing saved), 3 saved but no station answered the reload.
constexpr int kExitRefused = 1;
constexpr int kExitNotSaved = 2;
constexpr int kExitNoAnswer = 3;

struct ParamsArgs {
  std::optional<int> group;
  std::string file;
};

struct EditArgs {
  std::string row;
  std::optional<std::string> identifier, type, wits, wits_server, points;
  std::optional<std::int32_t> module, channel, averaging;
  std::optional<float> range, zero;
  std::vector<std::pair<std::string, std::string>> add_points;
  bool clear = false;
  bool reload = false;
  double wait_seconds = 5;
};

std::optional<double> number(const std::string& text) {
  double v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return v;
}

// The edit the options ask for; the reason when an option cannot be read.
std::string read_edit(const EditArgs& a, params::RowEdit& e) {
  e.identifier = a.identifier;
  e.module = a.module;
  e.channel = a.channel;
  e.wits_code = a.wits;
  e.wits_server = a.wits_server;
  e.range = a.range;
  e.zero = a.zero;
  e.averaging = a.averaging;
  if (a.type) {
    e.type = params::channel_type_of(*a.type);
    if (!e.type) return "--type " + *a.type + ": analog, rate, counter or wits (or 0 .. 3)";
  }
  if (a.clear) e.points = params::CalibrPoints{};
  if (a.points && *a.points != "none") {
    e.points = params::CalibrPoints{};
    std::string_view rest = *a.points;
    while (!rest.empty()) {
      const std::string item(rest.substr(0, rest.find(',')));
      rest.remove_prefix(std::min(rest.size(), item.size() + 1));
      const std::size_t colon = item.find(':');
      const auto x = number(item.substr(0, colon));
      const auto y = colon == std::string::npos ? std::nullopt : number(item.substr(colon + 1));
      if (!x || !y) return "--points: '" + item + "' is not RAW:VALUE";
      e.points->push_back({*x, *y});
    }
  } else if (a.points) {
    e.points = params::CalibrPoints{};
  }
  for (const auto& [raw, value] : a.add_points) {
    const auto x = number(raw), y = number(value);
    if (!x || !y)
      return "--point " + raw + " " + value + ": two numbers, the raw input and its value";
    e.add_points.push_back({*x, *y});
  }
  return {};
}

// Asks the station on `home` to take the table again; its answer, or nullopt when none came
// within the wait (the request is then taken back).
std::optional<std::string> ask_reload(const std::string& home, double wait_seconds) {
  lib::FileSystem& fs = lib::posix_file_system();
  station::ControlFolder folder(home, fs);
  std::string error;
  if (!folder.prepare(error)) return "error " + error;
  const std::string name = folder.submit("params reload");
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(static_cast<long long>(wait_seconds * 1000));
  while (std::chrono::steady_clock::now() < deadline) {
    if (auto answer = folder.take_answer(name)) return answer;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  fs.unlink(folder.folder() + name + ".cmd");
  return folder.take_answer(name);
}

// Keeps the files as they are now beside them, as ".bak".
void keep_backups(const std::string& path, lib::FileSystem& fs) {
  for (const std::string& f : {path, path + std::string(params::param_file::kExtendedSuffix)}) {
    if (auto bytes = lib::read_whole_file(f, fs))
      lib::write_file_atomically(f + ".bak", *bytes, fs);
  }
}

int run_edit(const char* name, const EditArgs& args, const std::string& home) {
  lib::FileSystem& fs = lib::posix_file_system();
  const std::string path = home + station::kParamTableFileName;
  params::RowEdit edit;
  if (const std::string why = read_edit(args, edit); !why.empty()) {
    std::fprintf(stderr, "params %s: %s; nothing saved\n", name, why.c_str());
    return kExitRefused;
  }
  const auto holder = station::home_holder(fs, home);
  if (holder && !args.reload) {
    std::fprintf(stderr,
                 "params %s: a station (process %s) runs on %s with the table it loaded; give "
                 "--reload to have it take the edited table, or stop it first; nothing saved\n",
                 name, holder->c_str(), home.c_str());
    return kExitRefused;
  }
  const params::AllParams catalogue(home, fs);
  params::ParTablServices services;
  services.fs = &fs;
  services.error_log = [name](const std::string& m) {
    std::fprintf(stderr, "params %s: %s\n", name, m.c_str());
  };
  params::ParTabl table(catalogue, std::move(services));
  if (lib::missing(fs, path)) {
    std::fprintf(stderr,
                 "params %s: no parameter table %s (a station makes one on its first start)\n",
                 name, path.c_str());
    return kExitNotSaved;
  }
  if (const params::ParTablLoad loaded = table.load_from(path); !loaded) {
    std::fprintf(stderr, "params %s: %s; nothing saved\n", name, loaded.describe().c_str());
    return kExitNotSaved;
  }
  const int row = params::find_row(table, args.row);
  if (row < 0) {
    std::fprintf(stderr,
                 "params %s: %s has no row '%s' (an identifier, or the number 'rigstation "
                 "params show' gives); nothing saved\n",
                 name, path.c_str(), args.row.c_str());
    return kExitRefused;
  }
  const std::string identifier = table[row].identifier;
  const params::RowEditResult result = params::apply_row_edit(table, catalogue, row, edit);
  if (!result.error.empty()) {
    std::fprintf(stderr, "params %s: row %d '%s': %s; nothing saved\n", name, row,
                 identifier.c_str(), result.error.c_str());
    return kExitRefused;
  }
  if (result.changes.empty()) {
    std::printf("row %d '%s': nothing changes\n", row, identifier.c_str());
    return 0;
  }
  try {
    keep_backups(path, fs);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "params %s: the previous table cannot be kept (%s); nothing saved\n", name,
                 e.what());
    return kExitNotSaved;
  }
  if (!table.save_to(path)) return kExitNotSaved;
  std::printf("row %d '%s': %s\nsaved %s (the previous table is kept as %s.bak)\n", result.row,
              table[result.row].identifier.c_str(), result.changes.c_str(), path.c_str(),
              path.c_str());
  if (!holder) return 0;
  const auto answer = ask_reload(home, args.wait_seconds);
  if (!answer) {
    std::fprintf(stderr,
                 "params %s: the station on %s did not answer within %.1f s; it takes the table "
                 "at its next start ('rigstation control params reload' asks again)\n",
                 name, home.c_str(), args.wait_seconds);
    return kExitNoAnswer;
  }
  std::printf("station: %s\n", answer->c_str());
  return answer->rfind("ok", 0) == 0 ? 0 : kExitRefused;
}

void add_edit_options(CLI::App* cmd, EditArgs& a) {
  cmd->add_option("row", a.row, "The row: its identifier, or its number as 'params show' lists it")
      ->required();
  cmd->add_flag("--reload", a.reload,
                "With a station running on the home: save, and have it take the table again");
  cmd->add_option("--wait", a.wait_seconds, "Seconds to wait for the station's answer (default 5)")
      ->check(CLI::Range(0.1, 600.0));
}

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

  auto edit = std::make_shared<EditArgs>();
  CLI::App* set = cmd->add_subcommand(
      "set",
      "Edit one row of the home's parameter table (params.tbl). Exit code 1: refused; 2: the "
      "table cannot be read or written; 3: saved, but the running station did not answer");
  add_edit_options(set, *edit);
  set->add_option("--identifier", edit->identifier,
                  "Another catalogue parameter for the row (names and unit follow)");
  set->add_option("--module", edit->module, "Bus address of the I/O module");
  set->add_option("--channel", edit->channel, "Input on the module (-1: none)");
  set->add_option("--type", edit->type, "Input kind: analog, rate, counter or wits");
  set->add_option("--wits", edit->wits, "Fed by this WITS item, RRII (record, item): 0114");
  set->add_option("--wits-server", edit->wits_server, "The WITS server that feeds the row");
  set->add_option("--range", edit->range, "Range of the linear conversion");
  set->add_option("--zero", edit->zero, "Zero of the linear conversion");
  set->add_option("--averaging", edit->averaging, "Ticks averaged, 1 .. 1000");
  set->add_option("--points", edit->points,
                  "Calibration points RAW:VALUE,RAW:VALUE (none: the linear conversion)");
  set->callback([edit, &context] {
    const int rc = run_edit("set", *edit, context.home());
    if (rc != 0) throw CLI::RuntimeError(rc);
  });

  auto cal = std::make_shared<EditArgs>();
  CLI::App* calibrate = cmd->add_subcommand(
      "calibrate",
      "Add calibration points to a row of the home's parameter table; one at the raw value of "
      "a point the row has replaces it. Exit codes as for set");
  add_edit_options(calibrate, *cal);
  calibrate->add_option("--point", cal->add_points, "A raw input and the value it stands for")
      ->required();
  calibrate->add_flag("--clear", cal->clear, "Drop the row's points first");
  calibrate->callback([cal, &context] {
    const int rc = run_edit("calibrate", *cal, context.home());
    if (rc != 0) throw CLI::RuntimeError(rc);
  });
}

}  // namespace

RIGSTATION_COMMAND("params", add_params_command);
