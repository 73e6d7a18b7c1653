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
  return home_option.empty() ? reg::resolve_home_folder() : reg::with_trailing_slash(home_option);
}

bool register_command(const char* name, CommandAdder adder) {
  registry()[name] = adder;
  return true;
}

void add_registered_commands(CLI::App& app, CommandContext& context) {
  for (const auto& [name, adder] : registry()) adder(app, context);
}

}  // namespace rigstation
