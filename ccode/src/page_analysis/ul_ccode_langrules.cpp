// The language rules of each code type: for a page whose code type is
// known, its language (ccode_detect_langtype, and the _prob form that also
// names a secondary), and its languages with their confidences
// (ccode_langs_by_codetype and the confidence_for_* rules it applies). The
// code type itself is decided in ul_ccode_codetype.cpp and
// ul_ccode_langdet.cpp; the entry points are in ul_ccode_detect.cpp and
// ul_ccode_langdet.cpp.
#include "ul_ccode_langdet_parts.h"

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>

#include "ul_big5_gbk.h"
#include "ul_ccode_codetype.h"
#include "ul_ccode_confidence.h"
#include "ul_ccode_data.h"
#include "ul_ccode_detect.h"
#include "ul_ccode_feature.h"
#include "ul_ccode_iconv.h"
#include "ul_ccode_langdet.h"
#include "ul_ccode_type.h"
#include "ul_log.h"

namespace {

constexpr int kLangs = kCcodeLangConfLen;
constexpr int kSlotEnglish = 0;
constexpr int kSlotArabic = 8;
constexpr int kGbSize = 1025;  // GB18030 form of the UTF-8 content

void Invalid(const char* function) { ul_writelog(UL_LOG_FATAL, "invalid parameter in function '%s'.\n", function); }

void Unknown(int code) { ul_writelog(UL_LOG_WARNING, "unknown codetype value [%d], LANGTYPE_NONE returned\n", code); }

bool ValidLang(int l) { return l >= 0 && l < kLangs; }
template <typename... Ls>
bool OneOf(int l, Ls... ls) {
  return ((l == ls) || ...);
}

// Whole part of a / b x c in single precision (the trust arrays' splits).
int Split(int a, int b, int c) { return static_cast<int>(static_cast<float>(a) / static_cast<float>(b) * c); }
// Whole part of 100 x a / total in single precision.
int Percent(int a, int total) { return static_cast<int>(100.0f * static_cast<float>(a) / static_cast<float>(total)); }

// --- the UTF-8 rule's shared steps --------------------------------------------------

// The UTF-8 rule's first look, at references and Latin letters: 1 to go by
// the references, 0 for ENGLISH, -1 to go on to the bigrams.
int Utf8Head(const _ccode_info_t* info) {
  const int refs = info->rinfo.ref_count;
  if (refs > 20 && 200 * refs > info->page_length && 200 * refs > info->real_page_length) return 1;
  // The length factor in 64 bits: 600 x page_length overflows an int from
  // about 3.6 MB on.
  const int64_t len = info->page_length;
  const int64_t factor = len >= 128001 ? 600 * len / 128000 : 600;
  const int64_t good = info->uinfo.utf8_goodbytes;
  if (good * factor > len && 200 * static_cast<int64_t>(info->uinfo.utf8_latin_chars) <= 50 * good) return -1;
  return 0;
}

// The GBK pairs of the content and their bigram hits; false when they are
// too few to decide.
bool Utf8Bigrams(_ccode_info_t* info) {
  char gb[kGbSize];
  gb[0] = '\0';
  if (info->content_len == 0 || ul_ccode_to_gb18030(info->content, gb, sizeof(gb), CODETYPE_UTF8) < 0) gb[0] = '\0';
  char pairs[kGbSize];
  const int len = filter_non_gbk(gb, pairs, sizeof(pairs));
  if (4 * len < info->uinfo.utf8_goodbytes) return false;
  info->uinfo.utf8_jp_bigram = check_bigram(l_setGbkjp, pairs, len);
  unsigned char gbi[kGbSize];
  const bool converted = ul_gbk_gbi_str(reinterpret_cast<const unsigned char*>(pairs), gbi, len) >= 0;
  info->uinfo.utf8_cn_bigram = converted ? check_bigram(l_setWords, reinterpret_cast<const char*>(gbi), len) : 0;
  return true;
}

int JpWeight(const _utf8_info_t& u) { return 4 * u.utf8_jp_hanzi_unq + u.utf8_jp_chars + u.utf8_jp_hanzi; }
int CnWeight(const _utf8_info_t& u) { return 5 * u.utf8_cn_hanzi_unq + u.utf8_cn_simp_chars; }

// Whether the page reads as Japanese rather than Chinese.
bool Utf8JapaneseCase(const _utf8_info_t& u) {
  const int jp = JpWeight(u), cn = CnWeight(u);
  if (u.utf8_cn_bigram > 2 * u.utf8_jp_bigram || 3 * jp < 2 * cn) return false;
  return (jp > cn && 100 * u.utf8_jp_chars > 20 * jp) || 100 * u.utf8_jp_chars > 40 * u.utf8_cn_chars;
}

bool Utf8TooFewJapanese(const _ccode_info_t* info) {
  const _utf8_info_t& u = info->uinfo;
  return 300 * (u.utf8_jp_hanzi + u.utf8_jp_chars) <= 10 * info->content_len;
}

bool Utf8NotChinese(const _ccode_info_t* info) {
  const _utf8_info_t& u = info->uinfo;
  return 40 * u.utf8_cn_bigram < u.utf8_cn_chars || 300 * u.utf8_cn_chars <= 50 * info->content_len;
}

int GuessedLang(const _ccode_info_t* info) {
  return info->guess_lang >= 0 && info->guess_lang < kUnigramSlots ? langindex[info->guess_lang] : -1;
}

// The UTF-8 rule of the language detection.
void Utf8Rule(_ccode_info_t* info, int* lang_conf, int* trust, _langtype_t* lt) {
  _langtype_t prob;
  reset_langtype(&prob);
  const int sec0 = ccode_detect_langtype_prob(info, CODETYPE_UTF8, &prob, trust);
  const int l = confidence_for_utf8(info, lang_conf, langtype_for_utf8(info, trust));
  const int title = info->title_lang;
  if (!OneOf(sec0, -1, LANGTYPE_ENGLISH, LANGTYPE_SIMP_CHINESE, LANGTYPE_TRAD_CHINESE, LANGTYPE_JAPANESE) ||
      OneOf(l, LANGTYPE_RUSSIAN, LANGTYPE_KOREAN)) {
    set_main_lang(lt, l);
    return;
  }
  auto main_and = [lt](int main, int sec) {
    set_main_lang(lt, main);
    set_sec_lang(lt, sec);
  };
  const bool cjk = OneOf(l, LANGTYPE_SIMP_CHINESE, LANGTYPE_TRAD_CHINESE, LANGTYPE_JAPANESE) ||
                   OneOf(sec0, LANGTYPE_SIMP_CHINESE, LANGTYPE_TRAD_CHINESE, LANGTYPE_JAPANESE);
  const bool strong_title = OneOf(title, LANGTYPE_ARABIC, LANGTYPE_THAI, LANGTYPE_SIMP_CHINESE,
                                  LANGTYPE_TRAD_CHINESE, LANGTYPE_JAPANESE, LANGTYPE_PORTUGUESE);
  if (sec0 != -1 && cjk) {
    if (l == LANGTYPE_SIMP_CHINESE && sec0 == LANGTYPE_TRAD_CHINESE && lang_conf[LANGTYPE_TRAD_CHINESE] > 0 &&
        lang_conf[LANGTYPE_SIMP_CHINESE] - lang_conf[LANGTYPE_TRAD_CHINESE] < 26) {
      main_and(LANGTYPE_TRAD_CHINESE, LANGTYPE_SIMP_CHINESE);
      std::swap(lang_conf[LANGTYPE_SIMP_CHINESE], lang_conf[LANGTYPE_TRAD_CHINESE]);
    } else if (title != l && (OneOf(title, LANGTYPE_ARABIC, LANGTYPE_THAI) ||
                              (title == LANGTYPE_PORTUGUESE && !OneOf(l, LANGTYPE_ARABIC, LANGTYPE_THAI)))) {
      main_and(title, l);
    } else if (l == sec0 && info->max_lang == info->max_confidence_lang) {
      set_main_lang(lt, l);
      if (!OneOf(l, LANGTYPE_SIMP_CHINESE, LANGTYPE_TRAD_CHINESE)) set_sec_lang(lt, info->max_confidence_lang);
    } else {
      main_and(l, sec0);
    }
  } else if (l == -1) {
    if (strong_title) {
      set_main_lang(lt, title);
    } else {
      set_main_lang(lt, sec0 == -1 && info->max_lang == info->max_confidence_lang ? info->max_lang : sec0);
    }
  } else if (l != LANGTYPE_ENGLISH) {
    if (OneOf(l, LANGTYPE_ARABIC, LANGTYPE_THAI)) {
      set_main_lang(lt, l);
      if (title != -1) set_sec_lang(lt, title);
    } else if (!strong_title) {
      set_main_lang(lt, l);
    } else {
      main_and(title, l);
    }
  } else if (!strong_title && title != LANGTYPE_SPANISH) {
    main_and(LANGTYPE_ENGLISH, title);
  } else {
    main_and(title, LANGTYPE_ENGLISH);
  }
}

}  // namespace

