// The word models of the page word features in one compact table.
//
// Scoring a word of a page asks l_globalWord for its slot bits and then
// l_mapWord[k] for every slot k it names: up to sixteen chained hash
// look-ups over tables of 65,536 and 1,048,576 buckets, each a cache miss.
// This index holds the same answers for every word of those tables in one
// open-addressing table of 16-byte entries (a word's slot bits, which models
// hold it and their values side by side), so that a word costs one probe
// into a table that stays in cache. The loader rebuilds it whenever it reads
// the word models and drops it with them; it is read-only in between, like
// the tables it mirrors (ul_ccode_pagetables.h).
#ifndef CCODE_SRC_UL_CCODE_WORDINDEX_H_
#define CCODE_SRC_UL_CCODE_WORDINDEX_H_

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <string_view>
#include <vector>

class CcodeWordIndex {
 public:
  // What the tables say of one word.
  struct Word {
    bool global = false;       // l_globalWord holds the word
    unsigned global_bits = 0;  // its slot bits there (slots 0..14)
    unsigned model_bits = 0;   // the slots k whose l_mapWord[k] holds the word
    const double* values = nullptr;  // their values, one per bit of model_bits, lowest slot first

    bool InModel(int k) const { return (model_bits >> k & 1u) != 0; }
    // The value of slot k; InModel(k) must hold.
    double Value(int k) const { return values[__builtin_popcount(model_bits & ((1u << k) - 1))]; }
  };

  // Fills *w for word and returns true when any of the tables holds it.
  bool Find(std::string_view word, Word* w) const;

  // Rebuilds the index from the loaded l_globalWord and l_mapWord (empty
  // tables give an empty index). False, with an empty index, when memory
  // runs out.
  bool Build();
  void Clear();
  size_t size() const { return words_; }

 private:
  struct Entry {
    uint32_t text = 0;    // offset of the word in text_
    uint32_t values = 0;  // offset of its first value in values_
    uint16_t len = 0;     // 0: a free entry
    uint16_t model_bits = 0;
    uint16_t global = 0;  // bit 15: in l_globalWord; bits 0..14: its slot bits
    uint16_t tag = 0;     // high bits of the word's hash
  };
  static_assert(sizeof(Entry) == 16, "one entry, a quarter of a cache line");

  std::vector<Entry> table_;  // a power of two entries, at most 3/4 used
  std::string text_;
  std::vector<double> values_;
  size_t words_ = 0;
};

#endif  // CCODE_SRC_UL_CCODE_WORDINDEX_H_
