// The alarm pass and its episodes. MinMaxLog checks every configured threshold against the
// parameters' averaged values once per data tick, keeps one current item per violated
// threshold while the violation lasts, hands finished episodes to whoever listens
// (on_alarm_logged: the station writes them to its alarm log file), raises the storage's
// per-parameter alarm flags, keeps the console relay mask in the variable "relay" and
// produces the texts and voice phrases of the current alarms.
//
// Thread safety: process, process_timeout, check_current, get_current_text and
// process_voice each hold the log's own lock for their whole run. The pass reads the
// thresholds, the storage and the registry: call it holding the system lock (the lock
// order is system lock first, then the log's lock). The listeners of the two signals run
// under the log's lock and must not call back into the log from another thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include <boost/signals2/signal.hpp>

#include "alarms/min_max_value.h"
#include "alarms/min_max_values.h"
#include "lib/date_time.h"
#include "lib/module_base.h"

namespace ds_tmp {
class DataStorage;
}
namespace reg {
class Values;
}

namespace alarms {

// The name of the variable that carries the console relay mask (bit k: relay k + 1).
inline constexpr const char* kRelayVariable = "relay";
// Count-down steps an episode keeps check_current true for (one step a second).
inline constexpr std::int32_t kAlarmCountdown = 15;
// Relays whose switching is written to the event log.
inline constexpr int kLoggedRelays = 4;
// Relays the mask can hold.
inline constexpr int kMaxRelayChannel = 32;

// Voice keys of an alarm phrase; the voice thread's word files are named after them.
inline constexpr const char* kVoiceAlarm = "alarm";
inline constexpr const char* kVoiceParam = "param";
inline constexpr const char* kVoiceIsLower = "is_lower";
inline constexpr const char* kVoiceIsHigher = "is_higher";
inline constexpr const char* kVoiceSilence = "silence";

// One alarm episode: the violated threshold (an owned copy of the same kind) and what the
// violation did since it started.
class MinMaxLogItem {
 public:
  // A new episode: started and last seen now, countdown 15, extreme and value `value`.
  MinMaxLogItem(const MinMaxValue& threshold, float value, lib::DateTime now,
                std::string param_name, std::string param_unit);

  // Records the latest value. A value beyond a limit in force makes the item active and
  // moves the extreme further out; a value inside the limits leaves `active` as it was.
  // Returns `active`.
  bool update_value(float value, lib::DateTime now);
  // Appends the item's phrase (alarm, param, <parameter>, is_lower/is_higher, silence)
  // once per episode, and only while the item is active.
  void get_voice(std::vector<std::string>& words);
  // "Параметр ''<name>'' = <value> <unit>" followed by the kind's tail.
  std::string get_text(const std::string& name, const std::string& unit) const;

  const MinMaxValue& threshold() const { return *threshold_; }
  lib::DateTime started() const { return started_; }
  lib::DateTime last_seen() const { return last_seen_; }
  void set_last_seen(lib::DateTime t) { last_seen_ = t; }
  float extreme() const { return extreme_; }
  float value() const { return value_; }
  const std::string& param_name() const { return param_name_; }
  const std::string& param_unit() const { return param_unit_; }
  bool active() const { return active_; }
  void set_active(bool active) { active_ = active; }
  std::int32_t countdown() const { return countdown_; }
  void set_countdown(std::int32_t countdown) { countdown_ = countdown; }
  bool voiced() const { return voiced_; }
  // Puts back what a saved episode had reached (the state file).
  void restore(lib::DateTime started, lib::DateTime last_seen, float extreme, float value,
               bool active, std::int32_t countdown, bool voiced);
  // Row numbers of the host's views; -1 when not shown.
  std::int32_t row = -1;
  std::int32_t log_row = -1;

 private:
  std::unique_ptr<MinMaxValue> threshold_;
  lib::DateTime started_;
  lib::DateTime last_seen_;
  float extreme_ = 0;
  std::string param_name_;
  std::string param_unit_;
  bool active_ = true;
  std::int32_t countdown_ = kAlarmCountdown;
  float value_ = 0;
  bool voiced_ = false;
};

// The current items, their lock and the two notifications.
class MinMaxLogBase {
 public:
  using Items = std::vector<std::unique_ptr<MinMaxLogItem>>;
  using ItemSignal = boost::signals2::signal<void(const MinMaxLogItem&)>;

