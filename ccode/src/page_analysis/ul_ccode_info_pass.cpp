// The statistics passes over a page's beginning: the pairs (or GB18030
// characters) of its first bytes counted by the code types that accept them,
// its title, its references and its UTF-8 classes. They sit apart from the
// character predicates of ul_ccode_info.cpp because the GB18030 pass converts
// each character to the other double-byte code types, and conversion in turn
// reads the page-statistics record's type.
#include "ul_ccode_info.h"

#include <limits.h>
#include <stdint.h>
#include <string.h>
#include <strings.h>

#include <algorithm>
#include <string_view>
#include <utility>

#include "ul_ccode_charset.h"
#include "ul_ccode_iconv.h"
#include "ul_ccode_info_parts.h"
#include "ul_ccode_next.h"
#include "ul_ccode_type.h"
#include "ul_log.h"

namespace {

constexpr int kCollectBytes = 512;  // content bytes collected
constexpr size_t kTitleBytes = 127;
constexpr size_t kHttpCharsetMax = 128;

// The GBK classes of one pair, counted into g.
void ClassifyGbk(const unsigned char* p, _gbk_info_t* g) {
  if (!is_gbk(p)) return;
  ++g->gbk_count;
  if (is_gbk_jm(p)) {
    ++g->gbk_jp_count;
  } else if (is_gbk_simp(p)) {
    ++g->gbk_simp_count;
  } else if (is_gbk_trad(p)) {
    ++g->gbk_trad_count;
  }
  if (is_gbk_jp_hanzi(p)) {
    ++g->gbk_jp_hanzi;
    if (is_gbk_jp_hanzi_unq(p)) ++g->gbk_jp_hanzi_unq;
  } else if (is_gbk_cn_hanzi_unq(p)) {
    ++g->gbk_cn_hanzi_unq;
  }
}

bool IsJisEscape(const unsigned char* p) {
  if (p[0] != 0x1B) return false;
  if (p[1] == '(') return p[2] == 'B' || p[2] == 'J' || p[2] == 'I';
  return p[1] == '$' && (p[2] == '@' || p[2] == 'B');
}

inline bool IsBom(const unsigned char* p) { return p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF; }

// A byte below 0x80 met by the pair walk: counts JIS escapes and numeric
// references. The bytes consumed (a whole reference at once).
int SingleByte(_ccode_info_t* info, const unsigned char* p) {
  if (IsJisEscape(p)) ++info->jis_flag_count;
  if (p[0] == '&') {
    unsigned int cp;
    const int n = ref_to_unicode(reinterpret_cast<const char*>(p), &cp);
    if (n > 0) {
      ++info->rinfo.ref_count;
      ref_info_compute(info, cp);
      return n;
    }
  }
  return 1;
}

void CopyTitle(_ccode_info_t* info, std::string_view page) {
  for (const auto& tags : {std::pair<const char*, const char*>{"<title", "</title>"}, {"<TITLE", "</TITLE>"}}) {
    const size_t open = page.find(tags.first);
    if (open == std::string_view::npos) continue;
    const size_t close = page.find(tags.second, open + 6);
    if (close == std::string_view::npos) continue;
    size_t start = open + 6;
    const size_t gt = page.find('>', start);
    if (gt != std::string_view::npos && gt < close) start = gt + 1;
    const size_t len = std::min(close - start, kTitleBytes);
    memcpy(info->title, page.data() + start, len);
    info->title[len] = '\0';
    return;
  }
}

void StoreArguments(_ccode_info_t* info, const char* page, const char* url, const char* charset,
                    const char* content) {
  info->url = url;
  const size_t url_len = strnlen(url, sizeof(info->url_copy));
  info->url_kept = url_len < sizeof(info->url_copy);
  if (info->url_kept) memcpy(info->url_copy, url, url_len + 1);
  info->page = page;
  info->charset_out = charset;
  info->tree_content = content;
  info->page_length = static_cast<int>(std::min<size_t>(strlen(page), INT_MAX));
  if (strncasecmp(page, "vti_encoding", 12) == 0) info->frontpage_flag = true;
}

}  // namespace

// --- the statistics passes -------------------------------------------------------

