// The parameter table: the user's list of configured parameters (rows picked from the
// catalogue), their inputs, conversions and calibration, the dependencies between them
// and the set of parameters written to the database. A row's index is its slot in every
// per-parameter array of the station.
//
// The table has one owner: its parameter file with the ".extended" companion, the files the
// user edits (load/save). It is not kept in the station state file, so rows and their
// calibration points always come from the same file and are paired by that file alone.
// A file that cannot be read whole is refused: the table stays as it was and is not
// written back over the file until a sound file was loaded.
//
// The table takes no lock of its own; readers and editors hold the system lock.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "lib/file_system.h"
#include "lib/str_enc.h"
#include "lib/string_container.h"
#include "params/extended_file.h"
#include "params/param.h"

namespace params {

class AllParams;

// Slots the station keeps per parameter; files and state blocks with more rows are cut.
inline constexpr int kMaxParams = 512;
// The name of the block older stations kept the table under in the state file; such a
// block is no longer read.
inline constexpr const char* kRetiredParTablModuleName = "ParTabl";

// What the table needs from its owner.
struct ParTablServices {
  // Damaged files and failed saves are reported here; may be empty.
  std::function<void(const std::string& message)> error_log;
  // The short signal given before loading; may be empty.
  std::function<void()> beep;
  // Null: the real file system.
  lib::FileSystem* fs = nullptr;
};

// What became of loading a parameter file.
struct ParTablLoad {
  enum class Status {
    kLoaded,      // the table holds the file's rows
    kCannotRead,  // the file is missing or cannot be opened; the table is unchanged
    kDamaged,     // the file (or its companion) is damaged; refused, the table is unchanged
  };
  Status status = Status::kCannotRead;
  std::string file;                   // the file read or refused
  std::vector<std::string> problems;  // kDamaged: each damage, where it sits, what is wrong

  explicit operator bool() const { return status == Status::kLoaded; }
  // One text for the operator: the file, and what is wrong with it.
  std::string describe() const;
};

class ParTabl {
 public:
  using Services = ParTablServices;

  // `catalogue` must outlive the table; rows are added from it.
  explicit ParTabl(const AllParams& catalogue, Services services = {});

  // ---- rows ---------------------------------------------------------------------------
  // The row, or for an index outside the table a scratch row reset to defaults, so a
  // caller with a stale index reads a harmless row and its writes go nowhere.
  Param& operator[](int index);
  const Param& operator[](int index) const;
  // The row of an identifier (find_global), or the scratch row.
  Param& operator[](std::string_view identifier);
  const Param& operator[](std::string_view identifier) const;
  Param& operator[](const char* identifier) { return (*this)[std::string_view(identifier)]; }

  // Index of the first row with this identifier (blanks around it and case not
  // regarded); -1 when none or when the identifier is blank.
  int find_global(std::string_view identifier) const;
  bool param_exists(std::string_view identifier) const { return find_global(identifier) >= 0; }
  int get_items_count() const { return static_cast<int>(rows_.size()); }
  const std::vector<Param>& rows() const { return rows_; }
  // Moves on every call that could change a row or the rows' count: the rows are as they
  // were while it stays the same, so what a reader made from them every tick can be kept
  // until it moves. A row reached through a non-const operator[] counts as changed then;
  // an edit through a reference kept past the next reader's look would not be seen.
  std::uint64_t revision() const { return revision_; }
  // Appends the full name of every row that has one.
  void get_params_list(lib::StringContainer& list) const;
  // Replaces rows with copies of the table's rows.
  void get_all_params(std::vector<Param>& rows) const { rows = rows_; }

  void resize(int count);
  void clear() {
    ++revision_;
    rows_.clear();
  }
  // Appends a copy; no duplicate check.
  void add(const Param& row) {
    ++revision_;
    rows_.push_back(row);
  }
  // Appends the catalogue's entry unless a row has the identifier already or the
  // catalogue does not know it.
  void add(std::string_view identifier);
  // Removes the row; an index outside the table is ignored.
  void erase(int index);

