// Table conversion between BIG5 (traditional Chinese), GBK and GBI text, and
// small tests on GBK text.
//
// GBI is text in the GBK byte layout whose characters have been normalised
// (simplified). Each conversion looks every source pair up in one of the six
// grids that ul_ccode_load reads (ul_ccode_load.h); a character the grid
// cannot convert one to one (a special word, loaded with flag bit 1) is
// decided from the text around it. The converters only read process-wide
// tables and may run in any number of threads at once.
//
// Every converter writes exactly as many bytes as it reads (a pair becomes a
// pair, a single byte a byte), so dst must hold len + 1 bytes (the length of
// src + 1 when len <= 0). With len <= 0 the text is NUL-terminated and so is
// the result; with an explicit len the result is terminated only when src has
// a NUL at src[len] (which must be readable), so converting a slice of a
// longer text writes no terminator. A pair is only read where both of its
// bytes lie within len.
#ifndef UL_BIG5_GBK_H_
#define UL_BIG5_GBK_H_

// BIG5 source: a BIG5 pair goes through the grid; another pair with a lead
// above 9F and a trail above 3F becomes two blanks; any other byte above 80
// is copied with the byte after it; other bytes are copied. The number of
// source bytes, or -1 (logged) when the grid is not loaded.
int ul_big5_gbk_str(const unsigned char* src, unsigned char* dst, int len);
int ul_big5_gbi_str(const unsigned char* src, unsigned char* dst, int len);

// GBK or GBI source: a GBK pair goes through the grid; any other byte above
// 80 is copied with the byte after it; other bytes are copied. The number of
// source bytes, or -1 (logged) when the grid is not loaded.
int ul_gbk_big5_str(const unsigned char* src, unsigned char* dst, int len);
int ul_gbk_gbi_str(const unsigned char* src, unsigned char* dst, int len);
int ul_gbi_big5_str(const unsigned char* src, unsigned char* dst, int len);
int ul_gbi_gbk_str(const unsigned char* src, unsigned char* dst, int len);

// The two walks behind them, on a grid of the BIG5 or the GBK layout (NULL:
// logged, -1).
int big5_to_str(const unsigned char* grid, const unsigned char* src, unsigned char* dst, int len);
int gbk_to_str(const unsigned char* grid, const unsigned char* src, unsigned char* dst, int len);

// 1 when the NUL-terminated GBK text s holds more traditional-only than
// simplified characters (by the loaded character sets), else 0.
int ul_is_tradgbk_str(const char* s);
// 1 when the double-byte part of the NUL-terminated text s (its first 128
// pairs) reads as GBK Chinese: few GB2312 hanzi, or enough known bigrams of
// them after GBK -> GBI conversion. 0 otherwise (also for text without
// pairs or before the grids are loaded).
int is_gbk_str(const char* s);

// Two-byte predicates: GB2312 level-1 hanzi (lead B0..D7, trail A1..FE);
// the rows of kana, Greek, Cyrillic and phonetic symbols (lead A4..A8,
// trail A1..FE).
int is_gb1(const unsigned char* pair);
int is_foreign(const unsigned char* pair);

#endif  // UL_BIG5_GBK_H_
