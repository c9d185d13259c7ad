// String editing over multi-byte text: trimming, removing white space, line
// feeds or chosen characters, splitting, joining, substrings by character,
// ASCII case, full-width to half-width conversion and reading an unsigned
// number.
//
// Conventions (ul_ccode_next.h): the code type comes last (GB is stepped as
// GB18030); forms without a length walk to the NUL with ul_ccode_next and
// their output must have room, "n" forms walk at most szIn bytes (up to a
// NUL) with ul_ccode_nextn and count every byte written, the NUL included,
// against szOut: a character or NUL that does not fit fails with errno
// EINVAL. White space is ul_ccode_isspace (ul_ccode_class.h). Every function
// may work in place (strOut equal to strIn). After a failure the output
// holds an unspecified part of the result (except ul_ccode_join). Each
// function's errno on bad arguments and on an invalid character is given
// with it. All are pure (the callback of ul_ccode_remove excepted).
#ifndef UL_CCODE_EDIT_H_
#define UL_CCODE_EDIT_H_

// Drops leading and trailing white-space characters; strOut, or NULL for
// NULL (EINVAL) or an invalid character (no errno).
char* ul_ccode_trim(const char* strIn, char* strOut, int codetype);
char* ul_ccode_trimn(const char* strIn, int szIn, char* strOut, int szOut, int codetype);
// Drops every white-space character; NULL (no errno) for bad arguments or an
// invalid character.
char* ul_ccode_rmblank(const char* strIn, char* strOut, int codetype);
char* ul_ccode_rmblankn(const char* strIn, int szIn, char* strOut, int szOut, int codetype);
// Drops every line feed (a character whose first byte is 0x0A); NULL for
// bad arguments (EINVAL) or an invalid character (no errno).
char* ul_ccode_chomp(const char* strIn, char* strOut, int codetype);
char* ul_ccode_chompn(const char* strIn, int szIn, char* strOut, int szOut, int codetype);
// Drops each character for which inCharSet(the character with a NUL,
// codetype) answers non-zero. NULL for NULL strings (no errno; EINVAL in
// the "n" form and for a NULL callback) and for an invalid character
// (EINVAL).
char* ul_ccode_remove(const char* strIn, char* strOut, int (*inCharSet)(char*, int), int codetype);
char* ul_ccode_removen(const char* strIn, int szIn, char* strOut, int szOut, int (*inCharSet)(char*, int),
                       int codetype);

// Cuts strIn in place at each character that occurs in splitWord (found with
// ul_ccode_find, so only GB, GBK, UTF8 and ASCII text is cut): its first
// byte becomes NUL and the next piece starts after it. strOut[0] is strIn;
// cutting stops once maxStr pieces are made (the last piece keeps the rest).
// The number of pieces; 0 with EINVAL for NULL or maxStr < 1; -1 with EINVAL
// for an invalid character.
int ul_ccode_split(char* strIn, char** strOut, int maxStr, const char* splitWord, int codetype);
// Appends the bytes of src (at most szSrc, up to a NUL) to the text of dest
// (szDest bytes): dest, or NULL with EINVAL for NULL, a size below 1, or
// when the joined text and its NUL do not fit (dest is then unchanged).
char* ul_ccode_join(char* dest, int szDest, const char* src, int szSrc);
// Writes the characters start (below 0 counts as 0) to start + length - 1
// with a NUL (empty for length <= 0); strOut. NULL with EINVAL for bad
// arguments, an input of fewer than start characters or an invalid one
// before start; and, after writing them, when fewer than length characters
// were taken (the input ended, an invalid character, or no room).
char* ul_ccode_substr(const char* strIn, int szStrIn, char* strOut, int szStrOut, int start, int length,
                      int codetype);
// ASCII capitals to small letters (or back), byte by byte (trail bytes of
// double-byte characters included); dest, or NULL for bad arguments (no
// errno) and with EINVAL when the text and its NUL do not fit.
char* ul_ccode_tolower(const char* src, int szSrc, char* dest, int szDest);
char* ul_ccode_toupper(const char* src, int szSrc, char* dest, int szDest);
// Full-width to half-width: in UTF8, U+FF01..U+FF5D to ASCII and U+2018,
// U+2019 to '\'', U+201C, U+201D to '"', U+3000 to ' ', U+3001 to ',',
// U+3002 to '.', U+FFE3 to '~'; in GB and GBK, A3A1..A3FE to ASCII (but
// A3A4, the full-width yen, is kept) and A1A1 ' ', A1A2 ',', A1A3 '.', A1AE,
// A1AF '\'', A1B0, A1B1 '"', A1C3 ':', A1E7 '$'. An invalid character ends
// the text. dest; NULL for bad arguments or another code type (no errno), or
// with EINVAL when the result does not fit.
char* ul_ccode_tohalf(const char* srcIn, int szSrc, char* dest, int szDest, int codetype);
// The same, lowering every ASCII capital too; ASCII text is stepped as GB.
char* ul_ccode_half_lower(const char* srcIn, int szSrc, char* dest, int szDest, int codetype);
// The first run of digits of strIn (within szStr, up to a NUL) as a number
// (0 when there is none); 0xFFFFFFFF with errno EFAULT for NULL or szStr < 1,
// with ERANGE above 4294967295.
unsigned int ul_ccode_str2uint(const char* strIn, int szStr);

#endif  // UL_CCODE_EDIT_H_
