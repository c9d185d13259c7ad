// Conversion between GB18030 and any code type (ul_ccode_type.h): the
// entry points the detectors use, and a dispatch table over code types
// 0..11.
#ifndef UL_CCODE_ICONV_H_
#define UL_CCODE_ICONV_H_

#include "ul_ccode_conv.h"

// Converts src from code type from to code type to (both 0..11) with conv's
// descriptors, or the calling thread's when conv is NULL. Copy cells (a code
// type to itself, ENG <-> ASCII, UTF8JP -> UTF8) copy at most srclen bytes,
// cut to dstlen - 1, and terminate: 1. GB -> BIG5 and BIG5 -> GB convert
// srclen bytes (all of a NUL-terminated src when srclen < 1) with the tables:
// 1, or -1 when dst cannot hold the result. The cells between GB and UTF8,
// UTF8JP, JIS, SJIS and EUCJP convert the NUL-terminated src with the
// converters of ul_jcode.h (their results). -1 for any other pair, a code
// type outside 0..11, NULL pointers or a dstlen below 1.
int ul_iconv(int from, int to, const char* src, char* dst, int srclen, int dstlen, _ccode_conv_t* conv);

// Converts the NUL-terminated in of code type type to GB18030 in out (outlen
// bytes with the terminator) with the calling thread's descriptors: BIG5 by
// table, UTF8, JIS, SJIS and EUCJP by the converters of ul_jcode.h, the
// single-byte pages (ISO_8859_1, ISO_8859_9, WIN1254, WIN1256, ISO_8859_6,
// WIN874, ISO_8859_11, TIS620, VISCII, WIN1258, WIN1251, ISO_8859_7,
// WIN1255) and EUCKR by their converters, with one blank per byte they
// reject. The result is the number of source bytes not converted (blanks,
// or left over when out is full). Every other type is copied, cut to
// outlen - 1 bytes: 0. -1 (logged) for a thread without state, NULL
// pointers, an outlen below 1 or a failed conversion (such as an empty UTF8
// text).
int ul_ccode_to_gb18030(const char* in, char* out, int outlen, int type);
// The mirror image: GB18030 in to code type type in out. A GB character the
// target cannot hold becomes one blank per byte of a broken character, two
// for a character.
int ul_ccode_from_gb18030(const char* in, char* out, int outlen, int type);
// The same, with an empty in giving an empty out and 0.
int ul_ccode_to_gb18030_str(const char* in, char* out, int outlen, int type);
int ul_ccode_from_gb18030_str(const char* in, char* out, int outlen, int type);

#endif  // UL_CCODE_ICONV_H_
