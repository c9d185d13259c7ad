// Owners of open files and whole transfers: the one place where the
// libraries close descriptors and streams, and loop over short reads and
// writes. Nothing here logs; callers report failures in their own words, with
// errno as the failing call left it. Callers that must log every failed
// system call (the dictionary files) pass the logging wrappers (ul_read,
// ul_write, ul_close) as the functions to call.
#ifndef UL_TOOLKIT_FILE_H_
#define UL_TOOLKIT_FILE_H_

#include <fcntl.h>
#include <stdio.h>
#include <sys/types.h>

#include <cstddef>

namespace toolkit {

// A file's identity: the device and inode that every name and link of the
// file shares.
struct FileId {
  dev_t dev = 0;
  ino_t ino = 0;
};

// Owns a file descriptor and closes it at scope end. Close() reports the
// close's result, which matters for a file that was written: a failed close
// may mean lost data. The descriptor is closed with close_fn when one is
// given (a wrapper that logs a failed close), else with close(2).
class UniqueFd {
 public:
  using CloseFn = int (*)(int);

  UniqueFd() = default;
  explicit UniqueFd(int fd, CloseFn close_fn = nullptr) : fd_(fd), close_fn_(close_fn) {}
  ~UniqueFd() { Close(); }
  UniqueFd(UniqueFd&& o) noexcept : fd_(o.release()), close_fn_(o.close_fn_) {}
  UniqueFd& operator=(UniqueFd&& o) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }
  // Gives up ownership without closing.
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes now (through close_fn when given, else the owner's own close
  // function); true when there was nothing to close or the close succeeded.
  // The descriptor is released either way: a failed close is not retried.
  bool Close(CloseFn close_fn = nullptr);

 private:
  int fd_ = -1;
  CloseFn close_fn_ = nullptr;
};

// Owns a stdio stream and closes it at scope end; Close() reports whether
// the close succeeded (the last buffered bytes are written there). The
// stream is closed with close_fn when one is given (ul_fclose, which logs a
// failed close), else with fclose(3).
class UniqueFile {
 public:
  using CloseFn = int (*)(FILE*);

  UniqueFile() = default;
  explicit UniqueFile(FILE* fp, CloseFn close_fn = nullptr) : fp_(fp), close_fn_(close_fn) {}
  ~UniqueFile() { Close(); }
  UniqueFile(UniqueFile&& o) noexcept : fp_(o.release()), close_fn_(o.close_fn_) {}
  UniqueFile& operator=(UniqueFile&& o) noexcept;
  UniqueFile(const UniqueFile&) = delete;
  UniqueFile& operator=(const UniqueFile&) = delete;

  FILE* get() const { return fp_; }
  bool ok() const { return fp_ != nullptr; }
  FILE* release() {
    FILE* fp = fp_;
    fp_ = nullptr;
    return fp;
  }
  // Closes now (through close_fn when given, else the owner's own close
  // function); true when there was nothing to close or the close succeeded.
  bool Close(CloseFn close_fn = nullptr);

