// The table of code types that convert to and from GB18030, and what is
// derived from it: the conversions of each route, the cells of ul_iconv and
// the look-up by code type.
#include "ul_codetype_table.h"

#include <stdint.h>
#include <string.h>

#include "ul_ccode_type.h"
#include "ul_gb18030.h"
#include "ul_gb18030_bounded.h"
#include "ul_iconv_loop.h"
#include "ul_jcode.h"
#include "ul_log.h"

namespace {

// --- whole-text conversions, one per route ------------------------------------

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

int Big5ToGb(const CodeTypeRow&, _ccode_conv_t*, const char* in, char* out, int outlen) {
  return TableCount(ccode_big5_gb18030_bounded, in, out, outlen, "ul_big5_gb18030");
}

int GbToBig5(const CodeTypeRow&, _ccode_conv_t*, const char* in, char* out, int outlen) {
  return TableCount(ccode_gb18030_big5_bounded, in, out, outlen, "ul_gb18030_big5");
}

int Utf8ToGb(const CodeTypeRow& row, _ccode_conv_t* conv, const char* in, char* out, int outlen) {
  void* cd = *ccode_conv_slot(conv, row.to_gb);
  return ul_utf8_gb18030_str(in, out, outlen, &cd);
}

int GbToUtf8(const CodeTypeRow& row, _ccode_conv_t* conv, const char* in, char* out, int outlen) {
  void* cd = *ccode_conv_slot(conv, row.from_gb);
  return ul_gb18030_utf8_str(in, out, outlen, &cd);
}

template <int (*Convert)(const char*, char*, int, _jp2gb_t*)>
int JapaneseToGb(const CodeTypeRow&, _ccode_conv_t* conv, const char* in, char* out, int outlen) {
  return Convert(in, out, outlen, &conv->jp2gb);
}

template <int (*Convert)(const char*, char*, int, _gb2jp_t*)>
int GbToJapanese(const CodeTypeRow&, _ccode_conv_t* conv, const char* in, char* out, int outlen) {
  return Convert(in, out, outlen, &conv->gb2jp);
}

int PageToGb(const CodeTypeRow& row, _ccode_conv_t* conv, const char* in, char* out, int outlen) {
  iconv_t cd = *ccode_conv_slot(conv, row.to_gb);
  if (!IconvIsOpen(cd)) return -1;
  // The terminator is converted too: a converter that holds its last
  // character back until more input comes (WINDOWS-1258) writes it then.
  IconvOutcome o = RunIconvLoop(cd, in, strlen(in) + 1, out, static_cast<size_t>(outlen), 2, 4, BlankPerByte);
  return o.blanked + (o.left > 0 ? static_cast<int>(o.left) - 1 : 0);
}

int GbToPage(const CodeTypeRow& row, _ccode_conv_t* conv, const char* in, char* out, int outlen) {
  iconv_t cd = *ccode_conv_slot(conv, row.from_gb);
  if (!IconvIsOpen(cd)) return -1;
  IconvOutcome o = RunIconvLoop(cd, in, strlen(in), out, static_cast<size_t>(outlen), 0, 2, GbCharBlanks);
  return o.blanked + static_cast<int>(o.left);
}

// --- cells of ul_iconv ----------------------------------------------------------

// The record to use: conv, or the calling thread's (NULL, logged, when it
// has none).
_ccode_conv_t* Record(_ccode_conv_t* conv) {
  if (conv != nullptr) return conv;
  conv = get_ccode_conv();
  if (conv == nullptr) ul_writelog(UL_LOG_FATAL, "get ccode conv error!");
  return conv;
}

// Copies at most srclen bytes (cut to dstlen - 1) and terminates: 1.
int Copy(const char* src, char* dst, int srclen, int dstlen, _ccode_conv_t*) {
  size_t n = srclen > 0 ? static_cast<size_t>(srclen) : 0;
  if (n > static_cast<size_t>(dstlen) - 1) n = static_cast<size_t>(dstlen) - 1;
  memmove(dst, src, n);
  dst[n] = '\0';
  return 1;
}

// A table cell: 1, or -1 when dst cannot hold the whole result (dst then
// holds what fits, terminated).
template <int (*Walk)(const unsigned char*, unsigned char*, int, size_t, int*, const char*)>
int TableCell(const char* src, char* dst, int srclen, int dstlen, const char* name) {
  const auto* s = reinterpret_cast<const unsigned char*>(src);
  const int n = srclen >= 1 ? srclen : static_cast<int>(strlen(src));
  int consumed = 0;
  if (Walk(s, reinterpret_cast<unsigned char*>(dst), srclen, static_cast<size_t>(dstlen) - 1, &consumed, name) < 0) {
    return -1;
  }
  return consumed == n ? 1 : -1;
}

int GbBig5Cell(const char* src, char* dst, int srclen, int dstlen, _ccode_conv_t*) {
  return TableCell<ccode_gb18030_big5_bounded>(src, dst, srclen, dstlen, "ul_gb18030_big5_str");
}

int Big5GbCell(const char* src, char* dst, int srclen, int dstlen, _ccode_conv_t*) {
  return TableCell<ccode_big5_gb18030_bounded>(src, dst, srclen, dstlen, "ul_big5_gb18030_str");
}

template <int (*Convert)(const char*, char*, int, _jp2gb_t*)>
int ToGbCell(const char* src, char* dst, int, int dstlen, _ccode_conv_t* conv) {
  conv = Record(conv);
  return conv == nullptr ? -1 : Convert(src, dst, dstlen, &conv->jp2gb);
}

template <int (*Convert)(const char*, char*, int, _gb2jp_t*)>
int FromGbCell(const char* src, char* dst, int, int dstlen, _ccode_conv_t* conv) {
  conv = Record(conv);
  return conv == nullptr ? -1 : Convert(src, dst, dstlen, &conv->gb2jp);
}

#define UL_SLOT(member) offsetof(_ccode_conv_t, member)

}  // namespace

