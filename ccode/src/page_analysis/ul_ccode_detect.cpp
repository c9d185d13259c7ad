// Page code type and language: the entry points of the simple detection
// and the pieces the extended detection shares. The language rules of each
// code type are in ul_ccode_langrules.cpp.
#include "ul_ccode_detect.h"

#include <limits.h>
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <string>

#include "ul_ccode_codetype.h"
#include "ul_ccode_conv.h"
#include "ul_ccode_data.h"
#include "ul_ccode_detect_parts.h"
#include "ul_ccode_load.h"
#include "ul_ccode_type.h"
#include "ul_log.h"
#include "ul_whiteurl.h"

namespace {

constexpr size_t kExtractBytes = 511999;    // page text joined to the title
constexpr size_t kTitleBytes = 127;
constexpr int kLongPage = 2047;             // the main text is read above it

void Invalid(const char* function) { ul_writelog(UL_LOG_FATAL, "invalid parameter in function '%s'.\n", function); }

// The thread's record for url: reused when it holds url's page, else
// computed anew. NULL for a thread without state or failed statistics.
_ccode_info_t* ThreadRecord(const char* page, const char* url, const char* charset, const char* tree) {
  _ccode_info_t* info = get_ccode_info();
  if (info == nullptr) return nullptr;
  if (ccode_info_holds(info, url)) return info;
  ccode_info_clean(info);
  if (ccode_info_compute(info, page, url, charset, tree) != 1) return nullptr;
  info->real_page_length = ccode_real_page_length(info->page_length);
  return info;
}

// The title cut to 127 bytes followed by at most 511,999 bytes of text.
std::string TitleAnd(const _ccode_page_info_t* info, const char* text, int len) {
  std::string out;
  if (info->title != nullptr && info->len_title > 0) {
    out.assign(info->title, strnlen(info->title, std::min<size_t>(static_cast<size_t>(info->len_title), kTitleBytes)));
  }
  if (text != nullptr && len > 0) {
    out.append(text, strnlen(text, std::min<size_t>(static_cast<size_t>(len), kExtractBytes)));
  }
  return out;
}

}  // namespace

// --- shared pieces ----------------------------------------------------------------

bool ccode_page_load_ok() {
  if (ccode_page_data_wanted(CCODE_LOAD_FLAG)) return true;
  ul_writelog(UL_LOG_FATAL, "the 2nd parameter flag error @ul_ccode_load.you need FLAG_PAGE_LANG_DETECT.");
  return false;
}

bool ccode_info_holds(const _ccode_info_t* info, const char* url) {
  return info->computed_flag && info->url_kept && strcmp(info->url_copy, url) == 0;
}

int ccode_real_page_length(int page_length) {
  return static_cast<int>(std::min<int64_t>(6 * static_cast<int64_t>(page_length), INT_MAX));
}

// --- the entry points -----------------------------------------------------------

int ul_ccode_detect(const char* page, const char* url, const char* charset, const char* tree, int* code, int* lang,
                    int*) {
  if (url == nullptr || page == nullptr || code == nullptr || lang == nullptr) {
    Invalid("ul_ccode_detect");
    return -1;
  }
  if (!ccode_page_load_ok()) return -1;
  _ccode_info_t info;
  ccode_info_clean(&info);
  if (ccode_info_compute(&info, page, url, charset, tree) != 1) return -1;
  if (ccode_is_whiteUrl(url, code, lang) == 1) return 1;
  *code = ccode_detect_codetype(&info);
  *lang = ccode_detect_langtype(&info, *code, nullptr);
  return 1;
}

// The white-URL list is consulted here as in ul_ccode_detect: a listed page
// takes the listed code type and language before they are mapped.
int ul_jcode_detect(const char* page, const char* url, const char* charset, const char* tree, int* code) {
  if (code == nullptr) {
    Invalid("ul_jcode_detect");
    return -1;
  }
  if (!ccode_page_load_ok()) return -1;
  g_for_jp = 1;
  _ccode_info_t info;
  ccode_info_clean(&info);
  if (ccode_info_compute(&info, page, url, charset, tree) != 1) return -1;
  int c, l;
  if (ccode_is_whiteUrl(url, &c, &l) != 1) {
    c = ccode_detect_codetype(&info);
    l = ccode_detect_langtype(&info, c, nullptr);
  }
  *code = CODETYPE_NONE;
  if (l == LANGTYPE_JAPANESE && c == CODETYPE_UTF8) {
    *code = CODETYPE_UTF8JP;
  } else if (l == LANGTYPE_JAPANESE && (c == CODETYPE_JIS || c == CODETYPE_SJIS || c == CODETYPE_EUCJP)) {
    *code = c;
  } else if (l == LANGTYPE_ENGLISH) {
    *code = CODETYPE_ENG;
  }
  return 1;
}

int ul_ccode_detect_langtype(const char* page, const char* url, const char* charset, const char* tree,
                             const int* code, int* lang, int* trust) {
  if (url == nullptr || page == nullptr || code == nullptr || lang == nullptr) {
    Invalid("ccode_detect_langtype");
    return -1;
  }
  _ccode_info_t* info = ThreadRecord(page, url, charset, tree);
  if (info == nullptr) return -1;
  *lang = ccode_detect_langtype(info, *code, trust);
  return 1;
}

