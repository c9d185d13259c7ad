// A buffered reader over a file descriptor, for the text and binary
// dictionary loaders: line reads that report the bytes read (so that NUL
// bytes inside a line do not confuse the line logic) and exact binary reads.
#ifndef PBDICT_FILE_READER_H_
#define PBDICT_FILE_READER_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "toolkit/file.h"

namespace kavo {
namespace pbdict {

class FileReader {
 public:
  FileReader() = default;
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  // Opens a regular file for reading, without blocking; false when it cannot
  // be opened or is not a regular file (a FIFO, a folder, a device), with
  // errno ENOMEM when memory ran out.
  bool Open(const char* path);

  // Size of the file when it was opened.
  uint64_t size() const { return size_; }
  // The identity of the open file.
  const toolkit::FileId& id() const { return id_; }
  // Offset of the next byte to be read.
  uint64_t Tell() const { return file_pos_ - (end_ - pos_); }
  // Bytes between the read position and the end of the file.
  uint64_t Remaining() const {
    uint64_t t = Tell();
    return t < size_ ? size_ - t : 0;
  }
  // True once a read failed with an error other than the end of the file.
  bool failed() const { return failed_; }

  // Reads like fgets: at most cap - 1 bytes, stopping after a '\n'; the
  // bytes are NUL-terminated and their count stored in *len. False at the
  // end of the file (nothing read) or on an error.
  bool ReadLine(char* dst, size_t cap, size_t* len);

  // Drops bytes up to and including the next '\n'. True when a '\n' was
  // found, false when the file ended first (or on an error).
  bool SkipLine();

  // Reads exactly n bytes; false when the file ends first or on an error.
  bool Read(void* dst, size_t n) {
    if (static_cast<size_t>(end_ - pos_) >= n) {
      std::memcpy(dst, pos_, n);
      pos_ += n;
      return true;
    }
    return ReadSlow(static_cast<char*>(dst), n);
  }

  // Reads exactly n bytes into *out, replacing what it held; bytes already
  // buffered are copied once, without first zeroing the string. False when
  // the file ends first or on an error.
  bool ReadString(std::string* out, size_t n) {
    if (static_cast<size_t>(end_ - pos_) >= n) {
      out->assign(pos_, n);
      pos_ += n;
      return true;
    }
    out->resize(n);
    return n == 0 || ReadSlow(&(*out)[0], n);
  }

  // Moves the read position to an absolute offset within the file.
  bool Seek(uint64_t offset);

  // Reads exactly n bytes at an absolute offset, leaving the read position
  // and the buffer as they are; several threads may call it at once. False
  // when the file ends first or on an error.
  bool ReadAt(uint64_t offset, void* dst, size_t n) const;

 private:
  static const size_t kBufferSize = 1 << 20;  // largest buffer

  bool Fill();
  bool ReadSlow(char* dst, size_t n);

  toolkit::UniqueFd fd_;
  uint64_t size_ = 0;
  toolkit::FileId id_;
  uint64_t file_pos_ = 0;  // offset of the byte after the buffered ones
  bool failed_ = false;
  size_t cap_ = 0;  // buffer size: the file's size + 1, at most kBufferSize
  std::unique_ptr<char[]> buf_;
  char* pos_ = nullptr;
  char* end_ = nullptr;
};

}  // namespace pbdict
}  // namespace kavo

#endif  // PBDICT_FILE_READER_H_
