// Saving one persistent module through a module list and reading it back, as the state file
// does, so the tests see exactly what a station restart sees.
#pragma once

#include <string>
#include <vector>

#include "lib/module_list.h"

namespace testing_support {

inline std::string save_state(lib::ModuleBaseOld& module, unsigned data_version = 1) {
  lib::ModuleList list;
  list.register_module(module);
  lib::io::BinaryMemoryOutputStream out;
  list.serialize(out, nullptr, data_version);
  return out.release();
}

// Reads `bytes` into `module`; the problems reported go to `errors`.
inline lib::ModuleList::LoadReport load_state(lib::ModuleBaseOld& module, const std::string& bytes,
                                              std::vector<std::string>* errors = nullptr,
                                              unsigned data_version = 1) {
  lib::ModuleList list;
  list.register_module(module);
  lib::io::BinaryMemoryInputStream in(bytes);
  return list.deserialize(in, data_version, [errors](const std::string& e) {
    if (errors) errors->push_back(e);
  });
}

// The module's `payload` wrapped as a valid block of the module's name, so
// a test can hand a module fields that pass the checksum but hold nonsense.
inline std::string forge_state(lib::ModuleBaseOld& module, unsigned version,
                               const std::string& payload) {
  struct Forged : lib::ModuleBaseOld {
    std::string name, payload;
    unsigned version;
    void get_serial_list(lib::serial_list& list, unsigned& v) override {
      v = version;
      list.output()->write(payload.data(), payload.size());
    }
    void get_serial_name(std::string& n) override { n = name; }
  } forged;
  module.get_serial_name(forged.name);
  forged.payload = payload;
  forged.version = version;
  return save_state(forged);
}

// `values` in the binary layout, one after another: the fields of a forged payload.
template <class... T>
std::string bytes_of(const T&... values) {
  lib::io::BinaryMemoryOutputStream out;
  (lib::io::write_binary(out, values), ...);
  return out.release();
}

}  // namespace testing_support
