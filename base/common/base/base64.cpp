#include "base/base64.h"

#include <stdint.h>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Reverse alphabet: the 6-bit value of a character, or kBad.
constexpr uint8_t kBad = 0xFF;

struct DecodeTable {
  uint8_t v[256];
  constexpr DecodeTable() : v() {
    for (int i = 0; i < 256; ++i) v[i] = kBad;
    for (int i = 0; i < 64; ++i) v[static_cast<unsigned char>(kAlphabet[i])] = static_cast<uint8_t>(i);
  }
};

constexpr DecodeTable kDecode;

}  // namespace

size_t modp_b64_encode(char* dest, const char* src, size_t len) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
  char* p = dest;
  size_t i = 0;
  for (; i + 3 <= len; i += 3) {
    uint32_t t = (uint32_t{s[i]} << 16) | (uint32_t{s[i + 1]} << 8) | s[i + 2];
    *p++ = kAlphabet[(t >> 18) & 0x3F];
    *p++ = kAlphabet[(t >> 12) & 0x3F];
    *p++ = kAlphabet[(t >> 6) & 0x3F];
    *p++ = kAlphabet[t & 0x3F];
  }
  size_t rest = len - i;
  if (rest == 1) {
    uint32_t t = uint32_t{s[i]} << 16;
    *p++ = kAlphabet[(t >> 18) & 0x3F];
    *p++ = kAlphabet[(t >> 12) & 0x3F];
    *p++ = '=';
    *p++ = '=';
  } else if (rest == 2) {
    uint32_t t = (uint32_t{s[i]} << 16) | (uint32_t{s[i + 1]} << 8);
    *p++ = kAlphabet[(t >> 18) & 0x3F];
    *p++ = kAlphabet[(t >> 12) & 0x3F];
    *p++ = kAlphabet[(t >> 6) & 0x3F];
    *p++ = '=';
  }
  *p = '\0';
  return static_cast<size_t>(p - dest);
}

size_t modp_b64_decode(char* dest, const char* src, size_t len) {
  if (len == 0) return 0;
  if (len < 4 || len % 4 != 0) return MODP_B64_ERROR;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
  // One or two '=' at the end are padding; any other '=' is bad below.
  size_t chars = len;
  if (s[chars - 1] == '=') {
    --chars;
    if (s[chars - 1] == '=') --chars;
  }
  unsigned char* out = reinterpret_cast<unsigned char*>(dest);
  size_t i = 0;
  for (; i + 4 <= chars; i += 4) {
    uint8_t a = kDecode.v[s[i]], b = kDecode.v[s[i + 1]];
    uint8_t c = kDecode.v[s[i + 2]], d = kDecode.v[s[i + 3]];
    if (a == kBad || b == kBad || c == kBad || d == kBad) {
      return MODP_B64_ERROR;
    }
    uint32_t t = (uint32_t{a} << 18) | (uint32_t{b} << 12) | (uint32_t{c} << 6) | d;
    *out++ = static_cast<unsigned char>(t >> 16);
    *out++ = static_cast<unsigned char>(t >> 8);
    *out++ = static_cast<unsigned char>(t);
  }
  size_t rest = chars - i;  // 0, 2 or 3 (at most two '=' were taken off)
  if (rest >= 2) {
    uint8_t a = kDecode.v[s[i]], b = kDecode.v[s[i + 1]];
    if (a == kBad || b == kBad) return MODP_B64_ERROR;
    uint32_t t = (uint32_t{a} << 18) | (uint32_t{b} << 12);
    if (rest == 3) {
      uint8_t c = kDecode.v[s[i + 2]];
      if (c == kBad) return MODP_B64_ERROR;
      t |= uint32_t{c} << 6;
    }
    *out++ = static_cast<unsigned char>(t >> 16);
    if (rest == 3) *out++ = static_cast<unsigned char>(t >> 8);
  }
  // Bits left over in the last character are ignored.
  return static_cast<size_t>(out - reinterpret_cast<unsigned char*>(dest));
}

namespace base {

void Base64Encode(const StringPiece& input, std::string* output) {
  std::string temp;
  temp.resize((input.size() + 2) / 3 * 4 + 1);
  size_t n = modp_b64_encode(&temp[0], input.data(), input.size());
  temp.resize(n);
  output->swap(temp);
}

bool Base64Decode(const StringPiece& input, std::string* output) {
  std::string temp;
  temp.resize(input.size() / 4 * 3 + 2);
  size_t n = modp_b64_decode(&temp[0], input.data(), input.size());
  if (n == MODP_B64_ERROR) return false;
  temp.resize(n);
  output->swap(temp);
  return true;
}

}  // namespace base
