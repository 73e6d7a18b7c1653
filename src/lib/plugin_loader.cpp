#include "lib/plugin_loader.h"

#include <dlfcn.h>
#include <elf.h>
#include <link.h>

#include <algorithm>
#include <system_error>

namespace lib {
namespace {

std::string last_dl_error() {
  const char* text = dlerror();
  return text != nullptr ? text : "unknown dynamic loader error";
}

class SystemPluginLoader : public PluginLoader {
 public:
  explicit SystemPluginLoader(FileSystem& fs) : fs_(fs) {}

  void* open(const std::string& path, std::string& error) override {
    // RTLD_LOCAL: one plug-in's symbols never satisfy another's; RTLD_NOW: a library with
    // unresolved symbols is refused here rather than failing in the middle of a tick.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) error = last_dl_error();
    return handle;
  }

  void* symbol(void* handle, const char* name, std::string& error) override {
    dlerror();
    void* address = dlsym(handle, name);
    if (address == nullptr) error = last_dl_error();
    return address;
  }

  bool is_function(void* address) override {
    // The symbol table entry the dynamic loader matched the address with tells its type.
    Dl_info info{};
    void* entry = nullptr;
    if (dladdr1(address, &info, &entry, RTLD_DL_SYMENT) == 0 || entry == nullptr) return false;
    const auto* sym = static_cast<const ElfW(Sym)*>(entry);
    const unsigned type = ELF64_ST_TYPE(sym->st_info);
    return type == STT_FUNC || type == STT_GNU_IFUNC;
  }

  void close(void* handle) override {
    if (handle != nullptr) dlclose(handle);
  }

  std::vector<std::string> list_libraries(const std::string& folder) override {
    std::vector<std::string> paths;
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    for (const std::string& name : fs_.list_folder(folder)) {
      if (name.size() <= 3 || name.compare(name.size() - 3, 3, ".so") != 0) continue;
      // A folder or a device named "*.so" is no library; a link to one is followed.
      const auto status = fs_.stat(prefix + name);
      if (status && status->is_regular()) paths.push_back(prefix + name);
    }
    std::sort(paths.begin(), paths.end());
    return paths;
  }

 private:
  FileSystem& fs_;
};

}  // namespace

std::unique_ptr<PluginLoader> make_system_plugin_loader(FileSystem& fs) {
  return std::make_unique<SystemPluginLoader>(fs);
}

PluginLoader& system_plugin_loader() {
  static SystemPluginLoader loader(posix_file_system());
  return loader;
}

}  // namespace lib
