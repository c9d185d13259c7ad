// Query code-type detection: byte classes, character frequency statistics
// and the decision rules; the UCS-2 to GBK query conversion.
#include <string.h>

#include <algorithm>
#include <memory>
#include <string>

#include "ul_big5_gbk.h"
#include "ul_ccode_querydetect.h"
#include "ul_ccode_type.h"
#include "ul_gbk.h"
#include "ul_log.h"
#include "ul_query_data.h"

namespace {

constexpr int kRecorded = 1024;  // hit frequencies kept for the spread
constexpr int kGbiBound = 50000; // a GBI form rarer than this: use the pair itself

enum { kExpectLead = 0, kExpectTrail = 1 };

int Rule(int rule, int code, int* out) {
  *out = code;
  return rule;
}

// Frequency figures of one reading.
struct Reading {
  int wnum = 0;        // characters found
  long long freq = 0;  // sum of their frequencies
  int minfreq = 2147483647;
  int uhnum = 0;       // characters not found
  int lowfreqnum = 0, lowseqlen = 0, run = 0;
  int recorded[kRecorded];

  // Counts the look-up answer v (a hit only when above 0).
  void Count(int v) {
    if (v > 0) {
      if (wnum < kRecorded) recorded[wnum] = v;
      ++wnum;
      freq += v;
      minfreq = std::min(minfreq, v);
    } else {
      ++uhnum;
    }
    if (v >= LOW_FREQ_BOUND) {
      lowseqlen = std::max(lowseqlen, run);
      run = 0;
    } else {
      ++lowfreqnum;
      ++run;
    }
  }
  void Finish() { lowseqlen = std::max(lowseqlen, run); }
  float Average() const {
    const int n = wnum + uhnum;
    return n == 0 ? 0.0f : static_cast<float>(freq) / static_cast<float>(n);
  }
};

int Leading(unsigned char b) {
  int n = 0;
  while (n < 8 && (b & (0x80 >> n)) != 0) ++n;
  return n;
}

int DoubleByteClass(unsigned char b, int* state, unsigned char lead_lo, unsigned char trail_lo) {
  if (*state == kExpectTrail) {
    *state = kExpectLead;
    return b >= trail_lo && b <= 0xFE ? CBF_OKSEC : CBF_ERRSEC;
  }
  if (b < 0x80) return CBF_ASCII;
  if (b >= lead_lo && b <= 0xFE) {
    *state = kExpectTrail;
    return CBF_OKFIRST;
  }
  return CBF_ERRFIRST;
}

// Counting of the GBK and GB2312 classes: ok / err and the lead mark.
void CountDoubleByte(int cls, bool* mark, int* ok, int* err) {
  switch (cls) {
    case CBF_OKFIRST:
      *mark = true;
      break;
    case CBF_OKSEC:
      ++*(*mark ? ok : err);
      *mark = false;
      break;
    case CBF_ERRSEC:
    case CBF_INVALIDBYTE:
      ++*err;
      *mark = false;
      break;
    default:
      break;
  }
}

}  // namespace

const unsigned char utf8wordlen[256] = {
#define R16(v) v, v, v, v, v, v, v, v, v, v, v, v, v, v, v, v
    R16(1), R16(1), R16(1), R16(1), R16(1), R16(1), R16(1), R16(1),  // 00..7F
    R16(0), R16(0), R16(0), R16(0),                                  // 80..BF
    R16(2), R16(2),                                                  // C0..DF
    R16(3),                                                          // E0..EF
    4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 5, 6, 6, 0, 0                  // F0..FF
#undef R16
};

void ccode_query_info_reset(_ccode_query_info_t* info) {
  *info = _ccode_query_info_t();
  info->gbkminfreq = info->utf8minfreq = info->ucs2gbkminfreq = 2147483647;
}

int is_ok_gbk_byte(unsigned char b, int* state) { return DoubleByteClass(b, state, 0x81, 0x40); }

int is_ok_gb2312_byte(unsigned char b, int* state) { return DoubleByteClass(b, state, 0xA1, 0xA1); }

