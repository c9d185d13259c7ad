// Special words: characters that the GBK/BIG5 -> GBI grids cannot convert one
// to one, decided from the surrounding text ("code/gbk.special",
// "code/big5.special").
#ifndef CCODE_SRC_UL_SPECIAL_WORD_H_
#define CCODE_SRC_UL_SPECIAL_WORD_H_

// Reads both special-word files of path + "/code/" into the special-word
// tables (cleared first). 1, or 0 (logged) when a file cannot be opened or
// a line is damaged.
int special_word_load(const char* path);
// Zeroes the GBI grid cells of the loaded special characters, so that the
// converters decide them by context.
void modify_map();
// Frees the special-word tables with their context lists.
void special_word_destroy();

#endif  // CCODE_SRC_UL_SPECIAL_WORD_H_
