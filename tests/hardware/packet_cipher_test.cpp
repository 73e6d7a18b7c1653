#include "hardware/bus2017/packet_cipher.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "packet_test_support.h"

namespace {

using packet_testing::Bytes;
using packet_testing::from_hex;

// NIST SP 800-38A, F.2.5 (CBC-AES256.Encrypt) and F.2.6 (CBC-AES256.Decrypt).
hardware::BusCipherKey nist_key() {
  return *hardware::parse_bus_cipher_key(
      "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4",
      "000102030405060708090a0b0c0d0e0f");
}
const Bytes kNistPlain = from_hex(
    "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
    "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
const Bytes kNistCipher = from_hex(
    "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
    "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b");

TEST(PacketCipher, NistCbcAes256Vectors) {
  hardware::PacketCipher cipher(nist_key());
  Bytes out(kNistPlain.size());
  ASSERT_TRUE(cipher.encrypt_blocks(kNistPlain, out));
  EXPECT_EQ(out, kNistCipher);
  Bytes back(kNistCipher.size());
  ASSERT_TRUE(cipher.decrypt_blocks(kNistCipher, back));
  EXPECT_EQ(back, kNistPlain);

  // The vector restarts on every call: the second block alone, enciphered again, is not the
  // second block of the chain, while the first block always is.
  Bytes first(16);
  ASSERT_TRUE(cipher.encrypt_blocks(std::span(kNistPlain).first(16), first));
  ASSERT_TRUE(cipher.encrypt_blocks(std::span(kNistPlain).first(16), first));
  EXPECT_EQ(first, Bytes(kNistCipher.begin(), kNistCipher.begin() + 16));

  Bytes partial(15);
  EXPECT_FALSE(cipher.encrypt_blocks(std::span(kNistPlain).first(15), partial));
}

// Each key's schedule is kept for the thread, a few keys at a time: ciphers of more keys than
// are kept, used in turn, still each encipher with their own key, and the NIST vectors hold
// after the others pushed that key's state out.
TEST(PacketCipher, CiphersOfManyKeysUsedInTurnEachKeepTheirOwnKey) {
  std::vector<Bytes> enciphered;
  for (int round = 0; round < 2; ++round) {
    for (std::uint8_t k = 0; k < 6; ++k) {
      hardware::BusCipherKey key = nist_key();
      key.key[0] = k;
      hardware::PacketCipher cipher(key);
      Bytes out(kNistPlain.size()), back(kNistPlain.size());
      ASSERT_TRUE(cipher.encrypt_blocks(kNistPlain, out));
      ASSERT_TRUE(cipher.decrypt_blocks(out, back));
      EXPECT_EQ(back, kNistPlain);
      if (round == 0) enciphered.push_back(out);
      EXPECT_EQ(out, enciphered[k]) << "key " << int{k} << " round " << round;
      if (k > 0) {
        EXPECT_NE(out, enciphered[k - 1u]);
      }
    }
  }
  hardware::PacketCipher nist(nist_key());
  Bytes out(kNistPlain.size());
  ASSERT_TRUE(nist.encrypt_blocks(kNistPlain, out));
  EXPECT_EQ(out, kNistCipher);
}

TEST(PacketCipher, PlainBlockLayout) {
  hardware::PacketCipher cipher(nist_key());
  const Bytes text{0x10, 0x00};
  Bytes out(64, 0xAA);
  ASSERT_EQ(cipher.encode(text, out), 16u);  // 6 + 2 bytes padded to one block
  EXPECT_EQ(out[16], 0xAA);                  // nothing written past the block
  // The header's bytes are checked in the channel's frame layout test. A text of exactly
  // 10 bytes fills one block; 11 need two.
  EXPECT_EQ(cipher.encode(Bytes(10, 1), out), 16u);
  EXPECT_EQ(cipher.encode(Bytes(11, 1), out), 32u);
}

TEST(PacketCipher, SizeLimitsOfTheTransmitRoom) {
  hardware::PacketCipher cipher(nist_key());
  Bytes room(2046);
  EXPECT_EQ(cipher.encode(Bytes(2026, 7), room), 2032u);  // the largest that goes out
  EXPECT_EQ(cipher.encode(Bytes(2027, 7), room), 0u);     // 2048 padded > 2046
  Bytes full(2048);
  EXPECT_EQ(cipher.encode(Bytes(2042, 7), full), 2048u);  // fits the scratch block exactly
  EXPECT_EQ(cipher.encode(Bytes(2043, 7), full), 0u);     // 2064 padded
}

TEST(PacketCipher, DecodeRoundTripAndRejections) {
  hardware::PacketCipher cipher(nist_key());
  Bytes text(100);
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<std::uint8_t>(i * 7);
  Bytes payload(2048);
  const std::size_t n = cipher.encode(text, payload);
  payload.resize(n);
  Bytes out(2048);
  ASSERT_EQ(cipher.decode(payload, out), text.size());
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 100), text);

