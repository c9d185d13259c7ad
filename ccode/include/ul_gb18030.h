// GB18030, the library's working encoding: GBK double-byte pairs plus
// four-byte sequences. Character classes, table conversion to and from BIG5
// and GBI, conversion to and from UTF-8 through the platform's converter,
// the traditional/simplified look-up and the decoding of UTF-16 and UTF-32
// pages.
//
// Byte classes: a single byte is 00..7F; a pair is a lead 81..FE with a
// trail 40..FE except 7F; a four-byte sequence is 81..FE, 30..39, 81..FE,
// 30..39. The euro sign is A2 E3 in GB18030 and A3 E1 in BIG5.
#ifndef UL_GB18030_H_
#define UL_GB18030_H_

// Character classes -----------------------------------------------------------

// 1, 2 or 4 for the class of the first character of s; 0 for NULL or an
// empty text; -1 when the bytes there are of no class.
int ul_next_gb18030(const char* s);
// Characters of the NUL-terminated s; a byte of no class is stepped over
// and not counted. 0 for NULL.
int ul_gb18030_len(const char* s);
// 1, 2 or 4 as ul_next_gb18030; 0 when none (or NULL, or an empty text).
int ul_ccode_is_next_gb(const char* s);

int is_gb18030_euro(const unsigned char* pair);
int is_big5_euro(const unsigned char* pair);
bool is_ascii(unsigned char byte);
// The class at a position (readable up to its NUL): single byte, pair,
// four-byte sequence.
int is_gb_byte1(const unsigned char* p);
int is_gb_byte2(const unsigned char* p);
int is_gb_byte4(const unsigned char* p);

// Table conversions ------------------------------------------------------------
//
// They walk n = len bytes of src (len >= 1) or all of the NUL-terminated src
// (len < 1), write at most n bytes to dst and terminate it: dst must hold
// n + 1 bytes. A pair or sequence is read only where all its bytes lie within
// n. -1 (logged) for a NULL pointer or a grid that is not loaded
// (ul_ccode_load.h).

// GB18030 -> BIG5: the euro sign becomes A3 E1, a pair goes through the GBK
// -> BIG5 grid (special words apply), a four-byte sequence becomes two
// blanks. ul_gb18030_big5_str: 1; ul_gb18030_big5: the number of source
// bytes replaced by blanks (4 per four-byte sequence).
int ul_gb18030_big5_str(const unsigned char* src, unsigned char* dst, int len);
int ul_gb18030_big5(const unsigned char* src, unsigned char* dst, int len);
// BIG5 -> GB18030: the euro sign becomes A2 E3, a BIG5 pair goes through the
// BIG5 -> GBK grid (no special words; a cell without a mapping becomes two
// blanks), another pair with a lead above 9F and a trail above 3F becomes two
// blanks. ul_big5_gb18030_str: 1; ul_big5_gb18030: the number of source
// bytes replaced by blanks.
int ul_big5_gb18030_str(const unsigned char* src, unsigned char* dst, int len);
int ul_big5_gb18030(const unsigned char* src, unsigned char* dst, int len);
// GB18030 <-> GBI: pairs go through the GBK -> GBI grid (special words by
// context) or the GBI -> GBK grid; the euro sign and four-byte sequences are
// copied. 1.
int ul_gb18030_gbi_str(const unsigned char* src, unsigned char* dst, int len);
int ul_gbi_gb18030_str(const unsigned char* src, unsigned char* dst, int len);

// GB18030 <-> UTF-8 -------------------------------------------------------------

// Opens a converter from "GB18030" to "UTF-8" into *to_utf8 and one back
// into *to_gb (either pointer may be NULL). 0, or -1 (logged) with both
// marked closed ((void*)-1).
int ul_gb18030_utf8_open(void** to_utf8, void** to_gb);
// Closes each given converter that is open and marks it closed; 0.
int ul_gb18030_utf8_close(void** to_utf8, void** to_gb);

// Convert the NUL-terminated src into dst (dstsize bytes, NUL included; dst
// is always terminated) with the converter *descriptor, or, without it, the
// calling thread's (ul_ccode_conv.h). A byte the converter rejects becomes a
// blank; a rejected GB18030 character (a pair or a four-byte sequence), or a
// rejected UTF-8 sequence led by E0..EF (with more than 3 bytes left) or
// C0..DF (more than 2), is skipped whole as two blanks. The result is the
// number of source bytes not converted (replaced by blanks, or left over
// when dst is full: the conversion stops there, on a character boundary).
// -1 (logged) for an empty src, a NULL pointer, a dstsize below 1, a closed
// converter or a thread without state.
int ul_gb18030_utf8_str(const char* src, char* dst, int dstsize, void** descriptor);
int ul_gb18030_utf8_str(const char* src, char* dst, int dstsize);
int ul_utf8_gb18030_str(const char* src, char* dst, int dstsize, void** descriptor);
int ul_utf8_gb18030_str(const char* src, char* dst, int dstsize);

// Traditional/simplified look-up -------------------------------------------------

// Looks the first character of in (inlen bytes of code type CODETYPE_GB,
// CODETYPE_GBK, CODETYPE_UTF8 or CODETYPE_BIG5) up in the loaded
// traditional -> simplified (flag CCODE_TRAD2SIMP) or simplified ->
// traditional (CCODE_SIMP2TRAD) map, and writes what it maps to as GB18030
// into out (outlen bytes, NUL included; cut on a character boundary). The
// number of multi-byte characters written; 0 with out empty when the
// character is not in the map or the code type is another; -1 (logged) for
// bad arguments, a map that is not loaded or a failed conversion. Uses the
// calling thread's converter for UTF-8.
int ul_ccode_trad_simp(const char* in, int inlen, char* out, int outlen, int codetype, int flag);

// UTF-16 and UTF-32 pages -----------------------------------------------------------

// Decodes inlen bytes of in, which must start with a byte-order mark
// (UTF-32 big- or little-endian, else UTF-16), into NUL-terminated UTF-8 in
// out (outsize bytes, NUL included); each unit is one code point (surrogates
// are not combined). outsize is reduced by the bytes written. The code type
// (CODETYPE_UTF16LE, CODETYPE_UTF16BE, CODETYPE_UTF32LE, CODETYPE_UTF32BE),
// or -2 with out empty for no mark, a trailing partial unit, a text that
// does not fit, or bad arguments (logged).
int ul_ccode_unicode_page(const char* in, int inlen, char* out, int& outsize);

#endif  // UL_GB18030_H_
