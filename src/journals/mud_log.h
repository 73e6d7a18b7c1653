// MudLog: the journal of mud measurements (MudLogItem), kept in the mud log file
// (mud_log_file.h) and in the station's state under "MudLog".
#pragma once

#include "journals/keyed_journal.h"
#include "journals/mud_log_file.h"
#include "journals/mud_log_format.h"

namespace journals {

struct MudLogCodec {
  using Record = MudLogItem;
  static constexpr const char* kSerialName = "MudLog";
  static constexpr std::size_t kMinRecordBytes = mud_log_format::kMinRecordBytes;
  static std::string write_file(const std::vector<MudLogItem>& items) {
    return write_mud_log_file(items);
  }
  static std::vector<MudLogItem> read_file(std::string_view bytes) {
    return read_mud_log_file(bytes).items;
  }
  static void write_record(lib::io::OutputStream& out, const MudLogItem& item) {
    write_mud_log_item(out, item);
  }
  static MudLogItem read_record(lib::io::InputStream& in) {
    return read_mud_log_item(in, mud_log_format::kCurrentVersion);
  }
};

class MudLog : public KeyedJournal<MudLogCodec> {
 public:
  using KeyedJournal::KeyedJournal;
};

}  // namespace journals
