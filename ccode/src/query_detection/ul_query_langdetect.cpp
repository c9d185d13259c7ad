// Query-language detection: the readings of a query in each plausible code
// type, word and character scoring of each reading, and the ranked output.
#include <limits.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <charconv>
#include <memory>
#include <string>
#include <vector>

#include "ul_ccode_confidence.h"
#include "ul_ccode_conv.h"
#include "ul_ccode_iconv.h"
#include "ul_ccode_next.h"
#include "ul_ccode_querylang.h"
#include "ul_ccode_type.h"
#include "ul_gb18030.h"
#include "ul_log.h"
#include "ul_pack.h"
#include "ul_ccode_querylang_parts.h"
#include "ul_query_page_reading.h"

namespace {

constexpr int kQueryMax = 10240;  // a query is cut to this many bytes
constexpr int kSlots = 14;        // candidates written out
constexpr int kCodeTypes = 33;
constexpr const char kFunc[] = "ul_ccode_query_detect";

// Thai and Arabic letters as packed UTF-8, half-open ranges.
constexpr unsigned int kThaiFirst = 0xE0B881, kThaiLast = 0xE0B99B;
constexpr unsigned int kArabFirst = 0xD8A1, kArabLast = 0xD9A9;

// Appends a fixed candidate (code, lang, trusts -1): 1, or 0 when the list
// is missing or full.
int AddFixed(CODELANG_VECTOR* info, unsigned int& count, int code, int lang) {
  if (info == nullptr || count >= info->size()) return 0;
  (*info)[count++] = _CODELANG_INFO{static_cast<char>(code), static_cast<char>(lang), -1, -1, INT_MIN};
  return 1;
}

// One code type's reading of the query: the blocks of phase 1.
struct OtherBlock {
  int code;
  const char* langs;  // languages after English, as _LANG_T bytes
  int nlangs;
  const char* suffix;
  const char* fail;
  const char* fail_english;
};

const char kBig5Langs[] = {TRAD_CN};
const char kJpLangs[] = {JP};
const char kThaiLangs[] = {THAI};
const char kArabLangs[] = {ARABIC};
const char kVnLangs[] = {VN};
const char kLatin1Langs[] = {POR, SPAN, FRCH};

const OtherBlock kOtherBlocks[] = {
    {CODETYPE_BIG5, kBig5Langs, 1, "BIG5.", "check big5 fail in func %s.", nullptr},
    {CODETYPE_EUCJP, kJpLangs, 1, "EUCJP.", "check euc_jp fail in func %s.", nullptr},
    {CODETYPE_SJIS, kJpLangs, 1, "SJIS.", "check sjis fail in func %s.", nullptr},
    {CODETYPE_TIS620, kThaiLangs, 1, "TIS620.", "check tis620 fail in func %s.", nullptr},
    {CODETYPE_WIN874, kThaiLangs, 1, "win874.", "check win874 fail in func %s.", nullptr},
    {CODETYPE_WIN1256, kArabLangs, 1, "WIN1256.", "check win1256 fail in func %s.", nullptr},
    {CODETYPE_ISO_8859_6, kArabLangs, 1, "ISO_8859_6.", "check iso_8859_6 fail in func %s.", nullptr},
    {CODETYPE_WIN1258, kVnLangs, 1, "WIN1258.", "check win1258 fail in func %s.", nullptr},
    {CODETYPE_ISO_8859_1, kLatin1Langs, 3, "iso8859-1.", "check iso8859 fail in func %s.",
     "check iso8859-1 fail in func %s."},
};

const int kAsciiLangs[] = {EN, THAI, ARABIC, VN, SIMP_CN, JP, TRAD_CN, IN, MY, POR, SPAN, FRCH};
const int kUtf8English[] = {EN, IN, MY};
const int kUtf8Langs[] = {THAI, ARABIC, VN, SIMP_CN, JP, TRAD_CN, POR, FRCH, SPAN};

// The state of one detection call.
class Detection {
 public:
  Detection(CODELANG_VECTOR* info, int hint) : info_(info), hint_(hint) {
    for (int i = 0; i < QUERY_TOP_NUM; ++i) {
      top_[3 * i] = top_[3 * i + 1] = -1;
      top_[3 * i + 2] = INT_MIN;
    }
  }

