// Helpers of the dictionary-tool fuzz targets: a quiet process log, and a
// reader that cuts an input into length-prefixed sections.
#ifndef PBDICT_FUZZ_DICT_FUZZ_H_
#define PBDICT_FUZZ_DICT_FUZZ_H_

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/scratch_dir.h"
#include "ul_log.h"

namespace dictfuzz {

inline const std::string& Dir() { return testsupport::ProcessScratchDir(); }

// Opens the process log in the scratch folder with threshold 0, so that the
// refusals the inputs provoke stay off standard error; progress lines on
// standard output go to /dev/null. Call once (a static initialiser).
inline bool Quiet() {
  ul_logstat_t st = {0, 0, 0};
  ul_openlog(Dir().c_str(), "fuzz", &st, 1);
  const int null = open("/dev/null", O_WRONLY);
  if (null >= 0) {
    dup2(null, 1);
    close(null);
  }
  return true;
}

// An output buffer of at least n bytes, kept between runs (allocating and
// releasing megabytes every run would dominate the run time).
inline char* OutBuffer(size_t n) {
  static std::vector<char> buf;
  if (buf.size() < n) buf.resize(n);
  return buf.data();
}

// Writes bytes as the whole file Dir()/name.
inline void Put(const std::string& name, const uint8_t* p, size_t n) {
  if (!testsupport::WriteBytes(Dir() + "/" + name, p, n)) std::abort();
}
inline void Put(const std::string& name, const std::string& s) {
  Put(name, reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

// Cuts an input into sections; past its end every read yields nothing.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : p_(data), left_(size) {}
  // A little-endian number of n bytes (missing bytes 0).
  uint32_t Num(int n) {
    uint32_t v = 0;
    for (int i = 0; i < n && left_ > 0; ++i, ++p_, --left_) v |= static_cast<uint32_t>(*p_) << (8 * i);
    return v;
  }
  // A section whose length is given by the next n bytes.
  std::string Section(int n) { return Take(Num(n)); }
  std::string Take(size_t len) {
    if (len > left_) len = left_;
    std::string s(reinterpret_cast<const char*>(p_), len);
    p_ += len;
    left_ -= len;
    return s;
  }
  std::string Rest() { return Take(left_); }

 private:
  const uint8_t* p_;
  size_t left_;
};

}  // namespace dictfuzz

#endif  // PBDICT_FUZZ_DICT_FUZZ_H_
