#include "ul_ccode_codetype.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "ccode_test_data.h"
#include "support/support.h"
#include "ul_big5_gbk.h"
#include "ul_ccode_conv.h"
#include "ul_ccode_data.h"
#include "ul_ccode_info.h"
#include "ul_ccode_load.h"
#include "ul_ccode_pagetables.h"
#include "ul_ccode_type.h"

namespace {

const auto* const kData = ::testing::AddGlobalTestEnvironment(new ccodetest::DefaultData);

// The code type of page. The detection reads the loaded sets through copies
// made at load: the tests that change a set have them made anew first.
int Detect(const std::string& page, const char* charset = nullptr) {
  EXPECT_EQ(ccode_set_copies_build(), 0);
  int code = -3;
  EXPECT_EQ(ul_ccode_detect_codetype(page.c_str(), "http://detect.test/", charset, nullptr, &code), 1);
  return code;
}

using ccodetest::Repeat;

uint32_t Key(const char* four) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(four);
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Bigram sets of the test's own, restored afterwards: blocks "AB" (in the
// EUC-JP and Shift_JIS sets), "CD" (EUC-JP only) and "EF" (none) of four
// bytes; a miss moves on two bytes, so the blocks stay aligned.
class OwnSets : public ::testing::Test {
 protected:
  static constexpr const char* kAB = "\xB0\xA1\xB0\xA2";
  static constexpr const char* kCD = "\xB0\xA3\xB0\xA4";
  static constexpr const char* kEF = "\xB0\xA5\xB0\xA6";
  void SetUp() override {
    for (int i = 0; i < 6; ++i) {
      saved_[i] = *sets_[i];
      sets_[i]->clear();
    }
    l_setEucjp = {Key(kAB), Key(kCD)};
    l_setSjis = {Key(kAB)};
  }
  void TearDown() override {
    for (int i = 0; i < 6; ++i) *sets_[i] = saved_[i];
    ccode_set_copies_build();
  }
  // s AB blocks, e - s CD blocks, nb - e EF blocks.
  static std::string Blocks(int nb, int e, int s) { return Repeat(kAB, s) + Repeat(kCD, e - s) + Repeat(kEF, nb - e); }

