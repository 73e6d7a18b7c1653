// A plug-in that writes every event it hears, in order, into the station variable
// "events.log" ("<name>:<event>;" each), with what the event carried. The build gives each
// copy its name (EVENT_PLUGIN_NAME). The copy whose name the variable "events.throw" holds
// throws from data() after noting the call, so a test can show that the tick goes on.
#include <map>
#include <stdexcept>
#include <string>

#include "hardware/comm_incom_data.h"
#include "plugin_host/plugin_export.h"

#ifndef EVENT_PLUGIN_NAME
#error "EVENT_PLUGIN_NAME names the copy of this plug-in"
#endif

namespace {

class EventPlugin : public reg::RegPlugin {
 public:
  void get_info(reg::PluginInfo& info) override { info.name = EVENT_PLUGIN_NAME; }
  void init() override { note("init"); }
  void after_config_loaded() override { note("after_config_loaded"); }
  void before_new_pore() override { note("before_new_pore"); }
  void adc_data(hardware::CommIncomData& in, std::map<int, int>& types) override {
    // The emulator's module 0 answers every reading; its first analog input is a sign the
    // reading itself, not an empty one, was handed over.
    std::string first = "none";
    if (auto it = in.modules.find(0); it != in.modules.end() && !it->second.adc.empty()) {
      first = it->second.adc[0] != 0 ? "adc" : "zero";
    }
    note("adc_data(" + std::to_string(in.modules.size()) + "," + first + "," +
         std::to_string(types.size()) + ")");
  }
  void data() override {
    note("data");
    if (host()->get_variable("events.throw") == EVENT_PLUGIN_NAME) {
      throw std::runtime_error("сбой в data");
    }
  }
  // With the operation the station's service gives as the current one.
  void data_calc_completed() override {
    note("data_calc_completed(" + std::to_string(host()->get_operation().operation) + ")");
  }
  void finalize() override { note("finalize"); }

 private:
  void note(const std::string& event) {
    host()->set_variable(
        "events.log", host()->get_variable("events.log") + EVENT_PLUGIN_NAME + ":" + event + ";");
  }
};

}  // namespace

RIGCORE_EXPORT_PLUGIN(EventPlugin)
