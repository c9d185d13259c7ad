// Query-language scoring: character n-gram and word scores of one UTF-8
// reading, the per-language driver that keeps the candidates, and ranking.
#include "ul_ccode_querylang.h"

#include <limits.h>
#include <math.h>
#include <string.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "ul_ccode_next.h"
#include "ul_log.h"
#include "ul_query_key_index.h"
#include "ul_ccode_querylang_parts.h"

namespace {

constexpr int kMissPenalty = 1000;     // a gram found nowhere
constexpr int kWordMiss = 2302;        // a word not found: -100 x ln(1e10)
constexpr size_t kWordBytes = 1024;    // a Latin word is cut at this length
constexpr size_t kCandidateMax = 1023; // a longest-match candidate stops past this
constexpr int kExclude = 4000000;      // a missing or hopeless score in ranking
// Word-score outcomes outside any reachable score (a score moves by at most
// 2,302 or a word's log-value per character of a query of at most 10,240
// bytes, far from these).
constexpr long long kBelowTop = LLONG_MIN;      // fell below the top list's last entry
constexpr long long kBroken = LLONG_MIN + 1;    // a byte that begins no character

// trunc(100 x ln(c)) for the constants 0.5, 0.1, 0.01 and 0.005.
constexpr int kHalf = -69, kTenth = -230, kHundredth = -460, kTwoHundredth = -529;

bool IsCjk(int lang) { return lang == SIMP_CN || lang == TRAD_CN || lang == JP; }
bool IsLatinRomance(int lang) { return lang == FRCH || lang == POR || lang == SPAN; }
bool IsVnMsId(int lang) { return lang == VN || lang == MY || lang == IN; }

int ConstFeature(int lang) { return lang == EN ? kHalf : IsCjk(lang) ? kTenth : kHundredth; }
int ConstLatin(int lang) {
  return lang == EN ? kHalf : IsLatinRomance(lang) ? kTenth : IsVnMsId(lang) ? kHundredth : kTwoHundredth;
}
int ConstWords(int lang) {
  if (lang == EN) return kHalf;
  if (IsCjk(lang)) return kTenth;
  if (lang == ARABIC || lang == THAI || lang == VN || IsLatinRomance(lang)) return kHundredth;
  return kTwoHundredth;
}

// The tables of lang in fs, or NULL when it has none.
bool HasTables(const LANGFEATURESET* fs, int lang) {
  return fs != nullptr && ul_ccode_lang_active(lang) && fs->m_LangUnigram != nullptr &&
         fs->m_LangBigram != nullptr && fs->m_LangBigBack != nullptr && fs->m_LangTrigram != nullptr &&
         fs->m_LangTriBack != nullptr && fs->m_LangUnigram[lang] != nullptr &&
         fs->m_LangBigram[lang] != nullptr && fs->m_LangBigBack[lang] != nullptr &&
         fs->m_LangTrigram[lang] != nullptr && fs->m_LangTriBack[lang] != nullptr;
}

const FeatureSet* WordTable(const LANGFEATURESET* fs, int lang) {
  if (fs == nullptr || !ul_ccode_lang_active(lang) || fs->m_LangComWords == nullptr) return nullptr;
  return fs->m_LangComWords[lang];
}

// A feature table and the bucket of a hash in it, found without a 64-bit
// division per look-up: the quotient is estimated in double precision (off
// by less than one for tables of kFastBuckets buckets or more) and the
// remainder corrected into range. Smaller tables divide.
class Table {
 public:
  static constexpr size_t kFastBuckets = 4096;

  explicit Table(const FeatureSet* t)
      : t_(t), n_(t != nullptr ? t->bucket_count() : 0), inv_(n_ != 0 ? 1.0 / static_cast<double>(n_) : 0.0) {}

  size_t Bucket(uint64_t h) const {
    if (n_ < kFastBuckets) return n_ == 0 ? 0 : static_cast<size_t>(h % n_);
    const uint64_t q = static_cast<uint64_t>(static_cast<double>(h) * inv_);
    int64_t r = static_cast<int64_t>(h - q * n_);
    const int64_t n = static_cast<int64_t>(n_);
    while (r < 0) r += n;
    while (r >= n) r -= n;
    return static_cast<size_t>(r);
  }
  void Prefetch(size_t bucket) const {
    if (t_ != nullptr) t_->prefetch_bucket(bucket);
  }
  bool Get(size_t bucket, std::string_view key, int* v) const {
    return t_ != nullptr && t_->get_in(bucket, key, v) == ccode::CCODE_HASH_EXIST;
  }

