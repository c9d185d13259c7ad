// The query-language scoring as the detection drives it: one (code type,
// language) pair scored with what the languages of one reading share kept
// between them.
#ifndef CCODE_SRC_UL_CCODE_QUERYLANG_PARTS_H_
#define CCODE_SRC_UL_CCODE_QUERYLANG_PARTS_H_

#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "ul_ccode_querylang.h"
#include "ul_query_key_index.h"

// What the word scoring of every language finds the same in one text: the
// longest-match candidate at each place (its characters and the hashes of
// its prefixes) and the answers of the index. One caller's; it starts afresh
// when the text differs from the last one (by address) and when the caller
// calls Reset, which it must when it changes the text in place.
class QueryReading {
 public:
  // The candidate that begins at one place of the text: the characters up
  // to the next separator (at most one past 1,023 bytes), or for Chinese
  // and Japanese no more than three once one is longer than a byte.
  struct Candidate {
    uint32_t chars;        // characters
    uint32_t ascii_chars;  // leading one-byte characters
    uint32_t ascii_bytes;  // their bytes (= ascii_chars)
    uint32_t first_len;    // bytes of the first character
    bool multibyte;        // a character of two or more bytes among them
    bool broken;           // a byte that begins no character among them
  };
  // Both candidates of a place and what the index may hold of them.
  struct Place {
    Candidate full, cjk;
    uint32_t reach;   // prefixes of more characters are no key of the index
    uint32_t first;   // the prefixes' bytes and hashes: at first..first+reach-1
  };

  void Reset() {
    memo.Reset();
    text_ = nullptr;
  }
  // The place at text + offset (a character boundary of the text),
  // gathered with the hash of words (Start, Step) and its Filter.
  // The reference holds until the next call. Every call for one text must
  // pass words of the same kind.
  template <class Words>
  const Place& At(const char* text, size_t offset, const Words& words);
  // Words whose filter is a function of the hash (the hash being the
  // index's): At is made for it too.
  struct HashWords {
    int (*filter)(uint64_t);
    static uint64_t Start() { return QueryKeyIndex::Start(); }
    static uint64_t Step(uint64_t h, char c) { return QueryKeyIndex::Step(h, c); }
    int Filter(uint64_t h) const { return filter(h); }
    void PrefetchFilter(uint64_t) const {}
  };
  // Bytes of the prefix of k + 1 characters (k < reach), and whether the
  // filter lets it be a key.
  uint32_t PrefixBytes(const Place& p, size_t k) const { return bytes_[p.first + k] >> 1; }
  bool PrefixMayBeKey(const Place& p, size_t k) const { return (bytes_[p.first + k] & 1) != 0; }
  uint64_t PrefixHash(const Place& p, size_t k) const { return hashes_[p.first + k]; }

  QueryKeyIndex::Memo memo;

 private:
  // The run of characters from one place of the text up to a separator or
  // a byte that begins no character (its end).
  struct TailInfo {
    uint32_t chars;       // characters
    uint32_t ascii;       // leading one-byte characters
    uint32_t multibytes;  // characters of two bytes or more
    uint32_t span;        // bytes up to its end
    bool broken;          // the end is a byte that begins no character
    bool known;
  };
  // The character at text + at: its bytes, or -1 when none begins there.
  int Length(const char* text, size_t at);
  // Fills tails_ and next_ for the run from offset.
  void Tail(const char* text, size_t offset);

  const char* text_ = nullptr;
  std::vector<TailInfo> tails_;  // per byte offset
  std::vector<uint32_t> next_;   // per byte offset of a run: where the first character at or after it begins
  std::vector<uint32_t> chain_;  // places walked by Tail
  std::vector<int32_t> slot_;   // per byte offset: index in places_ + 1, 0 unknown
  std::vector<int8_t> lens_;    // per byte offset: its character's bytes, -1 none, 0 unknown
  std::vector<Place> places_;
  std::vector<uint32_t> bytes_;  // prefix bytes << 1 | may be a key
  std::vector<uint64_t> hashes_;
};

// ul_ccode_langtype_all, sharing reading's look-ups (NULL: none).
int ul_ccode_langtype_memo(char* text, int code, int* eng, LANGFEATURESET* fs, CODELANG_VECTOR* info,
                           unsigned int& count, int mode, int* top, bool* flags, int lang, int start,
                           QueryReading* reading);

// Empties the first `keep` entries of info and every later one up to the
// first that is empty already. A list that only detection fills holds its
// filled entries first, so this leaves it all empty; for any list, what a
// detection reads (the entries it fills and the first `keep` it prints)
// starts empty.
void ClearCandidates(CODELANG_VECTOR* info, size_t keep);
// ul_ccode_gettoptrust for a list whose entries from n on are empty (as
// ClearCandidates leaves them): only the first n are ranked.
void RankCandidates(CODELANG_VECTOR* info, size_t n, int mode);

#endif  // CCODE_SRC_UL_CCODE_QUERYLANG_PARTS_H_