  // ---- dependencies -------------------------------------------------------------------
  // Enforces every dependency rule in order, then lets each row check its values. Called
  // after loading and after edits; the rows it adds or removes stay.
  void check();
  // One rule over comma-separated lists: without any parameter of `required` every row of
  // `dependants` goes; otherwise the missing dependants are added from the catalogue.
  // Adding happens only when nothing was removed.
  void check_depend(std::string_view required, std::string_view dependants);
  // The removing half; true when a row was removed.
  bool check_remove_exists(std::string_view required, std::string_view dependants);
  // The adding half; true when a row was added.
  bool check_add_depend(std::string_view required, std::string_view dependants);

  // ---- files --------------------------------------------------------------------------
  // The main file and the one read when the main one cannot be (set by the owner).
  void set_file_names(std::string main_file, std::string alternative_file);
  const std::string& file_name() const { return main_file_; }
  const std::string& alternative_file_name() const { return alt_file_; }
  // Signals, then reads the main file, or when it cannot be opened the alternative one. A
  // damaged main file is refused, never replaced by the alternative one.
  ParTablLoad load();
  // Writes the main file; false (and a log line) when it could not be written, or when the
  // last load refused a damaged file: that file stays as it is for repair.
  bool save();
  // True after a load refused a damaged file, until a file loads whole.
  bool load_refused() const { return refused_; }
  // Reads a parameter file and its ".extended" companion (when there is one), then checks
  // the dependencies. A file with any damage in it or its companion is refused whole: the
  // table is unchanged and every problem is logged.
  ParTablLoad load_from(const std::string& file);
  // Replaces the file and its companion atomically; false (and a log line) on failure,
  // the old files then stay.
  bool save_to(const std::string& file);
  // load_from on bytes in memory; `extended` absent means no companion file. `source`
  // names the data in log lines.
  ParTablLoad load_from_memory(std::string_view file_bytes,
                               std::optional<std::string_view> extended,
                               const std::string& source = "memory");
  // The ".extended" companion alone.
  bool save_extended_info(const std::string& file) const;
  // Replaces the extended information of the rows the file names; rows it does not name
  // keep theirs. A file without the mark is ignored.
  void load_extended_info(const std::string& file, lib::StringEnc encoding);
  // Encoding of the texts of the file last read or written.
  lib::StringEnc text_encoding() const { return converter_.encoding(); }

  // ---- database set -------------------------------------------------------------------
  // Membership of the operator's set; the constant parameters are never in it (they are
  // written anyway, see is_const_db_param).
  bool is_db_param(std::string_view identifier) const;
  void set_is_db_param(std::string_view identifier, bool on);
  static bool is_const_db_param(std::string_view identifier);
  const std::set<std::string>& db_params() const { return db_params_; }

  // ---- WITS ---------------------------------------------------------------------------
  // Maps rows to a WITS server from a configuration file (docs/wits-config.md). Rows
  // missing from the table are added from the catalogue when add_missing is set; existing
  // rows are remapped when add_missing is set or they have no device channel. Returns the
  // load report, one line per row mapped; a file that cannot be read gives an empty report
  // and a log line.
  std::vector<std::string> load_wits_config(const std::string& file, const std::string& server,
                                            bool add_missing);
  // The same on the file's bytes; `file` names them in the log. A line whose code is not
  // four decimal digits is logged and skipped.
  std::vector<std::string> apply_wits_config(std::string_view bytes, const std::string& server,
                                             bool add_missing, std::string_view file = {});

 private:
  void log(const std::string& message) const;
  lib::FileSystem& fs() const;
  void apply_extended(std::vector<Param>& rows, std::vector<extended_file::Entry>& entries) const;
  static int find_in(const std::vector<Param>& rows, std::string_view identifier);
  bool any_present(std::string_view list) const;
  Param& scratch() const;

  const AllParams& catalogue_;
  Services services_;
  std::vector<Param> rows_;
  std::uint64_t revision_ = 0;
  mutable Param scratch_;
  lib::StrEncConverter converter_{lib::StringEnc::kCp1251};
  std::set<std::string> db_params_;
  std::string main_file_;
  std::string alt_file_;
  bool refused_ = false;
  std::string refused_file_;
};

}  // namespace params
