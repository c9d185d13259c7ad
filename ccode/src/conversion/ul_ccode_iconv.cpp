// Conversion between GB18030 and every code type: the dispatch table and the
// entry points of the detectors.
#include "ul_ccode_iconv.h"

#include <limits.h>
#include <stdint.h>
#include <string.h>

#include "ul_ccode_type.h"
#include "ul_gb18030.h"
#include "ul_gb18030_bounded.h"
#include "ul_iconv_loop.h"
#include "ul_jcode.h"
#include "ul_log.h"

namespace {

typedef int (*transfunc_t)(const char* src, char* dst, int srclen, int dstlen, _ccode_conv_t* conv);

// The record to use: conv, or the calling thread's (NULL, logged, when it
// has none).
_ccode_conv_t* Record(_ccode_conv_t* conv) {
  if (conv != nullptr) return conv;
  conv = get_ccode_conv();
  if (conv == nullptr) ul_writelog(UL_LOG_FATAL, "get ccode conv error!");
  return conv;
}

// Copies at most srclen bytes (cut to dstlen - 1) and terminates: 1.
int empty(const char* src, char* dst, int srclen, int dstlen, _ccode_conv_t*) {
  size_t n = srclen > 0 ? static_cast<size_t>(srclen) : 0;
  if (n > static_cast<size_t>(dstlen) - 1) n = static_cast<size_t>(dstlen) - 1;
  memmove(dst, src, n);
  dst[n] = '\0';
  return 1;
}

// The table cells: 1, or -1 when dst cannot hold the whole result (dst then
// holds what fits, terminated).
int gb_big5(const char* src, char* dst, int srclen, int dstlen, _ccode_conv_t*) {
  const auto* s = reinterpret_cast<const unsigned char*>(src);
  const int n = srclen >= 1 ? srclen : static_cast<int>(strlen(src));
  int consumed = 0;
  if (ccode_gb18030_big5_bounded(s, reinterpret_cast<unsigned char*>(dst), srclen,
                                 static_cast<size_t>(dstlen) - 1, &consumed, "ul_gb18030_big5_str") < 0) {
    return -1;
  }
  return consumed == n ? 1 : -1;
}

int big5_gb(const char* src, char* dst, int srclen, int dstlen, _ccode_conv_t*) {
  const auto* s = reinterpret_cast<const unsigned char*>(src);
  const int n = srclen >= 1 ? srclen : static_cast<int>(strlen(src));
  int consumed = 0;
  if (ccode_big5_gb18030_bounded(s, reinterpret_cast<unsigned char*>(dst), srclen,
                                 static_cast<size_t>(dstlen) - 1, &consumed, "ul_big5_gb18030_str") < 0) {
    return -1;
  }
  return consumed == n ? 1 : -1;
}

#define UL_CONVERTER_CELL(cell, func, group)                                       \
  int cell(const char* src, char* dst, int, int dstlen, _ccode_conv_t* conv) {     \
    conv = Record(conv);                                                           \
    return conv == nullptr ? -1 : func(src, dst, dstlen, &conv->group);            \
  }

UL_CONVERTER_CELL(gb_utf8, ul_gb_utf8_str, gb2jp)
UL_CONVERTER_CELL(gb_jis, ul_gb_jis_str, gb2jp)
UL_CONVERTER_CELL(gb_sjis, ul_gb_sjis_str, gb2jp)
UL_CONVERTER_CELL(gb_eucjp, ul_gb_eucjp_str, gb2jp)
UL_CONVERTER_CELL(utf8_gb, ul_utf8_gb_str, jp2gb)
UL_CONVERTER_CELL(jis_gb, ul_jis_gb_str, jp2gb)
UL_CONVERTER_CELL(sjis_gb, ul_sjis_gb_str, jp2gb)
UL_CONVERTER_CELL(eucjp_gb, ul_eucjp_gb_str, jp2gb)

#undef UL_CONVERTER_CELL

constexpr int kDispatchTypes = 12;

// [from][to] over ENG, GB, BIG5, UTF8, JPKR, JIS, SJIS, EUCJP, UTF8JP,
// ASCII, ISO_8859_1, EUCKR.
struct DispatchTable {
  transfunc_t cell[kDispatchTypes][kDispatchTypes];
  constexpr DispatchTable() : cell() {
    for (int i = 0; i < kDispatchTypes; ++i) cell[i][i] = empty;
    cell[CODETYPE_ENG][CODETYPE_ASCII] = empty;
    cell[CODETYPE_ASCII][CODETYPE_ENG] = empty;
    cell[CODETYPE_UTF8JP][CODETYPE_UTF8] = empty;
    cell[CODETYPE_GB][CODETYPE_BIG5] = gb_big5;
    cell[CODETYPE_GB][CODETYPE_UTF8] = gb_utf8;
    cell[CODETYPE_GB][CODETYPE_UTF8JP] = gb_utf8;
    cell[CODETYPE_GB][CODETYPE_JIS] = gb_jis;
    cell[CODETYPE_GB][CODETYPE_SJIS] = gb_sjis;
    cell[CODETYPE_GB][CODETYPE_EUCJP] = gb_eucjp;
    cell[CODETYPE_BIG5][CODETYPE_GB] = big5_gb;
    cell[CODETYPE_UTF8][CODETYPE_GB] = utf8_gb;
    cell[CODETYPE_UTF8JP][CODETYPE_GB] = utf8_gb;
    cell[CODETYPE_JIS][CODETYPE_GB] = jis_gb;
    cell[CODETYPE_SJIS][CODETYPE_GB] = sjis_gb;
    cell[CODETYPE_EUCJP][CODETYPE_GB] = eucjp_gb;
  }
};

constexpr DispatchTable g_codetransfunc;

// The descriptor of a single-byte page or EUC-KR towards GB18030
// (to_gb) or from it; NULL for another type.
iconv_t PageDescriptor(_ccode_conv_t* c, int type, bool to_gb) {
  switch (type) {
    case CODETYPE_ISO_8859_1: return to_gb ? c->tr2gb.iso12gb : c->gb2tr.gb2iso1;
    case CODETYPE_ISO_8859_9:
    case CODETYPE_WIN1254: return to_gb ? c->tr2gb.win12542gb : c->gb2tr.gb2win1254;
    case CODETYPE_WIN1256: return to_gb ? c->win1256_gb : c->gb_win1256;
    case CODETYPE_ISO_8859_6: return to_gb ? c->iso6_gb : c->gb_iso6;
    case CODETYPE_WIN874: return to_gb ? c->win874_gb : c->gb_win874;
    case CODETYPE_ISO_8859_11:
    case CODETYPE_TIS620: return to_gb ? c->iso11_gb : c->gb_iso11;
    case CODETYPE_VISCII: return to_gb ? c->viscii_gb : c->gb_viscii;
    case CODETYPE_WIN1258: return to_gb ? c->win1258_gb : c->gb_win1258;
    case CODETYPE_WIN1251: return to_gb ? c->win1251_gb : c->gb_win1251;
    case CODETYPE_ISO_8859_7: return to_gb ? c->iso7_gb : c->gb_iso7;
    case CODETYPE_WIN1255: return to_gb ? c->win1255_gb : c->gb_win1255;
    case CODETYPE_EUCKR: return to_gb ? c->euckr_gb : c->gb_euckr;
    default: return nullptr;
  }
}

// Copies in cut to outlen - 1 bytes: 0.
int CopyCut(const char* in, char* out, int outlen) {
  size_t n = strlen(in);
  if (n > static_cast<size_t>(outlen) - 1) n = static_cast<size_t>(outlen) - 1;
  memmove(out, in, n);
  out[n] = '\0';
  return 0;
}

// Table conversion of the whole of in with a bounded output: the source
// bytes replaced by blanks plus those that did not fit.
int TableCount(int (*walk)(const unsigned char*, unsigned char*, int, size_t, int*, const char*), const char* in,
               char* out, int outlen, const char* name) {
  const int n = static_cast<int>(strlen(in));
  int consumed = 0;
  const int blanked = walk(reinterpret_cast<const unsigned char*>(in), reinterpret_cast<unsigned char*>(out), 0,
                           static_cast<size_t>(outlen) - 1, &consumed, name);
  return blanked < 0 ? -1 : blanked + (n - consumed);
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
  if (from < 0 || from >= kDispatchTypes || to < 0 || to >= kDispatchTypes) return -1;
  transfunc_t f = g_codetransfunc.cell[from][to];
  if (f == nullptr || src == nullptr || dst == nullptr || dstlen < 1) return -1;
  return f(src, dst, srclen, dstlen, conv);
}

int ul_ccode_to_gb18030(const char* in, char* out, int outlen, int type) {
  _ccode_conv_t* conv = EntryRecord(in, out, outlen, "ul_ccode_to_gb18030");
  if (conv == nullptr) return -1;
  int r;
  switch (type) {
    case CODETYPE_BIG5:
      r = TableCount(ccode_big5_gb18030_bounded, in, out, outlen, "ul_big5_gb18030");
      break;
    case CODETYPE_UTF8: {
      void* cd = conv->jp2gb.utf82gb;
      r = ul_utf8_gb18030_str(in, out, outlen, &cd);
      break;
    }
    case CODETYPE_JIS: r = ul_jis_gb_str(in, out, outlen, &conv->jp2gb); break;
    case CODETYPE_SJIS: r = ul_sjis_gb_str(in, out, outlen, &conv->jp2gb); break;
    case CODETYPE_EUCJP: r = ul_eucjp_gb_str(in, out, outlen, &conv->jp2gb); break;
    default: {
      iconv_t cd = PageDescriptor(conv, type, true);
      if (cd == nullptr) return CopyCut(in, out, outlen);
      if (!IconvIsOpen(cd)) return -1;
      // The terminator is converted too: a converter that holds its last
      // character back until more input comes (WINDOWS-1258) writes it then.
      IconvOutcome o = RunIconvLoop(cd, in, strlen(in) + 1, out, static_cast<size_t>(outlen), 2, 4, BlankPerByte);
      r = o.blanked + (o.left > 0 ? static_cast<int>(o.left) - 1 : 0);
      break;
    }
  }
  return r < 0 ? -1 : r;
}

int ul_ccode_from_gb18030(const char* in, char* out, int outlen, int type) {
  _ccode_conv_t* conv = EntryRecord(in, out, outlen, "ul_ccode_from_gb18030");
  if (conv == nullptr) return -1;
  int r;
  switch (type) {
    case CODETYPE_BIG5:
      r = TableCount(ccode_gb18030_big5_bounded, in, out, outlen, "ul_gb18030_big5");
      break;
    case CODETYPE_UTF8: {
      void* cd = conv->gb2jp.gb2utf8;
      r = ul_gb18030_utf8_str(in, out, outlen, &cd);
      break;
    }
    case CODETYPE_JIS: r = ul_gb_jis_str(in, out, outlen, &conv->gb2jp); break;
    case CODETYPE_SJIS: r = ul_gb_sjis_str(in, out, outlen, &conv->gb2jp); break;
    case CODETYPE_EUCJP: r = ul_gb_eucjp_str(in, out, outlen, &conv->gb2jp); break;
    default: {
      iconv_t cd = PageDescriptor(conv, type, false);
      if (cd == nullptr) return CopyCut(in, out, outlen);
      if (!IconvIsOpen(cd)) return -1;
      IconvOutcome o = RunIconvLoop(cd, in, strlen(in), out, static_cast<size_t>(outlen), 0, 2, GbCharBlanks);
      r = o.blanked + static_cast<int>(o.left);
      break;
    }
  }
  return r < 0 ? -1 : r;
}

int ul_ccode_to_gb18030_str(const char* in, char* out, int outlen, int type) {
  return StrForm(ul_ccode_to_gb18030, in, out, outlen, type, "ul_ccode_to_gb18030_str");
}

int ul_ccode_from_gb18030_str(const char* in, char* out, int outlen, int type) {
  return StrForm(ul_ccode_from_gb18030, in, out, outlen, type, "ul_ccode_from_gb18030_str");
}
