// How an operation becomes a sub-operation, a work type of the daily report and a
// production-time type.
//
// The work type and production time depend on the operation and on the purpose of the bit
// run (the code in brackets at the end of the run's purpose text, e.g. "Бурение (1)"): a
// fixed table of ten rules, each a list of purpose codes and a list of operations, is
// walked in order and every rule that matches overrides what the earlier ones gave.
// Pure functions over their arguments; safe from any thread.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "calc/current_operation.h"

namespace calc {

class Operations;

// One rule. Lists hold at most 15 entries; an unused slot holds kRuleEmpty and a list that
// matches anything holds kRuleAny in its first slot.
inline constexpr std::int32_t kRuleEmpty = -1;
inline constexpr std::int32_t kRuleAny = -2;
inline constexpr std::size_t kRuleListSize = 15;

struct WorkModeRule {
  std::array<std::int32_t, kRuleListSize> purposes;
  std::array<std::int32_t, kRuleListSize> operations;
  WorkType work_type;
  ProdTimeType prod_time;
};

// The ten rules, in the order they are walked.
const std::array<WorkModeRule, 10>& work_mode_rules();

// True when `list` holds `value` or is the wildcard list.
bool rule_list_matches(const std::array<std::int32_t, kRuleListSize>& list, std::int32_t value);

// The purpose code at the end of a purpose text: the integer between the last "(" and a
// closing ")" that ends the text (blanks around the number allowed). -1 when the text does
// not end with ")", has no "(" before it, or what lies between is not an integer.
int purpose_code(std::string_view purpose);

// The operation of sub-operation 7 and 8, chosen by whether the rotary table turns.
inline constexpr OperType kDrillingOperation = 2;
inline constexpr int kRotaryDrilling = 7;
inline constexpr int kTurbineDrilling = 8;

struct WorkModeInputs {
  // The averaged rotary speed; above 0 means the rotary table turns.
  double rotary_speed = 0;
  // The bit run's purpose text.
  std::string_view purpose;
};

// Sets `suboper` to the first sub-operation of `oper` when it has any (for drilling: rotary
// when the table turns, else turbine; otherwise `suboper` is left as it is), sets `prodtime`
// and returns the work type that the rules give (0 and productive time when none matches).
// Any `oper` is accepted; one the dictionary does not know has no sub-operations.
WorkType detect_workmode(const Operations& dictionary, OperType oper, const WorkModeInputs& in,
                         int& suboper, ProdTimeType& prodtime);

}  // namespace calc
