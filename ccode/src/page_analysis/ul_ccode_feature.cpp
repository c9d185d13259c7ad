// Page word features.
#include "ul_ccode_feature.h"

#include <math.h>
#include <string.h>

#include <algorithm>
#include <string_view>

#include "ul_ccode_data.h"
#include "ul_ccode_info_parts.h"
#include "ul_ccode_next.h"
#include "ul_ccode_type.h"
#include "ul_ccode_pagetables.h"
#include "ul_log.h"
#include "ul_utf8_encode.h"

namespace {

constexpr int kCharsets = 12;
constexpr size_t kWordBytes = 510;      // longest word kept
constexpr int kDroppedWordCount = 170;  // word_num added for a dropped word
constexpr double kUnseen = -8.5;        // score of a word a model lacks
constexpr int kSlotEnglish = 0, kSlotItalian = 2, kSlotSpanish = 3, kSlotArabic = 8, kSlotDanish = 9,
              kSlotPortuguese = 11, kSlotThai = 12;
constexpr int kLangArabic = 13, kLangThai = 6, kLangSpanish = 42, kLangPortuguese = 34, kLangItalian = 47,
              kLangDanish = 21;

struct ByteRange {
  unsigned char lo, hi;
};

struct IllegalTable {
  unsigned char rows[kCharsets][256] = {};
  template <size_t N>
  constexpr void Mark(int row, const ByteRange (&ranges)[N]) {
    for (const ByteRange& r : ranges) {
      for (int b = r.lo; b <= r.hi; ++b) rows[row][b] = 1;
    }
  }
};

constexpr ByteRange kAscii[] = {{0x80, 0xFF}};
constexpr ByteRange kIso9[] = {{0x80, 0x9F}};
constexpr ByteRange kWin1252[] = {{0x81, 0x81}, {0x8D, 0x8D}, {0x8F, 0x90}, {0x9D, 0x9D}};
constexpr ByteRange kWin1254[] = {{0x81, 0x81}, {0x8D, 0x90}, {0x9D, 0x9E}};
constexpr ByteRange kIso6[] = {{0x80, 0x9F}, {0xA1, 0xA3}, {0xA5, 0xAB}, {0xAE, 0xBA},
                               {0xBC, 0xBE}, {0xC0, 0xC0}, {0xDA, 0xDF}, {0xF3, 0xFF}};
constexpr ByteRange kIso11[] = {{0x80, 0x9F}, {0xDB, 0xDE}, {0xFC, 0xFF}};
constexpr ByteRange kTis620[] = {{0x80, 0xA0}, {0xDB, 0xDE}, {0xFC, 0xFF}};
constexpr ByteRange kWin874[] = {{0x80, 0x80}, {0x85, 0x85}, {0x90, 0x90}, {0x98, 0x9F}, {0xDB, 0xDE}, {0xFC, 0xFF}};
constexpr ByteRange kWin1258[] = {{0x81, 0x81}, {0x8A, 0x8A}, {0x8D, 0x90}, {0x9A, 0x9A}, {0x9D, 0x9E}};
constexpr ByteRange kWin1251[] = {{0x98, 0x98}};
constexpr ByteRange kIso7[] = {{0x00, 0x1F}, {0x7F, 0x9F}, {0xAE, 0xAE}, {0xD2, 0xD2}, {0xFF, 0xFF}};
constexpr ByteRange kWin1255[] = {{0x81, 0x81}, {0x8A, 0x8A}, {0x8C, 0x90}, {0x9A, 0x9A}, {0x9C, 0x9F},
                                  {0xCA, 0xCA}, {0xD9, 0xDF}, {0xFB, 0xFC}, {0xFF, 0xFF}};

constexpr IllegalTable MakeIllegal() {
  IllegalTable t;
  t.Mark(0, kAscii);
  t.Mark(1, kIso9);
  t.Mark(2, kWin1252);
  t.Mark(3, kWin1254);
  t.Mark(4, kIso6);
  t.Mark(5, kIso11);
  t.Mark(6, kTis620);
  t.Mark(7, kWin874);
  t.Mark(8, kWin1258);
  t.Mark(9, kWin1251);
  t.Mark(10, kIso7);
  t.Mark(11, kWin1255);
  return t;
}

constexpr IllegalTable kIllegal = MakeIllegal();

inline bool In(unsigned v, unsigned lo, unsigned hi) { return v >= lo && v <= hi; }
inline bool Space(unsigned b) { return b == ' ' || In(b, '\t', '\r'); }
inline bool Punct(unsigned b) { return In(b, 0x21, 0x2F) || In(b, 0x3A, 0x40) || In(b, 0x5B, 0x60) || In(b, 0x7B, 0x7E); }
inline bool Digit(unsigned b) { return In(b, '0', '9'); }

// Moves ptr past the closing tag of an element opened at ptr ("/script>" in
// the opening tag's case, else in the other case); false when neither
// exists.
bool SkipElement(const char*& ptr, const char* close_same, const char* close_other) {
  const char* end = strstr(ptr, close_same);
  if (end == nullptr) end = strstr(ptr, close_other);
  if (end == nullptr) return false;
  ptr = end + strlen(close_same);
  return true;
}

// s begins with prefix (which holds no NUL: the end of s is a mismatch).
bool StartsWith(const char* s, std::string_view prefix) {
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (s[i] != prefix[i]) return false;
  }
  return true;
}

