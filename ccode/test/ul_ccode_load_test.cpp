#include "ul_ccode_load.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <iterator>
#include <string>

#include "support/support.h"
#include "ul_ccode_conv.h"
#include "ul_ccode_data.h"
#include "ul_langfeature.h"
#include "ul_transch.h"

namespace {

namespace fs = std::filesystem;
using testsupport::CaptureFd;
using testsupport::TempDir;
using testsupport::WriteFile;

std::string DataDir() { return testsupport::SourceDir() + "/ccode/data"; }

// A copy of the data directory to damage.
struct DataCopy {
  TempDir tmp;
  DataCopy() { fs::copy(DataDir() + "/code", tmp.path() + "/code", fs::copy_options::recursive); }
  std::string code(const std::string& name) const { return tmp.path() + "/code/" + name; }
  const char* path() const { return tmp.path().c_str(); }
};

// Loads and captures what was logged.
int Load(const char* path, int flag, std::string* log) {
  CaptureFd err(2);
  const int r = ul_ccode_load(path, flag);
  *log = err.Stop();
  return r;
}

bool Has(const std::string& log, const std::string& text) { return log.find(text) != std::string::npos; }

// ul_ccode_del keeps the character and bigram sets; each case starts
// without them.
class CcodeLoad : public ::testing::Test {
 protected:
  void SetUp() override {
    for (ccode_charset_t* s : {&l_setHanzi, &l_setGbkSimp, &l_setGbkTrad, &l_setGbkSimpPure, &l_setGbkJpHanzi,
                               &l_setGbkJpHanziUnq}) {
      s->clear();
    }
    for (ccode_bigramset_t* s : {&l_setWords, &l_setKrjp, &l_setGbkjp, &l_setEuckr, &l_setSjis, &l_setEucjp}) {
      s->clear();
    }
  }
  void TearDown() override { ul_ccode_del(); }
};

TEST_F(CcodeLoad, EveryFlagCombinationLoadsTheDefaultDirectory) {
  EXPECT_EQ(fs::path(ul_ccode_default_path()), fs::path(DataDir()));
  for (int flag = 0; flag < 16; ++flag) {
    std::string log;
    ASSERT_EQ(Load(ul_ccode_default_path(), flag, &log), 0) << flag << log;
    EXPECT_EQ(log, "") << flag;
    EXPECT_EQ(CCODE_LOAD_FLAG, flag);
    for (unsigned char* grid : {big5_gbk_map, big5_gbi_map, gbk_big5_map, gbk_gbi_map, gbi_big5_map, gbi_gbk_map}) {
      EXPECT_NE(grid, nullptr);
    }
    EXPECT_NE(map_for_bj, nullptr);
    EXPECT_EQ(ccode_page_data_wanted(flag), l_mapWord[0].size() > 0) << flag;
    EXPECT_EQ((flag & 4) != 0, g_langfeaset != nullptr) << flag;
    // Thread state works after every load.
    EXPECT_EQ(ul_ccode_conv_open(), 0);
    EXPECT_EQ(ul_ccode_conv_close(), 0);
    EXPECT_EQ(ul_ccode_del(), 1);
    EXPECT_EQ(big5_gbk_map, nullptr);
    EXPECT_EQ(map_for_bj, nullptr);
    EXPECT_EQ(g_langfeaset, nullptr);
    EXPECT_EQ(l_mapWord[0].size(), 0u);
  }
  // Loading twice keeps what is loaded; a feature set is rebuilt.
  ASSERT_EQ(ul_ccode_load(DataDir().c_str(), 4), 0);
  const unsigned char* grid = gbk_gbi_map;
  const LANGFEATURESET* set = g_langfeaset;
  ASSERT_EQ(ul_ccode_load(DataDir().c_str(), 15), 0);
  EXPECT_EQ(gbk_gbi_map, grid);
  EXPECT_NE(g_langfeaset, nullptr);
  (void)set;
}

TEST_F(CcodeLoad, TheDataIsWhatTheReadersExpect) {
  ASSERT_EQ(ul_ccode_load(DataDir().c_str(), 0), 0);
  // GBK 中 (D6D0) -> BIG5 A4A4; BIG5 國 (B0EA) -> GBK 国 (B9FA) through GBI.
  const int gbk = (0xD6 - 0x81) * kGbkCells + (0xD0 - 0x40);
  EXPECT_EQ(gbk_big5_map[2 * gbk], 0xA4);
  EXPECT_EQ(gbk_big5_map[2 * gbk + 1], 0xA4);
  const int big5 = (0xB0 - 0xA1) * kBig5Cells + (0xEA - 0x62);
  EXPECT_EQ(big5_gbi_map[2 * big5], 0xB9);
  EXPECT_EQ(big5_gbi_map[2 * big5 + 1], 0xFA);
  EXPECT_EQ(big5_gbk_map[2 * big5], 0x87);  // 國 stays traditional in GBK
  EXPECT_TRUE(l_setHanzi.count(0xD0D6));       // first byte low
  EXPECT_TRUE(l_setGbkTrad.count(0xFA87));     // 國
  EXPECT_FALSE(l_setGbkTrad.count(0xFAB9));    // 国
  EXPECT_TRUE(l_setGbkSimp.count(0xFAB9));
  double v = 0;
  EXPECT_EQ(l_mapWord[0].get("the", &v), 0xFFFF);
  EXPECT_LT(v, 0);
  unsigned int bits = 0;
  EXPECT_EQ(l_globalWord.get("the", &bits), 0xFFFF);
  EXPECT_TRUE(bits & 1);
  std::string simp;
  EXPECT_EQ(l_trad2simp.get("\x87\xf8", &simp), 0xFFFF);  // 國 -> 国 in GB18030
  EXPECT_EQ(simp, "\xb9\xfa");
  EXPECT_GT(l_setWords.size(), 1000u);
  EXPECT_GT(l_setEuckr.size(), 1000u);
  EXPECT_EQ(l_setKrjp.size(), l_setEuckr.size() + l_setSjis.size() + l_setEucjp.size() -
                                  [] { size_t n = 0; for (uint32_t k : l_setSjis) n += l_setEucjp.count(k); return n; }());
}

TEST_F(CcodeLoad, RefusesANullPathAndKeepsTheFlag) {
  ASSERT_EQ(ul_ccode_load(DataDir().c_str(), 4), 0);
  std::string log;
  EXPECT_EQ(Load(nullptr, 0, &log), -1);
  EXPECT_TRUE(Has(log, "invalid parameter 'path' in function 'ul_ccode_load'.\n")) << log;
  EXPECT_EQ(CCODE_LOAD_FLAG, 4);
  EXPECT_FALSE(ccode_page_data_wanted(CCODE_LOAD_FLAG));
  EXPECT_EQ(l_mapWord[0].size(), 0u);  // flag 4 reads no word models
}

TEST_F(CcodeLoad, MissingRequiredFilesFailWithTheirMessages) {
  struct Row {
    const char* file;
    int flag;
    const char* message;
  };
  for (const Row& r : {Row{"big5-gbi.txt", 4, "load gbk,gbi,big5 trans resource fail."},
                       Row{"gbi-big5.txt", 0, "load gbk,gbi,big5 trans resource fail."},
                       Row{"gbk.special", 1, "load special word fail."},
                       Row{"big5.special", 1, "load special word fail."},
                       Row{"bigram.dic", 8, nullptr},
                       Row{"gbk_jphanzi_unq.txt", 2, nullptr},
                       Row{"unigram/14.unigram", 0, nullptr},
                       Row{"simp_trad_words.dic", 0, nullptr},
                       Row{"bigram_eucjp.dic", 8, nullptr},
                       Row{"query_unigram_ingbk.txt", 2, "LoadQueryUnigramFile open dict file fail!"},
                       Row{"query_unigram_inutf8.txt", 2, "LoadQueryUnigramFile open dict file fail!"}}) {
    DataCopy data;
    fs::remove(data.code(r.file));
    std::string log;
    EXPECT_EQ(Load(data.path(), r.flag, &log), -1) << r.file;
    EXPECT_TRUE(Has(log, "open " + data.code(r.file) + " error") || Has(log, std::string("file:code/") + r.file))
        << log;
    if (r.message != nullptr) {
      EXPECT_TRUE(Has(log, r.message)) << log;
    }
    ul_ccode_del();
  }
  // Optional files: none of them is needed.
  DataCopy data;
  for (const char* f : {"query_detect.conf", "bj.txt", "white-url.txt", "i18n-white-url.txt"}) fs::remove(data.code(f));
  std::string log;
  EXPECT_EQ(Load(data.path(), 15, &log), 0) << log;
}

TEST_F(CcodeLoad, LoadingIsCumulative) {
  DataCopy data;
  ASSERT_EQ(ul_ccode_load(data.path(), 0), 0);
  fs::remove(data.code("gbk-gbi.txt"));
  fs::remove(data.code("unigram/3.unigram"));
  EXPECT_EQ(ul_ccode_load(data.path(), 0), 0);  // neither is read again
  ul_ccode_del();
  std::string log;
  EXPECT_EQ(Load(data.path(), 0, &log), -1);
}

TEST_F(CcodeLoad, FullWidthMaps) {
  DataCopy data;
  WriteFile(data.code("bj.txt"), std::string(96, 'Z'));
  fs::remove(data.code("bj_ext.txt"));
  ASSERT_EQ(ul_ccode_load(data.path(), 4), 0);  // one of the two: skipped
  EXPECT_EQ(map_for_bj, nullptr);
  for (size_t size : {95u, 97u, 0u}) {
    ul_ccode_del();
    WriteFile(data.code("bj_ext.txt"), std::string(size, 'x'));
    std::string log;
    EXPECT_EQ(Load(data.path(), 4, &log), -1) << size;
    EXPECT_TRUE(Has(log, "load bj file error!"));
    EXPECT_EQ(map_for_bj, nullptr);
    EXPECT_EQ(map_for_bj_ext, nullptr);
  }
  ul_ccode_del();
  WriteFile(data.code("bj_ext.txt"), std::string(96, 'x'));
  ASSERT_EQ(ul_ccode_load(data.path(), 4), 0);
  char out[8];
  ul_trans2bj("\xA3\xC1", out);
  EXPECT_STREQ(out, "Z");
}

std::string GbkRow(int lead, const std::string& cells) {
  char hex[3];
  snprintf(hex, sizeof(hex), "%02X", lead);
  return hex + cells + "\n";
}

TEST_F(CcodeLoad, DamagedGridsLoadSoundly) {
  const size_t row = kGbkCells * 2;
  struct Row {
    const char* name;
    std::string text;
    std::string row0, row1;  // expected first bytes of rows 0 and 1 (rest zero)
    std::string last;        // expected start of the last row
  };
  const std::string full(row, 'a');
  for (const Row& r : {
           Row{"header only", "# grid\n", "", "", ""},
           Row{"empty", "", "", "", ""},
           Row{"short rows, no line end", "# g\n" + GbkRow(0x81, "ab") + "81cd", "ab", "cd", "cd"},
           Row{"NUL in a row", "# g\n" + GbkRow(0x81, std::string("ab\0cd", 5)) + GbkRow(0x82, "ef"), "ab", "ef", "ef"},
           Row{"CRLF", "# g\r\n81ab\r\n82cd\r\n", "ab", "cd", "cd"},
           Row{"line of one byte", "# g\n8\n82cd\n", "", "cd", "cd"},
           Row{"over-long row", "# g\n" + GbkRow(0x81, full + "zzzz"), full, "", full},
       }) {
    DataCopy data;
    WriteFile(data.code("gbk-gbi.txt"), r.text);
    ASSERT_EQ(ul_ccode_load(data.path(), 4), 0) << r.name;
    auto check = [&](int index, const std::string& start) {
      const std::string got(reinterpret_cast<const char*>(gbk_gbi_map) + index * row, row);
      EXPECT_EQ(got, start + std::string(row - start.size(), '\0')) << r.name << " row " << index;
    };
    check(0, r.row0);
    if (r.name != std::string("over-long row")) check(1, r.row1);
    check(kGbkRows - 1, r.last);
    ul_ccode_del();
  }
  // A BIG5 grid: one full row, the rest repeats it.
  DataCopy data;
  const std::string big5row(kBig5Cells * 2, 'b');
  WriteFile(data.code("big5-gbk.txt"), "#\nA1" + big5row + "\n");
  ASSERT_EQ(ul_ccode_load(data.path(), 4), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(big5_gbk_map) + (kBig5Rows - 1) * big5row.size(), big5row.size()),
            big5row);
}

