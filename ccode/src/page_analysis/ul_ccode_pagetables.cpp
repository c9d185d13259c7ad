// The compact copies of the page detection's tables.
#include "ul_ccode_pagetables.h"

#include <memory>
#include <new>

namespace {

struct BigramCopy {
  const ccode_bigramset_t* set;
  CcodeKeySet copy;
};

struct PairCopy {
  const ccode_charset_t* set;
  std::unique_ptr<CcodePairBits> copy;
};

struct PageTables {
  CcodeWordIndex words;
  BigramCopy bigrams[6] = {{&l_setWords, {}}, {&l_setGbkjp, {}}, {&l_setKrjp, {}},
                           {&l_setEuckr, {}}, {&l_setSjis, {}},  {&l_setEucjp, {}}};
  PairCopy pairs[5] = {{&l_setGbkSimp, nullptr}, {&l_setGbkTrad, nullptr}, {&l_setGbkSimpPure, nullptr},
                       {&l_setGbkJpHanzi, nullptr}, {&l_setGbkJpHanziUnq, nullptr}};
  bool sets_made = false;
};

PageTables g_tables;

void ClearSetCopies() {
  g_tables.sets_made = false;
  for (BigramCopy& b : g_tables.bigrams) b.copy = CcodeKeySet();
  for (PairCopy& p : g_tables.pairs) p.copy.reset();
}

}  // namespace

const CcodeWordIndex& ccode_word_index() { return g_tables.words; }

const CcodeKeySet* ccode_bigram_copy(const ccode_bigramset_t& set) {
  if (!g_tables.sets_made) return nullptr;
  for (const BigramCopy& b : g_tables.bigrams) {
    if (b.set == &set) return &b.copy;
  }
  return nullptr;
}

const CcodePairBits* ccode_pair_copy(const ccode_charset_t& set) {
  if (!g_tables.sets_made) return nullptr;
  for (const PairCopy& p : g_tables.pairs) {
    if (p.set == &set) return p.copy.get();
  }
  return nullptr;
}

int ccode_set_copies_build() {
  ClearSetCopies();
  try {
    for (BigramCopy& b : g_tables.bigrams) b.copy.Assign(b.set->begin(), b.set->end());
    for (PairCopy& p : g_tables.pairs) {
      p.copy = std::make_unique<CcodePairBits>();
      for (uint16_t key : *p.set) p.copy->set(key);
    }
  } catch (const std::bad_alloc&) {
    ClearSetCopies();
    return -1;
  }
  g_tables.sets_made = true;
  return 0;
}

int ccode_page_tables_build() {
  ccode_page_tables_clear();
  if (!g_tables.words.Build() || ccode_set_copies_build() != 0) {
    ccode_page_tables_clear();
    return -1;
  }
  return 0;
}

void ccode_page_tables_clear() {
  g_tables.words.Clear();
  ClearSetCopies();
}
