#include "derived_values_plugin.h"

#include <exception>
#include <optional>

#include "derived_values_file.h"
#include "derived_values_format.h"

namespace derived_values {

void DerivedValuesPlugin::get_info(reg::PluginInfo& info) {
  info.title = "Производные параметры";
  info.name = kPluginName;
  info.caption = "Производные параметры";
  info.flags = reg::kPluginHasOptions;
}

void DerivedValuesPlugin::init() {
  load();
}

void DerivedValuesPlugin::options() {
  load();
}

void DerivedValuesPlugin::load() {
  reg::PluginHost* station = host();
  if (station == nullptr) return;
  formulas_.clear();
  failing_count_ = 0;

  const std::string path = station->get_variable("work_path") + kFileName;
  std::string error;
  const std::optional<std::string> text = station->read_file(path, kMaxFileBytes, error);
  if (!text) {
    station->write_error("не удалось прочитать файл '" + path + "': " + error);
    return;
  }
  ParsedFile parsed = parse_definitions(*text);
  for (const std::string& problem : parsed.problems)
    station->write_error(kFileName + (": " + problem));

  for (Definition& definition : parsed.definitions) {
    const std::string where = std::string(kFileName) + ": строка " +
                              std::to_string(definition.line) + " '" + definition.name + "': ";
    Derived derived{definition.name, {}, nullptr};
    try {
      derived.formula = formula::CompiledFormula::compile(definition.formula);
    } catch (const formula::FormulaException& e) {
      station->write_error(where + e.text());
      continue;
    }
    if (auto certain = derived.formula.certain_error()) {
      station->write_error(where + *certain);
      continue;
    }
    // A reread keeps the value registered earlier under the same name.
    std::shared_ptr<double> value;
    for (auto& [name, slot] : registered_) {
      if (name == definition.name) value = slot;
    }
    if (!value) {
      // The station compares names without regard to case, so this catches "Имя" against
      // "имя" as well.
      if (station->name_exists(definition.name)) {
        station->write_error(where + "имя уже занято другим значением");
        continue;
      }
      value = std::make_shared<double>(0.0);
      station->register_value(definition.name, definition.name, "", reg::kValuePlain,
                              [value] { return *value; });
      registered_.emplace_back(definition.name, value);
    }
    bool defined_twice = false;
    for (const Derived& earlier : formulas_)
      defined_twice = defined_twice || earlier.value == value;
    if (defined_twice) {
      station->write_error(where + "имя определено дважды");
      continue;
    }
    derived.value = std::move(value);
    formulas_.push_back(std::move(derived));
  }
  // Names dropped from the file read 0 from now on.
  for (auto& [name, slot] : registered_) {
    bool kept = false;
    for (const Derived& derived : formulas_) kept = kept || derived.value == slot;
    if (!kept) *slot = 0.0;
  }
}

void DerivedValuesPlugin::evaluate(Derived& derived) {
  reg::PluginHost& station = *host();
  try {
    *derived.value = derived.formula.evaluate(
        [&station](const std::string& name) { return station.get_value(name); });
    if (derived.failing) {
      derived.failing = false;
      --failing_count_;
    }
  } catch (const formula::FormulaException& e) {
    *derived.value = 0.0;
    // Once per failure spell: a formula that divides by a zero reading would otherwise
    // write a line every second for as long as the reading stays zero.
    if (!derived.failing) {
      derived.failing = true;
      ++failing_count_;
      station.write_error("'" + derived.name + "': " + e.text());
    }
  }
}

void DerivedValuesPlugin::data_calc_completed() {
  if (host() == nullptr) return;
  for (Derived& derived : formulas_) evaluate(derived);
}

std::string DerivedValuesPlugin::status_text() {
  if (formulas_.empty()) return {};
  std::string text = "формул: " + std::to_string(formulas_.size());
  if (failing_count_ > 0) text += ", с ошибкой: " + std::to_string(failing_count_);
  return text;
}

}  // namespace derived_values
