#include "web/history.h"

#include <cmath>
#include <limits>

namespace web {

namespace {
constexpr float kNone = std::numeric_limits<float>::quiet_NaN();
}

History::History(std::size_t capacity) : capacity_(capacity == 0 ? 1 : capacity) {
  times_.resize(capacity_, 0);
}

void History::add(double t, const std::vector<std::pair<std::string, double>>& values) {
  const std::size_t slot = next_;
  times_[slot] = t;
  for (auto& column : columns_) column[slot] = kNone;
  for (const auto& [name, value] : values) {
    auto it = column_of_.find(name);
    if (it == column_of_.end()) {
      if (columns_.size() >= kMaxColumns) continue;
      it = column_of_.emplace(name, columns_.size()).first;
      columns_.emplace_back(capacity_, kNone);
    }
    columns_[it->second][slot] = std::isfinite(value) ? static_cast<float>(value) : kNone;
  }
  next_ = (next_ + 1) % capacity_;
  if (count_ < capacity_) ++count_;
}

History::Slice History::since(const std::vector<std::string>& names, double since) const {
  Slice out;
  const std::size_t oldest = (next_ + capacity_ - count_) % capacity_;
  // Walk back from the newest while the ticks are after `since`.
  std::size_t n = 0;
  while (n < count_) {
    const std::size_t slot = (next_ + capacity_ - 1 - n) % capacity_;
    if (!(times_[slot] > since)) break;
    ++n;
  }
  const std::size_t first = (oldest + (count_ - n)) % capacity_;
  out.t.reserve(n);
  for (std::size_t i = 0; i < n; ++i) out.t.push_back(times_[(first + i) % capacity_]);
  for (const auto& name : names) {
    const auto it = column_of_.find(name);
    if (it == column_of_.end()) {
      out.unknown.push_back(name);
      continue;
    }
    const auto& column = columns_[it->second];
    std::vector<float> values;
    values.reserve(n);
    for (std::size_t i = 0; i < n; ++i) values.push_back(column[(first + i) % capacity_]);
    out.columns.emplace_back(name, std::move(values));
  }
  return out;
}

std::size_t History::memory_bytes() const {
  return times_.size() * sizeof(double) + columns_.size() * capacity_ * sizeof(float);
}

}  // namespace web