int is_ok_utf_byte(unsigned char b, int* pos, int* len) {
  if (*pos == 0) {
    if (b < 0x80) return CBF_ASCII;
    *len = Leading(b);
    *pos = 1;
    return b >= 0xC0 && b <= 0xFD ? CBF_OKFIRST : CBF_ERRFIRST;
  }
  if (*pos < *len) {
    ++*pos;
    return b >= 0x80 && b <= 0xBF ? CBF_OKOTHER : CBF_ERROTHER;
  }
  *pos = *len = 0;
  return CBF_INVALIDBYTE;
}

int check_charsetv2(_ccode_query_info_t* info) {
  if (info->query_len < 1) return -1;
  int gbk_state = kExpectLead, gb2312_state = kExpectLead;
  bool gbk_mark = false, gb2312_mark = false;
  int pos = 0, len = 0, good = 0;
  const unsigned char* q = reinterpret_cast<const unsigned char*>(info->query);
  for (int i = 0; i < info->query_len && q[i] != '\0'; ++i) {
    const unsigned char b = q[i];
    const int gbk = is_ok_gbk_byte(b, &gbk_state);
    CountDoubleByte(gbk, &gbk_mark, &info->gbkoknum, &info->gbkerrnum);
    if (gbk == CBF_ASCII && b < 0x20 && b != '\r' && b != '\n') ++info->unseenum;
    CountDoubleByte(is_ok_gb2312_byte(b, &gb2312_state), &gb2312_mark, &info->gb2312oknum, &info->gb2312errnum);
    switch (is_ok_utf_byte(b, &pos, &len)) {
      case CBF_INVALIDBYTE:
        ++info->utferrnum;
        good = 0;
        break;
      case CBF_OKFIRST:
        good = 1;
        break;
      case CBF_OKOTHER:
        ++good;
        if (pos == len) {
          if (good < len) {
            ++info->utferrnum;
          } else {
            ++info->utfoknum;
            if (len == 3) ++info->utfall3byte;
          }
          pos = len = good = 0;
        }
        break;
      case CBF_ERROTHER:
        if (pos == len) {
          ++info->utferrnum;
          pos = len = good = 0;
        }
        break;
      default:
        break;
    }
  }
  return 1;
}

int search_sdict_value(const QueryDict* dict, const std::string& key) {
  if (dict == nullptr || key.empty()) return -1;
  int v;
  return dict->get(key, &v) == ccode::CCODE_HASH_EXIST ? v : -2;
}

float CalculateDivDiff(const int* freqs, int n, long long sum) {
  if (n < 1 || sum <= 0 || freqs == nullptr) return 0;
  const float mean = static_cast<float>(sum) / static_cast<float>(n);
  float total = 0;
  for (int i = 0; i < std::min(n, kRecorded); ++i) {
    const float d = mean - static_cast<float>(freqs[i]);
    total += d * d;
  }
  return total / static_cast<float>(n);
}

