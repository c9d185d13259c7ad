#include "comlog/appender/tornfile.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

namespace comspace {

TornFile::~TornFile() { Forget(); }

void TornFile::Remember(int fd) {
  if (Is(fd) && certain()) return;
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

bool TornFile::ForgetIfRemoved() {
  if (_kept < 0) return false;
  struct stat kept;
  if (_stat_fn.load(std::memory_order_relaxed)(_kept, &kept) == 0 && kept.st_nlink > 0) return false;
  Forget();
  return true;
}

bool TornFile::Is(int fd) {
  if (!_known || ForgetIfRemoved()) return false;
  struct stat st;
  if (_stat_fn.load(std::memory_order_relaxed)(fd, &st) != 0) return false;
  return st.st_dev == _dev && st.st_ino == _ino;
}

bool TornFile::Is(int fd, ino_t ino) {
  if (!_known) return false;
  if (ino == _ino) return Is(fd);
  struct timespec now;
  if (_kept >= 0 && clock_gettime(CLOCK_MONOTONIC_COARSE, &now) == 0 && now.tv_sec != _looked_at) {
    _looked_at = now.tv_sec;
    ForgetIfRemoved();
  }
  return false;
}

}  // namespace comspace