 private:
  const FeatureSet* t_;
  size_t n_;
  double inv_;
};

// The n-gram tables of one language, read directly: a probe is the bucket.
// Table t is the forward table of order t + 1 (t = 0..2) or the back-off
// table of order t - 2 (t = 4, 5; 3 has none).
class TableGrams {
 public:
  typedef size_t Probe;
  TableGrams(const LANGFEATURESET* fs, int lang)
      : t_{Table(fs->m_LangUnigram[lang]), Table(fs->m_LangBigram[lang]), Table(fs->m_LangTrigram[lang]),
           Table(nullptr),                 Table(fs->m_LangBigBack[lang]), Table(fs->m_LangTriBack[lang])} {}
  static uint64_t Start() { return 0; }
  static uint64_t Step(uint64_t h, char c) { return ccode::__ccode_hash_step(h, c); }
  Probe Locate(int t, uint64_t h) const { return t_[t].Bucket(h); }
  void Prefetch(int t, Probe b) const { t_[t].Prefetch(b); }
  bool Get(int t, Probe b, std::string_view key, int* v) const { return t_[t].Get(b, key, v); }

 private:
  const Table t_[6];
};

// The same tables through the shared index; with a memo, keys are taken as
// lying in text and their look-ups remembered.
class IndexGrams {
 public:
  typedef QueryKeyIndex::Probe Probe;
  IndexGrams(const QueryKeyIndex* index, int lang, const char* text, QueryKeyIndex::Memo* memo)
      : index_(index), lang_(lang), text_(text), memo_(memo) {}
  static uint64_t Start() { return QueryKeyIndex::Start(); }
  static uint64_t Step(uint64_t h, char c) { return QueryKeyIndex::Step(h, c); }
  Probe Locate(int t, uint64_t h) const { return index_->Locate(h, kKinds[t]); }
  void Prefetch(int, const Probe& p) const { index_->Prefetch(p); }
  bool Get(int t, const Probe& p, std::string_view key, int* v) const {
    const QueryKeyIndex::Record* r = memo_ != nullptr ? index_->Find(p, key, text_, memo_) : index_->Find(p, key);
    return r != nullptr && index_->Value(r, kKinds[t], lang_, v);
  }

 private:
  static constexpr int kKinds[6] = {QueryKeyIndex::kUnigram, QueryKeyIndex::kBigram,  QueryKeyIndex::kTrigram,
                                    QueryKeyIndex::kUnigram, QueryKeyIndex::kBigBack, QueryKeyIndex::kTriBack};
  const QueryKeyIndex* index_;
  int lang_;
  const char* text_;
  QueryKeyIndex::Memo* memo_;
};

// Scores grams of one language, hashing each gram's bytes in place.
template <class Grams>
class GramScorer {
 public:
  explicit GramScorer(const Grams& grams) : grams_(grams) {}

  // The score of the gram of k characters (k = 1..3) at chars[0..k-1],
  // backing off to its last k - 1 characters when it is missing. The
  // characters lie next to each other in the text. Every place the back-off
  // may visit is requested first, so that their loads overlap.
  long long Score(const std::string_view* chars, int k) {
    const char* end = chars[k - 1].data() + chars[k - 1].size();
    typename Grams::Probe whole[3], head[3];  // of chars[i..k-1] and of chars[i..k-2]
    for (int i = 0; i < k; ++i) {
      uint64_t h = Grams::Start();
      for (const char* c = chars[i].data(); c < end; ++c) {
        if (c == chars[k - 1].data() && k - i >= 2) {
          head[i] = grams_.Locate(kBack + k - i - 1, h);
          grams_.Prefetch(kBack + k - i - 1, head[i]);
        }
        h = Grams::Step(h, *c);
      }
      whole[i] = grams_.Locate(k - i - 1, h);
      grams_.Prefetch(k - i - 1, whole[i]);
    }
    long long total = 0;
    for (int i = 0; i < k; ++i) {
      const char* begin = chars[i].data();
      const int n = k - i;
      int v;
      if (grams_.Get(n - 1, whole[i], Key(begin, end), &v)) return total + (v < -999 ? -kMissPenalty : v);
      if (n == 1) return total - kMissPenalty;
      total += grams_.Get(kBack + n - 1, head[i], Key(begin, chars[k - 1].data()), &v) ? v : -kMissPenalty;
    }
    return total;
  }

