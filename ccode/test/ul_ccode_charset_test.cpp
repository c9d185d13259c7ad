#include "ul_ccode_charset.h"

#include <gtest/gtest.h>

#include <string>

#include "support/support.h"
#include "ul_ccode_type.h"

namespace {

std::string Find(const std::string& page, int buffersize = 129) {
  char buf[129] = "untouched";
  find_charset(page.c_str(), buf, buffersize);
  return buf;
}

TEST(CcodeCharset, FindsTheDeclaredCharset) {
  const struct {
    std::string page;
    const char* charset;
  } rows[] = {
      {"<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=GB2312\">", "gb2312"},
      // Blanks and line ends are dropped before the search.
      {"<meta content=\"text/html; char\nset = \t Big5\">", "big5"},
      // A key inside a longer word is passed over ('-' is no letter).
      {"<meta name=xcharset content=big5><meta charset=x content=\"text/html; charset=utf-8\">", "utf-8"},
      {"<meta x-charset=\"big5\">", "big5"},
      // Single quotes stay with the value.
      {"<?xml version=\"1.0\" encoding='gbk'?><rss>", "gbk'?"}, {"<?xml version=\"1.0\"?><rss>", "utf-8"},
      {"<rss version=\"2.0\">", "utf-8"},
      // An open document.write call hides the key; a closed one does not.
      {"<script>document.write('<meta content=charset=big5' </script>", ""},
      {"<script>document.write('x')</script><meta content=\"charset=euc-kr\">", "euc-kr"},
      // '=' at most 12 past the key's start + 7, the value at most 14.
      {"charset" + std::string(12, ':') + "=gbk", "gbk"}, {"charset" + std::string(13, ':') + "=gbk", ""},
      {"charset=" + std::string(13, ':') + "gbk", "gbk"}, {"charset=" + std::string(14, ':') + "gbk", ""},
      // At most 20 characters, ended by '"' or '>'.
      {"charset=abcdefghijklmnopqrstuvwxyz", "abcdefghijklmnopqrst"}, {"charset=iso-8859-1>x", "iso-8859-1"},
      {"<meta charset=utf-8>", ""},  // the HTML5 form glues into "metacharset"
      {"", ""},
  };
  for (const auto& r : rows) EXPECT_EQ(Find(r.page), r.charset) << r.page;
}

TEST(CcodeCharset, ChunksAndBufferLimits) {
  // Found in a later chunk of an HTML page; not in a later chunk of an XML one.
  const std::string filler(3000, 'a');
  EXPECT_EQ(Find("<html>" + filler + "<meta content=\"charset=euc-jp\">"), "euc-jp");
  EXPECT_EQ(Find("<?xml version=\"1.0\"?><rss>" + filler + " encoding=\"gbk\""), "utf-8");
  // Bytes at or below 0x20 are dropped, so 2,044 kept characters make a chunk.
  EXPECT_EQ(Find(std::string(2000, ' ') + "charset=gbk"), "gbk");
  // A value that does not fit the buffer is passed over for the next one.
  EXPECT_EQ(Find("charset=gb2312 charset=gbk", 5), "gbk");
  EXPECT_EQ(Find("charset=gb2312", 6), "");
  EXPECT_EQ(Find("charset=gb2312", 7), "gb2312");
  char untouched[4] = "abc";
  find_charset("charset=gbk", untouched, 0);
  EXPECT_STREQ(untouched, "abc");
  find_charset("charset=gbk", untouched, 1);  // room for the NUL alone
  EXPECT_STREQ(untouched, "");
  find_charset(nullptr, untouched, 4);
  EXPECT_STREQ(untouched, "");
}

TEST(CcodeCharset, NamesToCodeTypes) {
  const struct {
    const char* name;
    int code, confidence;
  } rows[] = {
      {"gb2312", CODETYPE_GB, 1023},        {"big5", CODETYPE_BIG5, 1023},      {"iso-8859-1", CODETYPE_ISO_8859_1, 1023},
      {"x-sjis", CODETYPE_SJIS, 1023},      {"ujis", CODETYPE_EUCJP, 1023},     {"shift_jis", CODETYPE_SJIS, 1023},
      {"jis", CODETYPE_SJIS, 511},          {"euc-kr", CODETYPE_EUCKR, 1023},   {"euc-jp", CODETYPE_EUCJP, 1023},
      {"x-euc-japanese", CODETYPE_EUCJP, 1023}, {"euc", CODETYPE_EUCJP, 511},   {"iso-2022-jp", CODETYPE_JIS, 1023},
      {"iso-2022-kr", -1, 1023},            {"autocht", CODETYPE_BIG5, 1023},   {"utf-8", CODETYPE_UTF8, 1023},
      {"windows-1252", -1, 1023},           {"", -1, 1023},                     {"gbig5", CODETYPE_GB, 1023},
  };
  for (const auto& r : rows) {
    int code = 0, confidence = 0;
    charset2codetype(r.name, &code, &confidence);
    EXPECT_EQ(code, r.code) << r.name;
    EXPECT_EQ(confidence, r.confidence) << r.name;
  }
}

TEST(CcodeCharset, HttpCharsetByExactNames) {
  const struct {
    const char* header;
    int code;
    const char* rewritten;
  } rows[] = {
      {"text/html; charset=Shift_JIS", CODETYPE_SJIS, "text/html; charset=shift-jis"},
      {"text/html; charset=utf-8\r\n", CODETYPE_UNKNOWN, "text/html; charset=utf-8\r\n"},
      {"charset=TIS620", CODETYPE_TIS620, "charset=tis620"}, {"charset=", CODETYPE_UNKNOWN, "charset="},
      {"", CODETYPE_UNKNOWN, ""}, {"text/html", CODETYPE_UNKNOWN, "text/html"},
      {"charset=gbkx", CODETYPE_UNKNOWN, "charset=gbkx"},
      {"charset=gb charset=gbk", CODETYPE_UNKNOWN, "charset=gb charset=gbk"},
  };
  for (const auto& r : rows) {
    std::string text = r.header;
    EXPECT_EQ(ul_ccode_http_charset(&text[0]), r.code) << r.header;
    EXPECT_EQ(text, r.rewritten);
  }
  const struct {
    const char* name;
    int code;
  } names[] = {{"ascii", 9},        {"gb2312", 1},        {"gb18030", 1},       {"big5", 2},          {"big-5", 2},
               {"utf-8", 3},        {"utf8", 3},          {"shift-jis", 6},     {"euc-jp", 7},        {"iso-8859-1", 10},
               {"euc-kr", 11},      {"gbk", 13},          {"iso-8859-9", 14},   {"windows-1254", 15}, {"iso-8859-3", 18},
               {"iso-8859-6", 19},  {"windows-1256", 20}, {"iso-8859-11", 21},  {"windows-874", 22},  {"tis-620", 23},
               {"tis620", 23},      {"windows-1258", 25}, {"windows-1251", 30}, {"iso-8859-7", 31},   {"windows-1255", 32}};
  for (const auto& n : names) {
    std::string text = std::string("Content-Type: text/html; charset=") + n.name;
    EXPECT_EQ(ul_ccode_http_charset(&text[0]), n.code) << n.name;
  }
  testsupport::CaptureFd err(2);
  EXPECT_EQ(ul_ccode_http_charset(nullptr), CODETYPE_UNKNOWN);
  EXPECT_NE(err.Stop().find("invalid param in ul_ccode_http_charset!"), std::string::npos);
}

}  // namespace