// The word being cut and what completing it does.
class WordCutter {
 public:
  explicit WordCutter(_ccode_info_t* info)
      : info_(info), models_(ccode_word_index()), content_len_(strnlen(info->str_content, sizeof(info->str_content))) {}

  void set_in_title() { in_title_ = true; }
  void set_title_done() { title_done_ = true; }
  bool title_done() const { return title_done_; }

  // Appends one lower-cased text byte; a word that grows past kWordBytes is
  // dropped.
  void AddByte(unsigned char b) {
    if (len_ == kWordBytes) {
      Drop();
      return;
    }
    word_[len_++] = static_cast<char>(In(b, 'A', 'Z') ? b - 'A' + 'a' : b);
  }

  // Appends the UTF-8 form of a referenced code point while the word stays
  // below 511 bytes.
  void AddCodePoint(unsigned int cp) {
    const size_t n = static_cast<size_t>(ccode_utf8_length(cp));
    if (len_ + n > kWordBytes) {
      Drop();
      return;
    }
    ccode_put_utf8(cp, word_ + len_);
    len_ += n;
  }

  // Forgets the word without counting it (an entity cuts it).
  void Forget() { len_ = 0; }

  void Complete() {
    if (len_ == 0) return;
    Score(std::string_view(word_, len_));
    len_ = 0;
  }

 private:
  void Drop() {
    info_->word_num += kDroppedWordCount;
    len_ = 0;
  }

  bool InTitle() const { return in_title_ && !title_done_; }

  // The word and a blank at the end of the content extract, as far as it
  // has room.
  void AppendContent(std::string_view word) {
    const size_t room = sizeof(info_->str_content) - 1;
    if (content_len_ >= room) return;
    const size_t n = std::min(word.size(), room - content_len_);
    memcpy(info_->str_content + content_len_, word.data(), n);
    content_len_ += n;
    if (content_len_ < room) info_->str_content[content_len_++] = ' ';
    info_->str_content[content_len_] = '\0';
  }

  void CountScripts(std::string_view word) {
    const bool title = InTitle();
    const char* s = word.data();
    const int len = static_cast<int>(word.size());
    for (int i = 0; i < len;) {
      int n = ul_ccode_nextn(s + i, len - i, CODETYPE_UTF8);
      if (n == 0) n = 1;
      if (n == 3) {
        const unsigned cp = get_unicode(s + i);
        if (In(cp, 0x0E01, 0x0E5B)) {
          ++info_->thai_num;
          if (title) {
            ++info_->thai_title_num;
            info_->title_flag[kSlotThai] = true;
          } else {
            ++info_->thai_cont_num;
          }
        }
      } else if (n == 2) {
        const unsigned cp = (static_cast<unsigned char>(s[i]) & 0x1Fu) << 6 | (static_cast<unsigned char>(s[i + 1]) & 0x3Fu);
        if (In(cp, 0x0600, 0x0603) || In(cp, 0x0606, 0x0655)) {
          if (title) {
            ++info_->arabic_title_num;
            info_->title_flag[kSlotArabic] = true;
          } else {
            ++info_->arabic_cont_num;
          }
        }
      }
      i += n;
    }
  }

