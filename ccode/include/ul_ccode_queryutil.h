// Small text operations beside the query-language detector: a code point
// as UTF-8, Vietnamese letter conversions (lower to upper case, upper to
// lower case, removal of marks) and a test whether a UTF-8 query is mostly
// Chinese. None needs loaded data or per-thread state; all are pure.
//
// Letters are handled as their UTF-8 bytes packed into an unsigned 32-bit
// value, first byte most significant (U+00E0 is 0xC3A0).
#ifndef UL_CCODE_QUERYUTIL_H_
#define UL_CCODE_QUERYUTIL_H_

// Vietnamese tables, index-aligned pairs: the 93 lower-case letters
// (alphabetical, each marked letter after its base letter) and their
// upper-case forms; the 134 letters with a mark (lower and upper case
// alternating) and the same letters without marks (đ, Đ give d, D).
const int vn_LowCapital_utf8_num = 93;
const int vn_ToneNoTone_Utf8_num = 134;
extern const unsigned int vn_lowutf8[vn_LowCapital_utf8_num];
extern const unsigned int vn_capitalutf8[vn_LowCapital_utf8_num];
extern const unsigned int vn_tone_utf8[vn_ToneNoTone_Utf8_num];
extern const unsigned int vn_notone_utf8[vn_ToneNoTone_Utf8_num];

// Encodes the code point (at most 0x7FFFFFFF, in up to six bytes, without a
// Unicode range check) into out, NUL-terminated (code point 0 gives an empty
// string), and/or its packed bytes into *packed (the high bytes of a five-
// or six-byte form do not fit and are lost). 1; 0 (logged) when both
// outputs are NULL or the code point is too large.
int ul_ccode_unicodetoutf8(unsigned int unicode, unsigned char* out, unsigned int* packed);

// Copy the NUL-terminated UTF-8 text in into out (outlen bytes with the
// NUL), replacing each letter found in the source table by its partner:
// lower to upper case, upper to lower case, marked to unmarked letters.
// A character that would leave no room for the NUL ends the copy. 1; 0 when
// in holds a byte that does not begin a well-formed character (out then
// holds what was converted before it); -1 (logged) for NULL pointers or
// outlen < 1.
int ul_ccode_vilow2capital(unsigned char* out, int outlen, unsigned char* in);
int ul_ccode_vicaital2low(unsigned char* out, int outlen, unsigned char* in);
int ul_ccode_vitone2notone(unsigned char* out, int outlen, unsigned char* in);

// True when at least half of the characters of the UTF-8 text are CJK
// ideographs U+4E00..U+9FFF. NULL, an empty text, a text without a whole
// character or one whose first byte of a character is refused: false.
bool is_chinese_query(const char* text);

// Number of leading one bits of the byte (0 for ASCII).
int enc_get_utf8_size(char first);
// Decodes the character of 1 to 6 bytes at in into out as a 32-bit code
// point, low byte first (out has at least 4 bytes): its byte length, or -1
// when the first byte has exactly 1 or more than 6 leading one bits. The
// continuation bytes are not checked.
int enc_utf8_to_unicode_one(const char* in, char* out);

#endif  // UL_CCODE_QUERYUTIL_H_
