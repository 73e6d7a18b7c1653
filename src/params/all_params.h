// The parameter catalogue: every parameter the station knows, with the defaults a new
// table row starts from. Device data, formulas, alarms and recording all name parameters
// by the catalogue identifier. Besides the fixed entries it holds 64 placeholders that
// parameters arriving from outside (WITS and other streams) are written into, the set of
// digital parameters that have their own options editor, and the list of fast parameters.
//
// The catalogue takes no lock: it is filled before any worker runs, and later changes come
// from callers holding the system lock.
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "lib/file_system.h"
#include "lib/ident.h"
#include "params/default_param.h"

namespace params {

class Param;

// File in the home folder listing the fast parameters, one identifier per line.
inline constexpr const char* kFastParamsFileName = "fast_params";

class AllParams {
 public:
  enum class ParamTest : int {
    kDigital = 0,  // the identifier is in the digital set
  };

  static constexpr int kIncomingPlaceholders = 64;
  // Only the first 32 placeholders are ever filled.
  static constexpr int kMaxIncoming = 32;
  static constexpr const char* kPlaceholderPrefix = "__";

  // Builds the catalogue; the fast list is read from home_folder + "fast_params".
  AllParams(std::string home_folder, lib::FileSystem& fs);
  // The same for the station home folder.

  // Rebuilds the catalogue from scratch: built-in entries, placeholders, registered
  // entries, digital set, fast list.
  void init();

  int get_items_count() const { return static_cast<int>(entries_.size()); }
  // Throws std::out_of_range for an index outside the entries.
  const DefaultParam& at(int index) const;
  const std::vector<DefaultParam>& entries() const { return entries_; }
  // Index of the first entry with this identifier, case not regarded; -1 when none.
  int get_param_number(std::string_view identifier) const;
  // "???????" for a number outside the groups.
  static std::string get_group_name(int group);
  // Kind kDigital: the identifier is in the digital set (exact case). Other kinds: false.
  bool test_param(std::string_view identifier, ParamTest kind) const;

  // Appends an entry not read from a device channel. No duplicate check: the first entry
  // of an identifier is the one found.
  void register_param(const std::string& full_name, const std::string& short_name,
                      const std::string& unit, const std::string& identifier, int channel,
                      int averaging, int group, float range, float zero, float scale_min,
                      float scale_max, std::uint8_t attribute);
  // The same for an entry known by a mnemonic, stored in the entry found for identifier.
  void register_param(const std::string& mnemonic, int channel, int averaging, int group,
                      float range, float zero, float scale_min, float scale_max,
                      std::uint8_t attribute, const std::string& identifier,
                      const std::string& short_name, const std::string& unit,
                      const std::string& full_name);

  // Writes a parameter arriving from outside into the next free placeholder. Does nothing
  // once 32 were added, or when the identifier is already in the catalogue.
  void add_incoming_param(const std::string& full_name, const std::string& short_name,
                          const std::string& unit, const std::string& identifier, int channel,
                          int averaging, int group, float range, float zero, float scale_min,
                          float scale_max, std::uint8_t attribute);
  int incoming_count() const { return incoming_count_; }

  void add_digit_params(const std::string& identifier) { digit_params_.insert(identifier); }
  void remove_digit_params(const std::string& identifier) { digit_params_.erase(identifier); }
  const std::set<std::string>& digit_params() const { return digit_params_; }

  // Identifiers shown in the fast view, in file order.
  const std::vector<std::string>& fast_params() const { return fast_params_; }

  struct VoiceSourceReport {
    int written = 0;
    std::vector<std::string> failures;  // one line per file not written
  };
  // Writes folder/<identifier>.txt holding the entry's full name for every entry: the
  // texts the voice announcements are recorded from.
  VoiceSourceReport all_params_to_voice_source(const std::string& folder) const;

  // Replaces rows with one row per entry, in catalogue order.
  void get_all_params(std::vector<Param>& rows) const;

 private:
  void append(DefaultParam entry);
  void rebuild_index();
  void load_fast_params();

  std::string home_folder_;
  lib::FileSystem& fs_;
  std::vector<DefaultParam> entries_;
  // First entry of each identifier.
  std::map<std::string, int, lib::IdentLess> index_;
  int incoming_count_ = 0;
  std::set<std::string> digit_params_;
  std::vector<std::string> fast_params_;
};

}  // namespace params
