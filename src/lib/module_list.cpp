#include "lib/module_list.h"

#include <algorithm>
#include <boost/crc.hpp>
#include <mutex>

namespace lib {
namespace {

// Starts every module block; lets the reader find the next block after a damaged one.
constexpr std::uint32_t kBlockMarker = 0x4B4C4252;  // "RBLK"
constexpr char kBlockMarkerBytes[4] = {'R', 'B', 'L', 'K'};

std::uint32_t block_crc(std::string_view name, std::uint32_t version, std::string_view payload) {
  boost::crc_32_type crc;
  io::BinaryMemoryOutputStream head;
  io::write_binary(head, name);
  io::write_binary(head, version);
  io::write_binary(head, static_cast<std::uint32_t>(payload.size()));
  crc.process_bytes(head.data().data(), head.data().size());
  crc.process_bytes(payload.data(), payload.size());
  return crc.checksum();
}

// The module's fields in its current layout.
std::string write_fields(ModuleBaseOld& module, unsigned data_version, std::uint32_t& version) {
  io::BinaryMemoryOutputStream out;
  serial_list list(out, data_version);
  unsigned v = 0;
  module.get_serial_list(list, v);
  version = v;
  return out.release();
}

// Reads fields of layout `version`; throws when the block does not match the layout.
void read_fields(ModuleBaseOld& module, std::string_view payload, unsigned data_version,
                 std::uint32_t version, bool& left_over) {
  io::BinaryMemoryInputStream in(payload);
  serial_list list(in, data_version);
  unsigned v = version;
  module.get_serial_list(list, v);
  left_over = !in.at_end();
}

struct BlockHeader {
  std::string name;
  std::uint32_t version = 0;
  std::string payload;
  std::uint32_t crc = 0;
};

// Parses one block at the stream's position. Throws io::StreamError when the data ends
// or is not a block.
BlockHeader read_block(io::InputStream& in) {
  std::uint32_t marker = 0;
  io::read_binary(in, marker);
  if (marker != kBlockMarker) throw io::StreamError("no module block marker");
  BlockHeader b;
  io::read_binary(in, b.name);
  io::read_binary(in, b.version);
  std::uint32_t length = 0;
  io::read_binary(in, length);
  b.payload = io::read_bytes(in, length);
  io::read_binary(in, b.crc);
  return b;
}

// Position of the next block marker after `from`, or the end of the data.
std::uint64_t find_next_marker(io::InputStream& in, std::uint64_t from) {
  std::uint64_t end = in.size();
  char window[4] = {0, 0, 0, 0};
  std::uint64_t pos = from;
  in.seek(pos);
  int filled = 0;
  while (pos < end) {
    char c;
    in.read(&c, 1);
    ++pos;
    window[0] = window[1];
    window[1] = window[2];
    window[2] = window[3];
    window[3] = c;
    if (++filled >= 4 && std::equal(window, window + 4, kBlockMarkerBytes)) return pos - 4;
  }
  return end;
}

}  // namespace

void SerialModuleBase::get_serial_list(serial_list& list, unsigned& version) {
  if (list.reading()) {
    if (version > serial_version_) {
      throw NewerLayoutError("block of '" + serial_name_ + "' has layout version " +
                             std::to_string(version) + ", newer than the " +
                             std::to_string(serial_version_) + " this program knows");
    }
  } else {
    version = serial_version_;
  }
  serial_fields(list, version);
}

void ModuleList::register_module(ModuleBaseOld& module) {
  std::string name;
  module.get_serial_name(name);
  register_module(module, std::move(name));
}

void ModuleList::register_module(ModuleBaseOld& module, std::string name) {
  // A module registered late (a plug-in) takes its kept block's place.
  std::erase_if(kept_, [&](const KeptBlock& k) { return k.name == name; });
  for (auto& e : entries_) {
    if (e.name == name) {
      e.module = &module;
      return;
    }
  }
  entries_.push_back({std::move(name), &module});
}

std::vector<std::string> ModuleList::kept_block_names() const {
  std::vector<std::string> out;
  for (const auto& k : kept_) out.push_back(k.name);
  return out;
}

void ModuleList::unregister_module(std::string_view name) {
  std::erase_if(entries_, [&](const Entry& e) { return e.name == name; });
}

ModuleBaseOld* ModuleList::find(std::string_view name) const {
  for (const auto& e : entries_) {
    if (e.name == name) return e.module;
  }
  return nullptr;
}

std::vector<std::string> ModuleList::names() const {
  std::vector<std::string> out;
  for (const auto& e : entries_) out.push_back(e.name);
  return out;
}

void ModuleList::serialize(io::OutputStream& out, lock_object* lock, unsigned data_version) const {
  std::unique_lock<lock_object> guard;
  if (lock) guard = std::unique_lock<lock_object>(*lock);
  io::write_binary(out, static_cast<std::uint32_t>(data_version));
  io::write_binary(out, static_cast<std::uint32_t>(entries_.size() + kept_.size()));
  auto write_block = [&](const std::string& name, std::uint32_t version,
                         const std::string& payload) {
    io::write_binary(out, kBlockMarker);
    io::write_binary(out, std::string_view(name));
    io::write_binary(out, version);
    io::write_binary(out, static_cast<std::uint32_t>(payload.size()));
    io::write_bytes(out, payload);
    io::write_binary(out, block_crc(name, version, payload));
  };
  for (const auto& e : entries_) {
    std::uint32_t version = 0;
    std::string payload = write_fields(*e.module, data_version, version);
    write_block(e.name, version, payload);
  }
  for (const auto& k : kept_) write_block(k.name, k.version, k.payload);
}

ModuleList::LoadReport ModuleList::deserialize(io::InputStream& in, unsigned data_version,
                                               const ErrorCallback& on_error, lock_object* lock) {
  std::unique_lock<lock_object> guard;
  if (lock) guard = std::unique_lock<lock_object>(*lock);
  LoadReport result;
  auto report = [&](const std::string& message) {
    result.problems.push_back(message);
    if (on_error) on_error(message);
  };

  std::uint32_t stored_data_version = 0;
  std::uint32_t count = 0;
  io::read_binary(in, stored_data_version);
  io::read_binary(in, count);
  if (stored_data_version != data_version) {
    throw io::StreamError("module list data version " + std::to_string(stored_data_version) +
                          " differs from the expected " + std::to_string(data_version));
  }

  kept_.clear();
  std::uint32_t parsed = 0;  // blocks found whole, good or bad
  while (!in.at_end()) {
    const std::uint64_t start = in.position();
    BlockHeader block;
    bool checksum_ok = false;
    bool cut_short = false;
    std::string problem;
    try {
      block = read_block(in);
      checksum_ok = block.crc == block_crc(block.name, block.version, block.payload);
      if (!checksum_ok) problem = "fails its checksum";
    } catch (const io::StreamError& e) {
      problem = e.what();
      cut_short = true;
    }
    if (!checksum_ok) {
      // The block's length may be the damaged part, so trust nothing in it: carry on from
      // the next block marker.
      const std::uint64_t next = find_next_marker(in, start + 1);
      ++result.skipped;
      ++result.damaged;
      ++parsed;
      if (next >= in.size()) {
        result.truncated = cut_short;
        report("module block at offset " + std::to_string(start) + " is damaged or cut short (" +
               problem + "); the rest of the file is ignored");
        break;
      }
      const std::string which = cut_short ? std::string() : "'" + block.name + "' ";
      report("module block " + which + "at offset " + std::to_string(start) + " is damaged (" +
             problem + "); resumed at offset " + std::to_string(next));
      in.seek(next);
      continue;
    }
    ++parsed;
    ModuleBaseOld* module = find(block.name);
    if (module == nullptr &&
        std::find(retired_.begin(), retired_.end(), block.name) != retired_.end()) {
      ++result.retired;
      continue;
    }
    if (module == nullptr) {
      // Not damage: most likely a plug-in that is not loaded this time. Its block is kept
      // and saved again, so its state comes back when the plug-in does.
      result.unknown.push_back(block.name);
      kept_.push_back({block.name, block.version, std::move(block.payload)});
      ++result.skipped;
      continue;
    }
    std::uint32_t current_version = 0;
    std::string backup = write_fields(*module, data_version, current_version);
    try {
      bool left_over = false;
      read_fields(*module, block.payload, data_version, block.version, left_over);
      if (left_over) {
        report("module block '" + block.name + "' has data beyond the fields this program reads");
      }
      module->after_deserialize();
      ++result.read;
    } catch (const std::exception& e) {
      const bool newer = dynamic_cast<const NewerLayoutError*>(&e) != nullptr;
      // Put the module back as it was, so a half-read block never leaves mixed state.
      bool ignored = false;
      try {
        read_fields(*module, backup, data_version, current_version, ignored);
        module->after_deserialize();
      } catch (const std::exception&) {
      }
      if (newer) {
        result.newer.push_back(block.name);
        report("module block '" + block.name + "' was written by a newer program (" + e.what() +
               "); the module keeps its state");
      } else {
        ++result.damaged;
        report("module block '" + block.name + "' cannot be read (" + e.what() +
               "); the module keeps its state");
      }
      ++result.skipped;
    }
  }
  if (parsed < count && !result.truncated) {
    result.truncated = true;
    report("the module list announces " + std::to_string(count) + " blocks but holds " +
           std::to_string(parsed));
  }
  return result;
}

}  // namespace lib
