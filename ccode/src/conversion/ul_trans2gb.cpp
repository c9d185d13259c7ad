// The dispatchers that bring text of a code type to GBK, GBI or GB18030.
#include <limits.h>
#include <string.h>

#include <string>

#include "ul_big5_gbk.h"
#include "ul_ccode_conv.h"
#include "ul_ccode_type.h"
#include "ul_codetype_table.h"
#include "ul_gb18030.h"
#include "ul_gbk.h"
#include "ul_log.h"
#include "ul_transch.h"

namespace {

const unsigned char* U(const char* s) { return reinterpret_cast<const unsigned char*>(s); }
unsigned char* U(char* s) { return reinterpret_cast<unsigned char*>(s); }

// Converts the GB18030 (or GBK) text in dst to GBI in place. The special
// words read the text around a character, so they are given an unconverted
// copy.
int GbiInPlace(char* dst, bool gb18030) {
  const std::string copy(dst);
  return gb18030 ? ul_gb18030_gbi_str(U(copy.c_str()), U(dst), 0) : ul_gbk_gbi_str(U(copy.c_str()), U(dst), 0);
}

_ccode_conv_t* ThreadState() {
  _ccode_conv_t* conv = get_ccode_conv();
  if (conv == nullptr) ul_writelog(UL_LOG_FATAL, "get ccode conv error!");
  return conv;
}

// Arguments of the sized dispatchers (logged when bad).
bool SizedArgs(const char* text, const char* dst, int size, const _ccode_conv_t* state, const char* name) {
  if (text != nullptr && dst != nullptr && state != nullptr && size >= 1) return true;
  ul_writelog(UL_LOG_FATAL, "invalid parameter in function '%s'.\n", name);
  return false;
}

// Whether dst holds the text as it is (what a table conversion or a copy
// writes); logged when not.
bool Fits(const char* text, int size, const char* name) {
  if (strlen(text) < static_cast<size_t>(size)) return true;
  ul_writelog(UL_LOG_FATAL, "invalid parameter in function '%s'.\n", name);
  return false;
}

int Copy(const char* text, char* dst) {
  memmove(dst, text, strlen(text) + 1);
  return 0;
}

typedef int (*sized_t)(const char*, char*, int, int, _ccode_conv_t*);

// The _str forms: checks, an empty text gives an empty dst.
int StrForm(sized_t plain, const char* text, char* dst, int size, int type, _ccode_conv_t* state,
            const char* fmt, const char* name) {
  if (text == nullptr || dst == nullptr || state == nullptr || size < 1) {
    ul_writelog(UL_LOG_FATAL, fmt, name);
    return -1;
  }
  if (strlen(text) > static_cast<size_t>(INT_MAX)) {
    ul_writelog(UL_LOG_WARNING, "invalid input str in %s.", name);
    return -1;
  }
  if (text[0] == '\0') {
    dst[0] = '\0';
    return 0;
  }
  return plain(text, dst, size, type, state);
}

}  // namespace

int ul_trans2gb(const char* text, char* dst, int type) {
  if (text == nullptr || dst == nullptr) return -1;
  int r;
  switch (type) {
    case CODETYPE_GB: r = ul_gbk_gbi_str(U(text), U(dst), 0); break;
    case CODETYPE_BIG5: r = ul_big5_gbi_str(U(text), U(dst), 0); break;
    case CODETYPE_UTF8:
      r = ul_utf8_to_gbk(dst, static_cast<int>(strlen(text) + 1), text);
      if (r >= 0) r = GbiInPlace(dst, false);
      break;
    default: r = Copy(text, dst); break;
  }
  return r < 0 ? -1 : 0;
}

int ul_trans2gbi(const char* text, char* dst, int size, int type, _ccode_conv_t* state) {
  const char* name = "ul_trans2gbi";
  if (!SizedArgs(text, dst, size, state, name)) return -1;
  int r;
  switch (type) {
    case CODETYPE_GB: r = Fits(text, size, name) ? ul_gb18030_gbi_str(U(text), U(dst), 0) : -1; break;
    case CODETYPE_BIG5: r = Fits(text, size, name) ? ul_big5_gbi_str(U(text), U(dst), 0) : -1; break;
    case CODETYPE_UTF8: {
      void* cd = state->jp2gb.utf82gb;
      r = ul_utf8_gb18030_str(text, dst, size, &cd);
      if (r >= 0) r = GbiInPlace(dst, true);
      break;
    }
    default: r = Fits(text, size, name) ? Copy(text, dst) : -1; break;
  }
  return r < 0 ? -1 : 0;
}

int ul_trans2gb18030(const char* text, char* dst, int size, int type, _ccode_conv_t* state) {
  const char* name = "ul_trans2gb18030";
  if (!SizedArgs(text, dst, size, state, name)) return -1;
  int r;
  // The table's UTF-8 and Japanese conversions; BIG5 through the unbounded
  // grid walk once the text fits; every other code type (the single-byte
  // pages too) copied as it is.
  const CodeTypeRow* row = ccode_codetype_row(type);
  if (row != nullptr && (row->route == CodeTypeRoute::kUtf8 || row->route == CodeTypeRoute::kJapanese)) {
    r = row->to_gb18030(*row, state, text, dst, size);
  } else if (row != nullptr && row->route == CodeTypeRoute::kBig5Table) {
    r = Fits(text, size, name) ? ul_big5_gb18030_str(U(text), U(dst), 0) : -1;
  } else {
    r = Fits(text, size, name) ? Copy(text, dst) : -1;
  }
  return r < 0 ? -1 : 0;
}

int ul_trans2gbi(const char* text, char* dst, int size, int type) {
  _ccode_conv_t* state = ThreadState();
  return state == nullptr ? -1 : ul_trans2gbi(text, dst, size, type, state);
}

int ul_trans2gb18030(const char* text, char* dst, int size, int type) {
  _ccode_conv_t* state = ThreadState();
  return state == nullptr ? -1 : ul_trans2gb18030(text, dst, size, type, state);
}

int ul_trans2gbi_str(const char* text, char* dst, int size, int type, _ccode_conv_t* state) {
  int (*plain)(const char*, char*, int, int, _ccode_conv_t*) = ul_trans2gbi;
  return StrForm(plain, text, dst, size, type, state, "invalid parameter in function %s.", "ul_trans2gbi_str");
}

int ul_trans2gb18030_str(const char* text, char* dst, int size, int type, _ccode_conv_t* state) {
  int (*plain)(const char*, char*, int, int, _ccode_conv_t*) = ul_trans2gb18030;
  return StrForm(plain, text, dst, size, type, state, "invalid parameter in %s.", "ul_trans2gb18030_str");
}

int ul_trans2gbi_str(const char* text, char* dst, int size, int type) {
  _ccode_conv_t* state = ThreadState();
  return state == nullptr ? -1 : ul_trans2gbi_str(text, dst, size, type, state);
}

int ul_trans2gb18030_str(const char* text, char* dst, int size, int type) {
  _ccode_conv_t* state = ThreadState();
  return state == nullptr ? -1 : ul_trans2gb18030_str(text, dst, size, type, state);
}
