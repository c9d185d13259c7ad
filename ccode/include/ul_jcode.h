// Conversion between GB18030 ("GB", the library's working encoding) and the
// Japanese encodings (ISO-2022-JP, Shift_JIS, EUC-JP) and UTF-8, through the
// platform's converter descriptors that each thread holds
// (ul_ccode_conv.h), and the folding of half-width katakana.
//
// The vendor characters of the Windows Japanese code page that the
// platform's converters reject (NEC special characters such as the circled
// digits, the NEC-selected and IBM extension kanji) are converted through
// compiled-in rows instead.
//
// Every converter converts the NUL-terminated src into dst, writing at most
// destlen bytes with the terminator (dst is always terminated). It never
// fails on bad text: a byte it cannot convert becomes one blank, a
// double-byte character two (a GB four-byte character also two). The result
// is the number of source bytes not converted: those replaced by blanks,
// plus those left over when dst is full (the conversion then stops on a
// character boundary). -1 for a NULL or empty src, a NULL dst, a destlen
// below 1, or (forms without a descriptor group) a thread without state,
// which logs "get ccode conv error!".
#ifndef UL_JCODE_H_
#define UL_JCODE_H_

#include "ul_ccode_conv.h"

// To GB, with the group's jis2gb, sjis2gb, eucjp2gb or utf82gb (and
// unicode2gb for the vendor rows).
int ul_jis_gb_str(const char* src, char* dst, int destlen, _jp2gb_t* jp2gb);
int ul_sjis_gb_str(const char* src, char* dst, int destlen, _jp2gb_t* jp2gb);
int ul_eucjp_gb_str(const char* src, char* dst, int destlen, _jp2gb_t* jp2gb);
int ul_utf8_gb_str(const char* src, char* dst, int destlen, _jp2gb_t* jp2gb);
int ul_jis_gb_str(const char* src, char* dst, int destlen);
int ul_sjis_gb_str(const char* src, char* dst, int destlen);
int ul_eucjp_gb_str(const char* src, char* dst, int destlen);
int ul_utf8_gb_str(const char* src, char* dst, int destlen);

// From GB, with the group's gb2jis, gb2sjis, gb2eucjp or gb2utf8 (and
// gb2unicode for the vendor rows). ISO-2022-JP output ends in the ASCII
// shift state when there is room for its escape sequence.
int ul_gb_jis_str(const char* src, char* dst, int destlen, _gb2jp_t* gb2jp);
int ul_gb_sjis_str(const char* src, char* dst, int destlen, _gb2jp_t* gb2jp);
int ul_gb_eucjp_str(const char* src, char* dst, int destlen, _gb2jp_t* gb2jp);
int ul_gb_utf8_str(const char* src, char* dst, int destlen, _gb2jp_t* gb2jp);
int ul_gb_jis_str(const char* src, char* dst, int destlen);
int ul_gb_sjis_str(const char* src, char* dst, int destlen);
int ul_gb_eucjp_str(const char* src, char* dst, int destlen);
int ul_gb_utf8_str(const char* src, char* dst, int destlen);

// Folds the half-width katakana of the GB18030 text in (U+FF61..U+FF9F, the
// four-byte codes 84 31 95 37 .. 84 31 9B 39) to their full-width GBK forms,
// merging a voiced or semi-voiced mark into the kana before it (KA + the
// voiced mark gives GA). Other characters are copied; an incomplete
// character at the end is dropped. The output length, or -1 (logged) for a
// NULL pointer or an outsize not above strlen(in).
int ul_gb_jm_bj2qj(const char* in, char* out, unsigned int outsize);

#endif  // UL_JCODE_H_