  // Phase 1, phase 2 and ranking: 1, or -1 when the detection failed
  // before any output (nothing is printed then).
  int Run(const unsigned char* query) {
    len_ = static_cast<int>(strnlen(reinterpret_cast<const char*>(query), kQueryMax));
    slot_size_ = 5 * (len_ + 1) + 1;
    // One block for the copy and the readings a detection usually makes.
    block_.reset(new char[static_cast<size_t>(slot_size_) * kBlockBuffers]);
    blocks_used_ = 0;
    copy_ = Buffer();
    memcpy(copy_, query, static_cast<size_t>(len_));
    copy_[static_cast<size_t>(len_)] = '\0';
    urlflag_ = ul_ccode_check_url(copy_);
    Step step = Phase1();
    if (step == kFail) return -1;
    if (step == kPhase2) step = Phase2();
    if (step == kFail) return -1;
    // The list was emptied before the call and only its first count_
    // entries were filled since.
    if (step == kRank) RankCandidates(info_, count_, ALL_FEATURE);
    return 1;
  }

 private:
  enum Step { kPhase2, kRank, kPrint, kFail, kNext };

  bool Wants(int code) const { return hint_ < 0 || hint_ == code; }

  // A buffer of slot_size_ bytes that lasts as long as the detection.
  char* Buffer() {
    if (blocks_used_ < kBlockBuffers) return block_.get() + static_cast<size_t>(slot_size_) * blocks_used_++;
    extra_.emplace_back(new char[static_cast<size_t>(slot_size_)]);
    return extra_.back().get();
  }

  char* Slot(int code) {
    if (code == CODETYPE_ASCII || code == CODETYPE_UTF8) return copy_;
    char*& s = slots_[code];
    if (s == nullptr) {
      s = Buffer();
      s[0] = '\0';
    }
    return s;
  }

  // What the scoring of one reading finds is kept for its languages: it
  // starts afresh at another code type's reading and between word and
  // character scoring. (Character scoring of Latin text blanks every byte
  // outside a-z in place, the same way each time: what it finds stays true
  // for the next language.)
  bool Score(int code, int lang, int mode) {
    const bool words = mode == WORDS_FEATURE;
    if (code != reading_code_ || words != reading_words_) {
      reading_.Reset();
      reading_code_ = code;
      reading_words_ = words;
    }
    return ul_ccode_langtype_memo(Slot(code), code, &eng_, g_langfeaset, info_, count_, mode, top_, flags_, lang,
                                  start_, &reading_) == 1;
  }

  Step Fail(const char* format, const char* suffix = nullptr) {
    if (suffix != nullptr) {
      std::string message = std::string("ul_ccode_checkeng  is false in func %s ") + suffix;
      ul_writelog(UL_LOG_WARNING, message.c_str(), kFunc);
    } else {
      ul_writelog(UL_LOG_WARNING, format, kFunc);
    }
    return kFail;
  }

  Step Phase1() {
    if (Wants(CODETYPE_ASCII)) {
      const Step s = AsciiBlock();
      if (s != kNext) return s;
    }
    if (Wants(CODETYPE_UTF8)) {
      int code = -1;
      if (ul_ccode_codetypeutf8(reinterpret_cast<unsigned char*>(copy_), &code) == kCertain &&
          code == CODETYPE_UTF8) {
        const Step s = UnicodeBlock(CODETYPE_UTF8, copy_, 50, "UTF8.", "check utf8 fail in func %s.");
        if (s != kNext) return s;
      }
    }
    if (Wants(CODETYPE_GB)) {
      char* slot = Slot(CODETYPE_GB);
      const int r = ul_gb18030_utf8_str(copy_, slot, 5 * (len_ + 1));
      if (r < 0) return kFail;
      if (r == 0) {
        const Step s = UnicodeBlock(CODETYPE_GB, slot, 50, "GB.", "check GB18030 fail in func %s.");
        if (s != kNext) return s;
      }
    }
    for (const OtherBlock& b : kOtherBlocks) {
      if (!Wants(b.code)) continue;
      const Step s = Other(b);
      if (s != kNext) return s;
    }
    return kPhase2;
  }

  Step AsciiBlock() {
    unsigned char* text = reinterpret_cast<unsigned char*>(copy_);
    if (ul_ccode_checkeng_ascii(text, &eng_) != 1) return Fail(nullptr, "ascii.");
    if (eng_ != ALL_ENG) return kNext;
    if (urlflag_ && ul_ccode_url(eng_, copy_, info_, count_, CODETYPE_ASCII, urlflag_) == 1) return kRank;
    ul_ccode_Uppertolower(text);
    for (int lang : kAsciiLangs) {
      if (!Score(CODETYPE_ASCII, lang, WORDS_FEATURE)) return Fail("check ascii fail in func %s.");
    }
    ascii_taken_ = true;
    return kPhase2;
  }