  // Too small a destination, a partial trailing block, an empty or an overlong payload.
  EXPECT_EQ(cipher.decode(payload, std::span(out).first(99)), 0u);
  EXPECT_EQ(cipher.decode(std::span(payload).first(n - 1), out), 0u);
  EXPECT_EQ(cipher.decode({}, out), 0u);
  Bytes huge(2064);
  EXPECT_EQ(cipher.decode(huge, out), 0u);

  // Another key: the magic does not come out.
  hardware::BusCipherKey other = nist_key();
  other.key[31] ^= 1;
  hardware::PacketCipher wrong(other);
  EXPECT_EQ(wrong.decode(payload, out), 0u);
}

// Blocks enciphered straight from a hand-made plain block: a header the encoder would
// never write.
Bytes forged(const Bytes& plain) {
  hardware::PacketCipher cipher(nist_key());
  Bytes out(plain.size());
  EXPECT_TRUE(cipher.encrypt_blocks(plain, out));
  return out;
}

TEST(PacketCipher, DecodeRejectsBadHeaders) {
  hardware::PacketCipher cipher(nist_key());
  Bytes out(2048);
  Bytes plain(32, 0x11);
  auto header = [&](std::uint32_t magic, std::uint16_t length) {
    Bytes p = plain;
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(magic >> (8 * i));
    p[4] = static_cast<std::uint8_t>(length);
    p[5] = static_cast<std::uint8_t>(length >> 8);
    return p;
  };
  EXPECT_EQ(cipher.decode(forged(header(0xDEADBEEF, 26)), out), 26u);  // all 26 bytes held
  EXPECT_EQ(cipher.decode(forged(header(0xEFBEADDE, 5)), out), 0u);    // magic byte order
  EXPECT_EQ(cipher.decode(forged(header(0xDEADBEEF, 27)), out), 0u);   // past the block
  EXPECT_EQ(cipher.decode(forged(header(0xDEADBEEF, 0)), out), 0u);
  EXPECT_EQ(cipher.decode(forged(header(0xDEADBEEF, 0xFFFF)), out), 0u);
}

TEST(PacketCipher, KeyTextParsing) {
  const std::string key(64, 'a');
  const std::string iv = "000102030405060708090A0B0C0D0E0F";
  auto parsed = hardware::parse_bus_cipher_key(key, iv);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->key[31], 0xAA);
  EXPECT_EQ(parsed->iv[15], 0x0F);
  EXPECT_FALSE(hardware::parse_bus_cipher_key(key.substr(1), iv));
  EXPECT_FALSE(hardware::parse_bus_cipher_key(key + "00", iv));
  EXPECT_FALSE(hardware::parse_bus_cipher_key(key, iv.substr(0, 30) + "0g"));
  EXPECT_FALSE(hardware::parse_bus_cipher_key(key, ""));
}

}  // namespace
