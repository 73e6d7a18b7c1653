// Display groups of the catalogue: how the parameter lists of the station are sectioned.
#pragma once

#include <string_view>

namespace params {

enum ParamGroup : int {
  kGroupNone = 0,
  kGroupDrilling = 1,      // "ТИ": hook load, strokes, torque, block, depths
  kGroupMud = 2,           // "Раствор": mud pressure, tanks, density, flow
  kGroupSpeeds = 3,        // "Скорости"
  kGroupCalculated = 4,    // "Расчётные"
  kGroupGas = 5,           // "Газ"
  kGroupDifferential = 6,  // "Дифференциальные"
  kGroupExperimental = 7,  // "Экспериментальные"
  kGroupTelemetry = 8,     // "Телеметрия"
  kGroupCementing = 9,     // "СКЦ"
  kGroupAdditional = 10,   // "Дополнительные"
  kGroupIncoming = 11,     // "Входящие"
};

inline constexpr int kGroupCount = 12;
// The name of any number outside 0..11.
inline constexpr std::string_view kUnknownGroupName = "???????";

// The group's name as shown to the operator.
std::string_view group_name(int group);

}  // namespace params
