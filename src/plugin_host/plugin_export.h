// What a plug-in library writes once to export its plug-in class:
//
//   RIGCORE_EXPORT_PLUGIN(MyPlugin)
//
// defines the library's C entry point with this build's ABI version. The station refuses a
// library whose version differs from its own.
#pragma once

#include <cstdint>

#include "lib/plugin_abi.h"
#include "plugin_host/plugin_interface.h"

namespace reg {

// Raise whenever plugin_interface.h, plugin_host.h, plugin_info.h or a type they pass by
// value or reference changes its layout.
inline constexpr std::uint32_t kPluginAbiVersion = 2;

}  // namespace reg

#define RIGCORE_EXPORT_PLUGIN(PluginClass)                                         \
  extern "C" __attribute__((visibility("default"))) const ::lib::PluginEntry*      \
  rigcore_plugin_entry() {                                                         \
    static const ::lib::PluginEntry entry{                                         \
        ::reg::kPluginAbiVersion,                                                  \
        []() -> void* { return static_cast<::reg::RegPlugin*>(new PluginClass); }, \
        [](void* object) { delete static_cast<::reg::RegPlugin*>(object); }};      \
    return &entry;                                                                 \
  }
