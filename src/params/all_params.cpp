#include "params/all_params.h"

#include <stdexcept>

#include "lib/home_folder.h"
#include "lib/str_enc.h"
#include "lib/str_utils.h"
#include "params/catalogue_data.h"
#include "params/param.h"
#include "params/param_groups.h"
#include "params/param_vars.h"

namespace params {
namespace {

constexpr const char* kOutOfRangeText = "invalid vector<T> subscript";

// Shown in the fast view when the station has no usable list of its own.
constexpr const char* kDefaultFastParams[] = {"вес_на_крюке", "давление_на_входе", "момент_ротора",
                                              ParamVars::nagr, "тальблок"};

// Placeholder values: a neutral 0-100 scale until a real parameter arrives.
constexpr float kPlaceholderRange = 100;
constexpr float kPlaceholderScaleMax = 100;

DefaultParam from_row(const catalogue_data::BuiltinRow& r) {
  DefaultParam e;
  e.full_name = r.full_name;
  e.short_name = r.short_name;
  e.unit = r.unit;
  e.identifier = r.identifier;
  e.channel = r.channel;
  e.channel_type = r.channel_type;
  e.range = r.range;
  e.zero = r.zero;
  e.scale_min = r.scale_min;
  e.scale_max = r.scale_max;
  e.attribute = r.attribute;
  e.averaging = r.averaging;
  e.group = r.group;
  return e;
}

DefaultParam placeholder(int n) {
  const std::string name = AllParams::kPlaceholderPrefix + std::to_string(n);
  DefaultParam e;
  e.full_name = e.short_name = e.unit = e.identifier = name;
  e.channel = kNoChannel;
  e.channel_type = -1;
  e.averaging = 1;
  e.group = kGroupIncoming;
  e.range = kPlaceholderRange;
  e.zero = 0;
  e.scale_min = 0;
  e.scale_max = kPlaceholderScaleMax;
  e.attribute = 0;
  return e;
}

DefaultParam named_entry(const std::string& full_name, const std::string& short_name,
                         const std::string& unit, const std::string& identifier, int channel,
                         int averaging, int group, float range, float zero, float scale_min,
                         float scale_max, std::uint8_t attribute) {
  DefaultParam e;
  e.full_name = full_name;
  e.short_name = short_name;
  e.unit = unit;
  e.identifier = identifier;
  e.channel = channel;
  e.channel_type = -1;
  e.averaging = averaging;
  e.group = group;
  e.range = range;
  e.zero = zero;
  e.scale_min = scale_min;
  e.scale_max = scale_max;
  e.attribute = attribute;
  return e;
}

// A file name made of an identifier must stay inside its folder.
bool usable_as_file_name(const std::string& identifier) {
  return !identifier.empty() && identifier != "." && identifier != ".." &&
         identifier.find('/') == std::string::npos && identifier.find('\0') == std::string::npos;
}

}  // namespace

AllParams::AllParams(std::string home_folder, lib::FileSystem& fs)
    : home_folder_(lib::with_trailing_slash(std::move(home_folder))), fs_(fs) {
  init();
}

void AllParams::init() {
  entries_.clear();
  index_.clear();
  incoming_count_ = 0;
  digit_params_.clear();

  for (const auto& row : catalogue_data::builtin_rows()) append(from_row(row));
  for (int n = 0; n < kIncomingPlaceholders; ++n) append(placeholder(n));
  for (const auto& r : catalogue_data::cementing_rows()) {
    register_param(r.full_name, r.short_name, r.unit, r.identifier, r.channel, r.averaging, r.group,
                   r.range, r.zero, r.scale_min, r.scale_max, r.attribute);
  }
  for (const auto& r : catalogue_data::mnemonic_rows()) {
    register_param(r.mnemonic, r.channel, r.averaging, r.group, r.range, r.zero, r.scale_min,
                   r.scale_max, r.attribute, r.identifier, r.short_name, r.unit, r.full_name);
  }
  for (const auto& r : catalogue_data::balance_rows()) {
    register_param(r.full_name, r.short_name, r.unit, r.identifier, r.channel, r.averaging, r.group,
                   r.range, r.zero, r.scale_min, r.scale_max, r.attribute);
  }
  add_digit_params(ParamVars::radio_dens_in);
  add_digit_params(ParamVars::radio_dens_out);
  load_fast_params();
}

const DefaultParam& AllParams::at(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= entries_.size()) {
    throw std::out_of_range(kOutOfRangeText);
  }
  return entries_[static_cast<std::size_t>(index)];
}

