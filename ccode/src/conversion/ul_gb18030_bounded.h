// The BIG5 <-> GB18030 table walks with a bound on their output, for the
// conversions whose destination has a size.
#ifndef CCODE_SRC_UL_GB18030_BOUNDED_H_
#define CCODE_SRC_UL_GB18030_BOUNDED_H_

#include <stddef.h>

// The walks of ul_gb18030_big5 and ul_big5_gb18030 (ul_gb18030.h), writing
// at most room bytes before the terminator: they stop before a unit whose
// output would not fit. The source bytes replaced by blanks, or -1 (logged
// with name); *consumed (when given) receives the source bytes walked.
int ccode_gb18030_big5_bounded(const unsigned char* src, unsigned char* dst, int len, size_t room, int* consumed,
                               const char* name);
int ccode_big5_gb18030_bounded(const unsigned char* src, unsigned char* dst, int len, size_t room, int* consumed,
                               const char* name);

#endif  // CCODE_SRC_UL_GB18030_BOUNDED_H_
