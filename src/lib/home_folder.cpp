#include "lib/home_folder.h"

#include <cstdlib>
#include <filesystem>

namespace lib {

std::string with_trailing_slash(std::string folder) {
  if (folder.empty()) return "./";
  if (folder.back() != '/') folder.push_back('/');
  return folder;
}

std::string program_folder() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return with_trailing_slash(std::filesystem::current_path(ec).string());
  return with_trailing_slash(exe.parent_path().string());
}

std::string resolve_home_folder() {
  const char* env = std::getenv(kHomeEnvVar);
  if (env != nullptr && *env != '\0') return with_trailing_slash(env);
  return program_folder();
}

}  // namespace lib
