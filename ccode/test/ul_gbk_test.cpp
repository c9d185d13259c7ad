#include "ul_gbk.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>
#include <vector>

namespace {

// Every two-byte GBK code, lead first.
std::vector<std::string> AllPairs() {
  std::vector<std::string> pairs;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail != 0x7F) pairs.push_back({static_cast<char>(lead), static_cast<char>(trail)});
    }
  }
  return pairs;
}

// The platform's GB18030 decoding of one code as one UCS-2 unit; 0 when it
// gives none or more.
uint16_t PlatformUnit(const std::string& code) {
  iconv_t cd = iconv_open("UCS-2LE", "GB18030");
  char out[8];
  char* in = const_cast<char*>(code.data());
  size_t inleft = code.size(), outleft = sizeof(out);
  char* op = out;
  size_t r = iconv(cd, &in, &inleft, &op, &outleft);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1) || outleft != sizeof(out) - 2) return 0;
  return static_cast<uint16_t>(static_cast<unsigned char>(out[0]) | static_cast<unsigned char>(out[1]) << 8);
}

uint16_t Unit(const std::string& gbk) {
  uint16_t u[2] = {0, 0};
  EXPECT_EQ(gbk_to_unicode(u, 2, gbk.data(), static_cast<int>(gbk.size())), 1) << gbk;
  return u[0];
}

std::string ToUtf8(const std::string& gbk, int size) {
  std::string out(static_cast<size_t>(size > 0 ? size : 1), '\x7f');
  int n = ul_gbk_to_utf8(&out[0], size, gbk.c_str());
  return n < 0 ? "<-1>" : out.substr(0, static_cast<size_t>(n));
}

std::string ToGbk(const std::string& utf8, int size) {
  std::string out(static_cast<size_t>(size > 0 ? size : 1), '\x7f');
  int n = ul_utf8_to_gbk(&out[0], size, utf8.c_str());
  return n < 0 ? "<-1>" : out.substr(0, static_cast<size_t>(n));
}

// The table keeps nine symbols and the 25 codes that GB 18030-2000 put into
// the Private Use Area apart from the platform's (2022) converter.
const struct {
  const char* code;
  uint16_t unit;
} kApart[] = {
    {"\xA1\xA5", 0x00AF}, {"\xA1\xAB", 0x223C}, {"\xA1\xCE", 0x01C1}, {"\xA1\xE4", 0x00B4}, {"\xA1\xE9", 0x00A2},
    {"\xA1\xEA", 0x00A3}, {"\xA3\xA4", 0x00A5}, {"\xA3\xFE", 0x203E}, {"\xA6\xCC", 0x00B5}, {"\xA6\xD9", 0xE78D},
    {"\xA6\xDF", 0xE793}, {"\xA6\xEC", 0xE794}, {"\xA6\xED", 0xE795}, {"\xA6\xF3", 0xE796}, {"\xA6\xDA", 0xE78E},
    {"\xA6\xDB", 0xE78F}, {"\xA6\xDC", 0xE790}, {"\xA6\xDD", 0xE791}, {"\xA6\xDE", 0xE792}, {"\xA8\xBC", 0xE7C7},
    {"\xFE\x51", 0xE816}, {"\xFE\x52", 0xE817}, {"\xFE\x53", 0xE818}, {"\xFE\x59", 0xE81E}, {"\xFE\x61", 0xE826},
    {"\xFE\x66", 0xE82B}, {"\xFE\x67", 0xE82C}, {"\xFE\x6C", 0xE831}, {"\xFE\x6D", 0xE832}, {"\xFE\x76", 0xE83B},
    {"\xFE\x7E", 0xE843}, {"\xFE\x90", 0xE854}, {"\xFE\x91", 0xE855}, {"\xFE\xA0", 0xE864},
};

TEST(UlGbk, EveryPairAgreesWithThePlatformAndComesBack) {
  std::vector<std::string> apart;
  for (const auto& a : kApart) apart.push_back(a.code);
  int agreed = 0;
  std::string all;
  for (const std::string& pair : AllPairs()) {
    const uint16_t u = Unit(pair);
    ASSERT_NE(u, 0xFFFD) << std::hex << static_cast<int>(static_cast<unsigned char>(pair[0]));
    bool is_apart = false;
    for (const auto& a : kApart) {
      if (pair == a.code) {
        is_apart = true;
        EXPECT_EQ(u, a.unit) << pair;
      }
    }
    if (!is_apart) {
      EXPECT_EQ(u, PlatformUnit(pair)) << pair;
      ++agreed;
    }
    char back[2];
    ASSERT_EQ(unicode_to_gbk(back, 2, &u, 1, '?'), 2);
    EXPECT_EQ(std::string(back, 2), pair);
    all += pair;
  }
  EXPECT_EQ(agreed, 23940 - 34);
  // The whole set through UTF-8 and back.
  const std::string utf8 = ToUtf8(all, static_cast<int>(all.size() / 2 * 3 + 1));
  EXPECT_EQ(ToGbk(utf8, static_cast<int>(utf8.size() + 1)), all);
}

