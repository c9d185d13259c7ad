// Multi-byte character stepping: the byte length of the character at a
// position of text in a given code type (ul_ccode_type.h), which every
// multi-byte string function of the library walks text with, and the small
// functions that turn a character into a number.
//
// Code type 1 (GB) is stepped as GB18030. A length of 0 means that the bytes
// there are not a character of that code type (also for a code type without
// a rule); a walk over text stops there. All functions are pure.
#ifndef UL_CCODE_NEXT_H_
#define UL_CCODE_NEXT_H_

// Byte length of the character at the NUL-terminated text str, 0 when none
// (or for NULL). Shift_JIS pairs are a lead 81..9F or E0..EF with a trail
// 40..7E or 80..FC.
int ul_ccode_next(const char* str, int codetype);
// The same, never counting beyond sz bytes: a character longer than the
// bytes left gives 0; sz < 1 or a code type outside 0..32 gives 0. (The
// single-byte pages 10, 14 and 16 also reject their control bytes here.)
int ul_ccode_nextn(const char* str, int sz, int codetype);

// Fixed code types: GBK (13), GB18030 (1), UTF-8 (3) and ASCII (9).
int ul_ccode_next_gbk(const char* str);
int ul_ccode_next_gb18030(const char* str);
int ul_ccode_next_utf8(const char* str);
int ul_ccode_nextn_ascii(const char* str, int sz);
int ul_ccode_nextn_gbk(const char* str, int sz);
int ul_ccode_nextn_utf8(const char* str, int sz);
int ul_ccode_nextn_gb18030(const char* str, int sz);

// The charlen bytes of a character folded big-endian (A1 A1 gives 0xA1A1).
unsigned int get_uint(const char* bytes, int charlen);
// The code point of a three-byte UTF-8 character, taking the low four bits
// of the lead byte and six of each other byte.
unsigned int get_unicode(const char* bytes);
// Bytes before the first NUL within the first n bytes of str (0 for n <= 0).
int get_exact_len(const char* str, int n);

#endif  // UL_CCODE_NEXT_H_
