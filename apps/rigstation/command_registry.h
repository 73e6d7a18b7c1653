// Each tool of rigstation lives in its own file and adds its subcommands here through a
// static registration, so a new tool needs no edit of main.cpp.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace rigstation {

struct CommandContext {
  // What --home said, as parsed; empty when it was not given.
  std::string home_option;
  // The station home folder, with a trailing '/': --home, else $RIGCORE_HOME, else the
  // program's folder. Call it from a subcommand's callback, after parsing.
  std::string home() const;
};

using CommandAdder = void (*)(CLI::App& app, CommandContext& context);

// Adds a tool; returns true so it can initialise a static.
bool register_command(const char* name, CommandAdder adder);

// Calls every registered adder, in name order.
void add_registered_commands(CLI::App& app, CommandContext& context);

// Adds --home to the program and to every subcommand, nested ones too, so that each tool's
// help shows it. An empty folder name is refused: it would silently mean the program's
// folder.
void add_home_option(CLI::App& app, CommandContext& context);

}  // namespace rigstation

#define RIGSTATION_COMMAND(name, adder) \
  static const bool rigstation_command_##adder = ::rigstation::register_command(name, adder)
