#include "core/default_dicts_provider.h"

namespace reg {

void DefaultDictsProvider::get_dict_items(const std::string& dict_name,
                                          lib::StringContainer& items) {
  items.clear();
  if (dict_name == kDrillTypesDict) {
    items.add("Роторное", 0);
    items.add("Турбинное", 1);
    items.add("Роторно-турбинное", 2);
    items.add("Электробурение", 3);
    items.add("Аварийные работы", 4);
    items.add("Другое", 5);
  } else if (dict_name == kBottomHoleAssemblyDict) {
    // List order is the editors' order; the ids are stored in files and must not change.
    items.add("НЕТ", -1);
    items.add("Долото", 0);
    items.add("Двигатель", 1);
    items.add("УБТ", 2);
    items.add("ЛБТ", 3);
    items.add("Телесист.", 4);
    items.add("Свеча", 5);
    items.add("Переводник", 9);
    items.add("Одиночка", 6);
    items.add("Двухтрубка", 7);
    items.add("Трёхтрубка", 8);
    items.add("Центратор", 10);
    items.add("Калибратор", 11);
  }
}

std::string DefaultDictsProvider::get_item(const lib::StringContainer& items, int id) {
  int i = items.index_of_tag(id);
  return i < 0 ? std::string() : items[static_cast<std::size_t>(i)];
}

int DefaultDictsProvider::index_of(const lib::StringContainer& items, const std::string& text) {
  int i = items.index_of(text);
  return i < 0 ? -1 : static_cast<int>(items.tag(static_cast<std::size_t>(i)));
}

}  // namespace reg
