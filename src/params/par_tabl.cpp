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

std::string ParTablLoad::describe() const {
  switch (status) {
    case Status::kLoaded:
      return "the parameter table '" + file + "' was read";
    case Status::kCannotRead:
      return "cannot read the parameter table '" + file + "'";
    case Status::kDamaged:
      break;
  }
  std::string text = "the parameter table '" + file + "' is damaged and was not loaded (";
  for (std::size_t i = 0; i < problems.size(); ++i) {
    if (i > 0) text += "; ";
    text += problems[i];
  }
  return text + "); the file is left as it is: repair it or put back a copy";
}

ParTabl::ParTabl(const AllParams& catalogue, Services services)
    : catalogue_(catalogue), services_(std::move(services)) {}

// ---- rows -----------------------------------------------------------------------------

Param& ParTabl::scratch() const {
  scratch_ = Param();
  return scratch_;
}

Param& ParTabl::operator[](int index) {
  ++revision_;
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
  return find_in(rows_, identifier);
}

int ParTabl::find_in(const std::vector<Param>& rows, std::string_view identifier) {
  const std::string_view wanted = lib::trim(identifier);
  if (wanted.empty()) return -1;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (lib::ident_equal(rows[i].identifier, wanted)) return static_cast<int>(i);
  }
  return -1;
}

void ParTabl::get_params_list(lib::StringContainer& list) const {
  for (const Param& row : rows_) {
    if (!lib::trim(row.full_name).empty()) list.add(row.full_name);
  }
}

void ParTabl::resize(int count) {
  ++revision_;
  rows_.resize(static_cast<std::size_t>(std::max(count, 0)));
}

void ParTabl::add(std::string_view identifier) {
  if (param_exists(identifier)) return;
  const int entry = catalogue_.get_param_number(identifier);
  if (entry < 0) return;
  Param row;
  catalogue_.at(entry).assign_to(row);
  ++revision_;
  rows_.push_back(std::move(row));
}

void ParTabl::erase(int index) {
  if (index < 0 || index >= get_items_count()) return;
  ++revision_;
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
  ++revision_;
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

ParTablLoad ParTabl::load() {
  if (services_.beep) services_.beep();
  ParTablLoad main;
  main.file = main_file_;
  if (!main_file_.empty()) main = load_from(main_file_);
  // Only a main file that cannot be opened gives way to the alternative one: a damaged
  // main file must be repaired, not silently replaced by another table.
  if (main.status != ParTablLoad::Status::kCannotRead || alt_file_.empty()) return main;
  ParTablLoad alt = load_from(alt_file_);
  return alt.status == ParTablLoad::Status::kCannotRead ? main : alt;
}

bool ParTabl::save() {
  if (refused_ && main_file_ == refused_file_) {
    log(kSavePrefix + main_file_ +
        "': not written, because the table was refused as damaged when loading from it; "
        "the file is left for repair");
    return false;
  }
  return save_to(main_file_);
}

ParTablLoad ParTabl::load_from(const std::string& file) {
  const auto bytes = lib::read_whole_file(file, fs());
  if (!bytes) {
    ParTablLoad result;
    result.file = file;
    return result;
  }
  const std::string extended_name = file + std::string(param_file::kExtendedSuffix);
  const auto extended = lib::read_whole_file(extended_name, fs());
  return load_from_memory(
      *bytes, extended ? std::optional<std::string_view>(*extended) : std::nullopt, file);
}

ParTablLoad ParTabl::load_from_memory(std::string_view file_bytes,
                                      std::optional<std::string_view> extended,
                                      const std::string& source) {
  ParTablLoad result;
  result.file = source;
  param_file::ReadResult read = param_file::read(file_bytes, kMaxParams);
  for (const std::string& warning : read.warnings) log(kLoadPrefix + source + "': " + warning);
  result.problems = read.problems;
  std::optional<extended_file::ReadResult> ext;
  if (extended && !read.refused) {
    ext = extended_file::read(*extended, read.encoding);
    for (const std::string& problem : ext->problems) {
      result.problems.push_back(std::string(param_file::kExtendedSuffix) +
                                " companion: " + problem);
    }
  }
  if (!result.problems.empty()) {
    // All or nothing: rows without their points, or points paired with other rows, would
    // show wrong values as if they were sound.
    for (const std::string& problem : result.problems) log(kLoadPrefix + source + "': " + problem);
    log(kLoadPrefix + source + "': the file is refused; the table is left as it was");
    result.status = ParTablLoad::Status::kDamaged;
    refused_ = true;
    refused_file_ = source;
    return result;
  }

  std::vector<Param> rows = std::move(read.rows);
  if (ext) apply_extended(rows, ext->entries);
  ++revision_;
  rows_ = std::move(rows);
  db_params_.clear();
  for (const std::string& id : read.db_params) {
    if (!is_const_db_param(id)) db_params_.insert(id);
  }
  converter_.set_encoding(read.encoding);
  check();
  refused_ = false;
  refused_file_.clear();
  result.status = ParTablLoad::Status::kLoaded;
  return result;
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
  const auto bytes = lib::read_whole_file(file, fs());
  if (!bytes) return;
  extended_file::ReadResult read = extended_file::read(*bytes, encoding);
  if (!read.problems.empty()) {
    for (const std::string& problem : read.problems) log(kLoadPrefix + file + "': " + problem);
    log(kLoadPrefix + file + "': the file is refused; the rows keep their information");
    return;
  }
  ++revision_;
  apply_extended(rows_, read.entries);
}

void ParTabl::apply_extended(std::vector<Param>& rows,
                             std::vector<extended_file::Entry>& entries) const {
  // Entries find their row by identifier, never by position; an entry for a row the table
  // does not have is dropped.
  for (extended_file::Entry& entry : entries) {
    const int index = find_in(rows, entry.identifier);
    if (index >= 0) rows[static_cast<std::size_t>(index)].ext_info = std::move(entry.info);
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
  return apply_wits_config(*bytes, server, add_missing, file);
}

std::vector<std::string> ParTabl::apply_wits_config(std::string_view bytes,
                                                    const std::string& server, bool add_missing,
                                                    std::string_view file) {
  std::vector<std::string> report;
  for (const wits_config::Line& line : wits_config::parse(bytes)) {
    // A row fed from a wrong item would show another quantity as its own: such a line
    // changes nothing.
    if (!line.code.empty() && !wits_config::is_item_code(line.code)) {
      log("ParTabl::load_wits_config : '" + std::string(file.empty() ? "?" : file) + "' line " +
          std::to_string(line.line_number) + ": the WITS code '" + line.code +
          "' is not four decimal digits (record and item, such as 0108); the line is skipped "
          "and the row '" +
          line.identifier + "' is left as it was");
      continue;
    }
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
    ++revision_;
    Param& row = rows_[static_cast<std::size_t>(index)];
    // Without add_missing only rows that no device feeds are taken over by WITS.
    if (!add_missing && row.channel.channel != kNoChannel) continue;

    row.ext_info.set(ext_keys::kWits, line.text);
    if (!server.empty()) row.ext_info.set(ext_keys::kWitsServer, server);
    if (!line.server.empty()) row.ext_info.set(ext_keys::kWitsServer, line.server);
    if (!line.code.empty()) row.ext_info.set(ext_keys::kWitsCode, line.code);
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

}  // namespace params
