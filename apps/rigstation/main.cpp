// rigstation: the program that runs a station on the rigcore library.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>

#include "core/home_folder.h"

int main(int argc, char** argv) {
  CLI::App app{"rigstation — drilling-rig monitoring and mud-logging station"};
  app.set_version_flag("--version", std::string("rigstation ") + RIGCORE_VERSION);
  std::string home;
  app.add_option("--home", home,
                 "Station home folder (default: $RIGCORE_HOME, else the program's folder)");
  CLI11_PARSE(app, argc, argv);

  if (home.empty()) home = reg::resolve_home_folder();
  std::printf("rigstation %s\nhome folder: %s\n", RIGCORE_VERSION,
              reg::with_trailing_slash(home).c_str());
  return 0;
}
