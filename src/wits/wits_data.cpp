#include "wits/wits_data.h"

#include "lib/str_utils.h"
#include "wits/wits0_format.h"

namespace wits {

namespace {

// Up to two characters from `from`, all decimal digits and at least one of them. Signs are
// refused: record and item numbers on the wire are never negative.
bool parse_number(std::string_view code, std::size_t from, int& out) {
  if (from >= code.size()) return false;
  const std::string_view part = code.substr(from, kNumberDigits);
  int value = 0;
  for (char c : part) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  out = value;
  return true;
}

}  // namespace

bool WITSCommIncomData::parse_code(std::string_view code, int& record, int& item) {
  return parse_number(code, 0, record) && parse_number(code, kNumberDigits, item);
}

double WITSCommIncomData::get_value(std::string_view server, std::string_view code) {
  int record = 0;
  int item = 0;
  if (!parse_code(code, record, item)) return kNotAvailable;
  if (server.empty()) {
    // std::map keeps the names in order, so the first hit is the first by name.
    for (const auto& [name, records] : servers_) {
      const auto r = records.find(record);
      if (r == records.end()) continue;
      const auto i = r->second.items.find(item);
      if (i != r->second.items.end()) return lib::str_to_float(i->second);
    }
  }
  const auto s = servers_.find(std::string(server));
  if (s == servers_.end()) return kNotAvailable;
  return lib::str_to_float(s->second[record].items[item]);
}

}  // namespace wits
