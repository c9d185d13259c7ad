// Page code type and language: the entry points and the language rules.
#include "ul_ccode_detect.h"

#include <limits.h>
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <string>

#include "ul_big5_gbk.h"
#include "ul_ccode_codetype.h"
#include "ul_ccode_confidence.h"
#include "ul_ccode_conv.h"
#include "ul_ccode_data.h"
#include "ul_ccode_detect_parts.h"
#include "ul_ccode_iconv.h"
#include "ul_ccode_load.h"
#include "ul_ccode_type.h"
#include "ul_log.h"
#include "ul_whiteurl.h"

namespace {

constexpr int kGbSize = 1025;               // GB18030 form of the UTF-8 content
constexpr size_t kExtractBytes = 511999;    // page text joined to the title
constexpr size_t kTitleBytes = 127;
constexpr int kLongPage = 2047;             // the main text is read above it

void Invalid(const char* function) { ul_writelog(UL_LOG_FATAL, "invalid parameter in function '%s'.\n", function); }

void Unknown(int code) { ul_writelog(UL_LOG_WARNING, "unknown codetype value [%d], LANGTYPE_NONE returned\n", code); }

// Whole part of a / b x c in single precision (the trust arrays' splits).
int Split(int a, int b, int c) { return static_cast<int>(static_cast<float>(a) / static_cast<float>(b) * c); }
// Whole part of 100 x a / total in single precision.
int Percent(int a, int total) { return static_cast<int>(100.0f * static_cast<float>(a) / static_cast<float>(total)); }

// --- the UTF-8 rule's shared steps --------------------------------------------------

// Steps 2 and 3 of the UTF-8 rule: 1 to go by the references, 0 for
// ENGLISH, -1 to go on.
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

// Step 6: the GBK pairs of the content and their bigram hits; false when
// they are too few to decide.
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

// Step 7: whether the page reads as Japanese rather than Chinese.
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
