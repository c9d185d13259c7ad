// Word features of a web page for its language detection: the page text
// with markup skipped, cut into lower-cased words and scored against the 15
// per-language word models of the data directory (slots 0 English, 1 French,
// 2 Italian, 3 Spanish, 4 German, 5 Turkish, 6 Dutch, 7 Vietnamese, 8 Arabic,
// 9 Danish, 10 Finnish, 11 Portuguese, 12 Thai, 13 Indonesian, 14 Malay),
// with Thai and Arabic script counts and bytes illegal in twelve single-byte
// charsets.
#ifndef UL_CCODE_FEATURE_H_
#define UL_CCODE_FEATURE_H_

#include "ul_ccode_info.h"

// illegal[k][b] is 1 when byte b cannot occur in charset k: 0 ASCII,
// 1 ISO-8859-9, 2 Windows-1252, 3 Windows-1254, 4 ISO-8859-6, 5 ISO-8859-11,
// 6 TIS-620, 7 Windows-874, 8 Windows-1258, 9 Windows-1251, 10 ISO-8859-7,
// 11 Windows-1255.
extern const unsigned char (&illegal)[12][256];

// Fills the word and language fields of info (word_num, charlen,
// single_illegal, word_common, word_unique, word_freq, title_flag,
// title_freq, title_multiflag, title_lang, max_lang, guess_lang, the Thai and
// Arabic counts, url_suffix, str_content) from the NUL-terminated page, on a
// record that ccode_info_compute filled for the same page (its title vote
// refines title_lang). Words run between white space, punctuation, digits
// and markup; script, style and option elements are skipped, and an element
// left open ends the walk; numeric character references join the word as
// UTF-8, other entities cut it. A word longer than 510 bytes adds 170 to
// word_num and is dropped (what follows starts a new word). title_lang and
// max_lang are language numbers (ul_ccode_type.h), guess_lang a slot (-1
// none). 0, or -1 (logged) for a NULL info or page; a NULL url only leaves
// url_suffix empty (logged).
int ccode_feature_compute(_ccode_info_t* info, const char* page, const char* url);

// Looks at the text at ptr. A text byte (not white space, punctuation or a
// digit): 0, ptr unmoved. White space, punctuation, a digit: 1, one byte on;
// "nbsp": 1, four bytes on. A script, style or option element ("<script" or
// "<SCRIPT", ...): 1, past its closing tag (either case). Another tag: past
// its '>', with 2 for a title start ("<title" or "<TITLE") and 3 for a title
// end while title_flag is false, else 1. -1 (ptr unmoved) when the closing
// tag or '>' is missing.
int html_tag_filter(const char*& ptr, bool title_flag);

// Fills info->url_suffix with the last label of the host of url (the text
// from its eighth byte to the next '/'; at most 63 bytes; empty when the url
// has 10 bytes or fewer, no '/' after the host or no '.' in it), and sets
// prob_from_url[1..12] to 0.4 for the suffixes "fr", "it", "es", "de", "tr",
// "nl", "vn", "eg", "dk", "fi", "pt", "th" in that order (prob_from_url may be
// NULL). 0, or -1 (logged) for a NULL info or url.
int get_url_suffix(_ccode_info_t* info, const char* url, double* prob_from_url);

#endif  // UL_CCODE_FEATURE_H_
