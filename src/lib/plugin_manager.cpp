#include "lib/plugin_manager.h"

#include <exception>

namespace lib {

PluginManager::PluginManager(std::uint32_t abi_version, ErrorCallback on_error,
                             PluginLoader& loader)
    : abi_version_(abi_version), on_error_(std::move(on_error)), loader_(loader) {}

PluginManager::~PluginManager() {
  // The derived hooks are gone here; whatever a derived manager left is still unloaded.
  for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
    if (it->object != nullptr && it->entry != nullptr) it->entry->destroy(it->object);
    loader_.close(it->handle);
  }
}

void PluginManager::report(const std::string& message) const {
  if (on_error_) on_error_(message);
}

const LoadedPlugin* PluginManager::item(int index) const {
  if (index < 0 || index >= count()) return nullptr;
  return &items_[static_cast<std::size_t>(index)];
}

bool PluginManager::load(const std::string& path, const RegisterCallback& register_module) {
  const std::string refused = "Модуль '" + path + "' не загружен: ";
  std::string error;
  void* handle = loader_.open(path, error);
  if (handle == nullptr) {
    report(refused + error);
    return false;
  }
  void* symbol = loader_.symbol(handle, kPluginEntryName, error);
  if (symbol == nullptr) {
    report(refused + "нет точки входа " + kPluginEntryName + " (это не модуль станции)");
    loader_.close(handle);
    return false;
  }
  if (!loader_.is_function(symbol)) {
    report(refused + "точка входа " + kPluginEntryName +
           " не функция, а данные (библиотека собрана неправильно)");
    loader_.close(handle);
    return false;
  }
  const auto entry_function = reinterpret_cast<PluginEntryFunction>(symbol);
  const PluginEntry* entry = nullptr;
  void* object = nullptr;
  try {
    entry = entry_function();
    if (entry == nullptr) {
      report(refused + "точка входа не вернула описание модуля");
    } else if (entry->abi_version != abi_version_) {
      report(refused + "собран для версии интерфейса " + std::to_string(entry->abi_version) +
             ", станция поддерживает версию " + std::to_string(abi_version_));
    } else if (entry->create == nullptr || entry->destroy == nullptr) {
      report(refused + "описание модуля неполное");
    } else if ((object = entry->create()) == nullptr) {
      report(refused + "объект модуля не создан");
    }
  } catch (const std::exception& e) {
    report(refused + e.what());
  } catch (...) {
    report(refused + "неизвестное исключение при создании");
  }
  if (object == nullptr) {
    loader_.close(handle);
    return false;
  }
  items_.push_back(LoadedPlugin{path, handle, entry, object});
  const int index = count() - 1;
  after_load_item(register_module, items_.back(), index);
  return true;
}

int PluginManager::load_folder(const std::string& folder, const RegisterCallback& register_module) {
  int loaded = 0;
  for (const std::string& path : loader_.list_libraries(folder)) {
    if (load(path, register_module)) ++loaded;
  }
  return loaded;
}

void PluginManager::free() {
  for (int index = count() - 1; index >= 0; --index) {
    LoadedPlugin& item = items_[static_cast<std::size_t>(index)];
    before_unload_item(item, index);
    if (item.object != nullptr) item.entry->destroy(item.object);
    item.object = nullptr;
    loader_.close(item.handle);
  }
  items_.clear();
}

}  // namespace lib
