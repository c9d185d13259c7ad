// Code type of a search query: GBK, UTF-8 or UCS-2 (16-bit units, low byte
// first), decided from the byte rules of each encoding, two character
// frequency tables (one in GBK, one in UTF-8) and an ordered list of rules.
// An override file fixes the answer for single queries.
//
// The tables and the overrides are loaded by ul_ccode_load (flag bit 2) from
// "code/query_unigram_ingbk.txt", "code/query_unigram_inutf8.txt" (lines
// "character frequency"; '#' starts a comment) and the optional
// "code/query_detect.conf" (lines "query<TAB>code type"), and released by
// ul_ccode_del. After loading any number of threads may detect at once; no
// per-thread state is needed. These functions have C++ linkage (overloads).
#ifndef UL_CCODE_QUERYDETECT_H_
#define UL_CCODE_QUERYDETECT_H_

// The code type of the query's first len bytes (len < 1: strlen(query)):
// the override's code type, CODETYPE_GB (1), CODETYPE_UTF8 (3) or
// CODETYPE_UCS2 (12); -2 (logged) for NULL, a length below 1 or of 102400
// or more, or when the frequency tables are not loaded. No byte after the
// query's NUL is read.
int ul_ccode_query_detect(char* query, int len);
int ul_ccode_query_detect(char* query);

// Converts srclen bytes (srclen < 1: strlen(src)) of UCS-2 text, low byte
// first, to NUL-terminated GBK in dst (dstlen bytes; the conversion works
// in dst and needs 3 bytes per unit and the NUL): the GBK byte count, or -1
// (logged for NULL or empty arguments) for an odd length or a dst too small.
int ul_ucs2_gbk_str(char* src, int srclen, char* dst, int dstlen);
int ul_ucs2_gbk_str(char* src, char* dst, int dstlen);

#endif  // UL_CCODE_QUERYDETECT_H_
