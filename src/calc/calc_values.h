// calc::CalcValues: once per tick derives the values no sensor gives (tank volumes and
// totals, turbine speed, mud in the circulating system, tool depth and steel run in) and
// writes them into the current values under their names. It owns the calculation objects
// those values come from: the tank group with the pumps and the turbine, and the depth
// sensor's calculator. (The stands and pipes are counted where the tick follows the rig:
// rig/stand_counting.h; their rows' names are kept here with the others.)
//
// Each calculation is a named module run through execute_module: one that throws is written
// to the error log and the next still runs, so one bad input never stops the tick; the
// values of the failed module keep what they held.
//
// Not thread-safe: the caller holds the system lock.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "calc/depth_calc.h"
#include "calc/tanks.h"

namespace pore {
class PoreOpt;
}
namespace reg {
class GlobalNums;
}

namespace calc {

// The tick's view of the current values, given by the owner of the data storage.
class CalcValueTable {
 public:
  virtual ~CalcValueTable() = default;
  // The row of an identifier, -1 when the table has none.
  virtual int row_of(std::string_view identifier) const = 0;
  // The current value of a row; rows outside the table read 0.
  virtual double value(int row) const = 0;
  // Writes a row's current value; a row outside the table is ignored.
  virtual void set_value(int row, double value) = 0;
  // False when the row's value is not this tick's reading (its sensor did not answer or
  // gave no number): a value kept from before must not pass for a fresh one.
  virtual bool is_current(int /*row*/) const { return true; }
  // The bit depth, m.
  virtual double bit_depth() const = 0;
};

// The tick's input.
struct CalcValuesData {
  CalcValueTable* values = nullptr;
  const reg::GlobalNums* global_nums = nullptr;
  // The well model (construction and drill string); null skips the hole volumes.
  pore::PoreOpt* pore = nullptr;
  double cavern_coeff = 1.0;      // of the run record
  double extra_mud_volume = 0.0;  // "доб_V_раствора", m³
  std::uint32_t time = 0;         // the tick's time stamp, seconds
};

// Names of the values the module writes.
namespace calc_names {
inline constexpr const char* kTurbineSpeed = "обороты_турбины";
inline constexpr const char* kActiveVolume = "объем_актив_емкости";
inline constexpr const char* kDolivVolume = "объем_в_доливных_емкостях";
inline constexpr const char* kInTankVolume = "объем_в_приёмных_емкостях";
inline constexpr const char* kMudVolume = "объем_раствора";
inline constexpr const char* kToolDepth = "глубина_инстр_пром";
inline constexpr const char* kSteelRunIn = "объем_спущ_мет";
inline constexpr const char* kStands = "число_свечей";
inline constexpr const char* kPipes = "число_трубок";
}  // namespace calc_names

// Runs `body`, a calculation named `name`, so that its failure is a line of `report` and never
// ends the tick: an exception with a message as "Исключение в  <name> (<message>).", anything
// else as "Неизвестное исключение в <name>.".
void run_module(const std::string& name, const std::function<void()>& body,
                const std::function<void(const std::string&)>& report);

class CalcValues {
 public:
  struct CalcModule {
    std::string name;
    std::function<void(CalcValuesData&)> operation;
  };
  using ErrorSink = std::function<void(const std::string& message)>;

  CalcValues();
  CalcValues(const CalcValues&) = delete;
  CalcValues& operator=(const CalcValues&) = delete;

  void set_error_sink(ErrorSink sink);

  // Runs every module in list order ("CalcValues::calc_units").
  void calc_and_store(CalcValuesData& data);
  // Runs one module through run_module.
  void execute_module(const CalcModule& module, CalcValuesData& data);

  // Turbine speed, tank volumes and totals, mud in the circulating system, tool depth and
  // steel run in. Throws when the data has no value table or no well-known rows.
  void calc_units(CalcValuesData& data);
  const std::vector<CalcModule>& modules() const { return modules_; }

  VEmkOpts& tanks() { return *tanks_; }
  const VEmkOpts& tanks() const { return *tanks_; }
  NasosWork& pumps() { return tanks_->pumps(); }
  ObTrub& turbine() { return tanks_->turbine(); }
  // The depth sensor's calculator, module name "DepthCalc".
  DepthCalc& depth_calc() { return *depth_calc_; }
  // The mud in the hole and the tanks less the steel of the string, m³, of the last
  // calc_units ("объем_раствора").
  double mud_volume() const { return mud_volume_; }

 private:
  void report(const std::string& message) const;

  std::vector<CalcModule> modules_;
  std::shared_ptr<VEmkOpts> tanks_;
  std::shared_ptr<DepthCalc> depth_calc_;
  std::vector<bool> bad_level_;
  double mud_volume_ = 0;
  ErrorSink sink_;
};

}  // namespace calc