  // The UTF-8 and GB blocks: English, Indonesian and Malay when more than
  // `share` percent of the characters are Latin letters, then the others.
  Step UnicodeBlock(int code, char* slot, int share, const char* suffix, const char* fail) {
    unsigned char* text = reinterpret_cast<unsigned char*>(slot);
    if (hint_ == code) ul_ccode_check_thai_and_arab(text, &notthai_, &notarab_);
    if (ul_ccode_checkeng(text, &eng_, &pct_) != 1) return Fail(nullptr, suffix);
    if (hint_ == code) {
      if (ul_ccode_is_thai(notthai_, info_, count_, code) == 1) start_ = 1;
      if (ul_ccode_is_arab(notarab_, info_, count_, code) == 1) start_ = 1;
    }
    if (ul_ccode_noeng_ascii(eng_, info_, count_, code) == 1) return kRank;
    if (urlflag_ && ul_ccode_url(eng_, slot, info_, count_, code, urlflag_) == 1) return kRank;
    if (pct_ > share) {
      for (int lang : kUtf8English) {
        if (!Score(code, lang, WORDS_FEATURE)) return Fail(fail);
      }
    }
    for (int lang : kUtf8Langs) {
      if (!Score(code, lang, WORDS_FEATURE)) return Fail(fail);
    }
    return kNext;
  }

  Step Other(const OtherBlock& b) {
    start_ = 0;
    char* slot = Slot(b.code);
    // A single-byte page reads byte by byte from its table (the same text
    // the two conversions give); a byte without a reading drops the page.
    const QueryPageReading* page = QueryPageReading::Of(b.code);
    const int read = page != nullptr ? page->Read(copy_, slot) : -1;
    if (read > 0) return kNext;
    if (read < 0) {
      if (work_ == nullptr) work_ = Buffer();
      int r = ul_ccode_to_gb18030(copy_, work_, slot_size_, b.code);
      if (r < 0) return kFail;
      if (r > 0) return kNext;
      r = ul_gb18030_utf8_str(work_, slot, 5 * (len_ + 1));
      if (r < 0) return kFail;
      if (r > 0) return kNext;
    }
    eng_ = pct_ = 0;
    if (ul_ccode_checkeng(reinterpret_cast<unsigned char*>(slot), &eng_, &pct_) != 1) return Fail(nullptr, b.suffix);
    if (ul_ccode_noeng_ascii(eng_, info_, count_, b.code) == 1) return kRank;
    if (urlflag_ && ul_ccode_url(eng_, slot, info_, count_, b.code, urlflag_) == 1) return kRank;
    if (pct_ > 50 && !Score(b.code, EN, WORDS_FEATURE)) return Fail(b.fail_english ? b.fail_english : b.fail);
    for (int i = 0; i < b.nlangs; ++i) {
      if (!Score(b.code, b.langs[i], WORDS_FEATURE)) return Fail(b.fail);
    }
    return kNext;
  }

  Step Phase2() {
    if (top_[0] != -1 && top_[1] != -1) {
      for (int i = 0; !ascii_taken_ && i < QUERY_TOP_NUM; ++i) {
        if (top_[3 * i] == -1 || top_[3 * i + 1] == -1 || top_[3 * i + 2] == INT_MIN) break;
        if (!Score(top_[3 * i], top_[3 * i + 1], CHARS_FEATURE)) return Fail("check char fail in func %s.");
      }
      return kRank;
    }
    RankCandidates(info_, count_, WORDS_FEATURE);
    int scored = 0;
    bool noted = false;
    // Entries from count_ on are empty: skipped.
    for (size_t i = 0; i < info_->size() && i < count_ && scored < QUERY_TOP_NUM; ++i) {
      _CODELANG_INFO& e = (*info_)[i];
      const unsigned char code = static_cast<unsigned char>(e.code_type);
      const unsigned char lang = static_cast<unsigned char>(e.lang_type);
      if (code == 255 && lang == 255) {
        e.trigram_trust = e.words_trust = e.TRUST = INT_MIN;
        continue;
      }
      if (scored == 0) {
        if (e.TRUST == INT_MIN) {
          noted = true;
        } else if (ascii_taken_) {
          return kPrint;
        }
      } else if (e.TRUST == INT_MIN && !noted) {
        break;
      }
      if (code >= kCodeTypes || !Score(code, lang, CHARS_FEATURE)) return Fail("check char fail in func %s.");
      ++scored;
    }
    return kRank;
  }

