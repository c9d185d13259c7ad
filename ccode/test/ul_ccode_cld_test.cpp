#include "ul_ccode_cld.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <thread>

#include "ccode_test_data.h"
#include "support/support.h"
#include "ul_ccode_conv.h"

namespace {

const auto* const kData = ::testing::AddGlobalTestEnvironment(new ccodetest::DefaultData);

const std::string kFrench =
    "Le chat dort sur la table de la cuisine pendant que les enfants jouent dans le jardin avec leurs amis. "
    "Nous allons au marche tous les samedis pour acheter des legumes frais et du pain.";

// A page whose body CLD2 cannot read, with the description given.
std::string DescribedPage(const std::string& description, bool upper = false, bool closed = true) {
  const std::string marker = upper ? "<META NAME=\"DESCRIPTION\" CONTENT=\"" : "<meta name=\"description\" content=\"";
  return "<html><head>" + marker + description + (closed ? "\">" : "") + "</head><body>12345 67890</body></html>";
}

TEST(CcodeCld, HtmlThenDescription) {
  struct Case {
    std::string page;
    int codetype;
    CLD2::Language lang;
  };
  const std::string long_description = kFrench + std::string(4095 - kFrench.size(), ' ');
  const Case cases[] = {
      {"<html><body><p>" + kFrench + "</p></body></html>", CODETYPE_UTF8, CLD2::FRENCH},
      {ccodetest::Gbk("<p>中华人民共和国的首都是北京，这是一个历史悠久的城市，每年都有很多人来这里旅游。</p>"), CODETYPE_GB,
       CLD2::CHINESE},
      {DescribedPage(kFrench), CODETYPE_ASCII, CLD2::FRENCH},
      {DescribedPage(kFrench, true), CODETYPE_ASCII, CLD2::FRENCH},
      {DescribedPage(kFrench, false, false), CODETYPE_ASCII, CLD2::UNKNOWN_LANGUAGE},  // no closing quote
      {DescribedPage(long_description.substr(0, 4094)), CODETYPE_ASCII, CLD2::FRENCH},
      {DescribedPage(long_description.substr(0, 4095)), CODETYPE_ASCII, CLD2::UNKNOWN_LANGUAGE},
      {"<p>" + kFrench + "</p>", CODETYPE_UNKNOWN, CLD2::UNKNOWN_LANGUAGE},  // not looked at
  };
  for (const Case& c : cases) {
    EXPECT_EQ(cldBaseLangDet(c.page.c_str(), static_cast<_CODE_T>(c.codetype)), c.lang) << c.page.size();
  }
  EXPECT_EQ(cldLangDet(kFrench.c_str(), true), CLD2::FRENCH);
}

TEST(CcodeCld, Failures) {
  testsupport::CaptureFd err(2);
  EXPECT_EQ(cldBaseLangDet(nullptr, CODETYPE_UTF8), CLD2::UNKNOWN_LANGUAGE);
  std::thread([] { EXPECT_EQ(cldBaseLangDet(kFrench.c_str(), CODETYPE_UTF8), CLD2::UNKNOWN_LANGUAGE); }).join();
  EXPECT_EQ(cldBaseLangDet("", CODETYPE_UTF8), CLD2::UNKNOWN_LANGUAGE);  // the UTF-8 converter refuses ""
  // One buffer missing is enough to refuse.
  char* gb = get_ccode_gbbuf_cld();
  set_ccode_gbbuf_cld(nullptr);
  EXPECT_EQ(cldBaseLangDet(kFrench.c_str(), CODETYPE_UTF8), CLD2::UNKNOWN_LANGUAGE);
  set_ccode_gbbuf_cld(gb);
  const std::string log = err.Stop();
  for (const char* msg : {"buffer should not be NULL in func cldBaseLangDet.", "get BUF err in func cldBaseLangDet.",
                          "trans2gb18030 fail in func convert2utf8.", "convert2utf8 fail in func cldBaseLangDet."}) {
    EXPECT_TRUE(ccodetest::Has(log, msg)) << msg;
  }
}

TEST(CcodeCld, ConvertToUtf8) {
  // Both buffers hold size bytes: a longer text is cut, nothing written past.
  struct Guarded {
    char buf[8];
    char guard[8];
  } gbg, u8g;
  memset(&gbg, 'x', sizeof(gbg));
  memset(&u8g, 'x', sizeof(u8g));
  EXPECT_EQ(convert2utf8(ccodetest::Gbk("中文中文中文中文中文").c_str(), gbg.buf, u8g.buf, 8, CODETYPE_GB), 0);
  EXPECT_EQ(std::string(gbg.guard, 8) + std::string(u8g.guard, 8), std::string(16, 'x'));
  EXPECT_LE(strlen(u8g.buf), 7u);
  char tiny[2];
  EXPECT_EQ(convert2utf8("ab", tiny, tiny, 2, CODETYPE_UNKNOWN), 0);
  EXPECT_STREQ(tiny, "a");
  EXPECT_EQ(convert2utf8("ab", tiny, tiny, 1, CODETYPE_UNKNOWN), -1);
  EXPECT_EQ(convert2utf8(nullptr, tiny, tiny, 2, CODETYPE_UNKNOWN), -1);
  char gb[16], utf8[16];
  EXPECT_EQ(convert2utf8("abcdefghijklmnopqrstuvwxyz", gb, utf8, 8, CODETYPE_UNKNOWN), 0);
  EXPECT_STREQ(utf8, "abcdefg");  // copied, cut to size - 1
  EXPECT_EQ(convert2utf8(ccodetest::Gbk("中文").c_str(), gb, utf8, sizeof(utf8), CODETYPE_GB), 0);
  EXPECT_STREQ(utf8, "中文");
  // A BIG5 page longer than the thread's buffers is cut, not overrun.
  const std::string big5 = ccodetest::Repeat(ccodetest::Big5("中文"), CCODE_CLD_BUF_LEN / 4 + 1000);
  cldBaseLangDet(big5.c_str(), CODETYPE_BIG5);
  EXPECT_LT(strlen(get_ccode_utf8buf_cld()), static_cast<size_t>(CCODE_CLD_BUF_LEN));
}

TEST(CcodeCld, HtmlDiagnostics) {
  for (int flags : {0, 0x1FF, 0x200}) {
    testsupport::CaptureFd err(2);
    InitHtmlOut(flags);
    FinishHtmlOut(flags);
    const std::string out = err.Stop();
    EXPECT_EQ(out.find("<html><meta charset=\"UTF-8\"><body>\n") == 0, flags == 0x200) << flags;
    EXPECT_EQ(ccodetest::Has(out, "file = cld2_unittest<br>\n\n</span></body></html>\n"), flags == 0x200);
  }
}

}  // namespace
