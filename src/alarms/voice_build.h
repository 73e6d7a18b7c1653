// Making the word files the voice speaks from: each word is written as a text file
// "<folder><key>.txt" and turned into "<folder><key>.wav" by the speech synthesiser
// (espeak-ng, Russian voice), so a station speaks without recorded files.
//
// The synthesiser runs through the ProcessRunner seam. A WAV it makes is written beside
// its final name and renamed only once it decodes as sound, so a failed or killed run never
// leaves a half word that would play as noise.
#pragma once

#include <string>
#include <vector>

#include "lib/file_system.h"
#include "lib/process_runner.h"

namespace alarms {

// A word key and the text it is spoken from. A text in "<speak>...</speak>" is SSML (the
// pause of "silence").
struct VoiceWord {
  std::string key;
  std::string text;
};

inline constexpr const char* kSynthesizer = "espeak-ng";
inline constexpr const char* kSynthesizerVoice = "ru";

// The words of the alarm phrase ("alarm", "param", "is_lower", "is_higher", "silence") with
// their Russian texts.
std::vector<VoiceWord> alarm_phrase_words();

// The spoken warnings: the inlet pressure switched on or off, the bit set on the bottom.
inline constexpr const char* kVoicePressureOn = "warn_pressure_on";
inline constexpr const char* kVoicePressureOff = "warn_pressure_off";
inline constexpr const char* kVoiceOnBottom = "warn_on_bottom";
std::vector<VoiceWord> warning_words();

struct VoiceBuildReport {
  int texts = 0;  // text files written
  int made = 0;   // word files made now
  int kept = 0;   // word files already there and left alone
  // One sentence per word that has no word file after the build.
  std::vector<std::string> failures;
  // The synthesiser could not be started: nothing was made.
  bool synthesizer_missing = false;
  bool ok() const { return failures.empty(); }
};

// Writes the text files of `words` into `folder` (made when missing) and makes every word
// file that is missing, or every one with `force`. A key used twice is taken once (the
// first text); a key that cannot name a file is a failure.
VoiceBuildReport build_voice_files(const std::vector<VoiceWord>& words, const std::string& folder,
                                   lib::FileSystem& fs, lib::ProcessRunner& runner, bool force);

}  // namespace alarms