TEST(UlGbk, SingleBytesAndNearMappings) {
  EXPECT_EQ(Unit("\xB0\xA1"), 0x554A);
  EXPECT_EQ(Unit("\xA1\x40"), 0xE4C6);
  EXPECT_EQ(Unit("A"), 'A');
  EXPECT_EQ(Unit("\x80"), 0x0080);
  EXPECT_EQ(Unit("\x81"), 0xFFFD);
  EXPECT_EQ(Unit("\xFF"), 0xFFFD);

  const struct {
    uint16_t unit;
    const char* gbk;
  } words[] = {{0x554A, "\xB0\xA1"}, {0x00A2, "\xA1\xE9"}, {0x00A6, "|"}, {0x00B2, "2"},
               {0x00C0, "\xA8\xA4"}, {0x0E01, " "},        {0xFFFF, " "}, {'z', "z"}};
  for (const auto& w : words) {
    char out[3] = {'x', 'x', 'x'};
    EXPECT_EQ(unicode_to_gbk_word(out, w.unit), static_cast<int>(strlen(w.gbk))) << w.unit;
    EXPECT_STREQ(out, w.gbk) << w.unit;
  }
  EXPECT_EQ(unicode_to_gbk_word(nullptr, 'a'), 0);
}

TEST(UlGbk, Utf8OfOneUnit) {
  const struct {
    uint16_t unit;
    const char* utf8;
  } rows[] = {{0x7F, "\x7F"},         {0x80, "\xC2\x80"},         {0x7FF, "\xDF\xBF"},
              {0x800, "\xE0\xA0\x80"}, {0xFFFF, "\xEF\xBF\xBF"}, {0, ""}};
  for (const auto& r : rows) {
    char out[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(to_utf8_word(out, r.unit), static_cast<int>(strlen(r.utf8))) << r.unit;
    EXPECT_STREQ(out, r.utf8) << r.unit;
  }
  EXPECT_EQ(to_utf8_word(nullptr, 'a'), 0);
}

TEST(UlGbk, UnitArraysHonourTheirSizes) {
  const char text[] = "\xB0\xA1" "a\x81";
  uint16_t u[4] = {0, 0, 0, 0};
  EXPECT_EQ(gbk_to_unicode(nullptr, 0, text, 4), 3);  // count only
  EXPECT_EQ(gbk_to_unicode(u, 2, text, 4), 2);        // full after two
  EXPECT_EQ(u[1], 'a');
  // A lead byte at the end of the length is read alone, not with the byte
  // after it.
  EXPECT_EQ(gbk_to_unicode(u, 4, text, 1), 1);
  EXPECT_EQ(u[0], 0xFFFD);
  // A NUL after ASCII is a character of its own.
  EXPECT_EQ(gbk_to_unicode(u, 4, "a\0b", 3), 3);

  const uint16_t units[] = {0x554A, 'a', 0x0E01};
  char out[8] = {0};
  EXPECT_EQ(unicode_to_gbk(nullptr, 0, units, 3, 0xA1A1), 5);
  EXPECT_EQ(unicode_to_gbk(out, 8, units, 3, 0xA1A1), 5);  // replacement low byte first: A1 A1
  EXPECT_EQ(std::string(out, 5), "\xB0\xA1" "a\xA1\xA1");
  EXPECT_EQ(unicode_to_gbk(out, 1, units, 3, '?'), 0);  // the first pair does not fit
  EXPECT_EQ(unicode_to_gbk(out, 4, units, 3, '?'), 4);
  EXPECT_EQ(unicode_to_gbk(out, 4, units, 3, 0xA1A1), 3);
  EXPECT_EQ(unicode_to_gbk(out, 1, units + 2, 1, 0xFF), 1);  // a replacement up to FF is one byte

  EXPECT_EQ(unicode_to_utf8(nullptr, 0, units, 3), 7);
  char utf8[8];
  EXPECT_EQ(unicode_to_utf8(utf8, 8, units, 3), 7);
  EXPECT_STREQ(utf8, "\xE5\x95\x8A" "a\xE0\xB8\x81");
  EXPECT_EQ(unicode_to_utf8(utf8, 7, units, 3), 4);  // the last character needs 3 + NUL
  EXPECT_STREQ(utf8, "\xE5\x95\x8A" "a");
  EXPECT_EQ(unicode_to_utf8(utf8, 3, units, 3), 0);
  EXPECT_STREQ(utf8, "");
  utf8[0] = 'x';
  EXPECT_EQ(unicode_to_utf8(utf8, 0, units, 3), 0);  // a size of 0 writes nothing
  EXPECT_EQ(utf8[0], 'x');
  EXPECT_EQ(unicode_to_utf8(utf8, 8, units, 0), 0);  // no units: an empty text
  EXPECT_STREQ(utf8, "");
}

TEST(UlGbkToUtf8, SizeRuleAndTruncation) {
  const std::string four = "\xB0\xA1\xB0\xA1";  // L = 4: needs 4 / 2 * 3 + 1 = 7
  EXPECT_EQ(ToUtf8(four, 7), "\xE5\x95\x8A\xE5\x95\x8A");
  EXPECT_EQ(ToUtf8(four, 6), "<-1>");
  EXPECT_EQ(ToUtf8("\x81", 4), "\xEF\xBF\xBD");
  // Lone lead bytes take 3 bytes each: the one that would leave no room for
  // the NUL ends the conversion.
  EXPECT_EQ(ToUtf8("\xFF\xFF", 4), "\xEF\xBF\xBD");
  EXPECT_EQ(ToUtf8("\xFF\x40\x80\x40", 16), "\xEF\xBF\xBD@\xC2\x80@");  // no pair has these leads
  EXPECT_EQ(ToUtf8("abcdefghijk\xB0\xA1", 19), "abcdefghijk\xE5\x95\x8A");
  EXPECT_EQ(ToUtf8("", 1), "");
  EXPECT_EQ(ToUtf8("a", 1), "");  // (1 / 2) * 3 + 1: room for the NUL only
  EXPECT_EQ(ul_gbk_to_utf8(nullptr, 4, "a"), -1);
}

TEST(UlUtf8ToGbk, Rows) {
  const struct {
    const char* utf8;
    const char* gbk;
  } rows[] = {
      {"\xEF\xBB\xBF\xE5\x95\x8A", "\xB0\xA1"},      // byte-order mark dropped
      {"\xE4\xB8\xAD", "\xD6\xD0"},                  // U+4E2D
      {"\xF0\x95\x95\x8A", "\xB0\xA1"},              // U+1554A keeps its low 16 bits
      {"a\x80\xBF\xFE\xFF" "b", "ab"},               // stray bytes skipped
      {"ab\xE5\x95", "ab"},                          // a cut sequence ends it
      {"ab\xE5", "ab"},
      {"\xC2\xA2", "\xA1\xE9"},                      // a kept symbol comes back
      {"\xE0\xB8\x81" "c", " c"},                    // no GBK code: a blank
      {"0123456789abcdef\xE5\x95\x8A", "0123456789abcdef\xB0\xA1"},
      // Each lead range at both ends, with its continuation bytes and an 'A'
      // after them: the 'A' shows the length read (2, 3, 4, 5, 6).
      {"\xC1\x81" "A", "AA"},                         // overlong forms read as they stand
      {"\xDF\xBF" "A", " A"},
      {"\xE0\x81\x81" "A", "AA"},
      {"\xEF\xBC\xA1" "A", "\xA3\xC1" "A"},
      {"\xF0\x95\x95\x8A" "A", "\xB0\xA1" "A"},
      {"\xF7\x85\x95\x8A" "A", "\xB0\xA1" "A"},
      {"\xF8\x80\x85\x95\x8A" "A", "\xB0\xA1" "A"},
      {"\xFB\x80\x85\x95\x8A" "A", "\xB0\xA1" "A"},
      {"\xFC\x80\x80\x85\x95\x8A" "A", "\xB0\xA1" "A"},
      {"\xFD\x80\x80\x85\x95\x8A" "A", "\xB0\xA1" "A"},
      // A sequence whose low 16 bits are 0 is a character without a mapping,
      // never a NUL inside the text.
      {"a\xF0\x90\x80\x80" "b", "a b"},              // U+10000
      {"\xF0\xA0\x80\x80", " "},                     // U+20000
      {"\xC0\x80", " "},
      {"\xE0\x80\x80", " "},
      {"\xF8\x88\x80\x80\x80", " "},
      {"\xFC\x80\x80\x80\x80\x80", " "},
      // A lead byte not followed by its continuation bytes is one blank; the
      // walk goes on at the byte after it.
      {"\xE4" "AB", " AB"},
      {"\xC3" "A", " A"},                             // also at the end of the text
      {"\xE4\xB8" "A", " A"},                         // the stray B8 is then skipped
      {"\xF0\x95\x95" "A", " A"},                     // the last one missing
      {"\xFC\x80\x80\x80\x80" "A", " A"},
      {"\xE4\xFE\xE4\xB8\xAD", " \xD6\xD0"},          // a lead after a lead
      {"01234567\xE4" "ABCDEFGH", "01234567 ABCDEFGH"},  // around the eight-byte ASCII steps
  };
  for (const auto& r : rows) {
    EXPECT_EQ(ToGbk(r.utf8, static_cast<int>(strlen(r.utf8) + 1)), r.gbk) << r.utf8;
  }
  // The size is the text's length + 1, whatever the text holds.
  EXPECT_EQ(ToGbk("ab", 2), "<-1>");
  EXPECT_EQ(ToGbk("a\xF0\x90\x80\x80", 6), "a ");
  EXPECT_EQ(ToGbk("a\xF0\x90\x80\x80", 5), "<-1>");
  EXPECT_EQ(ToGbk("\xE4" "AB", 4), " AB");
  EXPECT_EQ(ToGbk("\xE4" "AB", 3), "<-1>");
  EXPECT_EQ(ul_utf8_to_gbk(nullptr, 4, "a"), -1);
}

}  // namespace
