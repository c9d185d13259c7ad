// Full-width to half-width folding of GBK text.
#include "ul_transch.h"

// Loaded by the character-code data loader from "bj.txt" and "bj_ext.txt";
// null (the built-in foldings apply) until then.
unsigned char* map_for_bj = nullptr;
unsigned char* map_for_bj_ext = nullptr;

namespace {

constexpr int kMapSize = 96;

// Symbols of row 0xA1 that have an ASCII form, indexed by the second byte
// minus 0xA0; an entry equal to its index means "keep the character".
struct ExtTable {
  unsigned char v[kMapSize];
  constexpr ExtTable() : v() {
    for (int i = 0; i < kMapSize; ++i) v[i] = static_cast<unsigned char>(i);
    v[0xA1 - 0xA0] = ' ';
    v[0xA2 - 0xA0] = ',';
    v[0xA3 - 0xA0] = '.';
    v[0xAE - 0xA0] = '\'';
    v[0xAF - 0xA0] = '\'';
    v[0xB0 - 0xA0] = '"';
    v[0xB1 - 0xA0] = '"';
    v[0xC3 - 0xA0] = ':';
    v[0xE7 - 0xA0] = '$';
  }
};

constexpr ExtTable kExtTable;

bool IsDoubleByte(const unsigned char* s) {
  return s[0] >= 0x81 && s[0] <= 0xFE && s[1] >= 0x40 && s[1] <= 0xFE;
}

// Walks src and lets fold() replace a double-byte character by one byte
// (returning true) or keep it. Single bytes are copied, except that a byte
// above 0x80 that ends the text (a cut character) is dropped.
template <typename Fold>
void FoldText(const char* src, char* dst, Fold fold) {
  if (src == nullptr || dst == nullptr) return;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
  unsigned char* d = reinterpret_cast<unsigned char*>(dst);
  while (*s != 0) {
    if (IsDoubleByte(s)) {
      unsigned char lead = s[0], trail = s[1], single = 0;
      s += 2;
      if (fold(lead, trail, &single)) {
        *d++ = single;
      } else {
        d[0] = lead;
        d[1] = trail;
        d += 2;
      }
    } else if (*s > 0x80 && s[1] == 0) {
      break;
    } else {
      *d++ = *s++;
    }
  }
  *d = 0;
}

}  // namespace

void ul_trans2bj(const char* src, char* dst) {
  FoldText(src, dst, [](unsigned char lead, unsigned char trail, unsigned char* out) {
    if (lead != 0xA3 || trail < 0xA0) return false;
    if (map_for_bj == nullptr) {
      *out = static_cast<unsigned char>(trail - 0x80);
      return true;
    }
    unsigned char m = map_for_bj[trail - 0xA0];
    if (m == 0xFF) return false;
    *out = m;
    return true;
  });
}

void ul_trans2bj_ext(const char* src, char* dst) {
  FoldText(src, dst, [](unsigned char lead, unsigned char trail, unsigned char* out) {
    if (lead != 0xA1 || trail <= 0xA0) return false;
    const unsigned char* map = map_for_bj_ext != nullptr ? map_for_bj_ext : kExtTable.v;
    const int index = trail - 0xA0;
    if (map[index] == index) return false;
    *out = map[index];
    return true;
  });
}
