// The compact index of the word models.
#include "ul_ccode_wordindex.h"

#include <string.h>

#include <new>
#include <unordered_map>

#include "ul_ccode_data.h"

namespace {

static_assert(kUnigramSlots <= 15, "slot bits fit 15 bits beside the l_globalWord flag");
constexpr uint16_t kInGlobal = 0x8000;
constexpr uint16_t kSlotMask = 0x7FFF;

uint64_t Mix(uint64_t h) {
  h ^= h >> 31;
  h *= 0xBF58476D1CE4E5B9ull;
  return h ^ (h >> 29);
}

// A hash of the word's bytes, eight at a time.
uint64_t HashWord(std::string_view w) {
  uint64_t h = 0x9E3779B97F4A7C15ull ^ w.size();
  size_t i = 0;
  for (; i + 8 <= w.size(); i += 8) {
    uint64_t x;
    memcpy(&x, w.data() + i, 8);
    h = Mix(h ^ x);
  }
  if (i < w.size()) {
    uint64_t x = 0;
    memcpy(&x, w.data() + i, w.size() - i);
    h = Mix(h ^ x);
  }
  return Mix(h * 0x94D049BB133111EBull);
}

}  // namespace

bool CcodeWordIndex::Find(std::string_view word, Word* w) const {
  if (table_.empty() || word.empty() || word.size() > UINT16_MAX) return false;
  const uint64_t h = HashWord(word);
  const uint16_t tag = static_cast<uint16_t>(h >> 48);
  const size_t mask = table_.size() - 1;
  for (size_t i = h & mask;; i = (i + 1) & mask) {
    const Entry& e = table_[i];
    if (e.len == 0) return false;
    if (e.tag == tag && e.len == word.size() && memcmp(text_.data() + e.text, word.data(), word.size()) == 0) {
      w->global = (e.global & kInGlobal) != 0;
      w->global_bits = e.global & kSlotMask;
      w->model_bits = e.model_bits;
      w->values = values_.data() + e.values;
      return true;
    }
  }
}

bool CcodeWordIndex::Build() {
  Clear();
  struct Gathered {
    uint16_t global = 0, model_bits = 0;
    double values[kUnigramSlots] = {};
  };
  try {
    std::unordered_map<std::string, Gathered> words;
    // Words longer than a length field are never looked up: the feature
    // scoring cuts words far shorter.
    auto keep = [](const std::string& word) { return !word.empty() && word.size() <= UINT16_MAX; };
    for (auto it = l_globalWord.begin(); it != l_globalWord.end(); ++it) {
      if (keep(it->first)) words[it->first].global = static_cast<uint16_t>(kInGlobal | (it->second & kSlotMask));
    }
    for (int k = 0; k < kUnigramSlots; ++k) {
      for (auto it = l_mapWord[k].begin(); it != l_mapWord[k].end(); ++it) {
        if (!keep(it->first)) continue;
        Gathered& g = words[it->first];
        g.model_bits = static_cast<uint16_t>(g.model_bits | 1u << k);
        g.values[k] = it->second;
      }
    }
    size_t capacity = 16;
    while (capacity * 3 < words.size() * 4) capacity *= 2;
    table_.assign(capacity, Entry());
    for (const auto& [word, g] : words) {
      Entry e;
      e.text = static_cast<uint32_t>(text_.size());
      e.values = static_cast<uint32_t>(values_.size());
      e.len = static_cast<uint16_t>(word.size());
      e.model_bits = g.model_bits;
      e.global = g.global;
      const uint64_t h = HashWord(word);
      e.tag = static_cast<uint16_t>(h >> 48);
      text_ += word;
      for (int k = 0; k < kUnigramSlots; ++k) {
        if ((g.model_bits >> k & 1u) != 0) values_.push_back(g.values[k]);
      }
      size_t i = h & (capacity - 1);
      while (table_[i].len != 0) i = (i + 1) & (capacity - 1);
      table_[i] = e;
    }
    words_ = words.size();
  } catch (const std::bad_alloc&) {
    Clear();
    return false;
  }
  return true;
}

void CcodeWordIndex::Clear() {
  std::vector<Entry>().swap(table_);
  std::string().swap(text_);
  std::vector<double>().swap(values_);
  words_ = 0;
}
