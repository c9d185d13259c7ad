// A dictionary file written whole: the bytes go to a temporary file beside
// the final name, which they replace only once complete and on disk, so a
// reader (or a process that mapped the old file) never sees a half-written
// file. Writes go through ul_write, which logs a failed call.
#ifndef DICT_SRC_DICT_OUT_H_
#define DICT_SRC_DICT_OUT_H_

#include <sys/types.h>

#include <cstddef>
#include <initializer_list>
#include <utility>

#include "toolkit/replace.h"

namespace dict_internal {

class OutFile {
 public:
  // Creates the temporary file for path with exactly mode (or mode under the
  // umask when exact is false). A failure is logged as the open wrapper logs
  // a failed creation (WARNING).
  bool Create(const char* path, mode_t mode = 0644, bool exact = true);
  // Appends n bytes; a failure is remembered and reported by Commit.
  bool Write(const void* data, size_t n);
  // Puts the file in place of path; false (logged) when a write, the sync or
  // the rename failed, and the old file then stays.
  bool Commit();

 private:
  toolkit::FileReplacement file_;
  bool ok_ = false;
};

// Writes the numbers file dir/name.n whole: one "key : value" line per
// number, in order, as ul_writenum_oneint writes them (mode 0666 under the
// umask). False when it cannot be written.
bool WriteNumbers(const char* dir, const char* name,
                  std::initializer_list<std::pair<const char*, int>> numbers);

}  // namespace dict_internal

#endif  // DICT_SRC_DICT_OUT_H_
