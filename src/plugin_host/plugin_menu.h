// The options menu as data: one item per plug-in with an options dialog. The host turns
// the items into its own menu and hands a clicked item back to the manager's OnMenuClick.
#pragma once

#include <string>

namespace reg {

// Tags start here so they never collide with the host's own menu tags.
inline constexpr int kPluginMenuTagBase = 10000;

struct PluginMenuItem {
  std::string caption;
  int tag = 0;  // kPluginMenuTagBase + the plug-in's index
};

}  // namespace reg
