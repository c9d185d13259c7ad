// Character classes and language tests.
#include "ul_ccode_class.h"

#include <errno.h>
#include <stddef.h>

#include "ul_ccode_next.h"
#include "ul_ccode_type.h"

namespace {

struct Range {
  unsigned lo, hi;
};

template <size_t N>
bool InRanges(const Range (&ranges)[N], unsigned v) {
  for (const Range& r : ranges) {
    if (v >= r.lo && v <= r.hi) return true;
  }
  return false;
}

inline bool In(unsigned v, unsigned lo, unsigned hi) { return v >= lo && v <= hi; }

inline unsigned Byte(const char* s, int i) { return static_cast<unsigned char>(s[i]); }

// ASCII classes of the C locale, whatever locale the process runs in.
inline bool AsciiSpace(unsigned b) { return b == ' ' || In(b, '\t', '\r'); }
inline bool AsciiDigit(unsigned b) { return In(b, '0', '9'); }
inline bool AsciiAlpha(unsigned b) { return In(b | 0x20, 'a', 'z'); }
inline bool AsciiPunct(unsigned b) {
  return In(b, 0x21, 0x2F) || In(b, 0x3A, 0x40) || In(b, 0x5B, 0x60) || In(b, 0x7B, 0x7E);
}
inline bool AsciiControl(unsigned b) { return In(b, 0x01, 0x08) || In(b, 0x0E, 0x1B) || b == 0x7F; }

// The code point of the UTF-8 character of n bytes (2, 3 or 4) at s.
unsigned CodePoint(const char* s, int n) {
  switch (n) {
    case 2:
      return (Byte(s, 0) & 0x1Fu) << 6 | (Byte(s, 1) & 0x3Fu);
    case 3:
      return get_unicode(s);
    case 4:
      return (Byte(s, 0) & 0x07u) << 18 | (Byte(s, 1) & 0x3Fu) << 12 | (Byte(s, 2) & 0x3Fu) << 6 |
             (Byte(s, 3) & 0x3Fu);
    default:
      return Byte(s, 0);
  }
}

// A two-byte pair as (lead << 8) | trail; reads the trail only after a
// non-NUL lead.
inline unsigned Pair(const char* s) { return s[0] == '\0' ? 0 : Byte(s, 0) << 8 | Byte(s, 1); }

bool IsGbFamily(int codetype) { return codetype == CODETYPE_GB || codetype == CODETYPE_GBK; }

// The code point of a UTF-8 three-byte character at s, or 0 when the
// character there is not one.
unsigned Utf8Three(const char* s) { return ul_ccode_next_utf8(s) == 3 ? get_unicode(s) : 0; }

const Range kCjkUtf8Three[] = {{0x4E00, 0x9FCB}, {0x3400, 0x4DBF}};
const Range kCjkUtf8Four[] = {{0x20000, 0x2A6D6}};
const Range kCjkGbFour[] = {{0x8139EE39, 0x82358738}, {0x95328236, 0x9835F336}};
const Range kKoreanGbFour[] = {{0x81339D36, 0x8133B635}, {0x8139A933, 0x8139B734}, {0x8237CF35, 0x8336BE36}};

const Range kPunctGb[] = {{0xA1A2, 0xA1A8}, {0xA1AA, 0xA1FE}, {0xA3A1, 0xA3AF},
                          {0xA3BA, 0xA3C0}, {0xA3DB, 0xA3E0}, {0xA3FB, 0xA3FE}};
const Range kPunctUtf8[] = {{0x2010, 0x2027}, {0x2030, 0x205E}, {0x2062, 0x2064}, {0x3001, 0x3020},
                            {0xFE10, 0xFE19}, {0xFE30, 0xFE4F}, {0xFF01, 0xFF0F}, {0xFF1A, 0xFF20},
                            {0xFF3B, 0xFF40}, {0xFF5B, 0xFF65}};

// The Chinese numerals zero, one .. nine, ten.
const unsigned kCnDigitGb[] = {0xC1E3, 0xD2BB, 0xB6FE, 0xC8FD, 0xCBC4, 0xCEE5,
                               0xC1F9, 0xC6DF, 0xB0CB, 0xBEC5, 0xCAAE};
const unsigned kCnDigitUtf8[] = {0x96F6, 0x4E00, 0x4E8C, 0x4E09, 0x56DB, 0x4E94,
                                 0x516D, 0x4E03, 0x516B, 0x4E5D, 0x5341};

// Symbol marks of UTF-8 text (two- and three-byte characters).
const Range kMarkUtf8[] = {
    {0x00A1, 0x00A9}, {0x00AB, 0x00AC}, {0x00AE, 0x00B1}, {0x00B4, 0x00B4}, {0x00B6, 0x00BB},
    {0x00D7, 0x00D7}, {0x00F7, 0x00F7}, {0x02C7, 0x02C7}, {0x02C9, 0x02CB}, {0x02D9, 0x02D9},
    {0x2010, 0x2019}, {0x201A, 0x201F}, {0x2020, 0x2027}, {0x2030, 0x2039}, {0x203A, 0x203F},
    {0x2040, 0x2043}, {0x2045, 0x2046}, {0x2103, 0x2103}, {0x2105, 0x2105}, {0x2109, 0x2109},
    {0x2116, 0x2116}, {0x2190, 0x2199}, {0x219A, 0x219F}, {0x21A0, 0x21EA}, {0x2200, 0x229F},
    {0x22A0, 0x22F1}, {0x2300, 0x2300}, {0x2302, 0x236F}, {0x2370, 0x2373}, {0x2440, 0x244A},
    {0x2500, 0x258F}, {0x2590, 0x2595}, {0x25A0, 0x25EF}, {0x2600, 0x260F}, {0x2610, 0x2613},
    {0x261A, 0x261F}, {0x2620, 0x266F}, {0x2701, 0x2704}, {0x2706, 0x2709}, {0x270C, 0x270F},
    {0x2710, 0x2727}, {0x2729, 0x2752}, {0x2756, 0x2756}, {0x2758, 0x275B}, {0x275D, 0x275D},
    {0x2761, 0x2767}, {0x2794, 0x2794}, {0x2798, 0x2799}, {0x279A, 0x279F}, {0x27A0, 0x27AF},
    {0x27B1, 0x27BE}, {0x3000, 0x3004}, {0x3007, 0x3009}, {0x300A, 0x300F}, {0x3010, 0x3019},
    {0x301A, 0x301F}, {0x3020, 0x3020}, {0x302A, 0x302F}, {0x3030, 0x3037}, {0x303F, 0x303F},
    {0x3099, 0x3099}, {0x309A, 0x309A}, {0x30FB, 0x30FB}, {0xFE30, 0xFE31}, {0xFE33, 0xFE44},
    {0xFE49, 0xFE52}, {0xFE54, 0xFE57}, {0xFE59, 0xFE66}, {0xFE68, 0xFE6B}, {0xFF01, 0xFF0F},
    {0xFF1A, 0xFF20}, {0xFF3B, 0xFF40}, {0xFF5B, 0xFF5E}, {0xFF9E, 0xFF9F}, {0xFFE0, 0xFFE5},
    {0xFFE8, 0xFFEE},
};

// Symbol marks of GB text: two-byte pairs and four-byte codes (big-endian).
const Range kMarkGbTwo[] = {
    {0xA1A1, 0xA1A8}, {0xA1AA, 0xA1FE}, {0xA3A1, 0xA3AF}, {0xA3BA, 0xA3C0}, {0xA3DB, 0xA3E0},
    {0xA3FB, 0xA3FE}, {0xA6E0, 0xA6EB}, {0xA6EE, 0xA6F2}, {0xA6F4, 0xA6F5}, {0xA840, 0xA895},
    {0xA955, 0xA957}, {0xA95C, 0xA95C}, {0xA968, 0xA988}, {0xA996, 0xA996}, {0xA9A4, 0xA9EF},
};
const Range kMarkGbFour[] = {
    {0x8136A532, 0x8136A539}, {0x8136A630, 0x8136A634}, {0x8136A733, 0x8136A739}, {0x8136A830, 0x8136A837},
    {0x8136A839, 0x8136A839}, {0x8136A930, 0x8136A930}, {0x8136C732, 0x8136CF34}, {0x8136D136, 0x8136E630},
    {0x8136E735, 0x8136E735}, {0x8136E737, 0x8136F231}, {0x8136F233, 0x8136F239}, {0x81378934, 0x81378A34},
    {0x81379736, 0x81379935}, {0x81379A36, 0x8137A130}, {0x8137A237, 0x8137A433}, {0x8137A530, 0x8137AD33},
    {0x8137BB39, 0x8137BB39}, {0x8137BC30, 0x8137BC32}, {0x8137BC34, 0x8137BC37}, {0x8137BD30, 0x8137BF37},
    {0x8137BF39, 0x8137C333}, {0x8137C335, 0x8137C335}, {0x8137C337, 0x8137C430}, {0x8137C434, 0x8137C434},
    {0x8137C436, 0x8137C532}, {0x8137C535, 0x8137C631}, {0x8137CA36, 0x8137CA36}, {0x8137CB30, 0x8137CD33},
    {0x8137CD35, 0x8137CE38}, {0x8139A336, 0x8139A537}, {0x8139A634, 0x8139A634}, {0x8139A731, 0x8139A732},
    {0x8139A739, 0x8139A739}, {0x8431A236, 0x8431A332}, {0x81308433, 0x81308438}, {0x81308530, 0x81308531},
    {0x81308533, 0x81308534}, {0x81308537, 0x81308537}, {0x81308539, 0x81308633}, {0x84319B38, 0x84319B39},
};

template <size_t N>
bool OneOf(const unsigned (&list)[N], unsigned v) {
  for (unsigned x : list) {
    if (x == v) return true;
  }
  return false;
}

// A Chinese character of n bytes at s (a valid character of that length).
bool IsCjk(const char* s, int n, int codetype) {
  if (codetype == CODETYPE_UTF8) {
    if (n == 3) return InRanges(kCjkUtf8Three, get_unicode(s));
    return n == 4 && InRanges(kCjkUtf8Four, CodePoint(s, 4));
  }
  if (!IsGbFamily(codetype)) return false;
  if (n == 2) return !In(Byte(s, 0), 0xA1, 0xA9);
  return n == 4 && codetype == CODETYPE_GB && InRanges(kCjkGbFour, get_uint(s, 4));
}

int Invalid() {
  errno = EINVAL;
  return -1;
}

// The language test (1..4) on a valid character of charlen bytes.
bool IsLang(const char* s, int charlen, int langtype, int codetype) {
  if (codetype == CODETYPE_UTF8) {
    if (charlen == 4) {
      return (langtype == CCODE_LANG_SIMP || langtype == CCODE_LANG_TRAD) && InRanges(kCjkUtf8Four, CodePoint(s, 4));
    }
    if (charlen != 3) return false;
    const unsigned cp = get_unicode(s);
    const unsigned bits = g_lang_mask[cp];
    switch (langtype) {
      case CCODE_LANG_SIMP:
        return bits & 8;
      case CCODE_LANG_TRAD:
        return bits & 4;
      case CCODE_LANG_JP:
        return In(cp, 0x30A0, 0x30F6) || (In(cp, 0x3041, 0x309F) && cp != 0x3097 && cp != 0x3098) || (bits & 2);
      default:
        return In(cp, 0xAC00, 0xD7AF) || In(cp, 0x1100, 0x11FF) || In(cp, 0x3130, 0x318F) ||
               In(cp, 0xFF00, 0xFFEF) || (bits & 1);
    }
  }
  if (!IsGbFamily(codetype)) return false;  // ASCII text: only language 0
  if (charlen == 4) {
    if (codetype != CODETYPE_GB) return false;
    const unsigned v = get_uint(s, 4);
    if (langtype == CCODE_LANG_KR) return InRanges(kKoreanGbFour, v);
    return (langtype == CCODE_LANG_SIMP || langtype == CCODE_LANG_TRAD) && InRanges(kCjkGbFour, v);
  }
  if (charlen != 2) return false;
  const unsigned pair = Pair(s);
  const unsigned bits = g_lang_mask[pair];
  switch (langtype) {
    case CCODE_LANG_SIMP:
      return bits & 0x80;
    case CCODE_LANG_TRAD:
      return bits & 0x40;
    case CCODE_LANG_JP:
      return Byte(s, 0) == 0xA4 || Byte(s, 0) == 0xA5 || (bits & 0x20);
    default:
      return bits & 0x10;
  }
}

// Walks the characters of the first sz bytes of s (up to a NUL) in codetype,
// calling f(position, length) for each until it answers false or a character
// is invalid.
template <typename F>
void Walk(const char* s, int sz, int codetype, F f) {
  int pos = 0;
  while (pos < sz && s[pos] != '\0') {
    const int n = ul_ccode_nextn(s + pos, sz - pos, codetype);
    if (n == 0 || !f(s + pos, n)) return;
    pos += n;
  }
}

// Scans the bytes of the first sz bytes of s (up to a NUL): 1 when some byte
// passes test, else 0; -1 (EINVAL) for NULL or sz < 1.
template <typename F>
int AnyByte(const char* s, int sz, F test) {
  if (s == nullptr || sz < 1) return Invalid();
  for (int i = 0; i < sz && s[i] != '\0'; ++i) {
    if (test(Byte(s, i))) return 1;
  }
  return 0;
}

bool HandledType(int codetype) {
  return codetype == CODETYPE_UTF8 || codetype == CODETYPE_GB || codetype == CODETYPE_GBK ||
         codetype == CODETYPE_ASCII;
}

// The word counts: ASCII characters that count_ascii accepts, and Chinese
// characters.
template <typename F>
int WordCount(const char* s, int sz, int codetype, F count_ascii) {
  if (s == nullptr || sz < 1) return Invalid();
  if (!HandledType(codetype)) return 0;
  int count = 0;
  int pos = 0;
  while (pos < sz && s[pos] != '\0') {
    const unsigned b = Byte(s, pos);
    if (codetype == CODETYPE_ASCII || b < 0x80) {
      if (b < 0x80 && count_ascii(b)) ++count;
      ++pos;  // in ASCII text a high byte is skipped
      continue;
    }
    const int n = ul_ccode_nextn(s + pos, sz - pos, codetype);
    if (n == 0) break;
    if (IsCjk(s + pos, n, codetype)) ++count;
    pos += n;
  }
  return count;
}

}  // namespace

