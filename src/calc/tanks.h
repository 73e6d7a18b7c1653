// The small models of the mud system worked every tick: which of the six mud pumps are
// working (NasosWork), the turbine speed from the flow (ObTrub), and the sixteen mud tanks
// with their level-to-volume conversion and totals (VEmkOpt, VEmkOpts). Settings live in the
// station's settings file, the last results in the state file (tanks_format.h,
// docs/tanks-and-pumps.md).
//
// Not thread-safe: the caller holds the system lock. Bad input (a negative stroke rate, a
// level that is not a number, a malformed tank line or table) never throws out of a tick
// operation: it is told to the error sink once when it turns bad, and the last good value
// stays. Only the setters and readers of settings throw TankError, naming what was wrong.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lib/ini_file.h"
#include "lib/module_base.h"
#include "lib/options.h"

namespace calc {

class TankError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using TankErrorSink = std::function<void(const std::string& message)>;

// ---- pumps ------------------------------------------------------------------------------------

class NasosWork : public lib::SerialModuleBase {
 public:
  static constexpr int kPumpCount = 6;
  // A pump stays "working" this many ticks after its last stroke, so a short gap between
  // two readings of the stroke counter does not make it flicker.
  static constexpr std::int32_t kHoldTicks = 5;

  NasosWork();

  void set_error_sink(TankErrorSink sink) { sink_ = std::move(sink); }

  // Once per tick with the six stroke rates (strokes per minute). A counter above 0 counts
  // down by one, then a pump with a rate other than zero, of either sign, is held for
  // kHoldTicks. A negative rate (a sensor wired the other way round) is told once until it
  // reads positive again; a rate that is not a number is told the same way and counts as
  // no strokes, so the pump's counter only counts down.
  void work(const std::array<float, kPumpCount>& strokes);
  // The same from six rates in a row; null counts as no strokes on any pump.
  void work(const float* strokes) {
    std::array<float, kPumpCount> a{};
    for (int i = 0; strokes != nullptr && i < kPumpCount; ++i)
      a[static_cast<std::size_t>(i)] = strokes[i];
    work(a);
  }
  // False for a pump number outside 0..5.
  bool is_working(int pump) const;
  std::int32_t hold(int pump) const;
  // The rate given to the last work(), 0 where it was not a number.
  float strokes(int pump) const;

 protected:
  void serial_fields(lib::serial_list& list, unsigned version) override;

 private:
  std::array<std::int32_t, kPumpCount> counters_{};
  std::array<float, kPumpCount> strokes_{};
  std::array<bool, kPumpCount> bad_{};
  TankErrorSink sink_;
};

// ---- turbine ------------------------------------------------------------------------------------

class ObTrub : public lib::ini_options, public lib::SerialModuleBase {
 public:
  ObTrub();

  // Turbine speed for a flow: flow × koef1 when the calculation is on (kept as the last
  // result), else 0 with the last result left as it was. A flow that is not a number gives
  // the last result.
  float calc_value(float flow);
  float get_last_result() const { return last_; }

  bool on() const { return on_; }
  void set_on(bool on) { on_ = on; }
  double coeff() const { return coeff_; }
  void set_coeff(double k) { coeff_ = k; }

  // Section "ObTrub": "sect", "koef1".
  void get_options(lib::options_list& list) override;

 protected:
  void serial_fields(lib::serial_list& list, unsigned version) override;

 private:
  bool on_ = true;
  double coeff_ = 1.0;
  float last_ = 0;
};

// ---- one tank ----------------------------------------------------------------------------------

class VEmkOpt {
 public:
  static constexpr float kDefaultArea = 30.0f;

  VEmkOpt() = default;
  VEmkOpt(std::string name, std::string vname) : name_(std::move(name)), vname_(std::move(vname)) {}

  // The volume at a level: from the tank's table when it has one, else level × s. A
  // negative result or one that is not a number becomes 0. The volume is kept and returned.
  float calc_volume(float level);

  // The stored line: "s,used,volume,doliv,in,height,caption,mud" (see tanks_format.h).
  void set_to_string(std::string& text) const;
  // Reads a stored line. A line with too few fields, a field that is not a number or flag,
  // or a negative height throws TankError saying which field and why; the tank is then
  // unchanged. Any area is taken: one of 0 or below gives no volume (a tank switched off).
  void get_from_string(const std::string& text);

