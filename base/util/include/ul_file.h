// Whole-file operations on a file named by a directory and a file name.
// Every function joins the two with ul_fullpath into 256 bytes and returns -1
// when that fails; failures are logged at FATAL.
#ifndef UL_FILE_H_
#define UL_FILE_H_

#include <stddef.h>
#include <sys/types.h>

// Joins dir and file with exactly one '/' into buf (size bytes). 0, or -1 when
// an argument is NULL, size is 0 or the result does not fit.
int ul_fullpath(const char* dir, const char* file, char* buf, size_t size);

// 1 when dir/file exists and is a regular file, else 0.
int ul_fexist(const char* dir, const char* file);
// Size of the regular file dir/file, or -1.
off_t ul_fsize(const char* dir, const char* file);
// Counts lines, words (runs of bytes other than space, tab, CR, LF) and bytes. 1 or -1.
int ul_finfo(const char* dir, const char* file, int* lines, int* words, int* bytes);
// Creates or empties dir/file. 1 or -1.
int ul_nullfile(const char* dir, const char* file);
// Copies dir/src to dir/dst. 1, or -1 when anything fails.
int ul_cpfile(const char* dir, const char* src, const char* dst);
// Appends dir/src to dir/dst. 1, or -1 when anything fails.
int ul_appfile(const char* dir, const char* src, const char* dst);
// Renames dir/src to dir/dst, copying and unlinking when the rename fails.
// 0 on success, -1 (the source kept unless the copy was complete).
int ul_mvfile(const char* dir, const char* src, const char* dst);
// One read of up to size bytes; the bytes read, or -1.
int ul_readfile(const char* dir, const char* file, void* buf, int size);
// Creates or truncates dir/file (mode 0666) and writes size bytes in one
// write; the bytes written, or -1.
int ul_writefile(const char* dir, const char* file, const void* buf, int size);
// Swaps the names a and b inside dir through "tmp.xxx". 1 or -1.
int ul_exchangedir(const char* dir, const char* a, const char* b);

#endif  // UL_FILE_H_
