#include "params/par_tabl.h"

#include <algorithm>
#include <cstdint>

#include "lib/binary_stream.h"
#include "lib/ident.h"
#include "lib/str_utils.h"
#include "params/all_params.h"
#include "params/db_params.h"
#include "params/extended_file.h"
#include "params/param_dependencies.h"
#include "params/param_file.h"
#include "params/wits_config.h"
#include "params/wits_config_format.h"

namespace params {
namespace {

constexpr unsigned kSerialVersion = 1;
// Smallest state record of a row: four empty strings and the fixed fields.
constexpr std::uint64_t kMinSerialRowBytes = 4 * 4 + 4 + 4 * 4 + 4 + 1 + 4 + 4;

constexpr const char* kLoadPrefix = "ParTabl::load_from : Ошибка чтения файла параметров '";
constexpr const char* kSavePrefix = "ParTabl::save_to : Ошибка записи файла параметров '";
constexpr const char* kWitsPrefix = "ParTabl::load_wits_config : Не удалось прочитать файл '";

// The identifiers of a comma-separated list, blanks around them dropped.
std::vector<std::string_view> split_list(std::string_view list) {
  std::vector<std::string_view> items;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(',', start);
    if (end == std::string_view::npos) end = list.size();
    std::string_view item = lib::trim(list.substr(start, end - start));
    if (!item.empty()) items.push_back(item);
    start = end + 1;
  }
  return items;
}

}  // namespace

ParTabl::ParTabl(const AllParams& catalogue, Services services)
    : SerialModuleBase(kParTablSerialName, kSerialVersion),
      catalogue_(catalogue),
      services_(std::move(services)) {}

// ---- rows -----------------------------------------------------------------------------

Param& ParTabl::scratch() const {
  scratch_ = Param();
  return scratch_;
}

Param& ParTabl::operator[](int index) {
  if (index < 0 || index >= get_items_count()) return scratch();
  return rows_[static_cast<std::size_t>(index)];
}

const Param& ParTabl::operator[](int index) const {
  if (index < 0 || index >= get_items_count()) return scratch();
  return rows_[static_cast<std::size_t>(index)];
}

Param& ParTabl::operator[](std::string_view identifier) {
  return (*this)[find_global(identifier)];
}

const Param& ParTabl::operator[](std::string_view identifier) const {
  return (*this)[find_global(identifier)];
}

int ParTabl::find_global(std::string_view identifier) const {
  const std::string_view wanted = lib::trim(identifier);
  if (wanted.empty()) return -1;
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (lib::ident_equal(rows_[i].identifier, wanted)) return static_cast<int>(i);
  }
  return -1;
}

void ParTabl::get_params_list(lib::StringContainer& list) const {
  for (const Param& row : rows_) {
    if (!lib::trim(row.full_name).empty()) list.add(row.full_name);
  }
}

void ParTabl::resize(int count) {
  rows_.resize(static_cast<std::size_t>(std::max(count, 0)));
}

void ParTabl::add(std::string_view identifier) {
  if (param_exists(identifier)) return;
  const int entry = catalogue_.get_param_number(identifier);
  if (entry < 0) return;
  Param row;
  catalogue_.at(entry).assign_to(row);
  rows_.push_back(std::move(row));
}

void ParTabl::erase(int index) {
  if (index < 0 || index >= get_items_count()) return;
  rows_.erase(rows_.begin() + index);
}

// ---- dependencies -----------------------------------------------------------------------

bool ParTabl::any_present(std::string_view list) const {
  for (std::string_view id : split_list(list)) {
    if (param_exists(id)) return true;
  }
  return false;
}

bool ParTabl::check_remove_exists(std::string_view required, std::string_view dependants) {
  if (any_present(required)) return false;
  bool removed = false;
  for (std::string_view id : split_list(dependants)) {
    const int index = find_global(id);
    if (index >= 0) {
      erase(index);
      removed = true;
    }
  }
  return removed;
}

bool ParTabl::check_add_depend(std::string_view required, std::string_view dependants) {
  if (!any_present(required)) return false;
  bool added = false;
  for (std::string_view id : split_list(dependants)) {
    const int before = get_items_count();
    add(id);
    added = added || get_items_count() > before;
  }
  return added;
}

void ParTabl::check_depend(std::string_view required, std::string_view dependants) {
  if (!check_remove_exists(required, dependants)) check_add_depend(required, dependants);
}

void ParTabl::check() {
  for (const ParamDependency& rule : param_dependencies()) {
    check_depend(rule.required, rule.dependants);
  }
  for (Param& row : rows_) row.check_values();
}

// ---- files --------------------------------------------------------------------------------

void ParTabl::log(const std::string& message) const {
  if (services_.error_log) services_.error_log(message);
}

lib::FileSystem& ParTabl::fs() const {
  return services_.fs ? *services_.fs : lib::posix_file_system();
}

void ParTabl::set_file_names(std::string main_file, std::string alternative_file) {
  main_file_ = std::move(main_file);
  alt_file_ = std::move(alternative_file);
}

bool ParTabl::load() {
  if (services_.beep) services_.beep();
  if (!main_file_.empty() && load_from(main_file_)) return true;
  return !alt_file_.empty() && load_from(alt_file_);
}

bool ParTabl::save() {
  return save_to(main_file_);
}

bool ParTabl::load_from(const std::string& file) {
  const auto bytes = lib::read_whole_file(file, fs());
  if (!bytes) return false;
  const std::string extended_name = file + std::string(param_file::kExtendedSuffix);
  const auto extended = lib::read_whole_file(extended_name, fs());
  load_from_memory(*bytes, extended ? std::optional<std::string_view>(*extended) : std::nullopt,
                   file);
  return true;
}

