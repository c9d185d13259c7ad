// Kept apart from the other foldings: it needs no data, no iconv and no
// thread state, so programs that only fold keys link this alone.
#include "ul_transch.h"

namespace {

struct LowMap {
  unsigned char v[256];
  constexpr LowMap() : v() {
    for (int i = 0; i < 256; ++i) v[i] = static_cast<unsigned char>(i);
    for (int c = 'A'; c <= 'Z'; ++c) v[c] = static_cast<unsigned char>(c - 'A' + 'a');
  }
};

constexpr LowMap c_low_map;

}  // namespace

void ul_trans2lower(const char* src, char* dst) {
  if (src == nullptr || dst == nullptr) return;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
  unsigned char* d = reinterpret_cast<unsigned char*>(dst);
  // d never passes s, so reading both bytes before writing makes in-place
  // use safe.
  while (*s != 0) {
    if (*s >= 0x80 && s[1] != 0) {
      unsigned char lead = s[0], trail = s[1];
      d[0] = lead;
      d[1] = trail;
      s += 2;
      d += 2;
    } else {
      *d++ = c_low_map.v[*s++];
    }
  }
  *d = 0;
}
