// GB18030 <-> UTF-8 through the platform's converter.
#include <iconv.h>
#include <string.h>

#include "ul_ccode_conv.h"
#include "ul_gb18030.h"
#include "ul_iconv_loop.h"
#include "ul_log.h"

namespace {

const iconv_t kClosed = reinterpret_cast<iconv_t>(-1);

// Checks the arguments shared by both directions (logged when bad).
bool ValidArgs(const char* src, const char* dst, int dstsize, void** descriptor, const char* name) {
  if (src == nullptr || dst == nullptr || dstsize < 1 || descriptor == nullptr ||
      !IconvIsOpen(static_cast<iconv_t>(*descriptor))) {
    ul_writelog(UL_LOG_FATAL, "invalid parameter in function '%s'.\n", name);
    return false;
  }
  return true;
}

}  // namespace

int ul_gb18030_utf8_open(void** to_utf8, void** to_gb) {
  if (to_utf8 != nullptr) *to_utf8 = kClosed;
  if (to_gb != nullptr) *to_gb = kClosed;
  iconv_t a = to_utf8 == nullptr ? kClosed : iconv_open("UTF-8", "GB18030");
  iconv_t b = to_gb == nullptr ? kClosed : iconv_open("GB18030", "UTF-8");
  if ((to_utf8 != nullptr && a == kClosed) || (to_gb != nullptr && b == kClosed)) {
    ul_writelog(UL_LOG_FATAL, "gb18030_utf8 iconv open error!\n");
    if (a != kClosed) iconv_close(a);
    if (b != kClosed) iconv_close(b);
    return -1;
  }
  if (to_utf8 != nullptr) *to_utf8 = a;
  if (to_gb != nullptr) *to_gb = b;
  return 0;
}

int ul_gb18030_utf8_close(void** to_utf8, void** to_gb) {
  for (void** d : {to_utf8, to_gb}) {
    if (d != nullptr && *d != kClosed && *d != nullptr) iconv_close(static_cast<iconv_t>(*d));
    if (d != nullptr) *d = kClosed;
  }
  return 0;
}

int ul_gb18030_utf8_str(const char* src, char* dst, int dstsize, void** descriptor) {
  if (!ValidArgs(src, dst, dstsize, descriptor, "ul_gb18030_utf8_str")) return -1;
  if (src[0] == '\0') return -1;
  IconvOutcome r = RunIconvLoop(static_cast<iconv_t>(*descriptor), src, strlen(src), dst, static_cast<size_t>(dstsize),
                                0, 3, GbCharBlanks);
  return r.blanked + static_cast<int>(r.left);
}

int ul_utf8_gb18030_str(const char* src, char* dst, int dstsize, void** descriptor) {
  if (!ValidArgs(src, dst, dstsize, descriptor, "ul_utf8_gb18030_str")) return -1;
  if (src[0] == '\0') return -1;
  IconvOutcome r = RunIconvLoop(static_cast<iconv_t>(*descriptor), src, strlen(src), dst, static_cast<size_t>(dstsize),
                                2, 4, Utf8SequenceBlanks);
  return r.blanked + static_cast<int>(r.left);
}

int ul_gb18030_utf8_str(const char* src, char* dst, int dstsize) {
  _ccode_conv_t* conv = get_ccode_conv();
  if (conv == nullptr) {
    ul_writelog(UL_LOG_FATAL, "get ccode conv error!");
    return -1;
  }
  void* cd = conv->gb2jp.gb2utf8;
  return ul_gb18030_utf8_str(src, dst, dstsize, &cd);
}

int ul_utf8_gb18030_str(const char* src, char* dst, int dstsize) {
  _ccode_conv_t* conv = get_ccode_conv();
  if (conv == nullptr) {
    ul_writelog(UL_LOG_FATAL, "get ccode conv error!");
    return -1;
  }
  void* cd = conv->jp2gb.utf82gb;
  return ul_utf8_gb18030_str(src, dst, dstsize, &cd);
}
