#include "ul_ccode_type.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "support/support.h"
#include "ul_cld_lang.h"

namespace {

TEST(UlCcodeType, EveryCodeTypeAndLanguageRoundTrips) {
  for (int code = CODETYPE_NONE; code < CODETYPE_END; ++code) {
    const char* name = ul_getcodetype(code);
    ASSERT_NE(name, nullptr) << code;
    EXPECT_EQ(ul_getcodetype(name), code) << name;
    EXPECT_EQ(ul_getcodetype(("codetype_" + std::string(name)).c_str()), code) << name;
  }
  for (int lang = LANGTYPE_NONE; lang < LANGTYPE_END; ++lang) {
    const char* full = ul_ccode_getlangtype(lang, FULL_TYPE);
    ASSERT_NE(full, nullptr) << lang;
    EXPECT_STREQ(ul_getlangtype(lang), full);
    EXPECT_EQ(ul_ccode_getlangtype(full, FULL_TYPE), lang) << full;
    const char* iso = ul_ccode_getlangtype(lang, ABB_TYPE);
    ASSERT_NE(iso, nullptr);
    // "none" stands for four languages: the first one answers.
    EXPECT_EQ(ul_ccode_getlangtype(iso, ABB_TYPE), std::string(iso) == "none" ? -1 : lang) << iso;
  }
}

TEST(UlCcodeType, NameLookups) {
  struct Row {
    const char* name;
    int code;
  };
  // Prefix rows, the last one that matches wins.
  for (const Row& r : {Row{"gbk", 13}, Row{"GB2312", 1}, Row{"utf8jp", 8}, Row{"ISO_8859_11", 21},
                       Row{"english", 0}, Row{"codetype_big5", 2}, Row{"CODETYPE_", -1}, Row{"NONE", -1},
                       Row{"klingon", -1}, Row{"", -1},
                       // Only the first 20 characters count.
                       Row{"CODETYPE_ISO_8859_11", 21}, Row{"CODETYPE_ISO_8859_1X", 10},
                       Row{"CODETYPE_ISO_8859_11X", 21}, Row{"CODETYPE_ISO_8859_11 and more", 21}}) {
    EXPECT_EQ(ul_getcodetype(r.name), r.code) << r.name;
  }
  EXPECT_EQ(ul_getcodetype(static_cast<const char*>(nullptr)), -2);
  EXPECT_EQ(ul_getcodetype(-2), nullptr);
  EXPECT_EQ(ul_getcodetype(33), nullptr);
  EXPECT_STREQ(ul_getcodetype(32), "WIN1255");
  // The first table name that is a prefix wins; only 31 characters count.
  for (const Row& r : {Row{"LANGTYPE_SIMP_CHINESE", 1}, Row{"malayalam", 8}, Row{"simp", -2},
                       Row{"none", -1}, Row{"globalization", 85}, Row{"", -2},
                       Row{"LANGTYPE_LUXEMBOURGISH", 67}}) {
    EXPECT_EQ(ul_getlangtype(r.name), r.code) << r.name;
  }
  // Each refusal is logged: the first and last numbers past the table.
  struct Refusal {
    const char* what;
    std::function<bool()> call;
    const char* message;
  };
  for (const Refusal& r : {
           Refusal{"name NULL", [] { return ul_getlangtype(static_cast<const char*>(nullptr)) == -2; },
                   "input illegal in ul_getlangtype"},
           Refusal{"-2", [] { return ul_getlangtype(-2) == nullptr; }, "input illegal in ul_getlangtype"},
           Refusal{"86", [] { return ul_getlangtype(86) == nullptr; }, "input illegal in ul_getlangtype"},
           Refusal{"full 86", [] { return ul_ccode_getlangtype(86, FULL_TYPE) == nullptr; },
                   "invalid param in ul_ccode_getlangtype"},
           Refusal{"full -2", [] { return ul_ccode_getlangtype(-2, FULL_TYPE) == nullptr; },
                   "invalid param in ul_ccode_getlangtype"},
           Refusal{"type 3", [] { return ul_ccode_getlangtype(0, static_cast<_STRING_TYPE>(3)) == nullptr; },
                   "invalid param in ul_ccode_getlangtype"},
           Refusal{"name NULL full", [] { return ul_ccode_getlangtype(nullptr, FULL_TYPE) == -2; },
                   "invalid param in ul_ccode_getlangtype"},
           Refusal{"english", [] { return ul_ccode_getlangtype("english", FULL_TYPE) == -2; },
                   "there is no results in ul_ccode_getlangtype"},
       }) {
    testsupport::CaptureFd err(2);
    EXPECT_TRUE(r.call()) << r.what;
    EXPECT_NE(err.Stop().find(r.message), std::string::npos) << r.what;
  }
  EXPECT_STREQ(ul_getlangtype(85), "GLOBAL");
  // Exact, case-sensitive.
  EXPECT_EQ(ul_ccode_getlangtype("IRANIAN", FULL_TYPE), 12);
  EXPECT_EQ(ul_ccode_getlangtype("no", ABB_TYPE), 32);
  EXPECT_STREQ(ul_ccode_getlangtype(12, ABB_TYPE), "none");
  EXPECT_STREQ(ul_ccode_getlangtype(1, ABB_TYPE), "zh-cn");
  EXPECT_STREQ(ul_ccode_getlangtype(85, ABB_TYPE), "global");
}

TEST(UlCcodeType, PrintTables) {
  EXPECT_STREQ(CODE_STRING[4], "CODETYPE_JPKR ");
  EXPECT_STREQ(CODE_STRING[25], "CODETYPE_WIN1258");
  EXPECT_EQ(CODE_STRING[26], nullptr);
  EXPECT_STREQ(LANG_STRING[49], "albanian");
  EXPECT_STREQ(LANG_STRING[50], "global");
  EXPECT_EQ(LANG_STRING[51], nullptr);
  EXPECT_EQ(LANG_STRING[85], nullptr);
}

TEST(UlCldLang, MapsCldLanguages) {
  EXPECT_EQ(transCldLang2CcodeLang(CLD2::CHINESE), LANGTYPE_SIMP_CHINESE);
  EXPECT_FALSE(useCldResultByCldLang(CLD2::CHINESE));
  EXPECT_EQ(transCldLang2CcodeLang(CLD2::CHINESE_T), LANGTYPE_TRAD_CHINESE);
  EXPECT_EQ(transCldLang2CcodeLang(CLD2::SLOVENIAN), LANGTYPE_SLOVENE);
  EXPECT_EQ(transCldLang2CcodeLang(CLD2::ZULU), LANGTYPE_ISIZULU);
  EXPECT_EQ(transCldLang2CcodeLang(CLD2::FRENCH), LANGTYPE_FRENCH);
  EXPECT_TRUE(useCldResultByCldLang(CLD2::FRENCH));
  EXPECT_EQ(transCldLang2CcodeLang(CLD2::PERSIAN), LANGTYPE_NONE);
  EXPECT_EQ(transCldLang2CcodeLang(CLD2::UNKNOWN_LANGUAGE), LANGTYPE_NONE);
  EXPECT_EQ(useCldResultByCcodeLang(LANGTYPE_ENGLISH), 0);
  EXPECT_EQ(useCldResultByCcodeLang(LANGTYPE_FRENCH), 1);
  EXPECT_EQ(useCldResultByCcodeLang(LANGTYPE_TRAD_CHINESE), 0);
  // The last entry (160) is unmapped; IGBO (162) and beyond answer "unknown".
  EXPECT_EQ(transCldLang2CcodeLang(CLD2::MONTENEGRIN), LANGTYPE_NONE);
  for (int n : {161, 162, 614, 100000, -1}) {
    EXPECT_EQ(transCldLang2CcodeLang(static_cast<CLD2::Language>(n)), LANGTYPE_NONE) << n;
    EXPECT_FALSE(useCldResultByCldLang(static_cast<CLD2::Language>(n))) << n;
  }
  int mapped = 0, taken = 0;
  for (int n = 0; n <= 160; ++n) {
    mapped += transCldLang2CcodeLang(static_cast<CLD2::Language>(n)) != LANGTYPE_NONE;
    taken += useCldResultByCldLang(static_cast<CLD2::Language>(n));
  }
  EXPECT_EQ(mapped, 76);
  EXPECT_EQ(taken, 70);
}

}  // namespace
