// Compact read-only copies of the page detection's loaded tables: the word
// models (CcodeWordIndex), the bigram sets of the code-type vote
// (CcodeKeySet) and the GBK character sets of the page statistics (one bit
// per two-byte key). The loader makes them anew whenever it has read the page
// data and drops them with the tables; in between they are read-only, like
// the tables they copy, and give the same answers.
#ifndef CCODE_SRC_UL_CCODE_PAGETABLES_H_
#define CCODE_SRC_UL_CCODE_PAGETABLES_H_

#include <bitset>

#include "ul_ccode_data.h"
#include "ul_ccode_keyset.h"
#include "ul_ccode_wordindex.h"

// The index of the word models (empty before a load and after ul_ccode_del).
const CcodeWordIndex& ccode_word_index();

// The copy of one of the loaded bigram sets (l_setWords, l_setGbkjp,
// l_setKrjp, l_setEuckr, l_setSjis, l_setEucjp), or NULL when it has none
// (another set, or no copy made since the last ul_ccode_del).
const CcodeKeySet* ccode_bigram_copy(const ccode_bigramset_t& set);

// One bit per key of a set of two-byte keys.
typedef std::bitset<65536> CcodePairBits;

// The copy of one of the loaded GBK character sets (l_setGbkSimp,
// l_setGbkTrad, l_setGbkSimpPure, l_setGbkJpHanzi, l_setGbkJpHanziUnq), or
// NULL as for ccode_bigram_copy.
const CcodePairBits* ccode_pair_copy(const ccode_charset_t& set);

// Makes every copy anew from the tables as they stand: 0, or -1 with no
// copies when memory runs out.
int ccode_page_tables_build();
// Makes the copies of the bigram and character sets alone anew, after a
// change to a loaded set: 0, or -1 with no such copies (the sets answer
// then).
int ccode_set_copies_build();
void ccode_page_tables_clear();

// For the loader: makes the copies when it goes out of scope unless Now()
// made them, so that the copies follow the tables on every way out of a
// load.
class CcodePageTablesRebuild {
 public:
  CcodePageTablesRebuild() = default;
  ~CcodePageTablesRebuild() {
    if (!done_) ccode_page_tables_build();
  }
  CcodePageTablesRebuild(const CcodePageTablesRebuild&) = delete;
  CcodePageTablesRebuild& operator=(const CcodePageTablesRebuild&) = delete;
  bool Now() {
    done_ = true;
    return ccode_page_tables_build() == 0;
  }

 private:
  bool done_ = false;
};

#endif  // CCODE_SRC_UL_CCODE_PAGETABLES_H_
