#include "core/init.h"

#include <atomic>

#include "core/system.h"
#include "params/all_params.h"

namespace {
std::atomic<void*> g_host_window{nullptr};
}

void init_core_lib(void* host_window) {
  g_host_window.store(host_window);
}

void* core_lib_host_window() {
  return g_host_window.load();
}

reg::System& sys() {
  static reg::System system;
  return system;
}

params::AllParams& params::get_all_params() {
  return sys().catalogue();
}
