#include "storage/average_window.h"

#include <algorithm>
#include <cmath>

namespace ds_tmp {
namespace {

// Neumaier's compensated addition: the lost low-order part goes to `c`.
void add_compensated(double& sum, double& c, double x) {
  double t = sum + x;
  if (std::fabs(sum) >= std::fabs(x)) {
    c += (sum - t) + x;
  } else {
    c += (x - t) + sum;
  }
  sum = t;
}

}  // namespace

int AverageWindow::clamp_length(int n) {
  return std::clamp(n, 1, kMaxLength);
}

void AverageWindow::clear() {
  ring_.clear();
  head_ = count_ = pushes_since_recompute_ = non_finite_ = 0;
  sum_ = compensation_ = 0;
}

void AverageWindow::resize_capacity(int length) {
  // Keep the newest `length` values, oldest first, in a ring of exactly that size.
  std::vector<double> kept;
  std::size_t keep = std::min<std::size_t>(count_, static_cast<std::size_t>(length));
  kept.reserve(static_cast<std::size_t>(length));
  for (std::size_t i = count_ - keep; i < count_; ++i) kept.push_back(at(i));
  ring_.assign(static_cast<std::size_t>(length), 0.0);
  std::copy(kept.begin(), kept.end(), ring_.begin());
  head_ = 0;
  count_ = keep;
  recompute_sum();
}

void AverageWindow::recompute_sum() {
  sum_ = compensation_ = 0;
  non_finite_ = 0;
  for (std::size_t i = 0; i < count_; ++i) {
    double v = at(i);
    if (std::isfinite(v)) {
      add_compensated(sum_, compensation_, v);
    } else {
      ++non_finite_;
    }
  }
  pushes_since_recompute_ = 0;
}

void AverageWindow::push(double value, int length) {
  length = clamp_length(length);
  if (ring_.size() != static_cast<std::size_t>(length)) resize_capacity(length);
  if (count_ == ring_.size()) {
    double oldest = ring_[head_];
    if (std::isfinite(oldest)) {
      add_compensated(sum_, compensation_, -oldest);
    } else {
      --non_finite_;
    }
    ring_[head_] = value;
    head_ = (head_ + 1) % ring_.size();
  } else {
    ring_[(head_ + count_) % ring_.size()] = value;
    ++count_;
  }
  if (std::isfinite(value)) {
    add_compensated(sum_, compensation_, value);
  } else {
    ++non_finite_;
  }
  if (++pushes_since_recompute_ >= ring_.size()) recompute_sum();
}

double AverageWindow::mean() const {
  if (count_ == 0) return 0;
  if (non_finite_ > 0) {
    double sum = 0;
    for (std::size_t i = 0; i < count_; ++i) sum += at(i);
    return sum / static_cast<double>(count_);
  }
  return (sum_ + compensation_) / static_cast<double>(count_);
}

std::vector<double> AverageWindow::values() const {
  std::vector<double> out;
  out.reserve(count_);
  for (std::size_t i = 0; i < count_; ++i) out.push_back(at(i));
  return out;
}

}  // namespace ds_tmp
