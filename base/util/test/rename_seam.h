// A stand-in for the rename that never replaces a file
// (toolkit::rename_noreplace_call), for the tests of its callers: a writer
// that takes the target name in the instant before the rename, and a file
// system that cannot refuse to replace.
#ifndef UL_TEST_RENAME_SEAM_H_
#define UL_TEST_RENAME_SEAM_H_

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>

#include <string>

#include "support/support.h"
#include "toolkit/file.h"

namespace renameseam {

// What the next rename meets: when take is set, a file with those bytes
// made at the target first (take is then cleared); then a failure with
// errno_value, or, when it is 0, renameat2 with RENAME_NOREPLACE.
inline std::string take;
inline int errno_value = 0;

inline int Rename(const char* from, const char* to) {
  if (!take.empty()) testsupport::WriteFile(to, take);
  take.clear();
  if (errno_value == 0) return renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
  errno = errno_value;
  return -1;
}

// Puts Rename in place while it lives.
class InPlace {
 public:
  InPlace() { toolkit::rename_noreplace_call = Rename; }
  ~InPlace() {
    toolkit::rename_noreplace_call = nullptr;
    take.clear();
    errno_value = 0;
  }
  InPlace(const InPlace&) = delete;
  InPlace& operator=(const InPlace&) = delete;
};

}  // namespace renameseam

#endif  // UL_TEST_RENAME_SEAM_H_
