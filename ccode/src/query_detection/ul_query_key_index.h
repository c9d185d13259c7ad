// A compact read-only index over the query-language tables of every
// language at once, built when a feature set has been loaded: one probe for
// a key answers for all languages, instead of one cold look-up in a large,
// sparse table per language.
//
// Keys live in kinds (the common words, and the forward and back-off tables
// of each n-gram order); a record holds the key's bytes, its kind, the set
// of languages that store it and their values. The table is open-addressed
// with 32-bit slots: 11 bits of the key's mixed hash (a fingerprint that
// skips most unequal records without touching them) and the record's
// place (so the records may fill at most 8 MB). Every match is confirmed
// on the key's bytes, so a look-up answers exactly what the language's own
// table answers.
//
// After Build the index is only read: any number of threads may look up at
// once.
#ifndef CCODE_SRC_UL_QUERY_KEY_INDEX_H_
#define CCODE_SRC_UL_QUERY_KEY_INDEX_H_

#include <stddef.h>
#include <stdint.h>

#include <string.h>

#include <string>
#include <string_view>
#include <vector>

#include "utils/ccode_hashmap.h"

class QueryKeyIndex {
 public:
  enum Kind { kWords = 0, kUnigram, kBigram, kBigBack, kTrigram, kTriBack, kKinds };

  // Languages are held as bits: at most this many may have tables.
  static constexpr int kMaxLangs = 16;
  // A key of more bytes is not indexed (look-ups of it then find nothing);
  // Build refuses a set that stores one.
  static constexpr size_t kMaxKeyBytes = 0xFFFF;
  // Records are placed in 4-byte units; a record must begin before unit
  // kMaxRecordUnit (Build refuses a set whose records reach further).
  static constexpr int kPlaceBits = 21;
  static constexpr size_t kMaxRecordUnit = (size_t{1} << kPlaceBits) - 1;

  // A back-off kind shares the records of its n-gram kind (the tables of an
  // order hold the same keys): its values are a record's second set.
  static constexpr int Home(int kind) { return kind == kBigBack || kind == kTriBack ? kind - 1 : kind; }
  static constexpr bool Second(int kind) { return kind != Home(kind); }

  // A record, 4-byte aligned in the record area: a header of the key's
  // length (16 bits), the mask of the languages of its first set of values
  // (16 bits), its kind (8 bits, a home kind), one unused byte and the mask
  // of its second set (16 bits); then the key's bytes (next to the header,
  // so that confirming a key reads one place), padded to 4 bytes; then one
  // 32-bit value per language of the first mask, lowest bit first, the
  // same for the second.
  typedef unsigned char Record;

  // One language's table of one kind: key -> value.
  typedef ccode::hashmap<std::string, int> Table;

  // Indexes tables[kind][lang] for the kinds first..last and the languages
  // 0..langs-1 that have them (words with a value above 0 only: the word
  // scores take no other). With prefixes, the index also keeps a filter of
  // its keys and every leading run of bytes of them (Filter). nullptr for
  // a missing array, a language with only some of the tables, more than
  // kMaxLangs languages, more than 128 languages in all, a key longer than
  // kMaxKeyBytes, a record beginning at or past kMaxRecordUnit, or when
  // memory runs out.
  static QueryKeyIndex* Build(Table** const* tables, int langs, int first, int last, bool prefixes);

