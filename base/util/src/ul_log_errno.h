// WARNING lines about a failed call that leave errno as the call left it:
// the system-call wrappers (ul_func.cpp) and the socket and package code log
// through these.
#ifndef UL_LOG_ERRNO_H_
#define UL_LOG_ERRNO_H_

#include "toolkit/errno_keeper.h"
#include "ul_log.h"

// A WARNING line whose format ends in the error number and its text, which
// the macro adds as the last two arguments.
#define UL_WARN_ERRNO(fmt, ...)                                                   \
  do {                                                                            \
    toolkit::ErrnoKeeper keep_;                                                   \
    ul_writelog(UL_LOG_WARNING, fmt, ##__VA_ARGS__, keep_.no(), keep_.text());    \
  } while (0)

// A WARNING line without the error number.
#define UL_WARN_KEEP_ERRNO(fmt, ...)                 \
  do {                                               \
    toolkit::ErrnoKeeper keep_;                      \
    ul_writelog(UL_LOG_WARNING, fmt, ##__VA_ARGS__); \
  } while (0)

#endif  // UL_LOG_ERRNO_H_
