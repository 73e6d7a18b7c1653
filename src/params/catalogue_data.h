// The contents of the parameter catalogue as constant tables. AllParams builds itself from
// these; nothing else should need them.
#pragma once

#include <cstdint>
#include <span>

namespace params::catalogue_data {

// A built-in entry, in the column order of the table.
struct BuiltinRow {
  const char* full_name;
  const char* short_name;
  const char* unit;
  const char* identifier;
  std::int32_t channel;
  std::int32_t channel_type;
  float range;
  float zero;
  float scale_min;
  float scale_max;
  std::uint8_t attribute;
  std::int32_t averaging;
  std::int32_t group;
};

// An entry registered by name, in the argument order of that registration.
struct NamedRow {
  const char* full_name;
  const char* short_name;
  const char* unit;
  const char* identifier;
  std::int32_t channel;
  std::int32_t averaging;
  std::int32_t group;
  float range;
  float zero;
  float scale_min;
  float scale_max;
  std::uint8_t attribute;
};

// An entry registered by mnemonic, in the argument order of that registration.
struct MnemonicRow {
  const char* mnemonic;
  std::int32_t channel;
  std::int32_t averaging;
  std::int32_t group;
  float range;
  float zero;
  float scale_min;
  float scale_max;
  std::uint8_t attribute;
  const char* identifier;
  const char* short_name;
  const char* unit;
  const char* full_name;
};

// The built-in entries, in catalogue order.
std::span<const BuiltinRow> builtin_rows();
// Registered after the placeholders, in this order: the cementing entries, the mnemonic
// entries, then the mud-balance, pressure and load entries.
std::span<const NamedRow> cementing_rows();
std::span<const MnemonicRow> mnemonic_rows();
std::span<const NamedRow> balance_rows();

}  // namespace params::catalogue_data
