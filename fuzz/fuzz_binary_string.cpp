// Arbitrary bytes read as a sequence of length-prefixed strings and numbers, in both string
// encodings: every read either yields a value or raises StreamError.
#include <cstdint>
#include <string>

#include "lib/binary_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (lib::StringEnc enc : {lib::StringEnc::kUtf8, lib::StringEnc::kCp1251}) {
    lib::io::BinaryMemoryInputStream in(bytes);
    in.set_string_encoding(enc);
    try {
      while (!in.at_end()) {
        std::string s;
        lib::io::read_binary(in, s);
        // A string read must write back and read again to the same text in UTF-8.
        lib::io::BinaryMemoryOutputStream out;
        lib::io::write_binary(out, s);
        lib::io::BinaryMemoryInputStream again(out.data());
        if (lib::io::read_binary<std::string>(again) != s) __builtin_trap();
        double d = 0;
        lib::io::read_binary(in, d);
      }
    } catch (const lib::io::StreamError&) {
    }
  }
  return 0;
}
