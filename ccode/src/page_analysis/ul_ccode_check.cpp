// Older text code checks.
#include "ul_ccode_check.h"

#include <ctype.h>
#include <limits.h>
#include <stdint.h>
#include <string.h>
#include <strings.h>

#include <algorithm>

#include "ul_big5_gbk.h"
#include "ul_ccode_class.h"
#include "ul_ccode_data.h"
#include "ul_ccode_info.h"
#include "ul_ccode_load.h"
#include "ul_ccode_next.h"
#include "ul_ccode_type.h"
#include "ul_charset_detect.h"
#include "ul_gbk.h"

namespace {

inline bool In(unsigned b, unsigned lo, unsigned hi) { return b >= lo && b <= hi; }
inline const unsigned char* U(const char* s) { return reinterpret_cast<const unsigned char*>(s); }

constexpr int kCopyChars = 1020;      // visible characters searched for a charset
constexpr int kPairBytes = 256;       // bytes of pairs weighed
constexpr int kUtf8GbkBytes = 260;    // the pairs read as UTF-8, converted to GBK
constexpr int kCharsetValue = 20;     // characters of a declared charset
constexpr int kContentBytes = 32763;  // content converted to GBI, with its NUL
constexpr size_t kUrlBytes = 1024;    // URL bytes the host is taken from
constexpr size_t kLabelChars = 8;     // characters of the host's last label
constexpr int kNoCharset = INT_MIN;   // no charset declared (-1: one not known)
// The blog-hosting domain whose pages say little by their host.
constexpr char kBlogHostingDomain[] = "blog.sina.com.cn";

// Membership of a 4-byte key (first byte lowest) in a bigram set.
int find_word(const ccode_bigramset_t& set, unsigned int key) { return set.count(key) != 0 ? 1 : 0; }
inline uint16_t PairKey(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// The declared charset of the lower-cased copy: kNoCharset, -1, 0, 1, 2, or
// 3 for a Japanese or Korean one. *utf is set when the value names UTF.
int DeclaredCharset(const char* copy, bool* utf) {
  const size_t len = strlen(copy);
  for (const char* key = strstr(copy, "charset"); key != nullptr; key = strstr(key + 1, "charset")) {
    const size_t v = static_cast<size_t>(key - copy) + 7;
    size_t eq = v;
    while (eq < len && eq - v <= 12 && copy[eq] != '=') ++eq;
    if (eq >= len || eq - v > 12) continue;
    size_t start = eq;
    while (start < len && start - v <= 14 && !In(static_cast<unsigned char>(copy[start]), 'a', 'z')) ++start;
    if (start >= len || start - v > 14) continue;
    char value[kCharsetValue + 1];
    size_t n = 0;
    while (n < kCharsetValue && start + n < len && copy[start + n] != '"' && copy[start + n] != ' ' &&
           copy[start + n] != '>') {
      value[n] = copy[start + n];
      ++n;
    }
    value[n] = '\0';
    if (n == 0) continue;
    if (strstr(value, "utf") != nullptr) *utf = true;
    if (strstr(value, "gb") != nullptr) return 1;
    if (strstr(value, "big") != nullptr) return 2;
    if (strstr(value, "iso") != nullptr) return 0;
    if (strstr(value, "autocht") != nullptr) return 2;
    if (strstr(value, "jis") != nullptr || strstr(value, "euc-kr") != nullptr || strstr(value, "euc-jp") != nullptr) {
      return 3;
    }
    return -1;
  }
  return kNoCharset;
}

// The GBI form of len pair bytes through a conversion (a cleared buffer
// when the grid is missing) and how many of its pairs are GB2312 hanzi.
int ToGbi(const unsigned char* grid, int (*convert)(const unsigned char*, unsigned char*, int),
          const unsigned char* pairs, int len, unsigned char* gbi, int* hanzi) {
  memset(gbi, 0, kPairBytes + 1);
  *hanzi = 0;
  if (grid == nullptr || convert(pairs, gbi, len) < 0) {
    memset(gbi, 0, kPairBytes + 1);
    return 0;
  }
  for (int i = 0; i + 1 < len; i += 2) *hanzi += is_gb(gbi + i);
  return check_bigram(l_setWords, reinterpret_cast<const char*>(gbi), len);
}

}  // namespace

int ul_ccode_check_notetype(char* pstr, int* out_type) {
  auto rule = [&](int r, int result) {
    if (out_type != nullptr) *out_type = r;
    return result;
  };
  if (pstr == nullptr || pstr[0] == '\0') return rule(1, -1);

  // The visible characters, lower-cased.
  char copy[kCopyChars + 1];
  int k = 0;
  for (const unsigned char* p = U(pstr); *p != 0 && k < kCopyChars; ++p) {
    if (*p > 0x20) copy[k++] = static_cast<char>(In(*p, 'A', 'Z') ? *p - 'A' + 'a' : *p);
  }
  copy[k] = '\0';
  if (strncmp(copy, "vti_encoding", 12) == 0) return rule(2, -1);
  bool utf = false;
  const int declared = DeclaredCharset(copy, &utf);
  if (declared == 3) return rule(3, -1);

  // The double-byte pairs of the text.
  unsigned char pairs[kPairBytes + 1];
  int bytes = 0, count = 0, real = 0;
  unsigned prev = 0;
  const unsigned char* p = U(pstr);
  while (p[0] != 0 && p[1] != 0 && bytes < kPairBytes) {
    if (p[0] < 0x80) {
      ++p;
    } else if (p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
      p += 3;
    } else {
      const unsigned pair = p[0] << 8 | p[1];
      real += pair != prev;
      prev = pair;
      pairs[bytes++] = p[0];
      pairs[bytes++] = p[1];
      ++count;
      p += 2;
    }
  }
  pairs[bytes] = 0;
  const long walked = p - U(pstr);
  if (count == 0) return rule(4, 0);

  // Bigram evidence after conversion to GBI from either side.
  unsigned char gbi[kPairBytes + 1];
  int cg, cb;
  const int hg = ToGbi(gbk_gbi_map, ul_gbk_gbi_str, pairs, bytes, gbi, &cg);
  const int hb = ToGbi(big5_gbi_map, ul_big5_gbi_str, pairs, bytes, gbi, &cb);
  int code = 0, margin = 0;
  if (hg * 2 >= real || (hb + 1 <= hg && (hg * 5 > cg || hg >= 11))) {
    code = 1;
    margin = (hg - hb) * 100 / hg;
  } else if (!(hb * 2 < real && (hg + 1 > hb || (hb * 5 <= cb && hb < 11)))) {
    code = 2;
    margin = (hb - hg) * 100 / hb;
  }
  if (margin >= 55) return rule(5, code);

  const int u = l_detect.utf8_probability(pairs, bytes);
  if (u >= 95) {
    char gbk[kUtf8GbkBytes];
    if (ul_utf8_to_gbk(gbk, sizeof(gbk), reinterpret_cast<const char*>(pairs)) >= 0 && is_gbk_str(gbk)) {
      return rule(6, 3);
    }
  } else if (u < 0) {
    return rule(7, -1);
  }

  double ratio = 0.0;
  if (hg > 0 && hg >= hb) {
    ratio = static_cast<double>(hg) / cg;  // cg may be 0: bigrams of non-hanzi pairs
  } else if (hb > 0 && hb > hg) {
    ratio = static_cast<double>(hb) / cb;
  }
  if (ratio < 0.025 && declared != 1 && declared != 2) return rule(hg >= hb ? 8 : 9, -1);

  if (count < 11 && count * 300 <= walked) return rule(10, 0);
  if (count < 201 && count * 500 <= walked && walked >= 5000) return rule(20, 0);
  if (u == 0 && utf && count <= 200 && count * 150 <= walked && walked >= 5000) return rule(21, 3);

  int confidence = 0;
  const int g = l_detect.guess(pairs, confidence);
  if (g != -1) {
    const int hanzi = std::min(g == 1 ? cg : cb, 20);
    if (hanzi > 4 && hanzi + confidence > 75) return rule(12, g);
    if (declared != kNoCharset) return rule(13, declared);
    const int krjp = check_bigram(l_setKrjp, reinterpret_cast<const char*>(pairs), bytes);
    if (krjp > 1 && (krjp > hg || krjp > hb)) return rule(14, -1);
    if (confidence >= 45) return rule(15, g);
    if (hg <= 0 && hb <= 0 && (cg > 3 || cb >= 4)) return rule(16, -1);
    if (ratio < 0.1 && hg <= 3 && hb <= 3 && real >= 41) return rule(17, -1);
    if (hg < hb) return rule(19, 2);
    return rule(18, 1);
  }
  if (declared == 0 && count < 201 && count * 100 <= walked && walked >= 5000) return rule(22, 0);
  return rule(11, -1);
}

int ul_ccode_check(char* pstr) { return ul_ccode_check_notetype(pstr, nullptr); }

int ul_ccode_check_realtext(const char* pstr) {
  if (pstr == nullptr || pstr[0] == '\0') return 0;
  int singles = 0, doubles = 0;
  bool remembered = false, real = false;
  for (const unsigned char* p = U(pstr); *p != 0;) {
    if (*p >= 0x80) {
      if (p[1] == 0) break;
      ++doubles;
      const bool known = l_setHanzi.count(PairKey(p)) != 0;
      if (known && remembered) {
        real = true;
        break;
      }
      remembered = known;
      p += 2;
    } else {
      ++singles;
      ++p;
      remembered = remembered && *p == ' ';
    }
  }
  const int weight = singles + 5 * doubles;
  const double ratio = weight == 0 ? 0.0 : static_cast<double>(singles) / weight;
  if (ratio >= 0.8 && !real) return 0;
  return ul_ccode_check(const_cast<char*>(pstr));
}

int gbk2gbi(const char* szSrc, char* szDes, int buff_size) {
  if (szSrc == nullptr || szDes == nullptr || buff_size < 1 || szSrc[0] == '\0' || gbk_gbi_map == nullptr) return -1;
  int w = 0;
  for (const unsigned char* p = U(szSrc); *p != 0;) {
    if (is_gbk(p)) {
      if (w + 3 > buff_size) break;
      const unsigned char* cell = gbk_gbi_map + 2 * ((p[0] - kGbkFirstLead) * kGbkCells + (p[1] - 0x40));
      // A pair without a cell is copied: two NUL bytes would cut the text.
      const unsigned char* out = cell[0] != 0 ? cell : p;
      szDes[w++] = static_cast<char>(out[0]);
      szDes[w++] = static_cast<char>(out[1]);
      p += 2;
    } else {
      if (w + 2 > buff_size) break;
      szDes[w++] = static_cast<char>(*p++);
    }
  }
  szDes[w] = '\0';
  return w;
}

int is_english_url(const char* url) {
  if (url == nullptr) return 1;
  int high = 0;
  for (const unsigned char* p = U(url); *p != 0 && *p != '?'; ++p) high += *p >= 0x80;
  return high < 4 ? 1 : 0;
}

void get_str_info(const char* str, int* ascii_num, int* no_ascii_num) {
  int ascii = 0, pairs = 0;
  for (const unsigned char* p = U(str); p != nullptr && *p != 0;) {
    if (*p < 0x80) {
      ++ascii;
      ++p;
    } else {
      if (p[1] == 0) break;
      ++pairs;
      p += 2;
    }
  }
  if (ascii_num != nullptr) *ascii_num = ascii;
  if (no_ascii_num != nullptr) *no_ascii_num = pairs;
}

int is_ascii_title(const char* title) {
  if (title == nullptr || title[0] == '\0') return 0;
  int ascii = 0, pairs = 0;
  get_str_info(title, &ascii, &pairs);
  return pairs == 0 || pairs * 4 < ascii ? 1 : 0;
}

namespace {

// The counts of the content check over one text.
struct ContentCounts {
  int g = 1;  // GB2312 level-1 hanzi (from 1: also a guard of the ratios)
  int f = 0;  // kana, Greek, Cyrillic and pinyin rows
  int o = 0;  // other pairs
  int a = 0;  // ASCII bytes below 0x20 or above 0x40

