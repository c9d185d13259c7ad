#include "ul_gb18030.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "ccode_test_data.h"
#include "ul_ccode_conv.h"
#include "ul_ccode_data.h"
#include "ul_ccode_load.h"
#include "ul_ccode_type.h"
#include "ul_gbk.h"
#include "ul_jcode.h"

namespace {

using ccodetest::Big5;
using ccodetest::Gb;
using ccodetest::Gbk;
using ccodetest::Has;
using ccodetest::Platform;

typedef int (*table_t)(const unsigned char*, unsigned char*, int);

// A table conversion of the whole text; *result gets its result.
std::string Table(table_t f, const std::string& in, int* result = nullptr, int len = 0) {
  std::string out(in.size() + 1, 'x');
  const int r = f(reinterpret_cast<const unsigned char*>(in.c_str()), reinterpret_cast<unsigned char*>(&out[0]), len);
  if (result != nullptr) *result = r;
  return out.substr(0, out.find('\0'));
}

typedef int (*iconv_str_t)(const char*, char*, int);

// A converter of the thread into size bytes; *result gets its result.
std::string Str(iconv_str_t f, const std::string& in, int size, int* result) {
  std::string out(static_cast<size_t>(size), 'x');
  *result = f(in.c_str(), &out[0], size);
  return out.substr(0, out.find('\0'));
}

// Loaded data and the thread's state.
class Gb18030 : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string log;
    ASSERT_EQ(ccodetest::Load(ul_ccode_default_path(), 8, &log), 0) << log;
    ASSERT_EQ(ul_ccode_conv_open(), 0);
  }
  void TearDown() override {
    ul_ccode_conv_close();
    ul_ccode_del();
  }
};

TEST(Gb18030Chars, Classes) {
  const struct {
    std::string s;
    int next;   // ul_next_gb18030
    int len;    // ul_gb18030_len
  } rows[] = {
      {"a", 1, 1},
      {"\xB0\xA1", 2, 1},
      {"\x81\x30\x81\x30", 4, 1},
      {"\xFE\x39\xFE\x39", 4, 1},
      {"\x81\x30\x81", -1, 1},  // 81 and 81 skipped, 30 counted
      {"a\x81\x30\x81", 1, 2},
      {"\x80" "a", -1, 1},
      {"\xFF\x40", -1, 1},
      {"", 0, 0},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(ul_next_gb18030(r.s.c_str()), r.next) << r.s;
    EXPECT_EQ(ul_ccode_is_next_gb(r.s.c_str()), r.next < 0 ? 0 : r.next) << r.s;
    EXPECT_EQ(ul_gb18030_len(r.s.c_str()), r.len) << r.s;
  }
  EXPECT_EQ(ul_next_gb18030(nullptr), 0);
  const auto* euro = reinterpret_cast<const unsigned char*>("\xA2\xE3\xA3\xE1");
  EXPECT_TRUE(is_gb18030_euro(euro) && !is_big5_euro(euro) && is_big5_euro(euro + 2));
  EXPECT_TRUE(is_ascii(0x7F) && !is_ascii(0x80));
  const auto* four = reinterpret_cast<const unsigned char*>("\x81\x30\x81\x30");
  EXPECT_TRUE(is_gb_byte4(four) && !is_gb_byte2(four) && !is_gb_byte1(four));
  EXPECT_TRUE(is_gb_byte2(reinterpret_cast<const unsigned char*>("\xB0\xA1")));
  EXPECT_TRUE(is_gb_byte1(reinterpret_cast<const unsigned char*>("\x7F")));
  EXPECT_FALSE(is_gb_byte1(reinterpret_cast<const unsigned char*>("\x80")));
}

