#include "params/global_nums.h"

#include <utility>

#include "params/par_tabl.h"

namespace reg {
namespace {

// The walk of calculate: slot and identifier. "максимальный_газ" is walked before
// "сумм_газ", but each lands in its own slot.
constexpr std::pair<int, const char*> kWalk[] = {
    {GlobalNums::kVesNaKryuke, "вес_на_крюке"},
    {GlobalNums::kDavlenieNaVhode, "давление_на_входе"},
    {GlobalNums::kUrovenVEmkosti, "уровень_в_емкости"},
    {GlobalNums::kPlotnostNaVhode, "плотность_на_входе"},
    {GlobalNums::kMomentRotora, "момент_ротора"},
    {GlobalNums::kRashodNaVyhode, "расход_на_выходе"},
    {GlobalNums::kHodyNasosa, "ходы_насоса"},
    {GlobalNums::kTalblok, "тальблок"},
    {GlobalNums::kRashodNaVhode, "расход_на_входе"},
    {GlobalNums::kObemEmkosti, "объем_емкости"},
    {GlobalNums::kNagruzka, "нагрузка"},
    {GlobalNums::kSkorostSpo, "скорость_спо"},
    {GlobalNums::kSkorostMehanicheskaya, "скорость_механическая"},
    {GlobalNums::kDmk, "дмк"},
    {GlobalNums::kDmk1, "дмк1"},
    {GlobalNums::kSkorostBureniya, "скорость_бурения"},
    {GlobalNums::kOborotyRotora, "обороты_ротора"},
    {GlobalNums::kDavlenie1NaVhode, "давление1_на_входе"},
    {GlobalNums::kDavlenie2NaVhode, "давление2_на_входе"},
    {GlobalNums::kTemperaturaNaVhode, "температура_на_входе"},
    {GlobalNums::kTemperaturaNaVyhode, "температура_на_выходе"},
    {GlobalNums::kPlotnostNaVyhode, "плотность_на_выходе"},
    {GlobalNums::kReisovayaSkorost, "рейсовая_скорость"},
    {GlobalNums::kStoimostMetra, "стоимость_метра_проходки"},
    {GlobalNums::kSummarnyGaz, "суммарный_газ"},
    {GlobalNums::kUdelnoeSoprotivlenie, "удельное_сопротивление"},
    {GlobalNums::kMaksimalnyGaz, "максимальный_газ"},
    {GlobalNums::kSummGaz, "сумм_газ"},
    {GlobalNums::kDavlenie1NaVyhode, "давление1_на_выходе"},
    {GlobalNums::kDavlenie2NaVyhode, "давление2_на_выходе"},
    {GlobalNums::kElektroprovodnostNaVhode, "электропроводность_на_входе"},
    {GlobalNums::kElektroprovodnostNaVyhode, "электропроводность_на_выходе"},
};
static_assert(std::size(kWalk) == GlobalNums::kSlotCount);

}  // namespace

const char* GlobalNums::identifier(int slot) {
  for (const auto& [s, id] : kWalk) {
    if (s == slot) return id;
  }
  return "";
}

void GlobalNums::calculate(const params::ParTabl& table) {
  for (const auto& [slot, id] : kWalk)
    slots_[static_cast<std::size_t>(slot)] = table.find_global(id);
}

}  // namespace reg
