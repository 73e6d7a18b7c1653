// The configuration exchange with one 2017 bus module: read its 14-byte configuration
// (command 0x10, reply checked by the inner checksum) or write a new one (0x12, answered by
// a result after the module has stored it). One attempt each; the caller reports failures
// to the user with the texts below. The bus must be configured for protocol 10 and
// acquisition paused.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "hardware/bus2017/bus2017_format.h"

namespace hardware {

class CommProtocols;

using ModuleConfig2017 = std::array<std::uint8_t, bus2017::kModuleConfigSize>;

namespace bus2017 {
// A module needs this long to store a configuration before it answers.
inline constexpr int kConfigWritePauseMs = 200;

inline constexpr const char* kConfigSendFailedText = "Ошибка отправки конфигурации УСО!";
inline constexpr const char* kConfigReadFailedText = "Ошибка чтения конфигурации УСО с адресом ";
inline constexpr const char* kConfigReadAnyFailedText =
    "!Ошибка чтения конфигурации УСО!\nУбедитесь, что толко одно УСО подключено к шине данных!";
inline constexpr const char* kConfigCaption = " ВНИМАНИЕ!";
}  // namespace bus2017

// Reads the configuration of the module at `address`, or of whichever module answers when
// the address is 0xFE (only one module may be on the bus then). `answered_from`, when
// given, receives the address of the module that answered.
bool read_module_config_2017(CommProtocols& hub, int address, ModuleConfig2017& config,
                             int* answered_from = nullptr);
// Writes a configuration; true when the module answered with a result (`result`, when
// given, receives its byte).
bool write_module_config_2017(CommProtocols& hub, int address, const ModuleConfig2017& config,
                              std::uint8_t* result = nullptr);
// The message for a failed read of `address`.
std::string module_config_read_error(int address);

}  // namespace hardware
