// Builds a hub in a given home, registers its modules, saves the state and reads it back:
// the installed headers and libraries are enough for a host.
#include <cstdio>
#include <string>

#include "core/system.h"
#include "lib/file_system.h"
#include "params/par_tabl.h"
#include "station/home_lock.h"
#include "storage/data_storage.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: consumer HOME\n");
    return 2;
  }
  // A host takes the home before anything else touches it.
  const station::HomeLock lock(lib::posix_file_system(), argv[1]);
  reg::SystemOptions options;
  options.home_folder = argv[1];
  reg::System hub(options);
  hub.register_modules();
  hub.data_storage().set_depth_z(1234.5);
  if (!hub.save_to_file(hub.get_exe_path())) return 1;
  reg::System again(options);
  again.register_modules();
  again.load_from_file(again.get_exe_path());
  std::printf("depth %.1f\n", again.data_storage().depth_z());
  return again.data_storage().depth_z() == 1234.5 ? 0 : 1;
}