void ParTabl::load_from_memory(std::string_view file_bytes,
                               std::optional<std::string_view> extended,
                               const std::string& source) {
  param_file::ReadResult read = param_file::read(file_bytes, kMaxParams);
  for (const std::string& problem : read.problems) log(kLoadPrefix + source + "': " + problem);
  if (read.refused) return;

  rows_ = std::move(read.rows);
  db_params_.clear();
  for (const std::string& id : read.db_params) {
    if (!is_const_db_param(id)) db_params_.insert(id);
  }
  converter_.set_encoding(read.encoding);
  if (extended) {
    apply_extended(*extended, read.encoding, source + std::string(param_file::kExtendedSuffix));
  }
  check();
}

bool ParTabl::save_to(const std::string& file) {
  try {
    lib::write_file_atomically(file, param_file::write(rows_, db_params_), fs());
  } catch (const std::exception& e) {
    log(kSavePrefix + file + "': " + e.what());
    return false;
  }
  converter_.set_encoding(param_file::kCurrentEncoding);
  return save_extended_info(file + std::string(param_file::kExtendedSuffix));
}

bool ParTabl::save_extended_info(const std::string& file) const {
  try {
    lib::write_file_atomically(file, extended_file::write(rows_), fs());
  } catch (const std::exception& e) {
    log(kSavePrefix + file + "': " + e.what());
    return false;
  }
  return true;
}

void ParTabl::load_extended_info(const std::string& file, lib::StringEnc encoding) {
  if (const auto bytes = lib::read_whole_file(file, fs())) apply_extended(*bytes, encoding, file);
}

void ParTabl::apply_extended(std::string_view bytes, lib::StringEnc encoding,
                             const std::string& source) {
  extended_file::ReadResult read = extended_file::read(bytes, encoding);
  if (!read.marked) {
    log(kLoadPrefix + source + "': not an extended parameter file; ignored");
    return;
  }
  for (const std::string& problem : read.problems) log(kLoadPrefix + source + "': " + problem);
  for (extended_file::Entry& entry : read.entries) {
    const int index = find_global(entry.identifier);
    if (index >= 0) rows_[static_cast<std::size_t>(index)].ext_info = std::move(entry.info);
  }
}

// ---- database set -------------------------------------------------------------------------

bool ParTabl::is_db_param(std::string_view identifier) const {
  return db_params_.find(std::string(identifier)) != db_params_.end();
}

void ParTabl::set_is_db_param(std::string_view identifier, bool on) {
  if (!on) {
    db_params_.erase(std::string(identifier));
  } else if (!is_const_db_param(identifier)) {
    db_params_.insert(std::string(identifier));
  }
}

bool ParTabl::is_const_db_param(std::string_view identifier) {
  return params::is_const_db_param(identifier);
}

// ---- WITS ------------------------------------------------------------------------------

std::vector<std::string> ParTabl::load_wits_config(const std::string& file,
                                                   const std::string& server, bool add_missing) {
  const auto bytes = lib::read_whole_file(file, fs());
  if (!bytes) {
    log(kWitsPrefix + file + "'");
    return {};
  }
  return apply_wits_config(*bytes, server, add_missing);
}

std::vector<std::string> ParTabl::apply_wits_config(std::string_view bytes,
                                                    const std::string& server, bool add_missing) {
  std::vector<std::string> report;
  for (const wits_config::Line& line : wits_config::parse(bytes)) {
    int index = find_global(line.identifier);
    bool appended = false;
    if (index < 0 && add_missing) {
      add(line.identifier);
      if (param_exists(line.identifier)) {
        index = get_items_count() - 1;
        appended = true;
      }
    }
    if (index < 0) continue;
    Param& row = rows_[static_cast<std::size_t>(index)];
    // Without add_missing only rows that no device feeds are taken over by WITS.
    if (!add_missing && row.channel.channel != kNoChannel) continue;

    row.ext_info.set(ext_keys::kWits, line.text);
    if (!server.empty()) row.ext_info.set(ext_keys::kWitsServer, server);
    if (!line.server.empty()) row.ext_info.set(ext_keys::kWitsServer, line.server);
    row.channel.channel = 0;
    row.channel.type = kChannelWits;
    if (!line.full_name.empty()) row.full_name = line.full_name;
    if (!line.short_name.empty()) row.short_name = line.short_name;
    if (!line.unit.empty()) row.unit = line.unit;
    report.push_back(
        line.text + " " + row.full_name +
        std::string(appended ? wits_config::kAddedSuffix : wits_config::kChangedSuffix));
  }
  return report;
}

// ---- state file ---------------------------------------------------------------------------

void ParTabl::serial_fields(lib::serial_list& list, unsigned /*version*/) {
  if (!list.reading()) {
    auto count = static_cast<std::int32_t>(rows_.size());
    list.add(count);
    for (Param& row : rows_) row.get_serial_list(list);
    return;
  }
  std::int32_t count = 0;
  list.add(count);
  lib::io::InputStream& in = *list.input();
  if (count < 0 || count > kMaxParams ||
      static_cast<std::uint64_t>(count) * kMinSerialRowBytes > in.remaining()) {
    throw lib::io::StreamError("the parameter table announces " + std::to_string(count) +
                               " rows, which do not fit its block");
  }
  // Read into a copy, so a block that breaks off leaves the table as it was.
  std::vector<Param> rows = rows_;
  rows.resize(static_cast<std::size_t>(count));
  for (Param& row : rows) row.get_serial_list(list);
  rows_ = std::move(rows);
}

}  // namespace params
