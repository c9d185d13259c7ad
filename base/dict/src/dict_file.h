// File helpers shared by the dictionary savers and loaders: path building,
// descriptors closed on scope exit, whole reads and writes, and the checks
// that a file set agrees with its numbers file. Every system call on a
// dictionary file goes through the logging wrappers (ul_open, ul_read,
// ul_write, ul_close), which log the calls that fail; the owners and transfer
// loops are the shared toolkit's, given those wrappers.
#ifndef DICT_SRC_DICT_FILE_H_
#define DICT_SRC_DICT_FILE_H_

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "toolkit/file.h"

namespace dict_internal {

constexpr int kPathSize = 256;      // every dictionary path fits in this
constexpr size_t kReadPiece = 131072;

// path/fname<suffix> into buf (kPathSize bytes); false (buf empty) when it
// does not fit.
bool DictPath(char* buf, const char* path, const char* fname, const char* suffix);

// Opens a file read-only; the owner is empty when it cannot be opened.
toolkit::UniqueFd OpenRead(const char* full_path);

// Reads exactly n bytes in pieces of at most kReadPiece; false when the file
// ends early or a read fails.
bool ReadAll(int fd, void* buf, size_t n);
// Reads up to n bytes in pieces of at most kReadPiece, stopping at the end
// of the file or at an error; returns the number of bytes read, or -1 when a
// read failed.
ssize_t ReadUpTo(int fd, void* buf, size_t n);
// Reads exactly n bytes at offset off; false otherwise.
bool ReadAt(int fd, void* buf, size_t n, off_t off);

// Size of an open file, or -1.
int64_t FileSize(int fd);

// The directory under which the savers write the numbers file: path with a
// '/' appended unless it already ends in one (an empty path stays empty).
bool NumbersDir(char* buf, const char* path);

// What a loader takes from NAME.n.
struct Numbers {
  int hash_num = 0;
  int node_num = 0;
  int cur_code = 0;
};

// Checks that NAME.n, NAME.ind1 and NAME.ind2 exist as regular files in path;
// otherwise logs the first missing one and returns false.
bool FilesExist(const char* path, const char* fname);

// Which messages a failed read of NAME.n logs: the build-side loaders name
// the file, the search-side ones only the number.
enum class NumbersLog { kBuild, kSearch };

// Reads "node_num" and "cur_code" of NAME.n, and "hash_num" too unless
// hash_num > 0 is given. Refuses (false, logged) a missing number, a bucket
// count below 1 and a negative record count.
bool ReadNumbers(const char* path, const char* fname, int hash_num, NumbersLog log,
                 Numbers* out);

// Checks that a bucket index agrees with its record count: every bucket lies
// inside the records and the counts add up to node_num.
bool IndexConsistent(const unsigned int* starts, const unsigned int* counts, int hash_num,
                     int node_num);

}  // namespace dict_internal

#endif  // DICT_SRC_DICT_FILE_H_
