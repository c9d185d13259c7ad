// Search and comparison over multi-byte text: finding a string at character
// boundaries forwards and backwards, set membership and overlap of
// characters, the longest common character subsequence, and three
// byte-level comparisons.
//
// Conventions (ul_ccode_next.h): the code type comes last (GB is stepped as
// GB18030); "n" forms take byte counts and stop at the count or the first
// NUL; pointer results point into the searched text. Each function's
// failures are listed with it: some set errno (EINVAL), some log at level 1,
// some do neither. Functions marked "scratch" use the calling thread's
// scratch memory, given by ul_ccode_conv_open() (ul_ccode_conv.h), and leave
// it empty when they return; without it they fail.
#ifndef UL_CCODE_SEARCH_H_
#define UL_CCODE_SEARCH_H_

// The first occurrence of str2 in str1 starting at a character boundary, or
// NULL. UTF8 and ASCII: a plain substring search; GB and GBK: boundaries
// stepped as GB18030 or GBK, and an invalid character before a match gives
// NULL; other code types: NULL. An empty str2 matches at the start. NULL
// argument: errno EINVAL, logged "invalid parameter in ul_ccode_find".
char* ul_ccode_find(const char* str1, const char* str2, int codetype);
// The same within szStr1 bytes of str1 for the first szStr2 bytes of str2
// (both up to a NUL), stepping UTF8, ASCII, GBK or GB by character; at a
// boundary the NUL, too few bytes left or an invalid character gives NULL.
// NULL argument: logged "invalid parameter in ul_ccode_findn" (no errno).
char* ul_ccode_findn(const char* str1, int szStr1, const char* str2, int szStr2, int codetype);
// The last occurrence of str2 at a character boundary of str1 (any code type
// ul_ccode_next steps), or NULL, also when str1 holds an invalid character.
// NULL argument: errno EINVAL. Scratch: without it NULL.
char* ul_ccode_ifind(const char* str1, const char* str2, int codetype);
// The same within lengths; an invalid character ends the walk, and only a
// whole pattern within the szStr1 bytes matches. NULL or a length below 1:
// errno EINVAL. Scratch.
char* ul_ccode_ifindn(const char* str1, int szStr1, const char* str2, int szStr2, int codetype);

// Over the characters of str1 (an invalid character ends them), each looked
// up in str2 with ul_ccode_findn: how many occur; 1 when some does (else 0);
// 1 when all do (else 0). An empty str1 gives 0, 0 and 1. NULL or a length
// below 1: errno EINVAL, -1.
int ul_ccode_count_inset(const char* str1, int szStr1, const char* str2, int szStr2, int codetype);
int ul_ccode_include(const char* str1, int szStr1, const char* str2, int szStr2, int codetype);
int ul_ccode_only_include(const char* str1, int szStr1, const char* str2, int szStr2, int codetype);
// The size of the multiset intersection of the characters of the two
// strings (each ends at its NUL, its length or an invalid character). NULL
// string: -1. Scratch: without it -1 (no errno, nothing logged).
int ul_ccode_count_overlap(const char* str1, int szStr1, const char* str2, int szStr2, int codetype);
// A longest common subsequence of whole characters, written into common with
// a NUL when its bytes are fewer than szCommon: the number of its characters.
// -1 (common untouched) when it does not fit, when the table it needs cannot
// be had or sized, for NULL or a length below 1 (logged "invalid parameter in
// ccode_longest_common_substr"), and without scratch memory (logged "pthread
// get error in ccode_longest_common_substr").
int ul_ccode_longest_common_substr(const char* str1, int szStr1, const char* str2, int szStr2, char* common,
                                   int szCommon, int codetype);

// Byte comparisons; NULL or a length below 1: errno EINVAL, -1 (-2 for
// ul_ccode_strcmp_reverse).
// 1 when both strings use the same set of ASCII byte values (bytes of 0x80
// and above are ignored), else 0.
int ul_ccode_include_same_alphaset(const char* str1, int szStr1, const char* str2, int szStr2);
// 1 when the strings are equal apart from white-space bytes, else 0.
int ul_ccode_only_diff_space(const char* str1, int szStr1, const char* str2, int szStr2);
// Compares from the last byte towards the first: 1 or -1 by the first
// differing byte (as signed char) or, when one string is the other's tail,
// the longer one is greater; 0 when equal.
int ul_ccode_strcmp_reverse(const char* str1, int szStr1, const char* str2, int szStr2);

#endif  // UL_CCODE_SEARCH_H_
