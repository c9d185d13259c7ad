// The query-language feature set: letter sets, loading of the four files of
// each language, and release.
#include "ul_langfeature.h"

#include <limits.h>
#include <math.h>
#include <stdio.h>
#include <string.h>

#include <new>

#include "toolkit/file.h"
#include "ul_func.h"
#include "ul_log.h"
#include "ul_query_key_index.h"
#include "ul_query_tables.h"

LANGFEATURESET* g_langfeaset = nullptr;

namespace {

// The unfiltered languages' letters are not stored: their entry only marks
// them active.
const unsigned int kNoLetters[1] = {0};

constexpr int kNgramLine = 100;  // n-gram lines are read in pieces of 99 bytes
constexpr int kWordLine = 1024;  // word lines in pieces of 1,023 bytes
constexpr int kNameSize = 1024;  // a file name with its NUL
constexpr int kNumberBytes = 99;

// Bucket counts of the seven tables, in field order.
constexpr size_t kBuckets[7] = {100, 10000, 10000, 10000, 100000, 100000, 300000};

// Every table array of a set, in field order.
FeatureSet** LANGFEATURESET::*const kArrays[7] = {
    &LANGFEATURESET::m_LangCharUtf8, &LANGFEATURESET::m_LangUnigram, &LANGFEATURESET::m_LangBigram,
    &LANGFEATURESET::m_LangBigBack,  &LANGFEATURESET::m_LangTrigram, &LANGFEATURESET::m_LangTriBack,
    &LANGFEATURESET::m_LangComWords};

bool Filtered(int lang) {
  return lang != SIMP_CN && lang != TRAD_CN && lang != JP && lang != FRCH && lang != POR && lang != SPAN;
}

// trunc(100 x ln(10^x)) within the int range.
int ToScore(double x) {
  const double v = 100.0 * log(pow(10.0, x));
  if (!(v > static_cast<double>(INT_MIN))) return INT_MIN;
  if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
  return static_cast<int>(v);
}

toolkit::UniqueFile OpenRead(const char* name) { return toolkit::OpenStreamForReading(name, ul_open, ul_fclose); }

// Parses one n-gram piece into its key; false for a line to skip.
bool NgramKey(char* line, char* tab, FeatureSet* letters, bool filter, std::string* key) {
  key->clear();
  bool first = true;
  for (char* tok = line; tok < tab;) {
    char* end = tok;
    while (end < tab && *end != ' ') ++end;
    const size_t len = static_cast<size_t>(end - tok);
    if (len > 0) {
      if (first && len == 3 && memcmp(tok, "<s>", 3) == 0) {
        key->append("<s>");
      } else if (len == 4 && memcmp(tok, "<sp>", 4) == 0) {
        key->push_back(' ');
      } else {
        const int n = ul_ccode_isutf8(reinterpret_cast<unsigned char*>(tok), false);
        if (n < 1 || static_cast<size_t>(n) != len) return false;
        const std::string ch(tok, len);
        if (filter && letters->get(ch, nullptr) != ccode::CCODE_HASH_EXIST) return false;
        key->append(ch);
      }
      first = false;
    }
    tok = end + 1;
  }
  return !key->empty();
}

// One "word<separators>frequency" line: false for a line to skip.
bool WordLine(char* line, std::string* word, double* freq) {
  size_t n = strcspn(line, " \t");
  if (line[n] == '\0' || n == 0) return false;
  word->assign(line, n);
  const char* p = line + n;
  while (*p == ' ' || *p == '\t') ++p;
  if (*p == '\0' || *p == '\n' || *p == '\r') return false;
  double f = 0;
  for (; *p >= '0' && *p <= '9'; ++p) f = f * 10 + (*p - '0');
  *freq = f;
  return true;
}

}  // namespace

const unsigned int* const LANG_CHARUTF8[LANG_FEATURE_NUM] = {
    kLettersLatin, kNoLetters, kNoLetters, kNoLetters, nullptr, nullptr, kLettersThai, kLettersVietnamese,
    kLettersLatin, nullptr, kLettersFrench, nullptr, nullptr, kLettersArabic, nullptr, nullptr, nullptr,
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, kNoLetters, nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr, nullptr, kNoLetters, nullptr, nullptr, nullptr, nullptr, nullptr, kLettersLatin};

