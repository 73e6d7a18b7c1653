// The table rows of the well-known parameters, looked up once per table instead of by
// name on every tick. Slot numbers are fixed; a slot of -1 means the table has no such
// row and every reader treats that parameter as absent.
#pragma once

#include <array>
#include <cstdint>

namespace params {
class ParTabl;
}

namespace reg {

class GlobalNums {
 public:
  static constexpr int kSlotCount = 32;

  enum Slot : int {
    kVesNaKryuke = 0,                 // вес_на_крюке
    kDavlenieNaVhode = 1,             // давление_на_входе
    kUrovenVEmkosti = 2,              // уровень_в_емкости
    kPlotnostNaVhode = 3,             // плотность_на_входе
    kMomentRotora = 4,                // момент_ротора
    kRashodNaVyhode = 5,              // расход_на_выходе
    kHodyNasosa = 6,                  // ходы_насоса
    kTalblok = 7,                     // тальблок
    kRashodNaVhode = 8,               // расход_на_входе
    kObemEmkosti = 9,                 // объем_емкости
    kNagruzka = 10,                   // нагрузка
    kSkorostSpo = 11,                 // скорость_спо
    kSkorostMehanicheskaya = 12,      // скорость_механическая
    kDmk = 13,                        // дмк
    kDmk1 = 14,                       // дмк1
    kSkorostBureniya = 15,            // скорость_бурения
    kOborotyRotora = 16,              // обороты_ротора
    kDavlenie1NaVhode = 17,           // давление1_на_входе
    kDavlenie2NaVhode = 18,           // давление2_на_входе
    kTemperaturaNaVhode = 19,         // температура_на_входе
    kTemperaturaNaVyhode = 20,        // температура_на_выходе
    kPlotnostNaVyhode = 21,           // плотность_на_выходе
    kReisovayaSkorost = 22,           // рейсовая_скорость
    kStoimostMetra = 23,              // стоимость_метра_проходки
    kSummarnyGaz = 24,                // суммарный_газ
    kUdelnoeSoprotivlenie = 25,       // удельное_сопротивление
    kSummGaz = 26,                    // сумм_газ
    kMaksimalnyGaz = 27,              // максимальный_газ
    kDavlenie1NaVyhode = 28,          // давление1_на_выходе
    kDavlenie2NaVyhode = 29,          // давление2_на_выходе
    kElektroprovodnostNaVhode = 30,   // электропроводность_на_входе
    kElektroprovodnostNaVyhode = 31,  // электропроводность_на_выходе
  };

  // The identifier whose row a slot holds.
  static const char* identifier(int slot);

  GlobalNums() { slots_.fill(-1); }

  // Recomputes every slot from the table; call after the table is loaded or edited.
  void calculate(const params::ParTabl& table);

  // The row of a slot, or -1; a slot number outside 0..31 also gives -1.
  std::int32_t operator[](int slot) const {
    return slot >= 0 && slot < kSlotCount ? slots_[static_cast<std::size_t>(slot)] : -1;
  }

 private:
  std::array<std::int32_t, kSlotCount> slots_;
};

}  // namespace reg
