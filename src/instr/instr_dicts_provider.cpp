#include "instr/instr_dicts_provider.h"

#include "instr/elem_type.h"

namespace instr {

InstrDictsProvider::InstrDictsProvider(std::unique_ptr<lib::DictsProvider> fallback)
    : fallback_(std::move(fallback)) {}

void InstrDictsProvider::get_dict_items(const std::string& dict_name, lib::StringContainer& items) {
  items.clear();
  if (dict_name == kElemTypesDict) {
    for (const auto& n : elem_type_names()) items.add(n.name, static_cast<std::int64_t>(n.type));
  } else if (fallback_) {
    fallback_->get_dict_items(dict_name, items);
  }
}

std::string InstrDictsProvider::get_item(const lib::StringContainer& items, int id) {
  int i = items.index_of_tag(id);
  return i < 0 ? std::string() : items[static_cast<std::size_t>(i)];
}

int InstrDictsProvider::index_of(const lib::StringContainer& items, const std::string& text) {
  int i = items.index_of(text);
  return i < 0 ? -1 : static_cast<int>(items.tag(static_cast<std::size_t>(i)));
}

}  // namespace instr
