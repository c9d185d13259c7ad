// The table conversion of GB18030 text to UTF-8 behind the GB18030 -> UTF-8
// entry points, which check their arguments and descriptors first.
#ifndef CCODE_SRC_UL_GB18030_UTF8_H_
#define CCODE_SRC_UL_GB18030_UTF8_H_

#include <stddef.h>

// Converts len bytes of GB18030 at src into dst, writing at most room bytes
// and then a NUL; characters as the platform's converter gives them. A
// character that does not fit stops the conversion. Bytes that start no
// character are skipped with the bytes of the character they appear to
// start (a pair or a four-byte sequence as two blanks, any other byte as
// one), unless fewer than 3 bytes are free: then the conversion stops
// there. Returns the bytes skipped plus the bytes left over.
int ccode_gb18030_to_utf8(const char* src, size_t len, char* dst, size_t room);

#endif  // CCODE_SRC_UL_GB18030_UTF8_H_
