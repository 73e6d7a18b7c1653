// One description of a module's persistent fields that serves both directions: while the
// state is written each add() writes the field, while it is read each add() reads it back
// into the same field. A module therefore lists its fields once and cannot get the two
// directions out of step.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "lib/binary_stream.h"

namespace lib {

class serial_list {
 public:
  static constexpr int kWriting = 0;
  static constexpr int kReading = 1;

  serial_list(io::OutputStream& out, unsigned data_version)
      : out_(&out), data_version_(data_version) {}
  serial_list(io::InputStream& in, unsigned data_version) : in_(&in), data_version_(data_version) {}

  // 1 while reading, 0 while writing.
  int direction() const { return in_ != nullptr ? kReading : kWriting; }
  bool reading() const { return in_ != nullptr; }
  // The data version handed to the module list by the caller of serialize/deserialize.
  unsigned data_version() const { return data_version_; }

  // Scalars, bool, std::string, DateTime.
  template <class T>
  serial_list& add(T& field) {
    if (in_) {
      io::read_binary(*in_, field);
    } else {
      io::write_binary(*out_, static_cast<const T&>(field));
    }
    return *this;
  }

  // A vector: 32-bit count, then the items. The count is checked against the bytes left,
  // so a damaged count cannot make the reader allocate without bound.
  template <class T>
  serial_list& add(std::vector<T>& items) {
    if (in_) {
      std::uint32_t n = 0;
      io::read_binary(*in_, n);
      if (n > in_->remaining())
        throw io::StreamError("list of " + std::to_string(n) + " items does not fit the data left");
      std::vector<T> read_items(n);
      for (auto& item : read_items) add(item);
      items = std::move(read_items);
    } else {
      io::write_binary(*out_, static_cast<std::uint32_t>(items.size()));
      for (auto& item : items) add(item);
    }
    return *this;
  }

  // A field with its own frame: `write` is called while writing, `read` while reading.
  serial_list& add_custom(const std::function<void(io::OutputStream&)>& write,
                          const std::function<void(io::InputStream&)>& read) {
    if (in_) {
      read(*in_);
    } else {
      write(*out_);
    }
    return *this;
  }

  // The underlying stream of the current direction (null for the other one).
  io::OutputStream* output() { return out_; }
  io::InputStream* input() { return in_; }

 private:
  io::OutputStream* out_ = nullptr;
  io::InputStream* in_ = nullptr;
  unsigned data_version_ = 0;
};

}  // namespace lib
