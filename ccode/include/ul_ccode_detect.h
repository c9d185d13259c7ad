// Code type and language of a web page: the public entry points, which
// combine the page statistics (ul_ccode_info.h), the code-type decision
// (ul_ccode_codetype.h) and the white-URL list (ul_whiteurl.h), and the rules
// that name the language of a page of a known code type.
//
// The entry points run when the data was loaded for page detection (flag 0,
// or a flag with bit 1, 2 or 8; also before any load), else they log "the
// 2nd parameter flag error @ul_ccode_load.you need FLAG_PAGE_LANG_DETECT."
// and answer -1. Every thread that calls them must have opened its state
// (ul_ccode_conv.h): UTF-8 pages are converted with its converters, and the
// functions that take no record of their own use the thread's, which keeps
// the statistics of the last page: a call with the same URL reuses them.
#ifndef UL_CCODE_DETECT_H_
#define UL_CCODE_DETECT_H_

#include <stdint.h>

#include "ul_ccode_info.h"

// A main and a secondary language. flag bit 0: main set; bit 1: secondary
// set.
struct _langtype_t {
  int16_t main_lang;
  int16_t sec_lang;
  int16_t flag;
};

// Stores the main language (bit 0 set).
void set_main_lang(_langtype_t* lt, int lang);
// Stores the secondary language when a main is set and differs from it
// (bit 1 set); otherwise nothing.
void set_sec_lang(_langtype_t* lt, int lang);
// Main -1 (bit 0 set), secondary -1, bit 1 clear.
void reset_langtype(_langtype_t* lt);

// A page with its extracts: the whole page, its main text, its text and its
// title, each with its length in bytes.
struct _ccode_page_info_t {
  const char* page;
  const char* main_content;
  const char* page_content;
  const char* title;
  int len_page;
  int len_main_content;
  int len_page_content;
  int len_title;
};

// Trust arrays (5 ints): confidences 0..100 of ENGLISH, SIMP_CHINESE,
// TRAD_CHINESE and JAPANESE, then the content length; -1 where not computed.
constexpr int kCcodeTrustLen = 5;

// Code type and language of the NUL-terminated page, on a record of its
// own: from the white-URL list when url is listed, else decided. charset is
// the HTTP header's charset, tree the page's main text (both may be NULL);
// trust is not used. 1, or -1 (logged) for a NULL page, url, code or lang,
// the wrong load flag or failed statistics.
int ul_ccode_detect(const char* page, const char* url, const char* charset, const char* tree, int* code, int* lang,
                    int* trust);

// The Japanese-aware code type: switches the process into Japanese mode for
// good (the ISO-8859-1 rule then refuses pages with Japanese pairs), decides
// code type and language as ul_ccode_detect does (white-URL list included),
// and stores CODETYPE_UTF8JP for a Japanese UTF-8 page, the code type of a
// Japanese ISO-2022-JP, Shift_JIS or EUC-JP page, CODETYPE_ENG for an English
// page and -1 for anything else. 1, or -1 (logged) as ul_ccode_detect.
int ul_jcode_detect(const char* page, const char* url, const char* charset, const char* tree, int* code);

// The language of the page of the given code type *code, on the calling
// thread's record (computed anew unless it holds url's page); fills trust
// (may be NULL) where the rule does. 1, or -1 for NULL page, url, code or
// lang (logged) or a thread without state.
int ul_ccode_detect_langtype(const char* page, const char* url, const char* charset, const char* tree,
                             const int* code, int* lang, int* trust);

// Code type and language of a page given with its extracts: the code type
// of the whole page, else of the title with the page text, else of the title
// with the main text; the language as ul_ccode_page_detect_langtype mixes
// it. code and lang are -1 when undecided. 1, or -1 (logged) for a NULL
// record, page, code or lang.
int ul_ccode_page_detect(const _ccode_page_info_t* info, const char* url, const char* charset, const char* tree,
                         int* code, int* lang, int* trust);
// The language of a page of code type *code, mixed from the whole page's and
// the main text's (the main text is read only when the page has more than
// 2,047 bytes and the main text is longer than the title). trust may be NULL.
// 1, or -1 (logged) for a NULL record, page, code or lang, or a code of -1.
int ul_ccode_page_detect_langtype(const _ccode_page_info_t* info, const char* url, const char* charset,
                                  const char* tree, const int* code, int* lang, int* trust);

// The language of a computed record of code type code: the rule of that code
// type (-1 for CODETYPE_NONE and CODETYPE_EUCKR, JAPANESE for the Japanese
// code types); another code type is logged ("unknown codetype value [%d],
// LANGTYPE_NONE returned\n") and gives -1, and so does a NULL record. trust
// may be NULL.
int ccode_detect_langtype(_ccode_info_t* info, int code, int* trust);
// The same with the alternative rules, which set lt's main language; the
// main language is returned. Code types outside -1..11 are unknown here.
int ccode_detect_langtype_prob(_ccode_info_t* info, int code, _langtype_t* lt, int* trust);

// The rules. Each takes a computed record and a trust array that may be
// NULL; the plain forms return the language, the _prob forms set lt's main
// language.
int langtype_by_ref(_ccode_info_t* info, int* trust);
int langtype_for_ascii(_ccode_info_t* info, int* trust);
int langtype_for_iso_8859_1(_ccode_info_t* info, int* trust);
int langtype_for_gbk(_ccode_info_t* info, int* trust);
int langtype_for_big5(_ccode_info_t* info, int* trust);
int langtype_for_utf8(_ccode_info_t* info, int* trust);
void langtype_by_ref_prob(_ccode_info_t* info, _langtype_t* lt, int* trust);
void langtype_for_ascii_prob(_ccode_info_t* info, _langtype_t* lt, int* trust);
void langtype_for_iso_8859_1_prob(_ccode_info_t* info, _langtype_t* lt, int* trust);
void langtype_for_gbk_prob(_ccode_info_t* info, _langtype_t* lt, int* trust);
void langtype_for_big5_prob(_ccode_info_t* info, _langtype_t* lt, int* trust);
void langtype_for_utf8_prob(_ccode_info_t* info, _langtype_t* lt, int* trust);

// Trust arrays of a GBK and of a UTF-8 page (no-ops for a NULL trust).
void lang_trust_for_gbk(const _ccode_info_t* info, int* trust);
void lang_trust_for_utf8(const _ccode_info_t* info, int* trust);

// Copies the double-byte GBK pairs of the NUL-terminated GB18030 text src
// (single bytes, four-byte sequences and broken pairs dropped) into dst, as
// many as fit in size - 1 bytes, and terminates it. Their length; 0 for NULL
// arguments or a size below 1.
int filter_non_gbk(const char* src, char* dst, int size);

#endif  // UL_CCODE_DETECT_H_