// --- one character ------------------------------------------------------------

int ul_ccode_isspace(const char* str, int codetype) {
  if (str == nullptr) return Invalid();
  const unsigned b0 = Byte(str, 0);
  switch (codetype) {
    case CODETYPE_UTF8:
      return AsciiSpace(b0) || (b0 == 0xE3 && Byte(str, 1) == 0x80 && Byte(str, 2) == 0x80);
    case CODETYPE_GB:
    case CODETYPE_GBK:
      return AsciiSpace(b0) || (b0 == 0xA1 && Byte(str, 1) == 0xA1);
    case CODETYPE_ASCII:
      return AsciiSpace(b0);
    default:
      return 0;
  }
}

int ul_ccode_ispunct(const char* str, int codetype) {
  if (str == nullptr) return Invalid();
  if (!HandledType(codetype)) return 0;
  const unsigned b0 = Byte(str, 0);
  if (b0 < 0x80) return AsciiPunct(b0);
  if (IsGbFamily(codetype)) return InRanges(kPunctGb, Pair(str));
  // A three-byte character only: the bytes of a shorter one followed by
  // others are no punctuation mark.
  return codetype == CODETYPE_UTF8 && InRanges(kPunctUtf8, Utf8Three(str));
}

int ul_ccode_isspecial(const char* str, int codetype) {
  if (str == nullptr) return Invalid();
  if (!HandledType(codetype)) return 0;
  const unsigned b0 = Byte(str, 0);
  if (AsciiControl(b0)) return 1;
  return codetype == CODETYPE_UTF8 && b0 == 0xC2 && In(Byte(str, 1), 0x80, 0x9F);
}

