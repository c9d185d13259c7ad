// File helpers of the dictionary savers and loaders.
#include "dict_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <initializer_list>
#include <string_view>

#include "toolkit/path.h"
#include "ul_conf.h"
#include "ul_dict.h"
#include "ul_file.h"
#include "ul_func.h"
#include "ul_log.h"

namespace dict_internal {

bool DictPath(char* buf, const char* path, const char* fname, const char* suffix) {
  return toolkit::JoinPath(buf, kPathSize, path, fname, suffix);
}

toolkit::UniqueFd OpenRead(const char* full_path) {
  return toolkit::OpenForReading(full_path, ul_open, ul_close);
}

bool ReadAll(int fd, void* buf, size_t n) {
  return toolkit::ReadExact(fd, buf, n, ul_read, kReadPiece);
}

ssize_t ReadUpTo(int fd, void* buf, size_t n) {
  return toolkit::ReadFull(fd, buf, n, ul_read, kReadPiece);
}

bool ReadAt(int fd, void* buf, size_t n, off_t off) {
  if (ul_lseek(fd, off, SEEK_SET) != off) return false;
  return ReadAll(fd, buf, n);
}

int64_t FileSize(int fd) {
  struct stat st;
  if (ul_fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

bool NumbersDir(char* buf, const char* path) {
  const std::string_view dir(path);
  const bool slash = dir.empty() || dir.back() == '/';
  return toolkit::Concat(buf, kPathSize, {dir, slash ? "" : "/"});
}

bool FilesExist(const char* path, const char* fname) {
  for (const char* suffix : {".n", ".ind1", ".ind2"}) {
    char name[kPathSize];
    const bool fits = toolkit::Concat(name, sizeof(name), {fname, suffix});
    if (!fits || ul_fexist(path, name) != 1) {
      ul_writelog(UL_LOG_WARNING, "File %s/%s does not exist or cannot open to read.", path,
                  fits ? name : fname);
      return false;
    }
  }
  return true;
}

namespace {

bool ReadOne(const char* path, const char* fname, const char* key, NumbersLog log, int* out) {
  if (ul_readnum_oneint(path, fname, key, out) == 1) return true;
  // The two sides have always logged these failures differently.
  if (log == NumbersLog::kSearch) {
    ul_writelog(UL_LOG_WARNING, "Read %s failed.", key);
  } else if (std::strcmp(key, "hash_num") == 0) {
    ul_writelog(UL_LOG_WARNING, "Read hashnum from %s/%s.n failed.", path, fname);
  } else {
    ul_writelog(UL_LOG_WARNING, "Read %s from %s/%s.n failed.", key, path, fname);
  }
  return false;
}

}  // namespace

bool ReadNumbers(const char* path, const char* fname, int hash_num, NumbersLog log,
                 Numbers* out) {
  out->hash_num = hash_num;
  if ((hash_num < 1 && !ReadOne(path, fname, "hash_num", log, &out->hash_num)) ||
      !ReadOne(path, fname, "node_num", log, &out->node_num) ||
      !ReadOne(path, fname, "cur_code", log, &out->cur_code)) {
    return false;
  }
  if (out->hash_num < 1 || out->node_num < 0) {
    ul_writelog(UL_LOG_WARNING, "Numbers of %s/%s.n are out of range (hash_num %d, node_num %d).",
                path, fname, out->hash_num, out->node_num);
    return false;
  }
  return true;
}

bool IndexConsistent(const unsigned int* starts, const unsigned int* counts, int hash_num,
                     int node_num) {
  uint64_t total = 0;
  for (int b = 0; b < hash_num; ++b) {
    if (uint64_t{starts[b]} + counts[b] > static_cast<uint64_t>(node_num)) return false;
    total += counts[b];
  }
  return total == static_cast<uint64_t>(node_num);
}

}  // namespace dict_internal
