// Character lengths by code type.
#include "ul_ccode_next.h"

#include <stddef.h>
#include <stdint.h>

#include "ul_ccode_type.h"

namespace {

// The text at a position, read through a bound: bytes at or beyond avail
// read as NUL, which no multi-byte rule accepts as a trail. ul_ccode_next has
// no bound (SIZE_MAX); its rules never read past a NUL.
class Bytes {
 public:
  Bytes(const char* s, size_t avail) : s_(reinterpret_cast<const unsigned char*>(s)), avail_(avail) {}
  unsigned operator[](size_t i) const { return i < avail_ ? s_[i] : 0u; }

 private:
  const unsigned char* s_;
  size_t avail_;
};

inline bool In(unsigned b, unsigned lo, unsigned hi) { return b >= lo && b <= hi; }
inline bool Cont(unsigned b) { return In(b, 0x80, 0xBF); }

int StepGbk(const Bytes& b) {
  if (b[0] < 0x80) return 1;
  if (In(b[0], 0x81, 0xFE) && In(b[1], 0x40, 0xFE) && b[1] != 0x7F) return 2;
  return 0;
}

int StepGb18030(const Bytes& b) {
  if (int n = StepGbk(b)) return n;
  if (In(b[0], 0x81, 0xFE) && In(b[1], '0', '9') && In(b[2], 0x81, 0xFE) && In(b[3], '0', '9')) return 4;
  return 0;
}

int StepUtf8(const Bytes& b) {
  unsigned b0 = b[0];
  if (b0 < 0x80) return 1;
  if (In(b0, 0xC2, 0xDF)) return Cont(b[1]) ? 2 : 0;
  if (In(b0, 0xE0, 0xEF)) {
    if (!Cont(b[1]) || (b0 == 0xE0 && b[1] < 0xA0)) return 0;
    return Cont(b[2]) ? 3 : 0;
  }
  if (In(b0, 0xF0, 0xF4)) {
    if (!Cont(b[1]) || (b0 == 0xF0 && b[1] < 0x90)) return 0;
    return Cont(b[2]) && Cont(b[3]) ? 4 : 0;
  }
  return 0;
}

int StepBig5(const Bytes& b) {
  if (b[0] < 0x80) return 1;
  if (In(b[0], 0x81, 0xFE) && (In(b[1], 0x40, 0x7E) || In(b[1], 0xA1, 0xFE))) {
    return b[0] == 0xA3 && b[1] >= 0xC0 ? 0 : 2;
  }
  return 0;
}

int StepSjis(const Bytes& b) {
  unsigned b0 = b[0];
  if (b0 < 0x80 || In(b0, 0xA1, 0xDF)) return 1;
  if ((In(b0, 0x81, 0x9F) || In(b0, 0xE0, 0xEF)) && (In(b[1], 0x40, 0x7E) || In(b[1], 0x80, 0xFC))) return 2;
  return 0;
}

int StepEucjp(const Bytes& b) {
  unsigned b0 = b[0];
  if (b0 < 0x80) return 1;
  if (b0 == 0x8E) return In(b[1], 0xA1, 0xDF) ? 2 : 0;
  if (In(b0, 0xA1, 0xFE)) return In(b[1], 0xA1, 0xFE) ? 2 : 0;
  if (b0 == 0x8F) return In(b[1], 0xA1, 0xFE) && In(b[2], 0xA1, 0xFE) ? 3 : 0;
  return 0;
}

int StepEuckr(const Bytes& b) {
  if (b[0] < 0x80) return 1;
  return In(b[0], 0xA1, 0xFE) && In(b[1], 0xA1, 0xFE) ? 2 : 0;
}

// Single-byte pages: 1 when the byte b0 is a character of the page.
bool SingleByte(int codetype, unsigned b0, bool bounded) {
  const bool printable = In(b0, 0x20, 0x7E);
  switch (codetype) {
    case CODETYPE_ISO_8859_1:
    case CODETYPE_ISO_8859_9:
      return bounded ? printable || b0 >= 0xA0 : b0 <= 0x80 || b0 >= 0xA0;
    case CODETYPE_WIN1254:
      return b0 <= 0x80 || In(b0, 0x82, 0x8C) || In(b0, 0x91, 0x9C) || b0 >= 0x9F;
    case CODETYPE_IBM857:
      if (printable) return true;
      return bounded ? In(b0, 0x80, 0xFE) && b0 != 0xF0 : In(b0, 0x80, 0xFE) && b0 != 0xE7 && b0 != 0xF2;
    case CODETYPE_MACTURKISH:
    case CODETYPE_WIN1256:
    case CODETYPE_VISCII:
      return true;
    case CODETYPE_ISO_8859_3:
      return printable || (b0 >= 0xA0 && b0 != 0xA5 && b0 != 0xAE && b0 != 0xBE && b0 != 0xC3 && b0 != 0xD0 &&
                           b0 != 0xE3 && b0 != 0xF0);
    case CODETYPE_ISO_8859_6:
      return printable || b0 == 0xA0 || b0 == 0xA4 || b0 == 0xAC || b0 == 0xAD || b0 == 0xBB || b0 == 0xBF ||
             In(b0, 0xC1, 0xDA) || In(b0, 0xE0, 0xF2);
    case CODETYPE_ISO_8859_11:
      return printable || In(b0, 0xA0, 0xDA) || In(b0, 0xDF, 0xFB);
    case CODETYPE_WIN874:
      return b0 <= 0x80 || b0 == 0x85 || In(b0, 0x91, 0x97) || In(b0, 0xA0, 0xDA) || In(b0, 0xDF, 0xFB);
    case CODETYPE_TIS620:
      return printable || In(b0, 0xA1, 0xDA) || In(b0, 0xDF, 0xFB);
    case CODETYPE_WIN1258:
      return b0 <= 0x80 || In(b0, 0x82, 0x89) || b0 == 0x8B || b0 == 0x8C || In(b0, 0x91, 0x99) || b0 == 0x9B ||
             b0 == 0x9C || b0 >= 0x9F;
    case CODETYPE_WIN1251:
      return b0 != 0x98;
    case CODETYPE_ISO_8859_7:
      return printable || (In(b0, 0xA0, 0xFE) && b0 != 0xAE && b0 != 0xD2);
    case CODETYPE_WIN1255:
      return b0 <= 0x80 || In(b0, 0x82, 0x89) || b0 == 0x8B || In(b0, 0x91, 0x99) || b0 == 0x9B ||
             (In(b0, 0xA0, 0xD8) && b0 != 0xCA) || In(b0, 0xE0, 0xFA) || b0 == 0xFD || b0 == 0xFE;
    default:
      return false;
  }
}

int Step(const Bytes& b, int codetype, bool bounded) {
  switch (codetype) {
    case CODETYPE_GB:
      return StepGb18030(b);
    case CODETYPE_GBK:
      return StepGbk(b);
    case CODETYPE_BIG5:
      return StepBig5(b);
    case CODETYPE_UTF8:
      return StepUtf8(b);
    case CODETYPE_SJIS:
      return StepSjis(b);
    case CODETYPE_EUCJP:
      return StepEucjp(b);
    case CODETYPE_EUCKR:
      return StepEuckr(b);
    case CODETYPE_JIS:
    case CODETYPE_ASCII:
      return b[0] < 0x80 ? 1 : 0;
    case CODETYPE_UCS2:
    case CODETYPE_UTF16LE:
    case CODETYPE_UTF16BE:
      return 2;
    case CODETYPE_UTF32LE:
    case CODETYPE_UTF32BE:
      return 4;
    default:
      return SingleByte(codetype, b[0], bounded) ? 1 : 0;
  }
}

int StepN(const char* str, int sz, int codetype) {
  if (str == nullptr || sz < 1 || codetype < 0 || codetype >= CODETYPE_END) return 0;
  int n = Step(Bytes(str, static_cast<size_t>(sz)), codetype, true);
  return n <= sz ? n : 0;
}

}  // namespace

