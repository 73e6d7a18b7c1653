// Operations: the fixed dictionary of the rig operations and of the three classifications
// derived from them (sub-operation, work type of the daily report, production-time type),
// with their names, display colours, modes and WITS activity codes.
//
// The dictionary is built once and never changes; every member is const, so one instance
// may be read from any thread without a lock. Every lookup takes any id: an id that is not
// in its table (negative, past the end) gives the documented "absent" answer and never
// indexes out of range.
//
// Colours are 32-bit host colour values: low byte red, then green, then blue.
// kSystemWindowColour stands for the desktop's window background and kNoColour for "no
// colour"; css_colour() turns any of them into a "#rrggbb" a web page can use.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "calc/current_operation.h"

namespace calc {

inline constexpr std::uint32_t kSystemWindowColour = 0xFF000005;
inline constexpr std::uint32_t kNoColour = 0x1FFFFFFF;
// The mode given for an id no table holds.
inline constexpr std::int32_t kAbsentMode = 4;

// Production-time types.
inline constexpr ProdTimeType kNonProductiveTime = 0;  // "НПВ"
inline constexpr ProdTimeType kProductiveTime = 1;     // "ПВ"
inline constexpr ProdTimeType kNzpvTime = 2;           // "НЗПВ"

// One entry of any of the three tables; a field the table does not have is 0.
struct OperationEntry {
  std::string name;
  std::uint32_t color = 0;
  std::uint32_t fill_color = 0;
  std::int32_t mode = 0;
  std::int32_t wits_code = 0;
  std::int32_t parent = 0;  // sub-operations: the operation they belong to
};

// The Russian text shown for an operation key ("oper_drill" → "Бурение"); a key the table
// does not know is shown as it is.
std::string operation_key_text(std::string_view key);

// "#rrggbb" (lower case) of a host colour. A value with bits above the blue byte is no
// plain colour (the window background, "no colour"): it is shown as the white of a page's
// background, so a page always gets a valid colour.
std::string css_colour(std::uint32_t host_colour);

class Operations {
 public:
  Operations();

  // A process-wide instance for code that has no hub to ask (tools, a storage built
  // alone). Immutable, like every instance.
  static const Operations& standard();

  // ---- names: "" for an absent id --------------------------------------------------------
  std::string get(int id) const;
  std::string get_suboperation(int id) const;
  std::string get_work_type(int id) const;
  // The untranslated key of an operation ("oper_drill"), "" for an absent id.
  std::string get_key(int id) const;

  // ---- operations ----------------------------------------------------------------------
  std::int32_t get_mode(int id) const;         // absent: 4
  std::uint32_t get_color(int id) const;       // absent: kSystemWindowColour
  std::uint32_t get_fill_color(int id) const;  // absent: kNoColour
  std::int32_t get_WITS_code(int id) const;    // absent: 0
  // The entry of an operation; an absent id gives the entry of operation 0.
  const OperationEntry& get_item(int id) const;
  // A stable CSS class name of an operation, from its key: "op-drill" for "oper_drill".
  // An absent id gives the class of operation 0.
  std::string css_class(int id) const;

  // ---- sub-operations ------------------------------------------------------------------
  // The entry of a sub-operation, or nullptr for an absent id.
  const OperationEntry* find_suboperation(int id) const;

  // ---- work types ----------------------------------------------------------------------
  std::int32_t get_work_type_mode(int id) const;         // absent: 4
  std::uint32_t get_work_type_color(int id) const;       // absent: 0
  std::uint32_t get_work_type_fill_color(int id) const;  // absent: 0xFFFFFF
  const OperationEntry* find_work_type(int id) const;    // nullptr for an absent id

  // ---- production time -----------------------------------------------------------------
  // "НПВ", "ПВ", "НЗПВ", or the number itself for any other value.
  static std::string get_production_time(int type);
  // The display colour; any other value gives kSystemWindowColour.
  static std::uint32_t get_production_time_color(int type);

  // ---- membership ----------------------------------------------------------------------
  bool has_operation(int id) const { return operations_.count(id) != 0; }
  bool has_suboperation(int id) const { return suboperations_.count(id) != 0; }
  bool has_work_type(int id) const { return work_types_.count(id) != 0; }
  int operation_count() const { return static_cast<int>(operations_.size()); }
  int suboperation_count() const { return static_cast<int>(suboperations_.size()); }
  int work_type_count() const { return static_cast<int>(work_types_.size()); }

  // ---- enumeration, always in ascending id -----------------------------------------------
  // Each clears `ids` first.
  void enum_values(std::vector<int>& ids) const;
  void enum_works(std::vector<int>& ids) const;
  // The sub-operations whose parent is `oper`; empty for an operation without any.
  void enum_suboperations(std::vector<int>& ids, int oper) const;
  // Each appends the names, in id order, to `names`.
  void enum_names(std::vector<std::string>& names) const;
  void enum_worknames(std::vector<std::string>& names) const;
  void enum_subnames(std::vector<std::string>& names, int oper) const;
  // The first sub-operation of `oper` (lowest id), or -1 when it has none.
  int first_suboperation(int oper) const;

  // ---- reverse lookups: the first entry whose name equals `name` exactly, or -1 ----------
  int get_oper_by_string(std::string_view name) const;
  int get_suboper_by_string(std::string_view name) const;
  int get_work_type_by_string(std::string_view name) const;

 private:
  std::map<int, OperationEntry> operations_;
  std::map<int, std::string> keys_;
  std::map<int, OperationEntry> suboperations_;
  std::map<int, OperationEntry> work_types_;
};

}  // namespace calc
