// The calibration of the drawworks depth sensor and the conversion of its pulses into metres
// of travelling-block travel.
//
// The drill line winds on the drum in layers, so the pulses per metre of block travel change
// with the block's height. The calibration is a table of height ranges, each with its own
// coefficient; DepthCalc reads a coefficient at a height (calc_coeff) and turns a pulse count
// into travel (smart_calc_tal), either with one coefficient or by walking the table pulse by
// pulse. Settings and table live in the station's settings file, the last walk's result in the
// state file (depth_calibration_format.h, docs/depth-calibration.md).
//
// Not thread-safe: the caller holds the system lock. A calculation that cannot give a number
// throws DepthCalcError with the reason; it never loops without end or allocates without
// bound, whatever the table holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "lib/ini_collect.h"
#include "lib/ini_file.h"
#include "lib/interpolation.h"
#include "lib/module_base.h"
#include "lib/options.h"
#include "lib/text_grid.h"

namespace calc {

class DepthCalcError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Raised by get_opts_from_grid when fewer than two marks are given.
inline constexpr const char* kTooFewMarksMessage =
    "Слишком мало меток глубины!\nКоличество меток должно быть болше двух.";

// One range of the table: block heights at its two ends (in either order) and its
// coefficient in pulses per metre.
class DolCalibrItem {
 public:
  DolCalibrItem() = default;
  DolCalibrItem(float d1, float d2, float c) : depth1(d1), depth2(d2), count(c) {}
  virtual ~DolCalibrItem() = default;
  DolCalibrItem(const DolCalibrItem&) = default;
  DolCalibrItem& operator=(const DolCalibrItem&) = default;

  // "depth1,depth2,count" with 3 decimals.
  virtual void set_to_string(std::string& text) const;
  // Reads the three numbers of set_to_string. Text that is not three finite numbers leaves
  // the item unchanged and throws DepthCalcError saying what was wrong.
  virtual void get_from_string(const std::string& text);

  // Calibrates from the pulses counted while the block travelled from one end to the other.
  // A range whose ends coincide keeps its coefficient.
  void set_counter(int pulses);
  float get_middle_depth() const { return (depth1 + depth2) * 0.5f; }

  bool operator==(const DolCalibrItem& o) const {
    return depth1 == o.depth1 && depth2 == o.depth2 && count == o.count;
  }