  void Add(const char* text) {
    for (const unsigned char* p = U(text); p != nullptr && *p != 0;) {
      if (*p < 0x80) {
        a += *p < 0x20 || *p > 0x40;
        ++p;
        continue;
      }
      if (p[1] == 0) break;
      if (In(p[0], 0xB0, 0xD7) && In(p[1], 0xA1, 0xFE)) {
        ++g;
      } else if (In(p[0], 0xA4, 0xA8) && In(p[1], 0xA1, 0xFE)) {
        ++f;
      } else {
        ++o;
      }
      p += 2;
    }
  }
};

struct HostFlags {
  bool chinese_domain = false, jp_kr = false, blog = false;
};

HostFlags ReadHost(const char* url) {
  char host[kUrlBytes + 1];
  size_t n = strnlen(url, kUrlBytes);
  const char* start = url;
  if (n >= 7 && strncasecmp(url, "http://", 7) == 0) {
    start += 7;
    n -= 7;
  }
  size_t len = 0;
  while (len < n && start[len] != '/') {
    host[len] = start[len];
    ++len;
  }
  host[len] = '\0';
  if (char* colon = strrchr(host, ':')) *colon = '\0';
  HostFlags flags;
  const char* dot = strrchr(host, '.');
  char label[kLabelChars + 1];
  const char* last = dot != nullptr ? dot + 1 : host;
  const size_t label_len = strnlen(last, kLabelChars);
  memcpy(label, last, label_len);
  label[label_len] = '\0';
  for (const char* tld : {"com", "cn", "net", "org", "tw", "hk", "cc", "info"}) {
    if (strncasecmp(label, tld, strlen(tld)) == 0) flags.chinese_domain = true;
  }
  if (isdigit(static_cast<unsigned char>(label[0]))) flags.chinese_domain = true;
  if (!flags.chinese_domain && (strncasecmp(label, "jp", 2) == 0 || strncasecmp(label, "kr", 2) == 0)) {
    flags.jp_kr = true;
  }
  const char* first_dot = strchr(host, '.');
  flags.blog = first_dot != nullptr && strcasecmp(first_dot + 1, kBlogHostingDomain) == 0;
  return flags;
}

}  // namespace

int ul_ccode_check_content_notetype(const char* pTitle, const char* pContentSrc, const char* pUrl, int old_codetype,
                                    int* out_type) {
  auto rule = [&](int r, int result) {
    if (out_type != nullptr) *out_type = r;
    return result;
  };
  if (pUrl == nullptr || pUrl[0] == '\0') return rule(101, -1);
  char converted[kContentBytes];
  const int length = gbk2gbi(pContentSrc == nullptr ? "" : pContentSrc, converted, kContentBytes);
  if (length <= 99) return rule(102, old_codetype);
  const HostFlags host = ReadHost(pUrl);

  ContentCounts c;
  c.Add(pTitle);
  c.Add(converted);
  c.g -= c.f;
  const int total = c.a / 5 + c.g + c.f + c.o;
  const int chinese_pct = c.g * 100 / total;
  bool chinese = chinese_pct > 54 || (chinese_pct >= 30 && c.g >= 40);
  if (!chinese && host.chinese_domain) {
    chinese = (chinese_pct >= 40 && c.g > 9) || (chinese_pct > 9 && c.g > 19 && c.f < 21 && !host.blog) ||
              (chinese_pct >= 3 && c.g >= 150 && c.f <= 20);
  }
  const int english_pct = (c.a * 100 / 5) / total;
  const bool english = !chinese && (english_pct >= 98 || (english_pct >= 91 && c.f == 0) ||
                                    (c.g < 1 && (c.o + c.f) * 50 <= c.a && is_english_url(pUrl)));

  switch (old_codetype) {
    case -1: {
      const int ascii_pct = c.a * 100 / length;
      if (ascii_pct >= 97 || (ascii_pct > 69 && is_ascii_title(pTitle))) return rule(106, 0);
      if (chinese && c.f <= 10 && c.g > 99 && 2.0 * c.g >= 0.65 * length && !host.jp_kr &&
          check_bigram(l_setWords, converted, length) > 9) {
        return rule(109, 1);
      }
      return rule(107, -1);
    }
    case 0:
      return chinese ? rule(103, 1) : rule(107, 0);
    case 1:
    case 2:
      return chinese ? rule(107, old_codetype) : rule(104, 0);
    case 3:
      if (english) return rule(108, 0);
      if (chinese) return rule(107, 3);
      if (c.o + c.f > 1 || c.g <= 9) return rule(105, -1);
      return c.g * 100 >= c.a * 8 ? rule(107, 3) : rule(105, -1);
    default:
      return rule(107, old_codetype);
  }
}

int ul_ccode_check_content(const char* pTitle, const char* pContentSrc, const char* pUrl, int old_codetype) {
  return ul_ccode_check_content_notetype(pTitle, pContentSrc, pUrl, old_codetype, nullptr);
}

double ul_ccode_gb_messy(char* strIn, int szIn) {
  if (strIn == nullptr || szIn <= 0) return -1.0;
  int total = 0, known = 0, unknown = 0, bad = 0, questions = 0, bigrams = 0, punct = 0;
  for (int i = 0; i < szIn && strIn[i] != '\0';) {
    const char* c = strIn + i;
    const int n = ul_ccode_nextn_gb18030(c, szIn - i);
    if (n == 0) {
      ++total;
      ++bad;
      ++i;
      continue;
    }
    const unsigned char b0 = static_cast<unsigned char>(c[0]);
    if (n == 2 && ul_ccode_is_single_cnchar(c, CODETYPE_GB)) {
      ++total;
      if (l_setHanzi.count(PairKey(U(c))) != 0) {
        ++known;
      } else {
        ++unknown;
      }
      if (ul_ccode_nextn_gb18030(c + 2, szIn - i - 2) == 2) {
        const unsigned char* b = U(c);
        bigrams += find_word(l_setWords, b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24);
      }
    } else if (n == 2) {
      if (In(b0, 0xA3, 0xA8)) {
        ++total;
      } else {
        ++punct;
      }
    } else if (n == 4) {
      ++known;
      ++total;
    } else if (ispunct(b0) || isspace(b0)) {
      if (b0 == '?') {
        ++questions;
        ++total;
      } else {
        ++punct;
      }
    } else {
      ++total;
    }
    i += n;
  }
  double score = total > 0 ? (questions + 2.0 * unknown + 3.0 * bad - 0.1 * known - bigrams) / total : 0.0;
  if (total <= 5) score *= 0.05 * total;
  return score;
}
