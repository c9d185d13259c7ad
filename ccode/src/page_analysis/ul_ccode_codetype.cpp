// The page code-type decision.
#include "ul_ccode_codetype.h"

#include <stdint.h>
#include <string.h>

#include <algorithm>

#include "ul_big5_gbk.h"
#include "ul_ccode_codetype_parts.h"
#include "ul_ccode_conv.h"
#include "ul_ccode_data.h"
#include "ul_ccode_pagetables.h"
#include "ul_ccode_type.h"
#include "ul_log.h"

int g_for_jp = 0;

namespace {

// The vote's winner decides when its confidence x 100 is above
// kAloneMark (461 and up), or above kCharsetMark (359 and up) when the
// declared charset names the same code type.
constexpr int kCharsetMark = 35804;
constexpr int kAloneMark = 46034;

// Bigram hits of content after a table conversion to GBI; a failed
// conversion (no grid loaded) leaves nothing to scan and gives 0.
int GbiHits(const _ccode_info_t* info, int (*to_gbi)(const unsigned char*, unsigned char*, int),
            const ccode_bigramset_t& set, int* second_hits, const ccode_bigramset_t* second) {
  unsigned char gbi[sizeof(info->content) + 1];
  const int len = info->content_len;
  const bool ok = len > 0 && to_gbi(reinterpret_cast<const unsigned char*>(info->content), gbi, len) >= 0;
  const char* text = reinterpret_cast<const char*>(gbi);
  if (second != nullptr) *second_hits = ok ? check_bigram(*second, text, len) : 0;
  return ok ? check_bigram(set, text, len) : 0;
}

// hits x 2 x 1023 / pairs, 0 without pairs.
int BigramScore(int hits, int pairs) { return pairs == 0 ? 0 : hits * 2 * kCertain / pairs; }

bool Contains(const char* s, const char* part) { return strstr(s, part) != nullptr; }

struct Candidate {
  int (*scorer)(_ccode_info_t*);
  int codetype;
};

const Candidate kCandidates[] = {
    {codetype_gbk, CODETYPE_GB},      {codetype_big5, CODETYPE_BIG5},   {codetype_sjis, CODETYPE_SJIS},
    {codetype_eucjp, CODETYPE_EUCJP}, {codetype_euckr, CODETYPE_EUCKR},
};

// Hits H and characters N of candidate i, read after all scorers ran.
void HitsAndChars(const _ccode_info_t* info, int i, int* h, int* n) {
  switch (i) {
    case 0:
      *h = info->ginfo.gbk_bigram + info->ginfo.gbkjp_bigram;
      *n = info->ginfo.gbk_count + info->ginfo.gbk_jp_count;
      return;
    case 1:
      *h = info->big5_bigram;
      *n = info->big5_count;
      return;
    case 2:
      *h = info->sjis_bigram;
      *n = info->sjis_count;
      return;
    case 3:
      *h = info->eucjp_bigram;
      *n = info->eucjp_count;
      return;
    default:
      *h = info->euckr_bigram;
      *n = info->euckr_count;
      return;
  }
}

}  // namespace

void ccode_bigram_vote(_ccode_info_t* info, ShortPages short_pages) {
  int best = -1, second = -1, best_i = -1, second_i = -1;
  for (int i = 0; i < static_cast<int>(sizeof(kCandidates) / sizeof(kCandidates[0])); ++i) {
    const int score = kCandidates[i].scorer(info);
    if (score > best) {
      second = best;
      second_i = best_i;
      best = score;
      best_i = i;
    } else if (score > second) {
      second = score;
      second_i = i;
    }
  }
  if (best_i < 0 || second_i < 0 || best < 1) return;
  const int best_type = kCandidates[best_i].codetype;
  const int second_type = kCandidates[second_i].codetype;
  info->bigram_codetype = best_type;
  int h, n;
  HitsAndChars(info, best_i, &h, &n);
  bool accepted = h > 10 || h * 5 > n;
  if (!accepted && short_pages == ShortPages::kLenient && info->real_count < 20) {
    accepted = (h >= 7 || h * 6 > n) && best_type != CODETYPE_EUCJP;
  }
  if (!accepted && n * 100 > info->twobyte_count * 95 && h > 0) {
    accepted = best_type != CODETYPE_GB && best_type != CODETYPE_BIG5;  // weak: not for Chinese
  }
  if (!accepted) {
    info->bigram_confidence = 0;
    return;
  }
  info->bigram_confidence = (best - second) * kCertain / best;
  if ((best_type == CODETYPE_EUCJP && second_type == CODETYPE_GB) ||
      (best_type == CODETYPE_GB && second_type == CODETYPE_EUCJP)) {
    info->bigram_confidence = kCertain;
  }
}

int ccode_vote_outcome(const _ccode_info_t* info, int undecided) {
  if (info->bigram_codetype != -1) {
    const int conf100 = info->bigram_confidence * 100;
    if (conf100 > kAloneMark || (conf100 > kCharsetMark && info->bigram_codetype == info->charset_codetype)) {
      return info->bigram_codetype;
    }
    return undecided;
  }
  return info->charset_codetype != -1 ? info->charset_codetype : undecided;
}

