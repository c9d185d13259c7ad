// Query text utilities: code point to UTF-8, Vietnamese letter conversions
// and the Chinese-query test.
#include "ul_ccode_queryutil.h"

#include <string.h>

#include "ul_langfeature.h"
#include "ul_log.h"

namespace {

// The packed value of the len bytes at p.
unsigned int Pack(const unsigned char* p, int len) {
  unsigned int v = 0;
  for (int i = 0; i < len; ++i) v = (v << 8) | p[i];
  return v;
}

// Converts in through the table pair from -> to (n entries each).
int ConvertLetters(unsigned char* out, int outlen, const unsigned char* in, const unsigned int* from,
                   const unsigned int* to, int n, const char* name) {
  if (out == nullptr || in == nullptr || outlen < 1) {
    ul_writelog(UL_LOG_FATAL, "invalid param in %s", name);
    return -1;
  }
  int written = 0;
  int result = 1;
  while (*in != '\0') {
    const int len = ul_ccode_isutf8(const_cast<unsigned char*>(in), false);
    if (len < 1) {
      result = 0;
      break;
    }
    unsigned char bytes[4];
    int outbytes = len;
    const unsigned int packed = len <= 4 ? Pack(in, len) : 0;
    const unsigned char* src = in;
    for (int i = 0; len <= 4 && i < n; ++i) {
      if (from[i] != packed) continue;
      outbytes = uint2hexstr(to[i], bytes);
      src = bytes;
      break;
    }
    const int room = outlen - written;
    if (room <= 1 || outbytes >= room) break;
    memcpy(out + written, src, static_cast<size_t>(outbytes));
    written += outbytes;
    in += len;
  }
  out[written] = '\0';
  return result;
}

}  // namespace

int ul_ccode_unicodetoutf8(unsigned int unicode, unsigned char* out, unsigned int* packed) {
  if (out == nullptr && packed == nullptr) {
    ul_writelog(UL_LOG_WARNING, "invalid parameter in ul_ccode_unicodetoutf8");
    return 0;
  }
  if (unicode >= 0x80000000u) {
    ul_writelog(UL_LOG_WARNING, "unicode:%d is too large(no more than 0x7FFFFFFF) in ul_ccode_unicodetoutf8",
                static_cast<int>(unicode));
    return 0;
  }
  unsigned char b[6];
  int n;
  if (unicode < 0x80) {
    b[0] = static_cast<unsigned char>(unicode);
    n = 1;
  } else {
    // Lead byte marks and payload bits of the lead for 2..6 bytes.
    static const unsigned int kLimits[] = {0x800, 0x10000, 0x200000, 0x4000000, 0x80000000u};
    static const unsigned char kMarks[] = {0xC0, 0xE0, 0xF0, 0xF8, 0xFC};
    int k = 0;
    while (unicode >= kLimits[k]) ++k;
    n = k + 2;
    unsigned int v = unicode;
    for (int i = n - 1; i > 0; --i) {
      b[i] = static_cast<unsigned char>(0x80 | (v & 0x3F));
      v >>= 6;
    }
    b[0] = static_cast<unsigned char>(kMarks[k] | v);
  }
  if (out != nullptr) {
    if (unicode == 0) n = 0;
    memcpy(out, b, static_cast<size_t>(n));
    out[n] = '\0';
  }
  if (packed != nullptr) *packed = Pack(b, unicode == 0 ? 1 : n);
  return 1;
}

int ul_ccode_vilow2capital(unsigned char* out, int outlen, unsigned char* in) {
  return ConvertLetters(out, outlen, in, vn_lowutf8, vn_capitalutf8, vn_LowCapital_utf8_num,
                        "ul_ccode_vilow2capital");
}

int ul_ccode_vicaital2low(unsigned char* out, int outlen, unsigned char* in) {
  return ConvertLetters(out, outlen, in, vn_capitalutf8, vn_lowutf8, vn_LowCapital_utf8_num,
                        "ul_ccode_vicaital2low");
}

int ul_ccode_vitone2notone(unsigned char* out, int outlen, unsigned char* in) {
  return ConvertLetters(out, outlen, in, vn_tone_utf8, vn_notone_utf8, vn_ToneNoTone_Utf8_num,
                        "ul_ccode_vitone2notone");
}

int enc_get_utf8_size(char first) {
  unsigned char c = static_cast<unsigned char>(first);
  int n = 0;
  while (c & 0x80) {
    ++n;
    c = static_cast<unsigned char>(c << 1);
  }
  return n;
}

int enc_utf8_to_unicode_one(const char* in, char* out) {
  const int n = enc_get_utf8_size(in[0]);
  if (n == 1 || n > 6) return -1;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(in);
  unsigned int cp;
  if (n == 0) {
    cp = p[0];
  } else {
    cp = p[0] & (0x7Fu >> n);
    for (int i = 1; i < n; ++i) {
      if (p[i] == '\0') return -1;  // cut off by the end of the text
      cp = (cp << 6) | (p[i] & 0x3Fu);
    }
  }
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((cp >> (8 * i)) & 0xFF);
  return n == 0 ? 1 : n;
}

bool is_chinese_query(const char* text) {
  if (text == nullptr || text[0] == '\0') return false;
  long chars = 0, chinese = 0;
  const char* p = text;
  while (*p != '\0') {
    const int n = enc_get_utf8_size(*p);
    if (n == 1 || n > 6) return false;
    if (n > 1 && memchr(p + 1, '\0', static_cast<size_t>(n - 1)) != nullptr) break;  // cut off
    char cp[4];
    const int len = enc_utf8_to_unicode_one(p, cp);
    if (len < 1) return false;
    const unsigned int u = static_cast<unsigned char>(cp[0]) | static_cast<unsigned char>(cp[1]) << 8 |
                           static_cast<unsigned int>(static_cast<unsigned char>(cp[2])) << 16;
    ++chars;
    if (u >= 0x4E00 && u <= 0x9FFF) ++chinese;
    p += len;
  }
  if (chars == 0) return false;
  return static_cast<double>(chinese) / static_cast<double>(chars) >= 0.5;
}
