// Names and units of WITS record items, read from a dictionary file
// (wits_dictionary_format.h). Data, not code: a site with its own records gives its own file.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wits {

struct DictionaryItem {
  std::string description;  // "Depth Bit (meas)"
  std::string mnemonic;     // "DBTM"
  std::string unit;         // metric; empty when the item has none
};

class WitsDictionary {
 public:
  // Parses the file's bytes; `file` names it in the problems. A file whose first line is not
  // the expected header is refused whole (one problem, no items); a bad line is skipped.
  static WitsDictionary parse(std::string_view bytes, const std::string& file);

  const DictionaryItem* find(int record, int item) const;
  std::size_t size() const { return items_.size(); }
  const std::vector<std::string>& problems() const { return problems_; }

 private:
  std::map<std::pair<int, int>, DictionaryItem> items_;
  std::vector<std::string> problems_;
};

}  // namespace wits
