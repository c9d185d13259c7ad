// Half-width katakana to full-width in GB18030 text.
#include <string.h>

#include "ul_jcode.h"
#include "ul_jcode_table.h"
#include "ul_log.h"

namespace {

inline bool IsLead(unsigned char b) { return b >= 0x81 && b <= 0xFE; }
inline bool IsDigit(unsigned char b) { return b >= '0' && b <= '9'; }

// Index 0..62 of a half-width katakana (84 31 95..9B digit), -1 otherwise.
int KatakanaIndex(const unsigned char* p) {
  if (p[0] != 0x84 || p[1] != 0x31 || p[2] < 0x95 || p[2] > 0x9B) return -1;
  const int index = MULTIP_10[p[2] - 0x95] + p[3] - '7';
  return index >= 0 && index < 63 ? index : -1;
}

// zhuoyin of a kana trail, 0 outside the table.
int Voicing(unsigned char trail) {
  const int i = trail - 0xAB;
  return i >= 0 && i < 49 ? zhuoyin[i] : 0;
}

}  // namespace

int ul_gb_jm_bj2qj(const char* in, char* out, unsigned int outsize) {
  if (in == nullptr || out == nullptr || strlen(in) >= outsize) {
    ul_writelog(UL_LOG_WARNING, "ul_gb_jm_bj2qj parameter error!");
    return -1;
  }
  const unsigned char* p = reinterpret_cast<const unsigned char*>(in);
  unsigned char* o = reinterpret_cast<unsigned char*>(out);
  size_t w = 0;
  int last_len = 0;  // output bytes of the last converted four-byte code
  while (*p != 0) {
    if (*p < 0x80) {
      o[w++] = *p++;
      continue;
    }
    if (IsLead(p[0]) && p[1] >= 0x40 && p[1] <= 0xFE && p[1] != 0x7F) {
      o[w++] = *p++;
      o[w++] = *p++;
      continue;
    }
    if (IsLead(p[0]) && IsDigit(p[1]) && IsLead(p[2]) && IsDigit(p[3])) {
      const bool voiced = memcmp(p, "\x84\x31\x9B\x38", 4) == 0;
      const bool semi = memcmp(p, "\x84\x31\x9B\x39", 4) == 0;
      if ((voiced || semi) && last_len == 2 && w >= 2) {
        unsigned char* prev = o + w - 2;
        const int v = Voicing(prev[1]);
        if (voiced && (prev[0] == 0xA4 || prev[0] == 0xA5) && v > 0) {
          prev[1] = static_cast<unsigned char>(prev[1] + 1);
          p += 4;
          continue;
        }
        if (voiced && prev[0] == 0xA5 && prev[1] == 0xA6) {
          prev[1] = 0xF4;
          p += 4;
          continue;
        }
        if (semi && (prev[0] == 0xA4 || prev[0] == 0xA5) && v == 2) {
          prev[1] = static_cast<unsigned char>(prev[1] + 2);
          p += 4;
          continue;
        }
      }
      const int index = KatakanaIndex(p);
      if (index >= 0 && GB_BJ2QJ[index] != 0) {
        o[w++] = static_cast<unsigned char>(GB_BJ2QJ[index] >> 8);
        o[w++] = static_cast<unsigned char>(GB_BJ2QJ[index] & 0xFF);
        last_len = 2;
      } else if (index >= 0) {
        memcpy(o + w, "\x81\x39\xA7\x39", 4);
        w += 4;
        last_len = 4;
      } else {
        memcpy(o + w, p, 4);
        w += 4;
        last_len = 4;
      }
      p += 4;
      continue;
    }
    // An incomplete character at the end of the text ends the walk.
    if (IsLead(p[0]) && (p[1] == 0 || (IsDigit(p[1]) && (p[2] == 0 || (IsLead(p[2]) && p[3] == 0))))) break;
    o[w++] = *p++;
  }
  o[w] = '\0';
  return static_cast<int>(w);
}
