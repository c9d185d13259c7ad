// The candidates a query reading gathers at each place of a text, against
// a walk of the characters from that place: runs ending at a separator or
// a byte that begins no character within the candidate's reach, at its
// edge and past it, in ASCII, multi-byte and mixed text. The ranking of a
// detection's candidates against that of the whole list.
#include <gtest/gtest.h>
#include <limits.h>

#include <random>
#include <string>
#include <vector>

#include "ul_ccode_next.h"
#include "ul_ccode_querylang_parts.h"
#include "ul_ccode_type.h"

namespace {

constexpr size_t kReach = 1023;  // a candidate takes characters that begin within these bytes

// About one prefix in 16 begins no word, one in 2 may be a word.
int Filter(uint64_t h) {
  if ((h >> 7 & 15) == 0) return QueryKeyIndex::kNoKeyBegins;
  return (h >> 3 & 1) != 0 ? QueryKeyIndex::kSomeKeyBegins | QueryKeyIndex::kMayBeKey
                           : QueryKeyIndex::kSomeKeyBegins;
}

bool Separator(char c) { return c == '\0' || c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

struct Walked {
  QueryReading::Candidate full, cjk;
  std::vector<uint32_t> prefix_bytes;
  std::vector<bool> may_be_key;
  std::vector<uint64_t> hashes;
};

// The characters from text + offset, one at a time.
Walked Walk(const std::string& text, size_t offset) {
  Walked w{};
  QueryReading::Candidate c{};
  bool capped = false, filtering = true;
  uint64_t h = QueryKeyIndex::Start();
  const char* p = text.c_str() + offset;
  size_t bytes = 0;
  while (!Separator(p[bytes]) && bytes <= kReach) {
    const int n = ul_ccode_next(p + bytes, CODETYPE_UTF8);
    if (n < 1) {
      c.broken = true;
      break;
    }
    if (c.chars++ == 0) c.first_len = static_cast<uint32_t>(n);
    if (filtering) {
      for (int i = 0; i < n; ++i) h = QueryKeyIndex::Step(h, p[bytes + static_cast<size_t>(i)]);
      const int f = Filter(h);
      filtering = f != QueryKeyIndex::kNoKeyBegins;
      if (filtering) {
        w.prefix_bytes.push_back(static_cast<uint32_t>(bytes + static_cast<size_t>(n)));
        w.may_be_key.push_back((f & QueryKeyIndex::kMayBeKey) != 0);
        w.hashes.push_back(h);
      }
    }
    bytes += static_cast<size_t>(n);
    if (n > 1) c.multibyte = true;
    if (!c.multibyte) {
      ++c.ascii_chars;
      c.ascii_bytes += static_cast<uint32_t>(n);
    }
    if (!capped && c.multibyte && c.chars >= 3) {
      w.cjk = c;
      capped = true;
    }
  }
  w.full = c;
  if (!capped) w.cjk = c;
  return w;
}

void ExpectSame(const QueryReading::Candidate& got, const QueryReading::Candidate& want, const std::string& where) {
  EXPECT_EQ(got.chars, want.chars) << where;
  EXPECT_EQ(got.ascii_chars, want.ascii_chars) << where;
  EXPECT_EQ(got.ascii_bytes, want.ascii_bytes) << where;
  EXPECT_EQ(got.first_len, want.first_len) << where;
  EXPECT_EQ(got.multibyte, want.multibyte) << where;
  EXPECT_EQ(got.broken, want.broken) << where;
}

// Every place of text, in the order given (each place read once per text).
void CheckText(const std::string& text, const std::vector<size_t>& order, const std::string& name) {
  QueryReading reading;
  const QueryReading::HashWords words{Filter};
  for (size_t offset : order) {
    if (Separator(text[offset])) continue;
    const QueryReading::Place& place = reading.At(text.c_str(), offset, words);
    const Walked want = Walk(text, offset);
    const std::string where = name + " at " + std::to_string(offset);
    ExpectSame(place.full, want.full, where + " (whole)");
    ExpectSame(place.cjk, want.cjk, where + " (three)");
    ASSERT_EQ(place.reach, want.prefix_bytes.size()) << where;
    for (size_t k = 0; k < place.reach; ++k) {
      ASSERT_EQ(reading.PrefixBytes(place, k), want.prefix_bytes[k]) << where << " prefix " << k;
      ASSERT_EQ(reading.PrefixMayBeKey(place, k), want.may_be_key[k]) << where << " prefix " << k;
      ASSERT_EQ(reading.PrefixHash(place, k), want.hashes[k]) << where << " prefix " << k;
    }
    if (testing::Test::HasFailure()) return;
  }
}

TEST(QueryReading, CandidatesMatchACharacterWalk) {
  // Runs whose end lies 1,022 to 1,026 bytes from their first place, made
  // of one-, two-, three- and four-byte characters and broken bytes.
  const std::vector<std::string> pieces = {"a", "z", "\xC3\xA9", "\xE4\xB8\xAD", "\xF0\x9F\x98\x80", "\x80",
                                           "\xFF", "\xE4\xB8"};
  std::mt19937 rng(27);
  std::vector<std::string> texts;
  for (size_t run : {1021u, 1022u, 1023u, 1024u, 1025u, 1026u, 3000u}) {
    for (const std::string& fill : {std::string("a"), std::string("\xE4\xB8\xAD"), std::string("\xC3\xA9")}) {
      std::string t;
      while (t.size() < run) t += fill;
      t.resize(run - run % fill.size());
      texts.push_back("x " + t + " y" + t + "\xFF" + t);
    }
  }
  for (int i = 0; i < 12; ++i) {
    std::string t;
    while (t.size() < 5000) {
      const unsigned r = rng() % 1000;
      // Mostly valid characters; separators and broken bytes now and then,
      // more of them in some texts.
      if (r < static_cast<unsigned>(i % 3 == 0 ? 2 : 20)) {
        t += ' ';
      } else if (r < static_cast<unsigned>(i % 4 == 0 ? 23 : 21)) {
        t += pieces[5 + rng() % 3];
      } else {
        t += pieces[rng() % 5];
      }
    }
    texts.push_back(t);
  }
  for (size_t n = 0; n < texts.size(); ++n) {
    const std::string& t = texts[n];
    std::vector<size_t> forward(t.size()), backward(t.size());
    for (size_t i = 0; i < t.size(); ++i) forward[i] = i, backward[i] = t.size() - 1 - i;
    CheckText(t, forward, "text " + std::to_string(n) + " forward");
    CheckText(t, backward, "text " + std::to_string(n) + " backward");
    if (HasFailure()) return;
  }
}

// The prefix whose hash is this begins no word (0: none does not).
uint64_t g_stop = 0;
int StopAt(uint64_t h) {
  return h == g_stop ? QueryKeyIndex::kNoKeyBegins : QueryKeyIndex::kSomeKeyBegins | QueryKeyIndex::kMayBeKey;
}

// The filter's answers are taken a few characters at a time: a place's
// prefixes end at the first that begins no word wherever it falls, and
// run to the candidate's end when none does.
TEST(QueryReading, PrefixesEndAtTheFirstThatBeginsNoWord) {
  for (const std::string& ch : {std::string("a"), std::string("\xE4\xB8\xAD")}) {
    for (size_t chars = 1; chars <= 10; ++chars) {
      std::string text;
      for (size_t i = 0; i < chars; ++i) text += ch;
      text += " x";
      for (size_t stop = 1; stop <= chars + 1; ++stop) {
        uint64_t h = QueryKeyIndex::Start();
        for (size_t i = 0; i < stop * ch.size() && i < chars * ch.size(); ++i) h = QueryKeyIndex::Step(h, text[i]);
        g_stop = stop <= chars ? h : 0;  // one past the candidate: no prefix stops
        QueryReading reading;
        const QueryReading::Place& place = reading.At(text.c_str(), 0, QueryReading::HashWords{StopAt});
        const size_t want = stop <= chars ? stop - 1 : chars;
        ASSERT_EQ(place.reach, want) << chars << " characters, stop at " << stop;
        for (size_t k = 0; k < want; ++k) {
          EXPECT_EQ(reading.PrefixBytes(place, k), (k + 1) * ch.size());
          EXPECT_TRUE(reading.PrefixMayBeKey(place, k));
        }
      }
    }
  }
}

}  // namespace

namespace {

// Ranking the filled entries of a candidate list orders them as ranking the
// whole list does: by trust, entries of equal trust in their order.
TEST(QueryRanking, FilledEntriesRankAsTheWholeList) {
  std::mt19937 rng(27);
  for (int round = 0; round < 200; ++round) {
    const size_t n = rng() % 48;
    CODELANG_VECTOR list(n);
    for (size_t i = 0; i < n; ++i) {
      // Few distinct scores: many ties; some missing, some hopeless.
      const int pick = static_cast<int>(rng() % 6);
      const int words = pick == 0 ? INT_MIN : pick == 1 ? -4000000 : -100 * static_cast<int>(rng() % 4);
      const int chars = rng() % 3 == 0 ? INT_MIN : -50 * static_cast<int>(rng() % 3);
      list[i] = _CODELANG_INFO{static_cast<char>(i), static_cast<char>(rng() % 12), chars, words, 0};
    }
    for (int mode : {ALL_FEATURE, WORDS_FEATURE, CHARS_FEATURE}) {
      CODELANG_VECTOR whole = list, filled = list;
      unsigned int count = static_cast<unsigned int>(n);
      ASSERT_EQ(ul_ccode_gettoptrust(&whole, count, mode), 1);
      RankCandidates(&filled, n, mode);
      for (size_t i = 0; i < n; ++i) {
        ASSERT_EQ(filled[i].code_type, whole[i].code_type) << round << " " << mode << " " << i;
        ASSERT_EQ(filled[i].TRUST, whole[i].TRUST) << round << " " << mode << " " << i;
      }
    }
  }
}

}  // namespace
