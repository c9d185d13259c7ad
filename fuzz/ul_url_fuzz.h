// Shared by the URL fuzz targets: a quiet process log (the splitters write
// DEBUG lines), exactly sized heap buffers so that AddressSanitizer sees any
// write past a given size, and the one input shape whose normal form may
// change when normalised again.
#ifndef PBDICT_FUZZ_UL_URL_FUZZ_H_
#define PBDICT_FUZZ_UL_URL_FUZZ_H_

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "support/scratch_dir.h"
#include "ul_log.h"

namespace urlfuzz {

// Opens a log that keeps nothing, once per process; closed at exit.
inline void QuietLog() {
  struct Log {
    Log() {
      ul_logstat_t quiet = {0, 0, 0};
      ul_openlog(testsupport::ProcessScratchDir().c_str(), "fuzz", &quiet, 1);
    }
    ~Log() { ul_closelog(0); }
  };
  static Log log;
}

// A heap block of exactly size bytes (at least 1), holding text cut to fit.
class Buf {
 public:
  explicit Buf(size_t size, const std::string& text = "") : size_(size > 0 ? size : 1), p_(new char[size_]) {
    size_t n = text.size() < size_ ? text.size() : size_ - 1;
    memcpy(p_.get(), text.data(), n);
    p_[n] = '\0';
  }
  operator char*() { return p_.get(); }
  char* get() { return p_.get(); }
  size_t size() const { return size_; }
  std::string str() const { return p_.get(); }

 private:
  size_t size_;
  std::unique_ptr<char[]> p_;
};

// The input as a C string: bytes up to the first NUL.
inline std::string Text(const uint8_t* data, size_t size) {
  std::string s(reinterpret_cast<const char*>(data), size);
  return s.substr(0, s.find('\0'));
}

inline bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A '%' that cannot start an escape ("%%", "%4%") followed by an escape: the
// path pass keeps the '%' and decodes the escape behind it, which may leave a
// new escape ("%%341" gives "%41") for the next pass. Normal forms of such
// URLs are not fixed points; every other normal form is. CR and LF are
// removed before the split, so they do not separate the two.
inline bool HasStackedEscape(std::string s) {
  s.erase(std::remove_if(s.begin(), s.end(), [](char c) { return c == '\r' || c == '\n'; }), s.end());
  for (size_t i = 0; i + 1 < s.size(); ++i) {
    if (s[i] != '%') continue;
    if (s[i + 1] == '%') return true;
    if (i + 2 < s.size() && IsHex(s[i + 1]) && s[i + 2] == '%') return true;
  }
  return false;
}

inline void Check(bool ok) {
  if (!ok) abort();
}

}  // namespace urlfuzz

#endif  // PBDICT_FUZZ_UL_URL_FUZZ_H_