// --- language records ---------------------------------------------------------------

void set_main_lang(_langtype_t* lt, int lang) {
  lt->main_lang = static_cast<int16_t>(lang);
  lt->flag |= 1;
}

void set_sec_lang(_langtype_t* lt, int lang) {
  if ((lt->flag & 1) == 0 || lt->main_lang == lang) return;
  lt->sec_lang = static_cast<int16_t>(lang);
  lt->flag |= 2;
}

void reset_langtype(_langtype_t* lt) {
  lt->main_lang = -1;
  lt->sec_lang = -1;
  lt->flag = 1;
}

// --- trust arrays -----------------------------------------------------------------

void lang_trust_for_gbk(const _ccode_info_t* info, int* trust) {
  if (trust == nullptr) return;
  const _gbk_info_t& g = info->ginfo;
  for (int i = 0; i < 4; ++i) trust[i] = -1;
  trust[4] = info->content_len;
  const int jp = g.gbk_jp_count + g.gbk_jp_hanzi + 7 * g.gbk_jp_hanzi_unq;
  const int cn = 4 * g.gbk_cn_hanzi_unq + g.gbk_simp_count;
  const int total = jp + cn + 1;
  trust[3] = Percent(jp, total);
  const int cnp = Percent(cn, total);
  const int t = 5 * g.gbk_trad_count, s = g.gbk_simp_count;
  trust[1] = Split(s, t + s + 1, cnp);
  trust[2] = Split(t, t + s + 1, cnp);
}

