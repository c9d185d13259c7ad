// The loop every converter-based conversion of the library runs: let the
// platform's converter convert as much as it can, and hand the bytes that
// block it to the conversion's own fallback (blanks, or a table of its own)
// until the source is done or the destination is nearly full.
#ifndef CCODE_SRC_UL_ICONV_LOOP_H_
#define CCODE_SRC_UL_ICONV_LOOP_H_

#include <errno.h>
#include <iconv.h>
#include <stddef.h>

// Where a conversion stands: the unread source and the free destination.
struct IconvCursor {
  char* in;
  size_t inleft;
  char* out;
  size_t outleft;

  // Moves past n source bytes and written destination bytes.
  void Advance(size_t n, size_t written) {
    in += n;
    inleft -= n;
    out += written;
    outleft -= written;
  }

  // Skips n source bytes and writes blanks blanks; the count of skipped
  // bytes, which the loop adds to the bytes not converted.
  int SkipWithBlanks(size_t n, size_t blanks) {
    for (size_t i = 0; i < blanks; ++i) out[i] = ' ';
    Advance(n, blanks);
    return static_cast<int>(n);
  }
};

// The outcome of a loop: source bytes replaced by blanks, and source bytes
// left over when the loop stopped early.
struct IconvOutcome {
  int blanked;
  size_t left;
};

inline bool IconvIsOpen(iconv_t cd) { return cd != reinterpret_cast<iconv_t>(-1) && cd != nullptr; }

// Converts srclen bytes of src into dst, keeping one byte of dstsize for the
// NUL it always writes (dstsize >= 1). The loop stops when the source is
// done; when the destination is full (the converter has no room for the
// next character: it stops there rather than break that character); or
// when fewer than min_in source bytes or min_out destination bytes are left
// at a blocking byte. Otherwise fallback(IconvCursor&) deals with the
// blocking bytes (it may rely on min_out bytes of room) and returns the
// source bytes it replaced by blanks (0 for bytes it converted itself).
// The converter's shift state is reset before and after; a held-back last
// character is flushed when there is room.
template <typename Fallback>
IconvOutcome RunIconvLoop(iconv_t cd, const char* src, size_t srclen, char* dst, size_t dstsize, size_t min_in,
                          size_t min_out, Fallback fallback) {
  IconvCursor c{const_cast<char*>(src), srclen, dst, dstsize - 1};
  IconvOutcome result{0, 0};
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  while (c.inleft > 0) {
    iconv(cd, &c.in, &c.inleft, &c.out, &c.outleft);
    if (c.inleft == 0) break;
    if (errno == E2BIG || c.inleft < min_in || c.outleft < min_out) {
      result.left = c.inleft;
      break;
    }
    result.blanked += fallback(c);
  }
  iconv(cd, nullptr, nullptr, &c.out, &c.outleft);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  *c.out = '\0';
  return result;
}

// Fallbacks shared by several conversions.

// One blank for the blocking byte.
inline int BlankPerByte(IconvCursor& c) { return c.SkipWithBlanks(1, 1); }

// UTF-8 source: a blocking lead E0..EF with more than 3 bytes left is
// skipped with the two bytes after it as two blanks, a lead C0..DF with more
// than 2 left with the byte after it as two blanks, any other byte as one
// blank (needs 2 bytes of room).
inline int Utf8SequenceBlanks(IconvCursor& c) {
  const unsigned char lead = static_cast<unsigned char>(c.in[0]);
  if (lead >= 0xE0 && lead <= 0xEF && c.inleft > 3) return c.SkipWithBlanks(3, 2);
  if (lead >= 0xC0 && lead <= 0xDF && c.inleft > 2) return c.SkipWithBlanks(2, 2);
  return c.SkipWithBlanks(1, 1);
}

// GB18030 source: a complete character (a pair, or a four-byte sequence) is
// skipped whole as two blanks, so that its trail bytes are never read as the
// start of another character; any other byte as one blank (needs 2 bytes of
// room).
inline int GbCharBlanks(IconvCursor& c) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(c.in);
  auto lead = [](unsigned char b) { return b >= 0x81 && b <= 0xFE; };
  auto digit = [](unsigned char b) { return b >= '0' && b <= '9'; };
  if (c.inleft >= 4 && lead(p[0]) && digit(p[1]) && lead(p[2]) && digit(p[3])) return c.SkipWithBlanks(4, 2);
  if (c.inleft >= 2 && lead(p[0]) && p[1] >= 0x40 && p[1] <= 0xFE && p[1] != 0x7F) return c.SkipWithBlanks(2, 2);
  return c.SkipWithBlanks(1, 1);
}

#endif  // CCODE_SRC_UL_ICONV_LOOP_H_
