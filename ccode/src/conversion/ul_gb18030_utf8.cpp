// GB18030 <-> UTF-8: to UTF-8 through the compiled-in tables (the same
// characters as the platform's converter), to GB18030 through the converter.
#include "ul_gb18030_utf8.h"

#include <iconv.h>
#include <string.h>

#include "ul_ccode_conv.h"
#include "ul_gb18030.h"
#include "ul_gb18030_table.h"
#include "ul_gbk_table.h"
#include "ul_iconv_loop.h"
#include "ul_log.h"

namespace {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "cells are stored as little-endian words");

// Bytes of the UTF-8 sequence a lead byte of two or more bytes starts.
inline size_t Utf8LeadLength(uint32_t lead) { return 2 + (lead >= 0xE0) + (lead >= 0xF0); }

// The UTF-8 of a code point from U+0080 on, 2 to 4 bytes in memory order
// in a little-endian word (unused bytes 0).
inline uint32_t Utf8Word(uint32_t cp) {
  if (cp < 0x800) return (0xC0 | cp >> 6) | (0x80 | (cp & 0x3F)) << 8;
  if (cp < 0x10000) return (0xE0 | cp >> 12) | (0x80 | (cp >> 6 & 0x3F)) << 8 | (0x80 | (cp & 0x3F)) << 16;
  return (0xF0 | cp >> 18) | (0x80 | (cp >> 12 & 0x3F)) << 8 | (0x80 | (cp >> 6 & 0x3F)) << 16 |
         (0x80u | (cp & 0x3F)) << 24;
}

// Four-byte codes in blocks of 128 linear indices, for finding a code's run.
constexpr int kFourBlockShift = 7;

// Built on first use from the generated tables.
struct Gb18030Tables {
  // The UTF-8 word (Utf8Word) of every two-byte code, by (lead - 0x80) << 8
  // | trail; 0 for a byte pair that is no two-byte code (lead 0x80 or 0xFF,
  // or a trail out of 0x40..0xFE or 0x7F): the GBK table with the codes
  // where GB18030 differs from it.
  uint32_t cell[128 << 8];
  // The run holding the first index of each block of four-byte codes.
  static constexpr uint32_t kBlocks = ((kGb18030FourCodes - 1) >> kFourBlockShift) + 1;
  static_assert(kBlocks << kFourBlockShift >= kGb18030FourCodes, "a block for every four-byte code");
  uint16_t run_of_block[kBlocks];
  const Gb18030Run* last_run;

  Gb18030Tables() : cell(), run_of_block(), last_run(kGb18030FourRuns + kGb18030FourRunCount - 1) {
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
      for (int trail = 0x40; trail <= 0xFE; ++trail) {
        if (trail == 0x7F) continue;
        cell[(lead - 0x80) << 8 | trail] = Utf8Word(ObvLookup(static_cast<uint16_t>(lead | trail << 8)));
      }
    }
    for (size_t i = 0; i < kGb18030PairOverrideCount; ++i) {
      const Gb18030Pair& p = kGb18030PairOverrides[i];
      cell[((p.code >> 8) - 0x80) << 8 | (p.code & 0xFF)] = Utf8Word(p.point);
    }
    size_t run = 0;
    for (uint32_t block = 0; block < kBlocks; ++block) {
      while (run + 1 < kGb18030FourRunCount && kGb18030FourRuns[run + 1].first <= block << kFourBlockShift) ++run;
      run_of_block[block] = static_cast<uint16_t>(run);
    }
  }

  // The code point of the four-byte code at p (4 bytes readable), or
  // kGb18030NoCode when the bytes are no four-byte code or it has no
  // character.
  uint32_t FourBytePoint(const unsigned char* p) const {
    const unsigned d1 = p[1] - 0x30u, d3 = p[3] - 0x30u;
    if (p[0] < 0x81 || p[0] > 0xFE || d1 > 9 || p[2] < 0x81 || p[2] > 0xFE || d3 > 9) return kGb18030NoCode;
    const uint32_t index = ((p[0] - 0x81u) * 10 + d1) * 1260 + (p[2] - 0x81u) * 10 + d3;
    const Gb18030Run* r = kGb18030FourRuns + run_of_block[index >> kFourBlockShift];
    while (r != last_run && r[1].first <= index) ++r;
    return r->base == kGb18030NoCode ? kGb18030NoCode : r->base + (index - r->first);
  }
};

