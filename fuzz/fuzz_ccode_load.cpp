// Fuzzes the character-code data readers over arbitrary file bytes: the
// input's first byte chooses where it is cut into a grid file and a set
// file. The grid is read in both layouts; the set file is read as a
// character set, a bigram set, a word model and a word map. Reads past a
// file's bytes or a row show under AddressSanitizer, leaks under
// LeakSanitizer.
#include <stdlib.h>
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "support/scratch_dir.h"
#include "ul_ccode_data.h"
#include "ul_log.h"

namespace {

struct Setup {
  std::string dir;
  Setup() {
    dir = testsupport::ProcessScratchDir();
    if (mkdir((dir + "/code").c_str(), 0755) != 0) abort();
    // "open ... error" lines go to a log that keeps nothing.
    ul_logstat_t quiet = {0, 0, 0};
    ul_openlog(dir.c_str(), "fuzz", &quiet, 1);
  }
  ~Setup() { ul_closelog(0); }
};

void Write(const std::string& path, const uint8_t* data, size_t size) {
  if (!testsupport::WriteBytes(path, data, size)) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Setup setup;
  const char* dir = setup.dir.c_str();
  const size_t cut = size == 0 ? 0 : (size - 1) * data[0] / 255;
  const uint8_t* body = size == 0 ? data : data + 1;
  const size_t body_size = size == 0 ? 0 : size - 1;
  Write(setup.dir + "/code/grid", body, cut);
  Write(setup.dir + "/code/set", body + cut, body_size - cut);

  for (unsigned char* (*reader)(const char*, const char*) : {big5_to_load, gbk_to_load}) {
    unsigned char* grid = reader(dir, "code/grid");
    if (grid == nullptr) abort();
    free(grid);
  }
  ccode_charset_t chars;
  ccode_bigramset_t bigrams;
  if (load_unigram_dict(dir, "code/set", &chars) != 1) abort();
  if (load_bigram_dict(dir, "code/set", &bigrams) != 1) abort();
  l_globalWord.create(64);
  ccode_wordmap_t words;
  if (load_word_unigram(dir, "code/set", &words, 14) < 0) abort();
  ccode_transmap_t map;
  if (load_trad_simp_map(dir, "code/set", &map) < 0) abort();
  l_globalWord.destroy();
  return 0;
}
