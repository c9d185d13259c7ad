// A 64-bit FNV-1a digest, for tests that pin a large result (lists, answers,
// file bytes) by one number. Header-only.
#ifndef PBDICT_TEST_SUPPORT_DIGEST_H_
#define PBDICT_TEST_SUPPORT_DIGEST_H_

#include <cstdint>
#include <string_view>

namespace testsupport {

class Digest {
 public:
  void Bytes(std::string_view s) {
    for (unsigned char c : s) Byte(c);
  }
  // The four bytes of w, least significant first.
  void Word(uint32_t w) {
    for (int i = 0; i < 4; ++i) Byte(static_cast<unsigned char>(w >> (8 * i)));
  }
  void Int(int v) { Word(static_cast<uint32_t>(v)); }
  uint64_t value() const { return h_; }

 private:
  void Byte(unsigned char c) {
    h_ ^= c;
    h_ *= 1099511628211ull;
  }
  uint64_t h_ = 14695981039346656037ull;
};

}  // namespace testsupport

#endif  // PBDICT_TEST_SUPPORT_DIGEST_H_