  // A word of Windows-874 Thai: its bytes of A1 and above as U+0E01.. in
  // UTF-8; counted when all were converted and the Thai model has it.
  void CountWin874(std::string_view word) {
    if (static_cast<unsigned char>(word[0]) <= 0xA0) return;
    char utf8[kWordBytes + 8];
    size_t len = 0;
    size_t i = 0;
    for (; i < word.size() && static_cast<unsigned char>(word[i]) >= 0xA1 && len + 3 <= kWordBytes + 1; ++i) {
      ccode_put_utf8(static_cast<unsigned char>(word[i]) + 0x0D60u, utf8 + len);
      len += 3;
    }
    CcodeWordIndex::Word w;
    if (i != word.size() || !models_.Find(std::string_view(utf8, len), &w) || !w.InModel(kSlotThai)) return;
    ++info_->w874_num;
    if (InTitle()) info_->title_flag[kSlotThai] = true;
  }

  void Score(std::string_view word) {
    AppendContent(word);
    ++info_->word_num;
    if (word.size() == 1) return;
    bool ascii = true;
    for (char c : word) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (!ascii) {
      CountScripts(word);
      CountWin874(word);
    }
    const bool title = InTitle();
    if (!ascii && title) info_->title_multiflag = true;

    CcodeWordIndex::Word w;
    if (!models_.Find(word, &w) || !w.global) {
      for (double& f : info_->word_freq) f += kUnseen;
      return;
    }
    const unsigned bits = w.global_bits;
    bool english = false;
    double spanish_title = 0.0;
    int matched = 0, matched_slot = -1;
    for (int k = 0; k < kUnigramSlots; ++k) {
      const bool wanted = k == kSlotEnglish ? ascii : (k == kSlotArabic || k == kSlotThai) ? !ascii : true;
      if (wanted && (bits & (1u << k)) != 0 && w.InModel(k)) {
        const double v = w.Value(k);
        ++info_->word_common[k];
        info_->word_freq[k] += v;
        ++matched;
        matched_slot = k;
        if (k == kSlotEnglish) {
          english = true;
          if (static_cast<int>(100 * v) >= -249) ++info_->word_unique[0];
        }
        if ((k == 7 || k == 13 || k == 14) && english) info_->word_freq[k] -= 1.0;
        if (title) {
          info_->title_flag[k] = true;
          info_->title_freq[k] += v;
          if (k == kSlotSpanish) spanish_title = v;
        }
      } else {
        info_->word_freq[k] += kUnseen;
        if (title) {
          info_->title_freq[k] += k == kSlotPortuguese && spanish_title < 0 ? spanish_title - 1.0 : kUnseen;
        }
      }
    }
    if (matched == 1 && matched_slot >= 1) ++info_->word_unique[matched_slot];
  }

  _ccode_info_t* info_;
  const CcodeWordIndex& models_;
  size_t content_len_;  // bytes of info_->str_content
  char word_[kWordBytes + 8];
  size_t len_ = 0;
  bool in_title_ = false;
  bool title_done_ = false;
};

// The first slot with the greatest value above floor, or -1.
int BestSlot(const double* values, double floor) {
  int best = -1;
  double top = floor;
  for (int k = 0; k < kUnigramSlots; ++k) {
    if (values[k] > top) {
      top = values[k];
      best = k;
    }
  }
  return best;
}

