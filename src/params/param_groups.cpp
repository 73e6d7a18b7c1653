#include "params/param_groups.h"

namespace params {
namespace {

constexpr std::string_view kGroupNames[kGroupCount] = {
    "",           "ТИ",  "Раствор",          "Скорости",
    "Расчётные",  "Газ", "Дифференциальные", "Экспериментальные",
    "Телеметрия", "СКЦ", "Дополнительные",   "Входящие",
};

}  // namespace

std::string_view group_name(int group) {
  if (group < 0 || group >= kGroupCount) return kUnknownGroupName;
  return kGroupNames[group];
}

}  // namespace params
