// Older whole-file interface with char* names, and the console progress line.
#include "dep_file.h"

#include <stdio.h>

int ul_fexist(char* dir, char* file) {
  return ul_fexist(static_cast<const char*>(dir), static_cast<const char*>(file));
}
off_t ul_fsize(char* dir, char* file) {
  return ul_fsize(static_cast<const char*>(dir), static_cast<const char*>(file));
}
int ul_finfo(char* dir, char* file, int* lines, int* words, int* bytes) {
  return ul_finfo(static_cast<const char*>(dir), static_cast<const char*>(file), lines, words,
                  bytes);
}
int ul_nullfile(char* dir, char* file) {
  return ul_nullfile(static_cast<const char*>(dir), static_cast<const char*>(file));
}
int ul_cpfile(char* dir, char* src, char* dst) {
  return ul_cpfile(static_cast<const char*>(dir), static_cast<const char*>(src),
                   static_cast<const char*>(dst));
}
int ul_appfile(char* dir, char* src, char* dst) {
  return ul_appfile(static_cast<const char*>(dir), static_cast<const char*>(src),
                    static_cast<const char*>(dst));
}
int ul_mvfile(char* dir, char* src, char* dst) {
  return ul_mvfile(static_cast<const char*>(dir), static_cast<const char*>(src),
                   static_cast<const char*>(dst));
}
int ul_readfile(char* dir, char* file, void* buf, int size) {
  return ul_readfile(static_cast<const char*>(dir), static_cast<const char*>(file), buf, size);
}
int ul_writefile(char* dir, char* file, void* buf, int size) {
  return ul_writefile(static_cast<const char*>(dir), static_cast<const char*>(file),
                      static_cast<const void*>(buf), size);
}
int ul_exchangedir(char* dir, char* a, char* b) {
  return ul_exchangedir(static_cast<const char*>(dir), static_cast<const char*>(a),
                        static_cast<const char*>(b));
}

namespace {
// Moves the cursor back over the previous progress text.
const char kBackspaces[] =
    "\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b"
    "\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b";
static_assert(sizeof(kBackspaces) == 71, "70 backspaces");
}  // namespace

int ul_showgo(const char* remark, int n) {
  fputs(kBackspaces, stdout);
  printf("%s : %d", remark, n);
  return fflush(stdout);
}

int ul_showgocmp(const char* remark, int total, int done) {
  fputs(kBackspaces, stdout);
  if (total == -1) {
    printf("%s : %d/unknown", remark, done);
  } else {
    printf("%s : %d/%d", remark, done, total);
  }
  return fflush(stdout);
}

int ul_showgoend(const char* remark, int total, int done) {
  ul_showgocmp(remark, total, done);
  fputs("\n", stdout);
  fflush(stdout);
  return 0;
}
