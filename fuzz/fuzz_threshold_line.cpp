// Feeds arbitrary bytes to the alarm threshold readers. The first byte chooses the line
// layout (bit 0: current or legacy), the kind of threshold that reads the line (bits 1-2)
// and whether the list reader takes the rest as a whole settings file or as the one line of
// a list (bit 3). One reading per input keeps each run short; the fuzzer tries every choice.
//
// Besides not crashing, every threshold must write a line that reads back to the same
// threshold, and a list must survive a save and reload unchanged.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "alarms/min_max_values.h"

namespace {

void require(bool ok) {
  if (!ok) std::abort();
}

bool quotes_only(const std::string& text) {
  return !text.empty() && text.find_first_not_of('"') == std::string::npos;
}

void exercise(alarms::MinMaxValue& t, int version, std::string_view line) {
  t.read_from_ini_line(version, line);
  const std::string written = t.get_ini_line();
  auto again = alarms::MinMaxValues::create(t.get_kind());
  again->read_from_ini_line(alarms::kCurrentLineVersion, written);
  require(again->get_ini_line() == written);
  require(again->get_param() == t.get_param());
  require(again->has_min() == t.has_min() && again->has_max() == t.has_max());
  for (float v : {-1e9f, 0.0f, 1.0f, 1e9f, NAN}) {
    for (int op : {-1, 0, 2, 31}) (void)t.check(v, 1500.0f, op);
  }
  (void)t.get_data_string();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const int version = (data[0] & 1) != 0 ? 0 : alarms::kCurrentLineVersion;
  static constexpr int kKinds[] = {alarms::kKindSound, alarms::kKindRelay, alarms::kKindSms,
                                   alarms::kKindDepthInterval};
  const int kind = kKinds[(data[0] >> 1) & 3];
  const bool whole_file = (data[0] & 8) != 0;
  const std::string_view line(reinterpret_cast<const char*>(data) + 1, size - 1);

  auto threshold = alarms::MinMaxValues::create(kind);
  exercise(*threshold, version, line);

  // The same bytes as a settings file, or as the one line of a list.
  const std::string text =
      whole_file ? std::string(line)
                 : "[MinMaxValues]\nsize=3\nversion=" + std::to_string(version == 0 ? 0 : 1) +
                       "\nitem0=" + std::string(line) + "\nitem2=" + std::string(line) + "\n";
  lib::IniFile ini;
  ini.load_text(text);
  alarms::MinMaxValues list;
  list.set_defaults();
  (void)list.load(ini);

  lib::IniFile saved;
  list.save(saved);
  lib::IniFile reread;
  reread.load_text(saved.to_text());
  alarms::MinMaxValues back;
  const auto problems = back.load(reread);
  // A saved list reloads without a word, except the note that asks the operator to check
  // a name or phone list made only of quotes (what an earlier build's empty text reads as).
  std::size_t quote_only = 0;
  for (const auto& t : list.items()) {
    const auto* sms = dynamic_cast<const alarms::MinMaxSMSValue*>(t.get());
    quote_only += quotes_only(t->get_param()) ? 1 : 0;
    quote_only += sms != nullptr && quotes_only(sms->get_phones()) ? 1 : 0;
  }
  require(problems.size() == quote_only);
  require(back.size() == list.size());
  for (std::size_t i = 0; i < list.size(); ++i) {
    require(back[i].get_ini_line() == list[i].get_ini_line());
  }
  return 0;
}
