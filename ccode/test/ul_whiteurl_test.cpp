#include "ul_whiteurl.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ccode_test_data.h"
#include "support/support.h"
#include "ul_ccode_load.h"

namespace {

using ccodetest::Has;

// A list file in a temporary folder, loaded by one of the two loaders with
// its log captured; the list is installed as the process-wide one for the
// look-ups and released at the end.
class List {
 public:
  List(bool i18n, const std::string& text, bool write = true) : i18n_(i18n) {
    if (write) testsupport::WriteFile(dir_.path() + "/list.txt", text);
    testsupport::CaptureFd err(2);
    dict_ = i18n ? ul_i18n_whiteUrl_load(dir_.path().c_str(), "list.txt")
                 : ul_whiteUrl_load(dir_.path().c_str(), "list.txt");
    log_ = err.Stop();
    (i18n ? i18n_whiteUrl_dict : whiteUrl_dict) = dict_;
  }
  ~List() {
    if (dict_ != nullptr) db_del(dict_);
    (i18n_ ? i18n_whiteUrl_dict : whiteUrl_dict) = nullptr;
  }
  Sdict_build* dict() const { return dict_; }
  const std::string& log() const { return log_; }

 private:
  bool i18n_;
  testsupport::TempDir dir_;
  Sdict_build* dict_ = nullptr;
  std::string log_;
};

struct Plain {
  const char* url;
  int found, code, lang;
};

TEST(WhiteUrl, PlainListLines) {
  const std::string long_name(31, 'g'), longer_name(32, 'g');
  List list(false, "http://a.test/x code=gbk lang=simp_chinese\n"
                   "http://a.test/x code=big5 lang=trad_chinese\n"   // the first line of a URL wins
                   "http://b.test/  code=NONE\tlang=NONE\r\n"        // -1 and -1, read back sign-extended
                   "http://c.test/ code=NO lang=english\n"            // a leading part of "NONE"
                   "http://d.test/ code=none lang=english\n"          // refused: compared case-sensitively
                   "http://e.test/ code=big5\n"                       // refused: no lang=
                   "http://f.test/ lang=english code=big5\n"          // refused: fields out of order
                   "http://g.test/ code=utf8 lang=klingon\n"          // refused: unknown language
                   "http://h.test/ code=CODETYPE_WIN1255 lang=LANGTYPE_GLOBAL\n"
                   "http://i.test/ code=" + longer_name + " lang=english\n"
                   "http://j.test/ code=eng lang=" + long_name + "\n"  // 31 characters: read (and unknown)
                   "#http://k.test/ code=gbk lang=english\n"
                   "\n"
                   "http://l.test/ code=ENG lang=ENGLISH trailing words\n"
                   "http://m.test/\rcode=gbk\vlang=english\n");  // every blank separates
  ASSERT_NE(list.dict(), nullptr);
  const Plain cases[] = {
      {"http://a.test/x", 1, 13, 1}, {"http://b.test/", 1, -1, -1}, {"http://c.test/", 1, -1, 0},
      {"http://d.test/", 0, 0, 0},   {"http://e.test/", 0, 0, 0},   {"http://f.test/", 0, 0, 0},
      {"http://g.test/", 0, 0, 0},   {"http://h.test/", 1, 32, 85}, {"http://i.test/", 0, 0, 0},
      {"http://j.test/", 0, 0, 0},   {"#http://k.test/", 0, 0, 0},  {"http://l.test/", 1, 0, 0},
      {"HTTP://a.test/x", 0, 0, 0},  // the plain list compares the URL as written
      {"http://m.test/", 1, 13, 0},
  };
  for (const Plain& c : cases) {
    int code = 7, lang = 7;
    EXPECT_EQ(ccode_is_whiteUrl(c.url, &code, &lang), c.found) << c.url;
    if (c.found) {
      EXPECT_EQ(code * 1000 + lang, c.code * 1000 + c.lang) << c.url;
    }
  }
  for (const char* msg : {"[url=http://d.test/]codetype=none is error", "[url=http://e.test/]line without code=",
                          "[url=http://f.test/]line without code=", "[url=http://g.test/]langtype=klingon is error",
                          "[url=http://i.test/]codetype of more than 31", "[url=http://j.test/]langtype=ggggg"}) {
    EXPECT_TRUE(Has(list.log(), msg)) << msg << "\n" << list.log();
  }
}

TEST(WhiteUrl, LineLengthLimit) {
  // A line of 3,071 bytes is read whole; one of 3,072 is skipped whole and
  // the next line still read.
  const std::string tail = " code=gbk lang=english";
  const std::string fits = "http://fit.test/" + std::string(3071 - 16 - tail.size(), 'a');
  const std::string over = "http://over.test/" + std::string(3072 - 17 - tail.size(), 'a');
  List list(false, fits + tail + "\n" + over + tail + "\nhttp://next.test/" + tail);
  int code, lang;
  EXPECT_EQ(ccode_is_whiteUrl(fits.c_str(), &code, &lang), 1);
  EXPECT_EQ(ccode_is_whiteUrl(over.c_str(), &code, &lang), 0);
  EXPECT_EQ(ccode_is_whiteUrl("http://next.test/", &code, &lang), 1);
  EXPECT_TRUE(Has(list.log(), "line longer than 3071 bytes"));
}

TEST(WhiteUrl, FilesWithoutEntries) {
  {
    List list(false, "");
    EXPECT_EQ(list.dict(), nullptr);
    int code, lang;
    EXPECT_EQ(ccode_is_whiteUrl("http://a.test/", &code, &lang), 0);
  }
  {
    List list(true, "# comments only\n");
    ASSERT_NE(list.dict(), nullptr);  // content without entries: an empty list
    EXPECT_EQ(list.dict()->node_num, 0);
  }
  for (bool i18n : {false, true}) {
    List list(i18n, "", false);
    EXPECT_EQ(list.dict(), nullptr);
    EXPECT_TRUE(Has(list.log(), "/list.txt is not exist")) << list.log();
  }
}

struct I18n {
  const char* url;
  int found, code, main, sec;
};

TEST(WhiteUrl, I18nListLines) {
  List list(true, "www.site.test code=utf8 mainlang=simp_chinese\n"          // a site; no secondary
                  "http://Page.Test/a/../b.html code=eng mainlang=english seclang=english\n"
                  "http://x.test/ code=gbk mainlang=klingon\n"               // refused main language
                  "http://y.test/ code=gbk mainlang=english seclang=klingon\n"
                  "http://z.test/ code=gbk\n"                                // no main language
                  "http://w.test/ code=gbk mainlang=french seclang=german\n"
                  "http://w.test/ code=big5 mainlang=german\n"
                  "http://v.test/ code=gbk mainlang=english" + std::string(25, 'x') + "\n");  // 32 characters
  ASSERT_NE(list.dict(), nullptr);
  const I18n cases[] = {
      {"http://WWW.Site.TEST/any/page.html", 1, 3, 1, -1},  // URL missed, its site found
      {"www.site.test", 1, 3, 1, -1},
      {"http://page.test/b.html", 1, 0, 0, 0},              // all-zero payload, normalised key
      {"http://page.test/a.html", 0, 0, 0, 0},
      {"http://x.test/", 0, 0, 0, 0},
      {"http://y.test/", 0, 0, 0, 0},
      {"http://z.test/", 0, 0, 0, 0},
      {"http://w.test/", 1, 13, 10, 9},
      {"", 0, 0, 0, 0},                                     // no site
      {"http://v.test/", 0, 0, 0, 0},
  };
  for (const I18n& c : cases) {
    int code = 7, main = 7, sec = 7;
    EXPECT_EQ(ccode_is_i18n_whiteUrl(c.url, &code, &main, &sec), c.found) << c.url;
    if (c.found) {
      EXPECT_EQ(std::vector<int>({code, main, sec}), std::vector<int>({c.code, c.main, c.sec})) << c.url;
    }
  }
  for (const char* msg : {"[url=http://x.test/]langtype=klingon is error", "[url=http://y.test/]seclang=klingon is error",
                          "[url=http://z.test/]langtype= is error"}) {
    EXPECT_TRUE(Has(list.log(), msg)) << msg;
  }
  // A URL whose normal form or site does not fit its buffer is not listed.
  int code, main, sec;
  EXPECT_EQ(ccode_is_i18n_whiteUrl(("http://" + std::string(200, 'a') + ".test/").c_str(), &code, &main, &sec), 0);
}

TEST(WhiteUrl, NullArgumentsAndNoList) {
  int code, lang, sec;
  EXPECT_EQ(ccode_is_whiteUrl("http://a.test/", &code, &lang), 0);  // no list
  EXPECT_EQ(ccode_is_i18n_whiteUrl("http://a.test/", &code, &lang, &sec), 0);
  List plain(false, "http://a.test/ code=gbk lang=english\n");
  List i18n(true, "http://a.test/ code=gbk mainlang=english\n");
  EXPECT_EQ(ccode_is_whiteUrl(nullptr, &code, &lang), 0);
  EXPECT_EQ(ccode_is_whiteUrl("http://a.test/", nullptr, &lang), 0);
  EXPECT_EQ(ccode_is_whiteUrl("http://a.test/", &code, nullptr), 0);
  EXPECT_EQ(ccode_is_i18n_whiteUrl(nullptr, &code, &lang, &sec), 0);
  EXPECT_EQ(ccode_is_i18n_whiteUrl("http://a.test/", &code, &lang, nullptr), 0);
  EXPECT_EQ(ul_whiteUrl_load(nullptr, "x"), nullptr);
  EXPECT_EQ(ul_i18n_whiteUrl_load("/", nullptr), nullptr);
}

TEST(WhiteUrl, LoadedByTheDataLoader) {
  // Both lists are read before the grids are checked: they stay loaded when
  // the grids are missing, and ul_ccode_del releases them.
  testsupport::TempDir dir;
  std::filesystem::create_directory(dir.path() + "/code");
  testsupport::WriteFile(dir.path() + "/code/white-url.txt", "http://a.test/ code=gbk lang=english\n");
  testsupport::WriteFile(dir.path() + "/code/i18n-white-url.txt", "a.test code=big5 mainlang=french\n");
  std::string log;
  EXPECT_EQ(ccodetest::Load(dir.path().c_str(), 4, &log), -1);  // flag 4: no page data, no lists
  EXPECT_EQ(whiteUrl_dict, nullptr);
  EXPECT_EQ(ccodetest::Load(dir.path().c_str(), 8, &log), -1);
  int code = 0, lang = 0, sec = 0;
  EXPECT_EQ(ccode_is_whiteUrl("http://a.test/", &code, &lang), 1);
  EXPECT_EQ(code, 13);
  EXPECT_EQ(ccode_is_i18n_whiteUrl("http://a.test/b", &code, &lang, &sec), 1);
  EXPECT_EQ(lang, 10);
  EXPECT_EQ(ul_ccode_del(), 1);
  EXPECT_EQ(whiteUrl_dict, nullptr);
  EXPECT_EQ(i18n_whiteUrl_dict, nullptr);
}

}  // namespace
