// The dictionary that classifies troubles: complication types (grouped), results and
// reasons, each found by its id. The station starts with a default dictionary of the common
// complications; a host may set its own.
#pragma once

#include <string>
#include <vector>

namespace journals {

struct TroublesLogRecTypeItem {
  int id = 0;
  std::string name;
  std::string group;
  bool flag = false;
  bool operator==(const TroublesLogRecTypeItem&) const = default;
};

struct TroubleResultItem {
  int id = 0;
  std::string name;
  bool operator==(const TroubleResultItem&) const = default;
};

struct TroubleReasonItem {
  int id = 0;
  std::string name;
  bool operator==(const TroubleReasonItem&) const = default;
};

// The group of every type in the default dictionary.
inline constexpr const char* kDefaultTroublesGroup = "Осложнения";

struct TroublesDict {
  std::vector<TroublesLogRecTypeItem> types;
  std::vector<TroubleResultItem> results;
  std::vector<TroubleReasonItem> reasons;

  // Position of the item with this id, -1 when absent.
  int type_index_of_id(int id) const { return index_of_id(types, id); }
  int result_index_of_id(int id) const { return index_of_id(results, id); }
  int reason_index_of_id(int id) const { return index_of_id(reasons, id); }

  template <class Item>
  static int index_of_id(const std::vector<Item>& items, int id) {
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (items[i].id == id) return static_cast<int>(i);
    }
    return -1;
  }

  // The default dictionary: sixteen complication types under kDefaultTroublesGroup, three
  // results, no reasons.
  static TroublesDict default_dict();

  bool operator==(const TroublesDict&) const = default;
};

}  // namespace journals
