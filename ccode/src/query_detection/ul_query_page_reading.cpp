// Byte tables of the single-byte code-page readings of a query.
#include "ul_query_page_reading.h"

#include <string.h>

#include "ul_ccode_iconv.h"
#include "ul_ccode_type.h"
#include "ul_gb18030.h"

namespace {

constexpr int kCodes[] = {CODETYPE_ISO_8859_1, CODETYPE_WIN1256, CODETYPE_ISO_8859_6, CODETYPE_WIN874,
                          CODETYPE_TIS620,     CODETYPE_WIN1258};

constexpr int kCodeCount = sizeof(kCodes) / sizeof(kCodes[0]);

int IndexOf(int code) {
  for (int i = 0; i < kCodeCount; ++i) {
    if (kCodes[i] == code) return i;
  }
  return -1;
}

}  // namespace

bool QueryPageReading::Covers(int code) { return IndexOf(code) >= 0; }

bool QueryPageReading::IsAccent(const char* s, size_t n) {
  const unsigned char a = static_cast<unsigned char>(s[0]), b = static_cast<unsigned char>(s[1]);
  return n == 2 && ((a == 0xCC && b >= 0x80 && b <= 0xBF) || (a == 0xCD && b >= 0x80 && b <= 0xAF));
}

bool QueryPageReading::Make(int code) {
  for (int b = 1; b < 256; ++b) {
    const char in[2] = {static_cast<char>(b), '\0'};
    char gb[16], utf8[16];
    const int r = ul_ccode_to_gb18030(in, gb, sizeof(gb), code);
    if (r < 0) return false;
    if (r > 0) continue;  // no reading
    const int u = ul_gb18030_utf8_str(gb, utf8, sizeof(utf8));
    if (u < 0) return false;
    const size_t n = strlen(utf8);
    if (u > 0 || n == 0) continue;
    if (n > sizeof(utf8_[b])) return false;
    if (IsAccent(utf8, n)) {
      len_[b] = kAccent;
      continue;
    }
    len_[b] = static_cast<uint8_t>(n);
    memcpy(utf8_[b], utf8, n);
  }
  return true;
}

const QueryPageReading* QueryPageReading::Of(int code) {
  const int i = IndexOf(code);
  if (i < 0) return nullptr;
  // All made together at the first call; a table a converter refused is
  // never used.
  struct All {
    QueryPageReading table[kCodeCount];
    bool made[kCodeCount];
  };
  static const All all = [] {
    All a;
    for (int k = 0; k < kCodeCount; ++k) a.made[k] = a.table[k].Make(kCodes[k]);
    return a;
  }();
  return all.made[i] ? &all.table[i] : nullptr;
}

int QueryPageReading::Read(const char* text, char* out) const {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  for (; *p != '\0'; ++p) {
    const uint8_t n = len_[*p];
    if (n == 0 || n == kAccent) {
      *out = '\0';
      return n == 0 ? 1 : -1;
    }
    memcpy(out, utf8_[*p], 4);
    out += n;
  }
  *out = '\0';
  return 0;
}