TEST_F(CcodeLoad, DamagedSetsAndMaps) {
  DataCopy data;
  // Short lines give no key; a last line without a line feed keeps its bytes.
  WriteFile(data.code("gbkwords.txt"), std::string("\xB0\xA1\n\xB0\n\n\xB1\xA1", 8));
  WriteFile(data.code("bigram.dic"), std::string("\xB0\xA1\xB0\xA2\n\xB0\xA1\xB0\n\xC1\xC2\xC3\xC4", 13));
  WriteFile(data.code("gbk_simp.txt"), "");
  WriteFile(data.code("gbk_trad.txt"), std::string("\0\0\n", 3));  // a NUL ends the line's text
  WriteFile(data.code("unigram/0.unigram"), "foo\t-1.5\nbar -2\nfoo\t-9\nzqboth\t-3\nlast\t-7");
  WriteFile(data.code("unigram/3.unigram"), "zqboth\t-4\n");
  WriteFile(data.code("trad_simp_words.dic"), "a\tb\r\nc\td\re\nnotab\r\n\tempty key\n");
  ASSERT_EQ(ul_ccode_load(data.path(), 8), 0);
  EXPECT_EQ(l_setHanzi, (ccode_charset_t{0xA1B0, 0xA1B1}));
  EXPECT_EQ(l_setWords, (ccode_bigramset_t{0xA2B0A1B0u, 0xC4C3C2C1u}));
  EXPECT_TRUE(l_setGbkSimp.empty());
  EXPECT_TRUE(l_setGbkTrad.empty());
  double v = 0;
  EXPECT_EQ(l_mapWord[0].size(), 3u);
  EXPECT_EQ(l_mapWord[0].get("foo", &v), 0xFFFF);
  EXPECT_EQ(v, -1.5);  // the first value stays
  EXPECT_EQ(l_mapWord[0].get("last", &v), 0xFFFF);
  EXPECT_EQ(v, -7);  // no line feed to cut: the number keeps its last digit
  unsigned int bits = 0;
  EXPECT_EQ(l_globalWord.get("zqboth", &bits), 0xFFFF);
  EXPECT_EQ(bits, 0x9u);
  EXPECT_EQ(l_trad2simp.size(), 3u);
  std::string s;
  EXPECT_EQ(l_trad2simp.get("a", &s), 0xFFFF);
  EXPECT_EQ(s, "b");
  EXPECT_EQ(l_trad2simp.get("c", &s), 0xFFFF);
  EXPECT_EQ(s, "d");
  EXPECT_EQ(l_trad2simp.get("", &s), 0xFFFF);
  EXPECT_EQ(s, "empty key");
}