int ul_ccode_next(const char* str, int codetype) {
  if (str == nullptr) return 0;
  return Step(Bytes(str, SIZE_MAX), codetype, false);
}

int ul_ccode_nextn(const char* str, int sz, int codetype) { return StepN(str, sz, codetype); }

int ul_ccode_next_gbk(const char* str) { return str == nullptr ? 0 : StepGbk(Bytes(str, SIZE_MAX)); }
int ul_ccode_next_gb18030(const char* str) { return str == nullptr ? 0 : StepGb18030(Bytes(str, SIZE_MAX)); }
int ul_ccode_next_utf8(const char* str) { return str == nullptr ? 0 : StepUtf8(Bytes(str, SIZE_MAX)); }
int ul_ccode_nextn_ascii(const char* str, int sz) { return StepN(str, sz, CODETYPE_ASCII); }
int ul_ccode_nextn_gbk(const char* str, int sz) { return StepN(str, sz, CODETYPE_GBK); }
int ul_ccode_nextn_utf8(const char* str, int sz) { return StepN(str, sz, CODETYPE_UTF8); }
int ul_ccode_nextn_gb18030(const char* str, int sz) { return StepN(str, sz, CODETYPE_GB); }

unsigned int get_uint(const char* bytes, int charlen) {
  unsigned int v = 0;
  for (int i = 0; bytes != nullptr && i < charlen; ++i) v = (v << 8) | static_cast<unsigned char>(bytes[i]);
  return v;
}

unsigned int get_unicode(const char* bytes) {
  const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes);
  return ((b[0] << 12) & 0xFFFFu) | (b[1] & 0x3Fu) << 6 | (b[2] & 0x3Fu);
}

int get_exact_len(const char* str, int n) {
  int i = 0;
  while (str != nullptr && i < n && str[i] != '\0') ++i;
  return i;
}
