// rigstation voice: the word files the station speaks from, "<home>voice/ru/<word>.wav".
//   check  lists the word files the alarms need (the phrase words and the parameter of every
//          configured threshold) that are missing. Exit code 1 while any is missing.
//   build  writes the text of every word (the phrase words, the warnings, the catalogue's
//          parameters, the operations, the thresholds' parameters) and makes the missing word files
//          from them with espeak-ng. Exit code 1 when some word file could not be made.
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "alarms/min_max_log.h"
#include "alarms/voice_build.h"
#include "alarms/voice_thread.h"
#include "calc/operations.h"
#include "command_registry.h"
#include "core/config.h"
#include "lib/audio_output.h"
#include "lib/date_time.h"
#include "lib/file_system.h"
#include "lib/process_runner.h"
#include "params/all_params.h"
#include "params/param.h"

namespace {

constexpr int kExitMissing = 1;
constexpr const char* kVoiceFolder = "voice/ru/";

// The identifiers of the configured thresholds' parameters, in list order, each once.
std::vector<std::string> threshold_params(const std::string& home, const char* command) {
  reg::Config config;
  config.set_error_sink(
      [command](const std::string& m) { std::fprintf(stderr, "%s: %s\n", command, m.c_str()); });
  for (const lib::OptionIssue& i :
       config.load_from_file(home + reg::kConfigFileName, lib::posix_file_system())) {
    std::fprintf(stderr, "%s: %s: [%s] %s: %s\n", command, (home + reg::kConfigFileName).c_str(),
                 i.section.c_str(), i.key.c_str(), i.reason.c_str());
  }
  std::vector<std::string> names;
  std::set<std::string> seen;
  for (const auto& t : config.min_max_values().items()) {
    if (!t->get_param().empty() && seen.insert(t->get_param()).second)
      names.push_back(t->get_param());
  }
  return names;
}

void check(const rigstation::CommandContext& context) {
  const std::string home = context.home();
  std::vector<std::string> words = {alarms::kVoiceAlarm, alarms::kVoiceParam, alarms::kVoiceIsLower,
                                    alarms::kVoiceIsHigher, alarms::kVoiceSilence};
  std::set<std::string> seen(words.begin(), words.end());
  for (const auto& p : threshold_params(home, "voice check"))
    if (seen.insert(p).second) words.push_back(p);
  lib::SilentAudioOutput silent;
  alarms::VoiceThread voice(silent, lib::system_clock(), lib::posix_file_system());
  voice.set_path(home + kVoiceFolder);
  const std::vector<std::string> missing = voice.missing_files(words);
  for (const auto& f : missing) std::printf("missing %s\n", f.c_str());
  std::printf("%zu of %zu word files missing in '%s%s'\n", missing.size(), words.size(),
              home.c_str(), kVoiceFolder);
  if (!missing.empty()) {
    std::printf("'rigstation voice build' makes them\n");
    throw CLI::RuntimeError(kExitMissing);
  }
}

void build(const rigstation::CommandContext& context, bool force) {
  const std::string home = context.home();
  std::vector<alarms::VoiceWord> words = alarms::alarm_phrase_words();
  for (alarms::VoiceWord& w : alarms::warning_words()) words.push_back(std::move(w));
  const params::AllParams catalogue(home, lib::posix_file_system());
  std::vector<params::Param> rows;
  catalogue.get_all_params(rows);
  std::set<std::string> known;
  for (const auto& r : rows) {
    words.push_back({r.identifier, r.full_name});
    known.insert(r.identifier);
  }
  const calc::Operations& operations = calc::Operations::standard();
  std::vector<int> ids;
  operations.enum_values(ids);
  for (int id : ids) {
    const std::string key = operations.get_key(id);
    if (!key.empty()) words.push_back({key, calc::operation_key_text(key)});
  }
  // A threshold on a parameter the catalogue lacks is spoken as its identifier reads.
  for (std::string p : threshold_params(home, "voice build")) {
    if (known.count(p) != 0) continue;
    std::string text = p;
    for (char& c : text)
      if (c == '_') c = ' ';
    words.push_back({p, text});
  }
  const std::string folder = home + kVoiceFolder;
  std::printf("making word files in '%s' with %s (%zu words)...\n", folder.c_str(),
              alarms::kSynthesizer, words.size());
  std::fflush(stdout);
  const alarms::VoiceBuildReport report = alarms::build_voice_files(
      words, folder, lib::posix_file_system(), lib::system_process_runner(), force);
  for (const auto& f : report.failures) std::fprintf(stderr, "voice build: %s\n", f.c_str());
  std::printf("%d text files written, %d word files made, %d kept, %zu not made\n", report.texts,
              report.made, report.kept, report.failures.size());
  if (!report.ok()) throw CLI::RuntimeError(kExitMissing);
}

void add_voice_command(CLI::App& app, rigstation::CommandContext& context) {
  CLI::App* voice = app.add_subcommand("voice", "The word files the station speaks from");
  voice->require_subcommand(1);
  CLI::App* cmd = voice->add_subcommand(
      "check",
      "List the missing word files of the alarm phrases and of the configured thresholds' "
      "parameters. Exit code 1: some are missing.");
  cmd->callback([&context] { check(context); });
  auto force = std::make_shared<bool>(false);
  CLI::App* make = voice->add_subcommand(
      "build",
      "Write the texts of the words the station speaks and make the missing word files from "
      "them with espeak-ng. Exit code 1: some could not be made.");
  make->add_flag("--force", *force, "Make every word file again, not only the missing ones");
  make->callback([&context, force] { build(context, *force); });
}

}  // namespace

RIGSTATION_COMMAND("voice", add_voice_command);
