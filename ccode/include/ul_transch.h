// Case and width folding of GBK byte strings, and the dispatchers that
// bring text of a given code type to GBK, GBI or GB18030.
//
// Each folding function reads the NUL-terminated text src and writes a
// NUL-terminated result to dst that is never longer than src, so dst may be
// src itself. Nothing happens when either pointer is null.
#ifndef UL_TRANSCH_H_
#define UL_TRANSCH_H_

// The per-thread converter record (ul_ccode_conv.h).
struct _ccode_conv_t;

// Lowers the ASCII capitals 'A'..'Z'. A byte of 0x80 or above is copied
// together with the byte after it (unless that byte ends the text), so the
// trail byte of a double-byte character is never changed.
void ul_trans2lower(const char* src, char* dst);

// Folds full-width ASCII (row 0xA3) to half-width: A3A1 gives '!', A3C1 'A'.
void ul_trans2bj(const char* src, char* dst);

// Folds the symbols of row 0xA1 that have an ASCII form (A1A1 gives ' ',
// A1A2 ',', A1E7 '$', ...).
void ul_trans2bj_ext(const char* src, char* dst);

// Optional 96-byte maps, indexed by the second byte minus 0xA0, that replace
// the built-in foldings of ul_trans2bj and ul_trans2bj_ext. They are filled by
// the character-code data loader and are null until it has run.
extern unsigned char* map_for_bj;
extern unsigned char* map_for_bj_ext;

// Dispatchers ----------------------------------------------------------------
//
// They convert the NUL-terminated text of code type type (ul_ccode_type.h):
// 0, or -1 when a step fails. A code type without a conversion is copied.

// To GBI, with no destination size: dst must hold strlen(text) + 1 bytes.
// CODETYPE_GB text is read as GBK, CODETYPE_BIG5 through the BIG5 -> GBI
// grid, CODETYPE_UTF8 through GBK.
int ul_trans2gb(const char* text, char* dst, int type);

// To GBI in dst (size bytes with the NUL): CODETYPE_GB text is read as
// GB18030, CODETYPE_BIG5 through the BIG5 -> GBI grid, CODETYPE_UTF8 through
// GB18030 with state's converter. -1 (logged) for NULL pointers, a size
// below 1, or a size that cannot hold the result of a table conversion or
// copy (strlen(text) + 1). The forms without state use the calling thread's
// (-1, logged, when it has none).
int ul_trans2gbi(const char* text, char* dst, int size, int type, _ccode_conv_t* state);
int ul_trans2gbi(const char* text, char* dst, int size, int type);
// To GB18030 in dst (size bytes with the NUL): CODETYPE_BIG5 by table,
// CODETYPE_UTF8, CODETYPE_JIS, CODETYPE_SJIS and CODETYPE_EUCJP with state's
// converters (their unconvertible bytes become blanks); as ul_trans2gbi
// otherwise.
int ul_trans2gb18030(const char* text, char* dst, int size, int type, _ccode_conv_t* state);
int ul_trans2gb18030(const char* text, char* dst, int size, int type);
// The same, with an empty text giving an empty dst and 0.
int ul_trans2gbi_str(const char* text, char* dst, int size, int type, _ccode_conv_t* state);
int ul_trans2gbi_str(const char* text, char* dst, int size, int type);
int ul_trans2gb18030_str(const char* text, char* dst, int size, int type, _ccode_conv_t* state);
int ul_trans2gb18030_str(const char* text, char* dst, int size, int type);

#endif  // UL_TRANSCH_H_
