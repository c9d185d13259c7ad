// The charset a web page declares, and charset names as code types
// (ul_ccode_type.h) with a confidence on the scale 0..1023 (1023 certain).
#ifndef UL_CCODE_CHARSET_H_
#define UL_CCODE_CHARSET_H_

// Writes into buffer (buffersize bytes with the NUL) the charset the page
// names, or an empty string. The page is read in chunks of 2,044 kept
// characters: bytes 0x20 and below are dropped and 'A'..'Z' lowered, so a
// name is found across blanks and line ends. A chunk whose first '<' opens
// "<rss" or "<?xml" is searched (alone) for "encoding", and gives "utf-8"
// when it has none; any other chunk for "charset" not preceded by a letter
// (outside a document.write call still open), followed within 12 characters
// by '=' and, within 14, by the first letter or digit of the value. The
// value ends at a double quote, '>' or the chunk's end, and has at most 20
// characters; one that does not fit buffer is passed over. A later chunk is
// searched only when nothing was found. NULL page: empty; NULL buffer or a
// buffersize below 1: nothing is written.
void find_charset(const char* page, char* buffer, int buffersize);

// Sets *charset_codetype and *charset_confidence from a lower-case charset
// name by substring tests in this order: "gb" GB; "big" BIG5; "iso-8859"
// ISO_8859_1; "sjis" SJIS; "ujis" EUCJP; "jis" with "shift" SJIS, without
// it SJIS at 511; "euc" with "kr" EUCKR, with "jp" or "jap" EUCJP, alone
// EUCJP at 511; "iso", "2022" and "jp" JIS; "autocht" BIG5; "utf" UTF8;
// anything else (and the empty name or NULL) -1. The confidence is 1023
// unless said otherwise. NULL outputs are not written.
void charset2codetype(const char* charset, int* charset_codetype, int* charset_confidence);

// The code type of the charset= value of an HTTP header text: the text
// after the first "charset=" to its end must be one of 25 exact names
// ("gb2312", "gbk", "utf-8", "shift-jis", "windows-1251", ...), else -2
// (CODETYPE_UNKNOWN), also for text without "charset=" or with anything
// after the name. The caller's text is rewritten in place first ('A'..'Z'
// lowered, '_' to '-'), so it must be writable. NULL: logged, -2.
int ul_ccode_http_charset(const char* http_codetype);

#endif  // UL_CCODE_CHARSET_H_
