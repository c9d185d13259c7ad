// The code types that convert to and from GB18030, a row each: the one place
// that says how text of a code type reaches GB18030 and back, which platform
// converter it uses and where that converter's descriptors sit in the
// per-thread conversion record. The record's opening, the entry points
// ul_ccode_to_gb18030 and ul_ccode_from_gb18030, the dispatch of ul_iconv and
// ul_trans2gb18030 are all read from it; a code type without a row is copied
// as it is.
#ifndef CCODE_SRC_UL_CODETYPE_TABLE_H_
#define CCODE_SRC_UL_CODETYPE_TABLE_H_

#include <stddef.h>

#include "ul_ccode_conv.h"

// How a code type reaches GB18030.
enum class CodeTypeRoute {
  kBig5Table,  // the compiled-in BIG5 grid; no descriptor
  kUtf8,       // the record's UTF-8 descriptors
  kJapanese,   // the Japanese converters over the record's Japanese group
  kIconvPage,  // one platform descriptor each way (single-byte pages, EUC-KR)
};

// A cell of ul_iconv: converts srclen bytes of src (the whole text when
// srclen < 1) into dst of dstlen bytes, terminated; 1, or -1.
typedef int (*ccode_cell_t)(const char* src, char* dst, int srclen, int dstlen, _ccode_conv_t* conv);

struct CodeTypeRow;
// Converts the NUL-terminated in into out of outlen bytes (outlen >= 1),
// terminated: the number of characters replaced by blanks or cut, or -1.
typedef int (*ccode_whole_t)(const CodeTypeRow& row, _ccode_conv_t* conv, const char* in, char* out,
                             int outlen);

// Marks a row without a descriptor of its own in the record.
constexpr size_t kNoSlot = static_cast<size_t>(-1);

struct CodeTypeRow {
  int codetype;
  CodeTypeRoute route;
  const char* iconv_name;  // the platform converter's name of the code type
  size_t to_gb;            // offset in _ccode_conv_t of the descriptor towards GB18030
  size_t from_gb;          // and of the one from GB18030 (kNoSlot: none)
  // ul_ccode_conv_open opens this pair on its own; the other pairs belong
  // to a group that ul_jp2gb_open, ul_gb2jp_open, ul_tr2gb_open and
  // ul_gb2tr_open open, and two code types may share one pair.
  bool opened_alone;
  ccode_whole_t to_gb18030;
  ccode_whole_t from_gb18030;
  ccode_cell_t cell_to_gb;    // ul_iconv's cell towards CODETYPE_GB (nullptr: none)
  ccode_cell_t cell_from_gb;  // and from it
};

// Every row, in the order ul_ccode_conv_open opens the descriptors.
extern const CodeTypeRow kCodeTypeRows[];
extern const size_t kCodeTypeRowCount;

// The row of codetype; nullptr for a code type that is copied as it is.
const CodeTypeRow* ccode_codetype_row(int codetype);

// The descriptor at offset in conv (offset is a row's to_gb or from_gb).
inline iconv_t* ccode_conv_slot(_ccode_conv_t* conv, size_t offset) {
  return reinterpret_cast<iconv_t*>(reinterpret_cast<char*>(conv) + offset);
}

// ul_iconv's cell from one code type to another (both below
// kCcodeDispatchTypes); nullptr when ul_iconv has none.
constexpr int kCcodeDispatchTypes = 12;
ccode_cell_t ccode_dispatch_cell(int from, int to);

#endif  // CCODE_SRC_UL_CODETYPE_TABLE_H_