TEST_F(Gb18030, TableConversions) {
  const std::string four = Gb("😀");  // a four-byte sequence
  ASSERT_EQ(four.size(), 4u);
  int r = 0;
  EXPECT_EQ(Table(ul_gb18030_big5, "a" + four + Gb("国€") + four, &r), "a  " + Big5("國€") + "  ");
  EXPECT_EQ(r, 8);
  EXPECT_EQ(Table(ul_gb18030_big5, "\xFE\x39\xFE\x39", &r), "  ");
  EXPECT_EQ(r, 4);
  EXPECT_EQ(Table(ul_gb18030_big5_str, four, &r), "  ");
  EXPECT_EQ(r, 1);
  EXPECT_EQ(Table(ul_big5_gb18030, Big5("國€") + "\xA0\x50" "b", &r), Gb("國€") + "  b");
  EXPECT_EQ(r, 2);
  EXPECT_EQ(Table(ul_gb18030_gbi_str, four + Gb("國€"), &r), four + Gb("国€"));
  EXPECT_EQ(r, 1);
  EXPECT_EQ(Table(ul_gbi_gb18030_str, four + Gb("国") + "\xFF", &r), four + Gb("国") + "\xFF");
  EXPECT_EQ(Table(ul_gb18030_gbi_str, "a" + Gb("國") + "b", &r), "a" + Gb("国") + "b");
  EXPECT_EQ(Table(ul_big5_gb18030, "\x9F\x40\xA0\x3F", &r), "\x9F\x40\xA0\x3F");  // lead 9F, trail 3F: copied
  EXPECT_EQ(r, 0);
  // An explicit length: a four-byte sequence cut by it is not one.
  EXPECT_EQ(Table(ul_gb18030_big5, four, &r, 3), four.substr(0, 3));
  EXPECT_EQ(r, 0);

  // NULL pointers and missing grids.
  testsupport::CaptureFd err(2);
  EXPECT_EQ(ul_gb18030_big5(nullptr, nullptr, 0), -1);
  EXPECT_EQ(ul_gbi_gb18030_str(reinterpret_cast<const unsigned char*>("a"), nullptr, 0), -1);
  ul_ccode_conv_close();  // the data goes only after the thread has closed
  ul_ccode_del();
  EXPECT_EQ(Table(ul_big5_gb18030_str, "a", &r), "xx");  // untouched
  EXPECT_EQ(r, -1);
  EXPECT_EQ(Table(ul_gb18030_gbi_str, "a", &r), "xx");
  EXPECT_EQ(r, -1);
  const std::string log = err.Stop();
  EXPECT_TRUE(Has(log, "invalid parameter in function 'ul_gb18030_big5'.\n")) << log;
  EXPECT_TRUE(Has(log, "invalid parameter in function 'ul_gbi_gb18030_str'.\n")) << log;
  EXPECT_TRUE(Has(log, "have not load the maping table: big5_gbk_map\n")) << log;
  EXPECT_TRUE(Has(log, "have not load the maping table: gbk_gbi_map\n")) << log;
}

TEST_F(Gb18030, SpecialWordsSeeTheSourcePositions) {
  ccodetest::DataCopy data;
  data.Write("gbk.special", Gbk("乾 干 天乾 1 0\n"));
  data.Write("big5.special", "");
  std::string log;
  ASSERT_EQ(ccodetest::Load(data.path(), 1, &log), 0) << log;
  const std::string four = Gb("😀");
  // Source and output positions differ after a four-byte sequence.
  EXPECT_EQ(Table(ul_gb18030_gbi_str, Gb("天乾") + four + Gb("天乾乾")), Gb("天乾") + four + Gb("天乾干"));
}

