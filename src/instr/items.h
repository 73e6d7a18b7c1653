// The drill-string tally: the elements in the order they go into the hole (bit first), and
// the number of pipes in one stand, which the stand counter needs. From it come the string's
// piece count, length, steel and displaced volumes and weight, for the whole string and for
// the part that is in the hole.
//
// Saved in the state file as the module "PromerInstr2" (layout in docs/well-state.md); the
// readable form an operator edits is the tally CSV (instr/tally_csv.h).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "instr/calc_result.h"
#include "instr/elem.h"
#include "lib/module_base.h"

namespace instr {

class Items : public lib::SerialModuleBase {
 public:
  static constexpr const char* kSerialName = "PromerInstr2";
  static constexpr unsigned kSerialVersion = 1;
  static constexpr int kDefaultSvechaSize = 3;
  static constexpr int kMaxSvechaSize = 10;
  static constexpr std::size_t kMaxElems = 10000;

  Items() : SerialModuleBase(kSerialName, kSerialVersion) {}

  const std::vector<Elem>& elems() const { return elems_; }
  std::size_t size() const { return elems_.size(); }
  bool empty() const { return elems_.empty(); }

  // Replaces the tally. Throws std::invalid_argument, leaving the tally as it was, when an
  // element fails Elem::check or there are more than kMaxElems of them.
  void set_elems(std::vector<Elem> elems);
  void add(Elem elem);  // the same check
  void clear() { elems_.clear(); }

  // Pipes in one stand, 1..kMaxSvechaSize.
  int get_svecha_size() const { return svecha_size_; }
  // Throws std::invalid_argument for a value outside 1..kMaxSvechaSize.
  void set_svecha_size(int pipes);

  // Sum of the element counts.
  int get_total_count() const;
  // Sum of the elements' full lengths, m.
  double get_total_len() const;

  // Fills `result` (cleared first) in three passes:
  //  1. the first n pieces from the top of the tally plus m further pipes of the element the
  //     n pieces end in;
  //  2. the steel down to `depth` (the last element takes whatever depth is left, so a depth
  //     beyond the string counts as more of its last element);
  //  3. the totals of the whole string.
  // Negative n or m count as 0; a depth that is negative or not a number counts as 0.
  void calc_misc(int n, int m, double depth, CalcResult& result) const;

 protected:
  void serial_fields(lib::serial_list& list, unsigned version) override;

 private:
  static void check_all(const std::vector<Elem>& elems);

  std::vector<Elem> elems_;
  int svecha_size_ = kDefaultSvechaSize;
};

}  // namespace instr