// --- the table -------------------------------------------------------------------

constexpr CodeTypeRow kCodeTypeRows[] = {
    {CODETYPE_BIG5, CodeTypeRoute::kBig5Table, "BIG5", kNoSlot, kNoSlot, false, Big5ToGb, GbToBig5, Big5GbCell,
     GbBig5Cell},
    {CODETYPE_UTF8, CodeTypeRoute::kUtf8, "UTF-8", UL_SLOT(jp2gb.utf82gb), UL_SLOT(gb2jp.gb2utf8), false, Utf8ToGb,
     GbToUtf8, ToGbCell<ul_utf8_gb_str>, FromGbCell<ul_gb_utf8_str>},
    {CODETYPE_JIS, CodeTypeRoute::kJapanese, "ISO-2022-JP", UL_SLOT(jp2gb.jis2gb), UL_SLOT(gb2jp.gb2jis), false,
     JapaneseToGb<ul_jis_gb_str>, GbToJapanese<ul_gb_jis_str>, ToGbCell<ul_jis_gb_str>, FromGbCell<ul_gb_jis_str>},
    {CODETYPE_SJIS, CodeTypeRoute::kJapanese, "SHIFT_JIS", UL_SLOT(jp2gb.sjis2gb), UL_SLOT(gb2jp.gb2sjis), false,
     JapaneseToGb<ul_sjis_gb_str>, GbToJapanese<ul_gb_sjis_str>, ToGbCell<ul_sjis_gb_str>,
     FromGbCell<ul_gb_sjis_str>},
    {CODETYPE_EUCJP, CodeTypeRoute::kJapanese, "EUC-JP", UL_SLOT(jp2gb.eucjp2gb), UL_SLOT(gb2jp.gb2eucjp), false,
     JapaneseToGb<ul_eucjp_gb_str>, GbToJapanese<ul_gb_eucjp_str>, ToGbCell<ul_eucjp_gb_str>,
     FromGbCell<ul_gb_eucjp_str>},
    {CODETYPE_ISO_8859_1, CodeTypeRoute::kIconvPage, "ISO_8859-1", UL_SLOT(tr2gb.iso12gb), UL_SLOT(gb2tr.gb2iso1),
     false, PageToGb, GbToPage, nullptr, nullptr},
    {CODETYPE_WIN1254, CodeTypeRoute::kIconvPage, "WINDOWS-1254", UL_SLOT(tr2gb.win12542gb),
     UL_SLOT(gb2tr.gb2win1254), false, PageToGb, GbToPage, nullptr, nullptr},
    // ISO-8859-9 text is read and written as its superset WINDOWS-1254.
    {CODETYPE_ISO_8859_9, CodeTypeRoute::kIconvPage, "WINDOWS-1254", UL_SLOT(tr2gb.win12542gb),
     UL_SLOT(gb2tr.gb2win1254), false, PageToGb, GbToPage, nullptr, nullptr},
    {CODETYPE_WIN1256, CodeTypeRoute::kIconvPage, "WINDOWS-1256", UL_SLOT(win1256_gb), UL_SLOT(gb_win1256), true,
     PageToGb, GbToPage, nullptr, nullptr},
    {CODETYPE_ISO_8859_6, CodeTypeRoute::kIconvPage, "ISO_8859-6", UL_SLOT(iso6_gb), UL_SLOT(gb_iso6), true,
     PageToGb, GbToPage, nullptr, nullptr},
    {CODETYPE_WIN874, CodeTypeRoute::kIconvPage, "WINDOWS-874", UL_SLOT(win874_gb), UL_SLOT(gb_win874), true,
     PageToGb, GbToPage, nullptr, nullptr},
    {CODETYPE_ISO_8859_11, CodeTypeRoute::kIconvPage, "ISO-8859-11", UL_SLOT(iso11_gb), UL_SLOT(gb_iso11), true,
     PageToGb, GbToPage, nullptr, nullptr},
    // TIS-620 text is read and written as its superset ISO-8859-11.
    {CODETYPE_TIS620, CodeTypeRoute::kIconvPage, "ISO-8859-11", UL_SLOT(iso11_gb), UL_SLOT(gb_iso11), false,
     PageToGb, GbToPage, nullptr, nullptr},
    {CODETYPE_VISCII, CodeTypeRoute::kIconvPage, "VISCII", UL_SLOT(viscii_gb), UL_SLOT(gb_viscii), true, PageToGb,
     GbToPage, nullptr, nullptr},
    {CODETYPE_WIN1258, CodeTypeRoute::kIconvPage, "WINDOWS-1258", UL_SLOT(win1258_gb), UL_SLOT(gb_win1258), true,
     PageToGb, GbToPage, nullptr, nullptr},
    {CODETYPE_WIN1251, CodeTypeRoute::kIconvPage, "WINDOWS-1251", UL_SLOT(win1251_gb), UL_SLOT(gb_win1251), true,
     PageToGb, GbToPage, nullptr, nullptr},
    {CODETYPE_ISO_8859_7, CodeTypeRoute::kIconvPage, "ISO-8859-7", UL_SLOT(iso7_gb), UL_SLOT(gb_iso7), true,
     PageToGb, GbToPage, nullptr, nullptr},
    {CODETYPE_WIN1255, CodeTypeRoute::kIconvPage, "WINDOWS-1255", UL_SLOT(win1255_gb), UL_SLOT(gb_win1255), true,
     PageToGb, GbToPage, nullptr, nullptr},
    {CODETYPE_EUCKR, CodeTypeRoute::kIconvPage, "EUC-KR", UL_SLOT(euckr_gb), UL_SLOT(gb_euckr), true, PageToGb,
     GbToPage, nullptr, nullptr},
};

