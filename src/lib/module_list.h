// The ordered list of a station's persistent modules and the frame they are saved in.
// Frame (docs/state-file.md): data version, module count, then per module a block carrying
// its name, its layout version, the byte length of its fields and a CRC-32 over all of
// that. Damaged, truncated, foreign or unknown blocks are detected, reported and skipped
// without touching the module they belong to, and without disturbing the blocks after them.
// Blocks of modules not registered now (a plug-in not loaded this time) are kept as read and
// written again by the next serialize, so a start without the plug-in does not lose its state.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "lib/binary_stream.h"
#include "lib/lock_object.h"
#include "lib/module_base.h"

namespace lib {

class ModuleList {
 public:
  // Version of the frame; the hub stores it in front of the list.
  static constexpr std::uint32_t kSerialVersion = 0x01004C4D;  // "ML" frame, revision 1

  using ErrorCallback = std::function<void(const std::string& message)>;

  struct LoadReport {
    int read = 0;            // blocks read into their modules
    int skipped = 0;         // blocks skipped (damaged, unknown, refused)
    int retired = 0;         // blocks of retired modules, passed over without a report
    bool truncated = false;  // the data ended before the last announced block
    int damaged = 0;         // blocks that failed their checksum, were cut or could not be read
    std::vector<std::string> newer;     // modules whose block has a newer layout than known
    std::vector<std::string> unknown;   // blocks of modules not registered now; kept for saving
    std::vector<std::string> problems;  // every problem, as told to the error callback
    // True when every block was either read or merely belongs to a module not loaded now.
    bool clean() const { return damaged == 0 && newer.empty() && !truncated; }
  };

  // Registers a module under its own serial name, or under `name`. The list does not own
  // the module. A second registration under the same name replaces the first.
  void register_module(ModuleBaseOld& module);
  void register_module(ModuleBaseOld& module, std::string name);
  // A module that older versions kept in the file and this one no longer does: its block
  // is passed over quietly and left out of the next save, since it is neither damage nor a
  // stranger to keep for a module that may come back.
  // Takes a module out of the list before it goes away; its block is no longer written.
  void unregister_module(std::string_view name);
  void retire(std::string name) { retired_.push_back(std::move(name)); }
  void clear() {
    entries_.clear();
    kept_.clear();
  }
  std::size_t size() const { return entries_.size(); }
  ModuleBaseOld* find(std::string_view name) const;
  std::vector<std::string> names() const;

  std::uint32_t get_serial_version() const { return kSerialVersion; }

  // Writes every module in registration order, then the blocks kept from the last
  // deserialize for modules not registered, holding `lock` (when given) throughout.
  void serialize(io::OutputStream& out, lock_object* lock, unsigned data_version) const;

  // Reads the blocks from `in` into the registered modules, matched by name. A block that
  // cannot be used is reported through `on_error` (may be empty) and skipped; a module
  // whose block fails while being read is put back as it was. Throws io::StreamError only
  // when the list header itself is unreadable.
  LoadReport deserialize(io::InputStream& in, unsigned data_version, const ErrorCallback& on_error,
                         lock_object* lock = nullptr);
  // Names of the blocks kept for modules not registered now.
  std::vector<std::string> kept_block_names() const;

 private:
  struct Entry {
    std::string name;
    ModuleBaseOld* module;
  };
  struct KeptBlock {
    std::string name;
    std::uint32_t version = 0;
    std::string payload;
  };
  std::vector<Entry> entries_;
  std::vector<std::string> retired_;
  std::vector<KeptBlock> kept_;
};

}  // namespace lib
