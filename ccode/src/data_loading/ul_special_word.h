// Special words: characters that the GBK/BIG5 -> GBI grids cannot convert one
// to one, decided from the surrounding text ("code/gbk.special",
// "code/big5.special").
//
// A line of a special-word file holds the character, its replacement when no
// context matches (word_after), in "big5.special" the GBK form used when a
// context matches, then groups of three blank-separated tokens: a context
// text of at least 4 bytes and the number of characters of it before and
// after the special character.
#ifndef CCODE_SRC_UL_SPECIAL_WORD_H_
#define CCODE_SRC_UL_SPECIAL_WORD_H_

#include <stdint.h>

// One context of a special character. The list is tried in order.
struct _word_context_list_t {
  uint16_t upper_context;  // characters of the context before the special one
  uint16_t next_context;   // characters after it
  char* context;           // NUL-terminated, owned by the node
  _word_context_list_t* next;
};

// One special character (a zero word_before: no special-word line).
struct _special_word_t {
  unsigned char word_before[2];  // the character itself
  unsigned char word_after[2];   // its replacement when no context matches
  _word_context_list_t* context_list;
};

// For a BIG5 special character: its GBK form, used when a context matches.
struct gbk4special_big5_word_t {
  unsigned char gbk4special_big5[2];
};

// Slots by cell index (ul_grid_cell.h); NULL until special_word_load.
constexpr int kGbkSpecialSlots = 24066;   // 126 x 191
constexpr int kBig5SpecialSlots = 13973;  // 89 x 157
extern _special_word_t* g_gbk_hash_table;
extern _special_word_t* g_big5_hash_table;
extern gbk4special_big5_word_t* g_gbk4special_big5_table;

// Reads both special-word files of path + "/code/" into the special-word
// tables (cleared first). 1, or 0 (logged) when a file cannot be opened or
// a line is damaged; the lines before a damaged one stay loaded.
int special_word_load(const char* path);
// Zeroes the cells of the loaded special characters in the GBI grids of GBK
// (gbk_grid) and of BIG5 (big5_grid), so that the converters decide them by
// context. A NULL grid is left alone. The grids are the loader's, passed in
// so that this file needs nothing of the loader.
void modify_map(unsigned char* gbk_grid, unsigned char* big5_grid);
// Frees the special-word tables with their context lists.
void special_word_destroy();

// Writes the replacement of the special character at src[srcpos] into
// dst[dstpos] and dst[dstpos + 1], judged on the first len bytes of src: the
// first context of slot that surrounds it keeps the character (or, for a
// BIG5 source, gives gbk4special's GBK form); else word_after. A slot that
// is NULL or has no usable replacement gives two blanks.
void trans_special_word(const unsigned char* src, unsigned char* dst, int srcpos, int dstpos, int len,
                        const _special_word_t* slot, const gbk4special_big5_word_t* gbk4special);

#endif  // CCODE_SRC_UL_SPECIAL_WORD_H_
