// Helpers of the query-language tests: one feature set per test program
// (making one costs about 50 MB of buckets), filled language by language
// from files the test writes.
#ifndef CCODE_TEST_QUERY_FEATURE_DATA_H_
#define CCODE_TEST_QUERY_FEATURE_DATA_H_

#include <fstream>
#include <string>
#include <vector>

#include "support/support.h"
#include "ul_ccode_load.h"
#include "ul_langfeature.h"

namespace querytest {

inline LANGFEATURESET* SharedSet() {
  static LANGFEATURESET* set = [] {
    LANGFEATURESET* s = new LANGFEATURESET();
    if (!s->init_feature()) return static_cast<LANGFEATURESET*>(nullptr);
    return s;
  }();
  return set;
}

// The four files of one language in a folder of its own.
struct LangFiles {
  std::string words = "a 1\n", uni, big, tri;
};

class FeatureDir {
 public:
  // Writes files for stem under the folder; returns the prefix ("dir/").
  std::string Write(const std::string& stem, const LangFiles& f) const {
    testsupport::WriteFile(dir_.file(stem + "_words.part"), f.words);
    testsupport::WriteFile(dir_.file(stem + "_hd_uni"), f.uni);
    testsupport::WriteFile(dir_.file(stem + "_hd_big"), f.big);
    testsupport::WriteFile(dir_.file(stem + "_hd_tri"), f.tri);
    return dir_.path() + "/";
  }

 private:
  testsupport::TempDir dir_;
};

// Empties every table of lang in the shared set and loads its files.
inline bool Reload(_LANG_T lang, const LangFiles& f) {
  LANGFEATURESET* fs = SharedSet();
  FeatureSet** arrays[] = {fs->m_LangCharUtf8, fs->m_LangUnigram, fs->m_LangBigram,  fs->m_LangBigBack,
                           fs->m_LangTrigram,  fs->m_LangTriBack, fs->m_LangComWords};
  for (FeatureSet** a : arrays) a[lang]->clear();
  FeatureDir dir;
  return fs->loadlangfeature(dir.Write(LANG_STRING[lang], f).c_str(), lang);
}

// The words of the library's word list of stem ("english", ...).
inline std::vector<std::string> ListedWords(const std::string& stem) {
  std::ifstream in(std::string(ul_ccode_default_path()) + "/code/" + stem + "_words.part");
  std::vector<std::string> words;
  std::string line;
  while (std::getline(in, line)) {
    const size_t sp = line.find(' ');
    if (sp != std::string::npos && sp > 0) words.push_back(line.substr(0, sp));
  }
  return words;
}

inline int Get(FeatureSet* table, const std::string& key) {
  int v = 0;
  return table->get(key, &v) == ccode::CCODE_HASH_EXIST ? v : 12345;
}

}  // namespace querytest

#endif  // CCODE_TEST_QUERY_FEATURE_DATA_H_
