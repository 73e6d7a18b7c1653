// Which ports the search tries: natural order, the kernel console rule, the user's paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "hardware/comm_protocols.h"
#include "hardware/port_search/serial_port_list.h"
#include "lib/file_system.h"

namespace {

using hardware::SerialDeviceListing;
using hardware::SerialPortEntry;
using hardware::SerialPortLister;

using Files = std::map<std::string, std::string>;

SerialPortLister lister_of(std::vector<std::string> devices, Files files,
                           std::vector<std::string>* log = nullptr, std::string error = "") {
  return SerialPortLister(
      [devices, error] {
        return SerialDeviceListing{devices, error};
      },
      [files](const std::string& path) -> std::optional<std::string> {
        const auto it = files.find(path);
        if (it == files.end()) return std::nullopt;
        return it->second;
      },
      [log](std::string_view m) {
        if (log) log->emplace_back(m);
      });
}

TEST(NaturalOrder, NumbersInNamesCompareByValue) {
  struct Case {
    const char* a;
    const char* b;
    bool less;
  };
  const Case cases[] = {
      {"/dev/ttyS2", "/dev/ttyS10", true},
      {"/dev/ttyS10", "/dev/ttyS2", false},
      {"/dev/ttyS9", "/dev/ttyUSB0", true},  // the letters decide before the numbers
      {"/dev/ttyUSB1", "/dev/ttyS0", false},
      {"/dev/ttyS", "/dev/ttyS0", true},  // a prefix first
      {"/dev/ttyS0", "/dev/ttyS", false},
      {"/dev/ttyS3", "/dev/ttyS3", false},
      {"/dev/ttyS01", "/dev/ttyS1", true},  // equal numbers: plain order keeps it strict
      {"/dev/ttyS1", "/dev/ttyS01", false},
      {"/dev/ttyS007a", "/dev/ttyS7b", true},  // leading zeros do not make a number larger
      {"/dev/pts/99999999999999999999", "/dev/pts/100000000000000000000", true},
      {"a2b10", "a2b9", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(hardware::natural_less(c.a, c.b), c.less) << c.a << " " << c.b;
}

TEST(KernelConsoles, FromTheCommandLineAndTheActiveList) {
  using V = std::vector<std::string>;
  EXPECT_EQ(hardware::consoles_from_command_line(
                "ro quiet console=ttyS0,115200n8 console=tty0 xconsole=ttyS5 console=ttyS0\n"),
            (V{"/dev/ttyS0", "/dev/tty0"}));
  // Words after "--" go to init; quotes group a value; a path form names the device.
  EXPECT_EQ(hardware::consoles_from_command_line(
                "\"console=ttyUSB1\" console=/dev/ttyAMA0 -- console=ttyS3"),
            (V{"/dev/ttyUSB1", "/dev/ttyAMA0"}));
  // Nothing that is not a device name comes through.
  EXPECT_EQ(hardware::consoles_from_command_line(
                "console= console=,9600 console=../../etc/passwd console=a/b console=\"tty S\""),
            V{});
  EXPECT_EQ(hardware::consoles_from_command_line(std::string("console=ttyS1\0junk", 18)),
            (V{"/dev/ttyS1"}));
  EXPECT_EQ(hardware::consoles_from_active_list("tty0 ttyS0\n"), (V{"/dev/tty0", "/dev/ttyS0"}));
  EXPECT_EQ(hardware::consoles_from_active_list(""), V{});
}

TEST(SerialPortLister, SystemPortsInNaturalOrderThenTheUsersWithoutRepeats) {
  const auto lister = lister_of({"/dev/ttyS10", "/dev/ttyUSB0", "/dev/ttyS2", "/dev/ttyS2"}, {});
  EXPECT_EQ(
      lister.ports_to_search({"/dev/pts/7", "ttyUSB0", " pts/3 ", "", "/dev/pts/7", "./ttyFAKE"}),
      (std::vector<std::string>{"/dev/ttyS2", "/dev/ttyS10", "/dev/ttyUSB0", "/dev/pts/7",
                                "/dev/pts/3", "./ttyFAKE"}));
  const auto entries = lister.entries({"ttyUSB0"});
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_TRUE(entries[2].named_by_user);  // named, and listed in the system's place
  EXPECT_FALSE(entries[0].named_by_user);
}

TEST(SerialPortLister, KernelConsolesAreLeftOutUnlessNamed) {
  const Files files = {{hardware::kActiveConsoleFile, "tty0 ttyS0\n"},
                       {hardware::kKernelCommandLineFile, "console=ttyS1,115200 quiet\n"}};
  const auto lister = lister_of({"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2"}, files);
  EXPECT_EQ(lister.kernel_consoles(),
            (std::set<std::string>{"/dev/tty0", "/dev/ttyS0", "/dev/ttyS1"}));
  EXPECT_EQ(lister.ports_to_search(), (std::vector<std::string>{"/dev/ttyS2"}));
  EXPECT_EQ(lister.ports_to_search({"/dev/ttyS1"}),
            (std::vector<std::string>{"/dev/ttyS1", "/dev/ttyS2"}));

  const auto entries = lister.entries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_TRUE(entries[0].kernel_console);
  EXPECT_FALSE(entries[0].searched);
  EXPECT_TRUE(entries[2].searched);
  EXPECT_FALSE(entries[2].kernel_console);
}

TEST(SerialPortLister, AFailedSystemListIsLoggedAndTheNamedPortsStillCount) {
  std::vector<std::string> log;
  const auto lister = lister_of({}, {}, &log, "permission denied");
  EXPECT_EQ(lister.ports_to_search({"/dev/pts/4"}), (std::vector<std::string>{"/dev/pts/4"}));
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find("permission denied"), std::string::npos);
}

// The hub lists this machine's ports with the real sources: whatever they are, none is a
// kernel console and they come in natural order.
TEST(SerialPortLister, TheHubListsThisMachineWithoutItsConsoles) {
  std::vector<std::string> log;
  hardware::CommProtocolsEnv env;
  env.log = [&log](std::string_view m, int) { log.emplace_back(m); };
  hardware::CommProtocols hub(hardware::CommProtocols::kStationMask, std::move(env));
  std::vector<std::string> names = {"stale"};
  hub.enum_serial_ports(names);
  EXPECT_TRUE(log.empty()) << log.front();
  const auto consoles =
      SerialPortLister(hardware::libserialport_devices, [](const std::string& path) {
        return hardware::read_system_text(path, lib::posix_file_system());
      }).kernel_consoles();
  for (const std::string& n : names) EXPECT_EQ(consoles.count(n), 0u) << n;
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end(), [](const auto& a, const auto& b) {
    return hardware::natural_less(a, b);
  }));
  EXPECT_EQ(std::count(names.begin(), names.end(), "stale"), 0);
}

}  // namespace
