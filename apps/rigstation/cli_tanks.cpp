// rigstation tanks [--tank K --level L] [--json]: the mud tanks as the station's settings
// ("global.ini" in the home) define them: each tank's level and volume names, caption, area
// or level table, whether it is active, a trip tank or a receiving tank; with --tank and
// --level, the volume of that tank at that level. What the settings hold that cannot be used
// is printed as a warning, with what the station does instead.
#include <cmath>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "calc/tanks.h"
#include "calc/tanks_format.h"
#include "command_registry.h"
#include "core/config.h"
#include "json_output.h"
#include "lib/file_system.h"
#include "lib/ini_file.h"

namespace {

constexpr int kExitBadArguments = 1;
constexpr int kExitUnreadable = 2;

struct TanksArgs {
  int tank = 0;
  double level = std::nan("");
  bool json = false;
};

// Pads to a width in characters, not bytes, so Cyrillic columns line up.
std::string pad(const std::string& s, std::size_t width) {
  std::size_t w = 0;
  for (unsigned char c : s) w += (c & 0xC0) != 0x80;
  return w >= width ? s : s + std::string(width - w, ' ');
}

std::string table_text(const calc::VEmkOpt& t) {
  std::string out;
  for (const auto& [l, v] : t.table()) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s%.3f m: %.3f m³", out.empty() ? "" : ", ",
                  static_cast<double>(l), static_cast<double>(v));
    out += buf;
  }
  return out;
}

int run_tanks(const TanksArgs& args, const std::string& home) {
  const std::string path = home + reg::kConfigFileName;
  calc::VEmkOpts tanks;
  lib::IniFile ini;
  lib::FileSystem& fs = lib::posix_file_system();
  if (lib::missing(fs, path)) {
    std::fprintf(stderr, "tanks: no settings file '%s'; the tanks shown are the defaults\n",
                 path.c_str());
  } else {
    try {
      ini.load_file(path, fs);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "tanks: %s\n", e.what());
      return kExitUnreadable;
    }
  }
  for (const std::string& note : tanks.load_settings(ini))
    std::fprintf(stderr, "warning: %s: %s\n", path.c_str(), note.c_str());

  const bool convert = args.tank != 0 || !std::isnan(args.level);
  if (convert) {
    if (args.tank < 1 || args.tank > calc::VEmkOpts::kTankCount || !std::isfinite(args.level)) {
      std::fprintf(stderr,
                   "tanks: --tank takes a tank number 1..16 and --level a level in metres, "
                   "both together\n");
      return kExitBadArguments;
    }
    calc::VEmkOpt& t = tanks[args.tank - 1];
    const float volume = t.calc_volume(static_cast<float>(args.level));
    if (args.json) {
      nlohmann::json j = {{"tank", args.tank},
                          {"level", args.level},
                          {"volume", volume},
                          {"by", t.table().empty() ? "area" : "table"}};
      rigstation::print_json(j);
    } else {
      std::printf("tank %d (%s) at %.3f m: %.2f m³ (%s)\n", args.tank, t.get_caption().c_str(),
                  args.level, static_cast<double>(volume),
                  t.table().empty() ? "level × area" : "from its level table");
    }
    return 0;
  }

  if (args.json) {
    nlohmann::json list = nlohmann::json::array();
    for (int i = 0; i < calc::VEmkOpts::kTankCount; ++i) {
      const calc::VEmkOpt& t = tanks[i];
      nlohmann::json table = nlohmann::json::array();
      for (const auto& [l, v] : t.table()) table.push_back({l, v});
      list.push_back({{"number", i + 1},
                      {"level_name", t.get_name()},
                      {"volume_name", t.get_vname()},
                      {"caption", t.get_caption()},
                      {"area", t.get_s()},
                      {"table", table},
                      {"active", t.is_used()},
                      {"trip_tank", t.is_used_for_doliv()},
                      {"receiving", t.is_in_tank()},
                      {"height", t.get_height()},
                      {"mud", t.get_mud_type()}});
    }
    rigstation::print_json({{"file", path}, {"tanks", list}});
    return 0;
  }
  std::printf("# %s, sections [%s] and [%s]\n", path.c_str(), calc::tanks_format::kTanksSection,
              calc::tanks_format::kTablesSection);
  std::printf("%2s  %s %-6s %-5s %-4s %9s %7s  %s %s %s\n", "#", pad("caption", 16).c_str(),
              "active", "trip", "recv", "height, m", "area", pad("level value", 20).c_str(),
              pad("volume value", 18).c_str(), "level table");
  for (int i = 0; i < calc::VEmkOpts::kTankCount; ++i) {
    const calc::VEmkOpt& t = tanks[i];
    std::printf("%2d  %s %-6s %-5s %-4s %9.2f %7.2f  %s %s %s\n", i + 1,
                pad(t.get_caption(), 16).c_str(), t.is_used() ? "yes" : "no",
                t.is_used_for_doliv() ? "yes" : "no", t.is_in_tank() ? "yes" : "no",
                static_cast<double>(t.get_height()), static_cast<double>(t.get_s()),
                pad(t.get_name(), 20).c_str(), pad(t.get_vname(), 18).c_str(),
                t.table().empty() ? "-" : table_text(t).c_str());
  }
  return 0;
}

void add_tanks_command(CLI::App& app, rigstation::CommandContext& context) {
  auto args = std::make_shared<TanksArgs>();
  CLI::App* cmd = app.add_subcommand(
      "tanks",
      "The mud tanks of the settings (global.ini): names, captions, areas and level tables; "
      "with --tank and --level the volume at a level. Exit code 1: bad arguments; 2: the "
      "settings file cannot be read");
  cmd->add_option("--tank", args->tank, "Tank number 1..16 to convert a level for");
  cmd->add_option("--level", args->level, "Level in metres to convert to a volume");
  cmd->add_flag("--json", args->json, "Print as one JSON document on one line");
  cmd->callback([args, &context] {
    const int rc = run_tanks(*args, context.home());
    if (rc != 0) throw CLI::RuntimeError(rc);
  });
}

}  // namespace

RIGSTATION_COMMAND("tanks", add_tanks_command);
