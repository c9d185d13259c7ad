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
// When no descriptor can be had (the process at its limit), the file is
// remembered by device and inode alone, and a file with them may be a new
// one that was given the inode: it is not certain. The rest of a line held
// back goes to no such file: the whole line goes there instead, after a
// line end (which, in the file left mid-line, keeps the cut visible, and in
// a new file is an empty first line at worst).
//
// Every line asks whether its file is the remembered one. A file left
// mid-line and then cut away keeps its name as a backup, so the memory may
// live long while lines go to another file: the appenders ask with the
// inode number they know their file by, and a number other than the
// remembered file's answers at once, with a look at the kept descriptor
// now and then only.
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
  // How the memory reads a descriptor's device, inode and links: fstat,
  // unless a test stands in another (to stand in an inode number given
  // again to a new file, or to count the looks).
  using StatFn = int (*)(int fd, struct stat* st);

  TornFile() = default;
  // Closes the descriptor kept.
  ~TornFile();
  TornFile(const TornFile&) = delete;
  TornFile& operator=(const TornFile&) = delete;

  // Remembers the file of fd as ending mid-line, in place of any other.
  // When no descriptor can be had for it, it is remembered by its device
  // and inode alone (not certain); remembering it again then tries again.
  void Remember(int fd);
  // Forgets it: its cut line was ended.
  void Forget();
  // Whether fd is a descriptor of the remembered file. A remembered file
  // whose last name is gone is forgotten first.
  bool Is(int fd);
  // Is for a descriptor the caller knows by the inode number ino (its
  // fstat at the open): another number than the remembered file's answers
  // false without a look at fd. Such answers look at the kept descriptor
  // once in each second of the clock at most, and forget a remembered file
  // whose last name is gone.
  bool Is(int fd, ino_t ino);
  bool remembered() const { return _known; }
  // Whether the remembered file is held by a descriptor kept, so that a
  // file Is answers true for is certainly that file, and the rest of a line
  // cut there may go on in it.
  bool certain() const { return _kept >= 0; }

  void set_stat_fn(StatFn fn) { _stat_fn.store(fn, std::memory_order_relaxed); }

 private:
  // Forgets the remembered file when the kept descriptor shows that its
  // last name is gone (or cannot be read). Whether it did.
  bool ForgetIfRemoved();

  bool _known = false;
  dev_t _dev = 0;
  ino_t _ino = 0;
  int _kept = -1;  // a descriptor of the file, holding its inode
  time_t _looked_at = -1;  // the second of the last look of Is (fd, ino)
  std::atomic<StatFn> _stat_fn{&::fstat};
};

}  // namespace comspace

#endif  // COMLOG_APPENDER_TORNFILE_H_
