// reg::RegPlugin, the base of every plug-in object. Each operation does nothing by default;
// a plug-in overrides what it needs. The station calls the life-cycle operations through
// the plug-in manager's broadcasts, which catch and log whatever a plug-in throws.
//
// This header is the contract shared with separately built plug-in libraries: changing
// the layout of RegPlugin or PluginHost (adding, removing or reordering virtual functions
// or members) requires raising kPluginAbiVersion in plugin_export.h.
#pragma once

#include <any>
#include <cstdint>
#include <map>
#include <string>

#include "plugin_host/plugin_host.h"
#include "plugin_host/plugin_info.h"

// Device data types of the acquisition side, passed through to plug-ins by reference.
namespace hardware {
class CommIncomData;
struct CommOutData;
}  // namespace hardware

namespace reg {

class RegPlugin {
 public:
  virtual ~RegPlugin() = default;

  // Information query: called at load, for menus, pages, names and messages.
  virtual void get_info(PluginInfo& /*info*/) {}
  virtual void start_registration(int /*race_num*/, bool /*continue_race*/) {}
  virtual void stop_registration() {}
  // Its options menu item was clicked.
  virtual void options() {}
  // Its page was shown or hidden.
  virtual void show(bool /*visible*/) {}
  virtual void event(PluginEventType /*type*/, std::any& /*value*/) {}
  // A one-line text for the station's status line; empty for none.
  virtual std::string status_text() { return {}; }

  virtual void after_end_race_params_entered() {}
  // New device data; calculations of a tick complete.
  virtual void data() {}
  virtual void data_calc_completed() {}
  virtual void init() {}
  virtual void after_config_loaded() {}
  virtual void finalize() {}
  virtual void before_new_pore() {}
  // Before data is sent to consoles and indicators: the plug-in may add its output.
  virtual void prepare_indy_data(std::map<int, int>& /*values*/, hardware::CommOutData& /*out*/) {}
  virtual void adc_data(hardware::CommIncomData& /*in*/, std::map<int, int>& /*values*/) {}
  // Another module asks for the plug-in's data object; null when it has none.
  virtual void* get_data_object() { return nullptr; }

  // The station's services for this plug-in; set by the manager before anything else is
  // called, null for an object that was never loaded by a manager.
  PluginHost* host() const { return host_; }
  void set_host(PluginHost* host) { host_ = host; }

 private:
  PluginHost* host_ = nullptr;
};

}  // namespace reg
