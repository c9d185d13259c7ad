// The unchecked code point encoder behind ul_ccode_unicode_to_utf8.
#ifndef CCODE_SRC_UL_UTF8_ENCODE_H_
#define CCODE_SRC_UL_UTF8_ENCODE_H_

// Bytes of the UTF-8 form of unicode: 1 to 6, 0 from 0x80000000 on.
int ccode_utf8_length(unsigned int unicode);
// Writes the ccode_utf8_length(unicode) bytes of its form to out (no NUL).
void ccode_put_utf8(unsigned int unicode, char* out);

#endif  // CCODE_SRC_UL_UTF8_ENCODE_H_
