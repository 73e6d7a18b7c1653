// Identifiers that other modules and plug-ins use by name. Keeping them here, once, means
// a calculation and the catalogue can never disagree about how a parameter is spelled.
// The "zts_" and "davl_" names are not catalogue entries: they name values supplied by
// the telemetry and pressure modules.
#pragma once

namespace params::ParamVars {

// Tank levels: the first tank carries no number, the others do.
inline constexpr const char* h_emk1 = "уровень_в_емкости";
inline constexpr const char* h_emk2 = "уровень_в_емкости2";
inline constexpr const char* h_emk3 = "уровень_в_емкости3";
inline constexpr const char* h_emk4 = "уровень_в_емкости4";
inline constexpr const char* h_emk5 = "уровень_в_емкости5";
inline constexpr const char* h_emk6 = "уровень_в_емкости6";
inline constexpr const char* h_emk7 = "уровень_в_емкости7";
inline constexpr const char* h_emk8 = "уровень_в_емкости8";
inline constexpr const char* h_emk9 = "уровень_в_емкости9";
inline constexpr const char* h_emk10 = "уровень_в_емкости10";
inline constexpr const char* h_emk11 = "уровень_в_емкости11";
inline constexpr const char* h_emk12 = "уровень_в_емкости12";
inline constexpr const char* h_emk13 = "уровень_в_емкости13";
inline constexpr const char* h_emk14 = "уровень_в_емкости14";
inline constexpr const char* h_emk15 = "уровень_в_емкости15";
inline constexpr const char* h_emk16 = "уровень_в_емкости16";

// Tank volumes, all numbered.
inline constexpr const char* v_emk1 = "объем_в_емкости1";
inline constexpr const char* v_emk2 = "объем_в_емкости2";
inline constexpr const char* v_emk3 = "объем_в_емкости3";
inline constexpr const char* v_emk4 = "объем_в_емкости4";
inline constexpr const char* v_emk5 = "объем_в_емкости5";
inline constexpr const char* v_emk6 = "объем_в_емкости6";
inline constexpr const char* v_emk7 = "объем_в_емкости7";
inline constexpr const char* v_emk8 = "объем_в_емкости8";
inline constexpr const char* v_emk9 = "объем_в_емкости9";
inline constexpr const char* v_emk10 = "объем_в_емкости10";
inline constexpr const char* v_emk11 = "объем_в_емкости11";
inline constexpr const char* v_emk12 = "объем_в_емкости12";
inline constexpr const char* v_emk13 = "объем_в_емкости13";
inline constexpr const char* v_emk14 = "объем_в_емкости14";
inline constexpr const char* v_emk15 = "объем_в_емкости15";
inline constexpr const char* v_emk16 = "объем_в_емкости16";

inline constexpr int kTankCount = 16;
// The same identifiers by tank index 0..15, for code that walks the tanks.
inline constexpr const char* h_emk[kTankCount] = {
    h_emk1, h_emk2,  h_emk3,  h_emk4,  h_emk5,  h_emk6,  h_emk7,  h_emk8,
    h_emk9, h_emk10, h_emk11, h_emk12, h_emk13, h_emk14, h_emk15, h_emk16};
inline constexpr const char* v_emk[kTankCount] = {
    v_emk1, v_emk2,  v_emk3,  v_emk4,  v_emk5,  v_emk6,  v_emk7,  v_emk8,
    v_emk9, v_emk10, v_emk11, v_emk12, v_emk13, v_emk14, v_emk15, v_emk16};

inline constexpr const char* v_meh = "скорость_механическая";
inline constexpr const char* ob_rot = "обороты_ротора";
inline constexpr const char* nagr = "нагрузка";
inline constexpr const char* pomp = "ходы_насоса";

inline constexpr const char* radio_dens_in = "плотн_пж_вх_радиоакт";
inline constexpr const char* radio_dens_out = "плотн_пж_вых_радиоакт";
inline constexpr const char* ud_soprotivl_in = "уд_сопротивл_вх";
inline constexpr const char* ud_soprotivl_out = "уд_сопротивл_вых";
inline constexpr const char* el_prov_in = "электропроводность_на_входе";
inline constexpr const char* el_prov_out = "электропроводность_на_выходе";

inline constexpr const char* incl_depth_param_name = "zts_глубина";
inline constexpr const char* zenit_param_name = "zts_зенит";
inline constexpr const char* azimut_param_name = "zts_азимут";

inline constexpr const char* potery_zatr_name = "потери_в_затрубъе";
inline constexpr const char* potery_kolonna_name = "потери_в_колонне";
inline constexpr const char* ekv_plotn_name = "экв_плот_раствора";
inline constexpr const char* davl_svab_name = "давл_свабирования";
inline constexpr const char* eff_davl_name = "эфф_давл_на_забой";

inline constexpr const char* davl_por_name = "davl_por";
inline constexpr const char* davl_plast_norm_name = "davl_plast_norm";
inline constexpr const char* davl_gidrost_name = "davl_gidrost";
inline constexpr const char* davl_gidrorazr_name = "davl_gidrorazr";
inline constexpr const char* davl_k_anom_name = "davl_k_anom";
inline constexpr const char* davl_gorn_name = "davl_gorn";

}  // namespace params::ParamVars