 private:
  static constexpr int kBack = 3;  // back-off table of order n: kBack + n - 1

  static std::string_view Key(const char* begin, const char* end) {
    return std::string_view(begin, static_cast<size_t>(end - begin));
  }

  const Grams& grams_;
};

// Feeds the characters of one sequence: nothing for the first, the bigram
// at the second, a trigram from the third on.
template <class Scorer>
class GramWalk {
 public:
  explicit GramWalk(Scorer* scorer) : scorer_(scorer) {}
  void Reset() { n_ = 0; }
  void Add(std::string_view ch) {
    if (n_ == 3) {
      last_[0] = last_[1];
      last_[1] = last_[2];
      n_ = 2;
    }
    last_[n_++] = ch;
    if (n_ >= 2) total_ += scorer_->Score(last_, n_);
  }
  long long total() const { return total_; }

 private:
  Scorer* scorer_;
  std::string_view last_[3];
  int n_ = 0;
  long long total_ = 0;
};

int Clamp(long long v) {
  if (v < INT_MIN + 1LL) return INT_MIN + 1;
  if (v > INT_MAX) return INT_MAX;
  return static_cast<int>(v);
}

// The word score of a hit: trunc(100 x ln(v / 1e8)).
int WordValue(int v) { return static_cast<int>(100.0 * log(static_cast<double>(v) / 1e8)); }

bool BelowTop(const int* top, long long score) { return top[3 * (QUERY_TOP_NUM - 1) + 2] > score; }

// Enters (code, lang, score) at the first place with a lower score.
void InsertTop(int* top, int code, int lang, int score) {
  for (int i = 0; i < QUERY_TOP_NUM; ++i) {
    if (top[3 * i + 2] >= score) continue;
    memmove(top + 3 * (i + 1), top + 3 * i, sizeof(int) * 3 * static_cast<size_t>(QUERY_TOP_NUM - 1 - i));
    top[3 * i] = code;
    top[3 * i + 1] = lang;
    top[3 * i + 2] = score;
    return;
  }
}

bool IsSeparator(unsigned char c) { return c == '\0' || c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

struct LangName {
  int lang;
  const char* name;
};
const LangName kDriverLangs[] = {{EN, "en"},      {SIMP_CN, "simp_cn"}, {TRAD_CN, "trad_cn"}, {JP, "jp"},
                                 {THAI, "thai"},  {VN, "vn"},           {MY, "my"},           {FRCH, "french"},
                                 {ARABIC, "arabic"}, {POR, "por"},      {SPAN, "span"},       {IN, "in"}};

const char* DriverName(int lang) {
  for (const LangName& l : kDriverLangs) {
    if (l.lang == lang) return l.name;
  }
  return nullptr;
}

bool IsEmptyEntry(const _CODELANG_INFO& e) {
  return static_cast<unsigned char>(e.code_type) == 255 || static_cast<unsigned char>(e.lang_type) == 255;
}

}  // namespace

namespace {

// Character n-gram score of every word of text (runs between separators).
template <class Grams>
long long FeatureScore(const Grams& grams, char* text) {
  GramScorer<Grams> scorer(grams);
  GramWalk<GramScorer<Grams>> walk(&scorer);
  unsigned char* p = reinterpret_cast<unsigned char*>(text);
  while (*p != '\0') {
    if (IsSeparator(*p)) {
      walk.Reset();
      ++p;
      continue;
    }
    const int n = ul_ccode_isutf8(p, false);
    if (n < 1) {  // not a character: ends the word, skipped
      walk.Reset();
      ++p;
      continue;
    }
    walk.Add(std::string_view(reinterpret_cast<char*>(p), static_cast<size_t>(n)));
    p += n;
  }
  return walk.total();
}

// Character n-gram score of the bytes text[0..end) as one sequence.
template <class Grams>
long long LatinFeatureScore(const Grams& grams, const char* text, const char* end) {
  GramScorer<Grams> scorer(grams);
  GramWalk<GramScorer<Grams>> walk(&scorer);
  for (const char* c = text; c < end; ++c) walk.Add(std::string_view(c, 1));
  return walk.total();
}

// Word look-ups of one language in its own table: the probe is the bucket.
class TableWords {
 public:
  typedef size_t Probe;
  explicit TableWords(const FeatureSet* words) : table_(words) {}
  static uint64_t Start() { return 0; }
  static uint64_t Step(uint64_t h, char c) { return ccode::__ccode_hash_step(h, c); }
  Probe Locate(uint64_t h) const { return table_.Bucket(h); }
  static int Filter(uint64_t) { return QueryKeyIndex::kSomeKeyBegins | QueryKeyIndex::kMayBeKey; }
  static void PrefetchFilter(uint64_t) {}
  void Prefetch(Probe b) const { table_.Prefetch(b); }
  // True with *v when the word is stored with a value above 0.
  bool Find(Probe b, std::string_view key, int* v) const { return table_.Get(b, key, v) && *v > 0; }