const int LANG_CHARUTF8_NUM[LANG_FEATURE_NUM] = {52, 100, 100, 100, 0, 0, 87, 186, 52, 0, 80, 0,  0,  54, 0,
                                                 0,  0,   0,   0,   0, 0, 0,  0,   0,  0, 0,  0,  0,  0,  0,
                                                 0,  0,   0,   0,   100, 0, 0, 0,  0,  0, 0,  0,  100, 0, 0,
                                                 0,  0,   0,   52};

bool ul_ccode_lang_active(int lang) {
  return lang >= 0 && lang < LANG_FEATURE_NUM && LANG_CHARUTF8[lang] != nullptr && LANG_CHARUTF8_NUM[lang] > 0;
}

int uint2hexstr(unsigned int value, unsigned char* out) {
  if (out == nullptr) {
    ul_writelog(UL_LOG_WARNING, "invalid param in UIntToChar");
    return -1;
  }
  int n = 0;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const unsigned char b = static_cast<unsigned char>(value >> shift);
    if (b != 0 || n > 0 || shift == 0) out[n++] = b;
  }
  return n;
}

int ul_ccode_isutf8(unsigned char* p, bool bom) {
  if (p == nullptr) {
    ul_writelog(UL_LOG_WARNING, "invalid param in ul_ccode_isutf8");
    return -1;
  }
  if (bom) return p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF ? 0 : -1;
  const unsigned char c = p[0];
  if (c >= 0x01 && c <= 0x7F) return 1;
  int len;
  unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    if (c == 0xE0) lo = 0xA0;
  } else if (c >= 0xF0 && c <= 0xF7) {
    len = 4;
    if (c == 0xF0) lo = 0x90;
  } else if (c >= 0xF8 && c <= 0xFB) {
    len = 5;
    if (c == 0xF8) lo = 0x88;
  } else {
    return -1;
  }
  if (p[1] < lo || p[1] > hi) return -1;
  for (int i = 2; i < len; ++i) {
    if (p[i] < 0x80 || p[i] > 0xBF) return -1;
  }
  return len;
}

int LANGFEATURESET::uint2hexstr(unsigned int value, unsigned char* out) { return ::uint2hexstr(value, out); }

int LANGFEATURESET::isutf8(unsigned char* p, bool bom) { return ul_ccode_isutf8(p, bom); }

bool LANGFEATURESET::char2double(const char* text, double* out) {
  if (text == nullptr || text[0] == '\0') {
    ul_writelog(UL_LOG_WARNING, "invalid param in char2double");
    if (out != nullptr) *out = 0;
    return false;
  }
  int i = 0;
  bool negative = false;
  if (text[i] == '-' || text[i] == '+') negative = text[i++] == '-';
  double whole = 0, fraction = 0, scale = 1;
  for (; i < kNumberBytes && text[i] >= '0' && text[i] <= '9'; ++i) whole = whole * 10 + (text[i] - '0');
  if (i < kNumberBytes && text[i] == '.') {
    for (++i; i < kNumberBytes && text[i] >= '0' && text[i] <= '9'; ++i) {
      fraction = fraction * 10 + (text[i] - '0');
      scale *= 10;
    }
  }
  const double v = whole + fraction / scale;
  if (out != nullptr) *out = negative ? -v : v;
  return true;
}

bool LANGFEATURESET::init_feature() {
  delete_feature();
  for (FeatureSet** LANGFEATURESET::*array : kArrays) {
    this->*array = new (std::nothrow) FeatureSet*[LANG_FEATURE_NUM]();
    if (this->*array == nullptr) {
      ul_writelog(UL_LOG_WARNING, "init fail in init_feature");
      return false;
    }
  }
  for (int lang = 0; lang < LANG_FEATURE_NUM; ++lang) {
    if (!ul_ccode_lang_active(lang)) continue;
    for (int t = 0; t < 7; ++t) {
      FeatureSet* table = new (std::nothrow) FeatureSet();
      if (table != nullptr && table->create(kBuckets[t]) != 0) {
        delete table;
        table = nullptr;
      }
      (this->*kArrays[t])[lang] = table;
    }
    for (FeatureSet** LANGFEATURESET::*array : kArrays) {
      if ((this->*array)[lang] == nullptr) {
        ul_writelog(UL_LOG_WARNING, "init fail in init_feature");
        return false;
      }
    }
  }
  return true;
}