  // The level-to-volume table, (level m, volume m³) points. Fewer than two points, levels
  // not strictly rising (unsorted or repeated), volumes falling or a point that is not a
  // number throw TankError naming the point; the table held stays. An empty list removes
  // the table (the area is used again).
  void set_table(std::vector<std::pair<float, float>> points);
  const std::vector<std::pair<float, float>>& table() const { return table_; }

  // Only heights above 0 are taken.
  void set_height(float height);
  void set_area(float s);  // throws TankError when s is not a number
  void set_used(bool used) { used_ = used; }
  void set_used_for_doliv(bool doliv) { doliv_ = doliv; }
  void set_in_tank(bool in) { in_tank_ = in; }
  void set_caption(std::string caption) { caption_ = std::move(caption); }
  void set_mud_type(std::string mud) { mud_type_ = std::move(mud); }
  void set_volume(float v) { volume_ = v; }

  float get_s() const { return s_; }
  float get_height() const { return height_; }
  float get_volume() const { return volume_; }
  const std::string& get_name() const { return name_; }
  const std::string& get_vname() const { return vname_; }
  const std::string& get_caption() const { return caption_; }
  const std::string& get_mud_type() const { return mud_type_; }
  bool is_used() const { return used_; }
  bool is_used_for_doliv() const { return doliv_; }
  bool is_in_tank() const { return in_tank_; }

 private:
  friend class VEmkOpts;
  float s_ = kDefaultArea;
  float volume_ = 0;
  std::string name_;
  std::string vname_;
  bool used_ = true;
  bool doliv_ = false;
  bool in_tank_ = false;
  float height_ = 0;
  std::string caption_;
  std::string mud_type_;
  std::vector<std::pair<float, float>> table_;
};

// ---- the tank group
// ------------------------------------------------------------------------------

class VEmkOpts : public lib::SerialModuleBase {
 public:
  static constexpr int kTankCount = 16;

  VEmkOpts();

  void set_error_sink(TankErrorSink sink);

  // Tank 1 reads "уровень_в_емкости", tank k > 1 "уровень_в_емкости<k>"; tank k writes
  // "объем_в_емкости<k>".
  static std::string level_name(int number);
  static std::string volume_name(int number);

  // Index 0..15, or a level or volume name; anything else gives a shared default tank, so a
  // caller with a wrong index reads an unused tank of volume 0 instead of failing.
  VEmkOpt& operator[](int index);
  const VEmkOpt& operator[](int index) const;
  VEmkOpt& operator[](std::string_view name);

  std::size_t get_elem_count() const { return kTankCount; }
  // The group always has sixteen tanks.
  void set_elems_size(std::size_t) {}

  // Recomputes the four totals from the tanks' last volumes.
  void calc_total();
  float get_active_tank_v() const { return active_; }
  float get_whole_tank_v() const { return whole_; }
  float get_whole_doliv_v() const { return doliv_; }
  float get_total_in_tank() const { return in_tank_; }
  float get_circulating_v() const { return circulating_; }
  void set_circulating_v(float v) { circulating_ = v; }

  // Each tank with a volume name and no caption gets "Ёмкость <number>".
  void check_captions();

  // The tanks' lines and tables from the settings file. A malformed line or table is
  // reported and that tank keeps what it held; the returned texts say section, key, what was
  // wrong and what was kept; the caller logs them with the file's name.
  std::vector<std::string> load_settings(const lib::IniFile& ini);
  void save_settings(lib::IniFile& ini) const;

  NasosWork& pumps() { return pumps_; }
  ObTrub& turbine() { return turbine_; }

 protected:
  void serial_fields(lib::serial_list& list, unsigned version) override;

 private:
  std::array<VEmkOpt, kTankCount> tanks_;
  VEmkOpt spare_;
  float active_ = 0;
  float whole_ = 0;
  float doliv_ = 0;
  float in_tank_ = 0;
  float circulating_ = 0;
  std::int32_t reserved_ = 0;
  NasosWork pumps_;
  ObTrub turbine_;
  TankErrorSink sink_;
};

}  // namespace calc
