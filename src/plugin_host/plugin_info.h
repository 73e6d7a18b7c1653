// What a plug-in tells about itself: its titles, the name the station finds it by and the
// features it asks for.
#pragma once

#include <cstdint>
#include <string>

namespace reg {

// The plug-in has an options dialog and gets an item in the options menu.
inline constexpr std::int32_t kPluginHasOptions = 2;
// The plug-in asks to be registered with the hub at load time.
inline constexpr std::int32_t kPluginRegisterAtLoad = 16;

struct PluginInfo {
  std::string title;
  std::string name;     // the key the manager finds the plug-in by and names it in messages
  std::string caption;  // menu items and the plug-in's page
  std::uint8_t byte = 0;
  std::int32_t flags = 0;

  void clear() { *this = PluginInfo{}; }
  bool has_options() const { return (flags & kPluginHasOptions) != 0; }
};

// Event types passed to RegPlugin::event. Only kPluginEventOptionsClosed has a meaning fixed
// by the station; plug-ins are free to agree on others among themselves.
using PluginEventType = std::int32_t;
inline constexpr PluginEventType kPluginEventOptionsClosed = 1;

}  // namespace reg