int AllParams::get_param_number(std::string_view identifier) const {
  auto it = index_.find(identifier);
  return it == index_.end() ? -1 : it->second;
}

std::string AllParams::get_group_name(int group) {
  return std::string(group_name(group));
}

bool AllParams::test_param(std::string_view identifier, ParamTest kind) const {
  if (kind != ParamTest::kDigital) return false;
  return digit_params_.find(std::string(identifier)) != digit_params_.end();
}

void AllParams::register_param(const std::string& full_name, const std::string& short_name,
                               const std::string& unit, const std::string& identifier, int channel,
                               int averaging, int group, float range, float zero, float scale_min,
                               float scale_max, std::uint8_t attribute) {
  append(named_entry(full_name, short_name, unit, identifier, channel, averaging, group, range,
                     zero, scale_min, scale_max, attribute));
}

void AllParams::register_param(const std::string& mnemonic, int channel, int averaging, int group,
                               float range, float zero, float scale_min, float scale_max,
                               std::uint8_t attribute, const std::string& identifier,
                               const std::string& short_name, const std::string& unit,
                               const std::string& full_name) {
  register_param(full_name, short_name, unit, identifier, channel, averaging, group, range, zero,
                 scale_min, scale_max, attribute);
  // A duplicate identifier gives its mnemonic to the earlier entry, the one every look-up
  // finds.
  const int found = get_param_number(identifier);
  if (found >= 0) entries_[static_cast<std::size_t>(found)].mnemonic = mnemonic;
}

void AllParams::add_incoming_param(const std::string& full_name, const std::string& short_name,
                                   const std::string& unit, const std::string& identifier,
                                   int channel, int averaging, int group, float range, float zero,
                                   float scale_min, float scale_max, std::uint8_t attribute) {
  if (incoming_count_ >= kMaxIncoming) return;
  const int slot = get_param_number(kPlaceholderPrefix + std::to_string(incoming_count_));
  if (slot < 0) return;
  if (get_param_number(identifier) >= 0) return;
  entries_[static_cast<std::size_t>(slot)] =
      named_entry(full_name, short_name, unit, identifier, channel, averaging, group, range, zero,
                  scale_min, scale_max, attribute);
  ++incoming_count_;
  // The placeholder's identifier is gone and a new one came: rebuild rather than patch, so
  // "first entry of an identifier" stays true whatever was registered before.
  rebuild_index();
}

AllParams::VoiceSourceReport AllParams::all_params_to_voice_source(
    const std::string& folder) const {
  VoiceSourceReport report;
  const std::string prefix = lib::with_trailing_slash(folder);
  for (const DefaultParam& e : entries_) {
    if (!usable_as_file_name(e.identifier)) {
      report.failures.push_back("'" + e.identifier + "' cannot name a file");
      continue;
    }
    try {
      lib::write_file_atomically(prefix + e.identifier + ".txt", e.full_name + "\n", fs_);
      ++report.written;
    } catch (const std::exception& ex) {
      report.failures.push_back(ex.what());
    }
  }
  return report;
}

void AllParams::get_all_params(std::vector<Param>& rows) const {
  rows.clear();
  rows.reserve(entries_.size());
  for (const DefaultParam& e : entries_) {
    Param row;
    e.assign_to(row);
    rows.push_back(std::move(row));
  }
}

void AllParams::append(DefaultParam entry) {
  index_.emplace(entry.identifier, static_cast<int>(entries_.size()));
  entries_.push_back(std::move(entry));
}

void AllParams::rebuild_index() {
  index_.clear();
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    index_.emplace(entries_[i].identifier, static_cast<int>(i));
  }
}

void AllParams::load_fast_params() {
  fast_params_.clear();
  if (auto text = lib::read_whole_file(home_folder_ + kFastParamsFileName, fs_)) {
    // Lists written on older stations are in the 8-bit code page.
    if (!lib::is_valid_utf8(*text)) *text = lib::cp1251_to_utf8(*text);
    std::string_view rest = *text;
    while (!rest.empty()) {
      const std::size_t end = std::min(rest.find('\n'), rest.size());
      const std::string_view line = lib::trim(rest.substr(0, end));
      rest.remove_prefix(std::min(end + 1, rest.size()));
      if (get_param_number(line) >= 0) fast_params_.emplace_back(line);
    }
  }
  if (fast_params_.empty())
    fast_params_.assign(std::begin(kDefaultFastParams), std::end(kDefaultFastParams));
}

}  // namespace params
