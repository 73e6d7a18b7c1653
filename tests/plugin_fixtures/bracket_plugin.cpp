// A plug-in that records, through the host services, what it saw of the registration
// bracket: the run number as the station had published it when the plug-in was told, and
// the operation the station said was under way.
#include <stdexcept>
#include <string>

#include "plugin_host/plugin_export.h"

namespace {

class BracketPlugin : public reg::RegPlugin {
 public:
  void get_info(reg::PluginInfo& info) override { info.name = "bracket"; }
  void start_registration(int race_num, bool continue_race) override {
    host()->set_variable("bracket.seen", host()->get_variable("race_num") + "/" +
                                             std::to_string(race_num) + "/" +
                                             (continue_race ? "1" : "0"));
    const calc::CurrentOperationItem op = host()->get_operation();
    host()->set_variable("bracket.operation",
                         std::to_string(op.operation) + "/" + std::to_string(op.sub_operation));
    if (race_num < 0) throw std::runtime_error("отрицательный номер рейса");
  }
  void stop_registration() override { host()->set_variable("bracket.stopped", "1"); }
};

}  // namespace

RIGCORE_EXPORT_PLUGIN(BracketPlugin)
