// TornFile: the file appenders' memory of a log file that ends mid-line. A
// write cut short (a full disk, a full pipe) leaves the file ending inside a
// line; the next line written to that very file first ends it, and the rest
// of a line held back belongs there only. Any other file, also a new log
// under the same name, starts clean.
//
// A file is the remembered one only when its device and inode match and the
// inode cannot have been given to another file meanwhile: the memory keeps
// a descriptor of the file open, which holds its inode. Once the file has no
// name left (the user removed it) no new open can reach it, and the memory
// lets it go, so that a removed log does not keep its disk space.
//
// Not locked: each appender calls it under the lock that orders its writes.
#ifndef COMLOG_APPENDER_TORNFILE_H_
#define COMLOG_APPENDER_TORNFILE_H_

#include <sys/stat.h>
#include <sys/types.h>

#include <atomic>

namespace comspace {

class TornFile {
 public:
  // How the identity check reads a descriptor's device and inode: fstat,
  // unless a test stands in another (to stand in an inode number given
  // again to a new file).
  using StatFn = int (*)(int fd, struct stat* st);

  TornFile() = default;
  // Closes the descriptor kept.
  ~TornFile();
  TornFile(const TornFile&) = delete;
  TornFile& operator=(const TornFile&) = delete;

  // Remembers the file of fd as ending mid-line, in place of any other.
  // When no descriptor can be had for it, it is remembered by its device
  // and inode alone.
  void Remember(int fd);
  // Forgets it: its cut line was ended.
  void Forget();
  // Whether fd is a descriptor of the remembered file. A remembered file
  // whose last name is gone is forgotten first.
  bool Is(int fd);
  bool remembered() const { return _known; }

  void set_stat_fn(StatFn fn) { _stat_fn.store(fn, std::memory_order_relaxed); }

 private:
  bool _known = false;
  dev_t _dev = 0;
  ino_t _ino = 0;
  int _kept = -1;  // a descriptor of the file, holding its inode
  std::atomic<StatFn> _stat_fn{&::fstat};
};

}  // namespace comspace

#endif  // COMLOG_APPENDER_TORNFILE_H_