int check_bigram(const ccode_bigramset_t& set, const char* text, int len) {
  if (text == nullptr) return 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  // The compact copy of a loaded set answers as the set does, faster.
  const CcodeKeySet* copy = ccode_bigram_copy(set);
  int hits = 0;
  for (int i = 0; i + 4 <= len;) {
    const uint32_t key = p[i] | p[i + 1] << 8 | p[i + 2] << 16 | static_cast<uint32_t>(p[i + 3]) << 24;
    if (copy != nullptr ? copy->Contains(key) : set.count(key) != 0) {
      ++hits;
      i += 4;
    } else {
      i += 2;
    }
  }
  return hits;
}

// --- scorers -----------------------------------------------------------------

int codetype_ascii(_ccode_info_t* info) {
  const int pairs = info->twobyte_count;
  if (pairs == 0) return kCertain;
  if (pairs > 39 || pairs * 500 >= info->page_length) return 0;
  if (info->ginfo.gbk_count != 0 || info->big5_count != 0 || info->sjis_count != 0 || info->eucjp_count != 0 ||
      info->euckr_count != 0) {
    return 0;
  }
  return kCertain;
}

int codetype_iso_8859_1(_ccode_info_t* info) {
  const int pairs = info->twobyte_count;
  if (Contains(info->charset, "iso-8859") || Contains(info->charset, "windows-1252")) {
    return pairs == 0 ? kCertain : kCertain - ((pairs - info->sole_count) * kCertain) / pairs;
  }
  if (info->charset[0] != '\0' || pairs != info->sole_count) return 0;
  if (g_for_jp == 0) return kCertain;
  return info->sjis_count != 0 || info->eucjp_count != 0 ? 0 : kCertain;
}

int codetype_utf8(_ccode_info_t* info) {
  if (info->bom_count != 0) return kCertain;
  const int ascii = info->uinfo.utf8_ascii;
  if (ascii >= info->content_len) return 0;
  const int good = info->uinfo.utf8_goodbytes;
  const int pct = good * 100 / (info->content_len - ascii);
  if (pct >= 95) return kCertain;
  if (pct >= 90 && good > 29) return kCertain;
  if (info->charset_codetype == CODETYPE_UTF8 && pct >= 70 && good >= 50) return kCertain;
  return 0;
}

int codetype_gbk(_ccode_info_t* info) {
  info->ginfo.gbk_bigram = GbiHits(info, ul_gbk_gbi_str, l_setWords, &info->ginfo.gbkjp_bigram, &l_setGbkjp);
  const int pairs = info->twobyte_count;
  if (pairs == 0) return 0;
  return std::min(kCertain, BigramScore(info->ginfo.gbk_bigram + info->ginfo.gbkjp_bigram, pairs));
}

int codetype_big5(_ccode_info_t* info) {
  info->big5_bigram = GbiHits(info, ul_big5_gbi_str, l_setWords, nullptr, nullptr);
  return BigramScore(info->big5_bigram, info->twobyte_count);
}

int codetype_sjis(_ccode_info_t* info) {
  info->sjis_bigram = check_bigram(l_setSjis, info->content, info->content_len);
  return BigramScore(info->sjis_bigram, info->twobyte_count);
}

int codetype_eucjp(_ccode_info_t* info) {
  info->eucjp_bigram = check_bigram(l_setEucjp, info->content, info->content_len);
  return BigramScore(info->eucjp_bigram, info->twobyte_count);
}

int codetype_euckr(_ccode_info_t* info) {
  info->euckr_bigram = check_bigram(l_setEuckr, info->content, info->content_len);
  return BigramScore(info->euckr_bigram, info->twobyte_count);
}

// --- the decision --------------------------------------------------------------

int ccode_detect_codetype(_ccode_info_t* info) {
  if (info == nullptr) {
    ul_writelog(UL_LOG_FATAL, "invalid parameter in function 'ccode_detect_codetype'.\n");
    return -1;
  }
  if (info->page_length == 0 || info->frontpage_flag) return CODETYPE_NONE;
  if (info->jis_flag_count > 1) return CODETYPE_JIS;
  if (codetype_ascii(info) == kCertain) return CODETYPE_ASCII;
  if (codetype_iso_8859_1(info) * 100 > kLatin1Mark) return CODETYPE_ISO_8859_1;
  if (codetype_utf8(info) == kCertain) return CODETYPE_UTF8;
  ccode_bigram_vote(info, ShortPages::kLenient);
  return ccode_vote_outcome(info, CODETYPE_NONE);
}

int ul_ccode_detect_codetype(const char* page, const char* url, const char* charset, const char* content,
                             int* codetype) {
  if (page == nullptr || url == nullptr || codetype == nullptr) {
    ul_writelog(UL_LOG_FATAL, "invalid parameter in function 'ul_ccode_detect'.\n");
    return -1;
  }
  _ccode_info_t* info = get_ccode_info();
  if (info == nullptr) return -1;
  ccode_info_clean(info);
  if (ccode_info_compute(info, page, url, charset, content) != 1) return -1;
  *codetype = ccode_detect_codetype(info);
  return 1;
}
