#include "params/param_dependencies.h"

#include "params/param_vars.h"

namespace params {
namespace {

constexpr const char* kTripTankLevel = "уровень_в_долив_емкости";
constexpr const char* kTripTankVolume = "объем_в_долив_емкости";

std::vector<ParamDependency> build() {
  using namespace ParamVars;
  std::vector<ParamDependency> rules;
  // Each tank's volume follows from its level.
  for (int i = 0; i < kTankCount; ++i) rules.push_back({h_emk[i], v_emk[i]});
  rules.push_back({kTripTankLevel, kTripTankVolume});

  // Conductivity and resistivity are each other's inverse: both or neither.
  rules.push_back({el_prov_in, ud_soprotivl_in});
  rules.push_back({el_prov_out, ud_soprotivl_out});
  rules.push_back({ud_soprotivl_in, el_prov_in});
  rules.push_back({ud_soprotivl_out, el_prov_out});

  // The summed volumes need at least one tank level.
  std::string any_level;
  for (int i = 0; i < kTankCount; ++i) any_level += std::string(h_emk[i]) + ",";
  any_level += kTripTankLevel;
  rules.push_back({any_level,
                   "объем_актив_емкости,объем_емкости,объем_раствора,объем_в_доливных_емкостях,"
                   "объем_в_приёмных_емкостях"});

  // Relative gas is the absolute reading normalised.
  rules.push_back({"метан_абс", "метан_отн"});
  rules.push_back({"этан_абс", "этан_отн"});
  rules.push_back({"пропан_абс", "пропан_отн"});
  rules.push_back({"бутан_абс", "бутан_отн"});
  rules.push_back({"пентан_абс", "пентан_отн"});
  rules.push_back({"гексан_абс", "гексан_отн"});

  // Total gas is summed over the absolute components.
  rules.push_back({"метан_абс,этан_абс,пропан_абс,бутан_абс,пентан_абс,гексан_абс", "сумм_газ"});
  return rules;
}

}  // namespace

const std::vector<ParamDependency>& param_dependencies() {
  static const std::vector<ParamDependency> rules = build();
  return rules;
}

}  // namespace params
