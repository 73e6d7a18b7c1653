// The generic plug-in manager: loads plug-in libraries, checks their entry point and ABI
// version, creates one object per library and keeps the loaded libraries in a list
// addressed by index. What a plug-in object is, and what to do with it after loading and
// before unloading, belongs to the derived manager (after_load_item / before_unload_item).
//
// A file that cannot be opened, lacks the entry point, carries another ABI version or
// fails to create its object is refused with one line to the error callback and takes no
// slot in the list.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "lib/module_base.h"
#include "lib/plugin_abi.h"
#include "lib/plugin_loader.h"

namespace lib {

// One loaded library and the object its entry point created.
struct LoadedPlugin {
  std::string path;
  void* handle = nullptr;
  const PluginEntry* entry = nullptr;
  void* object = nullptr;  // owned by the library; destroyed through entry->destroy
};

class PluginManager {
 public:
  using ErrorCallback = std::function<void(const std::string& message)>;
  // Registers a persistent module under a name (the hub's module list).
  using RegisterCallback = std::function<void(const std::string& name, ModuleBaseOld& module)>;

  PluginManager(std::uint32_t abi_version, ErrorCallback on_error,
                PluginLoader& loader = system_plugin_loader());
  // Derived managers call free() in their own destructor, while their hooks still exist.
  virtual ~PluginManager();
  PluginManager(const PluginManager&) = delete;
  PluginManager& operator=(const PluginManager&) = delete;

  // Loads one library; true when it joined the list.
  bool load(const std::string& path, const RegisterCallback& register_module = {});
  // Loads every library of a folder in name order; the number that joined the list.
  int load_folder(const std::string& folder, const RegisterCallback& register_module = {});
  // Unloads every library, last loaded first, and empties the list.
  void free();

  int count() const { return static_cast<int>(items_.size()); }
  // Null for an index outside the list.
  const LoadedPlugin* item(int index) const;

  std::uint32_t abi_version() const { return abi_version_; }

 protected:
  // Called after the object of `index` was created.
  virtual void after_load_item(const RegisterCallback& /*register_module*/, LoadedPlugin& /*item*/,
                               int /*index*/) {}
  // Called before the library of `index` is closed; the object is destroyed afterwards
  // unless the hook destroyed it and cleared item.object.
  virtual void before_unload_item(LoadedPlugin& /*item*/, int /*index*/) {}

  void report(const std::string& message) const;

 private:
  std::uint32_t abi_version_;
  ErrorCallback on_error_;
  PluginLoader& loader_;
  std::vector<LoadedPlugin> items_;
};

}  // namespace lib
