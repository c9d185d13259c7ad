// Per-thread conversion state: thread keys, the thread's records and
// buffers, the default code type and the thread's global language. The
// descriptors of a record are opened in ul_ccode_descriptors.cpp.
#include "ul_ccode_conv.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include <new>

#include "toolkit/thread_slot.h"
#include "ul_ccode_memo.h"
#include "ul_ccode_type.h"
#include "ul_langtype.h"
#include "ul_log.h"

namespace {

// The thread's records: the descriptors, the page statistics, the global
// language, the query candidates and the two CLD2 buffers.
toolkit::ThreadSlot<_ccode_conv_t> g_conv_key;
toolkit::ThreadSlot<_ccode_info_t> g_info_key;
toolkit::ThreadSlot<int> g_lang_key;
toolkit::ThreadSlot<std::vector<_CODELANG_INFO>> g_query_lang_key;
toolkit::ThreadSlot<char> g_gbbuf_cld_key;
toolkit::ThreadSlot<char> g_utf8buf_cld_key;

int g_codetype = CODETYPE_GB;

void FreeConv(void* p) {
  _ccode_conv_t* conv = static_cast<_ccode_conv_t*>(p);
  ul_ccode_conv_close(conv);
  free(conv);
}

void FreeQueryLang(void* p) { delete static_cast<std::vector<_CODELANG_INFO>*>(p); }

}  // namespace

// --- keys -------------------------------------------------------------------

int ul_ccode_conv_init() {
  if (g_conv_key.Create(FreeConv) != 0 || g_info_key.Create(free) != 0 || g_lang_key.Create(free) != 0 ||
      g_query_lang_key.Create(FreeQueryLang) != 0 || g_gbbuf_cld_key.Create(free) != 0 ||
      g_utf8buf_cld_key.Create(free) != 0) {
    ul_writelog(UL_LOG_FATAL, "pthread create key error!");
    return -1;
  }
  return ul_ccode_memo_init();
}

void ul_ccode_conv_del() {
  g_conv_key.Delete();
  g_lang_key.Delete();
  g_info_key.Delete();
  g_query_lang_key.Delete();
  ul_ccode_memo_del();
  g_gbbuf_cld_key.Delete();
  g_utf8buf_cld_key.Delete();
}

void ul_ccode_info_del() { g_info_key.Delete(); }

// --- accessors ----------------------------------------------------------------

_ccode_conv_t* get_ccode_conv() { return g_conv_key.Get(); }
int set_ccode_conv(_ccode_conv_t* conv) { return g_conv_key.Set(conv); }
_ccode_info_t* get_ccode_info() { return g_info_key.Get(); }
int set_ccode_info(_ccode_info_t* info) { return g_info_key.Set(info); }
int* get_ccode_lang() { return g_lang_key.Get(); }
int set_ccode_lang(int* lang) { return g_lang_key.Set(lang); }
std::vector<_CODELANG_INFO>* get_ccode_query_lang() { return g_query_lang_key.Get(); }
int set_ccode_query_lang(std::vector<_CODELANG_INFO>* list) { return g_query_lang_key.Set(list); }
char* get_ccode_gbbuf_cld() { return g_gbbuf_cld_key.Get(); }
int set_ccode_gbbuf_cld(char* buf) { return g_gbbuf_cld_key.Set(buf); }
char* get_ccode_utf8buf_cld() { return g_utf8buf_cld_key.Get(); }
int set_ccode_utf8buf_cld(char* buf) { return g_utf8buf_cld_key.Set(buf); }


// --- query candidates and buffers ---------------------------------------------

int ul_ccode_query_detect_open(std::vector<_CODELANG_INFO>* list) {
  if (list == nullptr) {
    ul_writelog(UL_LOG_FATAL, "invalid param in ul_ccode_query_detect_open.");
    return 0;
  }
  list->insert(list->end(), static_cast<size_t>(CODETYPE_END) * LANGTYPE_END,
               _CODELANG_INFO{0, 0, INT_MIN, INT_MIN, INT_MIN});
  return 1;
}

int ul_ccode_query_detect_close(std::vector<_CODELANG_INFO>* list) {
  if (list != nullptr) std::vector<_CODELANG_INFO>().swap(*list);
  return 1;
}

int ul_gbbuf_cld_clean(char* buf) {
  if (buf == nullptr) return 0;
  buf[0] = '\0';
  return 1;
}

int ul_utf8buf_cld_clean(char* buf) { return ul_gbbuf_cld_clean(buf); }

// --- the thread's state -------------------------------------------------------

namespace {

// What one ul_ccode_conv_open() call made, released whole when it fails.
struct ThreadState {
  _ccode_conv_t* conv = nullptr;
  _ccode_info_t* info = nullptr;
  int* lang = nullptr;
  std::vector<_CODELANG_INFO>* query = nullptr;
  char* gbbuf = nullptr;
  char* utf8buf = nullptr;
  bool conv_open = false;

  void Release() {
    if (conv_open) ul_ccode_conv_close(conv);
    free(conv);
    free(info);
    free(lang);
    if (query != nullptr) ul_ccode_query_detect_close(query);
    delete query;
    free(gbbuf);
    free(utf8buf);
  }
};

bool HasAnyValue() {
  return get_ccode_conv() != nullptr || get_ccode_info() != nullptr || get_ccode_lang() != nullptr ||
         get_ccode_query_lang() != nullptr || get_ccode_gbbuf_cld() != nullptr ||
         get_ccode_utf8buf_cld() != nullptr;
}

void ClearValues() {
  g_conv_key.Set(nullptr);
  g_info_key.Set(nullptr);
  g_lang_key.Set(nullptr);
  g_query_lang_key.Set(nullptr);
  g_gbbuf_cld_key.Set(nullptr);
  g_utf8buf_cld_key.Set(nullptr);
}

}  // namespace

