#include "command_registry.h"

#include <map>

#include "lib/home_folder.h"

namespace rigstation {
namespace {
std::map<std::string, CommandAdder>& registry() {
  static std::map<std::string, CommandAdder> commands;
  return commands;
}
}  // namespace

std::string CommandContext::home() const {
  return home_option.empty() ? lib::resolve_home_folder() : lib::with_trailing_slash(home_option);
}

bool register_command(const char* name, CommandAdder adder) {
  registry()[name] = adder;
  return true;
}

void add_registered_commands(CLI::App& app, CommandContext& context) {
  for (const auto& [name, adder] : registry()) adder(app, context);
}

void add_home_option(CLI::App& app, CommandContext& context) {
  const CLI::Validator not_empty(
      [](std::string& value) {
        return value.empty() ? std::string(
                                   "the station home folder must not be empty; give a "
                                   "folder or leave --home out")
                             : std::string();
      },
      "FOLDER");
  app.add_option("--home", context.home_option,
                 "Station home folder (default: $RIGCORE_HOME, else the program's folder)")
      ->check(not_empty);
  for (CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; }))
    add_home_option(*sub, context);
}

}  // namespace rigstation
