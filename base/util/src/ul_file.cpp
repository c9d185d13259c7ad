// Whole-file operations on dir/file. Names are joined into a 256-byte path;
// failures are logged at FATAL. The copy functions check every read and
// write, so a short copy (full disk, I/O error) is reported, and a move
// removes its source only after a complete copy.
//
// Messages are the system's own texts, odd spelling included ("do not exist."):
// log readers match them, so they stay as they are.
#include "ul_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string_view>
#include <vector>

#include "toolkit/file.h"
#include "toolkit/path.h"
#include "ul_log.h"

namespace {

using toolkit::UniqueFd;
using toolkit::UniqueFile;

constexpr size_t kPathSize = 256;
constexpr size_t kPiece = 65536;

bool IsRegular(const char* path, struct stat* st) {
  return stat(path, st) == 0 && S_ISREG(st->st_mode);
}

enum class CopyResult { kOk, kReadError, kWriteError };

// Copies everything from in to out in pieces of 64 KiB, until a piece comes
// back short (the end of the file).
CopyResult CopyFd(int in, int out) {
  std::vector<char> piece(kPiece);
  char* buf = piece.data();
  for (;;) {
    const ssize_t r = toolkit::ReadFull(in, buf, kPiece);
    if (r < 0) return CopyResult::kReadError;
    if (!toolkit::WriteAll(out, buf, static_cast<size_t>(r))) return CopyResult::kWriteError;
    if (static_cast<size_t>(r) < kPiece) return CopyResult::kOk;
  }
}

bool SameFile(int a, int b) {
  struct stat sa, sb;
  return fstat(a, &sa) == 0 && fstat(b, &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

// Shared body of ul_cpfile and ul_appfile; tag is "cpfile" or "appfile".
int CopyInto(const char* tag, const char* dir, const char* src, const char* dst, bool append) {
  char from[kPathSize], to[kPathSize];
  if (ul_fullpath(dir, src, from, sizeof(from)) != 0) return -1;
  if (ul_fullpath(dir, dst, to, sizeof(to)) != 0) return -1;
  struct stat st;
  if (!IsRegular(from, &st)) {
    ul_writelog(UL_LOG_FATAL, "[%s] file : %s do not exist.\n", tag, from);
    return -1;
  }
  UniqueFd in = toolkit::OpenForReading(from);
  if (!in.ok()) {
    ul_writelog(UL_LOG_FATAL, "[%s] open %s error", tag, from);
    return -1;
  }
  // The destination is truncated only after it is known not to be the source.
  UniqueFd out(open(to, append ? (O_WRONLY | O_CREAT | O_APPEND) : (O_WRONLY | O_CREAT), 0666));
  if (!out.ok()) {
    ul_writelog(UL_LOG_FATAL, "[%s] open %s error", tag, to);
    return -1;
  }
  if (SameFile(in.get(), out.get())) {
    ul_writelog(UL_LOG_FATAL, "[%s] open %s error", tag, to);
    return -1;
  }
  if (!append && ftruncate(out.get(), 0) != 0) {
    ul_writelog(UL_LOG_FATAL, "[%s] write (%s) error", tag, to);
    return -1;
  }
  switch (CopyFd(in.get(), out.get())) {
    case CopyResult::kOk:
      break;
    case CopyResult::kReadError:
      ul_writelog(UL_LOG_FATAL, "[%s] read (%s) error", tag, from);
      return -1;
    case CopyResult::kWriteError:
      ul_writelog(UL_LOG_FATAL, "[%s] write (%s) error", tag, to);
      return -1;
  }
  if (!out.Close()) {
    ul_writelog(UL_LOG_FATAL, "[%s] write (%s) error", tag, to);
    return -1;
  }
  return 1;
}

}  // namespace

int ul_fullpath(const char* dir, const char* file, char* buf, size_t size) {
  if (buf == nullptr) return -1;
  if (size == 0) return -1;  // nothing may be written into a zero-size buffer
  buf[0] = '\0';
  if (dir == nullptr || file == nullptr) return -1;

  std::string_view d(dir);
  while (d.size() > 1 && d.back() == '/') d.remove_suffix(1);
  std::string_view f(file);
  std::string_view head;
  if (d.empty()) {
    if (f.empty() || f.front() != '/') return toolkit::Concat(buf, size, {f}) ? 0 : -1;
    head = "/";
  } else {
    head = d;
  }
  while (!f.empty() && f.front() == '/') f.remove_prefix(1);
  const std::string_view slash = head.back() != '/' ? "/" : "";
  return toolkit::Concat(buf, size, {head, slash, f}) ? 0 : -1;
}

int ul_fexist(const char* dir, const char* file) {
  char path[kPathSize];
  if (ul_fullpath(dir, file, path, sizeof(path)) != 0) return 0;
  struct stat st;
  return IsRegular(path, &st) ? 1 : 0;
}

off_t ul_fsize(const char* dir, const char* file) {
  char path[kPathSize];
  if (ul_fullpath(dir, file, path, sizeof(path)) != 0) return -1;
  struct stat st;
  if (!IsRegular(path, &st)) return -1;
  return st.st_size;
}

int ul_finfo(const char* dir, const char* file, int* lines, int* words, int* bytes) {
  char path[kPathSize];
  if (lines == nullptr || words == nullptr || bytes == nullptr) return -1;
  if (ul_fullpath(dir, file, path, sizeof(path)) != 0) return -1;
  struct stat st;
  if (!IsRegular(path, &st)) return -1;
  UniqueFd fd = toolkit::OpenForReading(path);
  if (!fd.ok()) return -1;
  // Words are maximal runs of bytes other than space, tab, CR and LF; a last
  // line without LF counts as a line.
  std::vector<char> piece(kPiece);
  char* buf = piece.data();
  long long nlines = 0, nwords = 0, nbytes = 0;
  bool in_word = false;
  char last = '\n';
  for (;;) {
    const ssize_t r = toolkit::ReadFull(fd.get(), buf, kPiece);
    if (r < 0) return -1;
    if (r == 0) break;
    for (ssize_t i = 0; i < r; ++i) {
      char c = buf[i];
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
        in_word = false;
        if (c == '\n') ++nlines;
      } else if (!in_word) {
        in_word = true;
        ++nwords;
      }
    }
    nbytes += r;
    last = buf[r - 1];
  }
  if (nbytes > 0 && last != '\n') ++nlines;
  *lines = static_cast<int>(nlines);
  *words = static_cast<int>(nwords);
  *bytes = static_cast<int>(nbytes);
  return 1;
}

int ul_nullfile(const char* dir, const char* file) {
  char path[kPathSize];
  if (ul_fullpath(dir, file, path, sizeof(path)) != 0) return -1;
  UniqueFile fp(fopen(path, "w"));
  if (!fp.ok()) {
    ul_writelog(UL_LOG_FATAL, "[nullfile] open file (%s) error", path);
    return -1;
  }
  return 1;  // an empty stream has nothing to lose at its close
}

int ul_cpfile(const char* dir, const char* src, const char* dst) {
  return CopyInto("cpfile", dir, src, dst, false);
}

int ul_appfile(const char* dir, const char* src, const char* dst) {
  return CopyInto("appfile", dir, src, dst, true);
}

int ul_mvfile(const char* dir, const char* src, const char* dst) {
  char from[kPathSize], to[kPathSize];
  if (ul_fullpath(dir, src, from, sizeof(from)) != 0) return -1;
  if (ul_fullpath(dir, dst, to, sizeof(to)) != 0) return -1;
  if (rename(from, to) == 0) return 0;
  ul_writelog(UL_LOG_FATAL, "[mvfile] rename (%s) to (%s) error", from, to);
  // The source goes only after a complete copy.
  if (ul_cpfile(dir, src, dst) != 1) return -1;
  if (unlink(from) != 0) {
    ul_writelog(UL_LOG_FATAL, "[mvfile] unlink file (%s) error", from);
    return -1;
  }
  return 0;
}

int ul_readfile(const char* dir, const char* file, void* buf, int size) {
  char path[kPathSize];
  if (buf == nullptr || size < 0) return -1;
  if (ul_fullpath(dir, file, path, sizeof(path)) != 0) return -1;
  UniqueFd fd = toolkit::OpenForReading(path);
  if (!fd.ok()) {
    ul_writelog(UL_LOG_FATAL, "[readfile] open (%s) error", path);
    return -1;
  }
  ssize_t r = read(fd.get(), buf, static_cast<size_t>(size));
  if (r < 0) {
    ul_writelog(UL_LOG_FATAL, "[readfile] read (%s) error", path);
    return -1;
  }
  return static_cast<int>(r);
}

int ul_writefile(const char* dir, const char* file, const void* buf, int size) {
  char path[kPathSize];
  if (buf == nullptr || size < 0) return -1;
  if (ul_fullpath(dir, file, path, sizeof(path)) != 0) return -1;
  UniqueFd fd(open(path, O_WRONLY | O_CREAT | O_TRUNC, 0666));
  if (!fd.ok()) {
    ul_writelog(UL_LOG_FATAL, "[writefile] open (%s) error", path);
    return -1;
  }
  fchmod(fd.get(), 0666);
  ssize_t w = write(fd.get(), buf, static_cast<size_t>(size));
  if (w < 0) {
    ul_writelog(UL_LOG_FATAL, "[writefile] write(%s) error", path);
    return -1;
  }
  return static_cast<int>(w);
}

int ul_exchangedir(const char* dir, const char* a, const char* b) {
  char pa[kPathSize], pb[kPathSize], tmp[kPathSize];
  if (ul_fullpath(dir, a, pa, sizeof(pa)) != 0) return -1;
  if (ul_fullpath(dir, b, pb, sizeof(pb)) != 0) return -1;
  if (ul_fullpath(dir, "tmp.xxx", tmp, sizeof(tmp)) != 0) return -1;
  if (rename(pb, tmp) != 0) {
    ul_writelog(UL_LOG_FATAL, "[exchangedir] rename(%s) to (%s) error", pb, tmp);
    return -1;
  }
  if (rename(pa, pb) != 0) {
    ul_writelog(UL_LOG_FATAL, "[exchangedir] rename(%s) to (%s) error", pa, pb);
    rename(tmp, pb);  // put b back under its own name
    return -1;
  }
  if (rename(tmp, pa) != 0) {
    ul_writelog(UL_LOG_FATAL, "[exchangedir] rename(%s) to (%s) error", tmp, pa);
    rename(pb, pa);  // undo both steps
    rename(tmp, pb);
    return -1;
  }
  return 1;
}
