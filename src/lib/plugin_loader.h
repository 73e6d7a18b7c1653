// The seam between the plug-in manager and the dynamic loader of the operating system, so
// tests can hand the manager in-process "libraries", failing opens or missing symbols.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "lib/file_system.h"

namespace lib {

class PluginLoader {
 public:
  virtual ~PluginLoader() = default;
  // A handle of the opened library, or null with `error` set.
  virtual void* open(const std::string& path, std::string& error) = 0;
  // The address of an exported symbol, or null with `error` set.
  virtual void* symbol(void* handle, const char* name, std::string& error) = 0;
  // True when `address` (from symbol) is code that may be called. A library built wrongly
  // may export its entry name as data; calling that would crash the station.
  virtual bool is_function(void* address) = 0;
  virtual void close(void* handle) = 0;
  // The paths of the candidate library files of a folder ("*.so"), sorted by name; empty
  // when the folder is missing or unreadable.
  virtual std::vector<std::string> list_libraries(const std::string& folder) = 0;
};

// dlopen / dlsym / dlclose, with the folder listed through `fs` (which must outlive it).
std::unique_ptr<PluginLoader> make_system_plugin_loader(FileSystem& fs);
// The same over the real file system, for hosts and tools that have no seam of their own.
PluginLoader& system_plugin_loader();

}  // namespace lib
