// Feeds arbitrary bytes to the tally CSV reader and to the construction's stored-line reader.
// Whatever the tally reader accepts must be accepted by the tally and read back unchanged
// from the writer's text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "instr/tally_csv.h"
#include "pore/constr_element.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  instr::TallyCsvResult parsed = instr::parse_tally_csv(bytes);
  instr::Items items;
  items.set_elems(parsed.elems);  // throws (and the fuzzer reports it) on an unchecked element
  items.set_svecha_size(parsed.svecha_size);
  instr::CalcResult r;
  items.calc_misc(items.get_total_count() / 2, 1, items.get_total_len() / 2, r);
  instr::TallyCsvResult again = instr::parse_tally_csv(instr::tally_to_csv(items));
  if (!again.problems.empty() || again.elems != parsed.elems) std::abort();

  pore::ConstrElement e;
  std::string why;
  if (e.from_line(bytes, why)) {
    pore::ConstrElement back;
    back.kind = e.kind;
    if (!back.from_line(e.to_line(), why) || !(back == e)) std::abort();
  }
  return 0;
}
