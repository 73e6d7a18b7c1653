// The dictionaries of the drill-string editor. It serves the element kinds itself and hands
// every other dictionary to a fallback provider (the station's general one by default), so
// the editor's other pick lists (bottom-hole assembly and so on) keep working.
#pragma once

#include <memory>

#include "lib/dicts_provider.h"

namespace instr {

// Element kinds: each name with its ElemType number as the id.
inline constexpr const char* kElemTypesDict = "@instr_elem_types_dict";

class InstrDictsProvider : public lib::DictsProvider {
 public:
  // `fallback` may be null: other dictionaries are then empty.
  explicit InstrDictsProvider(std::unique_ptr<lib::DictsProvider> fallback = nullptr);

  void get_dict_items(const std::string& dict_name, lib::StringContainer& items) override;
  std::string get_item(const lib::StringContainer& items, int id) override;
  int index_of(const lib::StringContainer& items, const std::string& text) override;
  // Typed texts stay allowed, as with the general provider: the editor's free-text columns
  // use the fallback dictionaries. A typed element kind that is not listed gets index_of -1.
  bool allow_manual_edit() override { return true; }

 private:
  std::unique_ptr<lib::DictsProvider> fallback_;
};

}  // namespace instr
