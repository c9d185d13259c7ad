// The query-language feature set: per-language common-word and character
// n-gram tables that the query-language scoring (ul_ccode_querylang.h)
// reads. ul_ccode_load builds one process-wide set (g_langfeaset) when its
// flag word has bit 4; ul_ccode_del releases it. After loading the set is
// only read, from any number of threads.
//
// Files of a language (path prefix + file stem + suffix):
//   "_words.part"  lines "word<blanks or TABs>frequency"; each word is stored,
//                  A-Z lower-cased, under trunc(1e8 / sum of all frequencies
//                  x frequency); a repeated word adds its value.
//   "_hd_uni", "_hd_big", "_hd_tri"
//                  lines "tokens<TAB>log10-probability<blank>back-off": the
//                  tokens (separated by blanks) are single UTF-8 characters,
//                  "<sp>" (one blank) and, at the head, "<s>"; the key is
//                  their concatenation. Both numbers are stored as
//                  trunc(100 x ln(10^x)), hundredths of a natural logarithm.
#ifndef UL_LANGFEATURE_H_
#define UL_LANGFEATURE_H_

#include <string>

#include "ul_ccode_type.h"
#include "utils/ccode_hashmap.h"

// The query languages by _LANG_T.
enum _LANG_FLAG {
  EN = 0,
  SIMP_CN = 1,
  TRAD_CN = 2,
  JP = 3,
  THAI = 6,
  VN = 7,
  MY = 8,
  FRCH = 10,
  ARABIC = 13,
  POR = 34,
  SPAN = 42,
  IN = 48
};

// Languages the feature arrays are indexed by (_LANG_T 0..84).
const int LANG_FEATURE_NUM = 85;

// Letter sets, letters packed as their UTF-8 bytes (first byte most
// significant). A language is active (has tables) when its entry is set and
// its count is above 0; the letters of Chinese, Japanese, Portuguese and
// Spanish are not stored (their n-grams are not filtered).
extern const unsigned int* const LANG_CHARUTF8[LANG_FEATURE_NUM];
extern const int LANG_CHARUTF8_NUM[LANG_FEATURE_NUM];

class QueryKeyIndex;

// One table: key -> integer score (hundredths of a natural logarithm) or
// scaled frequency.
typedef ccode::hashmap<std::string, int> FeatureSet;

// Seven arrays, each of 85 table pointers indexed by _LANG_T; only active
// languages have tables (the other entries are NULL).
class LANGFEATURESET {
 public:
  // Allocates the seven arrays (releasing any earlier ones) and empty tables
  // for every active language. false after "init fail in init_feature" when
  // memory runs out (what was made stays until release).
  bool init_feature();
  // Loads every active language, in increasing _LANG_T order, from the
  // directory prefix path (ending in '/'). false at the first failure.
  bool loadfeature(const char* path);
  // One language's four files.
  bool loadlangfeature(const char* path, _LANG_T lang);
  // Fills the letter table of lang from LANG_CHARUTF8; false when a letter
  // cannot be inserted (a repeated letter).
  bool loadlangutf8(int lang, FeatureSet* table);
  // One n-gram file into forward (and backoff when not NULL); with filter,
  // only n-grams whose characters are all in letters. true also for an
  // empty file.
  bool loadlangngram(const char* file, FeatureSet* letters, FeatureSet* forward, FeatureSet* backoff,
                     bool filter);
  // The common-word file into table.
  bool loadlangword(const char* file, FeatureSet* table);
  // Empties every table; false when one stays filled or an array is missing.
  bool destroy_feature();
  // Frees every table and the arrays (safe after a partial init_feature).
  bool delete_feature();
  // Frees the indexes (m_WordIndex, m_GramIndex); the tables stay.
  void drop_index();
  // Decimal text (sign, digits, optional point and digits; no exponent; at
  // most 99 bytes read) to *out. false (logged, *out = 0) for NULL or "".
  bool char2double(const char* text, double* out);
  int uint2hexstr(unsigned int value, unsigned char* out);
  int isutf8(unsigned char* p, bool bom);

  FeatureSet** m_LangCharUtf8 = nullptr;  // letters of the language
  FeatureSet** m_LangUnigram = nullptr;   // character unigram scores
  FeatureSet** m_LangBigram = nullptr;    // character bigram scores
  FeatureSet** m_LangBigBack = nullptr;   // back-off weights keyed as in the bigram file
  FeatureSet** m_LangTrigram = nullptr;   // character trigram scores
  FeatureSet** m_LangTriBack = nullptr;   // back-off weights keyed as in the trigram file
  FeatureSet** m_LangComWords = nullptr;  // common words, scaled frequencies
  // One index over the word tables and one over the n-gram tables of every
  // language, made by loadfeature once every language is in (NULL before,
  // when they could not be made, and after any other load or release). The
  // scoring reads them instead of the tables; a table changed by hand
  // afterwards is not seen there.
  QueryKeyIndex* m_WordIndex = nullptr;
  QueryKeyIndex* m_GramIndex = nullptr;
};

// The loaded set, NULL while none is loaded. Owned by the data loader.
extern LANGFEATURESET* g_langfeaset;

// True when lang has tables in a set made by init_feature.
bool ul_ccode_lang_active(int lang);

// Writes the bytes of value, most significant first and without leading
// zero bytes (0 gives one zero byte), to out, unterminated: their count.
// NULL out: logged, -1.
int uint2hexstr(unsigned int value, unsigned char* out);

// bom false: the byte length (1..5) of the well-formed UTF-8 character at
// p, or -1 (also for a NUL byte). bom true: 0 when p begins with EF BB BF,
// else -1. NULL: logged, -1. Reads no byte after one that fails.
int ul_ccode_isutf8(unsigned char* p, bool bom);

#endif  // UL_LANGFEATURE_H_
