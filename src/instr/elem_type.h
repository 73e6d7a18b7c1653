// Kinds of drill-string elements. The numbers are stored in the state file and in tally
// files, so they never change meaning; new kinds get new numbers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace instr {

enum class ElemType : std::int32_t {
  kOther = 0,         // anything not listed below
  kSvecha = 1,        // a stand of drill pipe
  kSingle = 2,        // a single pipe run on its own
  kDouble = 3,        // two pipes made up in advance
  kTriple = 4,        // three pipes made up in advance
  kCollarSvecha = 5,  // a stand of drill collars
  kBit = 6,
  kMotor = 7,
  kSub = 8,        // crossover sub
  kTelemetry = 9,  // downhole telemetry tool
  kStabilizer = 10,
  kReamer = 11,
};

// Pieces of these kinds pass the rotary table as separate connections during a trip, so the
// stand counter counts them; bottom-hole tools do not.
bool have_to_be_counted(std::int32_t type);

struct ElemTypeName {
  ElemType type;
  const char* name;
};

// Every kind with its name, in the order editors list them.
const std::vector<ElemTypeName>& elem_type_names();

// The name of a kind; the decimal number for a kind this program does not know.
std::string elem_type_name(std::int32_t type);
// A kind from its name (letter case ignored) or from its decimal number; nullopt otherwise.
std::optional<std::int32_t> parse_elem_type(std::string_view text);

}  // namespace instr
