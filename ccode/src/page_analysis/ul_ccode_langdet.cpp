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
#include "ul_ccode_langdet_parts.h"
#include "ul_ccode_type.h"
#include "ul_cld_lang.h"
#include "ul_log.h"
#include "ul_whiteurl.h"

namespace {

constexpr int kLangs = kCcodeLangConfLen;
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

// The declared charset and byte rules of the code-type chain, tried before
// the bigram vote; kNoDecision when none fires.
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

// The last rule of the code-type chain: the single-byte code page of the
// guessed word-model slot, when the page fits it.
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

// After the languages by code type: the secondary of a Chinese page, the
// exchange of main and secondary, and the confidences lifted to match.
void SecondaryAndLift(const _ccode_info_t* info, int* lang_conf, _langtype_t* lt) {
  int found = -1;
  if (OneOf(lt->main_lang, LANGTYPE_SIMP_CHINESE, LANGTYPE_TRAD_CHINESE) && !HasSecond(*lt)) {
    int top = 60;
    for (int l = 0; l < kLangs; ++l) {
      if (l != lt->main_lang && lang_conf[l] > top) {
        top = lang_conf[l];
        found = l;
      }
    }
  }
  if (found == LANGTYPE_ENGLISH) {
    set_sec_lang(lt, LANGTYPE_ENGLISH);
  } else {
    int copy[kLangs];
    std::copy(lang_conf, lang_conf + kLangs, copy);
    exchange_lang(info, lt, copy);
  }
  if (HasSecond(*lt)) {
    const int main = lt->main_lang, sec = lt->sec_lang;
    for (int l = 0; l < kLangs; ++l) {
      if (l != main && l != sec && lang_conf[l] >= lang_conf[sec]) lang_conf[sec] = lang_conf[l] + 1;
    }
    if (ValidLang(main)) {
      for (int l = 0; l < kLangs; ++l) {
        if (l != main && lang_conf[l] >= lang_conf[main]) lang_conf[main] = lang_conf[l] + 1;
      }
    }
  }
  for (int l = 0; l < kLangs; ++l) lang_conf[l] = std::min(lang_conf[l], 100);
}

}  // namespace

long long ccode_pack_langs(const _langtype_t& lt, int* lang_conf) {
  const int main = lt.main_lang;
  const bool has_main = ValidLang(main), has_sec = HasSecond(lt);
  if (has_main && has_sec) {
    const int sec = lt.sec_lang;
    lang_conf[main] = std::max(lang_conf[main], 1);
    lang_conf[sec] = std::max(lang_conf[sec], 1);
    if (lang_conf[sec] > lang_conf[main]) std::swap(lang_conf[main], lang_conf[sec]);
    return static_cast<long long>(main) | static_cast<long long>(lang_conf[main]) << 8 |
           static_cast<long long>(sec) << 16 | static_cast<long long>(lang_conf[sec]) << 24;
  }
  const int only = has_main ? main : has_sec ? lt.sec_lang : -1;
  if (only < 0) return -1;
  lang_conf[only] = 100;
  return only | 100LL << 8;
}

namespace {

// The multi-language value of a language taken from CLD2 or the white-URL
// list.
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
  int lang_conf[kLangs] = {};

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
    confidence_for_latin(info, lang_conf);
    ccode_langs_by_codetype(info, *code, lang_conf, &lt);
    SecondaryAndLift(info, lang_conf, &lt);
    detect_persian(*code, &lt, info);
    // FARSI comes only from ARABIC here: the confidence goes with it.
    if (lt.main_lang == LANGTYPE_FARSI || lt.sec_lang == LANGTYPE_FARSI)
      lang_conf[LANGTYPE_FARSI] = lang_conf[LANGTYPE_ARABIC];
    *value = ccode_pack_langs(lt, lang_conf);
    if (conf != nullptr) std::copy(lang_conf, lang_conf + kLangs, conf);
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
    std::copy(lang_conf, lang_conf + kLangs, conf);
  }
  *value = PackTaken(lt, conf);
  return 0;
}
