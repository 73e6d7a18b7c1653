// The one C entry point every plug-in library exports, and the record it returns. The
// host reads the ABI version before it touches anything else in the library, so a plug-in
// built against another layout of the plug-in interface is refused instead of being called
// through a vtable it does not share.
#pragma once

#include <cstdint>

namespace lib {

// The name of the exported function, looked up with dlsym.
inline constexpr const char* kPluginEntryName = "rigcore_plugin_entry";

// Returned by the entry point; lives as long as the library stays loaded.
struct PluginEntry {
  // Must equal the version the loading manager was built for; checked first.
  std::uint32_t abi_version;
  // Creates the plug-in object; the library keeps ownership of its allocation.
  void* (*create)();
  // Destroys an object made by create, inside the library that allocated it.
  void (*destroy)(void* object);
};

using PluginEntryFunction = const PluginEntry* (*)();

}  // namespace lib
