// The voice: phrases put together from recorded word files ("<folder><word>.wav"), spoken
// one word after the other on a worker thread so that producers never wait for speech.
//
// Three queues of different priority: alarms (spoken first, every one in order),
// notifications and operation announcements (a new phrase replaces one of its kind not yet
// spoken, since only the latest state matters). A phrase not spoken within 10 s of being
// queued is dropped: stale speech misleads more than silence.
//
// Thread safety: every public function may be called from any thread. The queues and the
// playing flag are guarded by the voice lock; words are played outside it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "lib/audio_output.h"
#include "lib/date_time.h"
#include "lib/file_system.h"

namespace alarms {

inline constexpr std::uint32_t kPhraseTimeToLiveMs = 10000;
inline constexpr int kVoiceIdleMs = 100;

class VoiceThread {
 public:
  enum class Queue { kOperations, kAlarms, kNotifications };
  struct PlayItem {
    std::vector<std::string> files;
    std::uint32_t tick = 0;  // the clock's milliseconds when queued (wraps around)
    std::uint32_t time_to_live = kPhraseTimeToLiveMs;
  };

  // Nothing runs until start().
  VoiceThread(lib::AudioOutput& audio, lib::Clock& clock, lib::FileSystem& fs);
  // Stops the thread (the word being spoken is cut short) and waits for it.
  ~VoiceThread();
  VoiceThread(const VoiceThread&) = delete;
  VoiceThread& operator=(const VoiceThread&) = delete;

  // The folder of the word files, with a trailing '/'.
  void set_path(std::string folder);
  std::string path();

  // Each turns the words into word files and queues the phrase. With `check_files`, a
  // phrase with a missing word file is not queued at all (false). Notifications come as one
  // comma-separated text.
  bool process_alarms(const std::vector<std::string>& words, bool check_files);
  bool process_notification(const std::string& words, bool check_files);
  bool process_operations(const std::vector<std::string>& words, bool check_files);
  // Appends one phrase of word files to a queue, stamped now.
  void play(Queue queue, std::vector<std::string> files);

  // The word files of `words` that do not exist, in order.
  std::vector<std::string> missing_files(const std::vector<std::string>& words);

  // One turn of the thread: takes the first phrase still alive (alarms, then
  // notifications, then operations; dead ones are dropped) and speaks it. False when there
  // was none. The thread calls it in a loop; tests call it directly.
  bool run_once();
  void start();
  // Asks the thread to end and waits for it; idempotent.
  void terminate();
  // Stops the word being spoken; the queues stay.
  void stop_all();
  bool playing();
  std::size_t queued(Queue queue);

 private:
  std::vector<std::string> to_files(const std::vector<std::string>& words);
  bool queue_phrase(Queue queue, const std::vector<std::string>& words, bool check_files,
                    bool replace);
  std::deque<PlayItem>& queue_of(Queue queue);
  void execute();

  lib::AudioOutput& audio_;
  lib::Clock& clock_;
  lib::FileSystem& fs_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<PlayItem> operations_;
  std::deque<PlayItem> alarms_;
  std::deque<PlayItem> notifications_;
  bool playing_ = false;
  std::string folder_;
  std::atomic<bool> terminated_{false};
  std::thread thread_;
};

}  // namespace alarms
