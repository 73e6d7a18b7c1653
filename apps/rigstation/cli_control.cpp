// rigstation control COMMAND... [--home DIR] [--wait SECONDS]: hands an operator's command to
// the station running on the home (through its control folder) and prints its answer.
//   rigstation control bottom 2500.4
//   rigstation control race 12
//   rigstation control operation auto
// Exit code 0 when the station answered "ok", 1 when it refused, 3 when no station answered
// within the wait (the command is then taken back, so a later start does not act on it).
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "command_registry.h"
#include "lib/file_system.h"
#include "station/control_folder.h"

namespace {

constexpr int kExitRefused = 1;
constexpr int kExitNoAnswer = 3;

struct ControlOptions {
  std::vector<std::string> words;
  double wait_seconds = 5;
};

void control(const rigstation::CommandContext& context, const ControlOptions& options) {
  std::string line;
  for (const auto& w : options.words) line += (line.empty() ? "" : " ") + w;
  lib::FileSystem& fs = lib::posix_file_system();
  station::ControlFolder folder(context.home(), fs);
  std::string error;
  if (!folder.prepare(error)) {
    std::fprintf(stderr, "rigstation control: %s\n", error.c_str());
    throw CLI::RuntimeError(kExitNoAnswer);
  }
  std::string name;
  try {
    name = folder.submit(line);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "rigstation control: the command cannot be handed over: %s\n", e.what());
    throw CLI::RuntimeError(kExitNoAnswer);
  }
  const auto deadline =
      std::chrono::steady_clock::now() +
      std::chrono::milliseconds(static_cast<long long>(options.wait_seconds * 1000));
  while (std::chrono::steady_clock::now() < deadline) {
    if (const auto answer = folder.take_answer(name)) {
      std::printf("%s\n", answer->c_str());
      if (answer->rfind("ok", 0) != 0) throw CLI::RuntimeError(kExitRefused);
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  // Taken back: a station started later must not act on a stale correction.
  fs.unlink(folder.folder() + name + ".cmd");
  if (const auto answer = folder.take_answer(name)) {  // answered just now after all
    std::printf("%s\n", answer->c_str());
    if (answer->rfind("ok", 0) != 0) throw CLI::RuntimeError(kExitRefused);
    return;
  }
  std::fprintf(stderr,
               "rigstation control: no station answered on %s within %.0f s; is it running? "
               "The command was taken back.\n",
               context.home().c_str(), options.wait_seconds);
  throw CLI::RuntimeError(kExitNoAnswer);
}

void add_control(CLI::App& app, rigstation::CommandContext& context) {
  auto options = std::make_shared<ControlOptions>();
  CLI::App* cmd = app.add_subcommand(
      "control",
      "Give the running station an operator's command: bottom M, bit M, block M, race N "
      "[continue], race stop, operation CODE|auto, stands N [P]. Exit 1: refused, 3: no answer");
  cmd->add_option("command", options->words, "The command and its arguments")->required();
  cmd->add_option("--wait", options->wait_seconds, "Seconds to wait for the answer (default 5)")
      ->check(CLI::Range(0.1, 600.0));
  cmd->callback([&context, options] { control(context, *options); });
}

}  // namespace

RIGSTATION_COMMAND("control", add_control);
