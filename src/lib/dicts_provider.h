// Dictionaries that editors offer as pick lists: a named dictionary is a list of texts,
// each with an integer id attached (the StringContainer's tag).
#pragma once

#include <string>

#include "lib/string_container.h"

namespace lib {

class DictsProvider {
 public:
  virtual ~DictsProvider() = default;
  // Clears `items` and fills it with the dictionary `dict_name`; an unknown name leaves
  // it empty.
  virtual void get_dict_items(const std::string& dict_name, StringContainer& items) = 0;
  // The text whose id equals `id`, searched from the first entry; "" when none.
  virtual std::string get_item(const StringContainer& items, int id) = 0;
  // The id of the first entry equal to `text`; -1 when none.
  virtual int index_of(const StringContainer& items, const std::string& text) = 0;
  // Whether an editor may accept a text that is not in the dictionary.
  virtual bool allow_manual_edit() = 0;
};

}  // namespace lib