  virtual ~MinMaxLogBase() = default;

  // Fired with each episode that ends (the item is deleted right after).
  ItemSignal on_alarm_logged;
  // Fired with each new current item.
  ItemSignal on_alarm_started;

  // One count-down step for every current item. -1 when there is none, else how many have
  // run out (an item that ran out stays at -1).
  int process_timeout();
  // True while some current item has not run out.
  bool check_current();
  // Resets the item's row numbers and fires on_alarm_logged.
  void add_item_to_log(MinMaxLogItem& item);
  // Deletes every current item without logging it.
  void clear();
  // The text of each current item (get_text with its own name and unit), in their order.
  std::vector<std::string> current_texts();

  // A copy of the current items' state is not offered: read them under lock().
  std::recursive_mutex& lock() { return mutex_; }
  const Items& current_items() const { return items_; }

 protected:
  std::recursive_mutex mutex_;
  Items items_;
};

// What the alarm pass reads and where it reports. The pointers must outlive the log.
struct MinMaxLogServices {
  const MinMaxValues* thresholds = nullptr;
  ds_tmp::DataStorage* storage = nullptr;
  // The variable "relay"; null: no relay mask is kept.
  reg::Values* values = nullptr;
  // The configuration's "use the console relays" option; empty: off.
  std::function<bool()> use_pult_relay;
  // The legacy event log the relay switching lines go to; empty: dropped.
  std::function<void(const std::string&)> event_log;
  // Problems with the station's own data (an unreadable relay variable, a relay number
  // the mask cannot hold); empty: dropped.
  std::function<void(const std::string&)> error_log;
  // The voice thread's alarm queue; empty: phrases are dropped.
  std::function<void(const std::vector<std::string>&)> voice_alarms;
};

// The current items are the log's saved state ("MinMaxLog" in the state file), so an alarm
// under way when the station stops is still current, not announced a second time, after a
// restart.
class MinMaxLog : public MinMaxLogBase, public lib::SerialModuleBase {
 public:
  static constexpr unsigned kStateVersion = 1;
  // `clock` gives the items their times; it must outlive the log.
  MinMaxLog(MinMaxLogServices services, lib::Clock& clock);

  // One alarm pass. True when some threshold fired or some current item was not refreshed.
  bool process();
  // Records a violation: refreshes every current item of that parameter and threshold
  // (same kind and limits), or starts a new item when none matched.
  virtual void add_or_update_curr_item(const std::string& name, const MinMaxValue& threshold,
                                       float value);
  // Appends "\n   " + the text of each current item to `text`; false when there is none.
  bool get_current_text(std::string& text);
  // Hands the phrase of each not yet voiced active item to the voice alarm queue.
  void process_voice();

  // The relay mask the last pass stored (bit k: relay k + 1).
  std::uint32_t relay_mask() const { return relay_mask_; }

 protected:
  // Per item: the threshold's INI line, the parameter's name and unit, started, last seen,
  // extreme, value, active, countdown, voiced (docs/alarm-log.md).
  void serial_fields(lib::serial_list& list, unsigned version) override;

 private:
  lib::DateTime now() const;
  // The table row of a threshold's parameter: the row found last time when it still bears
  // that identifier, else a search of the table (-1 when it lacks the parameter).
  int row_of(const std::string& name);
  // The previous mask from the variable; 0 (reported) when it is not a whole number.
  std::uint32_t read_relay_variable();
  void update_relays(std::uint32_t mask);

  MinMaxLogServices services_;
  lib::Clock& clock_;
  std::uint32_t relay_mask_ = 0;
  std::string last_relay_problem_;
  std::set<int> bad_channels_;
  // Name -> the row, the identifier it had and the table's revision when it last had it;
  // kept for the rows at cached_rows_.
  struct FoundRow {
    int row = -1;
    std::string identifier;
    std::uint64_t revision = 0;
  };
  std::unordered_map<std::string, FoundRow> row_cache_;
  const void* cached_rows_ = nullptr;
  std::size_t cached_size_ = 0;
  // The moment of the pass under way, so that every item it touches shares one time.
  std::optional<lib::DateTime> pass_now_;
};

}  // namespace alarms
