// Extended page detection: the code type of a page among every code type the
// library knows (the single-byte Turkish, Arabic, Thai, Vietnamese,
// Cyrillic, Greek and Hebrew code pages included, and the i18n white-URL
// list), and up to two languages of the page with their confidences,
// consulting CLD2 (ul_ccode_cld.h) first.
//
// Both run on the calling thread's record and buffers (ul_ccode_conv.h) and
// under the load check of ul_ccode_detect.h.
#ifndef UL_CCODE_LANGDET_H_
#define UL_CCODE_LANGDET_H_

#include "ul_ccode_detect.h"
#include "ul_ccode_info.h"

// Number of entries of a confidence array (one per language 0..85).
constexpr int kCcodeLangConfLen = 86;

// The code type of the NUL-terminated page: from the i18n white-URL list
// when it lists url (lang, when not NULL, then gets the listed main and
// secondary languages), else decided from the page's statistics and word
// features; -1 when undecided. 0, or -1 for a NULL page, url or code
// (logged), the wrong load flag, a thread without state or failed
// statistics.
int ul_ccode_chardet(const char* page, const char* url, const char* charset, const char* tree, int* code,
                     _langtype_t* lang);

// The languages of the NUL-terminated page as a multi-language value
// (ul_langtype.h) in *value: -1 for none, else a main language with its
// confidence and possibly a secondary one with its own; conf (86 ints, may
// be NULL) gets the confidence 0..100 of every language. *code is the page's
// code type, or -2 to have it detected (ul_ccode_chardet) and stored. 0, or
// -1 for a NULL page, url, code or value (logged), a code type outside
// -1..32 (logged), the wrong load flag, a thread without state or failed
// statistics.
int ul_ccode_langdet(const char* page, const char* url, const char* charset, const char* tree, int* code,
                     long long* value, int* conf);

// The supporting rules, on the thread's computed record (word features
// included) and a confidence array A of 86 ints.
// The language of the guessed word-model slot, else one from the title.
int langtype_for_latin(const _ccode_info_t* info);
// Word-model confidences into A; sets info->max_confidence_lang.
void confidence_for_latin(_ccode_info_t* info, int* A);
// The GBK trust split into A; returns l.
int confidence_for_gb(const _ccode_info_t* info, int* A, int l);
// The UTF-8 confidences into A and the language they decide, starting from l.
int confidence_for_utf8(const _ccode_info_t* info, int* A, int l);
// Thai, Arabic or a word-model language over l where the evidence says so.
int confidence_for_lang(const _ccode_info_t* info, const int* A, int l);
// Thai unless a word-model language is clearly stronger (A[THAI] becomes 80).
int confidence_for_win874(const _ccode_info_t* info, int* A);
// Swaps main and secondary when the secondary is clearly stronger.
void exchange_lang(const _ccode_info_t* info, _langtype_t* lt, const int* A);
// Turns an Arabic main or secondary language into FARSI when the record's
// text holds two or more letters only Persian uses (in the form of code).
void detect_persian(int code, _langtype_t* lt, const _ccode_info_t* info);

#endif  // UL_CCODE_LANGDET_H_
