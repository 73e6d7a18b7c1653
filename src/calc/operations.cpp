#include "calc/operations.h"

#include <array>

namespace calc {
namespace {

struct OperationRow {
  int id;
  const char* key;
  std::int32_t mode;
  std::uint32_t color;
  std::uint32_t fill_color;
  std::int32_t wits_code;
};

// Ids run from 0 without gaps, so a row's place is its id.
constexpr std::array<OperationRow, 23> kOperationRows = {{
    {0, "oper_not_def", 4, kSystemWindowColour, 0xFFFFFF, 0},
    {1, "oper_spo", 3, 0xCFFFFF, 0x00FFFF, 8},
    {2, "oper_drill", 0, 0xCFCFFF, 0xD0D0FF, 2},
    {3, "oper_prorab", 0, 0xFFCFCF, 0xFFD0D0, 5},
    {4, "oper_prom", 0, 0xFFBFBF, 0xFFFF00, 7},
    {5, "oper_pros", 1, 0xFFBFFF, 0xFF00FF, 0},
    {6, "oper_gis", 1, 0xCFFFCF, 0x00FF00, 14},
    {7, "oper_repair", 1, 0xFFBFFF, 0xFF00FF, 11},
    {8, "oper_add_pipe", 0, 0xCFFFFF, 0x00FFFF, 3},
    {9, "oper_reaming", 3, 0xFFCFCF, 0xFFD0D0, 4},
    {10, "oper_stab", 3, 0xCFFFCF, 0x00FF00, 16},
    {11, "oper_cement_cong", 1, 0xCFFFCF, 0x00FF00, 19},
    {12, "oper_case_run", 3, 0xCFFFCF, 0x00FF00, 15},
    {13, "oper_pzr", 1, 0xCFFFCF, 0x00FF00, 1},
    {14, "oper_tripping_in", 0, 0xCFFFFF, 0x00FFFF, 8},
    {15, "oper_tripping_out", 0, 0xCFFFFF, 0x00FFFF, 8},
    {16, "oper_mont_pvo", 1, 0xCFFFCF, 0x00FF00, 16},
    {17, "oper_rig_up", 0, 0xCFFFFF, 0x00FFFF, 16},
    {18, "oper_tear_down", 0, 0xCFFFFF, 0x00FFFF, 16},
    {19, "oper_cement", 1, 0xCFFFCF, 0x00FF00, 16},
    {20, "oper_inclin", 3, 0xFFBFBF, 0xFFFF00, 16},
    {21, "oper_gdi", 1, 0xCFFFCF, 0x00FF00, 16},
    {22, "oper_aux", 1, 0xCFFFCF, 0x00FF00, 16},
}};

struct NamedRow {
  int id;
  const char* name;
  std::int32_t mode;
  std::uint32_t color;
  std::uint32_t fill_color;
  int parent;
};

constexpr std::array<NamedRow, 36> kSuboperationRows = {{
    {0, "Прочее", 4, kSystemWindowColour, 0xFFFFFF, 0},
    {1, "Спуск", 0, 0xCFFFFF, 0x00FFFF, 14},
    {2, "Спуск со сборк инстр", 1, 0xCFFFFF, 0x00FFFF, 14},
    {3, "Спуск ОК", 1, 0xCFFFFF, 0x00FFFF, 14},
    {4, "Подъём", 0, 0xCFFFFF, 0x00FFFF, 15},
    {5, "Подъём с выбросом БИ", 1, 0xCFFFFF, 0x00FFFF, 15},
    {6, "Подъём ОК", 1, 0xCFFFFF, 0x00FFFF, 15},
    {7, "Бурение роторное", 0, 0xCFCFFF, 0xD0D0FF, 2},
    {8, "Бурение турбинное", 0, 0xCFCFFF, 0xD0D0FF, 2},
    {9, "Проработка", 0, 0xFFCFCF, 0xFFD0D0, 3},
    {10, "РЦМ", 1, 0xFFCFCF, 0xFFD0D0, 3},
    {11, "РЦС", 1, 0xFFCFCF, 0xFFD0D0, 3},
    {12, "Расширка", 1, 0xFFCFCF, 0xFFD0D0, 3},
    {13, "Промывка", 0, 0xFFBFBF, 0xFFFF00, 4},
    {14, "ОИННС", 1, 0xFFBFBF, 0xFFFF00, 4},
    {15, "Простой", 1, 0xFFBFFF, 0xFF00FF, 5},
    {16, "ГИС", 1, 0xCFFFCF, 0x00FF00, 6},
    {17, "ГИС в БТ", 1, 0xCFFFCF, 0x00FF00, 6},
    {18, "ГИС на БТ", 1, 0xCFFFCF, 0x00FF00, 6},
    {19, "Ремонт", 1, 0xFFBFFF, 0xFF00FF, 7},
    {20, "Наращивание", 0, 0xCFFFFF, 0x00FFFF, 8},
    {21, "ОЗЦ", 1, 0xCFFFCF, 0x00FF00, 11},
    {22, "ПЗР", 1, 0xCFFFCF, 0x00FF00, 13},
    {23, "Монтаж ПВО", 1, 0xCFFFCF, 0x00FF00, 16},
    {24, "Сборка КНБК", 1, 0xCFFFFF, 0x00FFFF, 17},
    {25, "Сборка, пров, опр ВЗД", 1, 0xCFFFFF, 0x00FFFF, 17},
    {26, "Сборка, пров, опр ТС", 1, 0xCFFFFF, 0x00FFFF, 17},
    {27, "Разборка КНБК", 1, 0xCFFFFF, 0x00FFFF, 18},
    {28, "Отворот ВЗД", 1, 0xCFFFFF, 0x00FFFF, 18},
    {29, "РТС", 1, 0xCFFFFF, 0x00FFFF, 18},
    {30, "Цементирование ОК", 1, 0xCFFFCF, 0x00FF00, 19},
    {31, "Заливка зоны поглощения", 1, 0xCFFFCF, 0x00FF00, 19},
    {32, "Установка ЦМ", 1, 0xCFFFCF, 0x00FF00, 19},
    {33, "ГДИ", 1, 0xCFFFCF, 0x00FF00, 21},
    {34, "Проч.вспом.раб.", 1, 0xCFFFCF, 0x00FF00, 22},
    {35, "Снятие замера", 1, 0xFFBFBF, 0xFFFF00, 4},
}};

constexpr std::array<NamedRow, 9> kWorkTypeRows = {{
    {0, "Прочее", 4, 0x000000, 0xFFFFFF, 0},
    {1, "Бурение", 0, 0x3333FF, 0x99FFFF, 0},
    {2, "Бурение вспом. работы", 0, 0x6666FF, 0x66FF99, 0},
    {3, "Крепление", 0, 0xFF3333, 0xFFFF66, 0},
    {4, "Ликвидация осложнения", 1, 0x336633, 0x66CC33, 0},
    {5, "Ликвидация аварии", 1, 0x336699, 0x6666FF, 0},
    {6, "Ликвидация брака", 1, 0x009999, 0x3399FF, 0},
    {7, "Ремонт", 1, 0x993399, 0xFF99FF, 0},
    {8, "Простой", 1, 0x666666, 0xCCCCCC, 0},
}};

// The texts the station shows for the operation keys.
struct KeyText {
  const char* key;
  const char* text;
};
constexpr std::array<KeyText, 23> kKeyTexts = {{
    {"oper_not_def", "Не определена"},
    {"oper_spo", "СПО"},
    {"oper_drill", "Бурение"},
    {"oper_prorab", "Проработка"},
    {"oper_prom", "Промывка"},
    {"oper_pros", "Простой"},
    {"oper_gis", "ГИС"},
    {"oper_repair", "Ремонт"},
    {"oper_add_pipe", "Наращивание"},
    {"oper_reaming", "Расширка"},
    {"oper_stab", "Стабилизация ствола"},
    {"oper_cement_cong", "ОЗЦ"},
    {"oper_case_run", "Спуск обсадной колонны"},
    {"oper_pzr", "ПЗР"},
    {"oper_tripping_in", "Спуск"},
    {"oper_tripping_out", "Подъём"},
    {"oper_mont_pvo", "Монтаж ПВО"},
    {"oper_rig_up", "Сборка компоновки"},
    {"oper_tear_down", "Разборка компоновки"},
    {"oper_cement", "Цементирование"},
    {"oper_inclin", "Инклинометрия"},
    {"oper_gdi", "ГДИ"},
    {"oper_aux", "Вспомогательные работы"},
}};

const OperationEntry* find_in(const std::map<int, OperationEntry>& table, int id) {
  const auto it = table.find(id);
  return it == table.end() ? nullptr : &it->second;
}

int find_name(const std::map<int, OperationEntry>& table, std::string_view name) {
  for (const auto& [id, entry] : table) {
    if (entry.name == name) return id;
  }
  return -1;
}

}  // namespace

std::string operation_key_text(std::string_view key) {
  for (const KeyText& k : kKeyTexts) {
    if (key == k.key) return k.text;
  }
  return std::string(key);
}

std::string css_colour(std::uint32_t host_colour) {
  if ((host_colour & 0xFF000000u) != 0) return "#ffffff";
  // The host keeps red in the low byte; the page wants it first. Written by hand: the web
  // view asks for the colour every tick, and a formatted print costs more than the rest.
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text = "#000000";
  for (int i = 0; i < 3; ++i) {
    const std::uint32_t byte = (host_colour >> (8 * i)) & 0xFFu;
    text[static_cast<std::size_t>(1 + 2 * i)] = kHex[byte >> 4];
    text[static_cast<std::size_t>(2 + 2 * i)] = kHex[byte & 0xFu];
  }
  return text;
}

Operations::Operations() {
  for (const OperationRow& r : kOperationRows) {
    operations_[r.id] =
        OperationEntry{operation_key_text(r.key), r.color, r.fill_color, r.mode, r.wits_code, 0};
    keys_[r.id] = r.key;
  }
  for (const NamedRow& r : kSuboperationRows) {
    suboperations_[r.id] = OperationEntry{r.name, r.color, r.fill_color, r.mode, 0, r.parent};
  }
  for (const NamedRow& r : kWorkTypeRows) {
    work_types_[r.id] = OperationEntry{r.name, r.color, r.fill_color, r.mode, 0, 0};
  }
}

const Operations& Operations::standard() {
  static const Operations instance;
  return instance;
}

std::string Operations::get(int id) const {
  const OperationEntry* e = find_in(operations_, id);
  return e ? e->name : std::string();
}

std::string Operations::get_suboperation(int id) const {
  const OperationEntry* e = find_in(suboperations_, id);
  return e ? e->name : std::string();
}

std::string Operations::get_work_type(int id) const {
  const OperationEntry* e = find_in(work_types_, id);
  return e ? e->name : std::string();
}

std::string Operations::get_key(int id) const {
  const auto it = keys_.find(id);
  return it == keys_.end() ? std::string() : it->second;
}

std::int32_t Operations::get_mode(int id) const {
  const OperationEntry* e = find_in(operations_, id);
  return e ? e->mode : kAbsentMode;
}

std::uint32_t Operations::get_color(int id) const {
  const OperationEntry* e = find_in(operations_, id);
  return e ? e->color : kSystemWindowColour;
}

std::uint32_t Operations::get_fill_color(int id) const {
  const OperationEntry* e = find_in(operations_, id);
  return e ? e->fill_color : kNoColour;
}

std::int32_t Operations::get_WITS_code(int id) const {
  const OperationEntry* e = find_in(operations_, id);
  return e ? e->wits_code : 0;
}

const OperationEntry& Operations::get_item(int id) const {
  const OperationEntry* e = find_in(operations_, id);
  return e ? *e : operations_.at(0);
}

std::string Operations::css_class(int id) const {
  std::string key = get_key(has_operation(id) ? id : 0);
  constexpr std::string_view kPrefix = "oper_";
  if (key.rfind(kPrefix, 0) == 0) key.erase(0, kPrefix.size());
  for (char& c : key) {
    if (c == '_') c = '-';
  }
  return "op-" + key;
}

const OperationEntry* Operations::find_suboperation(int id) const {
  return find_in(suboperations_, id);
}

std::int32_t Operations::get_work_type_mode(int id) const {
  const OperationEntry* e = find_in(work_types_, id);
  return e ? e->mode : kAbsentMode;
}

std::uint32_t Operations::get_work_type_color(int id) const {
  const OperationEntry* e = find_in(work_types_, id);
  return e ? e->color : 0;
}

std::uint32_t Operations::get_work_type_fill_color(int id) const {
  const OperationEntry* e = find_in(work_types_, id);
  return e ? e->fill_color : 0xFFFFFF;
}

const OperationEntry* Operations::find_work_type(int id) const {
  return find_in(work_types_, id);
}

std::string Operations::get_production_time(int type) {
  switch (type) {
    case kNonProductiveTime:
      return "НПВ";
    case kProductiveTime:
      return "ПВ";
    case kNzpvTime:
      return "НЗПВ";
    default:
      return std::to_string(type);
  }
}

std::uint32_t Operations::get_production_time_color(int type) {
  switch (type) {
    case kNonProductiveTime:
      return 0xEEEEEE;
    case kProductiveTime:
      return 0xC0DCC0;
    case kNzpvTime:
      return 0xF0CAA6;
    default:
      return kSystemWindowColour;
  }
}

void Operations::enum_values(std::vector<int>& ids) const {
  ids.clear();
  for (const auto& entry : operations_) ids.push_back(entry.first);
}

void Operations::enum_works(std::vector<int>& ids) const {
  ids.clear();
  for (const auto& entry : work_types_) ids.push_back(entry.first);
}

void Operations::enum_suboperations(std::vector<int>& ids, int oper) const {
  ids.clear();
  for (const auto& [id, entry] : suboperations_) {
    if (entry.parent == oper) ids.push_back(id);
  }
}

void Operations::enum_names(std::vector<std::string>& names) const {
  for (const auto& entry : operations_) names.push_back(entry.second.name);
}

void Operations::enum_worknames(std::vector<std::string>& names) const {
  for (const auto& entry : work_types_) names.push_back(entry.second.name);
}

void Operations::enum_subnames(std::vector<std::string>& names, int oper) const {
  for (const auto& entry : suboperations_) {
    if (entry.second.parent == oper) names.push_back(entry.second.name);
  }
}

int Operations::first_suboperation(int oper) const {
  for (const auto& [id, entry] : suboperations_) {
    if (entry.parent == oper) return id;
  }
  return -1;
}

int Operations::get_oper_by_string(std::string_view name) const {
  return find_name(operations_, name);
}

int Operations::get_suboper_by_string(std::string_view name) const {
  return find_name(suboperations_, name);
}

int Operations::get_work_type_by_string(std::string_view name) const {
  return find_name(work_types_, name);
}

}  // namespace calc
