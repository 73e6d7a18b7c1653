#include "station/station_home.h"

#include <filesystem>
#include <stdexcept>

#include "core/config.h"
#include "core/config_global_ini.h"
#include "lib/file_system.h"
#include "lib/ini_file.h"
#include "params/all_params.h"
#include "params/par_tabl.h"

namespace station {
namespace {

// A starter row: catalogue identifier, input, and the two calibration points that map the
// emulator's raw range onto a plausible engineering range.
struct StarterRow {
  const char* identifier;
  params::ChannelType type;
  int channel;
  double raw_low, value_low, raw_high, value_high;
  int averaging;
};

// The emulator's ADC inputs run from 1024 to 4095 and its rate inputs are 0 or 1.
constexpr StarterRow kStarterRows[] = {
    {"вес_на_крюке", params::kChannelAnalog, 0, 1024, 0, 4095, 200, 3},
    {"давление_на_входе", params::kChannelAnalog, 1, 1024, 0, 4095, 250, 3},
    {"момент_ротора", params::kChannelAnalog, 2, 1024, 0, 4095, 40, 3},
    {"тальблок", params::kChannelAnalog, 3, 1024, 0, 4095, 30, 1},
    {"уровень_в_емкости", params::kChannelAnalog, 4, 1024, 0, 4095, 3, 5},
    {"плотность_на_входе", params::kChannelAnalog, 5, 1024, 1.0, 4095, 1.6, 5},
    {"расход_на_входе", params::kChannelAnalog, 6, 1024, 0, 4095, 60, 3},
    {"температура_на_входе", params::kChannelAnalog, 7, 1024, 10, 4095, 70, 10},
    {"суммарный_газ", params::kChannelAnalog, 8, 1024, 0, 4095, 5, 1},
    {"ходы_насоса", params::kChannelRate, 0, 0, 0, 1, 120, 5},
    {"обороты_ротора", params::kChannelRate, 1, 0, 0, 1, 120, 5},
};

}  // namespace

void write_starter_table(const std::string& path, const params::AllParams& catalogue) {
  params::ParTabl table(catalogue);
  for (const StarterRow& s : kStarterRows) {
    table.add(s.identifier);
    int row = table.find_global(s.identifier);
    if (row < 0) continue;  // not in this catalogue: the starter table goes without it
    params::Param& p = table[row];
    p.channel = params::USOChannel(0, s.channel, s.type);
    p.averaging = s.averaging;
    p.points = {{s.raw_low, s.value_low}, {s.raw_high, s.value_high}};
  }
  if (!table.save_to(path))
    throw std::runtime_error("cannot write the parameter table '" + path + "'");
}

std::vector<std::string> ensure_station_home(const std::string& home,
                                             const params::AllParams& catalogue) {
  std::vector<std::string> created;
  if (!std::filesystem::is_directory(home)) {
    if (!lib::make_dirs(home))
      throw std::runtime_error("cannot create the station folder '" + home + "'");
    created.push_back("station folder " + home);
  }
  if (!std::filesystem::is_directory(home + kDataFolder)) {
    if (!lib::make_dirs(home + kDataFolder)) {
      throw std::runtime_error("cannot create the folder '" + home + kDataFolder + "'");
    }
    created.push_back("data folder " + home + kDataFolder);
  }
  const std::string settings = home + reg::kConfigFileName;
  if (!std::filesystem::exists(settings)) {
    reg::Config config;  // made with its defaults
    // A new station reads the built-in emulator until someone names a real port.
    config.link.pult_id = 28;
    // Both objects share the file; written in one go, so the new file has no backup of a
    // half-made first version beside it.
    reg::GlobalIni global;
    lib::IniFile ini;
    config.save(ini);
    global.save(ini);
    try {
      ini.save_file(settings);
    } catch (const lib::IniError& e) {
      throw std::runtime_error(e.what());
    }
    created.push_back("settings " + settings + " (defaults, data source: emulator)");
  }
  const std::string table = home + kParamTableFileName;
  if (!std::filesystem::exists(table)) {
    write_starter_table(table, catalogue);
    created.push_back("parameter table " + table + " (starter rows wired to the emulator)");
  }
  return created;
}

}  // namespace station