void lang_trust_for_utf8(const _ccode_info_t* info, int* trust) {
  if (trust == nullptr) return;
  const _utf8_info_t& u = info->uinfo;
  trust[4] = info->content_len;
  const int jpw = u.utf8_jp_chars + u.utf8_jp_hanzi + 4 * u.utf8_jp_hanzi_unq;
  const int cnw = (u.utf8_jp_chars - u.utf8_jp_hanzi_unq) / 2 + u.utf8_cn_chars + 5 * u.utf8_cn_hanzi_unq;
  const int enw = 4 * u.utf8_latin_chars + u.utf8_ascii;
  const int total = jpw + cnw + enw + 1;
  trust[3] = Percent(jpw, total);
  trust[0] = Percent(enw, total);
  const int cnp = Percent(cnw, total);
  trust[1] = Split(u.utf8_cn_simp_chars, u.utf8_cn_trad_chars + u.utf8_cn_simp_chars + 1, cnp);
  // This entry grows with the simplified characters; it is held to the
  // 0..100 of a confidence.
  trust[2] = std::clamp(Split(u.utf8_cn_simp_chars, 2 * u.utf8_cn_trad_chars + 1, cnp), 0, 100);
}

int filter_non_gbk(const char* src, char* dst, int size) {
  if (src == nullptr || dst == nullptr || size < 1) return 0;
  const unsigned char* s = reinterpret_cast<const unsigned char*>(src);
  int len = 0;
  for (size_t i = 0; s[i] != 0;) {
    if (s[i] < 0x80) {
      ++i;
    } else if (s[i + 1] != 0 && s[i + 2] != 0 && s[i + 3] != 0 && ul_is_gb18030_4bytes(s + i)) {
      i += 4;
    } else if (s[i + 1] != 0 && is_gbk(s + i)) {
      if (len + 2 > size - 1) break;
      dst[len++] = static_cast<char>(s[i]);
      dst[len++] = static_cast<char>(s[i + 1]);
      i += 2;
    } else {
      ++i;
    }
  }
  dst[len] = '\0';
  return len;
}

// --- the rules --------------------------------------------------------------------

int langtype_by_ref(_ccode_info_t* info, int*) {
  const _ref_info_t& r = info->rinfo;
  const int simp = r.ref_cn_simp_count, trad = 2 * r.ref_cn_trad_count, jp = 4 * r.ref_jp_count;
  if (simp > trad && simp > jp) return LANGTYPE_SIMP_CHINESE;
  if (trad > jp) return LANGTYPE_TRAD_CHINESE;
  if (jp > 0) return LANGTYPE_JAPANESE;
  return r.ref_latin_count + r.ref_ascii_count == r.ref_count ? LANGTYPE_ENGLISH : LANGTYPE_NONE;
}

