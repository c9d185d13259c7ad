// Older whole-file interface (char* names, forwarding to ul_file.h) and the
// console progress line used by long-running tools.
#ifndef DEP_FILE_H_
#define DEP_FILE_H_

#include <sys/types.h>

#include "ul_file.h"

int ul_fexist(char* dir, char* file);
off_t ul_fsize(char* dir, char* file);
int ul_finfo(char* dir, char* file, int* lines, int* words, int* bytes);
int ul_nullfile(char* dir, char* file);
int ul_cpfile(char* dir, char* src, char* dst);
int ul_appfile(char* dir, char* src, char* dst);
int ul_mvfile(char* dir, char* src, char* dst);
int ul_readfile(char* dir, char* file, void* buf, int size);
int ul_writefile(char* dir, char* file, void* buf, int size);
int ul_exchangedir(char* dir, char* a, char* b);

// Writes 70 backspaces and "%s : %d" to standard output and flushes; returns
// the flush result.
int ul_showgo(const char* remark, int n);
// Writes 70 backspaces and "%s : %d/%d" (remark, done, total), or
// "%s : %d/unknown" when total is -1, and flushes; returns the flush result.
int ul_showgocmp(const char* remark, int total, int done);
// ul_showgocmp followed by a newline; returns 0.
int ul_showgoend(const char* remark, int total, int done);

#endif  // DEP_FILE_H_
