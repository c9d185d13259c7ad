#include "file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <utility>

namespace kavo {
namespace pbdict {

bool FileReader::Open(const char* path) {
  if (path == nullptr || fd_.ok()) return false;
  // Regular files only: a FIFO would block the open or the reads, and a
  // device such as /dev/zero would never end.
  toolkit::UniqueFd fd = toolkit::OpenForReading(path);
  if (!fd.ok()) return false;
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return false;
  size_ = static_cast<uint64_t>(st.st_size);
  id_.dev = st.st_dev;
  id_.ino = st.st_ino;
  // Small files get a buffer of their size (+1 to see the end in one read).
  cap_ = size_ < kBufferSize ? static_cast<size_t>(size_) + 1 : kBufferSize;
  buf_.reset(new (std::nothrow) char[cap_]);
  if (!buf_) {
    errno = ENOMEM;
    return false;
  }
  fd_ = std::move(fd);
  pos_ = end_ = buf_.get();
  return true;
}

// Refills the empty buffer; false at the end of the file or on an error.
bool FileReader::Fill() {
  if (!fd_.ok() || failed_) return false;
  for (;;) {
    ssize_t n = ::read(fd_.get(), buf_.get(), cap_);
    if (n > 0) {
      pos_ = buf_.get();
      end_ = pos_ + n;
      file_pos_ += static_cast<uint64_t>(n);
      return true;
    }
    if (n == 0) return false;
    if (errno != EINTR) {
      failed_ = true;
      return false;
    }
  }
}

bool FileReader::ReadSlow(char* dst, size_t n) {
  size_t have = static_cast<size_t>(end_ - pos_);
  std::memcpy(dst, pos_, have);
  dst += have;
  n -= have;
  // The buffer is empty from here on, so that its bytes always map the file
  // offsets just before file_pos_.
  pos_ = end_ = buf_.get();
  // Large reads go straight into the destination.
  if (n >= cap_) {
    if (!fd_.ok() || failed_) return false;
    const ssize_t got = toolkit::ReadFull(fd_.get(), dst, n);
    if (got < 0) {
      failed_ = true;
      return false;
    }
    file_pos_ += static_cast<uint64_t>(got);
    return static_cast<size_t>(got) == n;
  }
  while (n > 0) {
    if (pos_ == end_ && !Fill()) return false;
    size_t take = static_cast<size_t>(end_ - pos_);
    if (take > n) take = n;
    std::memcpy(dst, pos_, take);
    pos_ += take;
    dst += take;
    n -= take;
  }
  return true;
}

bool FileReader::ReadLine(char* dst, size_t cap, size_t* len) {
  *len = 0;
  if (cap == 0) return false;
  size_t got = 0;
  while (got + 1 < cap) {
    if (pos_ == end_ && !Fill()) break;
    size_t want = cap - 1 - got;
    size_t avail = static_cast<size_t>(end_ - pos_);
    if (avail > want) avail = want;
    const char* nl = static_cast<const char*>(std::memchr(pos_, '\n', avail));
    size_t take = nl != nullptr ? static_cast<size_t>(nl - pos_) + 1 : avail;
    std::memcpy(dst + got, pos_, take);
    pos_ += take;
    got += take;
    if (nl != nullptr) break;
  }
  dst[got] = '\0';
  *len = got;
  return got > 0 && !failed_;
}

bool FileReader::SkipLine() {
  for (;;) {
    if (pos_ == end_ && !Fill()) return false;
    const char* nl =
        static_cast<const char*>(std::memchr(pos_, '\n', static_cast<size_t>(end_ - pos_)));
    if (nl != nullptr) {
      pos_ = const_cast<char*>(nl) + 1;
      return true;
    }
    pos_ = end_;
  }
}

bool FileReader::Seek(uint64_t offset) {
  if (!fd_.ok() || failed_ || offset > size_) return false;
  uint64_t start = file_pos_ - static_cast<uint64_t>(end_ - buf_.get());
  if (offset >= start && offset <= file_pos_) {
    pos_ = buf_.get() + (offset - start);
    return true;
  }
  if (::lseek(fd_.get(), static_cast<off_t>(offset), SEEK_SET) < 0) {
    failed_ = true;
    return false;
  }
  file_pos_ = offset;
  pos_ = end_ = buf_.get();
  return true;
}

bool FileReader::ReadAt(uint64_t offset, void* dst, size_t n) const {
  if (!fd_.ok() || offset > size_ || n > size_ - offset) return false;
  return n == 0 || toolkit::PreadExact(fd_.get(), dst, n, static_cast<off_t>(offset));
}

}  // namespace pbdict
}  // namespace kavo