const Gb18030Tables& Tables() {
  static const Gb18030Tables tables;
  return tables;
}

// Converts the one character at p (left > 0 bytes) into at most free bytes
// at d exactly, writing no byte past its own, and sets *used and *written.
// The source bytes skipped (0 for a converted character), or -1 when the
// conversion stops there: the character does not fit, or it is no character
// the tables know and fewer than 3 bytes are free. Such bytes are skipped
// with the bytes of the character they appear to start (GbCharBlanks).
__attribute__((noinline)) int ConvertOne(const Gb18030Tables& t, const unsigned char* p, size_t left,
                                         unsigned char* d, size_t free, size_t* used, size_t* written) {
  if (p[0] < 0x80) {
    if (free < 1) return -1;
    d[0] = p[0];
    *used = *written = 1;
    return 0;
  }
  uint32_t word = left >= 2 ? t.cell[(p[0] - 0x80) << 8 | p[1]] : 0;
  *used = 2;
  if (word == 0 && left >= 4) {
    const uint32_t point = t.FourBytePoint(p);
    if (point != kGb18030NoCode) word = Utf8Word(point);
    *used = 4;
  }
  if (word != 0) {
    const size_t n = Utf8LeadLength(word & 0xFF);
    if (n > free) return -1;
    memcpy(d, &word, n);
    *written = n;
    return 0;
  }
  if (free < 3) return -1;
  IconvCursor c{reinterpret_cast<char*>(const_cast<unsigned char*>(p)), left, reinterpret_cast<char*>(d), free};
  const int skipped = GbCharBlanks(c);
  *used = left - c.inleft;
  *written = free - c.outleft;
  return skipped;
}

// ccode_gb18030_to_utf8, character by character as ConvertOne does. Where
// 8 source bytes and 8 destination bytes are left, ASCII goes 8 bytes at a time and a character's UTF-8 word
// is stored whole (bytes past the character are overwritten by the next one
// or lie after the terminator).
int Gb18030ToUtf8(const unsigned char* src, size_t len, unsigned char* dst, size_t room) {
  const Gb18030Tables& t = Tables();
  const unsigned char* p = src;
  const unsigned char* const end = src + len;
  unsigned char* d = dst;
  unsigned char* const dend = dst + room;
  int blanked = 0;
  for (;;) {
    while (end - p >= 8 && dend - d >= 8) {
      const unsigned char b0 = p[0];
      if (b0 < 0x80) {
        // Keep the ASCII bytes before the first that is not.
        uint64_t v;
        memcpy(&v, p, 8);
        memcpy(d, &v, 8);
        const uint64_t high = v & 0x8080808080808080ULL;
        const size_t n = high == 0 ? 8 : static_cast<size_t>(__builtin_ctzll(high)) >> 3;
        p += n;
        d += n;
        continue;
      }
      uint32_t word = t.cell[(b0 - 0x80) << 8 | p[1]];
      if (word != 0) {
        p += 2;
      } else {
        const uint32_t point = t.FourBytePoint(p);
        if (point == kGb18030NoCode) break;
        word = Utf8Word(point);
        p += 4;
      }
      memcpy(d, &word, 4);
      d += Utf8LeadLength(word & 0xFF);
    }
    if (p == end) break;
    size_t used = 0, written = 0;
    const int skipped =
        ConvertOne(t, p, static_cast<size_t>(end - p), d, static_cast<size_t>(dend - d), &used, &written);
    if (skipped < 0) break;
    blanked += skipped;
    p += used;
    d += written;
  }
  *d = '\0';
  return blanked + static_cast<int>(end - p);
}

