#include "lib/plugin_loader.h"

#include <dlfcn.h>
#include <elf.h>
#include <link.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace lib {
namespace {

std::string last_dl_error() {
  const char* text = dlerror();
  return text != nullptr ? text : "unknown dynamic loader error";
}

class SystemPluginLoader : public PluginLoader {
 public:
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
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
      std::error_code type_ec;
      if (!it->is_regular_file(type_ec)) continue;
      if (it->path().extension() == ".so") paths.push_back(it->path().string());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
  }
};

}  // namespace

PluginLoader& system_plugin_loader() {
  static SystemPluginLoader loader;
  return loader;
}

}  // namespace lib
