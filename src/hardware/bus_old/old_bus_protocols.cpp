// The hub's exchanges with older bus modules (one module per line answering a 60-byte
// block), the packet-number continuity check they share with the 2017 bus, and the older
// console's output.
#include <array>

#include "hardware/comm_protocols.h"

namespace hardware {

namespace {
constexpr const char* kCommandPult = "SP";
constexpr const char* kCommandJunctionBox = "2P";
constexpr const char* kCommandDepthFast = "4P";
constexpr int kLogDuplicate = 4;
constexpr int kLogDiscontinuity = 1;
}  // namespace

bool CommProtocols::check_packet_number(CommIncomData& data, std::int32_t address,
                                        std::uint32_t number, std::uint32_t largest,
                                        bool* backwards) {
  USOData& record = data.module(address);
  record.packet_number = number;

  std::uint32_t last = 0;
  {
    std::lock_guard data_guard(data_lock_);
    const auto it = last_packet_numbers_.find(address);
    if (it == last_packet_numbers_.end()) {
      last_packet_numbers_[address] = number;
      return true;
    }
    last = it->second;
  }
  const std::string who = "USO " + std::to_string(address);
  if (number == last) {
    log(who + " Duplicate packet " + std::to_string(number), kLogDuplicate);
    return false;
  }
  // A zero after anything but the largest number is a module that started counting anew.
  if (number == 0 && last != largest) record.state = kUsoStateLost;
  const std::int64_t diff = static_cast<std::int64_t>(number) - static_cast<std::int64_t>(last);
  if (backwards && !(number == 0 && last == largest) && diff < 0) *backwards = true;
  if (number != 0 && diff != 1) {
    log(who + " Uncontinuous packet " + std::to_string(last) + " >> " + std::to_string(number),
        kLogDiscontinuity);
    // One lost packet is tolerated; more mean the module's running values cannot be trusted.
    if (diff > 2) record.state = kUsoStateLost;
  }
  std::lock_guard data_guard(data_lock_);
  last_packet_numbers_[address] = number;
  return true;
}

bool CommProtocols::read_data_new_process_data(
    CommIncomData& data, std::span<const std::uint8_t, old_block::kSize> block,
    std::int32_t address) {
  using namespace old_block;
  USOData& record = data.module(address);
  record.adc.assign(kAdcChannels, 0);
  record.freq.assign(kRateInputs, 0.0f);
  record.counters.assign(1, 0);
  record.dol.resize(1);

  if (!check_packet_number(data, address, block[kPacketOffset], kLargestPacketNumber)) return false;

  record.counters[0] = word_at(block, kCounterOffset);
  record.freq[1] = rate_of_word(word_at(block, kRate1Offset));
  record.freq[2] = rate_of_word(word_at(block, kRate2Offset));
  record.freq[3] = rate_of_word(word_at(block, kRate3Offset));
  record.freq[0] = rate_of_word(word_at(block, kRate0Offset));
  for (int i = 0; i < kAdcChannels; ++i)
    record.adc[static_cast<std::size_t>(i)] =
        word_at(block, kAdcOffset + 2 * static_cast<std::size_t>(i));
  record.status = block[kStatusOffset] & kStatusMask;

  const int m = max_adc_;
  record.extra[kExtraPlus5V] = plus5v_volts(word_at(block, 2 * kPlus5VChannel), m);
  record.extra[kExtraPlus12V] = plus12v_volts(word_at(block, 2 * kPlus12VChannel), m);
  record.extra[kExtraSupply] = supply_volts(word_at(block, 2 * kSupplyChannel), m);
  record.extra[kExtraTemperature] = temperature_celsius(word_at(block, 2 * kTemperatureChannel), m);
  return true;
}

bool CommProtocols::read_data_new_pilot(CommIncomData& data, std::string_view command,
                                        std::int32_t address) {
  std::array<std::uint8_t, old_block::kSize> block{};
  const Protocol* current = protocol_at(current_protocol_);
  // Only a console line has a driver to turn around; plain modules listen all the time.
  const bool drive_rts = current && current->send;
  std::lock_guard port_guard(port_lock_);
  if (!port_.read_data2(block.data(), block.size(), drive_rts, command)) return false;
  return read_data_new_process_data(data, block, address);
}

bool CommProtocols::read_data_new(CommIncomData& data) {
  if (!read_data_new_pilot(data, kCommandPult, 0)) return false;
  set_device_types({{0, kDeviceTypeDataSource}});
  return true;
}

bool CommProtocols::read_data_uso2(CommIncomData& data) {
  return read_data_new_pilot(data, kCommandJunctionBox, 0);
}

bool CommProtocols::read_data_horiz_fast(CommIncomData& data) {
  return read_data_new_pilot(data, kCommandDepthFast, 0);
}

void CommProtocols::send_data_new_pult(CommOutData& out) {
  std::lock_guard output_guard(output_lock_);
  const auto it = out.pults.find(0);
  if (it == out.pults.end() || it->second.values.empty()) return;
  const PultOut& entry = it->second;
  const bool sent = entry.raw ? port_.write(entry.values.data(), entry.values.size())
                              : port_.send_data2(entry.values.data(), entry.values.size());
  if (sent)
    port_.flush();
  else
    log("Console output not sent", 2);
}

}  // namespace hardware
