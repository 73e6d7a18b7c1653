#include "journals/troubles_dict.h"

namespace journals {

TroublesDict TroublesDict::default_dict() {
  TroublesDict dict;
  const std::pair<int, const char*> types[] = {
      {1001, "Нефтегазопроявление"},
      {1002, "Поглощение бурового раствора"},
      {1003, "Приток в буровой раствор"},
      {1004, "Жёлобообразование"},
      {1005, "Обвалы стенок скважины"},
      {1006, "Грифонообразование"},
      {1007, "Сальникообразование"},
      {1008, "Растепление устья скважины"},
      {1009, "Выброс"},
      {1010, "Отклонение профиля скважины от проектного"},
      {1011, "Заколонные перетоки"},
      {1012, "Открытое фонтанирование"},
      {1013, "Затяжка инструмента"},
      {1014, "Посадка инструмента"},
      {1015, "Осложнения, вызванные стихийными бедствиями"},
      {1999, "Прочие осложнения"},
  };
  for (const auto& [id, name] : types) {
    dict.types.push_back({id, name, kDefaultTroublesGroup, false});
  }
  // The spellings are the ones the station's journals have always shown.
  dict.results = {
      {1, "Ликвидирована"},
      {2, "Частично ликвидированна"},
      {3, "Не ликвидированна"},
  };
  return dict;
}

}  // namespace journals