int JudgeGBKorUTF8(const char* query, int len, _ccode_query_info_t* info, const _WordUnigramStat_t* stat) {
  if (query == nullptr || query[0] == '\0' || len < 1) return -1;
  if (stat == nullptr || stat->gbkdict == nullptr || stat->utf8dict == nullptr) {
    ul_writelog(UL_LOG_FATAL, "invalid dict, please check if dict initialized, in %s ", "JudgeGBKorUTF8");
    return -1;
  }
  const unsigned char* q = reinterpret_cast<const unsigned char*>(query);
  std::string key;
  // GBK reading. A lead byte whose trail would be the NUL ends the walk as a
  // half character.
  Reading gbk;
  for (int i = 0; q[i] != '\0';) {
    if (q[i] < 0x80) {
      ++i;
      continue;
    }
    if (i >= len - 1 || q[i + 1] == '\0') {
      info->gbkishf = 1;
      break;
    }
    key.assign(query + i, 2);
    int v;
    if (q[i] >= 0xA1 && q[i] <= 0xF7 && q[i + 1] >= 0xA1 && q[i + 1] <= 0xFE) {
      v = search_sdict_value(stat->gbkdict, key);
    } else {
      unsigned char gbi[3] = {0, 0, 0};
      v = ul_gbk_gbi_str(q + i, gbi, 2) < 0 ? -2
                                            : search_sdict_value(stat->gbkdict,
                                                                 std::string(reinterpret_cast<char*>(gbi), 2));
      if (v < kGbiBound) v = search_sdict_value(stat->gbkdict, key);
    }
    gbk.Count(v);
    i += 2;
  }
  gbk.Finish();
  // UTF-8 reading. A character holding the NUL ends the walk likewise.
  Reading utf8;
  for (int i = 0; q[i] != '\0';) {
    if (q[i] < 0x80) {
      ++i;
      continue;
    }
    if (i >= len - 1) {
      info->utf8ishf = 1;
      break;
    }
    const int n = utf8wordlen[q[i]];
    if (memchr(q + i, '\0', static_cast<size_t>(n)) != nullptr) {
      info->utf8ishf = 1;
      break;
    }
    key.assign(query + i, static_cast<size_t>(n));
    utf8.Count(search_sdict_value(stat->utf8dict, key));
    i += n == 0 ? 1 : i + n > len ? static_cast<int>(strlen(query + i)) : n;
  }
  utf8.Finish();
  // UCS-2 reading, when both readings missed characters or control bytes
  // were seen. The query is read up to its NUL only.
  Reading ucs2;
  if ((gbk.uhnum > 0 && utf8.uhnum > 0) || info->unseenum > 0) {
    std::unique_ptr<char[]> text(new char[QUERY_MAX_LEN]);
    const int srclen = static_cast<int>(strnlen(query, static_cast<size_t>(len)));
    if (ConvUCS2Query2GBK(query, srclen, text.get(), QUERY_MAX_LEN) >= 0) {
      const unsigned char* g = reinterpret_cast<const unsigned char*>(text.get());
      for (int i = 0; g[i] != '\0';) {
        if (g[i] < 0x80) {
          if (g[i] == ' ') ++ucs2.uhnum;
          ++i;
          continue;
        }
        if (g[i + 1] == '\0') {
          info->us2gbkishf = 1;
          break;
        }
        key.assign(text.get() + i, 2);
        const int v = search_sdict_value(stat->gbkdict, key);
        if (v > 0) {
          ++ucs2.wnum;
          ucs2.freq += v;
          ucs2.minfreq = std::min(ucs2.minfreq, v);
        } else {
          ++ucs2.uhnum;
        }
        i += 2;
      }
    }
  }
  info->gbkwnum = gbk.wnum;
  info->gbkfreq = gbk.freq;
  info->gbkminfreq = gbk.minfreq;
  info->gbkuhnum = gbk.uhnum;
  info->gbklowfreqnum = gbk.lowfreqnum;
  info->gbklowseqlen = gbk.lowseqlen;
  info->utf8wnum = utf8.wnum;
  info->utf8freq = utf8.freq;
  info->utf8minfreq = utf8.minfreq;
  info->utf8uhnum = utf8.uhnum;
  info->utf8lowfreqnum = utf8.lowfreqnum;
  info->utf8lowseqlen = utf8.lowseqlen;
  info->us2gbkwnum = ucs2.wnum;
  info->ucs2gbkfreq = ucs2.freq;
  info->ucs2gbkminfreq = ucs2.minfreq;
  info->us2gbkunhum = ucs2.uhnum;
  info->avegbkfreq = gbk.Average();
  info->gbkdiv = CalculateDivDiff(gbk.recorded, gbk.wnum, gbk.freq);
  info->aveutf8freq = utf8.Average();
  info->utf8div = CalculateDivDiff(utf8.recorded, utf8.wnum, utf8.freq);
  info->ucs2avefreq = ucs2.Average();
  return 1;
}