bool LANGFEATURESET::loadfeature(const char* path) {
  if (path == nullptr) {
    ul_writelog(UL_LOG_WARNING, "invalid param in loadfeature(const char* path)");
    return false;
  }
  for (int lang = 0; lang < LANG_FEATURE_NUM; ++lang) {
    if (!ul_ccode_lang_active(lang)) continue;
    if (!loadlangfeature(path, static_cast<_LANG_T>(lang))) {
      ul_writelog(UL_LOG_WARNING, "load feature of %s fail", LANG_STRING[lang]);
      return false;
    }
  }
  // Without an index the scoring reads the tables themselves: the same
  // answers, more slowly.
  FeatureSet** const tables[QueryKeyIndex::kKinds] = {m_LangComWords, m_LangUnigram, m_LangBigram,
                                                      m_LangBigBack,  m_LangTrigram, m_LangTriBack};
  m_WordIndex = QueryKeyIndex::Build(tables, LANG_FEATURE_NUM, QueryKeyIndex::kWords, QueryKeyIndex::kWords, true);
  m_GramIndex = QueryKeyIndex::Build(tables, LANG_FEATURE_NUM, QueryKeyIndex::kUnigram, QueryKeyIndex::kTriBack, false);
  return true;
}

void LANGFEATURESET::drop_index() {
  delete m_WordIndex;
  delete m_GramIndex;
  m_WordIndex = m_GramIndex = nullptr;
}

bool LANGFEATURESET::loadlangfeature(const char* path, _LANG_T lang) {
  if (path == nullptr || lang < 0 || !ul_ccode_lang_active(lang) || m_LangComWords == nullptr ||
      m_LangComWords[lang] == nullptr) {
    ul_writelog(UL_LOG_WARNING, "invalid param in loadfeature(const char* path,LANG_T langtype )");
    return false;
  }
  drop_index();
  const bool filter = Filtered(lang);
  if (filter) {
    m_LangCharUtf8[lang]->clear();
    if (!loadlangutf8(lang, m_LangCharUtf8[lang])) {
      ul_writelog(UL_LOG_WARNING, "load lang utf8 false");
      return false;
    }
  }
  char name[kNameSize];
  auto file = [&](const char* suffix) {
    const int n = snprintf(name, sizeof(name), "%s%s%s", path, LANG_STRING[lang], suffix);
    return n >= 0 && n < kNameSize;
  };
  if (m_LangComWords[lang]->size() != 0) m_LangComWords[lang]->clear();
  if (!file("_words.part") || !loadlangword(name, m_LangComWords[lang])) {
    ul_writelog(UL_LOG_WARNING, "load lang word false");
    return false;
  }
  struct Ngram {
    const char* suffix;
    FeatureSet* forward;
    FeatureSet* backoff;
    const char* message;
  };
  const Ngram files[3] = {
      {"_hd_uni", m_LangUnigram[lang], nullptr, "load lang character unigram false"},
      {"_hd_big", m_LangBigram[lang], m_LangBigBack[lang], "load lang character bigram false"},
      {"_hd_tri", m_LangTrigram[lang], m_LangTriBack[lang], "load lang character trigram false"}};
  for (const Ngram& f : files) {
    if (!file(f.suffix) || !loadlangngram(name, m_LangCharUtf8[lang], f.forward, f.backoff, filter)) {
      ul_writelog(UL_LOG_WARNING, "%s", f.message);
      return false;
    }
  }
  return true;
}

bool LANGFEATURESET::loadlangutf8(int lang, FeatureSet* table) {
  if (lang < 0 || table == nullptr || !ul_ccode_lang_active(lang)) {
    ul_writelog(UL_LOG_WARNING, "invalid param in loadfeature(unsigned int* Utf8,FeatureSet* hm)");
    return false;
  }
  const bool stored = LANG_CHARUTF8[lang] != kNoLetters;
  for (int i = 0; stored && i < LANG_CHARUTF8_NUM[lang]; ++i) {
    unsigned char bytes[4];
    const int n = uint2hexstr(LANG_CHARUTF8[lang][i], bytes);
    if (table->set(std::string(reinterpret_cast<char*>(bytes), static_cast<size_t>(n)), 1, 0) !=
        ccode::CCODE_HASH_INSERT_SEC) {
      return false;
    }
  }
  return true;
}

