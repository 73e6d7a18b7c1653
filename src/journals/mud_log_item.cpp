#include "journals/mud_log_item.h"

#include "lib/ident.h"

namespace journals {

const std::array<MudMeasurementInfo, kMudMeasurementCount> kMudMeasurements = {{
    {"плотность", "Плотность", "г/см³"},
    {"стабильность", "Стабильность", "г/см³"},
    {"вязкость", "Вязкость", ""},
    {"пласт_вязкость", "Пластическая вязкость", ""},
    {"фильтрация", "Фильтрация", ""},
    {"липкость", "Липкость", ""},
    {"толщина_корки", "Толщина корки", "мм"},
    {"ph", "pH", ""},
    {"удельное_сопротивление", "Удельное сопротивление", "ом/м"},
    {"chl", "CHl", ""},
    {"процент_песка", "Процент песка", "%"},
    {"снс1", "СНС за 1 мин", ""},
    {"снс10", "СНС за 10 мин", ""},
    {"водоотдача", "Водоотдача", ""},
    {"температура", "Температура", ""},
    {"дсс", "Динам. сопр. сдвигу", ""},
    {"смазка", "Смазка", ""},
    {"mbt", "Тест метиленовой сини (MBT)", ""},
}};

const std::array<MudMeasurement, kMudMeasurementCount> kMudEditorOrder = {
    kMudDensity,          kMudViscosity,        kMudFiltration,  kMudChlorides,   kMudCakeThickness,
    kMudSandPercent,      kMudStability,        kMudResistivity, kMudStickiness,  kMudPh,
    kMudGelStrength1Min,  kMudGelStrength10Min, kMudWaterLoss,   kMudTemperature, kMudDynamicShear,
    kMudPlasticViscosity, kMudLubricant,        kMudMbt,
};

void MudLogItem::enum_values(lib::options_list& list) {
  list.sector(kMudLogSection, kMudLogSectionCaption);
  list.add(kMudTypeKey, kMudTypeCaption, mud_type, "");
  for (MudMeasurement m : kMudEditorOrder) {
    const auto& info = kMudMeasurements[m];
    auto& option = list.add(info.key, info.caption, values[m], 0.0);
    if (*info.unit != '\0') option.set_unit(info.unit);
  }
}

const char* MudLogItem::dict_of(std::string_view key) {
  return lib::ident_equal(key, kMudTypeKey) ? kMudTypesDict : nullptr;
}

}  // namespace journals
