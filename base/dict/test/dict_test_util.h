// Small helpers shared by the dictionary tests.
#ifndef DICT_TEST_DICT_TEST_UTIL_H_
#define DICT_TEST_DICT_TEST_UTIL_H_

#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "gtest/gtest.h"
#include "support/support.h"
#include "ul_dict.h"

namespace dicttest {

using testsupport::CapAddressSpace;
using testsupport::CaptureFd;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

struct DictDeleter {
  void operator()(Sdict_build* p) const { db_del(p); }
};
using DictPtr = std::unique_ptr<Sdict_build, DictDeleter>;

// Applies op to {s1, s2, code, other}, expects result want, returns the node.
inline Sdict_snode Op(Sdict_build* d, Eop_method op, u_int s1, u_int s2, int code = -1,
                      u_int other = 0, int want = 1) {
  Sdict_snode n{s1, s2, code, other};
  EXPECT_EQ(want, db_op1(d, &n, op)) << "op " << op << " on " << s1 << "," << s2;
  return n;
}

// {code, other} of a record, to check both at once.
using CodeOther = std::pair<int, u_int>;
inline CodeOther CO(const Sdict_snode& n) { return {n.code, n.other}; }
inline std::vector<CodeOther> COs(const std::vector<Sdict_snode>& v) {
  std::vector<CodeOther> r;
  for (const Sdict_snode& n : v) r.push_back(CO(n));
  return r;
}

// {code, other} of a key, {-1, 0} when absent (the code written back is then
// checked to be -1).
inline CodeOther Seek(Sdict_build* d, u_int s1, u_int s2) {
  Sdict_snode n{s1, s2, 99, 99};
  const int r = db_op1(d, &n, SEEK);
  if (r == 0) {
    EXPECT_EQ(-1, n.code);
  }
  return r == 1 ? CO(n) : CodeOther(-1, 0);
}

// Occurrences of needle in s (a log capture).
inline int CountOf(const std::string& s, const std::string& needle) {
  int n = 0;
  for (size_t p = s.find(needle); p != std::string::npos; p = s.find(needle, p + 1)) ++n;
  return n;
}

// Little-endian bytes of 32-bit words, as the dictionary files hold them.
inline std::string Le32(std::initializer_list<uint32_t> words) {
  std::string s;
  for (uint32_t w : words) {
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((w >> (8 * i)) & 0xFF));
  }
  return s;
}

}  // namespace dicttest

#endif  // DICT_TEST_DICT_TEST_UTIL_H_
