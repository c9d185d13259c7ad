// The query-language feature set: per-language common-word and character
// n-gram tables that the query-language scoring reads. ul_ccode_load builds
// one process-wide set (g_langfeaset) when its flag word has bit 4;
// ul_ccode_del releases it.
#ifndef UL_LANGFEATURE_H_
#define UL_LANGFEATURE_H_

#include <string>

#include "utils/ccode_hashmap.h"

// One table: key -> integer score (hundredths of a natural logarithm) or
// scaled frequency.
typedef ccode::hashmap<std::string, int> FeatureSet;

// Seven arrays, each of 85 table pointers indexed by _LANG_T 0..84.
class LANGFEATURESET {
 public:
  // Allocates the seven arrays and the tables of every active language.
  bool init_feature();
  // Loads every active language's files from the directory prefix path
  // (ending in '/').
  bool loadfeature(const char* path);
  // Empty and destroy every table; free the tables and the arrays.
  bool destroy_feature();
  bool delete_feature();

  FeatureSet** m_LangCharUtf8;  // letters of the language
  FeatureSet** m_LangUnigram;   // character unigram scores
  FeatureSet** m_LangBigram;    // character bigram scores
  FeatureSet** m_LangBigBack;   // back-off weights of bigrams
  FeatureSet** m_LangTrigram;   // character trigram scores
  FeatureSet** m_LangTriBack;   // back-off weights of trigrams
  FeatureSet** m_LangComWords;  // common words, scaled frequencies
};

// The loaded set, NULL while none is loaded. Owned by the data loader.
extern LANGFEATURESET* g_langfeaset;

#endif  // UL_LANGFEATURE_H_
