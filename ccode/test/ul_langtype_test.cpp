#include "ul_langtype.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/support.h"

namespace {

struct V2Case {
  long long value;
  int which;
  int n;
  int result;
  std::vector<int> langs;  // the first `result` entries
  std::vector<int> confs;
};

TEST(UlCcodeLangtypeV2, Unpacks) {
  const V2Case cases[] = {
      {-1, V2_ALL, 4, 1, {-1}, {0}},
      {7, V2_MAINLANG, 1, 1, {7}, {0}},
      {84, V2_ALL, 4, 1, {84}, {0}},
      {85, V2_MAINLANG, 1, -1, {}, {}},
      {255, V2_ALL, 4, -1, {}, {}},
      {256, V2_MAINLANG, 1, 1, {0}, {1}},  // bytes 00 01: ENGLISH, confidence 1
      {0x6401, V2_MAINLANG, 1, 1, {1}, {100}},
      {0x6401, V2_ALL, 4, 1, {1}, {100}},
      {0x6501, V2_MAINLANG, 1, 0, {}, {}},  // confidence 101
      {0x31023301, V2_ALL, 4, 2, {1, 2}, {51, 49}},
      {0x31023301, V2_SECLANG, 1, 1, {2}, {49}},
      {0x31023301, V2_THIRDLANG, 1, 0, {}, {}},
      {100, V2_SECLANG, 1, 0, {}, {}},
      {0x0101015503340233LL, V2_ALL, 4, 2, {0x33, 0x34}, {2, 3}},  // GLOBAL (85) ends the list
      {0x0A4B0A4A0A490A48LL, V2_ALL, 4, 4, {0x48, 0x49, 0x4A, 0x4B}, {10, 10, 10, 10}},
      {0x0A4B0A4A0A490A48LL, V2_FOURTHLANG, 1, 1, {0x4B}, {10}},
  };
  for (const V2Case& c : cases) {
    int langs[4] = {9, 9, 9, 9}, confs[4] = {9, 9, 9, 9};
    EXPECT_EQ(ul_ccode_langtype_v2(c.value, langs, confs, c.n, c.which), c.result) << c.value << "/" << c.which;
    for (int i = 0; i < c.result; ++i) {
      EXPECT_EQ(langs[i], c.langs[i]) << c.value << " #" << i;
      EXPECT_EQ(confs[i], c.confs[i]) << c.value << " #" << i;
    }
    for (int i = std::max(c.result, 0); i < c.n && c.result >= 0; ++i) {
      EXPECT_EQ(langs[i], -1);
      EXPECT_EQ(confs[i], 0);
    }
  }
  int lang = 9;
  EXPECT_EQ(ul_ccode_langtype_v2(0x6401, &lang, nullptr, 1, V2_MAINLANG), 1);  // confs may be NULL
  EXPECT_EQ(lang, 1);
}

TEST(UlCcodeLangtypeV2, RefusesBadArguments) {
  int langs[4];
  testsupport::CaptureFd err(2);
  EXPECT_EQ(ul_ccode_langtype_v2(-2, langs, nullptr, 4, V2_ALL), -1);
  EXPECT_EQ(ul_ccode_langtype_v2(1, nullptr, nullptr, 4, V2_ALL), -1);
  EXPECT_EQ(ul_ccode_langtype_v2(1, langs, nullptr, 0, V2_MAINLANG), -1);
  EXPECT_EQ(ul_ccode_langtype_v2(1, langs, nullptr, 3, V2_ALL), -1);
  EXPECT_EQ(ul_ccode_langtype_v2(1, langs, nullptr, 4, 0), -1);
  EXPECT_EQ(ul_ccode_langtype_v2(1, langs, nullptr, 4, 6), -1);
  EXPECT_EQ(ul_ccode_langtype_v2(1, langs, nullptr, 4, V2_ALL), 1);  // n = 4 is enough
  EXPECT_NE(err.Stop().find("WARNING: "), std::string::npos);
}

std::vector<int> Langs(const _LangType& set) {
  std::vector<int> out(LANGTYPE_END);
  out.resize(static_cast<size_t>(ul_langtype_get(&set, out.data(), LANGTYPE_END)));
  return out;
}

TEST(UlLangType, SetOperations) {
  _LangType set;
  EXPECT_EQ(ul_langtype_clean(&set), 0);
  EXPECT_EQ(ul_langtype_isclean(&set), 1);
  for (int lang : {85, 64, 10, 0, 63}) EXPECT_EQ(ul_langtype_add(&set, lang), 0);
  EXPECT_EQ(Langs(set), (std::vector<int>{0, 10, 63, 64, 85}));
  EXPECT_EQ(ul_langtype_num(&set), 5);
  EXPECT_EQ(ul_langtype_isclean(&set), 0);
  int two[2];
  EXPECT_EQ(ul_langtype_get(&set, two, 2), 2);
  EXPECT_EQ(two[1], 10);
  EXPECT_EQ(ul_langtype_unset(&set, 63), 0);
  EXPECT_EQ(ul_langtype_unset(&set, 62), 0);  // absent: nothing changes
  EXPECT_EQ(Langs(set), (std::vector<int>{0, 10, 64, 85}));
  EXPECT_EQ(ul_langtype_set(&set, 64), 0);
  EXPECT_EQ(Langs(set), (std::vector<int>{64}));
  EXPECT_EQ(ul_langtype_set(&set, -1), 0);
  EXPECT_EQ(ul_langtype_isclean(&set), 1);
  // By name.
  EXPECT_EQ(ul_langtype_set(&set, "french"), 0);
  EXPECT_EQ(ul_langtype_add(&set, "LANGTYPE_ENGLISH"), 0);
  EXPECT_EQ(Langs(set), (std::vector<int>{0, 10}));
  EXPECT_EQ(ul_langtype_unset(&set, "english"), 0);
  EXPECT_EQ(Langs(set), (std::vector<int>{10}));
  _LangType other = set;
  EXPECT_EQ(ul_langtype_equal(&set, &other), 1);
  ul_langtype_add(&other, 85);
  EXPECT_EQ(ul_langtype_equal(&set, &other), 0);
}

TEST(UlLangType, RefusesBadArgumentsAndLeavesTheSet) {
  _LangType set;
  ul_langtype_set(&set, 10);
  testsupport::CaptureFd err(2);
  EXPECT_EQ(ul_langtype_set(&set, "klingon"), -1);
  EXPECT_EQ(ul_langtype_add(&set, "NONE"), -1);  // -1 is no language to add
  EXPECT_EQ(ul_langtype_set(&set, 86), -1);
  EXPECT_EQ(ul_langtype_set(&set, -2), -1);
  EXPECT_EQ(ul_langtype_add(&set, -1), -1);
  EXPECT_EQ(ul_langtype_add(&set, 86), -1);
  EXPECT_EQ(ul_langtype_unset(&set, 86), -1);
  EXPECT_EQ(Langs(set), (std::vector<int>{10}));
  EXPECT_EQ(ul_langtype_set(&set, 85), 0);  // the limits themselves are taken
  EXPECT_EQ(ul_langtype_add(&set, 0), 0);
  EXPECT_EQ(ul_langtype_clean(nullptr), -1);
  EXPECT_EQ(ul_langtype_isclean(nullptr), -1);
  EXPECT_EQ(ul_langtype_num(nullptr), -1);
  EXPECT_EQ(ul_langtype_equal(&set, nullptr), -1);
  EXPECT_EQ(ul_langtype_get(nullptr, nullptr, 1), -1);
  EXPECT_EQ(ul_langtype_compatible(nullptr, 1), -1);
  EXPECT_EQ(ul_langtype_set(&set, static_cast<const char*>(nullptr)), -1);
  EXPECT_EQ(ul_langtype_unset(&set, static_cast<const char*>(nullptr)), -1);
  EXPECT_EQ(ul_langtype_add(&set, static_cast<const char*>(nullptr)), -1);
  EXPECT_EQ(ul_langtype_compatible(&set, static_cast<const _LangType*>(nullptr)), -1);
  EXPECT_EQ(ul_langtype_compatible(&set, static_cast<const int*>(nullptr), 1), -1);
  const std::string log = err.Stop();
  EXPECT_NE(log.find("input illegal in ul_langtype_unset"), std::string::npos);
  EXPECT_NE(log.find("input illegal in ul_langtype_compatible"), std::string::npos);
  EXPECT_NE(log.find("input illegal in ul_langtype_set"), std::string::npos);
}

TEST(UlLangType, Compatibility) {
  _LangType empty, en_fr, global, en;
  ul_langtype_clean(&empty);
  ul_langtype_set(&en_fr, 0);
  ul_langtype_add(&en_fr, 10);
  ul_langtype_set(&global, 85);
  ul_langtype_set(&en, 0);
  EXPECT_EQ(ul_langtype_compatible(&global, 42), 1);
  EXPECT_EQ(ul_langtype_compatible(&global, &en_fr), 1);
  EXPECT_EQ(ul_langtype_compatible(&en_fr, 10), 1);
  EXPECT_EQ(ul_langtype_compatible(&en_fr, 42), 0);
  EXPECT_EQ(ul_langtype_compatible(&empty, &empty), 1);
  EXPECT_EQ(ul_langtype_compatible(&empty, 0), 0);
  EXPECT_EQ(ul_langtype_compatible(&en_fr, &en), 1);
  EXPECT_EQ(ul_langtype_compatible(&en, &en_fr), 0);
  const int ok[] = {0, 10}, bad[] = {0, 86}, missing[] = {0, 42};
  EXPECT_EQ(ul_langtype_compatible(&en_fr, ok, 2), 1);
  EXPECT_EQ(ul_langtype_compatible(&en_fr, bad, 2), 0);
  EXPECT_EQ(ul_langtype_compatible(&en_fr, missing, 2), 0);
  EXPECT_EQ(ul_langtype_compatible(&global, bad, 2), 1);
  // A language bit of the high word must not answer for its low-word twin.
  _LangType high;
  ul_langtype_set(&high, 64);
  EXPECT_EQ(ul_langtype_compatible(&high, 0), 0);
  EXPECT_EQ(ul_langtype_compatible(&high, &en), 0);
}

}  // namespace