const iconv_t kClosed = reinterpret_cast<iconv_t>(-1);

// Checks the arguments shared by both directions (logged when bad).
bool ValidArgs(const char* src, const char* dst, int dstsize, void** descriptor, const char* name) {
  if (src == nullptr || dst == nullptr || dstsize < 1 || descriptor == nullptr ||
      !IconvIsOpen(static_cast<iconv_t>(*descriptor))) {
    ul_writelog(UL_LOG_FATAL, "invalid parameter in function '%s'.\n", name);
    return false;
  }
  return true;
}

}  // namespace

int ccode_gb18030_to_utf8(const char* src, size_t len, char* dst, size_t room) {
  return Gb18030ToUtf8(reinterpret_cast<const unsigned char*>(src), len, reinterpret_cast<unsigned char*>(dst), room);
}

int ul_gb18030_utf8_open(void** to_utf8, void** to_gb) {
  if (to_utf8 != nullptr) *to_utf8 = kClosed;
  if (to_gb != nullptr) *to_gb = kClosed;
  iconv_t a = to_utf8 == nullptr ? kClosed : iconv_open("UTF-8", "GB18030");
  iconv_t b = to_gb == nullptr ? kClosed : iconv_open("GB18030", "UTF-8");
  if ((to_utf8 != nullptr && a == kClosed) || (to_gb != nullptr && b == kClosed)) {
    ul_writelog(UL_LOG_FATAL, "gb18030_utf8 iconv open error!\n");
    if (a != kClosed) iconv_close(a);
    if (b != kClosed) iconv_close(b);
    return -1;
  }
  if (to_utf8 != nullptr) *to_utf8 = a;
  if (to_gb != nullptr) *to_gb = b;
  return 0;
}

int ul_gb18030_utf8_close(void** to_utf8, void** to_gb) {
  for (void** d : {to_utf8, to_gb}) {
    if (d != nullptr && *d != kClosed && *d != nullptr) iconv_close(static_cast<iconv_t>(*d));
    if (d != nullptr) *d = kClosed;
  }
  return 0;
}

int ul_gb18030_utf8_str(const char* src, char* dst, int dstsize, void** descriptor) {
  if (!ValidArgs(src, dst, dstsize, descriptor, "ul_gb18030_utf8_str")) return -1;
  if (src[0] == '\0') return -1;
  return ccode_gb18030_to_utf8(src, strlen(src), dst, static_cast<size_t>(dstsize) - 1);
}

int ul_utf8_gb18030_str(const char* src, char* dst, int dstsize, void** descriptor) {
  if (!ValidArgs(src, dst, dstsize, descriptor, "ul_utf8_gb18030_str")) return -1;
  if (src[0] == '\0') return -1;
  IconvOutcome r = RunIconvLoop(static_cast<iconv_t>(*descriptor), src, strlen(src), dst, static_cast<size_t>(dstsize),
                                2, 4, Utf8SequenceBlanks);
  return r.blanked + static_cast<int>(r.left);
}

int ul_gb18030_utf8_str(const char* src, char* dst, int dstsize) {
  _ccode_conv_t* conv = get_ccode_conv();
  if (conv == nullptr) {
    ul_writelog(UL_LOG_FATAL, "get ccode conv error!");
    return -1;
  }
  void* cd = conv->gb2jp.gb2utf8;
  return ul_gb18030_utf8_str(src, dst, dstsize, &cd);
}

int ul_utf8_gb18030_str(const char* src, char* dst, int dstsize) {
  _ccode_conv_t* conv = get_ccode_conv();
  if (conv == nullptr) {
    ul_writelog(UL_LOG_FATAL, "get ccode conv error!");
    return -1;
  }
  void* cd = conv->jp2gb.utf82gb;
  return ul_utf8_gb18030_str(src, dst, dstsize, &cd);
}
