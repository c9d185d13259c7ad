// Byte-string helpers: tokenising with a character-class table, ASCII case
// folding, bounded copy and concatenation. Bytes are unsigned; only 'A'..'Z'
// are ever folded. (The console progress line is in dep_file.h.)
#ifndef UL_STRING_H_
#define UL_STRING_H_

#include <stddef.h>

// Map 'A'..'Z' to 'a'..'z' and every other byte to itself.
extern const unsigned char UL_CHAR_ALPHA_LOW[256];
extern const unsigned char G_MAP[256];

// Takes the next word of src: charset is a 256-byte table indexed by the
// unsigned byte, non-zero for word bytes. word is emptied, separators are
// skipped, the word is copied into word (NUL-terminated; it must be as large
// as src), the following separators are skipped and the position after them
// is returned.
char* ul_sgetw(char* src, char* word, const char* charset);
// As ul_sgetw, with GBK double-byte characters (0xB0..0xF7, 0xA1..0xFE) as
// words of their own: a byte of 0x80 or above starts a two-byte word.
char* ul_sgetw_ana(char* src, char* word, const char* charset);

// Compares n bytes with 'A'..'Z' folded; NUL is an ordinary byte. 0 when equal,
// otherwise the number of bytes from the first difference to the end of the range.
int ul_strncasecmp(const char* a, const char* b, size_t n);

// Lower case of c & 255.
int ul_tolower(int c);
// Copies src lower-cased into dst; 0 when either is NULL, else 1.
int ul_tolowerstr(char* dst, const char* src);
// Lower-cases s in place; 0 for NULL, else 1.
int ul_tolowerstr_singlebuf(char* s);

// Copies at most size - 1 bytes and terminates when size > 0; returns strlen(src).
size_t ul_strlcpy(char* dst, const char* src, size_t size);
// Appends src so that dst stays below size bytes and terminated; returns the
// initial length of dst (at most size) plus strlen(src).
size_t ul_strlcat(char* dst, const char* src, size_t size);

#endif  // UL_STRING_H_
