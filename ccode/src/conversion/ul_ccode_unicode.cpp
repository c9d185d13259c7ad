// Code point to UTF-8, up to six bytes.
#include "ul_ccode_unicode.h"

#include "ul_log.h"
#include "ul_utf8_encode.h"

int ccode_utf8_length(unsigned int unicode) {
  if (unicode < 0x80) return 1;
  if (unicode < 0x800) return 2;
  if (unicode < 0x10000) return 3;
  if (unicode < 0x200000) return 4;
  if (unicode < 0x4000000) return 5;
  if (unicode < 0x80000000u) return 6;
  return 0;
}

void ccode_put_utf8(unsigned int unicode, char* out) {
  static const unsigned char kLead[7] = {0, 0x00, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};
  const int n = ccode_utf8_length(unicode);
  for (int i = n - 1; i > 0; --i) {
    out[i] = static_cast<char>(0x80 | (unicode & 0x3F));
    unicode >>= 6;
  }
  if (n > 0) out[0] = static_cast<char>(kLead[n] | unicode);
}

int ul_ccode_unicode_to_utf8(unsigned int unicode, char* buffer, int buf_size) {
  if (buffer == nullptr || buf_size <= 0) {
    ul_writelog(UL_LOG_WARNING, "invalid parm  in %s", "ul_ccode_unicode_to_utf8");
    return -1;
  }
  const int n = ccode_utf8_length(unicode);
  if (buf_size < n + 1) {
    ul_writelog(UL_LOG_WARNING, "buf_size is too small  in %s", "ul_ccode_unicode_to_utf8");
    return -1;
  }
  ccode_put_utf8(unicode, buffer);
  buffer[n] = '\0';
  return n;
}
