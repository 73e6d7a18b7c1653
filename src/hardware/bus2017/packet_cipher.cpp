#include "hardware/bus2017/packet_cipher.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstring>

namespace hardware {

using namespace packet_format;

void PacketCipher::ContextFree::operator()(evp_cipher_ctx_st* ctx) const {
  EVP_CIPHER_CTX_free(ctx);
}

PacketCipher::PacketCipher(const BusCipherKey& key) : key_(key), context_(EVP_CIPHER_CTX_new()) {}

PacketCipher::~PacketCipher() {
  OPENSSL_cleanse(scratch_.data(), scratch_.size());
}

bool PacketCipher::run(bool encrypt, std::span<const std::uint8_t> in,
                       std::span<std::uint8_t> out) {
  if (!context_ || in.size() % kCipherBlock != 0 || out.size() < in.size()) return false;
  if (in.size() > static_cast<std::size_t>(INT32_MAX)) return false;
  EVP_CIPHER_CTX* ctx = context_.get();
  // Re-initialising with the vector restarts the chain: every packet stands alone.
  if (EVP_CipherInit_ex(ctx, EVP_aes_256_cbc(), nullptr, key_.key.data(), key_.iv.data(),
                        encrypt ? 1 : 0) != 1) {
    return false;
  }
  EVP_CIPHER_CTX_set_padding(ctx, 0);
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