TEST_F(Gb18030, EveryPairAndSampleOfFourByteCodesThroughBig5AndUtf8) {
  int big5 = 0;
  std::string all;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const std::string pair = {static_cast<char>(lead), static_cast<char>(trail)};
      all += pair;
      const std::string want = Platform("GB18030", "BIG5", pair);
      if (want.size() != 2) continue;
      ++big5;
      EXPECT_EQ(Table(ul_gb18030_big5_str, pair), want);
      EXPECT_EQ(Table(ul_big5_gb18030_str, want), Platform("BIG5", "GB18030", want));
    }
  }
  EXPECT_GT(big5, 13000);
  // Four-byte codes: every 97th of the BMP range and the supplementary
  // planes' first codes.
  for (unsigned i = 0; i < 39420; i += 97) {
    const unsigned b3 = i % 10, b2 = i / 10 % 126, b1 = i / 1260 % 10, b0 = i / 12600;
    all += {static_cast<char>(0x81 + b0), static_cast<char>('0' + b1), static_cast<char>(0x81 + b2),
            static_cast<char>('0' + b3)};
  }
  all += Gb("😀𠀀");
  const std::string utf8 = Platform("GB18030", "UTF-8", all);
  ASSERT_NE(utf8, "<none>");
  int r = 0;
  EXPECT_EQ(Str(ul_gb18030_utf8_str, all, static_cast<int>(utf8.size() + 1), &r), utf8);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(Str(ul_utf8_gb18030_str, utf8, static_cast<int>(all.size() + 1), &r), all);
  EXPECT_EQ(r, 0);
}

TEST_F(Gb18030, Utf8BlanksAndFullDestinations) {
  const struct {
    iconv_str_t f;
    std::string in;
    int size;
    std::string out;
    int result;
  } rows[] = {
      {ul_utf8_gb18030_str, "a\xE9", 16, "a", 1},                 // a last lone byte is left over
      {ul_utf8_gb18030_str, "a\xE9\x41\x41" "b", 16, "a  b", 3},  // E0..EF with more than 3 left: 3 as 2 blanks
      {ul_utf8_gb18030_str, "a\xC3\x41" "bc", 16, "a  bc", 2},    // C0..DF with more than 2 left
      {ul_utf8_gb18030_str, "\xE9\x41\x41", 16, " AA", 1},        // exactly 3 left: one blank
      {ul_utf8_gb18030_str, "a\xEF\x41\x41" "b", 16, "a  b", 3},
      {ul_utf8_gb18030_str, "a\xC0\x80" "bc", 16, "a  bc", 2},
      {ul_utf8_gb18030_str, "a\xC2\x41", 16, "a A", 1},           // C0..DF with exactly 2 left: one blank
      {ul_utf8_gb18030_str, "\xFF" "ab", 16, " ab", 1},
      {ul_utf8_gb18030_str, "ab\xE4\xB8\xAD", 4, "ab", 3},        // no room for the pair of 中: stop
      {ul_gb18030_utf8_str, "a\xFF" "b", 16, "a b", 1},
      {ul_gb18030_utf8_str, "a" + Gb("😀") + "b", 5, "a", 5},     // no room for 4 bytes: stop
      {ul_gb18030_utf8_str, "a\x84\x31\xA5\x30" "b", 16, "a  b", 4},  // an unassigned sequence: 2 blanks
      {ul_gb18030_utf8_str, "\xB0\xA1\xB0\xA1", 6, "\xE5\x95\x8A", 2},
  };
  for (const auto& row : rows) {
    int r = 0;
    EXPECT_EQ(Str(row.f, row.in, row.size, &r), row.out) << row.in;
    EXPECT_EQ(r, row.result) << row.in;
  }
  int r = 0;
  testsupport::CaptureFd err(2);
  EXPECT_EQ(Str(ul_utf8_gb18030_str, "", 8, &r), "xxxxxxxx");
  EXPECT_EQ(r, -1);
  EXPECT_EQ(Str(ul_gb18030_utf8_str, "", 8, &r), "xxxxxxxx");
  EXPECT_EQ(r, -1);
  EXPECT_EQ(Str(ul_gb18030_utf8_str, "a", 0 + 1, &r), "");  // room for the NUL only
  EXPECT_EQ(r, 1);
  void* closed = reinterpret_cast<void*>(-1);
  char out[4];
  EXPECT_EQ(ul_gb18030_utf8_str("a", out, 4, &closed), -1);
  EXPECT_EQ(ul_utf8_gb18030_str("a", out, 0, &closed), -1);
  EXPECT_TRUE(Has(err.Stop(), "invalid parameter in function 'ul_utf8_gb18030_str'.\n"));

  // Descriptors of the caller.
  void *to_utf8 = nullptr, *to_gb = nullptr;
  ASSERT_EQ(ul_gb18030_utf8_open(&to_utf8, &to_gb), 0);
  EXPECT_EQ(ul_gb18030_utf8_str(Gb("国").c_str(), out, 4, &to_utf8), 0);
  EXPECT_STREQ(out, "国");
  EXPECT_EQ(ul_utf8_gb18030_str("国", out, 4, &to_gb), 0);
  EXPECT_EQ(out, Gb("国"));
  EXPECT_EQ(ul_gb18030_utf8_close(&to_utf8, &to_gb), 0);
  EXPECT_EQ(to_utf8, reinterpret_cast<void*>(-1));
  EXPECT_EQ(ul_gb18030_utf8_close(&to_utf8, nullptr), 0);  // closed ones are left alone

  // Without the thread's state.
  ul_ccode_conv_close();
  testsupport::CaptureFd err2(2);
  EXPECT_EQ(ul_gb18030_utf8_str("a", out, 4), -1);
  EXPECT_TRUE(Has(err2.Stop(), "get ccode conv error!"));
}