int langtype_for_ascii(_ccode_info_t* info, int* trust) {
  if (400 * info->rinfo.ref_count > info->page_length) return langtype_by_ref(info, trust);
  return LANGTYPE_ENGLISH;
}

int langtype_for_iso_8859_1(_ccode_info_t* info, int* trust) {
  if (400 * info->rinfo.ref_count > info->page_length) return langtype_by_ref(info, trust);
  if (500 * info->twobyte_count > info->page_length && 100 * info->sole_count >= 80 * info->twobyte_count) {
    return LANGTYPE_NONE;
  }
  return LANGTYPE_ENGLISH;
}

int langtype_for_gbk(_ccode_info_t* info, int* trust) {
  if (info->twobyte_count < 80 && 800 * info->twobyte_count < info->page_length) return LANGTYPE_ENGLISH;
  lang_trust_for_gbk(info, trust);
  const _gbk_info_t& g = info->ginfo;
  if (g.gbk_jp_count > 0 &&
      g.gbk_jp_count + g.gbk_jp_hanzi + 7 * g.gbk_jp_hanzi_unq > 4 * g.gbk_cn_hanzi_unq + g.gbk_simp_count) {
    return LANGTYPE_JAPANESE;
  }
  return 5 * g.gbk_trad_count > g.gbk_simp_count ? LANGTYPE_TRAD_CHINESE : LANGTYPE_SIMP_CHINESE;
}

int langtype_for_big5(_ccode_info_t* info, int*) {
  if (info->twobyte_count < 80 && info->word_num > info->twobyte_count &&
      800 * info->twobyte_count < info->page_length) {
    return LANGTYPE_ENGLISH;
  }
  return 2 * info->big5_jp_count > info->big5_count ? LANGTYPE_JAPANESE : LANGTYPE_TRAD_CHINESE;
}

int langtype_for_utf8(_ccode_info_t* info, int* trust) {
  lang_trust_for_utf8(info, trust);
  const int head = Utf8Head(info);
  if (head == 1) return langtype_by_ref(info, trust);
  if (head == 0) return LANGTYPE_ENGLISH;
  const _utf8_info_t& u = info->uinfo;
  if (u.utf8_ru_chars > 199 && 200 * u.utf8_ru_chars > 70 * (u.utf8_ascii + u.utf8_goodbytes)) {
    return LANGTYPE_RUSSIAN;
  }
  if (u.utf8_ko_chars > 199 && 300 * u.utf8_ko_chars > 140 * u.utf8_goodbytes) return LANGTYPE_KOREAN;
  if (!Utf8Bigrams(info)) return LANGTYPE_NONE;
  if (Utf8JapaneseCase(u)) {
    if (40 * u.utf8_jp_bigram < u.utf8_jp_chars || Utf8TooFewJapanese(info)) return LANGTYPE_NONE;
    return LANGTYPE_JAPANESE;
  }
  if (Utf8NotChinese(info)) return LANGTYPE_NONE;
  const int trad = u.utf8_cn_trad_chars, simp = u.utf8_cn_simp_chars, pure = u.utf8_cn_simp_pure_chars;
  if (5 * trad > simp || (10 * trad > simp && 8 * trad > simp - pure) || 10 * pure < trad) {
    return LANGTYPE_TRAD_CHINESE;
  }
  return LANGTYPE_SIMP_CHINESE;
}

void langtype_by_ref_prob(_ccode_info_t* info, _langtype_t* lt, int* trust) {
  set_main_lang(lt, langtype_by_ref(info, trust));
}

void langtype_for_ascii_prob(_ccode_info_t* info, _langtype_t* lt, int* trust) {
  set_main_lang(lt, langtype_for_ascii(info, trust));
}

void langtype_for_iso_8859_1_prob(_ccode_info_t* info, _langtype_t* lt, int* trust) {
  if (40 * info->rinfo.ref_count > info->page_length && codetype_ascii(info) == kCertain) {
    langtype_by_ref_prob(info, lt, trust);
  } else {
    set_main_lang(lt, LANGTYPE_ENGLISH);
  }
}

void langtype_for_gbk_prob(_ccode_info_t* info, _langtype_t* lt, int* trust) {
  set_main_lang(lt, langtype_for_gbk(info, trust));
}

void langtype_for_big5_prob(_ccode_info_t* info, _langtype_t* lt, int*) {
  if (info->twobyte_count < 80 && 800 * info->twobyte_count < info->page_length) {
    set_main_lang(lt, LANGTYPE_ENGLISH);
  } else {
    set_main_lang(lt, 2 * info->big5_jp_count > info->big5_count ? LANGTYPE_JAPANESE : LANGTYPE_TRAD_CHINESE);
  }
}

