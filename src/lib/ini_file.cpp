#include "lib/ini_file.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <map>
#include <new>
#include <set>
#include <system_error>
#include <utility>

#include "lib/file_system.h"
#include "lib/ident.h"
#include "lib/str_enc.h"
#include "lib/str_utils.h"

// SimpleIni stays inside this file: the char interface without any code-page conversion
// (the text is UTF-8 by the time it gets here), with its template bodies compiled here
// instead of linking the distribution's shared build.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

namespace lib {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::size_t kShownLineBytes = 80;

// Cuts text for a problem report without splitting a UTF-8 sequence.
std::string shown(std::string_view line) {
  if (line.size() <= kShownLineBytes) return std::string(line);
  std::size_t n = kShownLineBytes;
  while (n > 0 && (static_cast<unsigned char>(line[n]) & 0xC0) == 0x80) --n;
  return std::string(line.substr(0, n)) + "...";
}

std::vector<std::string_view> split_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n' && text[i] != '\r') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

struct CheckedText {
  std::string entries;            // for SimpleIni
  std::string trailing_comments;  // comment lines after the last entry, "\n"-ended
};

// The line with `name` (a part of `line`) spelt as `spelling`.
std::string respelt(std::string_view line, std::string_view name, std::string_view spelling) {
  const std::size_t at = static_cast<std::size_t>(name.data() - line.data());
  std::string out(line.substr(0, at));
  out.append(spelling).append(line.substr(at + name.size()));
  return out;
}

// SimpleIni skips lines it cannot read without telling, and a "[" header without "]"
// makes it glue the next line into the section name. The text is checked line by line
// first so that every such line is reported, and an unclosed header is closed.
// SimpleIni keeps a comment only with the entry after it, so comments after the last
// entry are split off here to be written back at the end.
// SimpleIni also folds only ASCII letters, so "[Связь]" and "[связь]" would load as two
// sections, one of them unreachable by name; a later spelling is changed here to the first,
// so that the sections join and a repeated key is replaced, as for any repeated name.
// A header without a name cannot be written back where it stood (the nameless section is
// written first), so it is dropped and its keys stay in the section above.
// Dropped lines are not passed on at all: SimpleIni would pass over them too, but a comment
// after one would then not be the first line, and would become the file's own comment only
// on the next load, moving on every save.
CheckedText checked_text(std::string_view text, std::vector<std::string>& problems,
                         std::string& first_loss) {
  const auto lost = [&](std::string problem) {
    if (first_loss.empty()) first_loss = problem;
    problems.push_back(std::move(problem));
  };
  std::string out;
  out.reserve(text.size() + 16);
  std::size_t entries_end = 0;
  // Every section by its first spelling, with the first spellings of its keys.
  std::map<std::string, std::set<std::string, IdentLess>, IdentLess> names;
  auto section = names.emplace("", std::set<std::string, IdentLess>()).first;
  const auto lines = split_lines(text);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    const std::string_view body = trim(line);
    const std::string where = "line " + std::to_string(i + 1) + ": ";
    bool entry = false;
    if (body.empty() || body.front() == ';' || body.front() == '#') {
      // Blank or comment. A comment goes on without its indent: SimpleIni takes a comment
      // as the file's own only when it starts the text, and writes it back unindented.
      out.append(body);
    } else if (body.front() == '[') {
      const std::size_t close = body.find(']');
      const std::string_view name = trim(
          body.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
      if (name.empty()) {
        problems.push_back(where + "section header without a name, dropped (the keys below stay " +
                           (section->first.empty() ? std::string("before the first section")
                                                   : "in section [" + section->first + "]") +
                           "): " + shown(body));
      } else {
        entry = true;
        section = names.emplace(std::string(name), std::set<std::string, IdentLess>()).first;
        if (section->first != name) {
          out.append(respelt(line, name, section->first));
          problems.push_back(where + "section [" + shown(name) + "] is [" + section->first +
                             "] in another letter case, its keys are joined to it");
        } else {
          out.append(line);
        }
        if (close == std::string_view::npos) {
          out.push_back(']');
          problems.push_back(
              where + "section header without \"]\", closed at the line end: " + shown(body));
        }
      }
    } else {
      const std::size_t eq = body.find('=');
      const std::string_view key = eq == std::string_view::npos ? body : trim(body.substr(0, eq));
      if (eq == std::string_view::npos) {
        lost(where + "not a key=value line, dropped: " + shown(body));
      } else if (key.empty()) {
        lost(where + "empty key name, line dropped: " + shown(body));
      } else {
        entry = true;
        const std::string& spelling = *section->second.emplace(key).first;
        if (spelling != key) {
          out.append(respelt(line, key, spelling));
          problems.push_back(where + "key \"" + shown(key) + "\" repeats \"" + spelling +
                             "\" in another letter case, this line's value is kept");
        } else {
          out.append(line);
        }
      }
    }
    out.push_back('\n');
    if (entry) entries_end = out.size();
  }
  CheckedText result;
  for (std::string_view line : split_lines(std::string_view(out).substr(entries_end))) {
    const std::string_view body = trim(line);
    if (!body.empty() && (body.front() == ';' || body.front() == '#')) {
      result.trailing_comments.append(body).push_back('\n');
    }
  }
  out.resize(entries_end);
  // A comment on the very first line is the file's own comment to SimpleIni; blank lines
  // before it would make it the first section's comment on one save and the file's on the
  // next, so the layout would shift from save to save.
  const std::size_t first = out.find_first_not_of(" \t\n");
  if (first == std::string::npos) {
    out.clear();
  } else {
    const std::size_t line_start = out.rfind('\n', first);
    if (line_start != std::string::npos) out.erase(0, line_start + 1);
  }
  result.entries = std::move(out);
  return result;
}

std::string one_line(std::string_view value) {
  std::string s(value);
  for (char& c : s) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return s;
}

void check_section_name(std::string_view section) {
  if (section.find_first_of("]\r\n") != std::string_view::npos || trim(section) != section) {
    throw std::invalid_argument("INI section name cannot be stored: \"" + std::string(section) +
                                "\"");
  }
}

void check_key_name(std::string_view key) {
  const bool bad = key.empty() || trim(key) != key ||
                   key.find_first_of("=\r\n") != std::string_view::npos || key.front() == '[' ||
                   key.front() == ';' || key.front() == '#';
  if (bad) {
    throw std::invalid_argument("INI key name cannot be stored: \"" + std::string(key) + "\"");
  }
}

}  // namespace

