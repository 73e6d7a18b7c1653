// Settings files in the INI form: "[section]" headers and "key=value" lines, UTF-8 text
// without a byte-order mark. The text rules (encodings, comments, value forms) are described
// in docs/ini-files.md.
//
// An IniFile holds the whole file in memory. Saving writes every section it holds, so the
// usual way to change a few keys is load - modify - save: the other sections, their keys and
// their comments come back unchanged.
//
// Section and key names are compared without regard to case, Cyrillic included ("[Связь]"
// and "[связь]" are one section); a name keeps the spelling it was first stored with.
#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace lib {

class FileSystem;

// Raised when a file exists but cannot be read, when saving fails and when a read-only
// file is asked to save. The message names the file and the reason.
class IniError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class IniFile {
 public:
  IniFile();
  ~IniFile();
  IniFile(IniFile&&) noexcept;
  IniFile& operator=(IniFile&&) noexcept;
  IniFile(const IniFile&) = delete;
  IniFile& operator=(const IniFile&) = delete;

  // Replaces the content with the file at `path` and remembers the path for save().
  // A missing file gives an empty content. A file that exists but cannot be read throws
  // IniError and leaves the content empty; the path is still remembered, but save() then
  // refuses, so a later save cannot wipe a file that was never read. The file calls go
  // through `fs`, which save() uses again and which must outlive this object.
  void load_file(const std::string& path, FileSystem& fs);
  // Replaces the content with INI text. A leading UTF-8 byte-order mark is skipped. The
  // encoding is decided for the text as a whole (lib::guess_text_encoding): valid UTF-8 is
  // read as is; text that is not UTF-8 at all is taken as the 8-bit Cyrillic code page and
  // converted; UTF-8 with a few ill-formed bytes is read as UTF-8 with those bytes replaced
  // by U+FFFD and marked undecodable(), since either reading garbles part of it.
  void load_text(std::string_view text);

  // What the last load had to repair or drop: lines that are neither a section, a
  // "key=value" pair, a comment nor blank (they are left out and not saved again), section
  // headers without "]" (closed at the end of the line), NUL bytes, ill-formed UTF-8, and a
  // conversion from the 8-bit code page. Each entry names the line.
  const std::vector<std::string>& problems() const { return problems_; }
  // True when the last load converted the text from the 8-bit Cyrillic code page.
  bool converted_from_cp1251() const { return converted_from_cp1251_; }
  // True when the last load met UTF-8 damaged by a few ill-formed bytes.
  bool undecodable() const { return undecodable_; }
  // False when the last load lost part of the text: a dropped line, NUL bytes, ill-formed
  // bytes or text that could not be parsed. Such content is never saved over its own file
  // (save_file throws), so what could not be read is not destroyed by the next save.
  bool fully_read() const { return first_loss_.empty(); }
  // The first problem that lost text ("line 3: ..."), empty when fully_read().
  const std::string& first_loss() const { return first_loss_; }

  // Path given to load_file or save_file, empty for text-only content.
  const std::string& path() const { return path_; }
  bool read_only() const { return read_only_; }
  void set_read_only(bool read_only) { read_only_ = read_only; }

  // Names in the order they were first loaded or set. The keys that come before the first
  // section header belong to the section named "".
  std::vector<std::string> sections() const;
  std::vector<std::string> keys(std::string_view section) const;
  bool has_section(std::string_view section) const;
  bool has_key(std::string_view section, std::string_view key) const;

  // The value text as stored, or nullopt when the key is missing.
  std::optional<std::string> find(std::string_view section, std::string_view key) const;

  // Typed reads. A missing key, or a value that is not entirely a number of the asked
  // kind, gives `def`. There are no comments after values: "5 ; note" is not a number.
  std::string get_string(std::string_view section, std::string_view key,
                         std::string_view def = {}) const;
  long long get_int(std::string_view section, std::string_view key, long long def) const;
  double get_double(std::string_view section, std::string_view key, double def) const;
  bool get_bool(std::string_view section, std::string_view key, bool def) const;

  // Writes create the section and the key when missing. Line breaks in a value become
  // blanks (a value is one line), and blanks around a value do not survive a reload.
  // A section name holding "]" or a line break, and a key that is empty, holds "=" or a
  // line break, or starts with "[", ";" or "#", throw std::invalid_argument: the file
  // could not read them back.
  void set_string(std::string_view section, std::string_view key, std::string_view value);
  void set_int(std::string_view section, std::string_view key, long long value);
  // `digits` < 0 writes the shortest text that reads back to the same double.
  void set_double(std::string_view section, std::string_view key, double value, int digits = -1);
  void set_bool(std::string_view section, std::string_view key, bool value);

  // False when there was nothing to delete.
  bool delete_key(std::string_view section, std::string_view key);
  bool delete_section(std::string_view section);
  void clear();

  // The content as UTF-8 INI text, "\n" line ends, no byte-order mark.
  std::string to_text() const;
  // Writes to_text() to `path` atomically (a reader sees the old file or the new one) and
  // remembers the path. When `path` exists and its content changes, the old content is
  // first kept in `path` + ".bak" (see backup_path), replacing an older backup. Throws
  // IniError when read-only, when the content came from this path but could not be read or
  // was not fully read, when the backup cannot be written, or when the write fails; the old
  // file is then untouched. Remembers `fs` as load_file does.
  void save_file(const std::string& path, FileSystem& fs);
  // save_file(path()) through the file system of the last load or save; IniError when no
  // path is known.
  void save();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::string path_;
  std::vector<std::string> problems_;
  std::string trailing_comments_;  // comment lines after the last key, written back at the end
  bool read_only_ = false;
  bool converted_from_cp1251_ = false;
  bool undecodable_ = false;
  bool unread_ = false;     // load_file failed: saving would replace data never seen
  std::string first_loss_;  // the first problem that lost text, see fully_read()
  FileSystem* fs_ = nullptr;
};

// Where save_file keeps the previous content of a settings file: "global.ini.bak".
std::string backup_path(const std::string& path);

// A file loaded from `path` (see IniFile::load_file for a missing or unreadable file).
std::unique_ptr<IniFile> get_ini_file(const std::string& path, FileSystem& fs);
// The same, marked read-only: save() and save_file() throw IniError.
std::unique_ptr<IniFile> get_readonly_ini_file(const std::string& path, FileSystem& fs);

// The value text forms shared by IniFile and the typed options. Each gives nullopt unless
// the whole text (blanks around it aside) is one value of its kind.
//  - integer: optional sign and decimal digits;
//  - double: what lib::try_str_to_float accepts ("." or "," separator, exponent), finite;
//  - bool: 1/0, true/false, yes/no, on/off, да/нет, in any letter case.
std::optional<long long> parse_ini_int(std::string_view text);
std::optional<double> parse_ini_double(std::string_view text);
std::optional<bool> parse_ini_bool(std::string_view text);

}  // namespace lib