void langtype_for_utf8_prob(_ccode_info_t* info, _langtype_t* lt, int* trust) {
  if (info == nullptr) {
    set_main_lang(lt, LANGTYPE_NONE);
    return;
  }
  lang_trust_for_utf8(info, trust);
  const int head = Utf8Head(info);
  if (head == 1) {
    langtype_by_ref_prob(info, lt, trust);
    return;
  }
  if (head == 0 || !Utf8Bigrams(info)) {
    set_main_lang(lt, head == 0 ? LANGTYPE_ENGLISH : LANGTYPE_NONE);
    return;
  }
  const _utf8_info_t& u = info->uinfo;
  const int trad = u.utf8_cn_trad_chars, simp = u.utf8_cn_simp_chars, pure = u.utf8_cn_simp_pure_chars;
  int lang;
  if (Utf8JapaneseCase(u)) {
    const int chinese = trad + simp - pure;
    if (40 * u.utf8_jp_bigram < u.utf8_jp_chars) {
      lang = LANGTYPE_NONE;
    } else if (chinese > u.utf8_jp_hanzi && 2 * chinese > u.utf8_jp_chars) {
      lang = LANGTYPE_TRAD_CHINESE;
    } else {
      lang = Utf8TooFewJapanese(info) ? LANGTYPE_NONE : LANGTYPE_JAPANESE;
    }
  } else if (Utf8NotChinese(info)) {
    lang = LANGTYPE_NONE;
  } else {
    lang = 5 * trad <= simp && 10 * pure >= trad ? LANGTYPE_SIMP_CHINESE : LANGTYPE_TRAD_CHINESE;
  }
  set_main_lang(lt, lang);
}

// --- the dispatchers ---------------------------------------------------------------

int ccode_detect_langtype(_ccode_info_t* info, int code, int* trust) {
  if (info == nullptr) {
    Invalid("ccode_detect_langtype");
    return LANGTYPE_NONE;
  }
  switch (code) {
    case CODETYPE_NONE:
    case CODETYPE_EUCKR: return LANGTYPE_NONE;
    case CODETYPE_GB: return langtype_for_gbk(info, trust);
    case CODETYPE_BIG5: return langtype_for_big5(info, trust);
    case CODETYPE_UTF8: return langtype_for_utf8(info, trust);
    case CODETYPE_JIS:
    case CODETYPE_SJIS:
    case CODETYPE_EUCJP: return LANGTYPE_JAPANESE;
    case CODETYPE_ASCII: return langtype_for_ascii(info, trust);
    case CODETYPE_ISO_8859_1: return langtype_for_iso_8859_1(info, trust);
    default: Unknown(code); return LANGTYPE_NONE;
  }
}

int ccode_detect_langtype_prob(_ccode_info_t* info, int code, _langtype_t* lt, int* trust) {
  if (info == nullptr || lt == nullptr) {
    Invalid("ccode_detect_langtype_prob");
    return LANGTYPE_NONE;
  }
  switch (code) {
    case CODETYPE_GB: langtype_for_gbk_prob(info, lt, trust); break;
    case CODETYPE_BIG5: langtype_for_big5_prob(info, lt, trust); break;
    case CODETYPE_UTF8: langtype_for_utf8_prob(info, lt, trust); break;
    case CODETYPE_JIS:
    case CODETYPE_SJIS:
    case CODETYPE_EUCJP: set_main_lang(lt, LANGTYPE_JAPANESE); break;
    case CODETYPE_ASCII: langtype_for_ascii_prob(info, lt, trust); break;
    case CODETYPE_ISO_8859_1: langtype_for_iso_8859_1_prob(info, lt, trust); break;
    case CODETYPE_NONE:
    case CODETYPE_EUCKR: set_main_lang(lt, LANGTYPE_NONE); break;
    default:
      Unknown(code);
      set_main_lang(lt, LANGTYPE_NONE);
      break;
  }
  return lt->main_lang;
}

// --- supporting rules ---------------------------------------------------------------