 private:
  const Table table_;
};

// The same through the shared index, which holds only values above 0; with
// a memo, keys are taken as lying in text and their look-ups remembered.
class IndexWords {
 public:
  typedef QueryKeyIndex::Probe Probe;
  IndexWords(const QueryKeyIndex* index, int lang, const char* text, QueryKeyIndex::Memo* memo)
      : index_(index), lang_(lang), text_(text), memo_(memo) {}
  static uint64_t Start() { return QueryKeyIndex::Start(); }
  static uint64_t Step(uint64_t h, char c) { return QueryKeyIndex::Step(h, c); }
  Probe Locate(uint64_t h) const { return index_->Locate(h, QueryKeyIndex::kWords); }
  // Whether a word may begin with or be the bytes of hash h.
  int Filter(uint64_t h) const { return index_->Filter(h); }
  void PrefetchFilter(uint64_t h) const { index_->PrefetchFilter(h); }
  void Prefetch(const Probe& p) const { index_->Prefetch(p); }
  bool Find(const Probe& p, std::string_view key, int* v) const {
    const QueryKeyIndex::Record* r = memo_ != nullptr ? index_->Find(p, key, text_, memo_) : index_->Find(p, key);
    return r != nullptr && index_->Value(r, QueryKeyIndex::kWords, lang_, v);
  }

