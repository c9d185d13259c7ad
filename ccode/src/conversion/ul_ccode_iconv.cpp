// Conversion between GB18030 and every code type: the entry points, each a
// look-up in the table of code types (ul_codetype_table.h).
#include "ul_ccode_iconv.h"

#include <limits.h>
#include <string.h>

#include "ul_codetype_table.h"
#include "ul_log.h"

namespace {

// Copies in cut to outlen - 1 bytes: 0.
int CopyCut(const char* in, char* out, int outlen) {
  size_t n = strlen(in);
  if (n > static_cast<size_t>(outlen) - 1) n = static_cast<size_t>(outlen) - 1;
  memmove(out, in, n);
  out[n] = '\0';
  return 0;
}

// Checks the thread's record and the arguments of the two entry points.
_ccode_conv_t* EntryRecord(const char* in, const char* out, int outlen, const char* name) {
  _ccode_conv_t* conv = get_ccode_conv();
  if (conv == nullptr) {
    ul_writelog(UL_LOG_FATAL, "get ccode conv error!");
    return nullptr;
  }
  if (in == nullptr || out == nullptr || outlen < 1) {
    ul_writelog(UL_LOG_FATAL, "invalid parameter in function '%s'.\n", name);
    return nullptr;
  }
  return conv;
}

// The _str forms: checks, then an empty text gives an empty out.
int StrForm(int (*plain)(const char*, char*, int, int), const char* in, char* out, int outlen, int type,
            const char* name) {
  if (get_ccode_conv() == nullptr) {
    ul_writelog(UL_LOG_FATAL, "get ccode conv error!");
    return -1;
  }
  if (in == nullptr || out == nullptr || outlen < 1) {
    ul_writelog(UL_LOG_FATAL, "invalid parameter in function %s.\n", name);
    return -1;
  }
  if (strlen(in) > static_cast<size_t>(INT_MAX)) {
    ul_writelog(UL_LOG_WARNING, "invalid input str in %s.", name);
    return -1;
  }
  if (in[0] == '\0') {
    out[0] = '\0';
    return 0;
  }
  return plain(in, out, outlen, type);
}

}  // namespace

int ul_iconv(int from, int to, const char* src, char* dst, int srclen, int dstlen, _ccode_conv_t* conv) {
  ccode_cell_t f = ccode_dispatch_cell(from, to);
  if (f == nullptr || src == nullptr || dst == nullptr || dstlen < 1) return -1;
  return f(src, dst, srclen, dstlen, conv);
}

int ul_ccode_to_gb18030(const char* in, char* out, int outlen, int type) {
  _ccode_conv_t* conv = EntryRecord(in, out, outlen, "ul_ccode_to_gb18030");
  if (conv == nullptr) return -1;
  const CodeTypeRow* row = ccode_codetype_row(type);
  if (row == nullptr) return CopyCut(in, out, outlen);
  const int r = row->to_gb18030(*row, conv, in, out, outlen);
  return r < 0 ? -1 : r;
}

int ul_ccode_from_gb18030(const char* in, char* out, int outlen, int type) {
  _ccode_conv_t* conv = EntryRecord(in, out, outlen, "ul_ccode_from_gb18030");
  if (conv == nullptr) return -1;
  const CodeTypeRow* row = ccode_codetype_row(type);
  if (row == nullptr) return CopyCut(in, out, outlen);
  const int r = row->from_gb18030(*row, conv, in, out, outlen);
  return r < 0 ? -1 : r;
}

int ul_ccode_to_gb18030_str(const char* in, char* out, int outlen, int type) {
  return StrForm(ul_ccode_to_gb18030, in, out, outlen, type, "ul_ccode_to_gb18030_str");
}

int ul_ccode_from_gb18030_str(const char* in, char* out, int outlen, int type) {
  return StrForm(ul_ccode_from_gb18030, in, out, outlen, type, "ul_ccode_from_gb18030_str");
}