TEST_F(Gb18030, TraditionalSimplifiedLookUp) {
  const struct {
    std::string in;
    int type;
    int flag;
    int outlen;
    std::string out;
    int result;
  } rows[] = {
      {Gb("國家"), CODETYPE_GB, CCODE_TRAD2SIMP, 16, Gb("国"), 1},  // the first character only
      {"國家", CODETYPE_UTF8, CCODE_TRAD2SIMP, 16, Gb("国"), 1},
      {Big5("國"), CODETYPE_BIG5, CCODE_TRAD2SIMP, 16, Gb("国"), 1},
      {Gbk("們"), CODETYPE_GBK, CCODE_TRAD2SIMP, 16, Gb("们"), 1},
      {Gb("国"), CODETYPE_GB, CCODE_SIMP2TRAD, 16, Gb("國"), 1},
      {Gb("国"), CODETYPE_GB, CCODE_TRAD2SIMP, 16, "", 0},           // not in the map
      {Gb("國"), CODETYPE_GB, CCODE_TRAD2SIMP, 2, "", 0},            // no room for the pair
      {Gb("國"), CODETYPE_ASCII, CCODE_TRAD2SIMP, 16, "", 0},
  };
  for (const auto& r : rows) {
    char out[16];
    memset(out, 'x', sizeof(out));
    EXPECT_EQ(ul_ccode_trad_simp(r.in.c_str(), static_cast<int>(r.in.size()), out, r.outlen, r.type, r.flag),
              r.result)
        << r.in;
    EXPECT_EQ(std::string(out), r.out) << r.in;
  }
  char out[16];
  testsupport::CaptureFd err(2);
  EXPECT_EQ(ul_ccode_trad_simp(Gb("國").c_str(), 2, out, 16, CODETYPE_GB, 3), -1);
  EXPECT_EQ(ul_ccode_trad_simp("\xFF", 1, out, 16, CODETYPE_GB, CCODE_TRAD2SIMP), -1);
  EXPECT_EQ(ul_ccode_trad_simp("a", 0, out, 16, CODETYPE_GB, CCODE_TRAD2SIMP), -1);
  EXPECT_EQ(ul_ccode_trad_simp("a", 1, out, 16, CODETYPE_END, CCODE_TRAD2SIMP), -1);
  ul_ccode_conv_close();  // the data goes only after the thread has closed
  ul_ccode_del();
  EXPECT_EQ(ul_ccode_trad_simp("a", 1, out, 16, CODETYPE_GB, CCODE_TRAD2SIMP), -1);
  const std::string log = err.Stop();
  EXPECT_TRUE(Has(log, "invalid trans flag in ul_ccode_trad_simp!")) << log;
  EXPECT_TRUE(Has(log, "invalid param in ul_ccode_trad_simp!")) << log;
  EXPECT_TRUE(Has(log, "please use ul_ccode_load")) << log;
}

