#include "instr/elem_type.h"

#include <charconv>

#include "lib/ident.h"
#include "lib/str_utils.h"

namespace instr {

bool have_to_be_counted(std::int32_t type) {
  return type >= static_cast<std::int32_t>(ElemType::kSvecha) &&
         type <= static_cast<std::int32_t>(ElemType::kCollarSvecha);
}

const std::vector<ElemTypeName>& elem_type_names() {
  static const std::vector<ElemTypeName> names = {
      {ElemType::kSvecha, "Свеча"},           {ElemType::kSingle, "Одиночка"},
      {ElemType::kDouble, "Двухтрубка"},      {ElemType::kTriple, "Трёхтрубка"},
      {ElemType::kCollarSvecha, "Свеча УБТ"}, {ElemType::kBit, "Долото"},
      {ElemType::kMotor, "Двигатель"},        {ElemType::kSub, "Переводник"},
      {ElemType::kTelemetry, "Телесистема"},  {ElemType::kStabilizer, "Центратор"},
      {ElemType::kReamer, "Калибратор"},      {ElemType::kOther, "Прочее"},
  };
  return names;
}

std::string elem_type_name(std::int32_t type) {
  for (const auto& n : elem_type_names()) {
    if (static_cast<std::int32_t>(n.type) == type) return n.name;
  }
  return std::to_string(type);
}

std::optional<std::int32_t> parse_elem_type(std::string_view text) {
  std::string_view t = lib::trim(text);
  for (const auto& n : elem_type_names()) {
    if (lib::ident_equal(t, n.name)) return static_cast<std::int32_t>(n.type);
  }
  std::int32_t value = 0;
  auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
  if (t.empty() || ec != std::errc() || end != t.data() + t.size()) return std::nullopt;
  return value;
}

}  // namespace instr
