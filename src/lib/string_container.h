// An ordered list of strings, each with an integer tag, and its two text forms:
//  - comma text: items separated by ","; an item holding a blank, a comma or a double
//    quote (or an empty item) is written in double quotes with inner quotes doubled;
//  - spaced text: tokens separated by blanks; a token in double quotes may hold blanks.
// Writing quotes an item exactly when quoted_str would, in both forms, so reading back what
// was written gives the same texts for any items.
// Dictionaries hand out lists of texts with ids through the tag.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace lib {

class StringContainer {
 public:
  struct Item {
    std::string text;
    std::int64_t tag = 0;
    bool operator==(const Item&) const = default;
  };

  StringContainer() = default;
  StringContainer(std::initializer_list<std::string> texts);

  std::size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  void clear() { items_.clear(); }

  void add(std::string text, std::int64_t tag = 0);
  const std::string& operator[](std::size_t i) const { return items_.at(i).text; }
  std::string& operator[](std::size_t i) { return items_.at(i).text; }
  const Item& item(std::size_t i) const { return items_.at(i); }
  std::int64_t tag(std::size_t i) const { return items_.at(i).tag; }
  const std::vector<Item>& items() const { return items_; }

  // Index of the first item equal to text (exact), or -1.
  int index_of(std::string_view text) const;
  // Index of the first item whose tag equals tag, or -1.
  int index_of_tag(std::int64_t tag) const;

  std::string comma_text() const;
  // Replaces the items with those of comma text. Tags are reset to 0. A field that starts
  // with a quote runs to the closing quote; an unclosed quote takes the rest of the line.
  // Blanks around a field are dropped; text between a closing quote and the next comma is
  // appended to the field. Blank text gives no items, "a," gives "a" and an empty item.
  void set_comma_text(std::string_view text);

  // Items quoted as in comma text and separated by one space.
  std::string spaced_text() const;
  // Replaces the items with the tokens of the text (tags reset to 0). A token that starts
  // with a quote runs to the closing quote (or the end), and characters glued to the
  // closing quote belong to it.
  void set_spaced_text(std::string_view text);

  // Items parsed with str_to_float (malformed items give 0).
  std::vector<double> to_floats() const;

  bool operator==(const StringContainer&) const = default;

 private:
  std::vector<Item> items_;
};

}  // namespace lib