int ul_ccode_is_cn_digit(const char* str, int codetype) {
  if (str == nullptr) return Invalid();
  if (IsGbFamily(codetype)) return OneOf(kCnDigitGb, Pair(str));
  return codetype == CODETYPE_UTF8 && OneOf(kCnDigitUtf8, Utf8Three(str));
}

int ul_ccode_is_single_cnchar(const char* str, int codetype) {
  if (str == nullptr) return Invalid();
  if (codetype != CODETYPE_UTF8 && !IsGbFamily(codetype)) return 0;
  return IsCjk(str, ul_ccode_next(str, codetype), codetype);
}

int ul_ccode_is_pajm(const char* str, int codetype) {
  if (str == nullptr) return Invalid();
  if (IsGbFamily(codetype)) return In(Pair(str), 0xA5A1, 0xA5F6);
  return codetype == CODETYPE_UTF8 && In(Utf8Three(str), 0x30A0, 0x30F6);
}

int ul_ccode_is_pijm(const char* str, int codetype) {
  if (str == nullptr) return Invalid();
  if (IsGbFamily(codetype)) return In(Pair(str), 0xA4A1, 0xA4F3);
  if (codetype != CODETYPE_UTF8) return 0;
  const unsigned cp = Utf8Three(str);
  return In(cp, 0x3041, 0x309F) && cp != 0x3097 && cp != 0x3098;
}

