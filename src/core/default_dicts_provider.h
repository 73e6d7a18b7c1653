// The station's built-in dictionaries: drilling types and bottom-hole assembly elements.
#pragma once

#include "lib/dicts_provider.h"

namespace reg {

inline constexpr const char* kDrillTypesDict = "@drill_types_dict";
inline constexpr const char* kBottomHoleAssemblyDict = "@bottom_hole_assembly_dict";

class DefaultDictsProvider : public lib::DictsProvider {
 public:
  void get_dict_items(const std::string& dict_name, lib::StringContainer& items) override;
  std::string get_item(const lib::StringContainer& items, int id) override;
  int index_of(const lib::StringContainer& items, const std::string& text) override;
  bool allow_manual_edit() override { return true; }
};

}  // namespace reg
