#include "calc/tanks.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "calc/tanks_format.h"
#include "lib/str_utils.h"
#include "lib/string_container.h"

namespace calc {
namespace {

namespace fmt = tanks_format;

std::string number(double v) {
  return lib::float_to_str(v, fmt::kDigits);
}

bool parse_flag(std::string_view text, bool& out, std::string& why) {
  const std::string_view t = lib::trim(text);
  if (t == "1") {
    out = true;
  } else if (t == "0") {
    out = false;
  } else {
    why = "\"" + std::string(t) + "\" is not 1 or 0";
    return false;
  }
  return true;
}

}  // namespace

// ---- NasosWork ---------------------------------------------------------------------------------

NasosWork::NasosWork() : lib::SerialModuleBase(fmt::kPumpsModuleName, fmt::kPumpsStateVersion) {}

void NasosWork::work(const std::array<float, kPumpCount>& strokes) {
  for (std::size_t i = 0; i < counters_.size(); ++i) {
    if (counters_[i] > 0) --counters_[i];
    const float rate = strokes[i];
    // A sensor wired the other way round still counts strokes: any rate that is not zero
    // means the pump moves. Only the sign is suspect, so it is told, not acted on.
    const bool odd = !std::isfinite(rate) || rate < 0;
    if (odd && !bad_[i] && sink_) {
      char text[64];
      std::snprintf(text, sizeof text, "%g", static_cast<double>(rate));
      sink_("NasosWork::work : pump " + std::to_string(i + 1) + ": stroke rate " + text +
            (std::isfinite(rate)
                 ? " is negative; the pump is taken as working (check the sensor's wiring or "
                   "calibration), its strokes add no flow"
                 : " is not a number; taken as no strokes until it reads again, the pump shows "
                   "working only for its hold time"));
    }
    bad_[i] = odd;
    strokes_[i] = std::isfinite(rate) ? rate : 0.0f;
    if (lib::is_over_null(rate)) counters_[i] = kHoldTicks;
  }
}

bool NasosWork::is_working(int pump) const {
  return hold(pump) != 0;
}

std::int32_t NasosWork::hold(int pump) const {
  if (pump < 0 || pump >= kPumpCount) return 0;
  return counters_[static_cast<std::size_t>(pump)];
}

float NasosWork::strokes(int pump) const {
  if (pump < 0 || pump >= kPumpCount) return 0;
  return strokes_[static_cast<std::size_t>(pump)];
}

void NasosWork::serial_fields(lib::serial_list& list, unsigned /*version*/) {
  std::array<std::int32_t, kPumpCount> c = counters_;
  for (auto& v : c) list.add(v);
  if (list.reading()) {
    for (std::size_t i = 0; i < c.size(); ++i) {
      if (c[i] < 0 || c[i] > kHoldTicks) {
        throw lib::io::StreamError("pump " + std::to_string(i + 1) + " hold counter " +
                                   std::to_string(c[i]) + " is outside 0.." +
                                   std::to_string(kHoldTicks));
      }
    }
    counters_ = c;
  }
}

// ---- ObTrub ------------------------------------------------------------------------------------

ObTrub::ObTrub() : lib::SerialModuleBase(fmt::kTurbineModuleName, fmt::kTurbineStateVersion) {}

float ObTrub::calc_value(float flow) {
  if (!on_) return 0;
  const double v = static_cast<double>(flow) * coeff_;
  if (!std::isfinite(v)) return last_;
  last_ = static_cast<float>(v);
  return last_;
}

void ObTrub::get_options(lib::options_list& o) {
  o.sector(fmt::kTurbineSection, "Турбина");
  o.add(fmt::kTurbineOnKey, "Расчёт оборотов турбины", on_, true);
  o.add(fmt::kTurbineCoeffKey, "Обороты турбины на единицу расхода", coeff_, 1.0, 3);
}

void ObTrub::serial_fields(lib::serial_list& list, unsigned /*version*/) {
  float last = last_;
  list.add(last);
  if (list.reading()) {
    if (!std::isfinite(last))
      throw lib::io::StreamError("the last turbine speed is not a finite number");
    last_ = last;
  }
}

// ---- VEmkOpt -----------------------------------------------------------------------------------

float VEmkOpt::calc_volume(float level) {
  double v = 0;
  if (table_.size() >= 2) {
    const double l = level;
    // Between two points the walls are taken as straight; above the last point the last
    // slope goes on, below the first the tank narrows to nothing at level 0.
    std::size_t i = 1;
    while (i + 1 < table_.size() && l > table_[i].first) ++i;
    const auto& [l0, v0] = table_[i - 1];
    const auto& [l1, v1] = table_[i];
    if (l < table_.front().first && table_.front().first > 0) {
      v = table_.front().second * l / table_.front().first;
    } else {
      v = v0 + (v1 - v0) * (l - l0) / (l1 - l0);
    }
  } else {
    v = static_cast<double>(level) * s_;
  }
  volume_ = std::isfinite(v) && v > 0 ? static_cast<float>(v) : 0.0f;
  return volume_;
}

void VEmkOpt::set_to_string(std::string& text) const {
  lib::StringContainer f;
  f.add(number(s_));
  f.add(used_ ? "1" : "0");
  f.add(number(volume_));
  f.add(doliv_ ? "1" : "0");
  f.add(in_tank_ ? "1" : "0");
  f.add(number(height_));
  f.add(caption_);
  f.add(mud_type_);
  text = f.comma_text();
}

void VEmkOpt::get_from_string(const std::string& text) {
  lib::StringContainer f;
  f.set_comma_text(text);
  if (f.size() < fmt::kMinLineFields) {
    throw TankError("the line \"" + text + "\" has " + std::to_string(f.size()) +
                    " fields, at least " + std::to_string(fmt::kMinLineFields) +
                    " are needed (s,used,volume,doliv,in,height[,caption,mud])");
  }
  std::string why;
  double s = 0, volume = 0, height = 0;
  bool used = false, doliv = false, in = false;
  auto need = [&](bool ok, const char* field) {
    if (!ok) throw TankError(std::string("field ") + field + ": " + why);
  };
  need(lib::parse_finite_float(f[fmt::kAreaField], s, why), "s (area)");
  need(parse_flag(f[fmt::kUsedField], used, why), "used");
  need(lib::parse_finite_float(f[fmt::kVolumeField], volume, why), "volume");
  need(parse_flag(f[fmt::kDolivField], doliv, why), "doliv");
  need(parse_flag(f[fmt::kInTankField], in, why), "in");
  need(lib::parse_finite_float(f[fmt::kHeightField], height, why), "height");
  if (height < 0) {
    why = "the height " + number(height) + " is negative";
    need(false, "height");
  }
  s_ = static_cast<float>(s);
  used_ = used;
  volume_ = volume > 0 ? static_cast<float>(volume) : 0.0f;
  doliv_ = doliv;
  in_tank_ = in;
  height_ = static_cast<float>(height);
  caption_ = f.size() > fmt::kCaptionField ? f[fmt::kCaptionField] : std::string();
  mud_type_ = f.size() > fmt::kMudField ? f[fmt::kMudField] : std::string();
}

void VEmkOpt::set_table(std::vector<std::pair<float, float>> points) {
  if (points.empty()) {
    table_.clear();
    return;
  }
  if (points.size() < 2)
    throw TankError("a level table needs at least two points, it has " +
                    std::to_string(points.size()));
  for (std::size_t i = 0; i < points.size(); ++i) {
    const auto [l, v] = points[i];
    const std::string at =
        "point " + std::to_string(i + 1) + " (" + number(l) + " m, " + number(v) + " m³)";
    if (!std::isfinite(l) || !std::isfinite(v)) throw TankError(at + " is not a number");
    if (v < 0) throw TankError(at + ": a negative volume");
    if (i == 0) continue;
    const auto [pl, pv] = points[i - 1];
    if (l == pl) throw TankError(at + ": the level is repeated");
    if (l < pl) throw TankError(at + ": the levels are not in rising order");
    if (v < pv) throw TankError(at + ": the volume falls while the level rises");
  }
  table_ = std::move(points);
}

void VEmkOpt::set_height(float height) {
  if (height > 0) height_ = height;
}

void VEmkOpt::set_area(float s) {
  if (!std::isfinite(s)) throw TankError("the area " + number(s) + " is not a number");
  s_ = s;
}

// ---- VEmkOpts ----------------------------------------------------------------------------------

VEmkOpts::VEmkOpts() : lib::SerialModuleBase(fmt::kTanksSerialName, fmt::kTanksStateVersion) {
  for (int k = 1; k <= kTankCount; ++k) {
    tanks_[static_cast<std::size_t>(k - 1)] = VEmkOpt(level_name(k), volume_name(k));
  }
}

void VEmkOpts::set_error_sink(TankErrorSink sink) {
  pumps_.set_error_sink(sink);
  sink_ = std::move(sink);
}

std::string VEmkOpts::level_name(int number) {
  return number == 1 ? std::string("уровень_в_емкости")
                     : "уровень_в_емкости" + std::to_string(number);
}

std::string VEmkOpts::volume_name(int number) {
  return "объем_в_емкости" + std::to_string(number);
}

VEmkOpt& VEmkOpts::operator[](int index) {
  if (index < 0 || index >= kTankCount) {
    spare_ = VEmkOpt();
    return spare_;
  }
  return tanks_[static_cast<std::size_t>(index)];
}

const VEmkOpt& VEmkOpts::operator[](int index) const {
  static const VEmkOpt kNone;
  if (index < 0 || index >= kTankCount) return kNone;
  return tanks_[static_cast<std::size_t>(index)];
}

VEmkOpt& VEmkOpts::operator[](std::string_view name) {
  for (auto& t : tanks_) {
    if (t.name_ == name || t.vname_ == name) return t;
  }
  spare_ = VEmkOpt();
  return spare_;
}

void VEmkOpts::calc_total() {
  float active = 0, whole = 0, doliv = 0, in = 0;
  for (const auto& t : tanks_) {
    whole += t.volume_;
    if (!t.used_) continue;
    active += t.volume_;
    if (t.doliv_) doliv += t.volume_;
    if (t.in_tank_) in += t.volume_;
  }
  active_ = active;
  whole_ = whole;
  doliv_ = doliv;
  in_tank_ = in;
}

void VEmkOpts::check_captions() {
  for (std::size_t i = 0; i < tanks_.size(); ++i) {
    VEmkOpt& t = tanks_[i];
    if (!t.vname_.empty() && t.caption_.empty()) t.caption_ = "Ёмкость " + std::to_string(i + 1);
  }
}

std::vector<std::string> VEmkOpts::load_settings(const lib::IniFile& ini) {
  std::vector<std::string> notes;
  for (const lib::OptionIssue& i : turbine_.load(ini)) {
    notes.push_back("[" + i.section + "] " + i.key + " = \"" + i.text + "\": " + i.reason);
  }
  for (int k = 1; k <= kTankCount; ++k) {
    VEmkOpt& tank = tanks_[static_cast<std::size_t>(k - 1)];
    const std::string key = std::to_string(k);
    if (const auto line = ini.find(fmt::kTanksSection, key)) {
      try {
        tank.get_from_string(*line);
        // An area of 0 (or below) is how a tank is switched off: taken as it is, and told
        // once per load so a mistyped area does not pass unseen.
        if (!(tank.s_ > 0)) {
          notes.push_back(std::string("[") + fmt::kTanksSection + "] " + key + ": the area " +
                          number(tank.s_) + " is not above 0; tank " + key +
                          " gives a volume of 0 from its level (taken as switched off)");
        }
      } catch (const TankError& e) {
        notes.push_back(std::string("[") + fmt::kTanksSection + "] " + key + ": " + e.what() +
                        "; tank " + key + " keeps its settings (area " + number(tank.s_) + ")");
      }
    }
    const auto table = ini.find(fmt::kTablesSection, key);
    if (!table) continue;
    lib::StringContainer f;
    f.set_comma_text(*table);
    std::vector<std::pair<float, float>> points;
    std::string problem;
    if (f.size() % 2 != 0) {
      problem = "an odd number of values (" + std::to_string(f.size()) + "); level,volume pairs";
    }
    for (std::size_t i = 0; problem.empty() && i + 1 < f.size(); i += 2) {
      double l = 0, v = 0;
      std::string why;
      if (!lib::parse_finite_float(f[i], l, why) || !lib::parse_finite_float(f[i + 1], v, why)) {
        problem = "point " + std::to_string(i / 2 + 1) + ": " + why;
      } else {
        points.emplace_back(static_cast<float>(l), static_cast<float>(v));
      }
    }
    try {
      if (!problem.empty()) throw TankError(problem);
      tank.set_table(std::move(points));
    } catch (const TankError& e) {
      notes.push_back(std::string("[") + fmt::kTablesSection + "] " + key + ": " + e.what() +
                      "; tank " + key +
                      (tank.table_.empty() ? " works from its area " + number(tank.s_) + " m²"
                                           : std::string(" keeps its previous table")));
    }
  }
  check_captions();
  return notes;
}

void VEmkOpts::save_settings(lib::IniFile& ini) const {
  const_cast<ObTrub&>(turbine_).save(ini);
  ini.delete_section(fmt::kTanksSection);
  ini.set_int(fmt::kTanksSection, "count", kTankCount);
  ini.delete_section(fmt::kTablesSection);
  for (int k = 1; k <= kTankCount; ++k) {
    const VEmkOpt& t = tanks_[static_cast<std::size_t>(k - 1)];
    std::string line;
    t.set_to_string(line);
    ini.set_string(fmt::kTanksSection, std::to_string(k), line);
    if (t.table_.empty()) continue;
    lib::StringContainer f;
    for (const auto& [l, v] : t.table_) {
      f.add(lib::float_to_str(l, 3));
      f.add(lib::float_to_str(v, 3));
    }
    ini.set_string(fmt::kTablesSection, std::to_string(k), f.comma_text());
  }
}

void VEmkOpts::serial_fields(lib::serial_list& list, unsigned /*version*/) {
  float active = active_, whole = whole_, doliv = doliv_, circ = circulating_;
  std::int32_t reserved = reserved_;
  std::array<float, kTankCount> volumes{};
  for (std::size_t i = 0; i < volumes.size(); ++i) volumes[i] = tanks_[i].volume_;
  list.add(active).add(whole).add(doliv).add(circ).add(reserved);
  for (auto& v : volumes) list.add(v);
  if (!list.reading()) return;
  const auto check = [](float v, const std::string& what) {
    if (!std::isfinite(v) || v < 0)
      throw lib::io::StreamError(what + " " + number(v) + " is not a volume");
  };
  check(active, "the active volume");
  check(whole, "the whole volume");
  check(doliv, "the trip-tank volume");
  // The circulating system is worked out from the well model and may be below 0 while the
  // well model is incomplete; only a value that is not a number is damage.
  if (!std::isfinite(circ))
    throw lib::io::StreamError("the circulating-system volume is not a number");
  for (std::size_t i = 0; i < volumes.size(); ++i)
    check(volumes[i], "tank " + std::to_string(i + 1) + " volume");
  active_ = active;
  whole_ = whole;
  doliv_ = doliv;
  circulating_ = circ;
  reserved_ = reserved;
  for (std::size_t i = 0; i < volumes.size(); ++i) tanks_[i].volume_ = volumes[i];
}

}  // namespace calc