int ul_ccode_page_detect(const _ccode_page_info_t* info, const char* url, const char* charset, const char* tree,
                         int* code, int* lang, int* trust) {
  if (code != nullptr) *code = CODETYPE_NONE;
  if (lang != nullptr) *lang = LANGTYPE_NONE;
  if (info == nullptr || info->page == nullptr || url == nullptr || code == nullptr || lang == nullptr) {
    ul_writelog(UL_LOG_FATAL, "invalid parameter is NULL in function 'ul_ccode_page_detect'.\n");
    return -1;
  }
  const std::string with_page = TitleAnd(info, info->page_content, info->len_page_content);
  const std::string with_main = TitleAnd(info, info->main_content, info->len_main_content);
  const std::string title = TitleAnd(info, nullptr, 0);
  int c = CODETYPE_NONE;
  if (ul_ccode_detect_codetype(info->page, url, charset, tree, &c) == 1 && c != CODETYPE_NONE) {
    *code = c;
    const _ccode_page_info_t parts = {info->page,
                                      with_main.c_str(),
                                      with_page.c_str(),
                                      title.c_str(),
                                      info->len_page,
                                      static_cast<int>(with_main.size()),
                                      static_cast<int>(with_page.size()),
                                      static_cast<int>(title.size())};
    ul_ccode_page_detect_langtype(&parts, url, charset, tree, code, lang, trust);
    return 1;
  }
  // The page alone is undecided: the title with the page text, else the
  // title with the main text.
  const std::string& text = with_page.size() > title.size() ? with_page : with_main;
  if (ul_ccode_detect_codetype(text.c_str(), url, charset, tree, &c) == 1 && c != CODETYPE_NONE) {
    *code = c;
    ul_ccode_detect_langtype(text.c_str(), url, charset, tree, code, lang, trust);
  }
  return 1;
}

int ul_ccode_page_detect_langtype(const _ccode_page_info_t* info, const char* url, const char* charset,
                                  const char* tree, const int* code, int* lang, int* trust) {
  if (info == nullptr || info->page == nullptr || url == nullptr || code == nullptr || lang == nullptr) {
    Invalid("ul_ccode_page_detect_langtype");
    return -1;
  }
  if (*code == CODETYPE_NONE) {
    ul_writelog(UL_LOG_FATAL, "invalid parameter codetype in function 'ul_ccode_page_detect_langtype'.\n");
    return -1;
  }
  int own_trust[kCcodeTrustLen] = {-1, -1, -1, -1, -1};
  if (trust == nullptr) trust = own_trust;
  auto in_trust = [](int l) { return l >= 0 && l <= 3; };

  int p = LANGTYPE_NONE;
  if (ul_ccode_detect_langtype(info->page, url, charset, tree, code, &p, trust) != 1) return -1;
  *lang = p;
  const int tp = in_trust(p) ? trust[p] : 0, cp = trust[4];
  if (!(info->len_page > kLongPage && info->len_main_content > info->len_title)) return 1;

  // The main text under the empty URL; the page text under the same URL is
  // then answered from the main text's record (k equals m).
  const char* main_content = info->main_content != nullptr ? info->main_content : "";
  const char* page_content = info->page_content != nullptr ? info->page_content : "";
  int m = LANGTYPE_NONE;
  ul_ccode_detect_langtype(main_content, "", charset, tree, code, &m, trust);
  *lang = m;
  if (m == p) return 1;
  auto k = [&](int fallback) {
    int lk = fallback;
    if (info->len_page_content > info->len_title) ul_ccode_detect_langtype(page_content, "", charset, tree, code, &lk, trust);
    return lk;
  };
  if (m == LANGTYPE_NONE && p == LANGTYPE_NONE) {
    *lang = k(*lang);
    return 1;
  }
  if (m == LANGTYPE_NONE) *lang = p;
  if (p == LANGTYPE_NONE) *lang = m;
  if (m == LANGTYPE_ENGLISH || p == LANGTYPE_ENGLISH) {
    *lang = LANGTYPE_ENGLISH;
    return 1;
  }
  const bool chinese_pair = (m == LANGTYPE_SIMP_CHINESE && p == LANGTYPE_TRAD_CHINESE) ||
                            (m == LANGTYPE_TRAD_CHINESE && p == LANGTYPE_SIMP_CHINESE);
  if (chinese_pair) {
    *lang = info->len_page_content > info->len_title ? k(*lang) : LANGTYPE_TRAD_CHINESE;
  } else if (m == LANGTYPE_JAPANESE && (p == LANGTYPE_SIMP_CHINESE || p == LANGTYPE_TRAD_CHINESE)) {
    *lang = LANGTYPE_JAPANESE;
  } else if (in_trust(m) && in_trust(p)) {
    const int tm = trust[m], cm = trust[4];
    if (*code != CODETYPE_GB && *code != CODETYPE_UTF8) {
      *lang = m;
    } else {
      *lang = tp > 0 && (tp > 1.5 * tm || (cp >= 1 && 5 * cm < cp)) ? p : m;
    }
  }
  return 1;
}
