// A detector that tells GBK from BIG5 text, and recognises UTF-8, by
// character frequency: three tables rank the most frequent Chinese
// characters of each encoding, and a text scores the average rank of its
// double-byte characters, less penalties for byte pairs the encoding cannot
// hold. It needs no data files.
//
// The library keeps one instance, l_detect, constructed before any other
// static initialiser of a program runs (so those may use it) and destroyed
// after them. Its tables are written once by the constructor; every
// operation only reads them, from any number of threads.
#ifndef UL_CHARSET_DETECT_H_
#define UL_CHARSET_DETECT_H_

#include <stdint.h>

#include <unordered_set>

class CharsetDetect {
 public:
  // Builds the two (unused) sets, then fills the tables.
  CharsetDetect();
  ~CharsetDetect();
  CharsetDetect(const CharsetDetect&) = delete;
  CharsetDetect& operator=(const CharsetDetect&) = delete;

  // The encoding of the NUL-terminated text str: 1 GB, 2 BIG5, 0 for NULL or
  // an empty text (confidence 100), -1 when neither scores (confidence left
  // as it was). confidence is the winner's score, or the difference of the
  // two scores when it is below 15.
  int guess(const unsigned char* str, int& confidence) const;
  // Scores of the first len bytes as GBK and as BIG5: the average rank of
  // the double-byte characters times 100 (a character outside the tables
  // counts 0, or 200 in the rows of symbols and frequent characters), 0 when
  // the penalties of 5000 per impossible pair reach the score.
  int gbk_probability(const unsigned char* str, int len) const;
  int big5_probability(const unsigned char* str, int len) const;
  // The share (0..100) of the non-ASCII bytes that form two- and three-byte
  // UTF-8 characters, 0 below 90 (or below 95 with fewer than 30 such
  // bytes); 1000 for a text that begins with a byte-order mark. With fewer
  // than two CJK characters (leads E4..E9): -1000 for a marked text, else 0.
  // 0 for ASCII text.
  int utf8_probability(const unsigned char* str, int len) const;
  // Fills the tables: every cell 0, then the frequent characters with their
  // ranks (GB2312 599..200, BIG5 600..201, GBK 600..299).
  void initialize_frequencies();

  int m_ayGBFreq[94][94];      // GB2312 rank by (lead - 0xA1, trail - 0xA1)
  int m_ayGBKFreq[126][191];   // GBK rank by (lead - 0x81, trail - 0x40)
  int m_ayBig5Freq[94][158];   // BIG5 rank by (lead - 0xA1, trail - 0x40 or trail - 0x61)
  std::unordered_set<uint16_t> mgbk_fwset;   // never filled or read
  std::unordered_set<uint16_t> mbig5_fwset;  // never filled or read
};

extern CharsetDetect l_detect;

#endif  // UL_CHARSET_DETECT_H_
