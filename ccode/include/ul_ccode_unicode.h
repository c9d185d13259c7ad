// Code point to UTF-8 in the classic scheme of up to six bytes (code points
// up to 0x7FFFFFFF), as the page statistics and the UTF-16/UTF-32 page
// decoding write it.
#ifndef UL_CCODE_UNICODE_H_
#define UL_CCODE_UNICODE_H_

// Writes the UTF-8 form of unicode and a NUL into buffer (buf_size bytes,
// NUL included): the number of bytes before the NUL, 0 to 6 (0 with an empty
// string for code points of 0x80000000 and above). -1, logged at level 2, for
// a NULL buffer, a buf_size below 1, or a form that does not fit with its NUL.
int ul_ccode_unicode_to_utf8(unsigned int unicode, char* buffer, int buf_size);

#endif  // UL_CCODE_UNICODE_H_