int langtype_for_latin(const _ccode_info_t* info) {
  const int guess = GuessedLang(info);
  if (guess >= 0) return guess;
  const int title = info->title_lang;
  if (title == -1) return -1;
  if (!OneOf(title, LANGTYPE_ARABIC, LANGTYPE_THAI)) {
    if (info->max_lang == LANGTYPE_ARABIC && info->arabic_cont_num > 9) return LANGTYPE_ARABIC;
    if (info->max_lang == LANGTYPE_THAI && info->thai_cont_num > 9) return LANGTYPE_THAI;
  }
  return OneOf(title, LANGTYPE_JAPANESE, LANGTYPE_SIMP_CHINESE, LANGTYPE_TRAD_CHINESE) ? -1 : title;
}

void confidence_for_latin(_ccode_info_t* info, int* lang_conf) {
  const double words = info->word_num + 1.0;
  int best = 0;
  for (int i = 0; i < kUnigramSlots; ++i) {
    lang_conf[langindex[i]] = static_cast<int>(100 * info->word_common[i] / words);
    if (lang_conf[langindex[i]] > lang_conf[langindex[best]]) best = i;
  }
  info->max_confidence_lang = langindex[best];
  lang_conf[LANGTYPE_THAI] = static_cast<int>(400 * info->thai_num / words);
  if (info->max_lang != LANGTYPE_ARABIC && info->word_unique[kSlotArabic] == 0) lang_conf[LANGTYPE_ARABIC] /= 2;
}

int confidence_for_gb(const _ccode_info_t* info, int* lang_conf, int l) {
  int trust[kCcodeTrustLen];
  lang_trust_for_gbk(info, trust);
  lang_conf[LANGTYPE_JAPANESE] = trust[3];
  lang_conf[LANGTYPE_SIMP_CHINESE] = trust[1];
  lang_conf[LANGTYPE_TRAD_CHINESE] = trust[2];
  return l;
}

int confidence_for_utf8(const _ccode_info_t* info, int* lang_conf, int l) {
  const _utf8_info_t& u = info->uinfo;
  const int jpw = u.utf8_jp_chars + u.utf8_jp_hanzi + 4 * u.utf8_jp_hanzi_unq;
  const int cnw = (u.utf8_jp_chars - u.utf8_jp_hanzi_unq) / 2 + u.utf8_cn_chars + 5 * u.utf8_cn_hanzi_unq;
  const int enw = 4 * u.utf8_latin_chars + u.utf8_ascii;
  const float total = static_cast<float>(jpw + cnw + enw + 1);
  lang_conf[LANGTYPE_JAPANESE] = static_cast<int>(100.0f * jpw / total);
  const int cnp = static_cast<int>(100.0f * cnw / total);
  const int t = 5 * u.utf8_cn_trad_chars, s = u.utf8_cn_simp_chars;
  lang_conf[LANGTYPE_SIMP_CHINESE] = static_cast<int>(static_cast<float>(s) / (t + s + 1) * cnp);
  lang_conf[LANGTYPE_TRAD_CHINESE] = static_cast<int>(static_cast<float>(t) / (t + s + 1) * cnp);
  const int thai = lang_conf[LANGTYPE_THAI], simp = lang_conf[LANGTYPE_SIMP_CHINESE],
            trad = lang_conf[LANGTYPE_TRAD_CHINESE];
  if (thai > 30 && simp <= thai && trad <= thai && lang_conf[LANGTYPE_ARABIC] <= thai) return LANGTYPE_THAI;
  if (lang_conf[LANGTYPE_ARABIC] > 19 && simp + trad < lang_conf[LANGTYPE_ARABIC]) return LANGTYPE_ARABIC;
  if (OneOf(l, LANGTYPE_RUSSIAN, LANGTYPE_KOREAN)) return l;
  const int g = langtype_for_latin(info);
  if (!OneOf(l, LANGTYPE_SIMP_CHINESE, LANGTYPE_TRAD_CHINESE, LANGTYPE_JAPANESE)) return g;
  const int english = lang_conf[LANGTYPE_ENGLISH];
  if (g >= 0 && g != LANGTYPE_ENGLISH && g == info->title_lang) {
    if (u.utf8_cn_simp_title_chars + u.utf8_cn_trad_title_chars > 1 &&
        (simp >= 2 * lang_conf[g] || trad >= 2 * lang_conf[g])) {
      return l;
    }
    return u.utf8_jp_title_chars < 4 || lang_conf[LANGTYPE_JAPANESE] < 2 * lang_conf[g] ? g : l;
  }
  if (g < 0) return l;
  if (g != LANGTYPE_ENGLISH && lang_conf[l] > lang_conf[g]) return l;
  if (g == LANGTYPE_ENGLISH && 3 * lang_conf[l] >= english) {
    if (l != LANGTYPE_JAPANESE) {
      if (!(3 * u.utf8_cn_chars <= info->word_common[kSlotEnglish] || 2 * enw >= cnw)) return l;
      if (l == LANGTYPE_TRAD_CHINESE && (simp + trad > english || (trad > 30 && 3 * trad > english))) return l;
    } else if (!(2 * u.utf8_jp_chars <= info->word_common[kSlotEnglish] || 2 * enw >= jpw)) {
      return l;
    }
    return g;
  }
  if (g != LANGTYPE_ENGLISH && l == LANGTYPE_TRAD_CHINESE) {
    return simp + trad > std::max(lang_conf[g] - english, english) ? l : g;
  }
  return g;
}

