// Extended page code type and multi-language detection.
#include "ul_ccode_langdet.h"

#include <string.h>

#include <algorithm>
#include <string_view>

#include "ul_ccode_cld.h"
#include "ul_ccode_codetype.h"
#include "ul_ccode_codetype_parts.h"
#include "ul_ccode_conv.h"
#include "ul_ccode_data.h"
#include "ul_ccode_detect_parts.h"
#include "ul_ccode_feature.h"
#include "ul_ccode_info_parts.h"
#include "ul_ccode_type.h"
#include "ul_cld_lang.h"
#include "ul_log.h"
#include "ul_whiteurl.h"

namespace {

constexpr int kLangs = kCcodeLangConfLen;
constexpr int kSlotEnglish = 0;
constexpr int kSlotArabic = 8;
constexpr std::string_view kVideo = "meta property=\"og:type\" content=\"video\"";

// Rows of single_illegal.
enum IllegalRow {
  kIso8859_9 = 1, kLatin1 = 2, kWin1254 = 3, kIso8859_6 = 4, kIso8859_11 = 5, kTis620 = 6, kWin874 = 7,
  kWin1258 = 8, kWin1251 = 9, kIso8859_7 = 10, kWin1255 = 11
};

bool ValidLang(int l) { return l >= 0 && l < kLangs; }
bool HasSecond(const _langtype_t& lt) { return (lt.flag & 2) != 0 && ValidLang(lt.sec_lang); }
template <typename... Ls>
bool OneOf(int l, Ls... ls) {
  return ((l == ls) || ...);
}

// The page fits code page row k: fewer than 2 % of its text bytes are
// illegal there.
bool Fits(const _ccode_info_t* info, int k) { return info->charlen * 0.02 > info->single_illegal[k]; }

bool Has(const _ccode_info_t* info, const char* part) { return strstr(info->charset, part) != nullptr; }

// Every non-ASCII byte of the content is part of good UTF-8.
bool AllGoodUtf8(const _ccode_info_t* info) {
  const int good = info->uinfo.utf8_goodbytes;
  return good >= 1 && good == info->content_len - info->uinfo.utf8_ascii;
}

// Step 5 of the code-type detection: the charset and byte rules, -2 when
// none fires.
int ByRules(_ccode_info_t* info) {
  if (info->jis_flag_count > 1) return CODETYPE_JIS;
  if (codetype_ascii(info) == kCertain) return CODETYPE_ASCII;
  if (Has(info, "8859-9") && Fits(info, kIso8859_9)) return CODETYPE_ISO_8859_9;
  if (Has(info, "windows-1254") && Fits(info, kWin1254)) return CODETYPE_WIN1254;
  if (Has(info, "8859-6") && Fits(info, kIso8859_6)) return CODETYPE_ISO_8859_6;
  if (Has(info, "1256")) return AllGoodUtf8(info) ? CODETYPE_UTF8 : CODETYPE_WIN1256;
  if (Has(info, "8859-11") && Fits(info, kIso8859_11)) return CODETYPE_ISO_8859_11;
  if (Has(info, "874") && (Fits(info, kWin874) || Fits(info, kTis620))) {
    return Fits(info, kWin874) ? CODETYPE_WIN874 : CODETYPE_TIS620;
  }
  if (Has(info, "620") && (Fits(info, kTis620) || Fits(info, kWin874))) {
    return Fits(info, kTis620) ? CODETYPE_TIS620 : CODETYPE_WIN874;
  }
  if (info->w874_num >= 0.04 * (info->word_num + 1) && Fits(info, kWin874)) return CODETYPE_WIN874;
  if (Has(info, "viscii")) return CODETYPE_VISCII;
  if (Has(info, "1258") && Fits(info, kWin1258)) return CODETYPE_WIN1258;
  if (Has(info, "1251") && Fits(info, kWin1251)) return CODETYPE_WIN1251;
  if (Has(info, "8859-7") && Fits(info, kIso8859_7)) return CODETYPE_ISO_8859_7;
  if (Has(info, "1255") && Fits(info, kWin1255)) return CODETYPE_WIN1255;
  if (100 * codetype_iso_8859_1(info) > kLatin1Mark) return AllGoodUtf8(info) ? CODETYPE_UTF8 : CODETYPE_ISO_8859_1;
  if (codetype_utf8(info) == kCertain) return CODETYPE_UTF8;
  return kNoDecision;
}

// The bigram vote of the double-byte code types, without the code-type
// detection's lenience for short pages; kNoDecision when it gives nothing.
int ByVote(_ccode_info_t* info) {
  ccode_bigram_vote(info, ShortPages::kStrict);
  return ccode_vote_outcome(info, kNoDecision);
}

// Step 8: the single-byte code page of the guessed word-model slot.
int BySlot(const _ccode_info_t* info) {
  switch (info->guess_lang) {
    case 0: case 1: case 2: case 3: case 4: case 6: case 9: case 10: case 11:
      return Fits(info, kLatin1) ? CODETYPE_ISO_8859_1 : -1;
    case 5: return Fits(info, kWin1254) ? CODETYPE_WIN1254 : -1;
    case 7: return Fits(info, kWin1258) ? CODETYPE_WIN1258 : -1;
    case 8: return Fits(info, kIso8859_6) ? CODETYPE_ISO_8859_6 : -1;
    default: return -1;
  }
}

int GuessedLang(const _ccode_info_t* info) {
  return info->guess_lang >= 0 && info->guess_lang < kUnigramSlots ? langindex[info->guess_lang] : -1;
}

// The thread's record computed for the page with its word features (each
// once per statistics pass); NULL on failure.
_ccode_info_t* Features(const char* page, const char* url, const char* charset, const char* tree, int code) {
  _ccode_info_t* info = get_ccode_info();
  if (info == nullptr) return nullptr;
  if (!ccode_info_holds(info, url)) {
    ccode_info_clean(info);
    if (ccode_info_compute(info, page, url, charset, tree) != 1) return nullptr;
  }
  const bool gb_title = (code == CODETYPE_GB || code == CODETYPE_GBK) && info->title_lang == -1;
  if (gb_title) gb_title_compute(info->title, &info->uinfo);
  if (!info->feature_flag) {
    if (ccode_feature_compute(info, page, url) != 0) return nullptr;
    info->feature_flag = true;
  } else if (gb_title && info->uinfo.utf8_cn_jp_title_lang >= 1 && info->uinfo.utf8_cn_jp_title_lang <= 3) {
    // The features ran before the GB title was counted: its vote goes to the
    // title language as the features would have taken it.
    info->title_lang = info->uinfo.utf8_cn_jp_title_lang;
  }
  info->real_page_length = ccode_real_page_length(info->page_length);
  return info;
}

// The UTF-8 rule of the language detection.
void Utf8Rule(_ccode_info_t* info, int* A, int* trust, _langtype_t* lt) {
  _langtype_t prob;
  reset_langtype(&prob);
  const int sec0 = ccode_detect_langtype_prob(info, CODETYPE_UTF8, &prob, trust);
  const int l = confidence_for_utf8(info, A, langtype_for_utf8(info, trust));
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
    if (l == LANGTYPE_SIMP_CHINESE && sec0 == LANGTYPE_TRAD_CHINESE && A[LANGTYPE_TRAD_CHINESE] > 0 &&
        A[LANGTYPE_SIMP_CHINESE] - A[LANGTYPE_TRAD_CHINESE] < 26) {
      main_and(LANGTYPE_TRAD_CHINESE, LANGTYPE_SIMP_CHINESE);
      std::swap(A[LANGTYPE_SIMP_CHINESE], A[LANGTYPE_TRAD_CHINESE]);
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

// Step 6: the languages by code type.
void ByCodeType(_ccode_info_t* info, int code, int* A, _langtype_t* lt) {
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
      const int l = confidence_for_lang(info, A, langtype_for_ascii(info, trust));
      set_main_lang(lt, l);
      if (l == LANGTYPE_ENGLISH && OneOf(title, LANGTYPE_PORTUGUESE, LANGTYPE_SPANISH)) {
        set_main_lang(lt, title);
        set_sec_lang(lt, LANGTYPE_ENGLISH);
      }
      return;
    }
    case CODETYPE_GB:
    case CODETYPE_GBK: set_main_lang(lt, confidence_for_gb(info, A, langtype_for_gbk(info, trust))); return;
    case CODETYPE_BIG5:
      set_main_lang(lt, confidence_for_lang(info, A, langtype_for_big5(info, trust)));
      set_sec_lang(lt, sec0());
      return;
    case CODETYPE_UTF8: Utf8Rule(info, A, trust, lt); return;
    case CODETYPE_JIS:
    case CODETYPE_SJIS:
    case CODETYPE_EUCJP:
      set_main_lang(lt, confidence_for_lang(info, A, LANGTYPE_JAPANESE));
      set_sec_lang(lt, sec0());
      return;
    case CODETYPE_ISO_8859_1:
      set_main_lang(lt, confidence_for_lang(info, A, langtype_for_iso_8859_1(info, trust)));
      set_sec_lang(lt, sec0());
      return;
    case CODETYPE_EUCKR: set_main_lang(lt, confidence_for_lang(info, A, LANGTYPE_KOREAN)); return;
    case CODETYPE_ISO_8859_9:
    case CODETYPE_WIN1254: {
      const int l = confidence_for_lang(info, A, LANGTYPE_TURKISH);
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
      set_main_lang(lt, high >= 5 ? LANGTYPE_ARABIC : confidence_for_lang(info, A, LANGTYPE_ARABIC));
      return;
    }
    case CODETYPE_ISO_8859_11:
    case CODETYPE_WIN874:
    case CODETYPE_TIS620: set_main_lang(lt, confidence_for_win874(info, A)); return;
    case CODETYPE_VISCII:
    case CODETYPE_WIN1258: set_main_lang(lt, confidence_for_lang(info, A, LANGTYPE_VIETNAMESE)); return;
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

// Steps 7 and 8: the secondary of a Chinese page, the exchange, and the
// confidences lifted to match the choice.
void SecondaryAndLift(const _ccode_info_t* info, int* A, _langtype_t* lt) {
  int found = -1;
  if (OneOf(lt->main_lang, LANGTYPE_SIMP_CHINESE, LANGTYPE_TRAD_CHINESE) && !HasSecond(*lt)) {
    int top = 60;
    for (int l = 0; l < kLangs; ++l) {
      if (l != lt->main_lang && A[l] > top) {
        top = A[l];
        found = l;
      }
    }
  }
  if (found == LANGTYPE_ENGLISH) {
    set_sec_lang(lt, LANGTYPE_ENGLISH);
  } else {
    int copy[kLangs];
    std::copy(A, A + kLangs, copy);
    exchange_lang(info, lt, copy);
  }
  if (HasSecond(*lt)) {
    const int main = lt->main_lang, sec = lt->sec_lang;
    for (int l = 0; l < kLangs; ++l) {
      if (l != main && l != sec && A[l] >= A[sec]) A[sec] = A[l] + 1;
    }
    if (ValidLang(main)) {
      for (int l = 0; l < kLangs; ++l) {
        if (l != main && A[l] >= A[main]) A[main] = A[l] + 1;
      }
    }
  }
  for (int l = 0; l < kLangs; ++l) A[l] = std::min(A[l], 100);
}

}  // namespace

long long ccode_pack_langs(const _langtype_t& lt, int* A) {
  const int main = lt.main_lang;
  const bool has_main = ValidLang(main), has_sec = HasSecond(lt);
  if (has_main && has_sec) {
    const int sec = lt.sec_lang;
    A[main] = std::max(A[main], 1);
    A[sec] = std::max(A[sec], 1);
    if (A[sec] > A[main]) std::swap(A[main], A[sec]);
    return static_cast<long long>(main) | static_cast<long long>(A[main]) << 8 | static_cast<long long>(sec) << 16 |
           static_cast<long long>(A[sec]) << 24;
  }
  const int only = has_main ? main : has_sec ? lt.sec_lang : -1;
  if (only < 0) return -1;
  A[only] = 100;
  return only | 100LL << 8;
}

namespace {

// Step 12: the value of a language from CLD2 or the i18n list.
long long PackTaken(const _langtype_t& lt, int* conf) {
  const int main = lt.main_lang;
  if (!HasSecond(lt)) {
    if (conf != nullptr) conf[main] = 100;
    return main | 100LL << 8;
  }
  if (conf != nullptr) {
    conf[main] = 51;
    conf[lt.sec_lang] = 49;
  }
  return main | 51LL << 8 | static_cast<long long>(lt.sec_lang) << 16 | 49LL << 24;
}

}  // namespace

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

void confidence_for_latin(_ccode_info_t* info, int* A) {
  const double words = info->word_num + 1.0;
  int best = 0;
  for (int i = 0; i < kUnigramSlots; ++i) {
    A[langindex[i]] = static_cast<int>(100 * info->word_common[i] / words);
    if (A[langindex[i]] > A[langindex[best]]) best = i;
  }
  info->max_confidence_lang = langindex[best];
  A[LANGTYPE_THAI] = static_cast<int>(400 * info->thai_num / words);
  if (info->max_lang != LANGTYPE_ARABIC && info->word_unique[kSlotArabic] == 0) A[LANGTYPE_ARABIC] /= 2;
}

int confidence_for_gb(const _ccode_info_t* info, int* A, int l) {
  int trust[kCcodeTrustLen];
  lang_trust_for_gbk(info, trust);
  A[LANGTYPE_JAPANESE] = trust[3];
  A[LANGTYPE_SIMP_CHINESE] = trust[1];
  A[LANGTYPE_TRAD_CHINESE] = trust[2];
  return l;
}

int confidence_for_utf8(const _ccode_info_t* info, int* A, int l) {
  const _utf8_info_t& u = info->uinfo;
  const int jpw = u.utf8_jp_chars + u.utf8_jp_hanzi + 4 * u.utf8_jp_hanzi_unq;
  const int cnw = (u.utf8_jp_chars - u.utf8_jp_hanzi_unq) / 2 + u.utf8_cn_chars + 5 * u.utf8_cn_hanzi_unq;
  const int enw = 4 * u.utf8_latin_chars + u.utf8_ascii;
  const float total = static_cast<float>(jpw + cnw + enw + 1);
  A[LANGTYPE_JAPANESE] = static_cast<int>(100.0f * jpw / total);
  const int cnp = static_cast<int>(100.0f * cnw / total);
  const int t = 5 * u.utf8_cn_trad_chars, s = u.utf8_cn_simp_chars;
  A[LANGTYPE_SIMP_CHINESE] = static_cast<int>(static_cast<float>(s) / (t + s + 1) * cnp);
  A[LANGTYPE_TRAD_CHINESE] = static_cast<int>(static_cast<float>(t) / (t + s + 1) * cnp);
  const int thai = A[LANGTYPE_THAI], simp = A[LANGTYPE_SIMP_CHINESE], trad = A[LANGTYPE_TRAD_CHINESE];
  if (thai > 30 && simp <= thai && trad <= thai && A[LANGTYPE_ARABIC] <= thai) return LANGTYPE_THAI;
  if (A[LANGTYPE_ARABIC] > 19 && simp + trad < A[LANGTYPE_ARABIC]) return LANGTYPE_ARABIC;
  if (OneOf(l, LANGTYPE_RUSSIAN, LANGTYPE_KOREAN)) return l;
  const int g = langtype_for_latin(info);
  if (!OneOf(l, LANGTYPE_SIMP_CHINESE, LANGTYPE_TRAD_CHINESE, LANGTYPE_JAPANESE)) return g;
  const int english = A[LANGTYPE_ENGLISH];
  if (g >= 0 && g != LANGTYPE_ENGLISH && g == info->title_lang) {
    if (u.utf8_cn_simp_title_chars + u.utf8_cn_trad_title_chars > 1 && (simp >= 2 * A[g] || trad >= 2 * A[g])) {
      return l;
    }
    return u.utf8_jp_title_chars < 4 || A[LANGTYPE_JAPANESE] < 2 * A[g] ? g : l;
  }
  if (g < 0) return l;
  if (g != LANGTYPE_ENGLISH && A[l] > A[g]) return l;
  if (g == LANGTYPE_ENGLISH && 3 * A[l] >= english) {
    if (l != LANGTYPE_JAPANESE) {
      if (!(3 * u.utf8_cn_chars <= info->word_common[kSlotEnglish] || 2 * enw >= cnw)) return l;
      if (l == LANGTYPE_TRAD_CHINESE && (simp + trad > english || (trad > 30 && 3 * trad > english))) return l;
    } else if (!(2 * u.utf8_jp_chars <= info->word_common[kSlotEnglish] || 2 * enw >= jpw)) {
      return l;
    }
    return g;
  }
  if (g != LANGTYPE_ENGLISH && l == LANGTYPE_TRAD_CHINESE) {
    return simp + trad > std::max(A[g] - english, english) ? l : g;
  }
  return g;
}

int confidence_for_lang(const _ccode_info_t* info, const int* A, int l) {
  if (OneOf(l, LANGTYPE_THAI, -1, LANGTYPE_ENGLISH) &&
      (info->title_lang == LANGTYPE_THAI || A[LANGTYPE_THAI] > 30 || info->w874_num >= 0.04 * (info->word_num + 1))) {
    return LANGTYPE_THAI;
  }
  if (OneOf(l, LANGTYPE_ARABIC, -1, LANGTYPE_ENGLISH) && A[LANGTYPE_ARABIC] > 19) return LANGTYPE_ARABIC;
  const int g = langtype_for_latin(info);
  if (OneOf(l, -1, LANGTYPE_ENGLISH)) return g;
  if (g >= 0 && A[g] > 79) l = g;
  if (l == LANGTYPE_TURKISH && A[LANGTYPE_ENGLISH] >= 1.6 * A[LANGTYPE_TURKISH]) l = LANGTYPE_ENGLISH;
  return l;
}

int confidence_for_win874(const _ccode_info_t* info, int* A) {
  A[LANGTYPE_THAI] = 80;
  const int g = langtype_for_latin(info);
  if (info->title_lang == LANGTYPE_THAI || info->w874_num >= 0.04 * (info->word_num + 1) || g < 0 || A[g] <= 80) {
    return LANGTYPE_THAI;
  }
  return g;
}

void exchange_lang(const _ccode_info_t* info, _langtype_t* lt, const int* A) {
  if ((lt->flag & 3) != 3 || lt->sec_lang == -1) return;
  const int main = lt->main_lang, sec = lt->sec_lang, title = info->title_lang;
  if (title != -1 && title != LANGTYPE_ENGLISH && main == title) return;
  if (main == -1 || (!OneOf(main, LANGTYPE_ARABIC, LANGTYPE_THAI, LANGTYPE_PORTUGUESE) && ValidLang(main) &&
                     ValidLang(sec) && A[sec] > A[main] + 20)) {
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

// --- the entry points -----------------------------------------------------------

int ul_ccode_chardet(const char* page, const char* url, const char* charset, const char* tree, int* code,
                     _langtype_t* lang) {
  if (url == nullptr || page == nullptr || code == nullptr) {
    ul_writelog(UL_LOG_WARNING, "invalid parameter in function 'ul_ccode_chardet'.\n");
    return -1;
  }
  if (!ccode_page_load_ok()) return -1;
  int listed, main, sec;
  if (i18n_whiteUrl_dict != nullptr && ccode_is_i18n_whiteUrl(url, &listed, &main, &sec) == 1) {
    *code = listed;
    if (lang != nullptr) {
      set_main_lang(lang, main);
      set_sec_lang(lang, sec);
    }
    return 0;
  }
  _ccode_info_t* info = get_ccode_info();
  if (info == nullptr) return -1;
  ccode_info_clean(info);
  if (ccode_info_compute(info, page, url, charset, tree) != 1 || ccode_feature_compute(info, page, url) != 0) return -1;
  info->feature_flag = true;
  info->real_page_length = ccode_real_page_length(info->page_length);
  if (info->page_length == 0 || info->frontpage_flag) {
    *code = CODETYPE_NONE;
    return 0;
  }
  int c = ByRules(info);
  if (c == kNoDecision) c = ByVote(info);
  if (c == kNoDecision) c = BySlot(info);
  *code = c;
  return 0;
}

int ul_ccode_langdet(const char* page, const char* url, const char* charset, const char* tree, int* code,
                     long long* value, int* conf) {
  if (url == nullptr || page == nullptr || code == nullptr || value == nullptr) {
    ul_writelog(UL_LOG_WARNING, "invalid parameter in function 'ul_ccode_langdet'.\n");
    return -1;
  }
  *value = 0;
  _langtype_t lt;
  reset_langtype(&lt);
  if (!ccode_page_load_ok()) return -1;
  int A[kLangs] = {};

  if (*code == CODETYPE_UNKNOWN) {
    if (ul_ccode_chardet(page, url, charset, tree, code, &lt) != 0) return -1;
  } else {
    _ccode_info_t* info = get_ccode_info();
    if (info == nullptr) return -1;
    ccode_info_clean(info);
  }
  if (*code < CODETYPE_NONE || *code > CODETYPE_WIN1255) {
    ul_writelog(UL_LOG_FATAL, "wrong codetype detected in function 'ul_ccode_langdet'.\n");
    return -1;
  }

  const bool video = std::string_view(page).find(kVideo) != std::string_view::npos;
  CLD2::Language cld = CLD2::UNKNOWN_LANGUAGE;
  if (lt.main_lang == -1 && !video) {
    cld = cldBaseLangDet(page, static_cast<_CODE_T>(*code));
    if (useCldResultByCldLang(cld)) {
      set_main_lang(&lt, transCldLang2CcodeLang(cld));
      lt.sec_lang = -1;
      lt.flag &= ~2;
    }
  }
  if (!ValidLang(lt.main_lang)) {
    _ccode_info_t* info = Features(page, url, charset, tree, *code);
    if (info == nullptr) return -1;
    confidence_for_latin(info, A);
    ByCodeType(info, *code, A, &lt);
    SecondaryAndLift(info, A, &lt);
    detect_persian(*code, &lt, info);
    // FARSI comes only from ARABIC here: the confidence goes with it.
    if (lt.main_lang == LANGTYPE_FARSI || lt.sec_lang == LANGTYPE_FARSI) A[LANGTYPE_FARSI] = A[LANGTYPE_ARABIC];
    *value = ccode_pack_langs(lt, A);
    if (conf != nullptr) std::copy(A, A + kLangs, conf);
    // CLD2 decides the languages it is taken for, and English pages it
    // finds in no language of ours. An undecided page (main -1) takes
    // CLD2's answer too: -1 is what every language CLD2 is not taken for
    // maps to.
    const _LANG_T from_cld = transCldLang2CcodeLang(cld);
    if (video || !(useCldResultByCcodeLang(static_cast<_LANG_T>(lt.main_lang)) ||
                   (from_cld == LANGTYPE_NONE && lt.main_lang == LANGTYPE_ENGLISH))) {
      return 0;
    }
    reset_langtype(&lt);
    set_main_lang(&lt, from_cld);
    if (!ValidLang(from_cld)) {
      *value = -1;
      return 0;
    }
  } else if (conf != nullptr) {
    std::copy(A, A + kLangs, conf);
  }
  *value = PackTaken(lt, conf);
  return 0;
}
