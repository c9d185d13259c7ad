// fixed_buffer: a buffer of N bytes filled from the front, the unit in which
// the asynchronous file appender collects lines and hands them to its
// writer thread.
#ifndef COMLOG_APPENDER_FIXED_BUFFER_H_
#define COMLOG_APPENDER_FIXED_BUFFER_H_

#include <string.h>

#include <cstddef>

namespace comspace {

template <size_t N>
class fixed_buffer {
 public:
  fixed_buffer() = default;
  fixed_buffer(const fixed_buffer&) = delete;
  fixed_buffer& operator=(const fixed_buffer&) = delete;

  // Copies n bytes when they leave at least one byte free; 0, else -1
  // (nothing copied).
  int append(const char* p, size_t n) {
    if (n >= avail()) return -1;
    memcpy(cur_, p, n);
    cur_ += n;
    return 0;
  }
  size_t avail() const { return static_cast<size_t>(end() - cur_); }
  size_t length() const { return static_cast<size_t>(cur_ - data_); }
  const char* data() const { return data_; }
  void reset() { cur_ = data_; }
  const char* end() const { return data_ + N; }

 private:
  char data_[N];
  char* cur_ = data_;
};

}  // namespace comspace

#endif  // COMLOG_APPENDER_FIXED_BUFFER_H_
