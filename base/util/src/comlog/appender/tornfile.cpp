#include "comlog/appender/tornfile.h"

#include <fcntl.h>
#include <unistd.h>

namespace comspace {

TornFile::~TornFile() { Forget(); }

void TornFile::Remember(int fd) {
  if (Is(fd)) return;
  Forget();
  struct stat st;
  if (_stat_fn.load(std::memory_order_relaxed)(fd, &st) != 0) return;
  _known = true;
  _dev = st.st_dev;
  _ino = st.st_ino;
  _kept = fcntl(fd, F_DUPFD_CLOEXEC, 0);
}

void TornFile::Forget() {
  if (_kept >= 0) ::close(_kept);
  _kept = -1;
  _known = false;
}

bool TornFile::Is(int fd) {
  if (!_known) return false;
  if (_kept >= 0) {
    struct stat kept;
    if (fstat(_kept, &kept) != 0 || kept.st_nlink == 0) {
      Forget();
      return false;
    }
  }
  struct stat st;
  if (_stat_fn.load(std::memory_order_relaxed)(fd, &st) != 0) return false;
  return st.st_dev == _dev && st.st_ino == _ino;
}

}  // namespace comspace
