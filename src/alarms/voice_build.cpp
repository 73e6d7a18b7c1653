#include "alarms/voice_build.h"

#include <unistd.h>

#include <cerrno>
#include <set>

#include "alarms/min_max_log.h"
#include "lib/alsa_audio_output.h"
#include "lib/home_folder.h"

namespace alarms {
namespace {

bool usable_key(const std::string& key) {
  return !key.empty() && key != "." && key != ".." && key.find('/') == std::string::npos &&
         key.find('\0') == std::string::npos;
}

std::string first_line(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  const std::size_t last = text.rfind('\n');
  return last == std::string::npos ? text : text.substr(last + 1);
}

}  // namespace

std::vector<VoiceWord> alarm_phrase_words() {
  return {
      {kVoiceAlarm, "Внимание! Тревога."},
      {kVoiceParam, "Параметр"},
      {kVoiceIsLower, "ниже допустимого"},
      {kVoiceIsHigher, "выше допустимого"},
      {kVoiceSilence, "<speak><break time=\"700ms\"/></speak>"},
  };
}

std::vector<VoiceWord> warning_words() {
  return {
      {kVoicePressureOn, "Включение давления"},
      {kVoicePressureOff, "Отключение давления"},
      {kVoiceOnBottom, "Постановка на забой"},
  };
}

VoiceBuildReport build_voice_files(const std::vector<VoiceWord>& words, const std::string& folder,
                                   lib::FileSystem& fs, lib::ProcessRunner& runner, bool force) {
  VoiceBuildReport report;
  const std::string dir = lib::with_trailing_slash(folder);
  if (!lib::make_dirs(fs, dir)) {
    report.failures.push_back("the folder '" + dir + "' cannot be made (" + lib::errno_text(errno) +
                              "); no word file was made");
    return report;
  }
  std::set<std::string> seen;
  for (const VoiceWord& word : words) {
    if (!seen.insert(word.key).second) continue;
    if (!usable_key(word.key)) {
      report.failures.push_back("'" + word.key + "' cannot name a word file; it is left out");
      continue;
    }
    const std::string txt = dir + word.key + ".txt";
    const std::string wav = dir + word.key + ".wav";
    try {
      lib::write_file_atomically(txt, word.text + "\n", fs);
      ++report.texts;
    } catch (const std::exception& e) {
      report.failures.push_back("'" + txt + "' cannot be written (" + e.what() +
                                "); its word file is not made");
      continue;
    }
    if (!force && lib::exists(fs, wav)) {
      ++report.kept;
      continue;
    }
    if (report.synthesizer_missing) {
      report.failures.push_back("'" + wav + "' is not made: " + kSynthesizer + " is missing");
      continue;
    }
    const std::string tmp = lib::atomic_temporary_prefix(wav) + std::to_string(::getpid());
    std::vector<std::string> argv = {kSynthesizer, "-v", kSynthesizerVoice};
    if (word.text.starts_with("<speak>")) argv.push_back("-m");
    argv.insert(argv.end(), {"-f", txt, "-w", tmp});
    const lib::ProcessResult run = runner.run(argv);
    if (!run.started) {
      report.synthesizer_missing = true;
      report.failures.push_back(std::string(kSynthesizer) + " cannot be started (" + run.error +
                                "; Debian package " + kSynthesizer +
                                ", installed by scripts/setup.sh); '" + wav + "' is not made");
      continue;
    }
    std::string why;
    if (!run.ok()) {
      why = run.error.empty() ? "exit code " + std::to_string(run.exit_code) : run.error;
      if (const std::string out = first_line(run.output); !out.empty()) why += ": " + out;
    } else if (const auto bytes = lib::read_whole_file(tmp, fs, lib::kMaxSoundFileBytes); !bytes) {
      why = "it wrote no file";
    } else if (!lib::decode_sound(*bytes, &why)) {
      why = "what it wrote is no sound (" + why + ")";
    }
    if (why.empty() && fs.rename(tmp, wav) != 0) {
      why = "the file cannot be renamed to its name (" + lib::errno_text(errno) + ")";
    }
    if (!why.empty()) {
      fs.unlink(tmp);
      report.failures.push_back(std::string(kSynthesizer) + " did not make '" + wav + "' from '" +
                                txt + "': " + why);
      continue;
    }
    ++report.made;
  }
  return report;
}

}  // namespace alarms