  CODELANG_VECTOR* info_;
  const int hint_;
  unsigned int count_ = 0;
  int top_[3 * QUERY_TOP_NUM];
  bool flags_[QUERY_FLAG_NUM] = {};
  int eng_ = NONE_ASCII, pct_ = 0;
  int notthai_ = 1, notarab_ = 1;
  int start_ = 0;
  bool urlflag_ = false;
  bool ascii_taken_ = false;
  int len_ = 0, slot_size_ = 0;
  // The copy, the GB reading, one per other block and the work buffer.
  static constexpr size_t kBlockBuffers = 3 + sizeof(kOtherBlocks) / sizeof(kOtherBlocks[0]);
  std::unique_ptr<char[]> block_;
  size_t blocks_used_ = 0;
  std::vector<std::unique_ptr<char[]>> extra_;
  char* copy_ = nullptr;
  char* work_ = nullptr;
  char* slots_[kCodeTypes] = {};
  QueryReading reading_;
  int reading_code_ = -1;
  bool reading_words_ = true;
};

// The package keys of the candidate slots: "All_CodeTrust_<i>",
// "All_LangTrust_<i>" and "All_TRUST_<i>".
struct SlotKeys {
  char code[kSlots][24];
  char lang[kSlots][24];
  char trust[kSlots][24];
};

const SlotKeys& Keys() {
  static const SlotKeys keys = [] {
    SlotKeys k;
    for (int i = 0; i < kSlots; ++i) {
      snprintf(k.code[i], sizeof(k.code[i]), "All_CodeTrust_%d", i);
      snprintf(k.lang[i], sizeof(k.lang[i]), "All_LangTrust_%d", i);
      snprintf(k.trust[i], sizeof(k.trust[i]), "All_TRUST_%d", i);
    }
    return k;
  }();
  return keys;
}

}  // namespace

int ul_ccode_query_detect(unsigned char* query, ul_package* pkg, int* out, int outn, int hint) {
  if (g_langfeaset == nullptr) {
    ul_writelog(UL_LOG_FATAL, "you should use ul_ccode_load first in fun %s!", kFunc);
    return 0;
  }
  CODELANG_VECTOR* info = get_ccode_query_lang();
  if (info == nullptr) {
    ul_writelog(UL_LOG_FATAL, "you should use ul_ccode_conv_open first in func %s!", kFunc);
    return 0;
  }
  if (query == nullptr || (pkg == nullptr && out == nullptr) || (out != nullptr && (outn < 3 || outn > 42)) ||
      hint < -2 || hint > 32) {
    ul_writelog(UL_LOG_FATAL, "invalid param in func %s.", kFunc);
    return 0;
  }
  if (query[0] == '\0') {
    ul_writelog(UL_LOG_WARNING, "query'length is no more than 0 in func %s.", kFunc);
    return 0;
  }
  ClearCandidates(info, kSlots);
  Detection detection(info, hint);
  const int result = detection.Run(query);
  if (result < 0) return 0;
  if (ul_ccode_printresult(pkg, out, outn, info) != 1) {
    ul_writelog(UL_LOG_WARNING, "get top trust or print result fail in func %s.", kFunc);
    return 0;
  }
  return result;
}

namespace {

// The pairs of the candidate slots, entered into a package as
// ul_pack_putvalue enters them one after another. When no name in the
// package begins with "All_" none of them is there yet (they are distinct):
// each is appended while there is room, without a search of the names per
// pair. Otherwise each is entered by ul_pack_putvalue.
class SlotPairs {
 public:
  void Add(const char* name, const char* value) {
    names_[n_] = name;
    values_[n_++] = value;
  }
  void Enter(ul_package* pkg) const {
    const int present = pkg->pairnum < 0 ? 0 : std::min(pkg->pairnum, UL_PACK_MAXPAIRS);
    bool seen = false;
    for (int i = 0; i < present && !seen; ++i) seen = memcmp(pkg->name[i], "All_", 4) == 0;
    if (seen) {
      for (int i = 0; i < n_; ++i) ul_pack_putvalue(pkg, names_[i], values_[i]);
      return;
    }
    int used = present;
    for (int i = 0; i < n_ && used < UL_PACK_MAXPAIRS; ++i, ++used) {
      memcpy(pkg->name[used], names_[i], strlen(names_[i]) + 1);
      memcpy(pkg->value[used], values_[i], strlen(values_[i]) + 1);
    }
    if (used != present) pkg->pairnum = used;
  }

