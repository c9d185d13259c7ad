// Page detection answers, pinned by digest: the languages, confidences and
// code type of ul_ccode_langdet, the code types of ul_ccode_chardet,
// ul_ccode_detect and ul_ccode_detect_codetype, and CLD2's answer through
// cldBaseLangDet, for a set of pages generated from the word lists of the
// library's data in many languages and code pages, and for the whole page
// corpus of tools/gen_ccode_corpus.py when $PBDICT_CCODE_PAGES names it.
// Any change of an answer changes the digest.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "ccode_test_data.h"
#include "support/digest.h"
#include "ul_ccode_cld.h"
#include "ul_ccode_codetype.h"
#include "ul_ccode_detect.h"
#include "ul_ccode_langdet.h"
#include "ul_ccode_type.h"

namespace {

const auto* const kData = ::testing::AddGlobalTestEnvironment(new ccodetest::DefaultData);

using ccodetest::Platform;
using testsupport::Digest;

std::string DataFile(const std::string& name) {
  std::ifstream in(std::string(ul_ccode_default_path()) + "/code/" + name, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

bool IsUtf8(const std::string& s) { return Platform("UTF-8", "UTF-16LE", s) != "<none>"; }

// The first field of each line of a data file that is UTF-8 text, at most
// limit of them.
std::vector<std::string> FirstFields(const std::string& name, char sep, size_t limit) {
  std::istringstream lines(DataFile(name));
  std::vector<std::string> words;
  std::string line;
  while (words.size() < limit && std::getline(lines, line)) {
    const std::string w = line.substr(0, line.find(sep));
    if (!w.empty() && IsUtf8(w) && w.find("\xEF\xBF\xBD") == std::string::npos) words.push_back(w);
  }
  return words;
}

// Korean syllable pairs from the EUC-KR bigram list.
std::vector<std::string> KoreanPairs() {
  std::istringstream lines(DataFile("bigram_euckr.dic"));
  std::vector<std::string> words;
  std::string line;
  for (int i = 0; std::getline(lines, line); ++i) {
    if (i % 7 != 0) continue;
    const std::string w = Platform("EUC-KR", "UTF-8", line);
    if (w != "<none>" && !w.empty()) words.push_back(w);
  }
  return words;
}

std::vector<std::string> Split(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

struct Language {
  const char* name;
  std::vector<std::string> words;
  bool blanks;                          // words joined by blanks
  std::vector<const char*> encodings;  // besides UTF-8
  int script_code;                      // the code type of encodings[0], for the given-code call
};

std::vector<Language> Languages() {
  const char* latin1[] = {"WINDOWS-1252", "ISO-8859-1"};
  auto slot = [](int i) { return FirstFields("unigram/" + std::to_string(i) + ".unigram", '\t', 600); };
  std::vector<Language> langs = {
      {"en", slot(0), true, {}, CODETYPE_UTF8},
      {"fr", slot(1), true, {latin1[0], latin1[1]}, CODETYPE_ISO_8859_1},
      {"it", slot(2), true, {latin1[0]}, CODETYPE_ISO_8859_1},
      {"es", slot(3), true, {latin1[1]}, CODETYPE_ISO_8859_1},
      {"de", slot(4), true, {latin1[0]}, CODETYPE_ISO_8859_1},
      {"tr", slot(5), true, {"ISO-8859-9", "WINDOWS-1254"}, CODETYPE_ISO_8859_9},
      {"nl", slot(6), true, {latin1[0]}, CODETYPE_ISO_8859_1},
      {"vi", slot(7), true, {"WINDOWS-1258", "VISCII"}, CODETYPE_WIN1258},
      {"ar", slot(8), true, {"WINDOWS-1256", "ISO-8859-6"}, CODETYPE_WIN1256},
      {"da", slot(9), true, {latin1[1]}, CODETYPE_ISO_8859_1},
      {"fi", slot(10), true, {latin1[0]}, CODETYPE_ISO_8859_1},
      {"pt", slot(11), true, {latin1[0]}, CODETYPE_ISO_8859_1},
      {"th", slot(12), false, {"TIS-620", "WINDOWS-874"}, CODETYPE_TIS620},
      {"id", slot(13), true, {latin1[1]}, CODETYPE_ISO_8859_1},
      {"ms", slot(14), true, {}, CODETYPE_UTF8},
      {"zh_CN", FirstFields("simp_chinese_words.part", ' ', 3000), false, {"GBK", "GB18030"}, CODETYPE_GBK},
      {"zh_TW", FirstFields("trad_chinese_words.part", ' ', 3000), false, {"BIG5"}, CODETYPE_BIG5},
      {"ja", FirstFields("japanese_words.part", ' ', 3000), false, {"SHIFT_JIS", "EUC-JP", "ISO-2022-JP"},
       CODETYPE_SJIS},
      {"ko", KoreanPairs(), true, {"EUC-KR"}, CODETYPE_EUCKR},
      {"ru",
       Split("это файл для проверки работы программы на русском языке который читает каждый день и не может "
             "быть открыт без ошибки в системе где все данные"),
       true, {"WINDOWS-1251", "KOI8-R"}, CODETYPE_WIN1251},
      {"el",
       Split("αυτό είναι ένα αρχείο κειμένου στα ελληνικά για τον έλεγχο της σελίδας και του προγράμματος"),
       true, {"ISO-8859-7"}, CODETYPE_ISO_8859_7},
      {"he", Split("זהו קובץ טקסט בעברית לבדיקה של הדף והתוכנית שלנו עם כל הנתונים במערכת כאשר היא פועלת היום"), true,
       {"WINDOWS-1255"}, CODETYPE_WIN1255},
  };
  return langs;
}

// About `bytes` bytes of the language's words in UTF-8, words drawn from the
// first ones of the list more often.
std::string Text(const Language& lang, size_t bytes, std::mt19937* rng) {
  std::string out;
  const size_t n = lang.words.size();
  while (out.size() < bytes) {
    const size_t i = (*rng)() % 4 != 0 ? (*rng)() % std::min<size_t>(n, 80) : (*rng)() % n;
    if (!out.empty() && lang.blanks) out += (*rng)() % 13 == 0 ? ". " : " ";
    out += lang.words[i];
  }
  return out;
}

struct GeneratedPage {
  std::string bytes;
  const char* charset;  // the HTTP charset given, or NULL
  int code;             // the code type of its encoding
};

// The page in UTF-8 as HTML, one of several shapes.
std::string Html(const std::string& title, const std::string& body, const std::string& meta, unsigned shape) {
  std::string page = "<html><head>" + meta;
  if (shape & 1) page += "<title>" + title + "</title>";
  if (shape & 2) page += "<meta name=\"description\" content=\"" + title + "\">";
  if (shape & 4) page += "<script>var x = \"a < b\";</script>";
  page += "</head><body><p>" + body + "</p>";
  if (shape & 8) page += "<a href=\"http://example.test/\">home</a> copyright 2024";
  return page + "</body></html>";
}

// Feeds every answer the page detection gives for page to d.
void Answers(const std::string& page, const char* charset, int code_given, const std::string& url, Digest* d) {
  int code = CODETYPE_UNKNOWN, conf[kCcodeLangConfLen] = {};
  long long value = 0;
  d->Int(ul_ccode_langdet(page.c_str(), url.c_str(), charset, nullptr, &code, &value, conf));
  d->Int(code);
  d->Int(static_cast<int>(value));
  d->Int(static_cast<int>(value >> 32));
  for (int c : conf) d->Int(c);
  const int detected = code;

  int given = code_given;
  value = 0;
  d->Int(ul_ccode_langdet(page.c_str(), (url + "#given").c_str(), charset, nullptr, &given, &value, nullptr));
  d->Int(static_cast<int>(value));
  d->Int(static_cast<int>(value >> 32));

  _langtype_t lt;
  reset_langtype(&lt);
  code = -3;
  d->Int(ul_ccode_chardet(page.c_str(), (url + "#chardet").c_str(), charset, nullptr, &code, &lt));
  d->Int(code);
  d->Int(lt.main_lang);
  d->Int(lt.sec_lang);

  int lang = -3;
  code = -3;
  d->Int(ul_ccode_detect(page.c_str(), (url + "#detect").c_str(), charset, nullptr, &code, &lang, nullptr));
  d->Int(code);
  d->Int(lang);
  code = -3;
  d->Int(ul_ccode_detect_codetype(page.c_str(), (url + "#codetype").c_str(), charset, nullptr, &code));
  d->Int(code);

  d->Int(cldBaseLangDet(page.c_str(), static_cast<_CODE_T>(detected)));
  d->Int(cldBaseLangDet(page.c_str(), CODETYPE_GBK));
  d->Int(cldBaseLangDet(page.c_str(), CODETYPE_UTF8));
}

TEST(CcodeLangdetPin, GeneratedPages) {
  const std::vector<Language> langs = Languages();
  const size_t sizes[] = {200, 2000, 20000};
  std::mt19937 rng(27);
  Digest d;
  int pages = 0;
  for (const Language& lang : langs) {
    ASSERT_GE(lang.words.size(), 15u) << lang.name;
    std::vector<const char*> encodings = {"UTF-8"};
    encodings.insert(encodings.end(), lang.encodings.begin(), lang.encodings.end());
    for (const char* enc : encodings) {
      for (size_t size : sizes) {
        for (int copy = 0; copy < 2; ++copy) {
          const unsigned shape = rng() % 16, declaration = rng() % 4;
          std::string title = Text(lang, 30, &rng);
          std::string body = Text(lang, size, &rng);
          // Some pages mix in English, some are videos.
          if (rng() % 4 == 0) body += " " + Text(langs[0], size / 3, &rng);
          std::string meta;
          if (declaration == 1) meta = std::string("<meta charset=\"") + enc + "\">";
          if (declaration == 2) meta = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\">";
          if (rng() % 16 == 0) meta += "<meta property=\"og:type\" content=\"video\">";
          const std::string utf8 = Html(title, body, meta, shape);
          std::string bytes = std::string(enc) == "UTF-8" ? utf8 : Platform("UTF-8", enc, utf8);
          if (bytes == "<none>") {
            // Words the code page lacks: the page keeps only those it has.
            std::string kept;
            for (const std::string& w : Split(body)) {
              if (Platform("UTF-8", enc, w) != "<none>") kept += w + " ";
            }
            bytes = Platform("UTF-8", enc, Html("", kept, meta, shape & ~3u));
          }
          ASSERT_NE(bytes, "<none>") << lang.name << " " << enc;
          if (std::string(enc) == "UTF-8" && copy == 1) bytes = "\xEF\xBB\xBF" + bytes;
          const char* charset = declaration == 3 ? enc : nullptr;
          const int code = std::string(enc) == "UTF-8" ? CODETYPE_UTF8 : lang.script_code;
          d.Bytes(bytes);
          Answers(bytes, charset, code, "http://pin.test/" + std::to_string(pages), &d);
          ++pages;
        }
      }
    }
  }
  // Mixed and marginal pages: empty, markup only, a lone byte of each half.
  const std::string marginal[] = {"", "<html></html>", "\x80", "a", std::string(300, ' '),
                                  "<html><body>" + std::string(5000, '\xA1') + "</body></html>"};
  for (const std::string& page : marginal) {
    Answers(page, nullptr, CODETYPE_UTF8, "http://pin.test/m" + std::to_string(pages), &d);
    ++pages;
  }
  EXPECT_EQ(312, pages);
  EXPECT_EQ(0x8e050d15065c91d8ull, d.value()) << std::hex << "0x" << d.value() << std::dec << " over " << pages << " pages";
}

// The manual-page corpus of $PBDICT_CCODE_PAGES (a folder, or several
// separated by ':') as made today: the digest of its manifest and pages says
// it is the same corpus, then the answers must match.
constexpr uint64_t kManualPages = 0xdf36057f7547e9b8ull;

struct CorpusPages {
  std::vector<std::string> files, pages;
  uint64_t digest = 0;
};

CorpusPages ReadCorpus(const std::string& dir) {
  CorpusPages c;
  std::ifstream manifest(dir + "/manifest.tsv");
  Digest corpus;
  for (std::string line; std::getline(manifest, line);) {
    corpus.Bytes(line);
    if (line.empty() || line[0] == '#') continue;
    c.files.push_back(line.substr(0, line.find('\t')));
    std::ifstream in(dir + "/" + c.files.back(), std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    c.pages.push_back(all.str());
    corpus.Bytes(c.pages.back());
  }
  c.digest = corpus.value();
  return c;
}

TEST(CcodeLangdetPin, CorpusPages) {
  const char* dirs = getenv("PBDICT_CCODE_PAGES");
  if (dirs == nullptr || dirs[0] == '\0') GTEST_SKIP() << "PBDICT_CCODE_PAGES not set";
  CorpusPages c;
  std::istringstream list(dirs);
  for (std::string dir; c.digest != kManualPages && std::getline(list, dir, ':');) c = ReadCorpus(dir);
  if (c.digest != kManualPages) GTEST_SKIP() << "another corpus (digest 0x" << std::hex << c.digest << ")";
  const std::vector<std::string>& files = c.files;
  const std::vector<std::string>& pages = c.pages;
  ASSERT_EQ(7776u, pages.size());
  Digest d;
  for (size_t i = 0; i < pages.size(); ++i) {
    const std::string url = "http://corpus.test/" + files[i];
    int code = CODETYPE_UNKNOWN, conf[kCcodeLangConfLen] = {};
    long long value = 0;
    d.Int(ul_ccode_langdet(pages[i].c_str(), url.c_str(), nullptr, nullptr, &code, &value, conf));
    d.Int(code);
    d.Int(static_cast<int>(value));
    d.Int(static_cast<int>(value >> 32));
    for (int v : conf) d.Int(v);
    code = -3;
    d.Int(ul_ccode_chardet(pages[i].c_str(), (url + "#c").c_str(), nullptr, nullptr, &code, nullptr));
    d.Int(code);
    code = -3;
    d.Int(ul_ccode_detect_codetype(pages[i].c_str(), (url + "#t").c_str(), nullptr, nullptr, &code));
    d.Int(code);
  }
  EXPECT_EQ(0x9d2449886eaca5b0ull, d.value()) << std::hex << "0x" << d.value();
}

}  // namespace
