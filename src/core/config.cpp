#include "core/config.h"

#include <system_error>

#include "calc/depth_calc.h"
#include "calc/tanks.h"
#include "lib/file_system.h"

#include "lib/str_utils.h"

namespace reg {

namespace {

constexpr const char* kOutParamsDefault =
    "электропроводность_на_выходе,температура_на_выходе,плотность_на_выходе,"
    "плотн_пж_вых_радиоакт,уд_сопротивл_вых,сумм_газ3,сумм_емкости,сумм_буровая,сероводород,"
    "водород,сероводород1,сероводород2,сероводород3,сероводород4,сероводород5,сероводород6,"
    "сероводород7,сероводород8,co2_2";
constexpr const char* kGasParamsDefault =
    "метан_абс,этан_абс,пропан_абс,бутан_абс,пентан_абс,гексан_абс,изобутан_абс,изопентан_абс,"
    "изогексан_абс,метан_отн,этан_отн,пропан_отн,бутан_отн,пентан_отн,гексан_отн,изобутан_отн,"
    "изопентан_отн,изогексан_отн,максимальный_газ,сумм_газ,сумм_газ2,сумм_гвл,сумм_пид,норм_газ,"
    "метан1,метан2,co2";

constexpr const char* kPumpStrokesPrefix = "ходы_насоса";
constexpr const char* kRotorSpeed = "обороты_ротора";

void add_button(lib::options_list& o, const std::string& prefix, const std::string& label,
                Config::Button& b, int channel_default) {
  o.add(prefix + ".uso", "УСО где подключена кнопка " + label, b.uso, 0);
  o.add(prefix + ".ch", "Канал кнопки " + label, b.channel, channel_default);
  o.add(prefix + ".use", "Использовать кнопку " + label, b.use, false);
}

}  // namespace

Config::Config()
    : min_max_values_(std::make_unique<alarms::MinMaxValues>()),
      min_max_values2_(std::make_unique<alarms::MinMaxValues>(kSecondThresholdSection)),
      wits_options_(std::make_unique<wits::WITSReceiverOptions>()),
      race_info_(std::make_unique<calc::RaceInfoOld>()) {
  defaults();
}

Config::~Config() = default;

void Config::defaults() {
  set_defaults();
  out_params.set_comma_text(kOutParamsDefault);
  gas_params.set_comma_text(kGasParamsDefault);
  min_max_values_->set_defaults();
  min_max_values2_->clear();
  wits_options_->defaults();
}

void Config::get_options(lib::options_list& o) {
  o.sector("рейс", "Рейс");
  o.add("номер_долбления", "", race.drill_number, 1);

  o.sector("ДОЛ", "ДОЛ");
  o.add("коэффицент_ДОЛа", "Коэффициент", dol.koef, 150, 3).set_unit("Имп/м");
  o.add("коэффицент_ДОЛа_up", "Коэффициент на подъем", dol.koef_up, 150, 3).set_unit("Имп/м");
  o.add("коэффицент_ДОЛа_dn", "Коэффициент на спуск", dol.koef_dn, 150, 3).set_unit("Имп/м");
  o.add("KoefD_advanced", "Коэффициент по операциям", dol.koef_by_operation, false);
  o.add("длина_мерного_участка", "Мерный участок", dol.measured_length, 12.4, 1).set_unit("м");
  o.add("реверс_ДОЛ", "Реверс (-1 или 1)", dol.reverse, 1);
  o.add("усо_ДОЛ", "УСО где подключен ДОЛ", dol.uso, 0);
  o.add("канал_ДОЛ", "Канал ДОЛ", dol.channel, 0);
  o.add("свеча", "Ход талевого блока", dol.block_travel, 36, 1).set_unit("м");
  o.add("мин_тальблок", "Мин. значение тальблока", dol.min_block, 0, 1).set_unit("м");

  o.sector("запись_и_осреднение", "Запись и осреднение");
  o.add("запись_по_глубине", "Шаг записи по глубине", recording.depth_step, 0.2, 2).set_unit("м");
  o.add("запись_по_времени", "Шаг записи по времени", recording.time_step, 10000).set_unit("мс");
  o.add("save_fast_file", "Сохранять быстрый файл", recording.save_fast_file, false);
  o.add("период_сохранения_состояния", "Период сохранения состояния", recording.state_save_period,
        5)
      .set_unit("сек.")
      .set_range(1, 86400);

  Recognition& r = recognition;
  o.sector("настройки_распознавания", "Настройки распознавания");
  o.add("нулевой_вес", "Нулевой вес", r.zero_weight, 10, 1).set_unit("т");
  o.add("use_rotor", "Учитывать вращение ротора при определении Проработки", r.use_rotor, false);
  o.add("use_klinya", "Использовать клинья", r.use_klinya, false);
  o.add("auto_wes", "Автоматическое взвешивание", r.auto_wes, false);
  o.add("нулевое_давление", "Нулевое давление", r.zero_pressure, 30, 1).set_unit("атм.");
  o.add("макс_нагрузка", "Максимальная нагрузка", r.max_load, 30, 1).set_unit("т");
  o.add("мин_нагрузка", "Минимальная нагрузка", r.min_load, 0.5, 1).set_unit("т");
  o.add("общий_вес_колонны", "Общий вес колонны", r.column_weight, 5, 1).set_unit("т");
  o.add("общий_вес_колонны_бв", "Общий вес колонны без вращения", r.column_weight_no_rotation, -1,
        1)
      .set_unit("т");
  o.add("глубина_для_нагрузки", "Глубина над забоем для расчёта нагрузки", r.load_depth, 100, 1)
      .set_unit("м");
  o.add("мин_время_операции", "Минимальное время технологической операции", r.min_operation_time, 3)
      .set_unit("мин");
  add_button(o, "button_ves", "ВЕС", r.ves, 5);
  add_button(o, "button_tal", "ТАЛЬБЛОК", r.tal, 6);
  add_button(o, "button_zaboy", "ЗАБОЙ", r.zaboy, 6);

  Other& x = other;
  o.sector("прочие_настройки", "Прочие настройки");
  o.add("last_tal", "", x.last_tal, 0, 2).set_unit("м");
  for (int i = 0; i < kPumpCount; ++i) x.pumps[i].add_options(o, i + 1);
  o.add("база_плотномера", "База плотномера", x.densimeter_base, 1, 2).set_unit("м");
  o.add("коэффицент_плотномера", "Коэффициент плотномера", x.densimeter_koef, 84, 2);
  o.add("коэффицент_полиспаста", "Коэффицент полиспаста", x.polispast_koef, 10, 2);
  o.add("KoefTPlt1", "Темп. коэф. на входе", x.koef_tplt_in, 0, 2);
  o.add("KoefTPlt2", "Темп. коэф. на выходе", x.koef_tplt_out, 0, 2);
  o.add("размер_экрана", "", x.screen_size, 1800);
  o.add("доб_V_раствора", "Добавочный объём раствора", x.extra_mud_volume, 0, 2).set_unit("м³");
  o.add("коэф_ротора", "Коэффициент ротора", x.rotor_koef, 1, 2);
  o.add("рот_имп_на_оборот", "Число импульсов на оборот ротора", x.rotor_pulses_per_rev, 1);

  Link& l = link;
  o.sector("связь", "Связь с УСО");
  o.add("data_source", "Тип источника данных\n(пульт=0,комп=1,файл=2)", l.data_source, 0);
  o.add("порт", "Имя порта", l.port, "COM1");
  o.add("uso_addrs", "Адреса УСО", l.uso_addrs, "1");
  o.add("звук", "Звук при получении данных", l.sound, true);
  o.add("звук_длина", "Длительность звука при получении данных", l.sound_length, 20);
  o.add("id_пульта_бурильщика", "Тип пульта бурильщика", l.pult_id, 10);
  o.add("remote_computer", "Имя удалённого компьютера", l.remote_computer, "::не задано::");
  o.add("use_pult_signal", "Использовать сигнализацию на пульте", l.use_pult_signal, true);
  o.add("use_pult_relay", "Использовать реле на пульте", l.use_pult_relay, false);
  o.add("ds_file_name", "Имя файла для имитатора", l.ds_file_name, "");
  o.add("net_name", "Адрес сервера УСО", l.net_name, "");
  o.add("use_net_uso", "Использовать сервер УСО", l.use_net_uso, false);
  o.add("super_port", "Порт соединения с удаленным компьютером", l.super_port, 65005);
  o.add("id_шлюз_смс", "Шлюз СМС", l.sms_gate_id, -1);
  o.add("sms_gate_login", "Логин шлюза СМС", l.sms_gate_login, "");
  o.add("sms_gate_pass", "Пароль шлюза СМС", l.sms_gate_pass, "");
  o.add("sms_gate_sender", "Отправитель шлюза СМС", l.sms_gate_sender, "");
  o.add("sms_channel", "Канал шлюза СМС", l.sms_channel, 0);
  o.add("sms_gate_template", "Шаблон СМС", l.sms_gate_template,
        "%deposit% %pore%: %param%=%value% %unit%");

  LagDepth& g = lag;
  o.sector("задержанная_глубина", "Задержанная глубина");
  o.add("нулевой_расход_на_выходе", "Нулевой расход на выходе", g.zero_out_flow, 17)
      .set_unit("л/с");
  o.add("расход_на_выходе", "Расход на выходе", g.out_flow, 25, 1).set_unit("л/с");
  o.add("расчет_по_времени_отставания", "Расчёт без учёта объёма затрубъя", g.by_lag_time, 1);
  o.add("время_отставания", "Время отставания", g.lag_time, 0, 4).set_unit("секунд");
  o.add("добавка_ко_времени", "Добавка ко врмени отставания", g.lag_time_add, 0, 5)
      .set_unit("сек/100м");
  o.add("циркуляция_по_давлению", "Определать циркуляцию по давлению", g.circulation_by_pressure,
        1);
  o.add("время_прохода_газа", "Время прохода газа по ГВЛ", g.gas_pass_time, 0).set_unit("с");
  o.add("пром_расч_врем_вых_метки", "Промежуток для расчёта времени\nвыхода метки",
        g.mark_time_interval, 1)
      .set_unit("м");
  o.add("исп_расх_с", "Источник значения расхода ПЖ", g.flow_source, 1);

  Sound& s = sound;
  o.sector("звуковое_предупреждение",
           "Звуковая сигнализация\n(0-нет, 1-коротк., 2-длинный сигнал, 3-голос)");
  o.add("включение_давление", "Включение давления", s.pressure_on, 0);
  o.add("отключение_давления", "Отключение давления", s.pressure_off, 0);
  o.add("постановка_на_забой", "Постановка на забой", s.on_bottom, 0);
  o.add("вид_звука", "Тип звука", s.sound_type, 1);
  o.add("signal_prihvat_type", "Сигнализировать о прихвате", s.stuck_signal_type, 0);
  o.add("signal_prihvat", "Интревал прихвата", s.stuck_interval, 1);
  o.add("voice_operations", "Озвучивать операции голосом", s.voice_operations, true);
  o.add("voice_alarms", "Озвучивать аварийные значения параметров голосом", s.voice_alarms, true);
  o.add("voice_warns", "Озвучивать предупреждения голосом", s.voice_warns, true);

  o.sector("видеонаблюдение", "Видеонаблюдение");
  for (int i = 0; i < 4; ++i) {
    const std::string n = std::to_string(i + 1);
    o.add("cam" + n + "URL", "URL Камеры " + n, video.cam_url[i], "");
  }
  o.add("cam_ds", "Ширина снимка видео", video.snapshot_width, 320).set_unit("пикс.");
  o.add("cam_co", "Качество сжатия снимка", video.compression_quality, 75).set_unit("%");

  o.sector("журналы", "Журналы станции");
  o.add("размер_журнала", "Размер файла журнала", logs.max_mb, 8).set_unit("МБ").set_range(1, 1024);
  o.add("старых_журналов", "Сколько старых файлов журнала хранить", logs.keep,
        lib::LogLimits::kDefaultKeep)
      .set_range(1, lib::LogLimits::kMaxKeep);

  o.sector("прием_wits", "Прием WITS");
  o.add("устаревание_wits", "Значение WITS устаревает через", wits_receive.stale_after_s, 10)
      .set_unit("с")
      .set_range(1, 3600);
}

void Config::report(const std::string& message) const {
  if (collected_ != nullptr) {
    collected_->push_back(message);
  } else if (error_sink_) {
    error_sink_("Config: " + message);
  }
}

std::string describe_option_issue(const std::string& path, const lib::OptionIssue& issue) {
  if (issue.key.empty()) return path + ": " + issue.reason;
  return path + ": [" + issue.section + "] " + issue.key + " = \"" + issue.text +
         "\": " + issue.reason;
}

std::vector<std::string> Config::load_for_start(const std::string& path, lib::FileSystem& fs) {
  lib::IniFile ini;
  ini.load_file(path, fs);  // IniError when the file exists but cannot be read
  std::vector<std::string> notes;
  if (lib::missing(fs, path)) {
    notes.push_back(path + ": settings file not found, every setting has its default");
  } else if (ini.undecodable()) {
    throw lib::IniError("settings file \"" + path + "\" cannot be decoded: " + ini.first_loss());
  } else {
    bool any_key = false;
    for (const std::string& section : ini.sections())
      any_key = any_key || !ini.keys(section).empty();
    if (!any_key)
      throw lib::IniError("settings file \"" + path + "\" is empty, it holds no settings");
  }
  for (const std::string& p : ini.problems()) notes.push_back(path + ": " + p);
  std::vector<std::string> lists;  // what the threshold and server lists had to skip
  collected_ = &lists;
  std::vector<lib::OptionIssue> issues;
  try {
    issues = load(ini);
  } catch (...) {
    collected_ = nullptr;
    throw;
  }
  collected_ = nullptr;
  for (const lib::OptionIssue& issue : issues) notes.push_back(describe_option_issue(path, issue));
  for (const std::string& m : lists) notes.push_back(path + ": " + m);
  return notes;
}

void Config::load_additional_info(const lib::IniFile& ini) {
  for (const std::string& p : min_max_values_->load(ini)) report(p);
  for (const std::string& p : min_max_values2_->load(ini)) report(p);
  for (const std::string& p : wits_options_->read(ini)) report(p);
  if (depth_calc_ != nullptr) {
    for (const std::string& p : depth_calc_->load_settings(ini)) report(p);
  }
  // Each tank line or table that cannot be used is reported; the tank keeps what it held.
  if (tanks_ != nullptr) {
    for (const std::string& p : tanks_->load_settings(ini)) report(p);
  }
  check();
  fill_to_variables();
}

void Config::save_additional_info(lib::IniFile& ini) const {
  min_max_values_->save(ini);
  min_max_values2_->save(ini);
  wits_options_->write(ini);
  if (depth_calc_ != nullptr) depth_calc_->save_settings(ini);
  if (tanks_ != nullptr) tanks_->save_settings(ini);
}

void Config::check() {
  // -1 is the "not set" marker of the weight without rotation, not a weight.
  if (recognition.column_weight_no_rotation == -1) {
    recognition.column_weight_no_rotation = recognition.column_weight;
  }
  // The pulse count divides the rotary speed; zero or less would make it meaningless.
  if (other.rotor_pulses_per_rev < 1) other.rotor_pulses_per_rev = 1;
}

void Config::fill_to_variables() const {
  if (!set_variable_) return;
  set_variable_("ves0", lib::float_to_str(recognition.zero_weight));
  set_variable_("KoefPolispast", lib::float_to_str(other.polispast_koef));
}

void Config::register_modules(lib::ModuleList& list) {
  list.register_module(*race_info_, calc::RaceInfoOld::kModuleName);
}

void Config::dril_types_to_strings(lib::StringContainer& list) {
  list.clear();
  for (calc::DrillType t : {calc::DrillType::kRotary, calc::DrillType::kTurbine,
                            calc::DrillType::kRotaryTurbine, calc::DrillType::kElectric}) {
    list.add(calc::get_drill_type_str(t));
  }
}

double Config::get_nas(int i) const {
  if (!current_value_) return 0;
  return current_value_(kPumpStrokesPrefix + std::to_string(static_cast<long long>(i) + 1));
}

double Config::get_rotor() const {
  return current_value_ ? current_value_(kRotorSpeed) : 0;
}

double& Config::koef_for(int operation) {
  if (dol.koef_by_operation) {
    if (operation == kTripDownOperation) return dol.koef_dn;
    if (operation == kTripUpOperation) return dol.koef_up;
  }
  return dol.koef;
}

void Config::set_KoefD(int operation, double koef) {
  koef_for(operation) = koef;
}

double Config::get_KoefD(int operation) const {
  return const_cast<Config*>(this)->koef_for(operation);
}

}  // namespace reg