  float depth1 = 0;  // m
  float depth2 = 0;  // m
  float count = 0;   // pulses per metre ("Коэфф", "имп/м")
};

class DepthCalc : public lib::IniCollectModule,
                  public lib::ini_options,
                  public lib::SerialModuleBase {
 public:
  static constexpr int kModeSingle = 0;
  static constexpr int kModeTable = 1;
  static constexpr int kMaxSmoothMode = 3;
  static constexpr double kMinCorrCoeff = 0.5;
  static constexpr double kMaxCorrCoeff = 2.0;
  // The longest table walk, in pulses. Ten thousand pulses per metre over a hundred metres
  // of block travel is far beyond any drawworks sensor; a table that needs more is wrong, and
  // the walk stops with an error instead of allocating on.
  static constexpr std::size_t kMaxWalkSteps = 1'000'000;

  using ErrorSink = std::function<void(const std::string& message)>;

  // With the default table (27→18, 18→9, 9→0 m, coefficient 0), corr_coeff 1, both modes 0.
  // The module name names the table's section and the state block; an empty name stands for
  // "DepthCalc".
  DepthCalc();
  explicit DepthCalc(const std::string& module_name);
  // Takes the settings (corr_coeff, mode, smooth_mode), not the table nor the last result.
  DepthCalc(const DepthCalc& other);
  DepthCalc& operator=(const DepthCalc&) = delete;
  ~DepthCalc() override;

  // Told when a smooth mode cannot use the table and straight lines are read instead.
  void set_error_sink(ErrorSink sink) { error_sink_ = std::move(sink); }

  // ---- the table ------------------------------------------------------------------------
  std::size_t size() const { return items_.size(); }
  std::size_t get_elem_count() const { return items_.size(); }
  // Bounds-checked: std::out_of_range for a bad index.
  DolCalibrItem& get_elem(std::size_t i) { return items_.at(i); }
  const DolCalibrItem& get_elem(std::size_t i) const { return items_.at(i); }
  std::vector<DolCalibrItem>& get_elements_list() { return items_; }
  const std::vector<DolCalibrItem>& get_elements_list() const { return items_; }
  // New ranges are all zero.
  void set_elems_size(std::size_t n) { items_.resize(n); }
  float get_depth1(std::size_t i) const { return items_.at(i).depth1; }
  float get_depth2(std::size_t i) const { return items_.at(i).depth2; }
  float get_middle_depth(std::size_t i) const { return items_.at(i).get_middle_depth(); }
  void set_counter(std::size_t i, int pulses) { items_.at(i).set_counter(pulses); }
  // Exactly the three default ranges, coefficient 0.
  void set_defaults();

  // ---- settings ---------------------------------------------------------------------------
  int get_mode() const { return mode_; }
  void set_mode(int mode) { mode_ = mode; }
  int get_smooth_mode() const { return smooth_mode_; }
  // 0..3; any other value stores 0.
  void set_smooth_mode(int mode);
  double get_corr_coeff() const { return corr_coeff_; }
  void set_corr_coeff(double c) { corr_coeff_ = c; }
  // Keeps corr_coeff within 0.5..2.0; not a number becomes 0.5.
  void check();

  // Section "DepthCalcOpts": mode, smooth_mode, corr_coeff; sector "Расчет глубины".
  void get_options(lib::options_list& list) override;
  // The description for the settings editor (the same options; the table has its grids).
  void enum_values(lib::options_list& list) { get_options(list); }
  // Settings and table from `ini`. A missing key keeps its default, a malformed or
  // out-of-range one is corrected; a missing table section keeps the table held, a table line
  // that is not three numbers is skipped. Returns one text per correction: section, key or
  // line, what was found and what was done.
  std::vector<std::string> load_settings(const lib::IniFile& ini);
  // Writes the settings and rewrites the table's section.
  void save_settings(lib::IniFile& ini) const;
  void load_additional_info(const lib::IniFile& ini) override;
  void save_additional_info(lib::IniFile& ini) const override;

  // ---- calculation ------------------------------------------------------------------------
  // Pulses per metre at a block height. A coefficient not below zero wins unless the mode is
  // the table; otherwise the table is interpolated by the smooth mode and corrected by
  // corr_coeff. The smooth mode 1 reads the table as steps (each range holds its own
  // coefficient), the others interpolate between the ranges' middles.
  float calc_coeff(float height, float coeff) const;
  // Block travel in metres for `pulses` counted up to the block height `height`, with `coeff`
  // as the fallback coefficient and [from, to] the heights the block can reach. Mode 0
  // divides by one coefficient (0 travel when it is zero); any other mode walks the table
  // from `from` to `to` pulse by pulse and keeps the walk's result (last_*). The travel has
  // the sign of the pulses. Throws DepthCalcError when a heights is not a number, when a
  // coefficient on the way is not positive and neither is `coeff`, or when the walk would
  // exceed kMaxWalkSteps; the last result is then unchanged.
  float smart_calc_tal(int pulses, float height, float coeff, float from, float to);

  // The last table walk: index of its start point, pulses given, pulses over travel (0 for no
  // travel), travel in metres.
  std::int32_t last_index() const { return last_index_; }
  std::int32_t last_pulses() const { return last_pulses_; }
  float last_coeff() const { return last_coeff_; }
  float last_travel() const { return last_travel_; }

  // ---- editor grids -------------------------------------------------------------------------
  // Column 0 of the grid: a title row, then the marks (the depth1 of each range and the
  // depth2 of the last).
  void set_opts_to_grid(lib::TextGrid& grid) const;
  // The marks of column 0, blank cells skipped, become ranges between neighbouring marks with
  // coefficient 0. Fewer than two marks throw kTooFewMarksMessage, a cell that is not a number
  // throws naming its row; the table is then unchanged.
  void get_opts_from_grid(const lib::TextGrid& grid);
  // Titles "Таль.1, м", "Таль.2, м", "Коэф.ДОЛ,\nимп/м", then one row per range.
  void set_data_to_grid(lib::TextGrid& grid) const;
  // One range per row after the title row; blank rows are skipped. A cell that is not a
  // number throws naming its row and column; the table is then unchanged.
  void get_data_from_grid(const lib::TextGrid& grid);
  static std::vector<std::string> data_grid_titles();

 protected:
  // lib::IniCollectModule
  std::size_t item_count() const override { return items_.size(); }
  void clear_items() override { items_.clear(); }
  void item_to_fields(std::size_t index, lib::StringContainer& fields) const override;
  bool add_item_from_fields(const lib::StringContainer& fields, std::string& reason) override;
  // lib::SerialModuleBase
  void serial_fields(lib::serial_list& list, unsigned version) override;

 private:
  // The interpolation of the table for the smooth mode in use, rebuilt when either changed.
  const lib::Interpolation& curve() const;
  double table_coeff(const lib::Interpolation& curve, double height) const;
  void report(const std::string& message) const;

  std::vector<DolCalibrItem> items_;
  double corr_coeff_ = 1.0;
  int mode_ = kModeSingle;
  int smooth_mode_ = 0;
  std::int32_t last_index_ = 0;
  std::int32_t last_pulses_ = 0;
  float last_coeff_ = 0;
  float last_travel_ = 0;

  ErrorSink error_sink_;
  // Set while load_settings runs: the table's load issues are collected here.
  std::vector<std::string>* collected_ = nullptr;
  mutable lib::Interpolation curve_;
  mutable std::vector<DolCalibrItem> curve_items_;
  mutable int curve_smooth_mode_ = -1;
  mutable std::vector<double> walk_;  // the heights of the last walk, kept to reuse its memory
};

}  // namespace calc
