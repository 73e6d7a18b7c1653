#include "pore/options_block.h"

#include <cstdint>
#include <string>

namespace pore {

void serial_options(lib::serial_list& list, lib::ini_options& options) {
  lib::options_list opts = options.options();
  if (!list.reading()) {
    std::uint32_t n = static_cast<std::uint32_t>(opts.size());
    list.add(n);
    for (lib::Option& o : opts) {
      std::string section = o.section(), key = o.key(), text = o.to_text();
      list.add(section).add(key).add(text);
    }
    return;
  }
  std::uint32_t n = 0;
  list.add(n);
  // Each triple takes at least three 4-byte string lengths.
  if (list.input() != nullptr && n > list.input()->remaining() / 12)
    throw lib::io::StreamError(std::to_string(n) + " options do not fit the data left");
  // Read all first, so a block cut short changes nothing.
  struct Triple {
    std::string section, key, text;
  };
  std::vector<Triple> triples(n);
  for (Triple& t : triples) list.add(t.section).add(t.key).add(t.text);
  options.set_defaults();
  for (const Triple& t : triples) {
    if (lib::Option* o = opts.find(t.section, t.key)) o->from_text(t.text);
  }
}

}  // namespace pore
