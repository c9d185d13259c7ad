// Fuzzes the query data readers over arbitrary file bytes: the input's first
// byte cuts it into two files, read as a common-word file and an n-gram file
// of one language (with the letter filter and without), and as the two query
// frequency files and the override file.
#include <stdlib.h>
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "support/scratch_dir.h"
#include "ul_langfeature.h"
#include "ul_log.h"
#include "ul_query_data.h"

namespace {

struct Setup {
  std::string dir;
  LANGFEATURESET set;
  Setup() {
    dir = testsupport::ProcessScratchDir();
    ul_logstat_t quiet = {0, 0, 0};
    ul_openlog(dir.c_str(), "fuzz", &quiet, 1);
    if (!set.init_feature()) abort();
  }
  ~Setup() {
    set.destroy_feature();
    set.delete_feature();
    DestroyQueryUnigramData();
    destroy_query_detect_config();
    ul_closelog(0);
  }
};

void Write(const std::string& path, const uint8_t* data, size_t size) {
  if (!testsupport::WriteBytes(path, data, size)) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Setup setup;
  const size_t cut = size == 0 ? 0 : (size - 1) * data[0] / 255;
  const uint8_t* body = size == 0 ? data : data + 1;
  const size_t body_size = size == 0 ? 0 : size - 1;
  const std::string a = setup.dir + "/a", b = setup.dir + "/b";
  Write(a, body, cut);
  Write(b, body + cut, body_size - cut);
  LANGFEATURESET& s = setup.set;
  for (int lang : {EN, FRCH}) {
    s.m_LangComWords[lang]->clear();
    s.loadlangword(a.c_str(), s.m_LangComWords[lang]);
    s.m_LangCharUtf8[lang]->clear();
    s.loadlangutf8(lang, s.m_LangCharUtf8[lang]);
    s.m_LangTrigram[lang]->clear();
    s.m_LangTriBack[lang]->clear();
    s.loadlangngram(b.c_str(), s.m_LangCharUtf8[lang], s.m_LangTrigram[lang], s.m_LangTriBack[lang], lang == EN);
  }
  LoadQueryUnigramData(setup.dir.c_str(), "a", "b");
  load_query_detect_config(setup.dir.c_str(), "b");
  return 0;
}
