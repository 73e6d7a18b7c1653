// Library entry points for a host program.
#pragma once

namespace reg {
class System;
}
namespace params {
class AllParams;
}

// Binds the host's main window (or any host context) as the owner of what the library shows.
// Does not create the hub; may be called before or after the first sys().
void init_core_lib(void* host_window);
// The handle given to init_core_lib, or null.
void* core_lib_host_window();

// The process-wide hub, constructed on the first call with the default home folder.
reg::System& sys();

namespace params {
// The catalogue of the process-wide hub: one catalogue, the one whose fast list comes from
// the station home, not a second copy that could disagree with it.
AllParams& get_all_params();
}  // namespace params
