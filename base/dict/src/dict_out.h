// A dictionary file written whole: the bytes go to a temporary file beside
// the final name, which they replace only once complete and on disk, so a
// reader (or a process that mapped the old file) never sees a half-written
// file. Writes go through ul_write, which logs a failed call.
#ifndef DICT_SRC_DICT_OUT_H_
#define DICT_SRC_DICT_OUT_H_

#include <sys/types.h>

#include <cstddef>

#include "toolkit/replace.h"

namespace dict_internal {

class OutFile {
 public:
  // Creates the temporary file for path with exactly mode. A failure is
  // logged as the open wrapper logs a failed creation (WARNING).
  bool Create(const char* path, mode_t mode = 0644);
  // Appends n bytes; a failure is remembered and reported by Commit.
  bool Write(const void* data, size_t n);
  // Puts the file in place of path; false (logged) when a write, the sync or
  // the rename failed, and the old file then stays.
  bool Commit();

 private:
  toolkit::FileReplacement file_;
  bool ok_ = false;
};

}  // namespace dict_internal

#endif  // DICT_SRC_DICT_OUT_H_
