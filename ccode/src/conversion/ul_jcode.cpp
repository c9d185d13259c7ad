// GB18030 <-> Japanese encodings and UTF-8 through the thread's converters,
// with the vendor rows as fallback.
#include "ul_jcode.h"

#include <string.h>

#include "ul_gb18030_utf8.h"
#include "ul_iconv_loop.h"
#include "ul_jcode_table.h"
#include "ul_log.h"

namespace {

// Converters to GB stop at a blocking byte with fewer than 2 source bytes
// or 4 destination bytes left.
constexpr size_t kToGbMinIn = 2;
constexpr size_t kToGbMinOut = 4;

bool IsSjisPair(unsigned char lead, unsigned char trail) {
  return ((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC)) &&
         ((trail >= 0x40 && trail <= 0x7E) || (trail >= 0x80 && trail <= 0xFC));
}

inline bool IsEucByte(unsigned char b) { return b >= 0xA1 && b <= 0xFE; }

// Writes the n bytes of a vendor character found for the blocking pair and
// skips the pair (not counted), or skips it as two blanks (counted).
int PairFallback(IconvCursor& c, const char* gb, int n) {
  if (n == 0) return c.SkipWithBlanks(2, 2);
  memcpy(c.out, gb, static_cast<size_t>(n));
  c.Advance(2, static_cast<size_t>(n));
  return 0;
}

// From GB: the vendor code of the blocking GB character (written straight
// to the destination, which has room for its 2 bytes), else blanks.
int VendorFallback(IconvCursor& c, int (*code)(const char*, size_t, _gb2jp_t*, char*), _gb2jp_t* gb2jp) {
  const int n = code(c.in, c.inleft, gb2jp, c.out);
  if (n == 0) return GbCharBlanks(c);
  c.Advance(static_cast<size_t>(n), 2);
  return 0;
}

// A converter without a usable descriptor or arguments: -1.
bool Usable(const char* src, const char* dst, int destlen, const void* group, iconv_t cd) {
  return src != nullptr && src[0] != '\0' && dst != nullptr && destlen >= 1 && group != nullptr && IconvIsOpen(cd);
}

template <typename Fallback>
int Convert(iconv_t cd, const char* src, char* dst, int destlen, size_t min_in, size_t min_out, Fallback fallback) {
  IconvOutcome r =
      RunIconvLoop(cd, src, strlen(src), dst, static_cast<size_t>(destlen), min_in, min_out, fallback);
  return r.blanked + static_cast<int>(r.left);
}

_ccode_conv_t* ThreadConv() {
  _ccode_conv_t* conv = get_ccode_conv();
  if (conv == nullptr) ul_writelog(UL_LOG_FATAL, "get ccode conv error!");
  return conv;
}

}  // namespace

int ul_jis_gb_str(const char* src, char* dst, int destlen, _jp2gb_t* jp2gb) {
  if (!Usable(src, dst, destlen, jp2gb, jp2gb ? jp2gb->jis2gb : nullptr)) return -1;
  return Convert(jp2gb->jis2gb, src, dst, destlen, kToGbMinIn, kToGbMinOut, BlankPerByte);
}

int ul_sjis_gb_str(const char* src, char* dst, int destlen, _jp2gb_t* jp2gb) {
  if (!Usable(src, dst, destlen, jp2gb, jp2gb ? jp2gb->sjis2gb : nullptr)) return -1;
  return Convert(jp2gb->sjis2gb, src, dst, destlen, kToGbMinIn, kToGbMinOut, [jp2gb](IconvCursor& c) {
    const unsigned char lead = static_cast<unsigned char>(c.in[0]);
    const unsigned char trail = static_cast<unsigned char>(c.in[1]);
    if (!IsSjisPair(lead, trail)) return BlankPerByte(c);
    char gb[4];
    return PairFallback(c, gb, find_sjis(lead, trail, jp2gb, gb));
  });
}

