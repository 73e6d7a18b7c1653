#include "alarms/sound.h"

#include <utility>

namespace alarms {
namespace {

struct SlotInfo {
  const char* key;  // nullptr: no option
  const char* caption;
  const char* file;  // relative to the station home
  bool loop;
};

// Index = slot. The captions of 2 and 3 are as the crews know them, although 2 ("short")
// loops and 3 ("long") plays once.
constexpr std::array<SlotInfo, kSoundSlots + 1> kSlots = {{
    {nullptr, nullptr, "", false},
    {"alarm_sound", "Сигнализация", "sounds/alarm.wav", true},
    {"notify_sound", "Короткое оповещение", "sounds/Свисток.wav", true},
    {"short_notify_sound", "Длительное оповещение", "sounds/Свисток.wav", false},
    {nullptr, nullptr, "sounds/настройка приёмника.wav", true},
    {"depth_label", "Оповещение о приходе метки", "sounds/BoingBoing.wav", false},
    {"message", "Сообщение", "sounds/message.wav", false},
}};

bool valid_slot(int type) {
  return type >= 1 && type <= kSoundSlots;
}

}  // namespace

Sound::Sound(std::string folder, lib::AudioOutput& audio, ErrorSink errors)
    : folder_(std::move(folder)), audio_(audio), errors_(std::move(errors)) {
  for (int i = 1; i <= kSoundSlots; ++i)
    files_[static_cast<std::size_t>(i)] = folder_ + kSlots[static_cast<std::size_t>(i)].file;
}

bool Sound::start(const std::string& path, bool loop) {
  const bool ok = audio_.play_async(path, loop);
  std::lock_guard guard(reported_mutex_);
  if (ok) {
    reported_.erase(path);
  } else if (!audio_.silent() && !audio_.reports_failures() && reported_.insert(path).second &&
             errors_) {
    errors_("Sound : the sound file '" + path +
            "' cannot be played (missing, damaged, or no sound device); the alarm is still "
            "shown on screen and switched to the relays");
  }
  return ok;
}

void Sound::play_sound(int type) {
  if (type == kSoundStop) {
    stop_sound();
    return;
  }
  if (!valid_slot(type)) return;
  std::lock_guard guard(mutex_);
  if (looping_ == kSoundAlarm) return;
  const bool loop = kSlots[static_cast<std::size_t>(type)].loop;
  start(files_[static_cast<std::size_t>(type)], loop);
  looping_ = loop ? type : 0;
}

void Sound::stop_sound() {
  std::lock_guard guard(mutex_);
  audio_.stop();
  looping_ = 0;
}

bool Sound::play_file(const std::string& path) {
  return start(path, false);
}

std::string Sound::get_sound_file(int type) {
  if (!valid_slot(type)) return {};
  std::lock_guard guard(mutex_);
  return files_[static_cast<std::size_t>(type)];
}

void Sound::set_sound_file(int type, std::string path) {
  if (!valid_slot(type)) return;
  std::lock_guard guard(mutex_);
  files_[static_cast<std::size_t>(type)] = std::move(path);
}

int Sound::looping() {
  std::lock_guard guard(mutex_);
  return looping_;
}

void Sound::get_options(lib::options_list& list) {
  list.sector(kSoundSection, "Звуки");
  for (int i = 1; i <= kSoundSlots; ++i) {
    const SlotInfo& slot = kSlots[static_cast<std::size_t>(i)];
    if (slot.key == nullptr) continue;
    list.add(slot.key, slot.caption, files_[static_cast<std::size_t>(i)], folder_ + slot.file);
  }
}

}  // namespace alarms
