// The page-statistics record: its reset, the character predicates of the
// double-byte code types, numeric references and the UTF-8 classes of a text
// or a title. The passes over a page are in ul_ccode_info_pass.cpp.
#include "ul_ccode_info.h"

#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>


#include "toolkit/errno_keeper.h"
#include "ul_ccode_data.h"
#include "ul_ccode_info_parts.h"
#include "ul_ccode_pagetables.h"
#include "ul_ccode_next.h"
#include "ul_gbk.h"
#include "ul_utf8_encode.h"

namespace {

constexpr int kUtf8ClassBytes = 32768;  // text bytes the UTF-8 classes read

inline bool In(unsigned v, unsigned lo, unsigned hi) { return v >= lo && v <= hi; }
inline bool Cont(unsigned b) { return In(b, 0x80, 0xBF); }

// A set key of a pair: first byte low.
inline uint16_t SetKey(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
// The set holds the pair at p; its copy made at load, when there is one,
// answers as the set does, faster.
inline bool InSet(const ccode_charset_t& set, const unsigned char* p) {
  const CcodePairBits* copy = ccode_pair_copy(set);
  return copy != nullptr ? (*copy)[SetKey(p)] : set.count(SetKey(p)) != 0;
}

// The GBK pair of a code point below 0x10000 (a blank when it has none).
struct GbkChar {
  char bytes[3];
  explicit GbkChar(unsigned cp) { unicode_to_gbk_word(bytes, static_cast<uint16_t>(cp)); }
  const unsigned char* pair() const { return reinterpret_cast<const unsigned char*>(bytes); }
  bool two() const { return bytes[1] != '\0'; }
};

// The title vote: 3 Japanese, 2 traditional, 1 simplified Chinese, else the
// vote u holds. In the GB18030 form (gb) simplified and traditional Chinese
// each need more than three characters of their own, and simplified a
// strict lead over traditional.
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
  long v;
  bool overflow;
  {
    toolkit::ErrnoKeeper keep;  // the caller's errno survives strtol's
    errno = 0;
    v = strtol(digits, &end, hex ? 16 : 10);
    overflow = errno == ERANGE;
  }
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
