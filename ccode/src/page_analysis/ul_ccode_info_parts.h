// Pieces of the page statistics that the page language detection and the
// word features use as well.
#ifndef CCODE_SRC_UL_CCODE_INFO_PARTS_H_
#define CCODE_SRC_UL_CCODE_INFO_PARTS_H_

#include "ul_ccode_info.h"

// A code point that encodes to nothing (a signed or over-long reference).
constexpr unsigned int kNoCodePoint = 0xFFFFFFFFu;

// Reads a numeric character reference at text: "&#" and a decimal number,
// or "&#x"/"&#X" and a hexadecimal one, as strtol reads them, and one ';'
// after the digits. The number of characters read (0 when text does not
// begin "&#"); *unicode gets the code point, kNoCodePoint for a negative or
// overflowing number.
int ref_to_unicode(const char* text, unsigned int* unicode);
// Counts the class of a reference's code point in info->rinfo.
void ref_info_compute(_ccode_info_t* info, unsigned int unicode);
// Counts the UTF-8 classes of the first 32,768 bytes of the NUL-terminated
// text into u (added to what u holds).
void utf8_info_compute(const char* text, _utf8_info_t* u);
// Counts the Chinese and Japanese characters of a UTF-8 (or GB18030) title
// into the title fields of u and sets u->utf8_cn_jp_title_lang from them (1
// simplified, 2 traditional, 3 Japanese, -1 left as it is).
void utf8_title_compute(const char* title, _utf8_info_t* u);
void gb_title_compute(const char* title, _utf8_info_t* u);

#endif  // CCODE_SRC_UL_CCODE_INFO_PARTS_H_