int ul_eucjp_gb_str(const char* src, char* dst, int destlen, _jp2gb_t* jp2gb) {
  if (!Usable(src, dst, destlen, jp2gb, jp2gb ? jp2gb->eucjp2gb : nullptr)) return -1;
  return Convert(jp2gb->eucjp2gb, src, dst, destlen, kToGbMinIn, kToGbMinOut, [jp2gb](IconvCursor& c) {
    const unsigned char b0 = static_cast<unsigned char>(c.in[0]);
    const unsigned char b1 = static_cast<unsigned char>(c.in[1]);
    if (IsEucByte(b0) && IsEucByte(b1)) {
      char gb[4];
      return PairFallback(c, gb, find_eucjp(b0, b1, jp2gb, gb));
    }
    if (b0 == 0x8F && c.inleft >= 3 && IsEucByte(b1) && IsEucByte(static_cast<unsigned char>(c.in[2]))) {
      return c.SkipWithBlanks(3, 2);
    }
    return BlankPerByte(c);
  });
}

int ul_utf8_gb_str(const char* src, char* dst, int destlen, _jp2gb_t* jp2gb) {
  if (!Usable(src, dst, destlen, jp2gb, jp2gb ? jp2gb->utf82gb : nullptr)) return -1;
  return Convert(jp2gb->utf82gb, src, dst, destlen, kToGbMinIn, kToGbMinOut, Utf8SequenceBlanks);
}

int ul_gb_jis_str(const char* src, char* dst, int destlen, _gb2jp_t* gb2jp) {
  if (!Usable(src, dst, destlen, gb2jp, gb2jp ? gb2jp->gb2jis : nullptr)) return -1;
  return Convert(gb2jp->gb2jis, src, dst, destlen, 0, 2, GbCharBlanks);
}

int ul_gb_sjis_str(const char* src, char* dst, int destlen, _gb2jp_t* gb2jp) {
  if (!Usable(src, dst, destlen, gb2jp, gb2jp ? gb2jp->gb2sjis : nullptr)) return -1;
  return Convert(gb2jp->gb2sjis, src, dst, destlen, 0, 2,
                 [gb2jp](IconvCursor& c) { return VendorFallback(c, get_sjis4gb, gb2jp); });
}

int ul_gb_eucjp_str(const char* src, char* dst, int destlen, _gb2jp_t* gb2jp) {
  if (!Usable(src, dst, destlen, gb2jp, gb2jp ? gb2jp->gb2eucjp : nullptr)) return -1;
  return Convert(gb2jp->gb2eucjp, src, dst, destlen, 0, 3,
                 [gb2jp](IconvCursor& c) { return VendorFallback(c, get_eucjp4gb, gb2jp); });
}

int ul_gb_utf8_str(const char* src, char* dst, int destlen, _gb2jp_t* gb2jp) {
  if (!Usable(src, dst, destlen, gb2jp, gb2jp ? gb2jp->gb2utf8 : nullptr)) return -1;
  // Through the compiled-in tables, which give the converter's characters.
  return ccode_gb18030_to_utf8(src, strlen(src), dst, static_cast<size_t>(destlen) - 1);
}

#define UL_JCODE_THREAD_FORM(name, group)                     \
  int name(const char* src, char* dst, int destlen) {         \
    _ccode_conv_t* conv = ThreadConv();                       \
    return conv == nullptr ? -1 : name(src, dst, destlen, &conv->group); \
  }

UL_JCODE_THREAD_FORM(ul_jis_gb_str, jp2gb)
UL_JCODE_THREAD_FORM(ul_sjis_gb_str, jp2gb)
UL_JCODE_THREAD_FORM(ul_eucjp_gb_str, jp2gb)
UL_JCODE_THREAD_FORM(ul_utf8_gb_str, jp2gb)
UL_JCODE_THREAD_FORM(ul_gb_jis_str, gb2jp)
UL_JCODE_THREAD_FORM(ul_gb_sjis_str, gb2jp)
UL_JCODE_THREAD_FORM(ul_gb_eucjp_str, gb2jp)
UL_JCODE_THREAD_FORM(ul_gb_utf8_str, gb2jp)

#undef UL_JCODE_THREAD_FORM
