// GB2312 byte classes and the helpers the Chinese phrase dictionary and the
// surname table share.
#ifndef DICT_SRC_DICT_GB_H_
#define DICT_SRC_DICT_GB_H_

#include <sys/types.h>

#include <cstring>

namespace dict_internal {

// Bytes of the surname table: one per first and second byte.
constexpr size_t kSurnameTableSize = 65536;

// First byte of a GB2312 character of levels 1 and 2 (0xB0..0xF7).
inline bool IsGbLead(char c) {
  const unsigned char b = static_cast<unsigned char>(c);
  return b >= 0xB0 && b <= 0xF7;
}
// Second byte of a GB2312 character (0xA1..0xFE).
inline bool IsGbTrail(char c) {
  const unsigned char b = static_cast<unsigned char>(c);
  return b >= 0xA1 && b <= 0xFE;
}

// Index of the character at p in the surname table.
inline u_int SurnameIndex(const char* p) {
  return static_cast<unsigned char>(p[0]) * 256u + static_cast<unsigned char>(p[1]);
}

// True when the six bytes at t are three GB2312 characters and the first is
// marked in the surname table. Stops at the text's NUL.
bool IsName(const char* table, const char* t);

// Appends n bytes of s and a blank at o; returns the position after them.
inline char* AppendUnit(char* o, const char* s, size_t n) {
  std::memcpy(o, s, n);
  o[n] = ' ';
  return o + n + 1;
}

}  // namespace dict_internal

#endif  // DICT_SRC_DICT_GB_H_
