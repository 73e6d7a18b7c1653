// Frames per second of the 2017 bus packet layer (build and write a request, read and
// decipher a reply, over memory ports) beside OpenSSL's own AES-256-CBC speed, to show how
// much of a frame's cost is the cipher.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <vector>

#include "hardware/bus2017/packet_channel.h"
#include "hardware/sim/memory_packet_port.h"

namespace {

lib::LineLogger& silent_log() {
  static lib::LineLogger log(-1, lib::system_clock(), lib::posix_file_system());
  return log;
}

void BM_SendPacket(benchmark::State& state) {
  hardware::MemoryPacketPort port;
  hardware::PacketChannel channel(port, silent_log(), silent_log());
  std::vector<std::uint8_t> data(static_cast<std::size_t>(state.range(0)), 0x5A);
  for (auto _ : state) {
    port.written.clear();
    channel.SendPacket(0x21, 0x10, data.data(), static_cast<unsigned>(data.size()));
    benchmark::DoNotOptimize(port.written.data());
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SendPacket)->Arg(1)->Arg(64)->Arg(233)->Arg(2025);

void BM_ReceivePacket(benchmark::State& state) {
  hardware::MemoryPacketPort device_port;
  hardware::PacketChannel device(device_port, silent_log(), silent_log());
  std::vector<std::uint8_t> data(static_cast<std::size_t>(state.range(0)), 0x5A);
  device.SendPacket(0x21, 0x10, data.data(), static_cast<unsigned>(data.size()));
  const std::vector<std::uint8_t> frame = device_port.written;

  hardware::MemoryPacketPort port;
  hardware::PacketChannel channel(port, silent_log(), silent_log());
  std::vector<std::uint8_t> out(2048);
  for (auto _ : state) {
    port.queue(frame);
    std::uint8_t addr = 0, cmd = 0;
    std::uint16_t len = 0;
    if (!channel.ReceivePacket(addr, cmd, len, out.data(), 2048, false)) {
      state.SkipWithError("reply not received");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ReceivePacket)->Arg(1)->Arg(64)->Arg(233);

// OpenSSL alone: one context, enciphering a buffer of the given size per iteration.
void BM_OpenSslAes256Cbc(benchmark::State& state) {
  const unsigned char key[32] = {1};
  const unsigned char iv[16] = {2};
  std::vector<unsigned char> in(static_cast<std::size_t>(state.range(0)), 0x5A), out(in.size());
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  for (auto _ : state) {
    int n = 0, tail = 0;
    EVP_EncryptInit_ex(ctx, EVP_aes_256_cbc(), nullptr, key, iv);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    EVP_EncryptUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(in.size()));
    EVP_EncryptFinal_ex(ctx, out.data() + n, &tail);
    benchmark::DoNotOptimize(out.data());
  }
  EVP_CIPHER_CTX_free(ctx);
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_OpenSslAes256Cbc)->Arg(16)->Arg(240)->Arg(2032)->Arg(65536);

}  // namespace
