// rigstation: the program that runs a station on the rigcore library, and its tools.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>

#include "command_registry.h"

int main(int argc, char** argv) {
  CLI::App app{"rigstation — drilling-rig monitoring and mud-logging station"};
  app.set_version_flag("--version", std::string("rigstation ") + RIGCORE_VERSION);
  app.fallthrough();  // --home may follow a subcommand
  rigstation::CommandContext context;
  rigstation::add_registered_commands(app, context);
  // Every tool takes --home, and each tool's help says so.
  rigstation::add_home_option(app, context);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }
  if (app.get_subcommands().empty()) {
    std::printf("rigstation %s\nhome folder: %s\n", RIGCORE_VERSION, context.home().c_str());
  }
  return 0;
}
