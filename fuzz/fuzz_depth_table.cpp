// Feeds arbitrary bytes to the depth calculator as settings-file text. Whatever it takes must
// be settings within their ranges and ranges of finite numbers, must save and load back the
// same with nothing to report, and every conversion over the table must give a finite travel
// or a DepthCalcError: never a hang, never a crash.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "calc/depth_calc.h"
#include "lib/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  lib::IniFile ini;
  ini.load_text(bytes);
  calc::DepthCalc dc("DepthCalc");
  dc.load_settings(ini);

  if (dc.get_mode() < 0 || dc.get_mode() > 1) __builtin_trap();
  if (dc.get_smooth_mode() < 0 || dc.get_smooth_mode() > 3) __builtin_trap();
  if (!(dc.get_corr_coeff() >= 0.5 && dc.get_corr_coeff() <= 2.0)) __builtin_trap();
  float low = 0, high = 0;
  for (const calc::DolCalibrItem& item : dc.get_elements_list()) {
    if (!std::isfinite(item.depth1) || !std::isfinite(item.depth2) || !std::isfinite(item.count))
      __builtin_trap();
    low = std::min({low, item.depth1, item.depth2});
    high = std::max({high, item.depth1, item.depth2});
  }

  lib::IniFile saved;
  dc.save_settings(saved);
  calc::DepthCalc back("DepthCalc");
  if (!back.load_settings(saved).empty()) __builtin_trap();
  // Numbers are written with three decimals.
  if (back.get_mode() != dc.get_mode() || back.get_smooth_mode() != dc.get_smooth_mode() ||
      std::fabs(back.get_corr_coeff() - dc.get_corr_coeff()) > 0.0005 || back.size() != dc.size())
    __builtin_trap();
  for (std::size_t i = 0; i < dc.size(); ++i) {
    const calc::DolCalibrItem& a = dc.get_elem(i);
    const calc::DolCalibrItem& b = back.get_elem(i);
    auto close = [](float x, float y) {
      return std::fabs(static_cast<double>(x) - y) <= 0.0005 + 1e-6 * std::fabs(x);
    };
    if (!close(a.depth1, b.depth1) || !close(a.depth2, b.depth2) || !close(a.count, b.count))
      __builtin_trap();
  }

  // Conversions over a window of the table's span: the block walks it one pulse at a time,
  // so a window of a few metres keeps a run short while any table shape is still met (the
  // cap on a walk's length has a unit test). The input's size picks the mode and fallback.
  const float from = std::max(low, -100.0f);
  const float to = std::min({high, 100.0f, from + 5.0f});
  static constexpr float kFallbacks[] = {-1.0f, 0.0f, 20.0f};
  dc.set_mode(static_cast<int>(size % 2));
  const float coeff = kFallbacks[size / 2 % 3];
  const float height = from + (to - from) * 0.37f;
  for (int pulses : {-50, 0, 7, 400}) {
    try {
      const float travel = dc.smart_calc_tal(pulses, height, coeff, from, to);
      if (!std::isfinite(travel)) __builtin_trap();
    } catch (const calc::DepthCalcError&) {
    }
    (void)dc.calc_coeff(height, coeff);
  }
  return 0;
}