int ul_ccode_is_EnAscii(const char* str) {
  if (str == nullptr) return Invalid();
  return AsciiAlpha(Byte(str, 0));
}

int ul_ccode_is_gb_mark(const char* str) {
  if (str == nullptr) return Invalid();
  return ul_ccode_next_gbk(str) == 2 && In(Byte(str, 0), 0xA1, 0xA9);
}

int ul_ccode_is_gb_space(const char* str) {
  if (str == nullptr) return Invalid();
  const unsigned pair = Pair(str);
  return pair == 0xA1A1 || pair == 0xA3AC || pair == 0xA1A3 || pair == 0xA3AE;
}

int ul_ccode_2bytes_iscn(const char* str) {
  if (str == nullptr) return Invalid();
  return ul_ccode_next_gbk(str) == 2 && !In(Byte(str, 0), 0xA1, 0xA9);
}

int ul_ccode_is_mark(const char* str, int codetype) {
  if (str == nullptr || !HandledType(codetype)) return Invalid();
  if (ul_ccode_ispunct(str, codetype) == 1) return 1;
  const unsigned b0 = Byte(str, 0);
  if (b0 == 0) return Invalid();
  if (b0 < 0x80) return AsciiAlpha(b0) || AsciiDigit(b0) ? 0 : 1;
  if (codetype == CODETYPE_ASCII) return 0;
  if (codetype == CODETYPE_UTF8) {
    const int n = ul_ccode_next_utf8(str);
    if (n == 0) return Invalid();
    return InRanges(kMarkUtf8, CodePoint(str, n));  // four-byte characters lie above every range
  }
  const int n = ul_ccode_next_gb18030(str);  // GB and GBK alike
  if (n == 0) return Invalid();
  return n == 2 ? InRanges(kMarkGbTwo, Pair(str)) : InRanges(kMarkGbFour, get_uint(str, 4));
}