int ul_ccode_conv_open() {
  if (HasAnyValue()) return 0;
  if (!g_conv_key.created() || !g_info_key.created() || !g_lang_key.created() || !g_query_lang_key.created() ||
      !g_gbbuf_cld_key.created() || !g_utf8buf_cld_key.created()) {
    ul_writelog(UL_LOG_FATAL, "pthread set specific error!");
    return -1;
  }
  ThreadState s;
  s.conv = static_cast<_ccode_conv_t*>(malloc(sizeof(_ccode_conv_t)));
  s.info = static_cast<_ccode_info_t*>(malloc(sizeof(_ccode_info_t)));
  s.lang = static_cast<int*>(malloc(sizeof(int)));
  s.query = new (std::nothrow) std::vector<_CODELANG_INFO>();
  s.gbbuf = static_cast<char*>(malloc(CCODE_CLD_BUF_LEN));
  s.utf8buf = static_cast<char*>(malloc(CCODE_CLD_BUF_LEN));
  if (s.conv == nullptr || s.info == nullptr || s.lang == nullptr || s.query == nullptr || s.gbbuf == nullptr ||
      s.utf8buf == nullptr) {
    ul_writelog(UL_LOG_FATAL, "malloc error!");
    s.Release();
    return -1;
  }
  ul_gbbuf_cld_clean(s.gbbuf);
  ul_utf8buf_cld_clean(s.utf8buf);
  ccode_info_clean(s.info);
  *s.lang = -1;
  bool ok = set_ccode_gbbuf_cld(s.gbbuf) == 0 && set_ccode_utf8buf_cld(s.utf8buf) == 0;
  if (ok) {
    if (ul_ccode_conv_open(s.conv) != 0) {  // it closed what it had opened
      s.Release();
      ClearValues();
      return -1;
    }
    s.conv_open = true;
  }
  ok = ok && set_ccode_conv(s.conv) == 0 && set_ccode_info(s.info) == 0;
  ok = ok && ul_ccode_query_detect_open(s.query) == 1 && set_ccode_query_lang(s.query) == 0 &&
       ul_ccode_memo_alloc() == 0 && set_ccode_lang(s.lang) == 0;
  if (!ok) {
    ul_writelog(UL_LOG_FATAL, "pthread set specific error!");
    ul_ccode_memo_free();
    s.Release();
    ClearValues();
    return -1;
  }
  return 0;
}

int ul_ccode_conv_close() {
  g_conv_key.Reset();
  g_query_lang_key.Reset();
  ul_ccode_info_close();
  ul_ccode_memo_free();
  g_lang_key.Reset();
  g_gbbuf_cld_key.Reset();
  g_utf8buf_cld_key.Reset();
  return 0;
}

int ul_ccode_info_close() {
  g_info_key.Reset();
  return 0;
}

// --- default code type and global language -------------------------------------

int ul_set_globalcode(int code) {
  if (code < -1 || code >= CODETYPE_END) {
    ul_writelog(UL_LOG_FATAL, "wrong codetype input!");
    return -1;
  }
  g_codetype = code;
  return 0;
}

int ul_get_globalcode() { return g_codetype; }

int ul_set_globallang(int lang) {
  if (lang < -1 || lang >= LANGTYPE_END) {
    ul_writelog(UL_LOG_FATAL, "wrong langtype input!");
    return -1;
  }
  int* slot = get_ccode_lang();
  if (slot == nullptr) return -1;
  *slot = lang;
  return 0;
}

int ul_get_globallang() {
  const int* slot = get_ccode_lang();
  return slot == nullptr ? -2 : *slot;
}

int ul_set_globallang(const char* text, int which) {
  static const char kFn[] = "ul_set_globallang";
  if (text == nullptr || which < V2_MAINLANG || which > V2_FOURTHLANG) {
    ul_writelog(UL_LOG_FATAL, "invalid param in %s", kFn);
    return -1;
  }
  const size_t len = strlen(text);
  const char* digits = text[0] == '-' ? text + 1 : text;
  bool ok = len >= 1 && len <= 21 && *digits != '\0';
  for (const char* p = digits; ok && *p != '\0'; ++p) ok = *p >= '0' && *p <= '9';
  if (!ok) {
    ul_writelog(UL_LOG_FATAL, "invalid param str_langtype_v2 in %s.", kFn);
    return -1;
  }
  errno = 0;
  const long long value = strtoll(text, nullptr, 10);
  if (errno == ERANGE || value < -1) {
    ul_writelog(UL_LOG_FATAL, "translate LANGTYPE_V2 string value into long long value failed in %s", kFn);
    return -1;
  }
  int lang = -1;
  const int count = ul_ccode_langtype_v2(value, &lang, nullptr, 1, which);
  if (count < 0) {
    ul_writelog(UL_LOG_FATAL, "get %d value of langtype_v2 failed in %s", which, kFn);
    return -1;
  }
  if (count == 0) {
    ul_writelog(UL_LOG_NOTICE, "get 0 langtype from langtype_v2  in %s", kFn);
    lang = -1;
  }
  int* slot = get_ccode_lang();
  if (slot == nullptr) return -1;
  *slot = lang;
  return 0;
}
