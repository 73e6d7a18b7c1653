#include "instr/items.h"

#include <algorithm>
#include <stdexcept>

namespace instr {

void Items::check_all(const std::vector<Elem>& elems) {
  if (elems.size() > kMaxElems) {
    throw std::invalid_argument("tally of " + std::to_string(elems.size()) +
                                " elements, more than " + std::to_string(kMaxElems));
  }
  for (std::size_t i = 0; i < elems.size(); ++i) {
    if (auto why = elems[i].check())
      throw std::invalid_argument("element " + std::to_string(i + 1) + ": " + *why);
  }
}

void Items::set_elems(std::vector<Elem> elems) {
  check_all(elems);
  elems_ = std::move(elems);
}

void Items::add(Elem elem) {
  if (elems_.size() >= kMaxElems)
    throw std::invalid_argument("tally is full (" + std::to_string(kMaxElems) + " elements)");
  if (auto why = elem.check()) throw std::invalid_argument("element: " + *why);
  elems_.push_back(std::move(elem));
}

void Items::set_svecha_size(int pipes) {
  if (pipes < 1 || pipes > kMaxSvechaSize) {
    throw std::invalid_argument("pipes per stand " + std::to_string(pipes) + " outside 1.." +
                                std::to_string(kMaxSvechaSize));
  }
  svecha_size_ = pipes;
}

int Items::get_total_count() const {
  long long sum = 0;
  for (const Elem& e : elems_) sum += e.count;
  return static_cast<int>(sum);  // bounded by kMaxElems * Elem::kMaxCount
}

double Items::get_total_len() const {
  double sum = 0;
  for (const Elem& e : elems_) sum += e.get_len();
  return sum;
}

void Items::calc_misc(int n, int m, double depth, CalcResult& result) const {
  result.clear();
  n = std::max(n, 0);
  m = std::max(m, 0);
  if (!(depth > 0)) depth = 0;  // also NaN

  // 1. The first n pieces, then m pipes of the element they end in.
  double len_n = 0, weight_n = 0, metal_n = 0, outer_n = 0;
  auto take = [&](double len, const Elem& e) {
    len_n += len;
    weight_n += e.get_metal_weight(len);
    metal_n += e.get_metal_volume(len);
    outer_n += e.get_total_volume(len);
  };
  for (const Elem& e : elems_) {
    const int k = std::min(n, e.count);
    if (n > 0) {
      take(e.get_len(k), e);
      result.elem = e;
      result.elem_count = k;
      result.elem_pipes = m;
      n -= k;
    }
    if (n < 1 && k < e.count) {
      // The pieces end inside this element (or before it): the extra pipes come from it.
      take(e.get_len_pipes(m), e);
      result.elem = e;
      result.elem_count = k;
      result.elem_pipes = m;
      break;
    }
    if (n == 0 && m == 0) break;
  }
  result.len_n = static_cast<float>(len_n);
  result.weight_n = static_cast<float>(weight_n);
  result.metal_volume_n = static_cast<float>(metal_n);
  result.total_volume_n = static_cast<float>(outer_n);

  // 2. Down to the depth; the last element absorbs what is left.
  double rest = depth, metal_depth = 0, weight_depth = 0;
  for (std::size_t i = 0; i < elems_.size(); ++i) {
    const Elem& e = elems_[i];
    const double full = e.get_len();
    const double used = (full <= rest && i + 1 < elems_.size()) ? full : rest;
    metal_depth += e.get_metal_volume(used);
    weight_depth += e.get_metal_weight(used);
    rest -= used;
  }
  result.metal_volume_depth = static_cast<float>(metal_depth);
  result.metal_weight_depth = static_cast<float>(weight_depth);

  // 3. The whole string.
  double count = 0, len = 0, weight = 0, outer = 0, metal = 0;
  float max_diameter = 0;
  for (const Elem& e : elems_) {
    const double full = e.get_len();
    count += e.count;
    len += full;
    weight += e.get_metal_weight(full);
    outer += e.get_total_volume(full);
    metal += e.get_metal_volume(full);
    max_diameter = std::max(max_diameter, e.outer_diameter);
  }
  result.total_count = static_cast<float>(count);
  result.total_len = static_cast<float>(len);
  result.total_weight = static_cast<float>(weight);
  result.total_volume = static_cast<float>(outer);
  result.metal_volume = static_cast<float>(metal);
  result.max_diameter = max_diameter;
}

void Items::serial_fields(lib::serial_list& list, unsigned /*version*/) {
  if (!list.reading()) {
    std::int32_t svecha = svecha_size_;
    list.add(svecha);
    std::uint32_t n = static_cast<std::uint32_t>(elems_.size());
    list.add(n);
    for (Elem& e : elems_) {
      list.add(e.count).add(e.type).add(e.outer_diameter).add(e.weight_per_metre);
      list.add(e.wall_thickness).add(e.pipe_lengths);
    }
    return;
  }
  // Read into a new tally and take it only when all of it is sound.
  std::int32_t svecha = 0;
  std::uint32_t n = 0;
  list.add(svecha).add(n);
  if (svecha < 1 || svecha > kMaxSvechaSize)
    throw lib::io::StreamError("pipes per stand " + std::to_string(svecha) + " out of range");
  if (n > kMaxElems) throw lib::io::StreamError("tally of " + std::to_string(n) + " elements");
  std::vector<Elem> elems(n);
  for (Elem& e : elems) {
    list.add(e.count).add(e.type).add(e.outer_diameter).add(e.weight_per_metre);
    list.add(e.wall_thickness).add(e.pipe_lengths);
  }
  try {
    check_all(elems);
  } catch (const std::invalid_argument& e) {
    throw lib::io::StreamError(e.what());
  }
  elems_ = std::move(elems);
  svecha_size_ = svecha;
}

}  // namespace instr