int confidence_for_lang(const _ccode_info_t* info, const int* lang_conf, int l) {
  if (OneOf(l, LANGTYPE_THAI, -1, LANGTYPE_ENGLISH) &&
      (info->title_lang == LANGTYPE_THAI || lang_conf[LANGTYPE_THAI] > 30 ||
       info->w874_num >= 0.04 * (info->word_num + 1))) {
    return LANGTYPE_THAI;
  }
  if (OneOf(l, LANGTYPE_ARABIC, -1, LANGTYPE_ENGLISH) && lang_conf[LANGTYPE_ARABIC] > 19) return LANGTYPE_ARABIC;
  const int g = langtype_for_latin(info);
  if (OneOf(l, -1, LANGTYPE_ENGLISH)) return g;
  if (g >= 0 && lang_conf[g] > 79) l = g;
  if (l == LANGTYPE_TURKISH && lang_conf[LANGTYPE_ENGLISH] >= 1.6 * lang_conf[LANGTYPE_TURKISH]) l = LANGTYPE_ENGLISH;
  return l;
}

int confidence_for_win874(const _ccode_info_t* info, int* lang_conf) {
  lang_conf[LANGTYPE_THAI] = 80;
  const int g = langtype_for_latin(info);
  if (info->title_lang == LANGTYPE_THAI || info->w874_num >= 0.04 * (info->word_num + 1) || g < 0 ||
      lang_conf[g] <= 80) {
    return LANGTYPE_THAI;
  }
  return g;
}

void exchange_lang(const _ccode_info_t* info, _langtype_t* lt, const int* lang_conf) {
  if ((lt->flag & 3) != 3 || lt->sec_lang == -1) return;
  const int main = lt->main_lang, sec = lt->sec_lang, title = info->title_lang;
  if (title != -1 && title != LANGTYPE_ENGLISH && main == title) return;
  if (main == -1 || (!OneOf(main, LANGTYPE_ARABIC, LANGTYPE_THAI, LANGTYPE_PORTUGUESE) && ValidLang(main) &&
                     ValidLang(sec) && lang_conf[sec] > lang_conf[main] + 20)) {
    lt->main_lang = static_cast<int16_t>(sec);
    lt->sec_lang = static_cast<int16_t>(main);
  }
}

void detect_persian(int code, _langtype_t* lt, const _ccode_info_t* info) {
  if (lt->main_lang != LANGTYPE_ARABIC && lt->sec_lang != LANGTYPE_ARABIC) return;
  const std::string_view text(info->str_content, strnlen(info->str_content, sizeof(info->str_content)));
  int found = 0;
  if (code == CODETYPE_UTF8) {
    static const char* const kLetters[] = {"\xDA\xAF", "\xDA\x86", "\xD9\xBE", "\xDA\x98"};  // U+06AF 0686 067E 0698
    for (const char* letter : kLetters) {
      for (size_t at = text.find(letter); at != std::string_view::npos; at = text.find(letter, at + 2)) ++found;
    }
  } else if (code == CODETYPE_WIN1256 || code == CODETYPE_ISO_8859_6) {
    for (size_t i = 0; i < text.size(); ++i) {
      const unsigned char b = static_cast<unsigned char>(text[i]);
      const bool after_lead = i > 0 && (static_cast<unsigned char>(text[i - 1]) & 0xE0) == 0xC0;
      if ((b == 0x90 || b == 0x8D || b == 0x81 || b == 0x8E) && !after_lead) ++found;
    }
  } else if (code == CODETYPE_GB || code == CODETYPE_GBK) {
    static const char* const kLetters[] = {"\x81\x31\x91\x35", "\x81\x31\x8D\x34", "\x81\x31\x8C\x36",
                                           "\x81\x31\x8F\x32"};
    for (const char* letter : kLetters) {
      for (size_t at = text.find(letter); at != std::string_view::npos; at = text.find(letter, at + 4)) ++found;
    }
  }
  if (found < 2) return;
  if (lt->main_lang == LANGTYPE_ARABIC) lt->main_lang = LANGTYPE_FARSI;
  if (lt->sec_lang == LANGTYPE_ARABIC) lt->sec_lang = LANGTYPE_FARSI;
}

