// Replacement and translation over multi-byte text: replacing a substring at
// character boundaries, replacing every character of a set by a string,
// translating characters one for one, and escaping a URL.
//
// Conventions (ul_ccode_next.h): the code type comes last; "n" forms read at
// most szIn bytes (up to a NUL) and write at most szOut bytes, the NUL
// included: an output that does not fit fails with errno EINVAL and nothing
// is cut silently. Forms without lengths need an output with room. Every
// function may work in place (strOut equal to strIn). All use the calling
// thread's scratch memory, given by ul_ccode_conv_open() (ul_ccode_conv.h),
// and leave it empty when they return; without it they fail, logged at level
// 1 as "get g_pool_key error in <function>" (or g_hash_key for the map). A
// scratch buffer that cannot be had gives errno EAGAIN.
#ifndef UL_CCODE_REPLACE_H_
#define UL_CCODE_REPLACE_H_

// Writes strIn with every occurrence of replaceWord (found with
// ul_ccode_find: GB, GBK, UTF8 and ASCII) replaced by newWord; the number of
// replacements. An empty replaceWord copies the text (0). NULL: errno
// EINVAL, -1.
int ul_ccode_replace(const char* strIn, char* strOut, const char* replaceWord, const char* newWord, int codetype);
// The same within lengths (ul_ccode_findn). NULL or a size below 1: EINVAL.
int ul_ccode_replacen(const char* strIn, int szIn, char* strOut, int szOut, const char* replaceWord,
                      const char* newWord, int codetype);
// Writes strIn with every character that occurs in replaceWord replaced by
// the whole of newWord; the number of characters replaced. An invalid
// character ends the text. NULL (or a size below 1): EINVAL, logged
// "invalid parameter in function '<function>'", -1.
int ul_ccode_replace_word(const char* strIn, char* strOut, const char* replaceWord, const char* newWord,
                          int codetype);
int ul_ccode_replacen_word(const char* strIn, int szIn, char* strOut, int szOut, const char* replaceWord,
                           const char* newWord, int codetype);
// Translates the characters of replaceWord to those of newWord, taken in
// step (a repeated one takes its last partner); the number of characters
// translated. An invalid character ends the text. NULL or a size below 1:
// EINVAL, logged "invalid parameter in function 'ul_ccode_convword'", -1.
int ul_ccode_convword(const char* strIn, int szIn, char* strOut, int szOut, const char* replaceWord,
                      const char* newWord, int codetype);
// Escapes the URL src for a query: a blank becomes '+'; '-', '.', '_',
// digits and ASCII letters stay; "%XX" with upper-case hexadecimal digits
// stays; every other byte becomes "%XX". dest, or NULL with errno EINVAL for
// NULL, a size below 1 or a result that does not fit.
char* ul_ccode_convurl(const char* src, int szSrc, char* dest, int szDest);

#endif  // UL_CCODE_REPLACE_H_
