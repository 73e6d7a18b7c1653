// Which serial ports the port search tries, and in what order.
//
// The system's serial devices (libserialport's list in a station) come first, in natural
// order ("ttyS2" before "ttyS10"), then the device paths the user named, in the order given
// and without repeating one already listed. Pseudo-terminals (simulators, socat pairs) are
// never reported by the system, so naming them is the only way to have them searched.
//
// A port that carries a kernel console is left out unless the user names it: probing it
// would write bus commands onto the machine's console and read a login prompt as a reply.
// Console ports come from /sys/class/tty/console/active and the "console=" entries of the
// kernel command line.
//
// Every system access goes through the two functions its owner gives the constructor (there
// is no default), so tests run with fixed device lists and console files.
#pragma once

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace lib {
class FileSystem;
}

namespace hardware {

inline constexpr const char* kActiveConsoleFile = "/sys/class/tty/console/active";
inline constexpr const char* kKernelCommandLineFile = "/proc/cmdline";

// The system's answer to "which serial devices are there".
struct SerialDeviceListing {
  std::vector<std::string> paths;  // device paths, in any order
  std::string error;               // why there is no list; empty when it was obtained
};

using SerialDeviceSource = std::function<SerialDeviceListing()>;
// Reads a small system file; nullopt when it does not exist or cannot be read.
using SystemTextReader = std::function<std::optional<std::string>(const std::string& path)>;
using SerialListLog = std::function<void(std::string_view message)>;

// The real sources: libserialport's port list, and a small file read through `fs`.
SerialDeviceListing libserialport_devices();
std::optional<std::string> read_system_text(const std::string& path, lib::FileSystem& fs);

// One port the listing knows of.
struct SerialPortEntry {
  std::string path;
  bool kernel_console = false;  // a kernel console is attached to it
  bool named_by_user = false;   // the user named it (it may also be in the system's list)
  bool searched = true;         // false for a kernel console the user did not name
};

class SerialPortLister {
 public:
  // `log` hears why a source failed; it may be empty.
  SerialPortLister(SerialDeviceSource devices, SystemTextReader reader, SerialListLog log = {});

  // Every port known: the system's in natural order, then the user's; skipped consoles
  // included, marked.
  std::vector<SerialPortEntry> entries(const std::vector<std::string>& user_paths = {}) const;
  // The paths the search tries, in order.
  std::vector<std::string> ports_to_search(const std::vector<std::string>& user_paths = {}) const;
  // Device paths of the kernel consoles.
  std::set<std::string> kernel_consoles() const;

 private:
  SerialDeviceSource devices_;
  SystemTextReader reader_;
  SerialListLog log_;
};

// A user's port name as a device path: a name that is neither absolute nor starts with "."
// ("ttyUSB0", "pts/3") lives in /dev; surrounding blanks are dropped. "" for a blank name.
std::string device_path_of(std::string_view name);

// Natural order: runs of digits compare by their numbers ("ttyS2" < "ttyS10"); strings
// equal up to leading zeros fall back to plain order, so the order stays strict.
bool natural_less(std::string_view a, std::string_view b);

// Console device paths named in the console "active" file ("tty0 ttyS0\n").
std::vector<std::string> consoles_from_active_list(std::string_view text);
// Console device paths named by "console=" entries of a kernel command line
// ("console=ttyS0,115200n8"); words after a lone "--" belong to init and are ignored.
std::vector<std::string> consoles_from_command_line(std::string_view text);

}  // namespace hardware
