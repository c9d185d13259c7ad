// Older code checks of a text: English (0), GB (1), BIG5 (2) or UTF-8 (3),
// -1 when undecided, from a declared charset, bigram hits after conversion
// to GBI, the frequency detector (ul_charset_detect.h) and ASCII ratios; a
// check of a page's earlier code type from its title, content and URL; and a
// garbling score of GB18030 text.
//
// They read the bigram sets, the common-character set and the conversion
// grids loaded by ul_ccode_load (ul_ccode_load.h); without them the bigram
// evidence counts nothing. Each "notetype" form also stores the number of
// the rule that decided through out_type (when not NULL), so that callers can
// log why: 1 empty text, 2 front-page file, 3 Japanese or Korean charset,
// 4 no double-byte pairs, 5 bigram margin, 6 UTF-8, 7 UTF-8 mark with few
// hanzi, 8 and 9 few bigrams, 10 and 20 mostly ASCII, 21 declared UTF-8 and
// mostly ASCII, 12 frequency guess with many hanzi, 13 declared charset,
// 14 Korean or Japanese bigrams, 15 frequency guess, 16 and 17 undecided,
// 18 GB, 19 BIG5, 22 declared ISO and mostly ASCII, 11 otherwise; and for
// the content check 101 no URL, 102 little content, 103 Chinese, 104 not
// Chinese, 105 not UTF-8, 106 ASCII, 108 English, 109 GB, 107 otherwise.
// Nothing is logged; every function may run in any number of threads.
#ifndef UL_CCODE_CHECK_H_
#define UL_CCODE_CHECK_H_

// The code type of the NUL-terminated text pstr (its first 1020 visible
// characters are searched for a declared charset, its first 256 bytes of
// double-byte pairs are weighed), 0..3 or -1.
int ul_ccode_check_notetype(char* pstr, int* out_type);
int ul_ccode_check(char* pstr);
// 0 for a text that is mostly ASCII (at least 80% single bytes, a pair
// weighing 5) without two consecutive common characters; otherwise
// ul_ccode_check of it. 0 for NULL or an empty text.
int ul_ccode_check_realtext(const char* pstr);
// Confirms or corrects old_codetype (-1, 0..3) of a page from its title,
// content (GBK, up to 32,762 bytes read) and url: the result, or -1 for a
// NULL or empty url. NULL title or content count as empty.
int ul_ccode_check_content_notetype(const char* pTitle, const char* pContentSrc, const char* pUrl, int old_codetype,
                                    int* out_type);
int ul_ccode_check_content(const char* pTitle, const char* pContentSrc, const char* pUrl, int old_codetype);
// A garbling score of szIn bytes of GB18030 text (more unknown, invalid and
// '?' characters score higher; known characters and bigrams lower), scaled
// down for 5 characters or fewer; -1.0 for NULL or szIn <= 0.
double ul_ccode_gb_messy(char* strIn, int szIn);

// Helpers. gbk2gbi: szSrc with every GBK pair through the GBK -> GBI grid (a
// pair the grid has no cell for is copied), at most buff_size bytes with the
// NUL (a character that does not fit ends it); the bytes written before the
// NUL, -1 without the grid, for an empty source or bad arguments.
int gbk2gbi(const char* szSrc, char* szDes, int buff_size);
// 1 when fewer than 4 bytes of 0x80 and above stand before the first '?'
// (NULL counts as English), else 0.
int is_english_url(const char* url);
// Counts the ASCII bytes and the double-byte pairs of str (a high byte takes
// the next byte with it; one before the NUL ends the count).
void get_str_info(const char* str, int* ascii_num, int* no_ascii_num);
// 0 for NULL or an empty title; 1 when it has no pairs or four times its
// pairs are fewer than its ASCII bytes; else 0.
int is_ascii_title(const char* title);

#endif  // UL_CCODE_CHECK_H_