int ccode_info_compute(_ccode_info_t* info, const char* page, const char* url, const char* charset,
                       const char* content) {
  if (info == nullptr || page == nullptr || url == nullptr) {
    ul_writelog(UL_LOG_FATAL, "invalid parameter in function 'ccode_info_compute'.\n");
    return -1;
  }
  StoreArguments(info, page, url, charset, content);

  const size_t http_len = charset == nullptr ? 0 : strnlen(charset, kHttpCharsetMax + 1);
  if (http_len >= 1 && http_len <= kHttpCharsetMax) {
    for (size_t i = 0; i <= http_len; ++i) {
      const char c = charset[i];
      info->charset[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
  } else {
    find_charset(page, info->charset, sizeof(info->charset));
  }
  charset2codetype(info->charset, &info->charset_codetype, &info->charset_confidence);

  // Pairs of the page's beginning.
  const unsigned char* p = reinterpret_cast<const unsigned char*>(page);
  unsigned prev = 0;
  int len = 0;
  while (p[0] != 0 && p[1] != 0 && len < kCollectBytes) {
    if (p[0] < 0x80) {
      p += SingleByte(info, p);
    } else if (IsBom(p)) {
      ++info->bom_count;
      p += 3;
    } else {
      const unsigned pair = p[0] << 8 | p[1];
      if (pair != prev) ++info->real_count;
      prev = pair;
      if (p[1] < 0x80) ++info->sole_count;
      info->content[len++] = static_cast<char>(p[0]);
      info->content[len++] = static_cast<char>(p[1]);
      ++info->twobyte_count;
      p += 2;
    }
  }
  info->content[len] = '\0';
  info->content_len = len;

  for (int i = 0; i + 1 < len; i += 2) {
    const unsigned char* pair = reinterpret_cast<const unsigned char*>(info->content + i);
    ClassifyGbk(pair, &info->ginfo);
    if (is_big5(pair)) {
      ++info->big5_count;
      if (is_big5_jp(pair)) ++info->big5_jp_count;
    }
    if (is_sjis(pair)) ++info->sjis_count;
    if (is_eucjp(pair)) ++info->eucjp_count;
    if (is_euckr(pair)) ++info->euckr_count;
  }

  CopyTitle(info, std::string_view(page, static_cast<size_t>(info->page_length)));
  if (info->title[0] != '\0') utf8_title_compute(info->title, &info->uinfo);
  utf8_info_compute(info->content, &info->uinfo);
  if (content != nullptr) utf8_info_compute(content, &info->ucont_info);
  info->computed_flag = true;
  return 1;
}

int ccode_info_compute_gb(_ccode_info_t* info, const char* page, const char* url, int* codetype,
                          const char* content) {
  if (info == nullptr || page == nullptr || url == nullptr || codetype == nullptr || *codetype != CODETYPE_GB) {
    ul_writelog(UL_LOG_FATAL, "invalid parameter in function 'ccode_info_compute_gb'.\n");
    return -1;
  }
  StoreArguments(info, page, url, nullptr, content);

  const unsigned char* p = reinterpret_cast<const unsigned char*>(page);
  uint32_t prev = 0;
  int len = 0;
  while (p[0] != 0 && len < kCollectBytes) {
    if (IsBom(p)) {
      ++info->bom_count;
      p += 3;
      continue;
    }
    const int n = ul_ccode_next_gb18030(reinterpret_cast<const char*>(p));
    if (n == 0) {
      ++p;
    } else if (n == 1) {
      p += SingleByte(info, p);
    } else {
      // The character's bytes folded as signed bytes: (v << 8) + byte.
      uint32_t v = 0;
      for (int i = 0; i < n; ++i) v = (v << 8) + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(p[i])));
      if (v != prev) ++info->real_count;
      prev = v;
      if (p[1] < 0x80) ++info->sole_count;
      memcpy(info->content + len, p, static_cast<size_t>(n));
      len += n;
      ++info->twobyte_count;
      p += n;
    }
  }
  info->content[len] = '\0';
  info->content_len = len;

  struct Target {
    int codetype;
    int (*accepts)(const unsigned char*);
    int* count;
  };
  const Target targets[] = {{CODETYPE_BIG5, is_big5, &info->big5_count},
                            {CODETYPE_SJIS, is_sjis, &info->sjis_count},
                            {CODETYPE_EUCJP, is_eucjp, &info->eucjp_count},
                            {CODETYPE_EUCKR, is_euckr, &info->euckr_count}};
  for (int i = 0; i < len;) {
    const char* c = info->content + i;
    const int n = ul_ccode_next_gb18030(c);
    if (n < 2) {
      ++i;
      continue;
    }
    const unsigned char* pair = reinterpret_cast<const unsigned char*>(c);
    if (n == 2) ClassifyGbk(pair, &info->ginfo);
    char one[5] = {};
    memcpy(one, c, static_cast<size_t>(n));
    for (const Target& t : targets) {
      char out[3 * 4 + 1] = {};
      if (ul_ccode_from_gb18030_str(one, out, 3 * n + 1, t.codetype) < 0) continue;
      const unsigned char* o = reinterpret_cast<const unsigned char*>(out);
      if (!t.accepts(o)) continue;
      ++*t.count;
      if (t.codetype == CODETYPE_BIG5 && is_big5_jp(o)) ++info->big5_jp_count;
    }
    i += n;
  }
  info->computed_flag = true;
  return 1;
}
