// Query-language detection: scoring of one UTF-8 reading of a query against
// the language features (ul_langfeature.h), the candidate records, their
// ranking, and the detection of a query of unknown encoding into a ranked
// list of (code type, language, trust) written to a name/value package.
//
// Scores are integers in hundredths of a natural logarithm; INT_MIN means
// "no score". All functions work on the caller's text, candidate list, top
// list and flags and only read the feature set: any number of threads may
// score at once. Detection needs ul_ccode_load (flag bit 4) and the calling
// thread's ul_ccode_conv_open (whose candidate list it uses).
#ifndef UL_CCODE_QUERYLANG_H_
#define UL_CCODE_QUERYLANG_H_

#include <vector>

#include "ul_langfeature.h"

struct ul_package;

// One candidate. code_type and lang_type 255 (as unsigned char) mark an
// empty entry; a trust of INT_MIN means "not computed" (or, for TRUST,
// "excluded").
struct _CODELANG_INFO {
  char code_type;  // _CODE_T of the reading
  char lang_type;  // _LANG_T
  int trigram_trust;
  int words_trust;
  int TRUST;
};

// The candidate list: the calling thread's array (capacity = its size).
typedef std::vector<_CODELANG_INFO> CODELANG_VECTOR;

// Which evidence a scoring or ranking uses.
enum DETECTPATH { ALL_FEATURE = 0, WORDS_FEATURE = 1, CHARS_FEATURE = 2 };
// Share of Latin letters in a text (ul_ccode_checkeng).
enum QUERYENG { NONE_ASCII = 0, ALL_ENG = 1, PART_ENG = 2, NO_ENG = 3 };
// n-gram orders.
enum FeatureType { UNIGRAM = 1, BIGRAM = 2, TRIGRAM = 3 };

// Entries of the word top list (triples of code type, language, score; best
// first; an empty triple is -1, -1, INT_MIN) and of the coverage flags.
const int QUERY_TOP_NUM = 4;
const int QUERY_FLAG_NUM = 80;

// --- scoring ---------------------------------------------------------------

// Character n-gram score of UTF-8 text into *score (words: runs between
// blanks, TABs, CR and LF): 1, or 0 (logged) for invalid arguments or a
// language without tables.
int ul_ccode_checkfeature(LANGFEATURESET* fs, _LANG_T lang, char* text, int* score);
// The same for Latin text, over its first line taken as one sequence of
// bytes: the line end is overwritten with NUL and every byte of the line
// outside a-z with a blank, in the caller's buffer.
int ul_ccode_checkcmfeature(LANGFEATURESET* fs, _LANG_T lang, char* text, int* score);
// Word score of lower-case Latin words (runs of a-z) entered into the top
// list top (QUERY_TOP_NUM triples); INT_MIN when no word was found or the
// score fell below the list's last entry.
int ul_ccode_langcmword(char* text, LANGFEATURESET* fs, int code, _LANG_T lang, int* top);
// Word score by longest dictionary match of any UTF-8 text; sets
// flags[lang] (QUERY_FLAG_NUM flags) for Chinese, Japanese, Arabic and Thai
// when every word was found.
int ul_ccode_langcnthword(char* text, LANGFEATURESET* fs, int code, _LANG_T lang, int* top, bool* flags);
// Scores one (code, lang) pair into its candidate (found from index start, 1
// when start is 1, else 0; or appended at count): 1 done (also when the
// language's pre-checks skip it), 0 failure (logged).
int ul_ccode_langtype_all(char* text, int code, int* eng, LANGFEATURESET* fs, CODELANG_VECTOR* info,
                          unsigned int& count, int mode, int* top, bool* flags, int lang, int start);
// Computes every entry's TRUST for the mode and stable-sorts the first count
// entries, highest first: 1, or 0 (logged) for NULL.
int ul_ccode_gettoptrust(CODELANG_VECTOR* info, unsigned int& count, int mode);
// The ranking order: a.TRUST > b.TRUST.
bool ul_ccode_mergecodelang(const _CODELANG_INFO& a, const _CODELANG_INFO& b);
// Marks every entry empty: 1, or 0 (logged) for NULL.
int ul_ccode_initinfo(CODELANG_VECTOR* info);

// --- detection ---------------------------------------------------------------

// Detects the code type and language of query (cut to 10240 bytes) and
// writes the 14 best candidates into pkg (keys "All_CodeTrust_<i>",
// "All_LangTrust_<i>", "All_TRUST_<i>") and/or out (outn / 3 triples of code
// type, language, trust; outn 3..42). hint -2..32: negative tries every code
// type, another value only that one. 1, or 0 (logged).
int ul_ccode_query_detect(unsigned char* query, ul_package* pkg, int* out, int outn, int hint);
// Writes the ranked candidates of info: 1, or 0 (logged).
int ul_ccode_printresult(ul_package* pkg, int* out, int outn, CODELANG_VECTOR* info);

// Walks UTF-8 text, lower-casing A-Z in place: *eng ALL_ENG, PART_ENG or
// NO_ENG by the share of letters among letters and characters of two or
// more bytes (NONE_ASCII when there are none), *pct (when given) that share
// in percent. 1; 0 for NULL or a byte that does not begin a character.
int ul_ccode_checkeng(unsigned char* text, int* eng, int* pct);
// *eng by the leading bytes 01..7F: none NONE_ASCII, all ALL_ENG, a prefix
// PART_ENG. 1, or 0 for NULL.
int ul_ccode_checkeng_ascii(unsigned char* text, int* eng);
// A-Z to a-z in place: 1, or 0 for NULL.
int ul_ccode_Uppertolower(unsigned char* text);
// 1 when the text holds a blank or TAB, 0 when not, -1 for NULL.
int ul_ccode_checkblank(unsigned char* text);
// True when the text looks like a web address (a top-level domain such as
// ".com", "www." or "http:").
bool ul_ccode_check_url(char* text);
// Fixed candidates appended at count (trigram and word trusts -1): English
// for an ALL_ENG text without blanks when urlflag is set; English for
// eng NONE_ASCII; Thai / Arabic when the first argument is 0. 1 when
// appended, else 0.
int ul_ccode_url(int eng, char* text, CODELANG_VECTOR* info, unsigned int& count, int code, bool urlflag);
int ul_ccode_noeng_ascii(int eng, CODELANG_VECTOR* info, unsigned int& count, int code);
int ul_ccode_is_thai(int notthai, CODELANG_VECTOR* info, unsigned int& count, int code);
int ul_ccode_is_arab(int notarab, CODELANG_VECTOR* info, unsigned int& count, int code);
// Sets *notthai / *notarab to 0 when Thai / Arabic letters make up more than
// a tenth of the characters (the larger share wins). 1, or 0 for NULL.
int ul_ccode_check_thai_and_arab(unsigned char* text, int* notthai, int* notarab);
// 1023 with *code 3 when the text is all well-formed UTF-8 (blanks skipped)
// or begins with a byte-order mark, 1023 with *code -1 when it is empty;
// otherwise *code -1 and trunc((1 - good / total) x 1023). -1 for NULL.
int ul_ccode_codetypeutf8(unsigned char* text, int* code);

#endif  // UL_CCODE_QUERYLANG_H_
