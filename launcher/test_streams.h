// Hand-made zlib streams for the tests and seeds of the payload reader:
// streams whose faults no compressor would write.
#ifndef TULORA_LAUNCHER_TEST_STREAMS_H
#define TULORA_LAUNCHER_TEST_STREAMS_H

#include <cstdint>
#include <utility>
#include <vector>

namespace tulora::launcher::test {

// Deflate's bit order: values go in least significant bit first.
class BitWriter {
 public:
  void Put(uint32_t value, int count) {
    for (int i = 0; i < count; ++i) {
      if (used_ == 0) bytes_.push_back(0);
      bytes_.back() |= static_cast<uint8_t>(((value >> i) & 1) << used_);
      used_ = (used_ + 1) & 7;
    }
  }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
  int used_ = 0;
};

// A zlib stream of one dynamic block that inflates to the single byte "A",
// declaring 257 + `hlit` literal/length codes (5 bits: 0 to 31). Deflate
// knows 286 of them, so 30 and 31 declare codes that cannot exist; the
// lengths of the extra codes are sent (as zeros) all the same, so that a
// decoder that lets them pass decodes "A".
inline std::vector<uint8_t> OneLiteralStream(uint32_t hlit) {
  BitWriter w;
  w.Put(0x78, 8);
  w.Put(0x01, 8);  // deflate, 32 KiB window, check bits
  w.Put(1, 1);     // final block
  w.Put(2, 2);     // dynamic codes
  w.Put(hlit, 5);
  w.Put(0, 5);   // one distance code
  w.Put(14, 4);  // 18 code length code lengths, in the fixed order
  // 16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1: only 18
  // (runs of zeros) and 1 have a length, 1 bit each: 1 is code 0, 18 code 1.
  for (int i = 0; i < 18; ++i) w.Put(i == 2 || i == 17 ? 1 : 0, 3);
  auto zeros = [&w](uint32_t run) {  // 11 to 138 zeros
    w.Put(1, 1);
    w.Put(run - 11, 7);
  };
  zeros(65);    // literals 0 to 64
  w.Put(0, 1);  // 'A': length 1
  zeros(138);
  zeros(52);        // literals 66 to 255
  w.Put(0, 1);      // end of block: length 1
  zeros(hlit + 1);  // length codes 257 on and the distance code (hlit >= 10)
  w.Put(0, 1);      // 'A' (code 0)
  w.Put(1, 1);      // end of block (code 1)
  std::vector<uint8_t> stream = w.Take();
  const uint8_t adler[] = {0x00, 0x42, 0x00, 0x42};  // of "A", big-endian
  stream.insert(stream.end(), adler, adler + 4);
  return stream;
}

}  // namespace tulora::launcher::test

#endif  // TULORA_LAUNCHER_TEST_STREAMS_H
