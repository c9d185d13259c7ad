// Caller-contract checks of the dictionary library. Unlike assert() they stay
// on in release builds: a violated precondition stops the process with the
// text of the condition.
#ifndef DICT_SRC_DICT_CHECK_H_
#define DICT_SRC_DICT_CHECK_H_

#include <cstdio>
#include <cstdlib>

namespace dict_internal {

[[noreturn]] inline void CheckFailed(const char* text, const char* file, int line,
                                     const char* func) {
  std::fprintf(stderr, "%s:%d: %s: Assertion `%s' failed.\n", file, line, func, text);
  std::fflush(stderr);
  std::abort();
}

}  // namespace dict_internal

#define DICT_CHECK(cond, text)                                                \
  do {                                                                        \
    if (!(cond)) ::dict_internal::CheckFailed(text, __FILE__, __LINE__, __func__); \
  } while (0)

#endif  // DICT_SRC_DICT_CHECK_H_