// --- the languages by code type ------------------------------------------------------

void ccode_langs_by_codetype(_ccode_info_t* info, int code, int* lang_conf, _langtype_t* lt) {
  int trust[kCcodeTrustLen] = {-1, -1, -1, -1, -1};
  auto sec0 = [&] {
    _langtype_t prob;
    reset_langtype(&prob);
    return ccode_detect_langtype_prob(info, code, &prob, trust);
  };
  const int title = info->title_lang;
  switch (code) {
    case CODETYPE_ENG:
    case CODETYPE_ASCII: {
      const int l = confidence_for_lang(info, lang_conf, langtype_for_ascii(info, trust));
      set_main_lang(lt, l);
      if (l == LANGTYPE_ENGLISH && OneOf(title, LANGTYPE_PORTUGUESE, LANGTYPE_SPANISH)) {
        set_main_lang(lt, title);
        set_sec_lang(lt, LANGTYPE_ENGLISH);
      }
      return;
    }
    case CODETYPE_GB:
    case CODETYPE_GBK: set_main_lang(lt, confidence_for_gb(info, lang_conf, langtype_for_gbk(info, trust))); return;
    case CODETYPE_BIG5:
      set_main_lang(lt, confidence_for_lang(info, lang_conf, langtype_for_big5(info, trust)));
      set_sec_lang(lt, sec0());
      return;
    case CODETYPE_UTF8: Utf8Rule(info, lang_conf, trust, lt); return;
    case CODETYPE_JIS:
    case CODETYPE_SJIS:
    case CODETYPE_EUCJP:
      set_main_lang(lt, confidence_for_lang(info, lang_conf, LANGTYPE_JAPANESE));
      set_sec_lang(lt, sec0());
      return;
    case CODETYPE_ISO_8859_1:
      set_main_lang(lt, confidence_for_lang(info, lang_conf, langtype_for_iso_8859_1(info, trust)));
      set_sec_lang(lt, sec0());
      return;
    case CODETYPE_EUCKR: set_main_lang(lt, confidence_for_lang(info, lang_conf, LANGTYPE_KOREAN)); return;
    case CODETYPE_ISO_8859_9:
    case CODETYPE_WIN1254: {
      const int l = confidence_for_lang(info, lang_conf, LANGTYPE_TURKISH);
      if (l == LANGTYPE_ENGLISH && title != -1 && title == GuessedLang(info)) {
        set_main_lang(lt, title);
        set_sec_lang(lt, LANGTYPE_ENGLISH);
      } else {
        set_main_lang(lt, l);
      }
      return;
    }
    case CODETYPE_ISO_8859_6:
    case CODETYPE_WIN1256: {
      int high = 0;
      for (const char* p = info->title; *p != '\0'; ++p) {
        const unsigned char b = static_cast<unsigned char>(*p);
        high += b >= 0xBF && b <= 0xDF;
      }
      set_main_lang(lt, high >= 5 ? LANGTYPE_ARABIC : confidence_for_lang(info, lang_conf, LANGTYPE_ARABIC));
      return;
    }
    case CODETYPE_ISO_8859_11:
    case CODETYPE_WIN874:
    case CODETYPE_TIS620: set_main_lang(lt, confidence_for_win874(info, lang_conf)); return;
    case CODETYPE_VISCII:
    case CODETYPE_WIN1258: set_main_lang(lt, confidence_for_lang(info, lang_conf, LANGTYPE_VIETNAMESE)); return;
    case CODETYPE_WIN1251:
      set_main_lang(lt, GuessedLang(info) == LANGTYPE_ENGLISH && info->word_freq[kSlotEnglish] > -6.0
                            ? LANGTYPE_ENGLISH
                            : LANGTYPE_RUSSIAN);
      return;
    case CODETYPE_ISO_8859_7: set_main_lang(lt, LANGTYPE_GREEK); return;
    case CODETYPE_WIN1255: set_main_lang(lt, LANGTYPE_HEBREW); return;
    default: set_main_lang(lt, -1); return;
  }
}