 private:
  const char* names_[3 * kSlots];
  const char* values_[3 * kSlots];
  int n_ = 0;
};

}  // namespace

int ul_ccode_printresult(ul_package* pkg, int* out, int outn, CODELANG_VECTOR* info) {
  if ((pkg == nullptr && out == nullptr) || (out != nullptr && (outn < 3 || outn > 42)) || info == nullptr) {
    ul_writelog(UL_LOG_WARNING, "invalid param in ul_ccode_printresult");
    return 0;
  }
  const int triples = out != nullptr ? outn / 3 : 0;
  const SlotKeys& keys = Keys();
  SlotPairs pairs;
  char trusts[kSlots][16];
  int i = 0;
  for (; i < kSlots && static_cast<size_t>(i) < info->size() && (*info)[static_cast<size_t>(i)].TRUST != INT_MIN;
       ++i) {
    const _CODELANG_INFO& e = (*info)[static_cast<size_t>(i)];
    const int code = static_cast<unsigned char>(e.code_type);
    const int lang = static_cast<unsigned char>(e.lang_type);
    if (pkg != nullptr) {
      const char* code_name = code < kCodeTypes && CODE_STRING[code] != nullptr ? CODE_STRING[code] : "CODETYPE_NONE";
      const char* lang_name = lang < LANGTYPE_END && LANG_STRING[lang] != nullptr ? LANG_STRING[lang] : "LANGTYPE_NONE";
      char* trust = trusts[i];
      *std::to_chars(trust, trust + sizeof(trusts[i]) - 1, e.TRUST).ptr = '\0';
      pairs.Add(keys.code[i], code_name);
      pairs.Add(keys.lang[i], lang_name);
      pairs.Add(keys.trust[i], trust);
    }
    if (i < triples) {
      out[3 * i] = code;
      out[3 * i + 1] = lang;
      out[3 * i + 2] = e.TRUST;
    }
  }
  for (; i < kSlots; ++i) {
    if (pkg != nullptr) {
      pairs.Add(keys.code[i], "CODETYPE_NONE");
      pairs.Add(keys.lang[i], "LANGTYPE_NONE");
      pairs.Add(keys.trust[i], "-2147483648");
    }
    if (i < triples) {
      out[3 * i] = out[3 * i + 1] = -1;
      out[3 * i + 2] = INT_MIN;
    }
  }
  if (pkg != nullptr) pairs.Enter(pkg);
  return 1;
}

// --- helpers -------------------------------------------------------------------

int ul_ccode_checkeng(unsigned char* text, int* eng, int* pct) {
  if (text == nullptr || eng == nullptr) {
    ul_writelog(UL_LOG_WARNING, "invalid param @ ul_ccode_checkeng");
    return 0;
  }
  int letters = 0, others = 0;
  for (unsigned char* p = text; *p != '\0';) {
    const int n = ul_ccode_next(reinterpret_cast<char*>(p), CODETYPE_UTF8);
    if (n < 1) return 0;
    if (n >= 2) {
      ++others;
    } else if (*p >= 'a' && *p <= 'z') {
      ++letters;
    } else if (*p >= 'A' && *p <= 'Z') {
      *p = static_cast<unsigned char>(*p - 'A' + 'a');
      ++letters;
    }
    p += n;
  }
  const int counted = letters + others;
  if (counted == 0) {
    *eng = NONE_ASCII;
    return 1;
  }
  if (pct != nullptr) *pct = letters * 100 / counted;
  *eng = others == 0 ? ALL_ENG : letters == 0 ? NO_ENG : PART_ENG;
  return 1;
}

int ul_ccode_checkeng_ascii(unsigned char* text, int* eng) {
  if (text == nullptr || eng == nullptr) {
    ul_writelog(UL_LOG_WARNING, "invalid param @ ul_ccode_checkeng_ascii");
    return 0;
  }
  size_t n = 0;
  while (text[n] >= 0x01 && text[n] <= 0x7F) ++n;
  *eng = n == 0 ? NONE_ASCII : text[n] == '\0' ? ALL_ENG : PART_ENG;
  return 1;
}

int ul_ccode_Uppertolower(unsigned char* text) {
  if (text == nullptr) {
    ul_writelog(UL_LOG_WARNING, "invalid param @ ul_ccode_Uppertolower");
    return 0;
  }
  for (unsigned char* p = text; *p != '\0'; ++p) {
    if (*p >= 'A' && *p <= 'Z') *p = static_cast<unsigned char>(*p - 'A' + 'a');
  }
  return 1;
}