struct IniFile::Impl {
  CSimpleIniA si;

  Impl() { configure(); }

  void configure() {
    si.SetUnicode(true);
    si.SetMultiKey(false);
    si.SetMultiLine(false);
    // Quote parsing would strip the quotes of comma text such as "a b","c d".
    si.SetQuotes(false);
    si.SetSpaces(false);
  }

  void reset() {
    si.Reset();
    configure();
  }

  // The stored spelling of a section name. SimpleIni folds only ASCII letters, so a
  // Cyrillic name in another letter case is looked up by a scan.
  std::optional<std::string> section_name(std::string_view name) const {
    const std::string n(name);
    if (si.GetSection(n.c_str()) != nullptr) return n;
    CSimpleIniA::TNamesDepend all;
    si.GetAllSections(all);
    for (const auto& e : all) {
      if (ident_equal(e.pItem, name)) return std::string(e.pItem);
    }
    return std::nullopt;
  }

  std::optional<std::string> key_name(const std::string& section, std::string_view name) const {
    const std::string n(name);
    if (si.GetValue(section.c_str(), n.c_str(), nullptr) != nullptr) return n;
    CSimpleIniA::TNamesDepend all;
    si.GetAllKeys(section.c_str(), all);
    for (const auto& e : all) {
      if (ident_equal(e.pItem, name)) return std::string(e.pItem);
    }
    return std::nullopt;
  }

  std::vector<std::string> in_load_order(CSimpleIniA::TNamesDepend& names) const {
    names.sort(CSimpleIniA::Entry::LoadOrder());
    std::vector<std::string> out;
    out.reserve(names.size());
    for (const auto& e : names) out.emplace_back(e.pItem);
    return out;
  }
};

IniFile::IniFile() : impl_(std::make_unique<Impl>()) {}
IniFile::~IniFile() = default;
IniFile::IniFile(IniFile&&) noexcept = default;
IniFile& IniFile::operator=(IniFile&&) noexcept = default;

void IniFile::load_file(const std::string& path, FileSystem& fs) {
  clear();
  path_ = path;
  fs_ = &fs;
  const std::optional<FileStatus> status = fs.stat(path);
  if (!status && (errno == ENOENT || errno == ENOTDIR)) return;
  std::string reason;
  std::optional<std::string> bytes;
  if (!status) {
    reason = errno_text(errno);
  } else if (!status->is_regular()) {
    reason = "not a regular file";
  } else {
    bytes = read_whole_file(path, fs);
    if (!bytes) reason = read_failure_text(errno);
  }
  if (!bytes) {
    unread_ = true;
    throw IniError("cannot read settings file \"" + path + "\"" +
                   (reason.empty() ? std::string() : ": " + reason));
  }
  load_text(*bytes);
}

namespace {

std::string byte_hex(unsigned char b) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return std::string("0x") + kDigits[b >> 4] + kDigits[b & 0xF];
}

}  // namespace

