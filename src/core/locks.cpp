#include "core/locks.h"

lib::lock_object& sys_lock_obj() {
  static lib::lock_object lock(lib::lock_object::kInProcess);
  return lock;
}

lib::lock_object& file_lock_obj() {
  static lib::lock_object lock(lib::lock_object::kInProcess);
  return lock;
}