int ul_ccode_is_lang(const char* str, int charlen, int langtype, int codetype) {
  if (str == nullptr) return Invalid();
  if (langtype < CCODE_LANG_ASCII || langtype > CCODE_LANG_KR || !HandledType(codetype)) return 0;
  if (langtype == CCODE_LANG_ASCII) return Byte(str, 0) < 0x80;
  // The character must be charlen bytes long: nothing past it is read.
  if (ul_ccode_nextn(str, charlen, codetype) != charlen) return 0;
  return IsLang(str, charlen, langtype, codetype);
}

// --- strings ---------------------------------------------------------------

int ul_ccode_pure_ascii(const char* str, int szStr) {
  const int any = AnyByte(str, szStr, [](unsigned b) { return b >= 0x80; });
  return any < 0 ? any : !any;
}

int ul_ccode_pure_digit(const char* str, int szStr) {
  const int any = AnyByte(str, szStr, [](unsigned b) { return !AsciiDigit(b); });
  return any < 0 ? any : !any;
}

int ul_ccode_pure_lang(const char* str, int szStr, int langtype, int codetype) {
  if (str == nullptr || szStr < 1) return Invalid();
  int pure = 1;
  Walk(str, szStr, codetype, [&](const char* c, int n) {
    if (ul_ccode_is_lang(c, n, langtype, codetype) == 0) pure = 0;
    return pure == 1;
  });
  return pure;
}