 private:
  ccode_bigramset_t* sets_[6] = {&l_setWords, &l_setGbkjp, &l_setSjis, &l_setEucjp, &l_setEuckr, &l_setKrjp};
  ccode_bigramset_t saved_[6];
};

TEST(CcodeCodetype, RulesInOrder) {
  const std::string gbk = Repeat("\xD6\xD0\xCE\xC4\xB5\xC4\xCA\xC7", 40);  // common simplified text
  const std::string jis = "\x1B$B\x1B(B";
  EXPECT_EQ(Detect(""), CODETYPE_NONE);
  EXPECT_EQ(Detect("vti_encoding:SR|utf8-nl " + gbk), CODETYPE_NONE);
  EXPECT_EQ(Detect(jis + "\x1B(J" + gbk), CODETYPE_JIS);
  EXPECT_EQ(Detect("\x1B$B" + gbk), CODETYPE_GB);  // one escape is not enough
  EXPECT_EQ(Detect("plain text"), CODETYPE_ASCII);
  EXPECT_EQ(Detect("\xEF\xBB\xBF" + gbk), CODETYPE_UTF8);
  EXPECT_EQ(Detect("caf\xE9 na\xEFve " + Repeat("x", 2000)), CODETYPE_ISO_8859_1);
  EXPECT_EQ(Detect("\xE4\xB8\xAD\xE6\x96\x87" + Repeat("\xE7\x9A\x84", 20)), CODETYPE_UTF8);
  EXPECT_EQ(Detect(gbk), CODETYPE_GB);
  EXPECT_EQ(Detect(Repeat("\xA4\xA4\xA4\xE5\xAA\xBA\xAC\x4F", 40)), CODETYPE_BIG5);
  // No bigram, a declared charset: the declaration decides.
  EXPECT_EQ(Detect(Repeat("\x81\x80", 50), "gbk"), CODETYPE_GB);
  EXPECT_EQ(Detect(Repeat("\x81\x80", 50)), CODETYPE_NONE);
}

TEST(CcodeCodetype, AsciiAndIsoScorers) {
  _ccode_info_t* info = get_ccode_info();
  const struct {
    std::string page;
    int ascii;
  } rows[] = {
      {"hello", 1023},
      {Repeat("\x81\x40", 39) + Repeat("x", 20000), 0},      // pairs of a kind: gbk_count
      {Repeat("\xE9 ", 39) + Repeat("x", 20000), 1023},      // 39 lone bytes
      {Repeat("\xE9 ", 40) + Repeat("x", 20000), 0},         // 40
      {Repeat("\xE9 ", 10) + Repeat("x", 4980), 0},          // 500 x 10 = the length
      {Repeat("\xE9 ", 10) + Repeat("x", 4981), 1023},
  };
  for (const auto& r : rows) {
    ccode_info_clean(info);
    ccode_info_compute(info, r.page.c_str(), "http://a.test/", nullptr, nullptr);
    EXPECT_EQ(codetype_ascii(info), r.ascii) << r.page.size();
  }
  // Declared ISO-8859-1: the share of lone high bytes.
  ccode_info_clean(info);
  const std::string half = Repeat("\xE9x", 10) + Repeat("\xE9\xE9", 10);
  ccode_info_compute(info, half.c_str(), "http://a.test/", "iso-8859-1", nullptr);
  EXPECT_EQ(codetype_iso_8859_1(info), 512);
  ccode_info_clean(info);
  ccode_info_compute(info, "\xE9x\xE9y", "http://a.test/", "windows-1252", nullptr);
  EXPECT_EQ(codetype_iso_8859_1(info), 1023);
  EXPECT_EQ(ccode_detect_codetype(info), CODETYPE_ISO_8859_1);
  ccode_info_clean(info);
  ccode_info_compute(info, "\xE9x\xE9y", "http://a.test/", "koi8-r", nullptr);
  EXPECT_EQ(codetype_iso_8859_1(info), 0);
}

TEST(CcodeCodetype, Utf8Scorer) {
  _ccode_info_t info;
  const struct {
    int len, ascii, good, charset, score;
  } rows[] = {
      {40, 8, 31, -1, 1023},  // 96 %
      {40, 8, 30, -1, 1023},  // 93 % with 30 good bytes
      {40, 8, 29, 3, 0},      // 90 % with 29: the declared path needs 50
      {40, 40, 0, 3, 0},      // nothing but ASCII
      {100, 0, 70, 3, 1023},  // 70 % declared with 50 good bytes
      {100, 0, 69, 3, 0}, {100, 0, 70, -1, 0},
      {20, 0, 19, -1, 1023}, {21, 0, 19, -1, 0},    // 95 % and 90 % with 19 good bytes
      {100, 0, 90, -1, 1023}, {100, 0, 89, -1, 0},  // 90 % and 89 % with more than 29
      {71, 0, 50, 3, 1023}, {70, 0, 49, 3, 0},      // 70 % declared with 50 and with 49
  };
  for (const auto& r : rows) {
    ccode_info_clean(&info);
    info.content_len = r.len;
    info.uinfo.utf8_ascii = r.ascii;
    info.uinfo.utf8_goodbytes = r.good;
    info.charset_codetype = r.charset;
    EXPECT_EQ(codetype_utf8(&info), r.score) << r.len << " " << r.good;
  }
  info.bom_count = 1;
  EXPECT_EQ(codetype_utf8(&info), 1023);
}

TEST(CcodeCodetype, CheckBigramWindows) {
  const ccode_bigramset_t set = {Key("AABB"), Key("BBCC")};
  EXPECT_EQ(check_bigram(set, "AABBCC", 6), 1);  // a hit moves on four
  EXPECT_EQ(check_bigram(set, "AAB", 3), 0);
  EXPECT_EQ(check_bigram(set, "AABB", 4), 1);
  EXPECT_EQ(check_bigram(set, "AABB", 3), 0);
  EXPECT_EQ(check_bigram(set, "xAABB", 5), 0);  // a miss moves on two
  EXPECT_EQ(check_bigram(set, "xxBBCC", 6), 1);
}

TEST_F(OwnSets, VoteTiesAndMarks) {
  _ccode_info_t* info = get_ccode_info();
  const struct {
    int nb, e, s;
    const char* declared;
    int result, confidence;
  } rows[] = {
      {20, 20, 11, "", CODETYPE_EUCJP, 461}, {22, 20, 11, "", CODETYPE_NONE, 460},
      {22, 20, 11, "euc-jp", CODETYPE_EUCJP, 460}, {20, 20, 13, "euc-jp", CODETYPE_EUCJP, 359},
      {20, 20, 13, "", CODETYPE_NONE, 359}, {21, 20, 13, "euc-jp", CODETYPE_NONE, 358},
      {21, 20, 13, "big5", CODETYPE_NONE, 358},  // not the declared charset either
  };
  for (const auto& r : rows) {
    const std::string meta = r.declared[0] ? std::string("<meta content=\"charset=") + r.declared + "\">" : "";
    const std::string page = meta + Blocks(r.nb, r.e, r.s);
    EXPECT_EQ(Detect(page), r.result) << r.nb << " " << r.s << " " << r.declared;
    EXPECT_EQ(info->bigram_codetype, CODETYPE_EUCJP);
    EXPECT_EQ(info->bigram_confidence, r.confidence);
  }
  // Equal scores: the earlier candidate (Shift_JIS) wins with confidence 0.
  l_setSjis.insert(Key(kCD));
  EXPECT_EQ(Detect(Blocks(20, 20, 0)), CODETYPE_NONE);
  EXPECT_EQ(info->bigram_codetype, CODETYPE_SJIS);
  EXPECT_EQ(info->bigram_confidence, 0);
  // EUC-JP over GB: certain, whatever the scores.
  l_setSjis.clear();
  l_setGbkjp = {Key(kAB)};
  EXPECT_EQ(Detect(Blocks(20, 20, 11)), CODETYPE_EUCJP);
  EXPECT_EQ(info->bigram_confidence, 1023);
  EXPECT_EQ(info->ginfo.gbkjp_bigram, 11);
  // GB over EUC-JP, with EUC-KR tied for second: the earlier one is second.
  l_setGbkjp = {Key(kAB), Key(kCD)};
  l_setEucjp = l_setEuckr = {Key(kAB)};
  EXPECT_EQ(Detect(Blocks(20, 20, 10)), CODETYPE_GB);
  EXPECT_EQ(info->bigram_confidence, 1023);
  l_setEuckr.clear();
  // Nothing scores: the vote is skipped, the declaration decides.
  l_setEucjp.clear();
  l_setGbkjp.clear();
  EXPECT_EQ(Detect("<meta content=\"charset=euc-kr\">" + Blocks(20, 20, 11)), CODETYPE_EUCKR);
  EXPECT_EQ(info->bigram_codetype, -1);
  EXPECT_EQ(info->eucjp_bigram, 0);  // hits are stored even when nothing scores
}

TEST_F(OwnSets, Acceptance) {
  _ccode_info_t* info = get_ccode_info();
  // 10 hits, 80 EUC-JP pairs of 100: not accepted, and the declaration is
  // not used.
  const std::string few = Repeat(kCD, 10) + Repeat(kEF, 30) + Repeat("\x81\x40\x81\x41", 10);
  EXPECT_EQ(Detect("<meta content=\"charset=euc-jp\">" + few), CODETYPE_NONE);
  EXPECT_EQ(info->bigram_codetype, CODETYPE_EUCJP);
  EXPECT_EQ(info->bigram_confidence, 0);
  // 5 H > N accepts: 10 hits, 48 pairs; 5 H = N (50 of 54 pairs) does not.
  EXPECT_EQ(Detect(Repeat(kCD, 10) + Repeat(kEF, 14)), CODETYPE_EUCJP);
  EXPECT_EQ(Detect(Repeat(kCD, 10) + Repeat(kEF, 15) + Repeat("\x81\x40", 4)), CODETYPE_NONE);
  // Weak acceptance needs more than 95 of 100 pairs of the kind.
  EXPECT_EQ(Detect(kCD + Repeat(kEF, 46) + "\xB0\xA5" + Repeat("\x81\x40", 5)), CODETYPE_NONE);
  EXPECT_EQ(Detect(kCD + Repeat(kEF, 47) + Repeat("\x81\x40", 4)), CODETYPE_EUCJP);
  // Fewer than 20 distinct pairs: 7 hits suffice, but not for EUC-JP.
  l_setSjis = {Key("\x88\x9F\x88\x9F")};
  EXPECT_EQ(Detect(Repeat("\x88\x9F", 14) + Repeat("\x88\xA0", 40)), CODETYPE_SJIS);
  EXPECT_LT(info->real_count, 20);
  // ... or 6 H > N: 6 hits of 35 pairs, not of 36 (38 pairs in all).
  EXPECT_EQ(Detect(Repeat("\x88\x9F", 12) + Repeat("\x88\xA0", 23) + Repeat("\xF0\x40", 2)), CODETYPE_SJIS);
  EXPECT_EQ(Detect(Repeat("\x88\x9F", 12) + Repeat("\x88\xA0", 24) + Repeat("\xF0\x40", 2)), CODETYPE_NONE);
  l_setSjis.clear();
  l_setEucjp = {Key("\xB0\xA3\xB0\xA3")};
  EXPECT_EQ(Detect(Repeat("\xB0\xA3", 14) + Repeat("\xB0\xA5", 40) + Repeat("\x81\x40", 5)), CODETYPE_NONE);
  EXPECT_EQ(info->bigram_codetype, CODETYPE_EUCJP);
  // Weak acceptance (nearly every pair of the kind, some hit): kept for
  // EUC-JP, withdrawn for GB.
  EXPECT_EQ(Detect(Repeat("\xB0\xA3", 14) + Repeat("\xB0\xA5", 40)), CODETYPE_EUCJP);
  l_setEucjp.clear();
  l_setWords = {Key(kCD)};
  EXPECT_EQ(Detect(Repeat(kCD, 3) + Repeat(kEF, 80)), CODETYPE_NONE);
  EXPECT_EQ(info->bigram_codetype, CODETYPE_GB);
  EXPECT_EQ(info->bigram_confidence, 0);
}

TEST(CcodeCodetype, NullArguments) {
  int code = 0;
  testsupport::CaptureFd err(2);
  EXPECT_EQ(ul_ccode_detect_codetype(nullptr, "u", nullptr, nullptr, &code), -1);
  EXPECT_EQ(ul_ccode_detect_codetype("p", nullptr, nullptr, nullptr, &code), -1);
  EXPECT_EQ(ul_ccode_detect_codetype("p", "u", nullptr, nullptr, nullptr), -1);
  EXPECT_EQ(ccode_detect_codetype(nullptr), -1);
  const std::string log = err.Stop();
  EXPECT_NE(log.find("invalid parameter in function 'ul_ccode_detect'."), std::string::npos);
  EXPECT_NE(log.find("invalid parameter in function 'ccode_detect_codetype'."), std::string::npos);
  // A thread without its state: -1, nothing logged.
  const int status = testsupport::RunInChild([] {
    int c = 0;
    int r = -9;
    std::thread t([&] { r = ul_ccode_detect_codetype("page", "url", nullptr, nullptr, &c); });
    t.join();
    return r == -1 ? 0 : 1;
  });
  EXPECT_EQ(status, 0);
}

TEST(CcodeCodetype, JapaneseFlagInItsOwnProcess) {
  const int status = testsupport::RunInChild([] {
    const std::string page = Repeat("\x82x", 5) + Repeat("x", 3000);  // lone high bytes, Shift_JIS pairs
    int before = -3, after = -3;
    ul_ccode_detect_codetype(page.c_str(), "http://jp.test/", nullptr, nullptr, &before);
    g_for_jp = 1;
    ul_ccode_detect_codetype(page.c_str(), "http://jp.test/", nullptr, nullptr, &after);
    return before == CODETYPE_ISO_8859_1 && after != CODETYPE_ISO_8859_1 ? 0 : 1;
  });
  EXPECT_EQ(status, 0);
}

TEST_F(OwnSets, FailedGbiConversionScansNothing) {
  // GBK and BIG5 pairs whose GBI form is a listed block hit while the grids
  // are there. Without a grid the conversion fails and nothing is scanned:
  // no hits, although the scan buffer of the call before may still hold the
  // same bytes.
  const std::string gbk = "\xB0\xA1\xB0\xA2", big5 = "\xA4\xA4\xA4\xE5";
  unsigned char gbi_of_gbk[5] = {}, gbi_of_big5[5] = {};
  ASSERT_EQ(ul_gbk_gbi_str(reinterpret_cast<const unsigned char*>(gbk.c_str()), gbi_of_gbk, 4), 4);
  ASSERT_EQ(ul_big5_gbi_str(reinterpret_cast<const unsigned char*>(big5.c_str()), gbi_of_big5, 4), 4);
  const struct {
    const std::string& block;
    const unsigned char* gbi;
    unsigned char** grid;
    int (*scorer)(_ccode_info_t*);
    int _ccode_info_t::*hits;
  } rows[] = {{gbk, gbi_of_gbk, &gbk_gbi_map, codetype_gbk, nullptr},
              {big5, gbi_of_big5, &big5_gbi_map, codetype_big5, &_ccode_info_t::big5_bigram}};
  for (const auto& r : rows) {
    l_setWords = {Key(reinterpret_cast<const char*>(r.gbi))};
    ASSERT_EQ(ccode_set_copies_build(), 0);
    _ccode_info_t info;
    ccode_info_clean(&info);
    const std::string page = Repeat(r.block, 8);
    ASSERT_EQ(ccode_info_compute(&info, page.c_str(), "http://gbi.test/", nullptr, nullptr), 1);
    auto hits = [&] { return r.hits != nullptr ? info.*r.hits : info.ginfo.gbk_bigram + info.ginfo.gbkjp_bigram; };
    EXPECT_GT(r.scorer(&info), 0) << r.block;
    EXPECT_GT(hits(), 0) << r.block;
    unsigned char* const grid = *r.grid;
    *r.grid = nullptr;
    testsupport::CaptureFd err(2);
    EXPECT_EQ(r.scorer(&info), 0) << r.block;
    err.Stop();
    *r.grid = grid;
    EXPECT_EQ(hits(), 0) << r.block;
  }
}

}  // namespace
