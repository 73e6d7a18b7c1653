#include "station/station_home.h"

#include <cerrno>
#include <stdexcept>

#include "core/config.h"
#include "core/config_global_ini.h"
#include "lib/file_system.h"
#include "lib/ini_file.h"
#include "mudlog/layout.h"
#include "mudlog/layout_format.h"
#include "params/all_params.h"
#include "params/par_tabl.h"

namespace station {
namespace {

// The emulator's ADC inputs run from 1024 to 4095 and its rate inputs are 0 or 1; the bus
// simulators start their ADC words inside that range too.
constexpr StarterRow kStarterRows[] = {
    {"вес_на_крюке", params::kChannelAnalog, 0, 1024, 0, 4095, 200, 3},
    {"давление_на_входе", params::kChannelAnalog, 1, 1024, 0, 4095, 250, 3},
    {"момент_ротора", params::kChannelAnalog, 2, 1024, 0, 4095, 40, 3},
    // The block position is followed from the winch sensor, not read from an input.
    {"тальблок", params::kChannelAnalog, params::kNoChannel, 0, 0, 0, 0, 1},
    {"уровень_в_емкости", params::kChannelAnalog, 4, 1024, 0, 4095, 3, 5},
    {"плотность_на_входе", params::kChannelAnalog, 5, 1024, 1.0, 4095, 1.6, 5},
    {"расход_на_входе", params::kChannelAnalog, 6, 1024, 0, 4095, 60, 3},
    {"температура_на_входе", params::kChannelAnalog, 7, 1024, 10, 4095, 70, 10},
    // Total gas stays in a table only beside a gas component it can be summed from.
    {"метан_абс", params::kChannelAnalog, 9, 1024, 0, 4095, 5, 1},
    {"сумм_газ", params::kChannelAnalog, 8, 1024, 0, 4095, 5, 1},
    {"ходы_насоса", params::kChannelRate, 0, 0, 0, 1, 120, 5},
    {"обороты_ротора", params::kChannelRate, 1, 0, 0, 1, 120, 5},
};

}  // namespace

std::span<const StarterRow> starter_rows() {
  return kStarterRows;
}

void write_starter_table(lib::FileSystem& fs, const std::string& path,
                         const params::AllParams& catalogue, int module_address,
                         std::span<const StarterRow> rows) {
  params::ParTablServices services;
  services.fs = &fs;
  params::ParTabl table(catalogue, std::move(services));
  for (const StarterRow& s : rows) {
    // A starter row the catalogue does not know is a mistake in this program, not in the
    // station: say so rather than start with a table that quietly lacks it.
    if (catalogue.get_param_number(s.identifier) < 0) {
      throw std::runtime_error(std::string("the starter parameter table names '") + s.identifier +
                               "', which is not in the parameter catalogue; '" + path +
                               "' was not written");
    }
    table.add(s.identifier);
    const int row = table.find_global(s.identifier);
    if (row < 0) {
      throw std::runtime_error(std::string("the starter parameter '") + s.identifier +
                               "' could not be added to '" + path + "'");
    }
    params::Param& p = table[row];
    p.channel = params::USOChannel(module_address, s.channel, s.type);
    p.averaging = s.averaging;
    if (s.channel != params::kNoChannel) {
      p.points = {{s.raw_low, s.value_low}, {s.raw_high, s.value_high}};
    }
  }
  // The table's dependency rules run on every load; a starter row they would drop is as
  // much a mistake as one the catalogue lacks.
  table.check();
  for (const StarterRow& s : rows) {
    if (table.find_global(s.identifier) < 0) {
      throw std::runtime_error(std::string("the starter parameter '") + s.identifier +
                               "' would be dropped from '" + path +
                               "' by the table's dependency rules; the file was not written");
    }
  }
  if (!table.save_to(path))
    throw std::runtime_error("cannot write the parameter table '" + path + "'");
}

std::vector<std::string> ensure_station_home(lib::FileSystem& fs, const std::string& home,
                                             const params::AllParams& catalogue,
                                             int starter_module) {
  std::vector<std::string> created;
  if (!lib::is_folder(fs, home)) {
    if (!lib::make_dirs(fs, home)) {
      throw std::runtime_error("cannot create the station folder '" + home +
                               "': " + lib::errno_text(errno));
    }
    created.push_back("station folder " + home);
  }
  if (!lib::is_folder(fs, home + kDataFolder)) {
    if (!lib::make_dirs(fs, home + kDataFolder)) {
      throw std::runtime_error("cannot create the folder '" + home + kDataFolder +
                               "': " + lib::errno_text(errno));
    }
    created.push_back("data folder " + home + kDataFolder);
  }
  const std::string settings = home + reg::kConfigFileName;
  if (lib::missing(fs, settings)) {
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
      ini.save_file(settings, fs);
    } catch (const lib::IniError& e) {
      throw std::runtime_error(e.what());
    }
    created.push_back("settings " + settings + " (defaults, data source: emulator)");
  }
  const std::string table = home + kParamTableFileName;
  if (lib::missing(fs, table)) {
    write_starter_table(fs, table, catalogue, starter_module);
    created.push_back("parameter table " + table + " (starter rows wired to module " +
                      std::to_string(starter_module) +
                      (starter_module == 0 ? ": the emulator or an older-bus module)" : ")"));
  }
  const std::string layout = home + std::string(mudlog::layout_format::kFileName);
  if (mudlog::ensure_starter_layout(layout, fs)) {
    created.push_back("mud log layout " + layout + " (starter tracks)");
  }
  return created;
}

}  // namespace station
