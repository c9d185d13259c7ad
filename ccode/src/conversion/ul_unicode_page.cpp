// Decoding of a UTF-16 or UTF-32 page (recognised by its byte-order mark)
// into UTF-8.
#include <stdint.h>

#include "ul_ccode_type.h"
#include "ul_ccode_unicode.h"
#include "ul_gb18030.h"
#include "ul_log.h"

int ul_ccode_unicode_page(const char* in, int inlen, char* out, int& outsize) {
  if (in == nullptr || out == nullptr || outsize < 1 || inlen < 0) {
    ul_writelog(UL_LOG_FATAL, "invalid param in %s!", "ul_ccode_unicode_page");
    return -2;
  }
  out[0] = '\0';
  if (inlen < 2) return -2;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(in);
  int type, unit, skip;
  bool big_endian;
  if (inlen >= 4 && s[0] == 0x00 && s[1] == 0x00 && s[2] == 0xFE && s[3] == 0xFF) {
    type = CODETYPE_UTF32BE, unit = 4, skip = 4, big_endian = true;
  } else if (inlen >= 4 && s[0] == 0xFF && s[1] == 0xFE && s[2] == 0x00 && s[3] == 0x00) {
    type = CODETYPE_UTF32LE, unit = 4, skip = 4, big_endian = false;
  } else if (s[0] == 0xFF && s[1] == 0xFE) {
    type = CODETYPE_UTF16LE, unit = 2, skip = 2, big_endian = false;
  } else if (s[0] == 0xFE && s[1] == 0xFF) {
    type = CODETYPE_UTF16BE, unit = 2, skip = 2, big_endian = true;
  } else {
    return -2;
  }
  if ((inlen - skip) % unit != 0) return -2;
  const int size = outsize;
  int w = 0;
  for (int i = skip; i < inlen; i += unit) {
    uint32_t cp = 0;
    for (int k = 0; k < unit; ++k) {
      const uint32_t b = s[i + (big_endian ? k : unit - 1 - k)];
      cp = (cp << 8) | b;
    }
    const int n = ul_ccode_unicode_to_utf8(cp, out + w, outsize);
    if (n < 0) {
      out[0] = '\0';
      outsize = size;
      return -2;
    }
    w += n;
    outsize -= n;
  }
  out[w] = '\0';
  return type;
}
