// The code type of a web page, decided from its statistics (ul_ccode_info.h):
// fixed rules for ISO-2022-JP, ASCII, ISO-8859-1 and UTF-8, then a vote of
// the East-Asian double-byte encodings (GBK, BIG5, Shift_JIS, EUC-JP, EUC-KR)
// by how many of the page's character pairs form common bigrams, checked
// against the declared charset. The bigram sets and the GBK/BIG5 -> GBI
// grids come from the data directory (ul_ccode_load.h); without them the
// vote finds nothing and the declared charset decides.
#ifndef UL_CCODE_CODETYPE_H_
#define UL_CCODE_CODETYPE_H_

#include "ul_ccode_info.h"

// Set to 1 (never back to 0) by the Japanese-aware page detection: the
// ISO-8859-1 rule then also refuses pages with Shift_JIS or EUC-JP pairs.
extern int g_for_jp;

// Detects the code type of the NUL-terminated page on the calling thread's
// record (reset, statistics, decision): 1 with the code type (a _CODE_T
// value, or -1 when undecided) stored through codetype. -1 (logged) for a
// NULL page, url or codetype, and -1 (silent) when the thread has not opened
// its state (ul_ccode_conv_open). charset (the HTTP charset) and content
// (the page's main text) may be NULL.
int ul_ccode_detect_codetype(const char* page, const char* url, const char* charset, const char* content,
                             int* codetype);

// The decision on a computed record: the code type, or -1 when undecided
// (also for an empty page or a front-page export), -1 logged for NULL. It
// writes the bigram hits, bigram_codetype and bigram_confidence.
int ccode_detect_codetype(_ccode_info_t* info);

// Scorers, 0..1023, on a computed record. The double-byte ones store their
// bigram hits in the record (even when the score is 0).
int codetype_ascii(_ccode_info_t* info);
int codetype_iso_8859_1(_ccode_info_t* info);
int codetype_utf8(_ccode_info_t* info);
int codetype_gbk(_ccode_info_t* info);
int codetype_big5(_ccode_info_t* info);
int codetype_sjis(_ccode_info_t* info);
int codetype_eucjp(_ccode_info_t* info);
int codetype_euckr(_ccode_info_t* info);

#endif  // UL_CCODE_CODETYPE_H_