int query_detect_rule(const _ccode_query_info_t* s, int* code) {
  // 1: plain ASCII text.
  if (s->utfoknum < 1 && s->utferrnum < 1 && s->gbkoknum < 1 && s->gbkerrnum < 1 && s->gb2312errnum < 1 &&
      s->gb2312oknum < 1 && s->unseenum < 1) {
    return Rule(1, CODETYPE_GB, code);
  }
  if (s->query_len == 2 && s->gbkerrnum == 0 && s->gbkoknum == 1 && s->gbkishf == 0) return Rule(2, CODETYPE_GB, code);
  if (s->us2gbkwnum > 0 && s->us2gbkunhum < 1 && s->us2gbkishf == 0 && s->ucs2avefreq > 5.0 * s->avegbkfreq &&
      s->ucs2avefreq > 5.0 * s->aveutf8freq) {
    return Rule(3, CODETYPE_UCS2, code);
  }
  if (s->gbkwnum < 1 && s->gbkuhnum < 1) return Rule(4, CODETYPE_UTF8, code);
  if (s->utfoknum == 0 && s->utferrnum > 0) return Rule(5, CODETYPE_GB, code);
  if (s->utfall3byte > 0 && s->utfoknum == s->utfall3byte && s->utf8ishf == 0) {
    if (s->utf8lowfreqnum < 1) {
      if (s->gbklowseqlen > 1) return Rule(6, CODETYPE_UTF8, code);
      if (s->gbklowfreqnum > 1 && 2 * s->gbklowfreqnum >= s->gbkoknum) return Rule(6, CODETYPE_UTF8, code);
      if (s->gbklowfreqnum == 1 && s->gbkerrnum > 0) return Rule(6, CODETYPE_UTF8, code);
    } else if (s->gbklowfreqnum >= 3 * s->utf8lowfreqnum) {
      return Rule(6, CODETYPE_UTF8, code);
    }
    if (s->gbkoknum == 1 && s->gbkishf != 0) return Rule(6, CODETYPE_UTF8, code);
  }
  if (s->gbklowfreqnum < 1) {
    if (s->utf8lowfreqnum > 1 || s->utf8ishf != 0) return Rule(7, CODETYPE_GB, code);
  } else if (s->utf8lowfreqnum > 4 * s->gbklowfreqnum) {
    return Rule(7, CODETYPE_GB, code);
  }
  if (s->gbkoknum > 1) {
    if (s->gbkdiv >= 7.0 * s->utf8div && s->aveutf8freq > 50000.0 && s->aveutf8freq > 10.0 * s->avegbkfreq) {
      return Rule(8, CODETYPE_UTF8, code);
    }
  } else if (s->aveutf8freq > 10000.0 && s->aveutf8freq > 10.0 * s->avegbkfreq) {
    return Rule(8, CODETYPE_UTF8, code);
  }
  if (s->utfoknum > 1) {
    if (s->utf8div >= 7.0 * s->gbkdiv && s->avegbkfreq > 50000.0 && s->avegbkfreq > 10.0 * s->aveutf8freq) {
      return Rule(9, CODETYPE_GB, code);
    }
  } else if (s->avegbkfreq > 10000.0 && s->avegbkfreq > 10.0 * s->aveutf8freq) {
    return Rule(9, CODETYPE_GB, code);
  }
  if (s->utferrnum < 1 && s->utfoknum > 0 && s->utfall3byte == s->utfoknum && s->utf8ishf < 1 &&
      s->utf8uhnum == 0) {
    return Rule(10, CODETYPE_UTF8, code);
  }
  if (s->gbkerrnum == 0 && (s->utferrnum > 0 || s->utf8ishf > 0)) return Rule(11, CODETYPE_GB, code);
  if (s->gbkerrnum > 0 && s->utferrnum == 0) return Rule(12, CODETYPE_UTF8, code);
  if (s->utfoknum > 3 && s->utfall3byte > 3 &&
      static_cast<double>(s->utfall3byte) > 0.6 * static_cast<double>(s->utfoknum)) {
    return Rule(13, CODETYPE_UTF8, code);
  }
  if (s->gbkwnum > 2 && s->gbkuhnum < 2 && s->utf8wnum < 2 && s->utf8uhnum > 0) return Rule(14, CODETYPE_GB, code);
  return Rule(15, s->avegbkfreq > s->aveutf8freq ? CODETYPE_GB : CODETYPE_UTF8, code);
}

