// Japanese fallback tables: UCS-2 to Shift_JIS and EUC-JP for the vendor
// characters the platform converter does not know, and the half-width
// katakana folding tables.
#ifndef CCODE_SRC_UL_JCODE_TABLE_H_
#define CCODE_SRC_UL_JCODE_TABLE_H_

#include <stddef.h>
#include <stdint.h>

#include "ul_ccode_conv.h"

// Vendor rows (ul_jcode_rows.cpp): UCS-2 code points, 0xFFFD for none.
extern const uint16_t sjis_row_13[93];      // Shift_JIS 87 40..87 9C
extern const uint16_t sjis_row89_92[384];   // ED 40..ED FF, EE 40..EE FF
extern const uint16_t sjis_fa[400];         // FA 40..FA FF, FB 40..FB FF, FC 40..FC 4F
extern const uint16_t eucjp_row_13[93];     // EUC-JP AD A0..AD FC
extern const uint16_t eucjp_row89_92[384];  // F9 A0..FC FF, 96 per lead

// Code point -> Shift_JIS or EUC-JP code (high byte first), 0 for none.
// One entry per 16-bit code point; until ul_jcode_transfer_init has run the
// first two entries are 0xFFFF.
constexpr size_t kJcodeTableSize = 0x10000;
extern uint16_t unicode2sjis[kJcodeTableSize];
extern uint16_t unicode2eucjp[kJcodeTableSize];

// Half-width katakana folding (ul_jcode_rows.cpp): the full-width GBK code
// (high byte first, 0 for none) of U+FF61 + i, and for GBK kana trails
// AB..DB whether the kana takes the voiced mark (1) or also the semi-voiced
// mark (2).
extern const uint16_t GB_BJ2QJ[63];
extern const int zhuoyin[49];
extern const int MULTIP_10[10];

// Builds unicode2sjis and unicode2eucjp once (a built table is kept); 0.
int ul_jcode_transfer_init();

// The GB18030 bytes (2 or 4, written to out) of the vendor character of a
// Shift_JIS or EUC-JP pair, converted with jp2gb->unicode2gb; 0 when the pair
// is no vendor character or does not convert.
int find_sjis(unsigned char lead, unsigned char trail, _jp2gb_t* jp2gb, char* out);
int find_eucjp(unsigned char lead, unsigned char trail, _jp2gb_t* jp2gb, char* out);

// For the GB18030 character at gb (avail bytes readable): writes its
// Shift_JIS or EUC-JP vendor code (2 bytes) to out, converting it with
// gb2jp->gb2unicode, and returns the character's length (2 or 4); 0 when it
// has none (level 2 "have not init jcode transfer!\n" before the tables are
// built).
int get_sjis4gb(const char* gb, size_t avail, _gb2jp_t* gb2jp, char* out);
int get_eucjp4gb(const char* gb, size_t avail, _gb2jp_t* gb2jp, char* out);

#endif  // CCODE_SRC_UL_JCODE_TABLE_H_