#undef UL_SLOT

constexpr size_t kCodeTypeRowCount = sizeof(kCodeTypeRows) / sizeof(kCodeTypeRows[0]);

namespace {

// The row index of every code type, -1 for none.
struct RowIndex {
  int8_t at[CODETYPE_END];
  constexpr RowIndex() : at() {
    for (int8_t& a : at) a = -1;
    for (size_t i = 0; i < kCodeTypeRowCount; ++i) at[kCodeTypeRows[i].codetype] = static_cast<int8_t>(i);
  }
};

constexpr RowIndex kRowIndex;

// [from][to] over ENG, GB, BIG5, UTF8, JPKR, JIS, SJIS, EUCJP, UTF8JP,
// ASCII, ISO_8859_1, EUCKR: a copy between a code type and itself (and
// between ENG and ASCII, and from UTF8JP to UTF8), the rows' cells to and
// from GB, and UTF8JP converted as UTF8.
struct DispatchTable {
  ccode_cell_t cell[kCcodeDispatchTypes][kCcodeDispatchTypes];
  constexpr DispatchTable() : cell() {
    for (int i = 0; i < kCcodeDispatchTypes; ++i) cell[i][i] = Copy;
    cell[CODETYPE_ENG][CODETYPE_ASCII] = Copy;
    cell[CODETYPE_ASCII][CODETYPE_ENG] = Copy;
    cell[CODETYPE_UTF8JP][CODETYPE_UTF8] = Copy;
    // A row without cells leaves nullptr where nullptr was (no row is GB
    // itself, whose copy cell stays).
    for (const CodeTypeRow& row : kCodeTypeRows) {
      if (row.codetype >= kCcodeDispatchTypes) continue;
      cell[row.codetype][CODETYPE_GB] = row.cell_to_gb;
      cell[CODETYPE_GB][row.codetype] = row.cell_from_gb;
    }
    cell[CODETYPE_GB][CODETYPE_UTF8JP] = cell[CODETYPE_GB][CODETYPE_UTF8];
    cell[CODETYPE_UTF8JP][CODETYPE_GB] = cell[CODETYPE_UTF8][CODETYPE_GB];
  }
};

constexpr DispatchTable kDispatch;

}  // namespace

const CodeTypeRow* ccode_codetype_row(int codetype) {
  if (codetype < 0 || codetype >= CODETYPE_END) return nullptr;
  const int i = kRowIndex.at[codetype];
  return i < 0 ? nullptr : &kCodeTypeRows[i];
}

ccode_cell_t ccode_dispatch_cell(int from, int to) {
  if (from < 0 || from >= kCcodeDispatchTypes || to < 0 || to >= kCcodeDispatchTypes) return nullptr;
  return kDispatch.cell[from][to];
}
