// A list of like items (alarm thresholds, servers, ...) kept in one INI section, one item
// per line in comma text:
//
//   [пороги]
//   count=2
//   1=Вес,120.5,"Превышение веса"
//   2=Давление,250,Давление
//
// The lines are numbered from 1 in list order; "count" holds their number for people
// reading the file. The section belongs to the collection: saving rewrites all its keys.
//
// A subclass keeps the items in its own typed container and converts one item to and from
// its fields; this class does the file layout and the error handling.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "lib/ini_file.h"
#include "lib/string_container.h"

namespace lib {

class IniCollectModule {
 public:
  explicit IniCollectModule(std::string section) : section_(std::move(section)) {}
  virtual ~IniCollectModule() = default;

  const std::string& section() const { return section_; }

  // Replaces the items with those of the section; a missing section gives no items.
  // Lines are read in the order of their numbers, whatever "count" says, so a wrong count
  // or a gap loses nothing. A line the subclass refuses (or throws on) is skipped, and the
  // returned list says which line and why; the other lines still load. Keys that are
  // neither "count" nor a line number are reported and ignored.
  std::vector<std::string> load(const IniFile& ini);
  // Rewrites the section with the items held; the other sections are not touched, and the
  // section keeps its place in the file.
  void save(IniFile& ini) const;

  // load() from a file. A missing file gives no items; a file that cannot be read keeps
  // the items held and is reported in the returned list.
  std::vector<std::string> load_from_file(const std::string& path, FileSystem& fs);
  // Reads the file as it is now, rewrites the section and saves atomically, keeping the
  // previous file as its ".bak". Throws IniError when the file cannot be read, was not fully
  // read (IniFile::fully_read) or cannot be saved; the file is then untouched.
  void save_to_file(const std::string& path, FileSystem& fs) const;

 protected:
  virtual std::size_t item_count() const = 0;
  virtual void clear_items() = 0;
  // The fields of item `index` (< item_count()); `fields` comes in empty.
  virtual void item_to_fields(std::size_t index, StringContainer& fields) const = 0;
  // Appends an item read from one line. Returns false, with the reason in `reason`, to
  // skip the line.
  virtual bool add_item_from_fields(const StringContainer& fields, std::string& reason) = 0;

 private:
  std::string section_;
};

}  // namespace lib
