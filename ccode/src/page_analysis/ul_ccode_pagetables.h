// Compact read-only copies of the page detection's loaded tables: the word
// models (CcodeWordIndex) and the bigram sets of the code-type vote
// (CcodeKeySet). The loader makes them anew whenever it has read the page
// data and drops them with the tables; in between they are read-only, like
// the tables they copy, and give the same answers.
#ifndef CCODE_SRC_UL_CCODE_PAGETABLES_H_
#define CCODE_SRC_UL_CCODE_PAGETABLES_H_

#include "ul_ccode_data.h"
#include "ul_ccode_keyset.h"
#include "ul_ccode_wordindex.h"

// The index of the word models (empty before a load and after ul_ccode_del).
const CcodeWordIndex& ccode_word_index();

// The copy of one of the loaded bigram sets (l_setWords, l_setGbkjp,
// l_setKrjp, l_setEuckr, l_setSjis, l_setEucjp), or NULL when it has none
// (another set, or no copy made since the last ul_ccode_del).
const CcodeKeySet* ccode_bigram_copy(const ccode_bigramset_t& set);

// Makes every copy anew from the tables as they stand: 0, or -1 with no
// copies when memory runs out.
int ccode_page_tables_build();
// Makes the bigram copies alone anew, after a change to a loaded set: 0,
// or -1 with no bigram copies (the sets answer then).
int ccode_bigram_copies_build();
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
