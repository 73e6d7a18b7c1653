// The hub's parts a host works on, handed over in one piece (reg::System::parts()), so that
// a host takes what it needs once, at its construction, and afterwards holds the parts
// themselves instead of reaching back into the hub for each. Every reference lives as long
// as the hub; the threads each part may be used on are the part's own contract.
#pragma once

#include <string>

namespace alarms {
class MinMaxLog;
class Sound;
class VoiceThread;
}  // namespace alarms
namespace calc {
class CalcValues;
class Operations;
class RaceTotal;
}  // namespace calc
namespace candles {
class CandleCounter;
}
namespace ds_tmp {
class DataStorage;
}
namespace hardware {
class CommProtocols;
}
namespace lib {
class Clock;
class FileSystem;
class ModuleList;
}  // namespace lib
namespace params {
class AllParams;
}
namespace pore {
class PoreOpt;
}
namespace text {
class Storage;
}

namespace reg {

class Config;
class ErrorLog;
class GlobalNums;
class Values;

struct HostParts {
  ds_tmp::DataStorage& data_storage;
  Config& config;
  ErrorLog& error_log;
  lib::FileSystem& file_system;
  lib::Clock& clock;
  GlobalNums& global_nums;
  hardware::CommProtocols& comm_protocols;
  alarms::MinMaxLog& alarm_pass;
  alarms::Sound& sound;
  alarms::VoiceThread& voice;
  lib::ModuleList& module_list;
  Values& values;
  calc::CalcValues& calc_values;
  calc::RaceTotal& race_total;
  candles::CandleCounter& candle_counter;
  const calc::Operations& operations;
  params::AllParams& catalogue;
  pore::PoreOpt& well;
  text::Storage& text_remarks;
  const std::string& home;  // the home folder, with a trailing '/'
};

}  // namespace reg