int query_detect(const _ccode_query_info_t* s) {
  int code = CODETYPE_GB;
  query_detect_rule(s, &code);
  return code;
}

int ConvUTS2UTF8_str(const unsigned char* units, int count, char* dst, int dstlen) {
  if (units == nullptr || dst == nullptr || dstlen < 2) return -1;
  int n = 0;
  for (int i = 0; i < count && n + 3 < dstlen; ++i) {
    const unsigned int u = static_cast<unsigned int>(units[2 * i]) << 8 | units[2 * i + 1];
    dst[n++] = static_cast<char>(0xE0 | (u >> 12));
    dst[n++] = static_cast<char>(0x80 | ((u >> 6) & 0x3F));
    dst[n++] = static_cast<char>(0x80 | (u & 0x3F));
  }
  dst[n] = '\0';
  return n;
}

int ConvUCS2Query2GBK(const char* src, int srclen, char* dst, int dstlen) {
  if (src == nullptr || dst == nullptr || dstlen < 2 || srclen < 0 || srclen % 2 != 0) return -1;
  // The swapped copy (high byte first), stopping at a pair that starts at
  // dstlen - 3 or later.
  int copied = 0;
  for (; copied + 1 < srclen && copied < dstlen - 3; copied += 2) {
    dst[copied] = src[copied + 1];
    dst[copied + 1] = src[copied];
  }
  dst[copied] = '\0';
  std::unique_ptr<char[]> work(new char[QUERY_MAX_LEN]);
  if (ConvUTS2UTF8_str(reinterpret_cast<const unsigned char*>(dst), copied / 2, work.get(), QUERY_MAX_LEN) < 0) {
    return -1;
  }
  return ul_utf8_to_gbk(dst, dstlen, work.get());
}

int ul_ucs2_gbk_str(char* src, int srclen, char* dst, int dstlen) {
  if (src == nullptr || src[0] == '\0') {
    ul_writelog(UL_LOG_FATAL, "invalid param src[%s], in %s", src == nullptr ? "NULL" : src, "ul_ucs2_gbk_str");
    return -1;
  }
  if (dst == nullptr || dstlen < 1) {
    ul_writelog(UL_LOG_FATAL, "invalid param dst, NULL or buffer too short, in %s", "ul_ucs2_gbk_str");
    return -1;
  }
  if (srclen < 1) srclen = static_cast<int>(strlen(src));
  return ConvUCS2Query2GBK(src, srclen, dst, dstlen);
}

int ul_ucs2_gbk_str(char* src, char* dst, int dstlen) { return ul_ucs2_gbk_str(src, 0, dst, dstlen); }

int ul_ccode_query_detect(char* query, int len) {
  static const char kFunc[] = "ul_ccode_query_detect";
  if (query == nullptr) {
    ul_writelog(UL_LOG_FATAL, "invalid query [NULL] in %s", kFunc);
    return -2;
  }
  if (len < 1) len = static_cast<int>(strnlen(query, QUERY_MAX_LEN));
  if (len < 1 || len >= QUERY_MAX_LEN) {
    ul_writelog(UL_LOG_FATAL, "invalid query [%s], too short or longer than %d, in %s", query, QUERY_MAX_LEN, kFunc);
    return -2;
  }
  _ccode_query_info_t info;
  ccode_query_info_reset(&info);
  info.query = query;
  info.query_len = len;
  const QueryDict* overrides = pqueryconfig->dict;
  int code = 0;
  if (overrides != nullptr && overrides->get(std::string(query), &code) == ccode::CCODE_HASH_EXIST && code > 0) {
    ul_writelog(UL_LOG_DEBUG, "query [%s] matched in query_detect.conf, CODETYPE %d returned", query, code);
    return code;
  }
  if (check_charsetv2(&info) != 1) return -2;
  if (JudgeGBKorUTF8(query, len, &info, punistat) != 1) return -2;
  return query_detect(&info);
}

int ul_ccode_query_detect(char* query) { return ul_ccode_query_detect(query, 0); }