void IniFile::load_text(std::string_view text) {
  clear();
  if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) text.remove_prefix(kUtf8Bom.size());

  std::string clean;
  if (text.find('\0') != std::string_view::npos) {
    first_loss_ = "NUL bytes removed";
    problems_.push_back(first_loss_);
    clean.reserve(text.size());
    for (char c : text) {
      if (c != '\0') clean.push_back(c);
    }
  } else {
    clean.assign(text);
  }
  // One decision for the whole text: a stray byte in a UTF-8 file must not turn every line
  // into CP1251 mojibake, which no section or key would match.
  const TextEncodingGuess guess = guess_text_encoding(clean);
  if (guess.kind == TextEncodingGuess::kCp1251) {
    clean = cp1251_to_utf8(clean);
    converted_from_cp1251_ = true;
    problems_.push_back("text is not UTF-8, read as the 8-bit Cyrillic code page (CP1251)");
  } else if (guess.kind == TextEncodingGuess::kDamagedUtf8) {
    undecodable_ = true;
    const std::string problem = "line " + std::to_string(guess.bad_line) + " (byte offset " +
                                std::to_string(guess.bad_offset) + "): byte " +
                                byte_hex(static_cast<unsigned char>(clean[guess.bad_offset])) +
                                " is not valid UTF-8; the text is UTF-8 with " +
                                std::to_string(guess.bad_sequences) +
                                " ill-formed byte sequence(s), which were read as U+FFFD";
    if (first_loss_.empty()) first_loss_ = problem;
    problems_.push_back(problem);
    clean = StrEncConverter(StringEnc::kUtf8).to_utf8(clean);
  }

  CheckedText checked = checked_text(clean, problems_, first_loss_);
  trailing_comments_ = std::move(checked.trailing_comments);
  // The parser would take a U+FEFF that begins the first name for a second byte-order mark
  // and drop it: a blank line in front keeps the name whole.
  if (checked.entries.starts_with(kUtf8Bom)) checked.entries.insert(0, "\n");
  const SI_Error rc = impl_->si.LoadData(checked.entries);
  if (rc < 0) {
    impl_->reset();
    const std::string problem = "text could not be parsed (error " + std::to_string(rc) + ")";
    if (first_loss_.empty()) first_loss_ = problem;
    problems_.push_back(problem);
  }
}

std::vector<std::string> IniFile::sections() const {
  CSimpleIniA::TNamesDepend all;
  impl_->si.GetAllSections(all);
  return impl_->in_load_order(all);
}

std::vector<std::string> IniFile::keys(std::string_view section) const {
  const auto s = impl_->section_name(section);
  if (!s) return {};
  CSimpleIniA::TNamesDepend all;
  impl_->si.GetAllKeys(s->c_str(), all);
  return impl_->in_load_order(all);
}

bool IniFile::has_section(std::string_view section) const {
  return impl_->section_name(section).has_value();
}

bool IniFile::has_key(std::string_view section, std::string_view key) const {
  return find(section, key).has_value();
}

std::optional<std::string> IniFile::find(std::string_view section, std::string_view key) const {
  const auto s = impl_->section_name(section);
  if (!s) return std::nullopt;
  const auto k = impl_->key_name(*s, key);
  if (!k) return std::nullopt;
  const char* v = impl_->si.GetValue(s->c_str(), k->c_str(), nullptr);
  if (v == nullptr) return std::nullopt;
  return std::string(v);
}

std::string IniFile::get_string(std::string_view section, std::string_view key,
                                std::string_view def) const {
  auto v = find(section, key);
  return v ? std::move(*v) : std::string(def);
}

long long IniFile::get_int(std::string_view section, std::string_view key, long long def) const {
  const auto v = find(section, key);
  if (!v) return def;
  return parse_ini_int(*v).value_or(def);
}

double IniFile::get_double(std::string_view section, std::string_view key, double def) const {
  const auto v = find(section, key);
  if (!v) return def;
  return parse_ini_double(*v).value_or(def);
}

bool IniFile::get_bool(std::string_view section, std::string_view key, bool def) const {
  const auto v = find(section, key);
  if (!v) return def;
  return parse_ini_bool(*v).value_or(def);
}

void IniFile::set_string(std::string_view section, std::string_view key, std::string_view value) {
  check_section_name(section);
  check_key_name(key);
  const std::string s = impl_->section_name(section).value_or(std::string(section));
  const std::string k = impl_->key_name(s, key).value_or(std::string(key));
  const std::string v = one_line(value);
  const SI_Error rc = impl_->si.SetValue(s.c_str(), k.c_str(), v.c_str());
  if (rc < 0) throw std::bad_alloc();
}

