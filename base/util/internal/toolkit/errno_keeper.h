// Keeps errno across a stretch of code that may change it: a log line, whose
// own file operations set errno, or a close on a failure path. The value at
// construction is put back at destruction, so the caller sees errno as the
// failing call left it.
#ifndef UL_TOOLKIT_ERRNO_KEEPER_H_
#define UL_TOOLKIT_ERRNO_KEEPER_H_

#include <errno.h>
#include <string.h>

namespace toolkit {

class ErrnoKeeper {
 public:
  ErrnoKeeper() : no_(errno) {}
  ~ErrnoKeeper() { errno = no_; }
  ErrnoKeeper(const ErrnoKeeper&) = delete;
  ErrnoKeeper& operator=(const ErrnoKeeper&) = delete;

  // The kept value and its description (strerror_r's text).
  int no() const { return no_; }
  const char* text() { return strerror_r(no_, buf_, sizeof(buf_)); }

 private:
  int no_;
  char buf_[256];
};

}  // namespace toolkit

#endif  // UL_TOOLKIT_ERRNO_KEEPER_H_