// After the scores: Spanish, Portuguese, Italian and Danish titles told apart by the
// words only one of them has; decided on the title language found so far.
void RomanceTitle(_ccode_info_t* info) {
  const int* u = info->word_unique;
  const double* t = info->title_freq;
  const int sp = kSlotSpanish, pt = kSlotPortuguese;
  switch (info->title_lang) {
    case kLangPortuguese:
      if (t[pt] - t[sp] <= 2.0 && u[pt] == 0 && u[sp] > 9) {
        info->title_lang = kLangSpanish;
      } else if (t[pt] - t[sp] <= 1.0 && u[pt] < 11 && u[sp] >= 3 * u[pt]) {
        info->title_lang = kLangSpanish;
      }
      return;
    case kLangSpanish:
      if (t[sp] - t[pt] <= 2.0 && u[sp] == 0 && u[pt] > 9) {
        info->title_lang = kLangPortuguese;
      } else if (t[sp] - t[pt] <= 1.0 && u[sp] < 11 && u[pt] >= 3 * u[sp]) {
        info->title_lang = kLangPortuguese;
      }
      return;
    case kLangItalian:
    case kLangDanish: {
      const int other = info->title_lang == kLangItalian ? kSlotItalian : kSlotDanish;
      if (u[sp] <= u[pt]) {
        if (t[other] - t[pt] <= 1.0 && u[pt] > 3 * u[other] && u[pt] > 9) info->title_lang = kLangPortuguese;
      } else if (t[other] - t[sp] <= 1.0 && u[sp] > 3 * u[other] && u[sp] > 9) {
        info->title_lang = kLangSpanish;
      }
      return;
    }
    default:
      return;
  }
}

void Decide(_ccode_info_t* info) {
  // The title language (the best title score) and the best average score.
  for (int k : {0, 13, 14}) {
    if (info->title_multiflag) info->title_freq[k] *= 2;
  }
  const int title_slot = BestSlot(info->title_freq, -1e12);
  if (title_slot >= 0) info->title_lang = langindex[title_slot];
  for (double& f : info->word_freq) f /= info->word_num + 1;
  const int best_average = BestSlot(info->word_freq, -HUGE_VAL);

  // Arabic and Thai script in the title outweigh the word models; then the
  // Chinese/Japanese title vote.
  const bool arabic_or_thai = info->title_lang == kLangArabic || info->title_lang == kLangThai;
  if (info->title_flag[kSlotArabic] && info->arabic_title_num > 3) {
    info->title_lang = kLangArabic;
  } else if (info->title_flag[kSlotThai] && (info->thai_title_num > 3 || info->thai_num > 9)) {
    info->title_lang = kLangThai;
  } else if (arabic_or_thai) {
    info->title_lang = -1;
  }
  const int cjk = info->uinfo.utf8_cn_jp_title_lang;
  if (info->title_lang != kLangThai && info->title_lang != kLangArabic && cjk >= 1 && cjk <= 3) {
    info->title_lang = cjk;
  }

  // Each score weighed by its unique-word ratio.
  for (int k = 0; k < kUnigramSlots; ++k) {
    const double r = (info->word_unique[k] + 1.0) / (info->word_common[k] + 1);
    if (k == best_average && r < 0.1) {
      info->word_freq[k] += log10(r);
    } else {
      info->word_freq[k] += (k == 13 || k == 14 ? 1.2 : 1.5) * log10(r);
    }
  }
  const int max_slot = BestSlot(info->word_freq, -HUGE_VAL);
  if (max_slot >= 0) info->max_lang = langindex[max_slot];
  info->guess_lang = -1;
  double top = -HUGE_VAL;
  for (int k = 0; k < kUnigramSlots; ++k) {
    const bool enough = info->word_common[k] >= 513 || info->word_common[k] > 0.38 * info->word_num;
    if (enough && info->word_freq[k] > top) {
      top = info->word_freq[k];
      info->guess_lang = k;
    }
  }
  RomanceTitle(info);
}

}  // namespace

const unsigned char (&illegal)[12][256] = kIllegal.rows;

