// rigstation config show: prints every section and option of the station configuration with
// caption, value, unit and default, then the threshold lists and the WITS servers.
// rigstation config set SECTION KEY VALUE: changes one option, its type checked, and saves.
// Both work on "global.ini" in the station home folder (--home).
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "command_registry.h"
#include "core/config.h"
#include "core/config_editing.h"
#include "lib/text_grid.h"

namespace {

constexpr int kExitRefused = 1;   // set: unknown key or wrong value, nothing saved
constexpr int kExitNotSaved = 2;  // set: the file could not be written, or not fully read

struct SetArgs {
  std::string section;
  std::string key;
  std::string value;
};

// Characters, not bytes, so Cyrillic columns line up.
std::size_t display_width(const std::string& s) {
  std::size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

std::string one_line(std::string s) {
  for (char& c : s) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return s;
}

std::string pad(const std::string& s, std::size_t width) {
  const std::size_t w = display_width(s);
  return w >= width ? s : s + std::string(width - w, ' ');
}

std::string format_grid(const lib::TextGrid& grid) {
  std::vector<std::size_t> widths(grid.col_count(), 0);
  for (std::size_t r = 0; r < grid.row_count(); ++r) {
    for (std::size_t c = 0; c < widths.size(); ++c) {
      widths[c] = std::max(widths[c], display_width(one_line(grid.cell(r, c))));
    }
  }
  std::string out;
  for (std::size_t r = 0; r < grid.row_count(); ++r) {
    std::string line = "  ";
    for (std::size_t c = 0; c < widths.size(); ++c) {
      line += pad(one_line(grid.cell(r, c)), widths[c]) + (c + 1 < widths.size() ? " | " : "");
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out += line + "\n";
  }
  return out;
}

// Loads the configuration; what loading had to correct goes to stderr.
void load_config(reg::Config& config, const std::string& path) {
  config.set_error_sink(
      [](const std::string& m) { std::fprintf(stderr, "warning: %s\n", m.c_str()); });
  for (const lib::OptionIssue& i : config.load_from_file(path, lib::posix_file_system())) {
    if (i.key.empty()) {
      std::fprintf(stderr, "warning: %s\n", i.reason.c_str());
    } else {
      std::fprintf(stderr, "warning: [%s] %s = \"%s\": %s\n", i.section.c_str(), i.key.c_str(),
                   i.text.c_str(), i.reason.c_str());
    }
  }
}

int run_show(const std::string& home) {
  const std::string path = home + reg::kConfigFileName;
  reg::Config config;
  load_config(config, path);
  std::printf("# %s\n", path.c_str());
  std::string section;
  for (const reg::OptionRow& row : reg::describe_options(config)) {
    if (row.section != section) {
      section = row.section;
      std::printf("\n[%s] %s\n", row.section.c_str(), one_line(row.section_caption).c_str());
    }
    std::string line = "  " + row.key + " = " + row.value;
    if (!row.unit.empty()) line += " " + row.unit;
    line = pad(line, 48) + " " + row.type;
    line += row.caption.empty() ? " (hidden)" : " — " + one_line(row.caption);
    line += "; default " + (row.default_value.empty() ? "\"\"" : row.default_value);
    std::printf("%s\n", line.c_str());
  }
  for (const alarms::MinMaxValues* list : {&config.min_max_values(), &config.min_max_values2()}) {
    lib::TextGrid grid;
    list->fill_to_grid(grid);
    std::printf("\n[%s] %zu thresholds\n%s", list->section().c_str(), list->size(),
                format_grid(grid).c_str());
  }
  lib::TextGrid servers;
  config.wits_options().fill_to_grid(servers);
  std::printf("\n[wits_servers] %zu servers\n%s", config.wits_options().servers().size(),
              format_grid(servers).c_str());
  return 0;
}

int run_set(const SetArgs& args, const std::string& home) {
  const std::string path = home + reg::kConfigFileName;
  reg::Config config;
  load_config(config, path);
  if (auto why = reg::set_option_text(config, args.section, args.key, args.value)) {
    std::fprintf(stderr, "config set: [%s] %s: %s; nothing saved\n", args.section.c_str(),
                 args.key.c_str(), why->c_str());
    return kExitRefused;
  }
  try {
    config.save_to_file(path, lib::posix_file_system());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "config set: %s; nothing saved\n", e.what());
    return kExitNotSaved;
  }
  lib::options_list list = config.options();
  const lib::Option* o = list.find(args.section, args.key);
  std::printf("[%s] %s = %s\n", o->section().c_str(), o->key().c_str(),
              reg::option_display_text(*o, o->value()).c_str());
  return 0;
}

void add_config_command(CLI::App& app, rigstation::CommandContext& context) {
  auto args = std::make_shared<SetArgs>();
  CLI::App* cmd = app.add_subcommand("config", "The station configuration (global.ini)");
  cmd->require_subcommand(1);

  CLI::App* show = cmd->add_subcommand(
      "show", "Print every option with caption, value, unit and default, then the lists");
  show->callback([&context] {
    const int rc = run_show(context.home());
    if (rc != 0) throw CLI::RuntimeError(rc);
  });

  CLI::App* set = cmd->add_subcommand(
      "set",
      "Change one option and save. Exit code 1: unknown option or a value of the wrong type "
      "(nothing saved); 2: the file could not be written, or could not be fully read (it is "
      "left untouched). The previous file is kept as global.ini.bak.");
  set->add_option("section", args->section, "INI section, e.g. ДОЛ")->required();
  set->add_option("key", args->key, "Option key, e.g. коэффицент_ДОЛа")->required();
  set->add_option("value", args->value, "New value")->required();
  set->callback([args, &context] {
    const int rc = run_set(*args, context.home());
    if (rc != 0) throw CLI::RuntimeError(rc);
  });
}

}  // namespace

RIGSTATION_COMMAND("config", add_config_command);