bool LANGFEATURESET::loadlangngram(const char* file, FeatureSet* letters, FeatureSet* forward,
                                   FeatureSet* backoff, bool filter) {
  if (file == nullptr || forward == nullptr || (filter && letters == nullptr)) {
    ul_writelog(UL_LOG_WARNING,
                "invalid param in loadfeature(const char* file_path,FeatureType featype,FeatureSet*UniUtf8, "
                "FeatureSet* pTrans,FeatureSet* pBack)");
    return false;
  }
  toolkit::UniqueFile fp = OpenRead(file);
  if (!fp.ok()) {
    ul_writelog(UL_LOG_WARNING, "open %s fail", file);
    return false;
  }
  char line[kNgramLine];
  std::string key;
  while (fgets(line, sizeof(line), fp.get()) != nullptr) {
    char* tab = strchr(line, '\t');
    if (tab == nullptr) continue;
    char* blank = strchr(tab + 1, ' ');
    if (blank == nullptr) continue;
    double prob, back;
    if (!NgramKey(line, tab, letters, filter, &key)) continue;
    if (!char2double(tab + 1, &prob) || !char2double(blank + 1, &back)) continue;
    forward->set(key, ToScore(prob), 0);
    if (backoff != nullptr) backoff->set(key, ToScore(back), 0);
  }
  return true;
}

bool LANGFEATURESET::loadlangword(const char* file, FeatureSet* table) {
  if (file == nullptr || table == nullptr) {
    ul_writelog(UL_LOG_WARNING, "invalid param in loadfeature(const char* file_path,FeatureSet*hm)");
    return false;
  }
  char line[kWordLine];
  std::string word;
  double freq, sum = 0;
  {
    toolkit::UniqueFile fp = OpenRead(file);
    if (!fp.ok()) {
      ul_writelog(UL_LOG_WARNING, "loadfeature:common words path is not exist");
      return false;
    }
    while (fgets(line, sizeof(line), fp.get()) != nullptr) {
      if (WordLine(line, &word, &freq)) sum += freq;
    }
  }
  if (!(sum > 0)) {
    ul_writelog(UL_LOG_WARNING, "sum of all words's freqs is %f\n ", sum);
    return false;
  }
  toolkit::UniqueFile fp = OpenRead(file);
  if (!fp.ok()) {
    ul_writelog(UL_LOG_WARNING, "loadfeature:common words path is not exist");
    return false;
  }
  while (fgets(line, sizeof(line), fp.get()) != nullptr) {
    if (!WordLine(line, &word, &freq)) continue;
    for (char& c : word) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    long long value = static_cast<long long>(1e8 / sum * freq);
    int old = 0;
    if (table->get(word, &old) == ccode::CCODE_HASH_EXIST) value += old;
    table->set(word, static_cast<int>(value > INT_MAX ? INT_MAX : value), 1);
  }
  return true;
}

bool LANGFEATURESET::destroy_feature() {
  drop_index();
  bool arrays = true;
  for (FeatureSet** LANGFEATURESET::*array : kArrays) {
    if (this->*array == nullptr) {
      arrays = false;
      continue;
    }
    for (int lang = 0; lang < LANG_FEATURE_NUM; ++lang) {
      FeatureSet* table = (this->*array)[lang];
      if (table != nullptr && ul_ccode_lang_active(lang) && table->size() != 0) table->destroy();
    }
  }
  for (FeatureSet** LANGFEATURESET::*array : kArrays) {
    for (int lang = 0; this->*array != nullptr && lang < LANG_FEATURE_NUM; ++lang) {
      const FeatureSet* table = (this->*array)[lang];
      if (table != nullptr && table->size() != 0) {
        ul_writelog(UL_LOG_WARNING, "array isnot empty in destroy_feature");
        return false;
      }
    }
  }
  if (!arrays) {
    ul_writelog(UL_LOG_WARNING, "destroy fail in destroy_feature");
    return false;
  }
  return true;
}

bool LANGFEATURESET::delete_feature() {
  drop_index();
  for (FeatureSet** LANGFEATURESET::*array : kArrays) {
    FeatureSet**& tables = this->*array;
    if (tables == nullptr) continue;
    for (int lang = 0; lang < LANG_FEATURE_NUM; ++lang) delete tables[lang];
    delete[] tables;
    tables = nullptr;
  }
  return true;
}