  // The hash of a key, one byte at a time: Step(Step(Start(), a), b) is the
  // hash of "ab". The hash does not depend on the kind.
  static constexpr uint64_t Start() { return 0xcbf29ce484222325ULL; }
  static uint64_t Step(uint64_t h, char c) {
    return (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
  }

  // The probe of a key of the given kind and hash: where its slot run
  // begins and its fingerprint.
  struct Probe {
    size_t slot;
    uint32_t fingerprint;
    uint8_t kind;
  };
  Probe Locate(uint64_t h, int kind) const {
    kind = Home(kind);
    uint64_t m = (h ^ (h >> 31) ^ kKindSalt[kind]) * 0x9E3779B97F4A7C15ULL;
    m ^= m >> 29;
    return Probe{static_cast<size_t>(m >> shift_), static_cast<uint32_t>(m) & kFingerprintMask,
                 static_cast<uint8_t>(kind)};
  }
  // Look-ups of one caller remembered by where their key lies in one text:
  // the same bytes at the same offset, of the same kind, are not probed
  // again. A caller that
  // changes the text or moves to another calls Reset. Not shared between
  // threads.
  class Memo {
   public:
    Memo() { memset(entries_, 0, sizeof(entries_)); }
    void Reset() {
      base_ = nullptr;
      if (++generation_ == 0) {  // wrapped: no entry may match by accident
        memset(entries_, 0, sizeof(entries_));
        generation_ = 1;
      }
    }

   private:
    friend class QueryKeyIndex;
    static constexpr int kEntries = 256;
    struct Entry {
      uint32_t generation;
      uint32_t place;  // offset << 14 | length << 3 | kind
      const Record* record;
    };
    const char* base_ = nullptr;
    uint32_t generation_ = 1;
    Entry entries_[kEntries];
  };
  // As Find, for a key that lies in text, remembering the answer in memo.
  // Keys 262,144 bytes or more into text or of 2,048 bytes or more are
  // probed every time (their place would not fit the memo's 32 bits).
  const Record* Find(const Probe& p, std::string_view key, const char* text, Memo* memo) const {
    const size_t offset = static_cast<size_t>(key.data() - text);
    if (offset >= (size_t{1} << 18) || key.size() >= (size_t{1} << 11)) return Find(p, key);
    if (memo->base_ != text) {
      memo->Reset();
      memo->base_ = text;
    }
    const uint32_t place = static_cast<uint32_t>(offset << 14 | key.size() << 3 | p.kind);
    Memo::Entry& e = memo->entries_[(place * 0x9E3779B1u) >> 24];
    if (e.generation != memo->generation_ || e.place != place) {
      e.generation = memo->generation_;
      e.place = place;
      e.record = Find(p, key);
    }
    return e.record;
  }

  // What the filter says of the bytes whose hash is h: kNoKeyBegins when no
  // key of the index begins with them (then neither they nor any longer run
  // that begins with them is a key), else kSomeKeyBegins, with kMayBeKey
  // added unless they are surely no key themselves. Wrong answers are
  // possible only towards the larger value (about one in a hundred); an index
  // built without prefixes answers kSomeKeyBegins | kMayBeKey. One 64-bit
  // word is read, from a filter small enough to stay in cache.
  enum { kNoKeyBegins = 0, kSomeKeyBegins = 1, kMayBeKey = 2 };
  int Filter(uint64_t h) const {
    if (filter_.empty()) return kSomeKeyBegins | kMayBeKey;
    const uint64_t m = FilterMix(h);
    const uint64_t word = filter_[m >> filter_shift_];
    const uint64_t begins = BeginBits(m), key = KeyBits(m);
    if ((word & begins) != begins) return kNoKeyBegins;
    return (word & key) == key ? kSomeKeyBegins | kMayBeKey : kSomeKeyBegins;
  }

  // Starts loading the filter's word for the bytes whose hash is h.
  void PrefetchFilter(uint64_t h) const {
    if (!filter_.empty()) __builtin_prefetch(&filter_[FilterMix(h) >> filter_shift_]);
  }
  // Starts loading the probe's first slot.
  void Prefetch(const Probe& p) const { __builtin_prefetch(&slots_[p.slot]); }
  // The record of key in the probe's kind, or nullptr.
  const Record* Find(const Probe& p, std::string_view key) const;
  // True with *value when the record holds lang (any _LANG_T) for kind
  // (the kind looked up: its own or its back-off kind).
  bool Value(const Record* r, int kind, int lang, int* value) const {
    if (lang < 0 || lang >= kLangSlots || bit_[lang] < 0) return false;
    const unsigned bit = 1u << bit_[lang];
    const unsigned first = Field16(r, 2);
    const unsigned mask = Second(kind) ? Field16(r, 6) : first;
    if ((mask & bit) == 0) return false;
    const int skip = Second(kind) ? Count(first) : 0;
    int32_t v;
    memcpy(&v, r + ValuesAt(Field16(r, 0)) + 4 * (skip + Count(mask & (bit - 1))), sizeof(v));
    *value = v;
    return true;
  }
  // The number of bits set in a 16-bit mask (no instruction is assumed).
  static int Count(unsigned mask) {
    mask = mask - ((mask >> 1) & 0x5555u);
    mask = (mask & 0x3333u) + ((mask >> 2) & 0x3333u);
    mask = (mask + (mask >> 4)) & 0x0F0Fu;
    return static_cast<int>((mask + (mask >> 8)) & 0x1Fu);
  }

  // Bytes held: slots and records.
  size_t bytes() const { return slots_.size() * sizeof(uint32_t) + blob_.size() + filter_.size() * sizeof(uint64_t); }
  size_t records() const { return records_; }

 private:
  QueryKeyIndex() = default;

  static constexpr int kLangSlots = 128;
  static constexpr uint32_t kFingerprintMask = (uint32_t{1} << (32 - kPlaceBits)) - 1;
  static constexpr uint32_t kPlaceMask = (uint32_t{1} << kPlaceBits) - 1;
  static constexpr uint64_t kKindSalt[kKinds] = {0, 0x5bd1e9955bd1e995ULL, 0xc2b2ae3d27d4eb4fULL,
                                                 0x165667b19e3779f9ULL, 0x27d4eb2f165667c5ULL,
                                                 0x94d049bb133111ebULL};

  static constexpr size_t kHeader = 8;
  // Where a record's values begin: after its key, at a 4-byte boundary.
  static constexpr size_t ValuesAt(size_t key_bytes) { return kHeader + ((key_bytes + 3) & ~size_t{3}); }

  static unsigned Field16(const Record* r, size_t at) {
    uint16_t v;
    memcpy(&v, r + at, sizeof(v));
    return v;
  }

  static uint64_t FilterMix(uint64_t h) { return (h ^ (h >> 32)) * 0xbf58476d1ce4e5b9ULL; }
  static uint64_t BeginBits(uint64_t m) {
    return (uint64_t{1} << (m & 63)) | (uint64_t{1} << ((m >> 6) & 63)) | (uint64_t{1} << ((m >> 12) & 63));
  }
  static uint64_t KeyBits(uint64_t m) { return BeginBits(m >> 18); }

  // One word per run: three bits for each leading run of a key and three
  // more in the same word for each whole key.
  std::vector<uint64_t> filter_;
  int filter_shift_ = 64;
  std::vector<uint32_t> slots_;  // fingerprint << kPlaceBits | (record offset / 4 + 1); 0 empty
  std::vector<unsigned char> blob_;  // the records
  int shift_ = 64;
  size_t records_ = 0;
  int8_t bit_[kLangSlots];       // _LANG_T -> bit, -1 when not indexed
};

#endif  // CCODE_SRC_UL_QUERY_KEY_INDEX_H_
