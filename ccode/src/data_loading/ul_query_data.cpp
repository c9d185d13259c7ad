// Query code-type detection data: the GBK and UTF-8 character frequency
// tables and the per-query overrides ("code/query_detect.conf").
#include "ul_query_data.h"

#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "toolkit/file.h"
#include "toolkit/path.h"
#include "ul_func.h"
#include "ul_log.h"

namespace {

constexpr int kLineSize = 1024;  // lines of at most 1,023 bytes
constexpr size_t kNameSize = 4096;
constexpr size_t kUnigramBuckets = 50021;
constexpr size_t kConfigBuckets = 1009;

_WordUnigramStat_t unistat;
_query_config_t queryconfig;

toolkit::UniqueFile OpenData(const char* path, const char* file) {
  char name[kNameSize];
  if (!toolkit::JoinPath(name, path, file)) return toolkit::UniqueFile();
  return toolkit::OpenStreamForReading(name, ul_open, ul_fclose);
}

// The line without its line end, for the log.
const char* Chomp(char* line) {
  line[strcspn(line, "\r\n")] = '\0';
  return line;
}

}  // namespace

_WordUnigramStat_t* punistat = &unistat;
_query_config_t* pqueryconfig = &queryconfig;

int LoadQueryUnigramFile(const char* path, const char* file, QueryDict* dict) {
  toolkit::UniqueFile fp = OpenData(path, file);
  if (!fp.ok()) {
    ul_writelog(UL_LOG_FATAL, "LoadQueryUnigramFile open dict file fail! file:%s", file);
    return -1;
  }
  char line[kLineSize];
  char word[kLineSize];
  int taken = 0;
  while (fgets(line, sizeof(line), fp.get()) != nullptr) {
    if (line[0] == '#') continue;
    long long freq = 0;
    if (sscanf(line, "%1023s %lld", word, &freq) != 2) {
      ul_writelog(UL_LOG_WARNING, "LoadQueryUnigramFile invalid line:%s", Chomp(line));
      continue;
    }
    const size_t len = strlen(word);
    if (len > 4 || freq < 0 || freq > INT_MAX) {
      ul_writelog(UL_LOG_WARNING, "LoadQueryUnigramFile invalid word or freq! word:%s freq:%d line:%s", word,
                  static_cast<int>(freq < INT_MIN ? INT_MIN : freq > INT_MAX ? INT_MAX : freq), Chomp(line));
      continue;
    }
    dict->set(std::string(word, len), static_cast<int>(freq), 0);
    ++taken;
  }
  return taken;
}

bool QueryUnigramLoaded() { return unistat.gbkdict != nullptr && unistat.utf8dict != nullptr; }

int LoadQueryUnigramData(const char* path, const char* gbkfile, const char* utf8file) {
  if (punistat == nullptr || path == nullptr || gbkfile == nullptr || utf8file == nullptr) return -1;
  // Tables of an earlier load are freed, not overwritten.
  DestroyQueryUnigramData();
  unistat.gbkwordnum = unistat.utfwordnum = 0;
  if (unistat._utf8dict.create(kUnigramBuckets) != 0 || unistat._gbkdict.create(kUnigramBuckets) != 0) {
    ul_writelog(UL_LOG_FATAL, "LoadQueryUnigramData create dict fail! hash:%d", static_cast<int>(kUnigramBuckets));
    DestroyQueryUnigramData();
    return -1;
  }
  unistat.utfwordnum = LoadQueryUnigramFile(path, utf8file, &unistat._utf8dict);
  if (unistat.utfwordnum < 1) {
    ul_writelog(UL_LOG_FATAL, "LoadQueryUnigramData load utf8 file fail, in %s", "LoadQueryUnigramData");
    DestroyQueryUnigramData();
    return -1;
  }
  unistat.gbkwordnum = LoadQueryUnigramFile(path, gbkfile, &unistat._gbkdict);
  if (unistat.gbkwordnum < 1) {
    ul_writelog(UL_LOG_FATAL, "LoadQueryUnigramData load gbk file fail, in %s", "LoadQueryUnigramData");
    DestroyQueryUnigramData();
    return -1;
  }
  unistat.utf8dict = &unistat._utf8dict;
  unistat.gbkdict = &unistat._gbkdict;
  return 1;
}

int load_query_detect_config(const char* path, const char* file) {
  static const char kFunc[] = "load_query_detect_config";
  if (path == nullptr || file == nullptr) return -1;
  destroy_query_detect_config();
  toolkit::UniqueFile fp = OpenData(path, file);
  if (!fp.ok()) {
    ul_writelog(UL_LOG_WARNING, "failed to open query detect config file[%s], in %s", file, kFunc);
    return -1;
  }
  if (queryconfig._dict.create(kConfigBuckets) != 0) {
    ul_writelog(UL_LOG_WARNING, "failed to create query config, in %s", kFunc);
    destroy_query_detect_config();
    return -1;
  }
  char line[kLineSize];
  while (fgets(line, sizeof(line), fp.get()) != nullptr) {
    if (line[0] == '#') continue;
    char* tab = strchr(line, '\t');
    long code = -1;
    if (tab != nullptr && tab[1] >= '0' && tab[1] <= '9') {
      errno = 0;
      code = strtol(tab + 1, nullptr, 10);
      if (errno != 0 || code > INT_MAX) code = -1;  // out of int range: skipped
    }
    if (code < 0) {
      ul_writelog(UL_LOG_WARNING, "%s read invalid line [%s]", kFunc, Chomp(line));
      continue;
    }
    const std::string query(line, static_cast<size_t>(tab - line));
    if (queryconfig._dict.set(query, static_cast<int>(code), 0) == -1) {
      ul_writelog(UL_LOG_WARNING, "%s add word [%s] to query config failed", kFunc, query.c_str());
    }
  }
  queryconfig.dict = &queryconfig._dict;
  return 1;
}

void DestroyQueryUnigramData() {
  unistat.gbkdict = unistat.utf8dict = nullptr;
  unistat._gbkdict.destroy();
  unistat._utf8dict.destroy();
}

void destroy_query_detect_config() {
  queryconfig.dict = nullptr;
  queryconfig._dict.destroy();
}
