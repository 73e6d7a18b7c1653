// The dictionaries the additives editor picks from. Their contents are the host's: the
// default provider offers none and lets the operator type any text; a host that keeps an
// additives catalogue installs its own provider with MudAdditives::set_dicts_provider.
#pragma once

#include "lib/dicts_provider.h"

namespace journals {

class MudAdditiveDictsProvider : public lib::DictsProvider {
 public:
  // Clears `items`; the default provider knows no dictionary.
  void get_dict_items(const std::string& dict_name, lib::StringContainer& items) override;
  // The text whose id equals `id`, searched from the first entry; "" when none.
  std::string get_item(const lib::StringContainer& items, int id) override;
  // The id of the first entry equal to `text`; -1 when none.
  int index_of(const lib::StringContainer& items, const std::string& text) override;
  bool allow_manual_edit() override { return true; }
};

}  // namespace journals
