// The two process-wide locks. The system lock guards shared module data between the host's
// thread, worker threads and plug-ins; the file lock serialises whole-file writes of the
// journals. Both are in-process and re-entrant. Lock order: the system lock may be held
// while another lock is taken, never the reverse.
#pragma once

#include "lib/lock_object.h"

lib::lock_object& sys_lock_obj();
lib::lock_object& file_lock_obj();