int ul_ccode_include_alpha(const char* str, int szStr) { return AnyByte(str, szStr, AsciiAlpha); }

int ul_ccode_include_digit(const char* str, int szStr) { return AnyByte(str, szStr, AsciiDigit); }

int ul_ccode_include_punct(const char* str, int szStr) { return AnyByte(str, szStr, AsciiPunct); }

int ul_ccode_include_special(const char* str, int szStr, int codetype) {
  if (str == nullptr || szStr < 1) return Invalid();
  int found = 0;
  Walk(str, szStr, codetype, [&](const char* c, int n) {
    if (n > 2) return false;
    found = ul_ccode_isspecial(c, codetype) == 1;
    return found == 0;
  });
  return found;
}

int ul_ccode_include_lang(const char* str, int szStr, int langtype_bits, int codetype) {
  if (str == nullptr || szStr < 1) return Invalid();
  const int wanted = langtype_bits & 0x1F;
  int found = 0;
  Walk(str, szStr, codetype, [&](const char* c, int n) {
    for (int lang = CCODE_LANG_ASCII; lang <= CCODE_LANG_KR; ++lang) {
      const int bit = 1 << lang;
      if ((wanted & bit) && !(found & bit) && ul_ccode_is_lang(c, n, lang, codetype) == 1) found |= bit;
    }
    return found != wanted;
  });
  return found;
}

// --- counts ----------------------------------------------------------------

int ul_ccode_len(const char* str, int szStr, int codetype) {
  if (str == nullptr || szStr < 0) return Invalid();
  int count = 0;
  Walk(str, szStr, codetype, [&](const char*, int) { return ++count > 0; });
  return count;
}

int ul_ccode_len_nospace(const char* str, int szStr, int codetype) {
  if (str == nullptr || szStr < 1) return Invalid();
  int count = 0;
  Walk(str, szStr, codetype, [&](const char* c, int) {
    if (ul_ccode_isspace(c, codetype) != 1) ++count;
    return true;
  });
  return count;
}

int ul_ccode_valid_word_len(const char* str, int szStr, int codetype) {
  return WordCount(str, szStr, codetype, [](unsigned b) { return AsciiAlpha(b) || AsciiDigit(b); });
}

int ul_ccode_word_len(const char* str, int szStr, int codetype) {
  return WordCount(str, szStr, codetype, [](unsigned) { return true; });
}
