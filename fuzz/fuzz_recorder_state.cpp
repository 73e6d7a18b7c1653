// Feeds arbitrary bytes to the recorder as its block of the state file. A block it takes
// must save and read back to the same bytes, and its waiting lag lines must hold one value
// per parameter; a block it refuses throws StreamError and nothing else.
#include <cstdint>
#include <string>
#include <string_view>

#include "lib/binary_stream.h"
#include "lib/file_system.h"
#include "lib/serial_list.h"
#include "params/all_params.h"
#include "storage/data_storage.h"
#include "storage/real_time_file.h"

namespace {

struct Recorder {
  params::AllParams catalogue{"/nonexistent-home/", lib::posix_file_system()};
  ds_tmp::DataStorage storage{catalogue};
  rtf::RealTimeFile rec{storage, catalogue, lib::posix_file_system(), lib::system_clock()};
};

std::string write_out(rtf::RealTimeFile& rec) {
  lib::io::BinaryMemoryOutputStream out;
  lib::serial_list list(out, 1);
  rec.serialize_state(list, rtf::RealTimeFile::kStateVersion);
  return out.data();
}

bool read_into(rtf::RealTimeFile& rec, std::string_view bytes) {
  lib::io::BinaryMemoryInputStream in(bytes);
  lib::serial_list list(in, 1);
  try {
    rec.serialize_state(list, rtf::RealTimeFile::kStateVersion);
  } catch (const lib::io::StreamError&) {
    return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Recorder* first = new Recorder;
  static Recorder* second = new Recorder;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (!read_into(first->rec, bytes)) return 0;
  for (const rtf::LagFileStoredLine& l : first->rec.lag_lines()) {
    if (!l.params || l.params->size() != l.values.size()) __builtin_trap();
  }
  const std::string again = write_out(first->rec);
  if (!read_into(second->rec, again)) __builtin_trap();
  if (write_out(second->rec) != again) __builtin_trap();
  return 0;
}
