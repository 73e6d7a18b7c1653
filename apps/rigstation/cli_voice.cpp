// rigstation voice check: lists the word files the station needs to speak its alarms (the
// phrase words and the parameter of every configured threshold) that are missing from
// "<home>voice/ru/". Exit code 0 when none is missing, 1 otherwise.
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "alarms/min_max_log.h"
#include "alarms/voice_thread.h"
#include "command_registry.h"
#include "core/config.h"
#include "lib/audio_output.h"
#include "lib/date_time.h"
#include "lib/file_system.h"

namespace {

constexpr int kExitMissing = 1;

void check(const rigstation::CommandContext& context) {
  const std::string home = context.home();
  reg::Config config;
  config.set_error_sink(
      [](const std::string& m) { std::fprintf(stderr, "voice: %s\n", m.c_str()); });
  for (const lib::OptionIssue& i :
       config.load_from_file(home + reg::kConfigFileName, lib::posix_file_system())) {
    std::fprintf(stderr, "voice: %s: [%s] %s: %s\n", (home + reg::kConfigFileName).c_str(),
                 i.section.c_str(), i.key.c_str(), i.reason.c_str());
  }
  std::vector<std::string> words = {alarms::kVoiceAlarm, alarms::kVoiceParam, alarms::kVoiceIsLower,
                                    alarms::kVoiceIsHigher, alarms::kVoiceSilence};
  std::set<std::string> seen(words.begin(), words.end());
  for (const auto& t : config.min_max_values().items()) {
    if (!t->get_param().empty() && seen.insert(t->get_param()).second)
      words.push_back(t->get_param());
  }
  lib::SilentAudioOutput silent;
  alarms::VoiceThread voice(silent, lib::system_clock(), lib::posix_file_system());
  voice.set_path(home + "voice/ru/");
  const std::vector<std::string> missing = voice.missing_files(words);
  for (const auto& f : missing) std::printf("missing %s\n", f.c_str());
  std::printf("%zu of %zu word files missing in '%svoice/ru/'\n", missing.size(), words.size(),
              home.c_str());
  if (!missing.empty()) throw CLI::RuntimeError(kExitMissing);
}

void add_voice_command(CLI::App& app, rigstation::CommandContext& context) {
  CLI::App* voice = app.add_subcommand("voice", "The word files the station speaks from");
  voice->require_subcommand(1);
  CLI::App* cmd = voice->add_subcommand(
      "check",
      "List the missing word files of the alarm phrases and of the configured thresholds' "
      "parameters. Exit code 1: some are missing.");
  cmd->callback([&context] { check(context); });
}

}  // namespace

RIGSTATION_COMMAND("voice", add_voice_command);