int html_tag_filter(const char*& ptr, bool title_flag) {
  const char* p = ptr;
  const unsigned char b = static_cast<unsigned char>(*p);
  if (b != '<') {
    if (StartsWith(p, "nbsp")) {
      ptr += 4;
      return 1;
    }
    if (Space(b) || Punct(b) || Digit(b)) {
      ++ptr;
      return 1;
    }
    return 0;
  }
  struct Element {
    std::string_view lower, upper;
    const char *close_lower, *close_upper;
  };
  static const Element kSkipped[] = {{"<script", "<SCRIPT", "/script>", "/SCRIPT>"},
                                     {"<style", "<STYLE", "/style>", "/STYLE>"},
                                     {"<option", "<OPTION", "/option>", "/OPTION>"}};
  for (const Element& e : kSkipped) {
    const bool lower = StartsWith(p, e.lower);
    if (lower || StartsWith(p, e.upper)) {
      const bool found = lower ? SkipElement(p, e.close_lower, e.close_upper) : SkipElement(p, e.close_upper, e.close_lower);
      if (!found) return -1;
      ptr = p;
      return 1;
    }
  }
  int result = 1;
  if (!title_flag) {
    if (StartsWith(p, "<title") || StartsWith(p, "<TITLE")) {
      result = 2;
    } else if (StartsWith(p, "</title") || StartsWith(p, "</TITLE")) {
      result = 3;
    }
  }
  const char* gt = strchr(p, '>');
  if (gt == nullptr) return -1;
  ptr = gt + 1;
  return result;
}

int get_url_suffix(_ccode_info_t* info, const char* url, double* prob_from_url) {
  if (info == nullptr || url == nullptr) {
    ul_writelog(UL_LOG_FATAL, "invalid parameter in function 'get_url_suffix'.\n");
    return -1;
  }
  info->url_suffix[0] = '\0';
  const std::string_view copy(url, strnlen(url, 1023));
  if (copy.size() <= 10) return 0;
  // The host: from the eighth byte (after a seven-byte "http://") to '/'.
  const size_t slash = copy.find('/', 7);
  if (slash == std::string_view::npos) return 0;
  const std::string_view host = copy.substr(7, slash - 7);
  const size_t dot = host.rfind('.');
  if (dot == std::string_view::npos) return 0;
  const std::string_view suffix = host.substr(dot + 1, sizeof(info->url_suffix) - 1);
  memcpy(info->url_suffix, suffix.data(), suffix.size());
  info->url_suffix[suffix.size()] = '\0';
  static const char* const kSuffixes[] = {"fr", "it", "es", "de", "tr", "nl", "vn", "eg", "dk", "fi", "pt", "th"};
  for (int i = 0; i < 12; ++i) {
    if (prob_from_url != nullptr && suffix == kSuffixes[i]) prob_from_url[i + 1] = 0.4;
  }
  return 0;
}

int ccode_feature_compute(_ccode_info_t* info, const char* page, const char* url) {
  if (info == nullptr || page == nullptr) {
    ul_writelog(UL_LOG_FATAL, "invalid parameter in function 'ccode_feature_compute'.\n");
    return -1;
  }
  for (double& f : info->word_freq) f = 0.0;
  double prob_from_url[kUnigramSlots] = {};
  get_url_suffix(info, url, prob_from_url);  // the weights are not used further

  WordCutter words(info);
  const char* p = page;
  while (*p != '\0') {
    if (*p == '&') {
      unsigned int cp = 0;
      const int n = ref_to_unicode(p, &cp);
      if (n > 0 && cp != 0) {
        words.AddCodePoint(cp);
        p += n;
        continue;
      }
      // Another entity cuts the word: past its ';' (within 10 bytes).
      words.Forget();
      int skip = 1;
      for (int i = 1; i <= 10 && p[i] != '\0'; ++i) {
        if (p[i] == ';') {
          skip = i + 1;
          break;
        }
      }
      p += skip;
      continue;
    }
    const int r = html_tag_filter(p, words.title_done());
    if (r == -1) break;
    if (r == 0) {
      const unsigned char b = static_cast<unsigned char>(*p++);
      ++info->charlen;
      for (int k = 0; k < kCharsets; ++k) info->single_illegal[k] += illegal[k][b];
      words.AddByte(b);
      continue;
    }
    if (r == 2) words.set_in_title();
    words.Complete();
    if (r == 3) words.set_title_done();
  }
  words.Complete();

  if (info->word_num == 0) {
    info->guess_lang = -1;
    return 0;
  }
  Decide(info);
  return 0;
}
