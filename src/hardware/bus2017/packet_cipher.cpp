#include "hardware/bus2017/packet_cipher.h"

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

namespace hardware {

using namespace packet_format;

namespace {

struct ContextFree {
  void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
using Context = std::unique_ptr<EVP_CIPHER_CTX, ContextFree>;

// One key's schedules, expanded once: enciphering and deciphering need different ones.
struct KeyedContexts {
  std::array<std::uint8_t, 32> key{};
  Context encrypt;
  Context decrypt;
};

// A program uses one key (tests a few more); beyond this many the oldest is dropped.
constexpr std::size_t kKeysKept = 4;

Context keyed(const std::array<std::uint8_t, 32>& key, bool encrypt) {
  Context ctx(EVP_CIPHER_CTX_new());
  if (!ctx ||
      EVP_CipherInit_ex(ctx.get(), EVP_aes_256_cbc(), nullptr, key.data(), nullptr,
                        encrypt ? 1 : 0) != 1 ||
      EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1) {
    return nullptr;
  }
  return ctx;
}

// The calling thread's keyed state for `key`, set up on first use; null when OpenSSL
// failed.
EVP_CIPHER_CTX* keyed_context(const std::array<std::uint8_t, 32>& key, bool encrypt) {
  thread_local std::vector<KeyedContexts> states;
  auto it = std::find_if(states.begin(), states.end(),
                         [&key](const KeyedContexts& s) { return s.key == key; });
  if (it == states.end()) {
    KeyedContexts s{key, keyed(key, true), keyed(key, false)};
    if (!s.encrypt || !s.decrypt) return nullptr;
    if (states.size() >= kKeysKept) states.erase(states.begin());
    states.push_back(std::move(s));
    it = states.end() - 1;
  }
  return encrypt ? it->encrypt.get() : it->decrypt.get();
}

}  // namespace

PacketCipher::PacketCipher(const BusCipherKey& key) : key_(key) {}

PacketCipher::~PacketCipher() {
  OPENSSL_cleanse(scratch_.data(), scratch_.size());
}

bool PacketCipher::run(bool encrypt, std::span<const std::uint8_t> in,
                       std::span<std::uint8_t> out) {
  if (in.size() % kCipherBlock != 0 || out.size() < in.size()) return false;
  if (in.size() > static_cast<std::size_t>(INT32_MAX)) return false;
  EVP_CIPHER_CTX* ctx = keyed_context(key_.key, encrypt);
  if (ctx == nullptr) return false;
  // Only the vector restarts: every packet stands alone, the key schedule is kept.
  if (EVP_CipherInit_ex(ctx, nullptr, nullptr, nullptr, key_.iv.data(), -1) != 1) return false;
  int produced = 0;
  int tail = 0;
  if (EVP_CipherUpdate(ctx, out.data(), &produced, in.data(), static_cast<int>(in.size())) != 1) {
    return false;
  }
  if (EVP_CipherFinal_ex(ctx, out.data() + produced, &tail) != 1) return false;
  return static_cast<std::size_t>(produced + tail) == in.size();
}

bool PacketCipher::encrypt_blocks(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
  return run(true, in, out);
}

bool PacketCipher::decrypt_blocks(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
  return run(false, in, out);
}

std::size_t PacketCipher::encode(std::span<const std::uint8_t> text, std::span<std::uint8_t> out) {
  const std::size_t padded = padded_block_size(text.size());
  if (padded > scratch_.size() || padded > out.size()) return 0;
  const std::uint32_t magic = kMagic;
  const auto length = static_cast<std::uint16_t>(text.size());
  scratch_[kMagicOffset + 0] = static_cast<std::uint8_t>(magic);
  scratch_[kMagicOffset + 1] = static_cast<std::uint8_t>(magic >> 8);
  scratch_[kMagicOffset + 2] = static_cast<std::uint8_t>(magic >> 16);
  scratch_[kMagicOffset + 3] = static_cast<std::uint8_t>(magic >> 24);
  scratch_[kLengthOffset + 0] = static_cast<std::uint8_t>(length);
  scratch_[kLengthOffset + 1] = static_cast<std::uint8_t>(length >> 8);
  if (!text.empty()) std::memcpy(scratch_.data() + kHeaderSize, text.data(), text.size());
  // Zero padding: the console ignores it, and zeros keep frames reproducible.
  std::fill(scratch_.begin() + kHeaderSize + text.size(), scratch_.begin() + padded, 0);
  if (!run(true, std::span(scratch_.data(), padded), out.first(padded))) return 0;
  return padded;
}

std::size_t PacketCipher::decode(std::span<const std::uint8_t> payload,
                                 std::span<std::uint8_t> out) {
  // A trailing partial block cannot come from a well-built frame; such payloads are
  // rejected rather than half-read.
  if (payload.size() > scratch_.size() || payload.size() < kCipherBlock) return 0;
  if (payload.size() % kCipherBlock != 0) return 0;
  if (!run(false, payload, std::span(scratch_.data(), payload.size()))) return 0;
  const std::uint32_t magic = std::uint32_t{scratch_[kMagicOffset]} |
                              std::uint32_t{scratch_[kMagicOffset + 1]} << 8 |
                              std::uint32_t{scratch_[kMagicOffset + 2]} << 16 |
                              std::uint32_t{scratch_[kMagicOffset + 3]} << 24;
  if (magic != kMagic) return 0;
  const std::size_t length =
      std::size_t{scratch_[kLengthOffset]} | std::size_t{scratch_[kLengthOffset + 1]} << 8;
  if (length == 0 || length > payload.size() - kHeaderSize || length > out.size()) return 0;
  std::memcpy(out.data(), scratch_.data() + kHeaderSize, length);
  return length;
}

}  // namespace hardware
