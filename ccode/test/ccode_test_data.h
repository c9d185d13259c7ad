// Helpers of the conversion tests: a copy of the library's data directory to
// change, loading with the log captured, and the platform's converter.
#ifndef CCODE_TEST_CCODE_TEST_DATA_H_
#define CCODE_TEST_CCODE_TEST_DATA_H_

#include <gtest/gtest.h>
#include <iconv.h>

#include <filesystem>
#include <map>
#include <string>
#include <utility>

#include "support/support.h"
#include "ul_ccode_conv.h"
#include "ul_ccode_load.h"

namespace ccodetest {

// A copy of the default data directory ("code/" and below).
class DataCopy {
 public:
  DataCopy() {
    std::filesystem::copy(std::string(ul_ccode_default_path()) + "/code", tmp_.path() + "/code",
                          std::filesystem::copy_options::recursive);
  }
  void Write(const std::string& name, const std::string& bytes) const {
    testsupport::WriteFile(tmp_.path() + "/code/" + name, bytes);
  }
  const char* path() const { return tmp_.path().c_str(); }

 private:
  testsupport::TempDir tmp_;
};

// ul_ccode_load with what it logs in *log.
inline int Load(const char* path, int flag, std::string* log) {
  testsupport::CaptureFd err(2);
  const int r = ul_ccode_load(path, flag);
  *log = err.Stop();
  return r;
}

inline bool Has(const std::string& log, const std::string& text) { return log.find(text) != std::string::npos; }

// The library's own data directory, loaded once for a whole test program,
// with the main thread's state; register it with
// ::testing::AddGlobalTestEnvironment(new ccodetest::DefaultData).
class DefaultData : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_TRUE(ul_ccode_load(ul_ccode_default_path(), 0) == 0 && ul_ccode_conv_open() == 0); }
  void TearDown() override {
    ul_ccode_conv_close();
    ul_ccode_del();
  }
};

// n copies of s.
inline std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

// The platform's converters the tests have opened, closed at exit.
class Converters {
 public:
  ~Converters() {
    for (auto& open : open_) iconv_close(open.second);
  }
  iconv_t Get(const char* from, const char* to) {
    iconv_t& cd = open_[{from, to}];
    if (cd == nullptr) cd = iconv_open(to, from);
    return cd;
  }

 private:
  std::map<std::pair<std::string, std::string>, iconv_t> open_;
};

// The platform's conversion of the whole of in, or "<none>" when any of it
// does not convert.
inline std::string Platform(const char* from, const char* to, const std::string& in) {
  static Converters converters;
  iconv_t cd = converters.Get(from, to);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  std::string out(in.size() * 4 + 16, '\0');
  char* ip = const_cast<char*>(in.data());
  char* op = &out[0];
  size_t inleft = in.size(), outleft = out.size();
  const size_t r = iconv(cd, &ip, &inleft, &op, &outleft);
  const bool flushed = iconv(cd, nullptr, nullptr, &op, &outleft) != static_cast<size_t>(-1);
  if (r == static_cast<size_t>(-1) || !flushed) return "<none>";
  out.resize(out.size() - outleft);
  return out;
}

// Text in UTF-8 as GBK, BIG5 or GB18030 bytes.
inline std::string Gbk(const std::string& utf8) { return Platform("UTF-8", "GBK", utf8); }
inline std::string Big5(const std::string& utf8) { return Platform("UTF-8", "BIG5", utf8); }
inline std::string Gb(const std::string& utf8) { return Platform("UTF-8", "GB18030", utf8); }

}  // namespace ccodetest

#endif  // CCODE_TEST_CCODE_TEST_DATA_H_
