// A library with a proper entry point that announces another interface version. The station
// must refuse it before creating anything: creating aborts the test program.
#include <cstdlib>

#include "lib/plugin_abi.h"
#include "plugin_host/plugin_export.h"

extern "C" __attribute__((visibility("default"))) const lib::PluginEntry* rigcore_plugin_entry() {
  static const lib::PluginEntry entry{reg::kPluginAbiVersion + 1, []() -> void* { std::abort(); },
                                      [](void*) { std::abort(); }};
  return &entry;
}
