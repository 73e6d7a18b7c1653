#include "calc/work_mode.h"

#include <charconv>
#include <initializer_list>

#include "calc/operations.h"

namespace calc {
namespace {

using RuleList = std::array<std::int32_t, kRuleListSize>;

// A rule list from its entries, the unused slots marked empty.
constexpr RuleList list(std::initializer_list<std::int32_t> entries) {
  RuleList out{};
  out.fill(kRuleEmpty);
  std::size_t i = 0;
  for (std::int32_t e : entries) out[i++] = e;
  return out;
}
constexpr RuleList kAnyList = list({kRuleAny});

// The purposes of drilling a hole proper: the rig drills, trips and connects for them.
constexpr RuleList kDrillingPurposes = list({1, 2, 3, 4, 5, 20, 29, 46, 47, 48, 49, 50, 51, 52});

constexpr std::array<WorkModeRule, 10> kRules = {{
    {kDrillingPurposes, list({2, 8, 14, 15}), 1, 1},
    {kDrillingPurposes, list({4, 3, 6, 17, 18, 16, 13, 21, 22}), 2, 1},
    {list({6, 7, 11}), kAnyList, 2, 1},
    {list({8, 9, 13, 14, 21, 22}), kAnyList, 3, 1},
    {list({16, 23, 26, 41, 53}), kAnyList, 4, 1},
    {list({17, 24, 28, 31, 32, 33, 34, 35, 36}), kAnyList, 5, 0},
    {list({18, 25, 27, 38, 19}), kAnyList, 6, 0},
    {list({39}), kAnyList, 0, 1},
    {kAnyList, list({7}), 7, 0},
    {kAnyList, list({5}), 8, 0},
}};

std::string_view trim_blanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

const std::array<WorkModeRule, 10>& work_mode_rules() {
  return kRules;
}

bool rule_list_matches(const std::array<std::int32_t, kRuleListSize>& list, std::int32_t value) {
  for (std::int32_t entry : list) {
    if (entry == kRuleAny || (entry == value && entry != kRuleEmpty)) return true;
  }
  return false;
}

int purpose_code(std::string_view purpose) {
  if (purpose.empty() || purpose.back() != ')') return -1;
  purpose.remove_suffix(1);
  const std::size_t open = purpose.rfind('(');
  if (open == std::string_view::npos) return -1;
  std::string_view number = trim_blanks(purpose.substr(open + 1));
  if (!number.empty() && number.front() == '+') number.remove_prefix(1);
  int code = 0;
  const char* end = number.data() + number.size();
  const auto [ptr, ec] = std::from_chars(number.data(), end, code);
  if (number.empty() || ec != std::errc() || ptr != end) return -1;
  return code;
}

WorkType detect_workmode(const Operations& dictionary, OperType oper, const WorkModeInputs& in,
                         int& suboper, ProdTimeType& prodtime) {
  prodtime = kProductiveTime;
  WorkType result = 0;
  const int first = dictionary.first_suboperation(oper);
  if (first >= 0) suboper = first;
  if (oper == kDrillingOperation) {
    suboper = in.rotary_speed > 0 ? kRotaryDrilling : kTurbineDrilling;
  }
  const int code = purpose_code(in.purpose);
  for (const WorkModeRule& rule : kRules) {
    if (rule_list_matches(rule.purposes, code) && rule_list_matches(rule.operations, oper)) {
      result = rule.work_type;
      prodtime = rule.prod_time;
    }
  }
  return result;
}

}  // namespace calc
