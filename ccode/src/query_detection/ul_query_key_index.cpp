// Building and probing the shared index of the query-language tables.
#include "ul_query_key_index.h"

#include <new>
#include <string>
#include <unordered_map>
#include <utility>

constexpr uint64_t QueryKeyIndex::kKindSalt[QueryKeyIndex::kKinds];

namespace {

// One language's value of a key: its bit, the value, and whether it is of
// the record's second set.
struct Held {
  int bit;
  int value;
  bool second;
};
// Per (home kind, key): what the languages store, in increasing bit order
// within each set (languages are visited in that order).
typedef std::unordered_map<std::string, std::vector<Held>> Gathered;

}  // namespace

QueryKeyIndex* QueryKeyIndex::Build(Table** const* tables, int langs, int first, int last, bool prefixes) {
  if (tables == nullptr || langs < 0 || langs > kLangSlots || first < 0 || last >= kKinds || first > last) {
    return nullptr;
  }
  for (int kind = first; kind <= last; ++kind) {
    if (tables[kind] == nullptr) return nullptr;
  }
  QueryKeyIndex* index = new (std::nothrow) QueryKeyIndex();
  if (index == nullptr) return nullptr;
  try {
    for (int8_t& b : index->bit_) b = -1;
    Gathered keys;
    size_t stored = 0;
    for (int lang = 0; lang < langs; ++lang) {
      int present = 0;
      for (int kind = first; kind <= last; ++kind) {
        if (tables[kind][lang] == nullptr) continue;
        stored += tables[kind][lang]->size();
        ++present;
      }
      if (present != 0 && present != last - first + 1) throw std::bad_alloc();
    }
    keys.reserve(stored);
    int bits = 0;
    for (int lang = 0; lang < langs; ++lang) {
      if (tables[first][lang] == nullptr) continue;
      if (bits == kMaxLangs) throw std::bad_alloc();
      const int bit = bits++;
      index->bit_[lang] = static_cast<int8_t>(bit);
      for (int kind = first; kind <= last; ++kind) {
        Table* t = tables[kind][lang];
        for (auto it = t->begin(); it != t->end(); ++it) {
          if (kind == kWords && it->second <= 0) continue;
          if (it->first.size() > kMaxKeyBytes) throw std::bad_alloc();
          std::string key(1, static_cast<char>(Home(kind)));
          key += it->first;
          keys[key].push_back(Held{bit, it->second, Second(kind)});
        }
      }
    }
    if (prefixes) {
      // At least six bits per leading run (many runs are shared by keys).
      size_t runs = 0;
      for (const auto& entry : keys) runs += entry.first.size() - 1;
      size_t words = 64;
      while (words * 64 < 6 * runs) words *= 2;
      index->filter_.assign(words, 0);
      index->filter_shift_ = 64 - __builtin_ctzll(words);
      for (const auto& entry : keys) {
        uint64_t h = Start();
        uint64_t m = 0;
        for (size_t i = 1; i < entry.first.size(); ++i) {
          h = Step(h, entry.first[i]);
          m = FilterMix(h);
          index->filter_[m >> index->filter_shift_] |= BeginBits(m);
        }
        if (entry.first.size() > 1) index->filter_[m >> index->filter_shift_] |= KeyBits(m);
      }
    }
    // At most 70% of the slots in use: a miss rarely scans past one cache
    // line (16 slots), and the table stays small.
    size_t slots = 16;
    while (slots * 7 < keys.size() * 10) slots *= 2;
    index->slots_.assign(slots, 0);
    index->shift_ = 64 - __builtin_ctzll(slots);
    for (const auto& entry : keys) {
      const std::string_view key = std::string_view(entry.first).substr(1);
      const size_t at = index->blob_.size();
      if (at / 4 + 1 > kMaxRecordUnit) throw std::bad_alloc();
      uint16_t masks[2] = {0, 0};
      for (const Held& v : entry.second) masks[v.second] = static_cast<uint16_t>(masks[v.second] | 1u << v.bit);
      const uint16_t len = static_cast<uint16_t>(key.size());
      index->blob_.resize(at + ValuesAt(key.size()) + 4 * entry.second.size(), 0);
      unsigned char* r = &index->blob_[at];
      memcpy(r, &len, 2);
      memcpy(r + 2, &masks[0], 2);
      r[4] = static_cast<unsigned char>(entry.first[0]);
      memcpy(r + 6, &masks[1], 2);
      memcpy(r + kHeader, key.data(), key.size());
      unsigned char* values = r + ValuesAt(key.size());
      size_t n = 0;
      for (bool second : {false, true}) {
        for (const Held& v : entry.second) {
          if (v.second != second) continue;
          const int32_t value = v.value;
          memcpy(values + 4 * n++, &value, 4);
        }
      }
      uint64_t h = Start();
      for (char c : key) h = Step(h, c);
      const Probe p = index->Locate(h, entry.first[0]);
      size_t s = p.slot;
      while (index->slots_[s] != 0) s = (s + 1) & (slots - 1);
      index->slots_[s] = p.fingerprint << kPlaceBits | static_cast<uint32_t>(at / 4 + 1);
    }
    index->records_ = keys.size();
    index->blob_.shrink_to_fit();
  } catch (const std::bad_alloc&) {
    delete index;
    return nullptr;
  }
  return index;
}

const QueryKeyIndex::Record* QueryKeyIndex::Find(const Probe& p, std::string_view key) const {
  if (key.size() > kMaxKeyBytes || slots_.empty()) return nullptr;
  const size_t last = slots_.size() - 1;
  for (size_t i = p.slot;; i = (i + 1) & last) {
    const uint32_t s = slots_[i];
    if (s == 0) return nullptr;
    if (s >> kPlaceBits != p.fingerprint) continue;
    const Record* r = &blob_[((s & kPlaceMask) - 1) * size_t{4}];
    if (r[4] != p.kind || Field16(r, 0) != key.size()) continue;
    if (memcmp(r + kHeader, key.data(), key.size()) == 0) return r;
  }
}
