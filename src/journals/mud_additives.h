// MudAdditives: the journal of additives put into the mud (MudAdditive), kept in the mud
// additives file (mud_additives_file.h) and in the station's state under "MudAdditives".
// It also holds the dictionary provider the additives editor picks from.
#pragma once

#include <memory>

#include "journals/keyed_journal.h"
#include "journals/mud_additive_dicts_provider.h"
#include "journals/mud_additives_file.h"
#include "journals/mud_additives_format.h"

namespace journals {

struct MudAdditivesCodec {
  using Record = MudAdditive;
  static constexpr const char* kSerialName = "MudAdditives";
  static constexpr std::size_t kMinRecordBytes = mud_additives_format::kMinRecordBytes;
  static std::string write_file(const std::vector<MudAdditive>& items) {
    return write_mud_additives_file(items);
  }
  static std::vector<MudAdditive> read_file(std::string_view bytes) {
    return read_mud_additives_file(bytes).items;
  }
  static void write_record(lib::io::OutputStream& out, const MudAdditive& item) {
    write_mud_additive(out, item);
  }
  static MudAdditive read_record(lib::io::InputStream& in) { return read_mud_additive(in); }
};

class MudAdditives : public KeyedJournal<MudAdditivesCodec> {
 public:
  MudAdditives(ErrorSink log, lib::FileSystem& fs);

  // Never null: the default provider until the host sets its own.
  lib::DictsProvider* get_dict_provider() const;
  // Takes the provider; null puts the default one back.
  void set_dicts_provider(std::unique_ptr<lib::DictsProvider> provider);
  void set_default_dicts_provider();

 private:
  std::unique_ptr<lib::DictsProvider> provider_;
};

}  // namespace journals
