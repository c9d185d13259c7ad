// Case and width folding of GBK byte strings.
//
// Each function reads the NUL-terminated text src and writes a NUL-terminated
// result to dst that is never longer than src, so dst may be src itself.
// Nothing happens when either pointer is null.
#ifndef UL_TRANSCH_H_
#define UL_TRANSCH_H_

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

#endif  // UL_TRANSCH_H_
