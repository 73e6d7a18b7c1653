// rigstation plugins list [--home DIR]: loads every plug-in library of "<home>/plugins"
// as the station would and prints what each says about itself, or why it was refused.
// Exit code 1 when at least one library was refused.
#include <cstdio>
#include <string>

#include "command_registry.h"
#include "lib/lock_object.h"
#include "plugin_host/plugin_manager.h"
#include "registry/values.h"

namespace {

constexpr int kExitRefused = 1;
constexpr const char* kPluginsFolder = "plugins";

std::string flag_names(std::int32_t flags) {
  std::string names;
  if ((flags & reg::kPluginHasOptions) != 0) names += " options";
  if ((flags & reg::kPluginRegisterAtLoad) != 0) names += " register";
  return names.empty() ? " -" : names;
}

void list_plugins(const rigstation::CommandContext& context) {
  const std::string folder = context.home() + kPluginsFolder;
  lib::lock_object lock;
  reg::Values values(lock);
  int refused = 0;
  reg::PluginStation station;
  station.lock = &lock;
  station.values = &values;
  station.error_log = [&refused](const std::string& message) {
    ++refused;
    std::printf("refused: %s\n", message.c_str());
  };
  reg::RegPluginManager manager(station);
  manager.set_workpath(context.home());
  manager.load_folder(folder);
  if (manager.get_size() == 0 && refused == 0) {
    std::printf("no plug-ins in %s\n", folder.c_str());
    return;
  }
  for (int index = 0; index < manager.get_size(); ++index) {
    reg::PluginInfo info;
    try {
      manager.get_plugin_info(*manager.get_item(index), info);
    } catch (const std::exception& e) {
      std::printf("%d  %s: information query failed: %s\n", index,
                  manager.item(index)->path.c_str(), e.what());
      ++refused;
      continue;
    } catch (...) {
      std::printf("%d  %s: information query failed\n", index, manager.item(index)->path.c_str());
      ++refused;
      continue;
    }
    std::printf("%d  %s\n   title: %s\n   caption: %s\n   flags:%s\n   file: %s\n", index,
                info.name.c_str(), info.title.c_str(), info.caption.c_str(),
                flag_names(info.flags).c_str(), manager.item(index)->path.c_str());
  }
  if (refused > 0) throw CLI::RuntimeError(kExitRefused);
}

void add_plugins_command(CLI::App& app, rigstation::CommandContext& context) {
  CLI::App* plugins = app.add_subcommand(
      "plugins", "The station's plug-ins in <home>/plugins. Exit code 1: a library was refused.");
  plugins->require_subcommand(1);
  CLI::App* list = plugins->add_subcommand("list", "Load every plug-in and print its information");
  list->callback([&context] { list_plugins(context); });
}

}  // namespace

RIGSTATION_COMMAND("plugins", add_plugins_command);
