// A moving-average window of up to kMaxLength values with a constant cost per appended
// value, whatever the length. The mean equals the plain mean of the values in the window
// up to rounding: the running sum is compensated (Neumaier) and recomputed from the values
// every time the ring wraps, so rounding cannot build up over months of ticks. Values that
// are not finite are kept out of the running sum and counted; while any is in the window
// the mean is computed directly, so a NaN leaves the average as soon as it leaves the window.
#pragma once

#include <cstddef>
#include <vector>

namespace ds_tmp {

class AverageWindow {
 public:
  static constexpr int kMaxLength = 1000;

  // Clamps n to 1..kMaxLength.
  static int clamp_length(int n);

  // Appends a value, then drops the oldest values while more than `length` are held
  // (a shorter length than before trims the window to its newest values).
  void push(double value, int length);
  void clear();

  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  // Mean of the values held; 0 when empty.
  double mean() const;
  // The values, oldest first (for tests and state dumps).
  std::vector<double> values() const;

 private:
  void resize_capacity(int length);
  void recompute_sum();
  double at(std::size_t i) const { return ring_[(head_ + i) % ring_.size()]; }

  std::vector<double> ring_;  // capacity = the current length
  std::size_t head_ = 0;      // index of the oldest value
  std::size_t count_ = 0;
  std::size_t pushes_since_recompute_ = 0;
  double sum_ = 0;           // of the finite values
  double compensation_ = 0;  // Neumaier's running correction
  std::size_t non_finite_ = 0;
};

}  // namespace ds_tmp
