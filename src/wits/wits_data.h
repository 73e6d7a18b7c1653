// Received WITS records: one record's items, a server's records, and the reading handed to
// the parameter table (all servers' last complete records).
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace wits {

struct WITSRecord {
  // Set by the record's end line; cleared when a new item of the record arrives and when
  // the record is handed out.
  bool ready = false;
  // Item number -> value text as sent.
  std::map<int, std::string> items;

  bool operator==(const WITSRecord&) const = default;
};

// Record number -> record.
using WITSRecords = std::map<int, WITSRecord>;

// What the receiver hands out: server name -> that server's records. Not thread-safe; it
// belongs to the thread that reads the receiver.
class WITSCommIncomData {
 public:
  std::map<std::string, WITSRecords>& servers() { return servers_; }
  const std::map<std::string, WITSRecords>& servers() const { return servers_; }

  // The value of item `code` ("RRII": record in characters 1-2, item in 3-4) of `server`,
  // or kNotAvailable when the code is not two decimal numbers or the server has sent
  // nothing. An empty server name takes the first server, in name order, that has the item.
  // A known server without the record or item gets it added empty, which reads as 0 like
  // any value text that is not a number.
  double get_value(std::string_view server, std::string_view code);

  // Parses "RRII"; false when either half is not a decimal number.
  static bool parse_code(std::string_view code, int& record, int& item);

 private:
  std::map<std::string, WITSRecords> servers_;
};

}  // namespace wits
