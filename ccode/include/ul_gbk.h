// Table-driven conversion between GBK byte strings, UCS-2 code units and
// UTF-8. The tables are compiled in: nothing needs loading, no thread state
// is used, and every function may run in any number of threads at once.
//
// GBK is read pair by pair: a two-byte code with a mapping gives its code
// point; any other byte is read alone (0x00..0x7F as itself, 0x80 as U+0080,
// 0x81..0xFF as U+FFFD). Code points without a GBK code are written as a
// near character (U+00B2 as '2', U+00C0 as the pinyin letter A8 A4) or,
// failing that, as the caller's replacement (a blank for the UTF-8 side).
#ifndef UL_GBK_H_
#define UL_GBK_H_

#include <stdint.h>

// Reads len bytes of GBK at src into dst, at most dstsize units; dstsize 0
// (or a null dst) only counts. The number of units (written or counted).
int gbk_to_unicode(uint16_t* dst, int dstsize, const char* src, int len);

// Writes count units of src as GBK into dst, at most dstsize bytes, stopping
// before a character that does not fit; dstsize 0 (or a null dst) only
// counts. A unit without a GBK code takes replacement (a GBK code read
// little-endian: above 255 two bytes, low byte first). The number of bytes;
// no NUL is written.
int unicode_to_gbk(char* dst, int dstsize, const uint16_t* src, int count, uint16_t replacement);

// Writes the GBK code of unit (a blank when it has none) and a NUL into dst
// (at least 3 bytes): 1 or 2, or 0 for a null dst.
int unicode_to_gbk_word(char* dst, uint16_t unit);

// Writes the UTF-8 form of unit (1 to 3 bytes) and a NUL into dst (at least
// 4 bytes): the byte count, or 0 for a null dst or the unit 0.
int to_utf8_word(char* dst, uint16_t unit);

// Writes count units of src as NUL-terminated UTF-8 into dst (size bytes,
// NUL included), stopping before a character that does not fit; a null dst
// only counts. The UTF-8 length (written or counted), without the NUL.
int unicode_to_utf8(char* dst, int size, const uint16_t* src, int count);

// Converts the NUL-terminated GBK text src to UTF-8 in dst (size bytes, NUL
// included): -1 for a null pointer or a size below (L / 2) * 3 + 1 for a text
// of L bytes (enough for text of two-byte characters); otherwise the bytes
// written before the NUL. A character that would leave no room for the NUL
// ends the conversion.
int ul_gbk_to_utf8(char* dst, int size, const char* src);

// Converts the NUL-terminated UTF-8 text src to GBK in dst (size bytes, NUL
// included): -1 for a null pointer or a size below strlen(src) + 1; otherwise
// the bytes written before the NUL. A leading byte-order mark is dropped, a
// stray byte (80..BF, FE, FF) is skipped, a sequence cut by the end of the
// text ends the conversion, and a code point keeps only its low 16 bits. A
// character without a GBK code, a code point whose low 16 bits are 0, and a
// lead byte not followed by its continuation bytes each give one blank (the
// bytes after such a lead byte are read on their own); no NUL is written
// before the end.
int ul_utf8_to_gbk(char* dst, int size, const char* src);

#endif  // UL_GBK_H_