TEST_F(CcodeLoad, LongPaths) {
  DataCopy data;
  // A data path of 200 bytes works everywhere (features and full-width maps
  // included); a name past 4,095 bytes is refused with its message.
  std::string deep = data.tmp.path();
  while (deep.size() < 200) deep += "/d";
  fs::create_directories(deep);
  fs::rename(data.tmp.path() + "/code", deep + "/code");
  std::string log;
  EXPECT_EQ(Load(deep.c_str(), 15, &log), 0) << log;
  EXPECT_NE(map_for_bj, nullptr);
  ul_ccode_del();
  const std::string huge(5000, 'x');
  EXPECT_EQ(Load(huge.c_str(), 0, &log), -1);
  EXPECT_TRUE(Has(log, "load gbk,gbi,big5 trans resource fail."));
}

TEST_F(CcodeLoad, CreatGbiMergesTwoGrids) {
  TempDir dir;
  const std::string base = "#h\n81" + std::string("\xB0\xA1\xB0\xA2\xB0\xA3", 6) + "\n";
  const std::string overlay = "#h\n81" + std::string("\xA1\xA1\xC1\xC1\xA1\xF5\xA1\xF5", 8) + "\n";
  WriteFile(dir.file("base"), base);
  WriteFile(dir.file("overlay"), overlay);
  ASSERT_EQ(ul_creat_gbi(dir.path().c_str(), "base", "overlay", "out"), 0);
  // The overlay's placeholders take the base's cells where the base has them.
  EXPECT_EQ(testsupport::ReadFile(dir.file("out")),
            "#h\n81" + std::string("\xB0\xA1\xC1\xC1\xB0\xA3\xA1\xF5", 8) + "\n");
  EXPECT_EQ(ul_creat_gbi(dir.path().c_str(), "missing", "overlay", "out2"), -1);
  EXPECT_FALSE(testsupport::FileExists(dir.file("out2")));
  // An existing output is replaced whole, and kept as it was by a run that
  // fails; no temporary file stays behind.
  WriteFile(dir.file("old"), std::string(2000, 'o'));
  EXPECT_EQ(ul_creat_gbi(dir.path().c_str(), "missing", "overlay", "old"), -1);
  EXPECT_EQ(testsupport::ReadFile(dir.file("old")), std::string(2000, 'o'));
  ASSERT_EQ(ul_creat_gbi(dir.path().c_str(), "base", "overlay", "old"), 0);
  EXPECT_EQ(testsupport::ReadFile(dir.file("old")), testsupport::ReadFile(dir.file("out")));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 4);
}

TEST(CcodeDefaultPath, EnvironmentOverrides) {
  EXPECT_EQ(testsupport::RunInChild([] {
              setenv("PBDICT_CCODE_DATA", "/elsewhere", 1);
              return std::string(ul_ccode_default_path()) == "/elsewhere" ? 0 : 1;
            }),
            0);
}

}  // namespace