int ul_ccode_checkblank(unsigned char* text) {
  if (text == nullptr) {
    ul_writelog(UL_LOG_WARNING, "invalid param @ ul_ccode_checkblank");
    return -1;
  }
  return strpbrk(reinterpret_cast<char*>(text), " \t") != nullptr ? 1 : 0;
}

bool ul_ccode_check_url(char* text) {
  // The marks: "." and a top-level domain, "www." or "http:", anywhere.
  static const char* const kDomains[] = {"vn", "com", "cn", "org", "net", "jp", "th",
                                         "ar", "tw",  "id", "my",  "es",  "pt"};
  if (text == nullptr) return false;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == '.') {
      for (const char* domain : kDomains) {
        if (strncmp(p + 1, domain, strlen(domain)) == 0) return true;
      }
    } else if ((*p == 'w' && strncmp(p, "www.", 4) == 0) || (*p == 'h' && strncmp(p, "http:", 5) == 0)) {
      return true;
    }
  }
  return false;
}

int ul_ccode_url(int eng, char* text, CODELANG_VECTOR* info, unsigned int& count, int code, bool urlflag) {
  if (!urlflag || eng != ALL_ENG || text == nullptr || strpbrk(text, " \t") != nullptr) return 0;
  return AddFixed(info, count, code, EN);
}

int ul_ccode_noeng_ascii(int eng, CODELANG_VECTOR* info, unsigned int& count, int code) {
  return eng == NONE_ASCII ? AddFixed(info, count, code, EN) : 0;
}

int ul_ccode_is_thai(int notthai, CODELANG_VECTOR* info, unsigned int& count, int code) {
  return notthai == 0 ? AddFixed(info, count, code, THAI) : 0;
}

int ul_ccode_is_arab(int notarab, CODELANG_VECTOR* info, unsigned int& count, int code) {
  return notarab == 0 ? AddFixed(info, count, code, ARABIC) : 0;
}

int ul_ccode_check_thai_and_arab(unsigned char* text, int* notthai, int* notarab) {
  if (text == nullptr || notthai == nullptr || notarab == nullptr) {
    ul_writelog(UL_LOG_WARNING, "invalid param @ ul_ccode_check_thai_and_arab");
    return 0;
  }
  int chars = 0, thai = 0, arab = 0;
  for (const unsigned char* p = text; *p != '\0';) {
    const int n = ul_ccode_next(reinterpret_cast<const char*>(p), CODETYPE_UTF8);
    if (n < 1) break;
    ++chars;
    if (n == 2 || n == 3) {
      unsigned int v = 0;
      for (int i = 0; i < n; ++i) v = v << 8 | p[i];
      if (v >= kThaiFirst && v < kThaiLast) ++thai;
      if (v >= kArabFirst && v < kArabLast) ++arab;
    }
    p += n;
  }
  // No character at all: no share of either.
  const float t = chars == 0 ? 0.0f : static_cast<float>(thai) / static_cast<float>(chars);
  const float a = chars == 0 ? 0.0f : static_cast<float>(arab) / static_cast<float>(chars);
  if (t == 0) *notthai = 1;
  if (a == 0) *notarab = 1;
  if (a >= t && a > 0.1f) {
    *notarab = 0;
    *notthai = 1;
  }
  if (t >= a && t > 0.1f) {
    *notthai = 0;
    *notarab = 1;
  }
  return 1;
}

int ul_ccode_codetypeutf8(unsigned char* text, int* code) {
  if (text == nullptr || code == nullptr) {
    ul_writelog(UL_LOG_WARNING, "invalid param in ul_ccode_codetypeutf8");
    return -1;
  }
  if (text[0] == '\0') {
    *code = -1;
    return kCertain;
  }
  if (ul_ccode_isutf8(text, true) == 0) {
    *code = CODETYPE_UTF8;
    return kCertain;
  }
  long good = 0, total = 0;
  for (unsigned char* p = text; *p != '\0';) {
    if (*p == ' ') {
      ++p;
      continue;
    }
    const int n = ul_ccode_isutf8(p, false);
    if (n > 0) {
      good += n;
      total += n;
      p += n;
    } else {
      ++total;
      ++p;
    }
  }
  if (total == 0 || good == total) {
    *code = total == 0 ? -1 : CODETYPE_UTF8;
    return kCertain;
  }
  *code = -1;
  return static_cast<int>((1.0 - static_cast<double>(good) / static_cast<double>(total)) * kCertain);
}
