// The page-statistics record: reset, the statistics pass and its pieces.
#include "ul_ccode_info.h"

#include <errno.h>
#include <limits.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <string_view>

#include "ul_ccode_charset.h"
#include "ul_ccode_data.h"
#include "ul_ccode_iconv.h"
#include "ul_ccode_info_parts.h"
#include "ul_ccode_next.h"
#include "ul_ccode_type.h"
#include "ul_gbk.h"
#include "ul_log.h"
#include "ul_utf8_encode.h"

namespace {

constexpr int kCollectBytes = 512;      // content bytes collected
constexpr int kUtf8ClassBytes = 32768;  // text bytes the UTF-8 classes read
constexpr size_t kTitleBytes = 127;
constexpr size_t kHttpCharsetMax = 128;

inline bool In(unsigned v, unsigned lo, unsigned hi) { return v >= lo && v <= hi; }
inline bool Cont(unsigned b) { return In(b, 0x80, 0xBF); }

// A set key of a pair: first byte low.
inline uint16_t SetKey(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline bool InSet(const ccode_charset_t& set, const unsigned char* p) { return set.count(SetKey(p)) != 0; }

// The GBK pair of a code point below 0x10000 (a blank when it has none).
struct GbkChar {
  char bytes[3];
  explicit GbkChar(unsigned cp) { unicode_to_gbk_word(bytes, static_cast<uint16_t>(cp)); }
  const unsigned char* pair() const { return reinterpret_cast<const unsigned char*>(bytes); }
  bool two() const { return bytes[1] != '\0'; }
};

// The title vote; gb is the GB18030 form with its stricter rules 2 and 3.
int TitleVote(const _utf8_info_t& u, bool gb) {
  const int s = u.utf8_cn_simp_title_chars, t = u.utf8_cn_trad_title_chars, j = u.utf8_jp_title_chars;
  const int p = u.utf8_cn_simp_pure_title_chars, k = u.utf8_jp_pure_title_chars;
  if (j > 3 && k > 1) return 3;
  if ((gb ? s > 3 && s > t : s + t > 3 && s >= t) && s > j) {
    if (p < t) return 2;
    if (10 * p >= s) return 1;
    return t > 0 ? 2 : 1;
  }
  if ((gb ? t > 3 : s + t > 3) && t > s && t > j) return 2;
  if (j > 3 && j > s && j > t) return 3;
  return u.utf8_cn_jp_title_lang;
}

// Counts a Chinese character of a title, given as its GBK pair.
void CountTitleHanzi(const unsigned char* pair, _utf8_info_t* u) {
  if (is_gbk_simp(pair)) ++u->utf8_cn_simp_title_chars;
  if (is_gbk_trad(pair)) ++u->utf8_cn_trad_title_chars;
  if (is_gbk_jp_hanzi_unq(pair)) ++u->utf8_jp_title_chars;
  if (is_gbk_simp_pure(pair)) ++u->utf8_cn_simp_pure_title_chars;
}

// The GBK classification of one pair (step 5's GBK branch).
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

// The bytes of a single-byte position of the pair walk (step 4): JIS
// escapes and references. The bytes consumed.
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

// --- reset ------------------------------------------------------------------

void ccode_info_clean(_ccode_info_t* info) {
  if (info == nullptr) return;
  memset(info, 0, sizeof(*info));  // the pointers of the record become NULL too
  info->charset_codetype = -1;
  info->charset_confidence = -1;
  info->ginfo.gbk_bigram = -1;
  info->ginfo.gbkjp_bigram = -1;
  info->big5_bigram = -1;
  info->sjis_bigram = -1;
  info->eucjp_bigram = -1;
  info->euckr_bigram = -1;
  info->bigram_codetype = -1;
  info->bigram_confidence = -1;
  info->uinfo.utf8_cn_jp_title_lang = -1;
  info->uinfo.utf8_cn_bigram = -1;
  info->uinfo.utf8_jp_bigram = -1;
  info->guess_lang = -1;
  info->guess_seclang = -1;
  info->max_lang = -1;
  info->max_confidence_lang = -1;
  info->title_lang = -1;
  info->title_seclang = -1;
}

// --- predicates --------------------------------------------------------------

int is_gbk(const unsigned char* p) { return In(p[0], 0x81, 0xFE) && In(p[1], 0x40, 0xFE) && p[1] != 0x7F; }
int is_gb(const unsigned char* p) { return In(p[0], 0xB0, 0xF7) && In(p[1], 0xA1, 0xFE); }
int is_big5(const unsigned char* p) {
  return In(p[0], 0xA1, 0xF9) && (In(p[1], 0x40, 0x7E) || In(p[1], 0xA1, 0xFE));
}
int is_euckr(const unsigned char* p) { return In(p[0], 0xA1, 0xFE) && In(p[1], 0xA1, 0xFE); }
int is_sjis(const unsigned char* p) {
  return (In(p[0], 0x81, 0x9F) || In(p[0], 0xE0, 0xEF) || p[0] == 0xFA || p[0] == 0xFB) &&
         (In(p[1], 0x40, 0x7E) || In(p[1], 0x80, 0xFC));
}
int is_eucjp(const unsigned char* p) {
  return (p[0] == 0x8E && In(p[1], 0xA1, 0xDF)) || (In(p[0], 0xA1, 0xFE) && In(p[1], 0xA1, 0xFE));
}
int is_gbk_jm(const unsigned char* p) { return (p[0] == 0xA4 || p[0] == 0xA5) && In(p[1], 0xA1, 0xF6); }
int is_big5_jp(const unsigned char* p) {
  return (p[0] == 0xC6 && In(p[1], 0xDB, 0xFE)) || (p[0] == 0xC7 && (In(p[1], 0x40, 0x7E) || In(p[1], 0xA1, 0xFE)));
}
int ul_is_gb18030_4bytes(const unsigned char* p) {
  return p != nullptr && In(p[0], 0x81, 0xFE) && In(p[1], '0', '9') && In(p[2], 0x81, 0xFE) && In(p[3], '0', '9');
}

int is_gbk_simp(const unsigned char* p) { return is_gb(p) || InSet(l_setGbkSimp, p); }
int is_gbk_trad(const unsigned char* p) { return InSet(l_setGbkTrad, p); }
int is_gbk_jp_hanzi(const unsigned char* p) { return InSet(l_setGbkJpHanzi, p); }
int is_gbk_jp_hanzi_unq(const unsigned char* p) { return InSet(l_setGbkJpHanziUnq, p); }
int is_gbk_simp_pure(const unsigned char* p) { return InSet(l_setGbkSimpPure, p) && !is_gbk_jp_hanzi(p); }
int is_gbk_cn_hanzi_unq(const unsigned char* p) { return is_gbk_simp(p) && !is_gbk_jp_hanzi(p); }

// --- references and classes ----------------------------------------------------

int ref_to_unicode(const char* text, unsigned int* unicode) {
  *unicode = 0;
  if (text[0] != '&' || text[1] != '#') return 0;
  const bool hex = text[2] == 'x' || text[2] == 'X';
  const char* digits = text + (hex ? 3 : 2);
  char* end = nullptr;
  const int saved = errno;
  errno = 0;
  const long v = strtol(digits, &end, hex ? 16 : 10);
  const bool overflow = errno == ERANGE;
  errno = saved;
  // A code point is an unsigned 32-bit number: a sign or an overflow
  // names no character.
  const bool bad = overflow || v < 0 || static_cast<unsigned long>(v) > UINT32_MAX;
  *unicode = bad ? kNoCodePoint : static_cast<unsigned int>(v);
  if (*end == ';') ++end;
  return static_cast<int>(end - text);
}

void ref_info_compute(_ccode_info_t* info, unsigned int unicode) {
  _ref_info_t& r = info->rinfo;
  if (ccode_utf8_length(unicode) == 3) {  // lead E0..EF, two continuation bytes
    const GbkChar c(unicode);
    if (!c.two()) return;
    if (is_gbk_jm(c.pair())) {
      ++r.ref_jp_count;
    } else if (is_gbk_simp(c.pair())) {
      ++r.ref_cn_simp_count;
    } else if (is_gbk_trad(c.pair())) {
      ++r.ref_cn_trad_count;
    }
  } else if (In(unicode, 128, 255)) {
    ++r.ref_latin_count;
  } else if (unicode < 128) {
    ++r.ref_ascii_count;
  }
}

void utf8_info_compute(const char* text, _utf8_info_t* u) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
  const size_t len = strnlen(text, kUtf8ClassBytes);
  size_t i = 0;
  while (i < len) {
    const unsigned b0 = s[i];
    if (b0 < 0x80) {
      ++u->utf8_ascii;
      ++i;
    } else if (In(b0, 0xC0, 0xDF) && i + 1 < len && Cont(s[i + 1])) {
      const unsigned b1 = s[i + 1];
      u->utf8_goodbytes += 2;
      if (b0 == 0xC2 || b0 == 0xC3) ++u->utf8_latin_chars;
      if ((b0 == 0xD0 && In(b1, 0x90, 0xBF)) || (b0 == 0xD1 && In(b1, 0x80, 0x8F))) ++u->utf8_ru_chars;
      i += 2;
    } else if (In(b0, 0xE0, 0xEF) && i + 2 < len && Cont(s[i + 1]) && Cont(s[i + 2])) {
      u->utf8_goodbytes += 3;
      const unsigned cp = get_unicode(text + i);
      if (b0 == 0xE3 && In(s[i + 1], 0x81, 0x83)) ++u->utf8_jp_chars;
      if (In(b0, 0xE4, 0xE9)) {
        ++u->utf8_cn_chars;
        const GbkChar c(cp);
        const unsigned char* p = c.pair();
        if (c.two()) {
          if (is_gbk_simp(p)) {
            ++u->utf8_cn_simp_chars;
          } else if (is_gbk_trad(p)) {
            ++u->utf8_cn_trad_chars;
          }
          if (is_gbk_simp_pure(p)) ++u->utf8_cn_simp_pure_chars;
          if (is_gbk_jp_hanzi(p)) {
            ++u->utf8_jp_hanzi;
            if (is_gbk_jp_hanzi_unq(p)) ++u->utf8_jp_hanzi_unq;
          } else if (is_gbk_cn_hanzi_unq(p)) {
            ++u->utf8_cn_hanzi_unq;
          }
        }
      } else if (In(b0, 0xEA, 0xED) && In(cp, 0xAC00, 0xD7AF)) {
        ++u->utf8_ko_chars;
      }
      i += 3;
    } else {
      ++i;
    }
  }
}

void utf8_title_compute(const char* title, _utf8_info_t* u) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(title);
  for (size_t i = 0; s[i] != 0;) {
    const int n = ul_ccode_next_utf8(title + i);
    if (n == 0) {
      ++i;
      continue;
    }
    if (n == 3 && s[i] == 0xE3 && In(s[i + 1], 0x81, 0x83)) {
      ++u->utf8_jp_title_chars;
      ++u->utf8_jp_pure_title_chars;
    } else if (n == 3 && In(s[i], 0xE4, 0xE9)) {
      const GbkChar c(get_unicode(title + i));
      if (c.two()) CountTitleHanzi(c.pair(), u);
    }
    i += static_cast<size_t>(n);
  }
  u->utf8_cn_jp_title_lang = TitleVote(*u, false);
}

void gb_title_compute(const char* title, _utf8_info_t* u) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(title);
  for (size_t i = 0; s[i] != 0;) {
    const int n = ul_ccode_next_gb18030(title + i);
    if (n == 0) {
      ++i;
      continue;
    }
    if (n == 2 && (s[i] == 0xA4 || s[i] == 0xA5)) {
      ++u->utf8_jp_title_chars;
      ++u->utf8_jp_pure_title_chars;
    } else if (n == 2) {
      CountTitleHanzi(s + i, u);
    }
    i += static_cast<size_t>(n);
  }
  u->utf8_cn_jp_title_lang = TitleVote(*u, true);
}

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
