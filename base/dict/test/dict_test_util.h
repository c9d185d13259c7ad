// Small helpers shared by the dictionary tests.
#ifndef DICT_TEST_DICT_TEST_UTIL_H_
#define DICT_TEST_DICT_TEST_UTIL_H_

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

#include "ul_dict.h"

namespace dicttest {

struct DictDeleter {
  void operator()(Sdict_build* p) const { db_del(p); }
};
using DictPtr = std::unique_ptr<Sdict_build, DictDeleter>;

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
