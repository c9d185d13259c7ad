// The compact copies of the page detection's tables.
#include "ul_ccode_pagetables.h"

#include <new>

namespace {

struct BigramCopy {
  const ccode_bigramset_t* set;
  CcodeKeySet copy;
};

struct PageTables {
  CcodeWordIndex words;
  BigramCopy bigrams[6] = {{&l_setWords, {}}, {&l_setGbkjp, {}}, {&l_setKrjp, {}},
                           {&l_setEuckr, {}}, {&l_setSjis, {}},  {&l_setEucjp, {}}};
  bool bigrams_made = false;
};

PageTables g_tables;

void ClearBigramCopies() {
  g_tables.bigrams_made = false;
  for (BigramCopy& b : g_tables.bigrams) b.copy = CcodeKeySet();
}

}  // namespace

const CcodeWordIndex& ccode_word_index() { return g_tables.words; }

const CcodeKeySet* ccode_bigram_copy(const ccode_bigramset_t& set) {
  if (!g_tables.bigrams_made) return nullptr;
  for (const BigramCopy& b : g_tables.bigrams) {
    if (b.set == &set) return &b.copy;
  }
  return nullptr;
}

int ccode_bigram_copies_build() {
  ClearBigramCopies();
  try {
    for (BigramCopy& b : g_tables.bigrams) b.copy.Assign(b.set->begin(), b.set->end());
  } catch (const std::bad_alloc&) {
    ClearBigramCopies();
    return -1;
  }
  g_tables.bigrams_made = true;
  return 0;
}

int ccode_page_tables_build() {
  ccode_page_tables_clear();
  if (!g_tables.words.Build() || ccode_bigram_copies_build() != 0) {
    ccode_page_tables_clear();
    return -1;
  }
  return 0;
}

void ccode_page_tables_clear() {
  g_tables.words.Clear();
  ClearBigramCopies();
}
