// The frequency-table charset detector.
#include "ul_charset_detect.h"

#include <string.h>

#include "ul_charset_freq.h"

namespace {

inline bool In(unsigned b, unsigned lo, unsigned hi) { return b >= lo && b <= hi; }

constexpr int64_t kPairWeight = 500;
constexpr int64_t kPenalty = 5000;
constexpr int kFallbackRank = 200;
constexpr int kMargin = 15;

// The score of S against W, 0 when the penalties E reach it.
int Score(int64_t s, int64_t w, int64_t e) {
  if (s - e < 1) return 0;
  return static_cast<int>(static_cast<double>(s) * 100.0 / static_cast<double>(w));
}

}  // namespace

// Before every default-priority static initialiser, so that they may use it.
CharsetDetect l_detect __attribute__((init_priority(101)));

CharsetDetect::CharsetDetect() { initialize_frequencies(); }

CharsetDetect::~CharsetDetect() = default;

void CharsetDetect::initialize_frequencies() {
  memset(m_ayGBFreq, 0, sizeof(m_ayGBFreq));
  memset(m_ayGBKFreq, 0, sizeof(m_ayGBKFreq));
  memset(m_ayBig5Freq, 0, sizeof(m_ayBig5Freq));
  for (int i = 0; i < 400; ++i) {
    const unsigned c = kCharsetFreqGb[i];
    m_ayGBFreq[(c >> 8) - 0xA1][(c & 0xFF) - 0xA1] = 599 - i;
  }
  for (int i = 0; i < 400; ++i) {
    const unsigned c = kCharsetFreqBig5[i], trail = c & 0xFF;
    m_ayBig5Freq[(c >> 8) - 0xA1][trail <= 0x7E ? trail - 0x40 : trail - 0x61] = 600 - i;
  }
  for (int i = 0; i < 302; ++i) {
    const unsigned c = kCharsetFreqGbk[i];
    m_ayGBKFreq[(c >> 8) - 0x81][(c & 0xFF) - 0x40] = 600 - i;
  }
}

namespace {

// The shared walk of the two scorers: pair(b0, b1, &s, &w, &e) weighs each
// pair that starts with a high byte (the last byte alone is not read).
template <class Pair>
int ScorePairs(const unsigned char* str, int len, Pair pair) {
  int64_t s = 0, w = 1, e = 0;
  for (int i = 0; i < len - 1;) {
    if (str[i] < 0x80) {
      ++i;
      continue;
    }
    pair(str[i], str[i + 1], &s, &w, &e);
    i += 2;
  }
  return Score(s, w, e);
}

}  // namespace

int CharsetDetect::gbk_probability(const unsigned char* str, int len) const {
  return ScorePairs(str, len, [this](unsigned b0, unsigned b1, int64_t* s, int64_t* w, int64_t* e) {
    if (In(b0, 0xA1, 0xF7) && In(b1, 0xA1, 0xFE)) {
      *w += kPairWeight;
      const unsigned row = b0 - 0xA1;
      const int v = m_ayGBFreq[row][b1 - 0xA1];
      // Symbol rows and level-1 hanzi rows count as common.
      if (v != 0) {
        *s += v;
      } else if (row <= 9 || In(row, 15, 54)) {
        *s += kFallbackRank;
      }
    } else if (In(b0, 0x81, 0xFE) && (In(b1, 0x40, 0x7E) || In(b1, 0x80, 0xFE))) {
      *w += kPairWeight;
      *s += m_ayGBKFreq[b0 - 0x81][b1 - 0x40];
    }
    if (!In(b0, 0x81, 0xFE) || !In(b1, 0x40, 0xFE) || b1 == 0x7F) *e += kPenalty;
  });
}

int CharsetDetect::big5_probability(const unsigned char* str, int len) const {
  return ScorePairs(str, len, [this](unsigned b0, unsigned b1, int64_t* s, int64_t* w, int64_t* e) {
    const bool trail = In(b1, 0x40, 0x7E) || In(b1, 0xA1, 0xFE);
    if (In(b0, 0xA1, 0xF9) && trail) {
      *w += kPairWeight;
      const int v = m_ayBig5Freq[b0 - 0xA1][b1 <= 0x7E ? b1 - 0x40 : b1 - 0x61];
      // Leads A1..C6: symbols and the frequent-character block.
      if (v != 0) {
        *s += v;
      } else if (b0 - 0xA1 <= 37) {
        *s += kFallbackRank;
      }
    }
    if (b0 < 0xA0 || b0 == 0xFF || !trail) *e += kPenalty;
  });
}

int CharsetDetect::utf8_probability(const unsigned char* str, int len) const {
  int ascii = 0, good = 0, hanzi = 0;
  for (int i = 0; i < len; ++i) ascii += str[i] < 0x80;
  for (int i = 0; i < len;) {
    const unsigned b = str[i];
    if (In(b, 0xC0, 0xDF) && i + 1 < len && In(str[i + 1], 0x80, 0xBF)) {
      good += 2;
      i += 2;
    } else if (In(b, 0xE0, 0xEF) && i + 2 < len && In(str[i + 1], 0x80, 0xBF) && In(str[i + 2], 0x80, 0xBF)) {
      good += 3;
      hanzi += In(b, 0xE4, 0xE9);
      i += 3;
    } else {
      ++i;
    }
  }
  if (ascii == len) return 0;
  int p;
  if (len >= 3 && str[0] == 0xEF && str[1] == 0xBB && str[2] == 0xBF) {
    p = 1000;
  } else {
    p = good * 100 / (len - ascii);
    if (p <= 89 || (p <= 94 && good <= 29)) p = 0;
  }
  if (hanzi <= 1) return p == 1000 ? -1000 : 0;
  return p;
}

int CharsetDetect::guess(const unsigned char* str, int& confidence) const {
  if (str == nullptr || str[0] == '\0') {
    confidence = 100;
    return 0;
  }
  const int len = static_cast<int>(strlen(reinterpret_cast<const char*>(str)));
  const int g = gbk_probability(str, len), b = big5_probability(str, len);
  if (g == 0 && b == 0) return -1;
  const int win = g >= b ? g : b, diff = g >= b ? g - b : b - g;
  confidence = diff < kMargin ? diff : win;
  return g >= b ? 1 : 2;
}
