// Persistent modules: anything saved in the station's state file describes itself through
// these interfaces and is registered by name in a ModuleList.
#pragma once

#include <string>

#include "lib/serial_list.h"

namespace lib {

// Thrown while reading a block written by a newer layout of the module than this program
// knows: the block is refused, not misread, and the loader tells a newer program wrote it.
class NewerLayoutError : public io::StreamError {
 public:
  using io::StreamError::StreamError;
};

class ModuleBaseOld {
 public:
  virtual ~ModuleBaseOld() = default;

  // Lists the persistent fields in `list`. While writing, set `version` to the version of
  // the layout being written; while reading, `version` holds the version the stored block
  // was written with, so a module can read its older layouts.
  virtual void get_serial_list(serial_list& list, unsigned& version) = 0;
  // The module's section name in the state file.
  virtual void get_serial_name(std::string& name) = 0;
  // Called after the module's block was read completely, to rebuild derived state.
  virtual void after_deserialize() {}
};

// A module that knows its name and current layout version up front. Blocks written by a
// newer layout are refused rather than misread.
class SerialModuleBase : public ModuleBaseOld {
 public:
  SerialModuleBase(std::string serial_name, unsigned serial_version)
      : serial_name_(std::move(serial_name)), serial_version_(serial_version) {}

  void get_serial_list(serial_list& list, unsigned& version) final;
  void get_serial_name(std::string& name) final { name = serial_name_; }
  unsigned serial_version() const { return serial_version_; }

 protected:
  // Lists the fields of layout `version` (the current one while writing).
  virtual void serial_fields(serial_list& list, unsigned version) = 0;

 private:
  std::string serial_name_;
  unsigned serial_version_;
};

}  // namespace lib
