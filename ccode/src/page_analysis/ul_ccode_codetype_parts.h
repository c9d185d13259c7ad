// The pieces of the code-type detection that the page language detection
// applies as well: the bigram vote of the double-byte code types and the
// mark of a mostly Latin-1 page.
#ifndef CCODE_SRC_UL_CCODE_CODETYPE_PARTS_H_
#define CCODE_SRC_UL_CCODE_CODETYPE_PARTS_H_

#include "ul_ccode_confidence.h"
#include "ul_ccode_info.h"

// A page is Latin-1 when codetype_iso_8859_1 x 100 is above this mark
// (819 and up of kCertain).
constexpr int kLatin1Mark = 81839;

// Which pages the vote lets a weak winner through on.
enum class ShortPages {
  kLenient,  // a page of fewer than 20 distinct pairs needs fewer hits
  kStrict,   // every page needs the same hits
};

// Runs the five double-byte scorers (GBK, BIG5, Shift_JIS, EUC-JP, EUC-KR)
// and sets info->bigram_codetype to the best scorer's code type and
// info->bigram_confidence to its lead over the second, 0 when its hits are
// too few to count. Leaves both as they are when fewer than two scorers
// answer or the best scores below 1.
void ccode_bigram_vote(_ccode_info_t* info, ShortPages short_pages);

// The code type the vote decides: the winner when its confidence clears the
// marks (more of it when the declared charset disagrees), `undecided` when it
// does not; without a winner, the declared charset's code type, or
// `undecided` when none was declared.
int ccode_vote_outcome(const _ccode_info_t* info, int undecided);

#endif  // CCODE_SRC_UL_CCODE_CODETYPE_PARTS_H_
