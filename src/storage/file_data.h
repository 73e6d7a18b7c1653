// A block the host keeps in the data storage for its own use; the library reads none of it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

struct FileData {
  bool flag1 = false;
  bool flag2 = false;
  std::array<double, 7> values{};
  std::array<std::uint8_t, 60> area{};
  std::string text;

  void clear() {
    flag1 = flag2 = false;
    values.fill(0);
    area.fill(0);
  }
};