 private:
  const QueryKeyIndex* index_;
  int lang_;
  const char* text_;
  QueryKeyIndex::Memo* memo_;
};

// The Latin word score (see ul_ccode_langcmword) before it enters top.
template <class Words>
long long LatinWordScore(const Words& words, const char* text, int lang, const int* top, bool* hit) {
  long long score = ConstLatin(lang);
  for (const char* p = text; *p != '\0';) {
    if (*p < 'a' || *p > 'z') {
      ++p;
      continue;
    }
    const char* start = p;
    uint64_t h = Words::Start();
    while (*p >= 'a' && *p <= 'z' && static_cast<size_t>(p - start) < kWordBytes) h = Words::Step(h, *p++);
    int v;
    if ((words.Filter(h) & QueryKeyIndex::kMayBeKey) != 0 && words.Find(words.Locate(h), std::string_view(start, static_cast<size_t>(p - start)), &v)) {
      score += WordValue(v);
      *hit = true;
    } else {
      score -= kWordMiss;
    }
    if (BelowTop(top, score)) return kBelowTop;
  }
  return score;
}

}  // namespace

int QueryReading::Length(const char* text, size_t at) {
  int8_t& known = lens_[at];
  if (known == 0) {
    const int measured = ul_ccode_next(text + at, CODETYPE_UTF8);
    known = static_cast<int8_t>(measured < 1 ? -1 : measured);
  }
  return known;
}

void QueryReading::Tail(const char* text, size_t offset) {
  // Walks to the first place already known or to the end of the run, then
  // fills the places walked from the last one back.
  size_t at = offset;
  chain_.clear();
  while (!tails_[at].known) {
    TailInfo& t = tails_[at];
    if (IsSeparator(static_cast<unsigned char>(text[at]))) {
      t = TailInfo{0, 0, 0, 0, false, true};
      next_[at] = static_cast<uint32_t>(at);
      break;
    }
    const int n = Length(text, at);
    if (n < 1) {
      t = TailInfo{0, 0, 0, 0, true, true};
      next_[at] = static_cast<uint32_t>(at);
      break;
    }
    chain_.push_back(static_cast<uint32_t>(at));
    at += static_cast<size_t>(n);
  }
  for (size_t i = chain_.size(); i-- > 0;) {
    const size_t here = chain_[i];
    const uint32_t n = static_cast<uint32_t>(lens_[here]);
    const TailInfo& next = tails_[here + n];
    TailInfo& t = tails_[here];
    t.chars = next.chars + 1;
    t.ascii = n == 1 ? next.ascii + 1 : 0;
    t.multibytes = next.multibytes + (n > 1 ? 1 : 0);
    t.span = next.span + n;
    t.broken = next.broken;
    t.known = true;
    next_[here] = static_cast<uint32_t>(here);
    for (uint32_t j = 1; j < n; ++j) next_[here + j] = static_cast<uint32_t>(here + n);
  }
}

template <class Words>
const QueryReading::Place& QueryReading::At(const char* text, size_t offset, const Words& words) {
  if (text != text_) {
    text_ = text;
    const size_t size = strlen(text) + 1;
    slot_.assign(size, 0);
    lens_.assign(size, 0);
    tails_.assign(size, TailInfo{});
    next_.resize(size);
    places_.clear();
    bytes_.clear();
    hashes_.clear();
    // Room for a short query's places at once, not by repeated growth.
    const size_t room = std::min<size_t>(size, 64);
    places_.reserve(room);
    bytes_.reserve(2 * room);
    hashes_.reserve(2 * room);
    chain_.reserve(room);
  }
  if (slot_[offset] != 0) return places_[static_cast<size_t>(slot_[offset] - 1)];
  Place place{};
  place.first = static_cast<uint32_t>(bytes_.size());
  Tail(text, offset);
  // The candidate is the run of characters from here to its end (a
  // separator or a byte that begins no character), or, when that lies
  // past kCandidateMax bytes, the characters that begin within them: its
  // figures are those of the run from here less those of the run from the
  // first character it leaves out.
  const TailInfo& t = tails_[offset];
  Candidate c{};
  uint32_t multibytes = t.multibytes;
  if (t.span <= kCandidateMax) {
    c.chars = t.chars;
    c.broken = t.broken;
  } else {
    const TailInfo& rest = tails_[next_[offset + kCandidateMax + 1]];
    c.chars = t.chars - rest.chars;
    multibytes -= rest.multibytes;
  }
  c.ascii_chars = c.ascii_bytes = std::min(t.ascii, c.chars);
  c.first_len = c.chars > 0 ? static_cast<uint32_t>(lens_[offset]) : 0;
  c.multibyte = multibytes > 0;
  place.full = c;
  place.cjk = c;
  // The Chinese and Japanese candidate ends at the third character once one
  // of them is longer than a byte: at the first multi-byte character (after
  // the leading one-byte ones), but not before the third.
  if (c.multibyte) {
    const uint32_t k = std::max<uint32_t>(3, c.ascii_chars + 1);
    if (k <= c.chars) {
      Candidate& cjk = place.cjk;
      cjk.chars = k;
      cjk.broken = false;
    }
  }
  // The prefixes are hashed a few characters ahead of the filter's answers
  // and their filter words requested together, so that those loads overlap.
  constexpr uint32_t kAhead = 4;
  uint64_t hash[kAhead];
  uint32_t end[kAhead];
  uint64_t h = Words::Start();
  size_t bytes = 0;
  const char* p = text + offset;
  for (uint32_t i = 0; i < c.chars;) {
    const uint32_t m = std::min(kAhead, c.chars - i);
    for (uint32_t a = 0; a < m; ++a) {
      const int n = lens_[offset + bytes];
      for (int j = 0; j < n; ++j) h = Words::Step(h, p[bytes + static_cast<size_t>(j)]);
      bytes += static_cast<size_t>(n);
      hash[a] = h;
      end[a] = static_cast<uint32_t>(bytes);
      words.PrefetchFilter(h);
    }
    for (uint32_t a = 0; a < m; ++a) {
      const int filter = words.Filter(hash[a]);
      if (filter == QueryKeyIndex::kNoKeyBegins) {
        i = c.chars;
        break;
      }
      bytes_.push_back(end[a] << 1 | ((filter & QueryKeyIndex::kMayBeKey) != 0 ? 1 : 0));
      hashes_.push_back(hash[a]);
      ++place.reach;
      ++i;
    }
  }
  places_.push_back(place);
  slot_[offset] = static_cast<int32_t>(places_.size());
  return places_.back();
}

template const QueryReading::Place& QueryReading::At<QueryReading::HashWords>(const char*, size_t,
                                                                              const QueryReading::HashWords&);

namespace {

// The longest-match word score (see ul_ccode_langcnthword) before it
// enters top; kBelowTop when it fell below top, kBroken for a byte that
// begins no character. The candidates come from reading, which gathers each
// once for every language: a language then looks up, longest first, the
// prefixes no longer than the reach of the index's filter (a longer one
// cannot be a word, so it counts as a miss without a look-up).
template <class Words>
long long WordScore(const Words& words, QueryReading* reading, const char* text, int lang, const int* top,
                    bool* hit, bool* miss) {
  long long score = ConstWords(lang);
  const bool cjk = IsCjk(lang);
  const char* p = text;
  for (;;) {
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') ++p;
    if (*p == '\0') break;
    const QueryReading::Place& place = reading->At(text, static_cast<size_t>(p - text), words);
    const QueryReading::Candidate& c = cjk ? place.cjk : place.full;
    if (c.broken) return kBroken;
    const size_t reach = std::min<size_t>(place.reach, c.chars);
    // An ASCII candidate is looked up whole only; otherwise every prefix
    // down to the ASCII ones may be, the ASCII prefix last.
    size_t k = c.chars;
    if (k > reach) {
      *miss = true;
      k = std::max<size_t>(reach, c.ascii_chars);
    }
    bool found = false, ascii = false;
    while (k > 0) {
      int v;
      if (k <= reach && reading->PrefixMayBeKey(place, k - 1)) {
        const size_t len = reading->PrefixBytes(place, k - 1);
        if (words.Find(words.Locate(reading->PrefixHash(place, k - 1)), std::string_view(p, len), &v)) {
          score += WordValue(v);
          *hit = found = true;
          p += len;
          break;
        }
      }
      *miss = true;
      if (k <= c.ascii_chars) {
        ascii = true;
        break;
      }
      --k;
    }
    if (!found) {
      score -= kWordMiss;
      p += ascii ? c.ascii_bytes : c.first_len;
    }
    if (BelowTop(top, score)) return kBelowTop;
  }
  return score;
}

}  // namespace

namespace {

int CharScore(LANGFEATURESET* fs, _LANG_T lang, char* text, int* score, QueryKeyIndex::Memo* memo) {
  if (fs == nullptr || text == nullptr || text[0] == '\0' || lang < 0 || score == nullptr ||
      !HasTables(fs, lang)) {
    ul_writelog(UL_LOG_WARNING, "invalid param in ul_ccode_checkfeature");
    return 0;
  }
  const long long total = fs->m_GramIndex != nullptr ? FeatureScore(IndexGrams(fs->m_GramIndex, lang, text, memo), text)
                                                    : FeatureScore(TableGrams(fs, lang), text);
  *score = Clamp(total + ConstFeature(lang));
  return 1;
}

int LatinCharScore(LANGFEATURESET* fs, _LANG_T lang, char* text, int* score, QueryKeyIndex::Memo* memo) {
  if (fs == nullptr || text == nullptr || text[0] == '\0' || lang < 0 || score == nullptr ||
      !HasTables(fs, lang)) {
    ul_writelog(UL_LOG_WARNING, "invalid param in ul_ccode_checkcmfeature");
    return 0;
  }
  char* p = text;
  for (; *p != '\0' && *p != '\r' && *p != '\n'; ++p) {
    if (*p < 'a' || *p > 'z') *p = ' ';
  }
  *p = '\0';
  const long long total = fs->m_GramIndex != nullptr
                              ? LatinFeatureScore(IndexGrams(fs->m_GramIndex, lang, text, memo), text, p)
                              : LatinFeatureScore(TableGrams(fs, lang), text, p);
  *score = Clamp(total + ConstLatin(lang));
  return 1;
}

}  // namespace

int ul_ccode_checkfeature(LANGFEATURESET* fs, _LANG_T lang, char* text, int* score) {
  return CharScore(fs, lang, text, score, nullptr);
}

int ul_ccode_checkcmfeature(LANGFEATURESET* fs, _LANG_T lang, char* text, int* score) {
  return LatinCharScore(fs, lang, text, score, nullptr);
}

namespace {

int LatinWords(char* text, LANGFEATURESET* fs, int code, _LANG_T lang, int* top, QueryReading* reading) {
  if (text == nullptr || fs == nullptr || top == nullptr) {
    ul_writelog(UL_LOG_WARNING, "invalid param in ul_ccode_langcmword");
    return INT_MIN;
  }
  const FeatureSet* words = WordTable(fs, lang);
  if (words == nullptr) return INT_MIN;
  bool hit = false;
  const long long score = fs->m_WordIndex != nullptr
                              ? LatinWordScore(IndexWords(fs->m_WordIndex, lang, text, reading != nullptr ? &reading->memo : nullptr), text, lang, top, &hit)
                              : LatinWordScore(TableWords(words), text, lang, top, &hit);
  if (score == kBelowTop || !hit) return INT_MIN;
  const int result = Clamp(score);
  InsertTop(top, code, lang, result);
  return result;
}

int Words(char* text, LANGFEATURESET* fs, int code, _LANG_T lang, int* top, bool* flags, QueryReading* reading) {
  if (text == nullptr || fs == nullptr || top == nullptr) {
    ul_writelog(UL_LOG_WARNING, "invalid param in ul_ccode_langcmword");
    return INT_MIN;
  }
  const FeatureSet* words = WordTable(fs, lang);
  if (words == nullptr) return INT_MIN;
  bool hit = false, miss = false;
  // A reading is kept only with the index (its hashes are the index's).
  std::unique_ptr<QueryReading> local;
  if (reading == nullptr || fs->m_WordIndex == nullptr) {
    local.reset(new QueryReading());
    reading = local.get();
  }
  const long long score =
      fs->m_WordIndex != nullptr
          ? WordScore(IndexWords(fs->m_WordIndex, lang, text, &reading->memo), reading, text, lang, top, &hit, &miss)
          : WordScore(TableWords(words), reading, text, lang, top, &hit, &miss);
  if (score == kBelowTop || score == kBroken || !hit) return INT_MIN;
  const int result = Clamp(score);
  InsertTop(top, code, lang, result);
  if (!miss && flags != nullptr && (IsCjk(lang) || static_cast<int>(lang) == ARABIC || static_cast<int>(lang) == THAI)) flags[lang] = true;
  return result;
}

}  // namespace

int ul_ccode_langcmword(char* text, LANGFEATURESET* fs, int code, _LANG_T lang, int* top) {
  return LatinWords(text, fs, code, lang, top, nullptr);
}

int ul_ccode_langcnthword(char* text, LANGFEATURESET* fs, int code, _LANG_T lang, int* top, bool* flags) {
  return Words(text, fs, code, lang, top, flags, nullptr);
}

int ul_ccode_langtype_memo(char* text, int code, int* eng, LANGFEATURESET* fs, CODELANG_VECTOR* info,
                           unsigned int& count, int mode, int* top, bool* flags, int lang, int start,
                           QueryReading* reading) {
  const char* name = lang >= 0 && lang <= IN ? DriverName(lang) : nullptr;
  if (name == nullptr) return 0;
  if (text == nullptr || text[0] == '\0' || eng == nullptr || fs == nullptr || info == nullptr ||
      mode < ALL_FEATURE || mode > CHARS_FEATURE) {
    ul_writelog(UL_LOG_WARNING, "invalid param in ul_ccode_langtype_%s", name);
    return 0;
  }
  const bool covered = mode == WORDS_FEATURE && flags != nullptr && flags[lang];
  switch (lang) {
    case SIMP_CN:
    case TRAD_CN:
    case JP:
      if (covered) return 1;
      break;
    case THAI:
    case ARABIC:
      if (*eng == ALL_ENG || covered) return 1;
      break;
    case MY:
    case IN:
      if (*eng != ALL_ENG) return 1;
      break;
    default:
      break;
  }
  const size_t capacity = info->size();
  size_t i = start == 1 ? 1 : 0;
  for (; i < count; ++i) {
    if (i >= capacity) {
      ul_writelog(UL_LOG_FATAL, "vector capacity error in ul_ccode_langtype_%s", name);
      return 0;
    }
    const _CODELANG_INFO& e = (*info)[i];
    if (static_cast<unsigned char>(e.code_type) == static_cast<unsigned char>(code) &&
        static_cast<unsigned char>(e.lang_type) == static_cast<unsigned char>(lang)) {
      break;
    }
  }
  if (i >= count) {
    if (count >= capacity) {
      ul_writelog(UL_LOG_FATAL, "vector capacity error in ul_ccode_langtype_%s", name);
      return 0;
    }
    i = count++;
    (*info)[i] = _CODELANG_INFO{static_cast<char>(code), static_cast<char>(lang), INT_MIN, INT_MIN, INT_MIN};
  }
  _CODELANG_INFO& entry = (*info)[i];
  if (lang == EN && *eng != ALL_ENG && *eng != PART_ENG) return 1;
  const bool latin = *eng == ALL_ENG;
  _LANG_T l = static_cast<_LANG_T>(lang);
  if (mode == ALL_FEATURE || mode == WORDS_FEATURE) {
    entry.words_trust =
        latin ? LatinWords(text, fs, code, l, top, reading) : Words(text, fs, code, l, top, flags, reading);
    if (latin && entry.words_trust == INT_MIN && (IsCjk(lang) || lang == THAI || lang == ARABIC)) return 1;
  }
  if (mode == WORDS_FEATURE) return 1;
  int score = INT_MIN;
  QueryKeyIndex::Memo* memo = reading != nullptr ? &reading->memo : nullptr;
  const int ok = latin ? LatinCharScore(fs, l, text, &score, memo) : CharScore(fs, l, text, &score, memo);
  if (ok != 1) return 0;
  entry.trigram_trust = score;
  return 1;
}

int ul_ccode_langtype_all(char* text, int code, int* eng, LANGFEATURESET* fs, CODELANG_VECTOR* info,
                          unsigned int& count, int mode, int* top, bool* flags, int lang, int start) {
  return ul_ccode_langtype_memo(text, code, eng, fs, info, count, mode, top, flags, lang, start, nullptr);
}

bool ul_ccode_mergecodelang(const _CODELANG_INFO& a, const _CODELANG_INFO& b) { return a.TRUST > b.TRUST; }

namespace {

void SetTrust(_CODELANG_INFO& e, int mode) {
  if (IsEmptyEntry(e)) {
    e.TRUST = INT_MIN;
    return;
  }
  long long trust = 0;
  if (mode == ALL_FEATURE || mode == CHARS_FEATURE) {
    trust += e.trigram_trust < -(kExclude - 1) ? -kExclude : e.trigram_trust;
  }
  if (mode == ALL_FEATURE || mode == WORDS_FEATURE) {
    trust += e.words_trust < -(kExclude - 1) ? -kExclude : 3LL * e.words_trust;
  }
  if (mode == ALL_FEATURE) {
    if (trust < -(2 * kExclude - 1)) trust = INT_MIN;
  } else if (e.words_trust < -(kExclude - 1)) {
    trust = INT_MIN;
  }
  e.TRUST = trust <= INT_MIN ? INT_MIN : Clamp(trust);
}

const _CODELANG_INFO kEmptyEntry = {static_cast<char>(255), static_cast<char>(255), INT_MIN, INT_MIN, INT_MIN};

bool IsCleared(const _CODELANG_INFO& e) {
  return e.code_type == kEmptyEntry.code_type && e.lang_type == kEmptyEntry.lang_type &&
         e.trigram_trust == INT_MIN && e.words_trust == INT_MIN && e.TRUST == INT_MIN;
}

}  // namespace

void ClearCandidates(CODELANG_VECTOR* info, size_t keep) {
  for (size_t i = 0; i < info->size(); ++i) {
    _CODELANG_INFO& e = (*info)[i];
    if (!IsCleared(e)) {
      e = kEmptyEntry;
    } else if (i >= keep) {
      break;
    }
  }
}

void RankCandidates(CODELANG_VECTOR* info, size_t n, int mode) {
  n = std::min(n, info->size());
  _CODELANG_INFO* e = info->data();
  // A detection fills a few dozen entries: sorted in place by insertion,
  // which keeps entries of equal trust in their order as a stable sort does.
  for (size_t i = 0; i < n; ++i) {
    SetTrust(e[i], mode);
    const _CODELANG_INFO moving = e[i];
    size_t j = i;
    for (; j > 0 && ul_ccode_mergecodelang(moving, e[j - 1]); --j) e[j] = e[j - 1];
    e[j] = moving;
  }
}

int ul_ccode_gettoptrust(CODELANG_VECTOR* info, unsigned int& count, int mode) {
  if (info == nullptr) {
    ul_writelog(UL_LOG_WARNING, "invalid param @ ul_ccode_gettoptrust");
    return 0;
  }
  for (_CODELANG_INFO& e : *info) SetTrust(e, mode);
  const size_t n = std::min<size_t>(count, info->size());
  std::stable_sort(info->begin(), info->begin() + static_cast<long>(n), ul_ccode_mergecodelang);
  return 1;
}

int ul_ccode_initinfo(CODELANG_VECTOR* info) {
  if (info == nullptr) {
    ul_writelog(UL_LOG_WARNING, "invalid param @ ul_ccode_initinfo");
    return 0;
  }
  for (_CODELANG_INFO& e : *info) e = kEmptyEntry;
  return 1;
}