 private:
  FILE* fp_ = nullptr;
  CloseFn close_fn_ = nullptr;
};

// The one way to open a named file for reading: the open does not block (a
// FIFO without a writer, a terminal) and anything but a regular file is
// refused before a byte is read (a FIFO, a folder, a device such as
// /dev/zero that would never end). The descriptor returned is blocking again.
// An empty owner on failure, with errno set (EINVAL for a file that is not
// regular, EISDIR for a folder). Callers that must log every failed system
// call pass the logging wrappers (ul_open, ul_close).
using OpenFn = int (*)(const char*, int, mode_t);
UniqueFd OpenForReading(const char* path, OpenFn open_fn = nullptr,
                        UniqueFd::CloseFn close_fn = nullptr);

// The same open, as a stdio stream for reading ("r"), closed at scope end
// through close_fn when one is given (ul_fclose), else with fclose(3).
UniqueFile OpenStreamForReading(const char* path, OpenFn open_fn = nullptr,
                                UniqueFile::CloseFn close_fn = nullptr);

// The one way to open a named file for appending (a log): access (O_WRONLY
// or O_RDWR) | O_CREAT | O_APPEND, with mode for a file made new. The open
// does not block (without a reader, a FIFO opened O_WRONLY is refused with
// ENXIO; one opened O_RDWR is its own reader, so it neither refuses nor ever
// raises SIGPIPE), and a file that is not regular (a FIFO, a terminal, a
// device) keeps O_NONBLOCK, so that a write it cannot take at once fails
// with EAGAIN instead of waiting; a regular file is blocking as usual. A
// folder is refused (EISDIR). An empty owner on failure, with errno set.
UniqueFd OpenForAppending(const char* path, mode_t mode, int access = O_WRONLY);

// The same open (O_WRONLY), as a stdio stream for appending ("a").
UniqueFile OpenStreamForAppending(const char* path, mode_t mode);

// Renames from to to, but never over a file that has the name to (of any
// kind: a symbolic link, also one that leads nowhere, is a file there): the
// rename of a log to a free backup name must not replace a backup that a
// writer of the same log in another process made under that name meanwhile.
// 0, or -1 with errno set (EEXIST when to is taken, from stays in place).
//
// The rename is renameat2 with RENAME_NOREPLACE. Where the file system or
// the kernel cannot refuse to replace (EINVAL, ENOSYS; EPERM, as a filter
// of system calls may answer for renameat2), the name is taken first with
// an exclusive create of an empty file, which no one else can take from
// then on, and from is renamed over that file of its own. A rename acts on
// whatever from names at its instant, so nothing written under from
// meanwhile is lost (a hard link then an unlink would remove from by name,
// and from can name a new file by then). A rename that then fails removes
// the empty file again; a process that ends between the two leaves it
// behind. Where no file can be made at to either, nothing is renamed.
int RenameNoReplace(const char* from, const char* to);

// For tests: when set, called by RenameNoReplace in place of renameat2 with
// RENAME_NOREPLACE, with the same answers (e.g. -1 with EINVAL, as a file
// system that cannot refuse to replace). nullptr otherwise.
extern int (*rename_noreplace_call)(const char* from, const char* to);

// The system calls a transfer loop uses; callers that must log each failed
// call (through the logging wrappers) pass their own.
using WriteFn = ssize_t (*)(int, const void*, size_t);
using ReadFn = ssize_t (*)(int, void*, size_t);

// Writes all n bytes, resuming after short writes and EINTR, in pieces of at
// most `piece` bytes. False on an error (errno set) or a write of 0 bytes.
bool WriteAll(int fd, const void* buf, size_t n, WriteFn write_fn = nullptr,
              size_t piece = 1 << 20);

// Reads until n bytes or the end of the file, resuming after short reads and
// EINTR; returns the number of bytes read, or -1 on an error.
ssize_t ReadFull(int fd, void* buf, size_t n, ReadFn read_fn = nullptr,
                 size_t piece = 1 << 20);

// Reads exactly n bytes: false when the file ends first (errno 0) or a read
// fails.
bool ReadExact(int fd, void* buf, size_t n, ReadFn read_fn = nullptr, size_t piece = 1 << 20);

// Reads exactly n bytes at offset off, without moving the file offset;
// false when the file ends first (errno 0) or a read fails.
bool PreadExact(int fd, void* buf, size_t n, off_t off);

// Writes n bytes to a stream; true for n == 0. The stream's lock is not
// taken: the stream must belong to the calling thread alone.
bool StreamWrite(FILE* fp, const void* data, size_t n);

// Writes a value's bytes as they lie in memory (the file formats are
// little-endian, as the machines that read them).
template <class T>
bool StreamWriteValue(FILE* fp, const T& v) {
  return StreamWrite(fp, &v, sizeof(v));
}

}  // namespace toolkit

#endif  // UL_TOOLKIT_FILE_H_
