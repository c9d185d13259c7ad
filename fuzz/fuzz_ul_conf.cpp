// Fuzzes the configuration reader over arbitrary file bytes: the input is
// written to a file, read with includes, queried through every getter,
// written back and read again, and read once more into a table of 8 items
// to take the full-table exit. The same file read as a numbers file must
// give what the getters give on a table of 1024 items. A leaked file shows as a higher lowest free
// descriptor; leaked memory is reported by LeakSanitizer.
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "support/scratch_dir.h"
#include "ul_conf.h"
#include "ul_log.h"

namespace {

struct Setup {
  std::string dir;
  std::string file;
  Ul_confdata* conf = nullptr;

  Setup() {
    dir = testsupport::ProcessScratchDir();
    file = dir + "/in.n";
    // Line errors go to a log that keeps nothing, not to standard error.
    ul_logstat_t quiet = {0, 0, 0};
    ul_openlog(dir.c_str(), "fuzz", &quiet, 1);
    conf = ul_initconf(UL_CONF_MIN_SIZE);
    if (conf == nullptr) abort();
  }

  ~Setup() {
    ul_freeconf(conf);
    ul_closelog(0);
  }

  static int LowestFreeFd() {
    int fd = open("/dev/null", O_RDONLY);
    if (fd < 0) abort();
    close(fd);
    return fd;
  }
};

void WriteInput(const std::string& path, const uint8_t* data, size_t size) {
  if (!testsupport::WriteBytes(path, data, size)) abort();
}

void QueryAll(const Ul_confdata* conf) {
  char buf[UL_CONF_WORD_SIZE];
  char small[5];
  for (int i = 0; i < conf->num; ++i) {
    const char* name = conf->item[i].name;
    int v;
    unsigned int u;
    long long ll;
    unsigned long long ull;
    float f;
    ul_getconfnstr(conf, name, buf, sizeof(buf));
    ul_getconfnstr(conf, name, small, sizeof(small));
    ul_getconfint(conf, name, &v);
    ul_getconfuint(conf, name, &u);
    ul_getconfint64(conf, name, &ll);
    ul_getconfuint64(conf, name, &ull);
    ul_getconffloat(conf, name, &f);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Setup setup;
  // Taken per run: between runs the fuzzing engine may open descriptors of
  // its own (the symbolizer's pipes when it names newly covered functions),
  // so only what this run leaves open counts.
  const int free_fd = Setup::LowestFreeFd();
  Ul_confdata* conf = setup.conf;
  WriteInput(setup.file, data, size);

  // The numbers-file look-up agrees with a table of 1024 items.
  conf->num = 0;
  const int plain = ul_readconf(setup.dir.c_str(), "in.n", conf);
  if (plain == 1 && conf->num > 0) {
    for (int i : {0, conf->num - 1}) {
      std::string name = conf->item[i].name;
      int want = 0, got = 0;
      int found = ul_getconfint(conf, name.c_str(), &want);
      if (ul_readnum_oneint(setup.dir.c_str(), "in", name.c_str(), &got) != found) abort();
      if (found == 1 && got != want) abort();
    }
  } else if (plain != 1) {
    int got = 0;
    if (ul_readnum_oneint(setup.dir.c_str(), "in", "k", &got) != 0) abort();
  }

  conf->num = 0;
  if (ul_readconf_ex(setup.dir.c_str(), "in.n", conf) == 1) {
    if (conf->num < 0 || conf->num > conf->size) abort();
    QueryAll(conf);
    if (conf->num > 0 && ul_writeconf(setup.dir.c_str(), "out.conf", conf) == 1) {
      conf->num = 0;
      ul_readconf(setup.dir.c_str(), "out.conf", conf);
    }
  }
  if (conf->num < 0 || conf->num > conf->size) abort();

  // The same bytes into a narrow table: the reader must stop at 8 items.
  const int size_saved = conf->size;
  conf->size = 8;
  ul_readconf(setup.dir.c_str(), "in.n", conf);
  conf->size = size_saved;
  if (conf->num < 0 || conf->num > 8) abort();

  if (Setup::LowestFreeFd() != free_fd) abort();  // a file was left open
  return 0;
}
