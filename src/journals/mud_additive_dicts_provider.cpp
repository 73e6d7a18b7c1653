#include "journals/mud_additive_dicts_provider.h"

namespace journals {

void MudAdditiveDictsProvider::get_dict_items(const std::string& /*dict_name*/,
                                              lib::StringContainer& items) {
  items.clear();
}

std::string MudAdditiveDictsProvider::get_item(const lib::StringContainer& items, int id) {
  const int i = items.index_of_tag(id);
  return i < 0 ? std::string() : items[static_cast<std::size_t>(i)];
}

int MudAdditiveDictsProvider::index_of(const lib::StringContainer& items, const std::string& text) {
  const int i = items.index_of(text);
  return i < 0 ? -1 : static_cast<int>(items.tag(static_cast<std::size_t>(i)));
}

}  // namespace journals
