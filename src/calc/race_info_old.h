// The bit-run record the operator fills in: the well's archive data, the run's settings,
// its start and its end results, and the mud. It is a settings object (saved in the run's
// ".rac" file as INI text) and a persistent module of the station's state.
#pragma once

#include <string>

#include "lib/module_base.h"
#include "lib/options.h"

namespace calc {

// How the bit is driven.
enum class DrillType : int {
  kRotary = 0,
  kTurbine = 1,
  kRotaryTurbine = 2,
  kElectric = 3,
  kEmergencyWork = 4,
  kOther = 5,
  kScrewMotor = 6,
};

// The display name of a drilling method; "::ОШИБКА::" for a value outside the list.
std::string get_drill_type_str(DrillType type);

class RaceInfoOld : public lib::ini_options, public lib::SerialModuleBase {
 public:
  static constexpr const char* kSerialName = "RaceInfoNew";
  // The name the configuration registers it under in the module list.
  static constexpr const char* kModuleName = "RaceInfoOld";
  static constexpr unsigned kStateVersion = 1;

  // "архивные_данные"
  struct Archive {
    std::string deposit;        // месторождение
    std::string well;           // скважина
    std::string well_category;  // категория_скважины
    std::string area;           // площадь
    std::string customer;       // заказчик
  };
  // "настройки_рейса"
  struct Settings {
    int race_number = 1;
    std::string bit_number;
    double bit_diameter = 0;  // mm
    std::string bit_type;
    std::string drill_method_text;  // способ_бурения2: the method as picked from a dictionary
    int drill_method = static_cast<int>(DrillType::kRotary);  // a DrillType
    std::string operator_name;
    std::string motor_size;   // типоразмер_з_д
    double depth_step = 0.2;  // m
    int time_step = 10;       // s
    std::string initial_bit_wear;
    double cavern_coeff = 1;  // hole volume over nominal volume
    // The purpose; it ends with its code in brackets, e.g. "Бурение (1)".
    std::string purpose;
    std::string comment;
    std::string supervisor;
    std::string master;
    std::string bit_nozzles;
    double motor_azimuth = 0;  // degrees
    std::string bit_service;
    std::string mud_service;
    std::string telemetry_service;
    std::string cementing_service;
    std::string work_list;
  };
  // "начало_рейса"
  struct Start {
    double depth = 0;  // m
    std::string time;  // "dd.mm.yyyy hh:mm:ss"
  };
  // "окончание_рейса": filled by whoever closes the run.
  struct End {
    double depth = 0;
    std::string time;
    double drill_time = 0;  // h
    double circulation_time = 0;
    double tripping_time = 0;
    double flushing_time = 0;
    double reaming_time = 0;
    double average_load = 0;      // t
    double average_pressure = 0;  // atm
    double average_flow = 0;      // l/s
    double drilling_speed = 0;    // m/h
    double average_rotation = 0;  // rpm
    double average_torque = 0;
    double average_volume = 0;  // m³
    std::string bit_wear;
    std::string iadc_inner, iadc_outer, iadc_dull, iadc_location, iadc_bs, iadc_gage,
        iadc_other_dull, iadc_reason;
  };
  // "раствор"
  struct Mud {
    std::string mud_type;
  };

  Archive archive;
  Settings settings;
  Start start;
  End end;
  Mud mud;

  // Starts with the defaults.
  RaceInfoOld();

  void get_options(lib::options_list& list) override;

  double get_doloto_diametr() const { return settings.bit_diameter; }
  double get_kavern_koeff() const { return settings.cavern_coeff; }
  DrillType get_drill_type() const { return static_cast<DrillType>(settings.drill_method); }
  const std::string& get_purpose() const { return settings.purpose; }

  // The run file beside a recording file: for ".../a.b.dat" it is ".../a.rac" (the name up
  // to its first dot, then "rac"); "" when the file name has no dot.
  static std::string get_race_file(const std::string& path);
  static std::string get_drill_type_str(DrillType type) { return calc::get_drill_type_str(type); }

 protected:
  // The state holds the record as INI text, so a key added or dropped later never shifts
  // the others and an unknown key is simply ignored.
  void serial_fields(lib::serial_list& list, unsigned version) override;
};

}  // namespace calc