TEST_F(Gb18030, ConversionsRunInManyThreadsAtOnce) {
  const std::string gb = Gb("國家的中文文本😀") + "ascii";
  const std::string utf8 = "國家的中文文本😀ascii";
  const std::string gbk = Gbk("中文");  // the test's own converters serve one thread
  std::vector<std::thread> threads;
  std::vector<int> failures(8, 0);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      if (ul_ccode_conv_open() != 0) {
        ++failures[t];
        return;
      }
      for (int i = 0; i < 200; ++i) {
        char out[64];
        int r = 0;
        failures[t] += Str(ul_gb18030_utf8_str, gb, 64, &r) != utf8 || r != 0;
        failures[t] += ul_gb_sjis_str(gb.c_str(), out, 64) < 0;
        failures[t] += Table(ul_gb18030_big5_str, gb) != Table(ul_gb18030_big5_str, gb);
        failures[t] += ul_gbk_to_utf8(out, 64, gbk.c_str()) != 6;
        failures[t] += ul_ccode_trad_simp(gb.c_str(), 2, out, 64, CODETYPE_GB, CCODE_TRAD2SIMP) != 1;
      }
      ul_ccode_conv_close();
    });
  }
  for (std::thread& th : threads) th.join();
  for (int t = 0; t < 8; ++t) EXPECT_EQ(failures[t], 0) << t;
}

TEST(UnicodePage, ByteOrderMarksAndUnits) {
  const struct {
    std::string in;
    int outsize;
    std::string out;
    int result;
  } rows[] = {
      {std::string("\xFF\xFE" "A\0", 4), 8, "A", CODETYPE_UTF16LE},
      {std::string("\xFE\xFF\0A\x4E\x2D", 6), 8, "A中", CODETYPE_UTF16BE},
      {std::string("\0\0\xFE\xFF\0\0\0A", 8), 8, "A", CODETYPE_UTF32BE},
      {std::string("\xFF\xFE\0\0A\0\0\0", 8), 8, "A", CODETYPE_UTF32LE},
      {std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6), 8, "\xED\xA0\xBD\xED\xB8\x80", CODETYPE_UTF16LE},
      {std::string("\xFF\xFE" "A", 3), 8, "", -2},          // a partial unit
      {"\xFF\xFE", 1, "", CODETYPE_UTF16LE},               // the mark alone
      {std::string("\xFF\xFE\x2D\x4E", 4), 3, "", -2},     // 中 and its NUL need 4
      {std::string("\xFF\xFE\x2D\x4E", 4), 4, "中", CODETYPE_UTF16LE},
      {"AB", 8, "", -2},                                    // no mark
      {"\xFF", 8, "", -2},
  };
  for (const auto& r : rows) {
    char out[8];
    int size = r.outsize;
    EXPECT_EQ(ul_ccode_unicode_page(r.in.data(), static_cast<int>(r.in.size()), out, size), r.result);
    EXPECT_EQ(std::string(out), r.out);
    EXPECT_EQ(size, r.outsize - (r.result > 0 ? static_cast<int>(r.out.size()) : 0));
  }
  int size = 0;
  char out[4];
  testsupport::CaptureFd err(2);
  EXPECT_EQ(ul_ccode_unicode_page("\xFF\xFE" "A", 4, out, size), -2);
  EXPECT_TRUE(Has(err.Stop(), "invalid param in ul_ccode_unicode_page!"));
}

}  // namespace