void IniFile::set_int(std::string_view section, std::string_view key, long long value) {
  set_string(section, key, std::to_string(value));
}

void IniFile::set_double(std::string_view section, std::string_view key, double value, int digits) {
  set_string(section, key, digits < 0 ? float_to_str(value) : float_to_str(value, digits));
}

void IniFile::set_bool(std::string_view section, std::string_view key, bool value) {
  set_string(section, key, value ? "1" : "0");
}

bool IniFile::delete_key(std::string_view section, std::string_view key) {
  const auto s = impl_->section_name(section);
  if (!s) return false;
  const auto k = impl_->key_name(*s, key);
  if (!k) return false;
  return impl_->si.Delete(s->c_str(), k->c_str(), false);
}

bool IniFile::delete_section(std::string_view section) {
  const auto s = impl_->section_name(section);
  if (!s) return false;
  return impl_->si.Delete(s->c_str(), nullptr);
}

void IniFile::clear() {
  impl_->reset();
  problems_.clear();
  trailing_comments_.clear();
  converted_from_cp1251_ = false;
  undecodable_ = false;
  unread_ = false;
  first_loss_.clear();
}

std::string IniFile::to_text() const {
  std::string out;
  const SI_Error rc = impl_->si.Save(out, /*a_bAddSignature=*/false);
  if (rc < 0) throw IniError("settings text could not be built (error " + std::to_string(rc) + ")");
  // A reader skips a byte-order mark at the start: a text whose first name itself begins
  // with U+FEFF gets one in front, or that name would lose its first character.
  if (out.starts_with(kUtf8Bom)) out.insert(0, kUtf8Bom);
  if (!trailing_comments_.empty()) {
    if (!out.empty()) out.push_back('\n');
    out += trailing_comments_;
  }
  return out;
}

void IniFile::save_file(const std::string& path, FileSystem& fs) {
  if (read_only_) throw IniError("settings file \"" + path + "\" is open read-only");
  if (unread_ && path == path_) {
    throw IniError("settings file \"" + path + "\" was not read, saving would overwrite it");
  }
  if (!fully_read() && path == path_) {
    throw IniError("settings file \"" + path + "\" was not fully read (" + first_loss_ +
                   "); saving would lose that text, the file is left as it is");
  }
  const std::string text = to_text();
  try {
    // The previous content is kept beside the file before it is replaced, so a save that
    // turns out wrong (a bad value, a mistaken edit) can be undone by hand.
    bool unchanged = false;
    if (!missing(fs, path)) {
      const std::optional<std::string> old = read_whole_file(path, fs);
      if (!old) {
        throw IniError("settings file \"" + path +
                       "\" cannot be read to keep a backup, the file is left as it is");
      }
      unchanged = *old == text;
      if (!unchanged) {
        try {
          write_file_atomically(backup_path(path), *old, fs);
        } catch (const std::exception& e) {
          throw IniError("the backup of settings file \"" + path + "\" cannot be written (" +
                         e.what() + "), the file is left as it is");
        }
      }
    }
    if (!unchanged) write_file_atomically(path, text, fs);
  } catch (const IniError&) {
    throw;
  } catch (const std::exception& e) {
    throw IniError(e.what());
  }
  path_ = path;
  fs_ = &fs;
  unread_ = false;
  first_loss_.clear();  // the file now holds exactly this content
}

void IniFile::save() {
  if (path_.empty() || fs_ == nullptr) throw IniError("settings have no file to save to");
  save_file(path_, *fs_);
}

std::string backup_path(const std::string& path) {
  return path + ".bak";
}

std::unique_ptr<IniFile> get_ini_file(const std::string& path, FileSystem& fs) {
  auto ini = std::make_unique<IniFile>();
  ini->load_file(path, fs);
  return ini;
}

std::unique_ptr<IniFile> get_readonly_ini_file(const std::string& path, FileSystem& fs) {
  auto ini = get_ini_file(path, fs);
  ini->set_read_only(true);
  return ini;
}

std::optional<long long> parse_ini_int(std::string_view text) {
  text = trim(text);
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') return std::nullopt;
  }
  if (text.empty()) return std::nullopt;
  long long v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return v;
}

std::optional<double> parse_ini_double(std::string_view text) {
  double v = 0;
  if (trim(text).empty() || !try_str_to_float(text, v) || !std::isfinite(v)) {
    return std::nullopt;
  }
  return v;
}

std::optional<bool> parse_ini_bool(std::string_view text) {
  const std::string t = to_lower(trim(text));
  if (t == "1" || t == "true" || t == "yes" || t == "on" || t == "да") return true;
  if (t == "0" || t == "false" || t == "no" || t == "off" || t == "нет") return false;
  return std::nullopt;
}

}  // namespace lib
