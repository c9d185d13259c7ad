#include "ul_ccode_langdet.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <thread>
#include <vector>

#include "ccode_test_data.h"
#include "support/support.h"
#include "ul_ccode_codetype.h"
#include "ul_ccode_conv.h"
#include "ul_ccode_data.h"
#include "ul_ccode_detect_parts.h"
#include "ul_ccode_load.h"
#include "ul_ccode_pagetables.h"
#include "ul_ccode_type.h"
#include "ul_langtype.h"
#include "ul_whiteurl.h"

namespace {

const auto* const kData = ::testing::AddGlobalTestEnvironment(new ccodetest::DefaultData);

using ccodetest::Has;
using ccodetest::Platform;
using ccodetest::Repeat;

const std::string kTurkish =
    "Bu dosya için bir komut olarak kullanılır ve sistem tarafından değiştirilir. Belirtilen seçeneği her zaman "
    "gösterir, bu seçenek ile daha fazla bilgi verilir veya dosya silinir. ";
const std::string kArabic = "لا يمكن فتح ملف في النص على اسم من غير عرض صورة إذا كان خطأ عند مستند فيما كانت ";
const std::string kThai = "แฟ้ม ไม่สำเร็จ ได้ หรือ ไดเรกทอรี ข้อผิดพลาด ชื่อ และ ใช้ ไม่ถูกต้อง ล้มเหลว สำหรับ ของ คำสั่ง ";
const std::string kVietnamese = "không có của tập tin tiếng bản là cho các được số ra một và này khi thể chọn trong tự ";
const std::string kRussian = "Это файл для проверки работы программы на русском языке, который читает каждый день. ";
const std::string kGreek = "Αυτό είναι ένα αρχείο κειμένου στα ελληνικά για τον έλεγχο της σελίδας. ";
const std::string kHebrew = "זהו קובץ טקסט בעברית לבדיקה של הדף והתוכנית שלנו. ";
const std::string kFrench = "Le fichier est ouvert par la commande pour une option de la page du système et des utilisateurs. ";
const std::string kEnglish = "The quick brown fox jumps over the lazy dog while the children play in the garden. ";
const std::string kManual = "This is the name of the file that the command uses for the output of each process. ";
const std::string kSimp = "中华人民共和国的首都是北京，这是一个历史悠久的城市，每年都有很多人来这里旅游和学习。";

std::string Html(const std::string& body, const std::string& title = "") {
  return "<html><head><title>" + title + "</title></head><body><p>" + body + "</p></body></html>";
}

// The code type of page. The detection reads the loaded sets through copies
// made at load: the tests that change a set have them made anew first.
int Chardet(const std::string& page, const char* charset, const std::string& url) {
  EXPECT_EQ(ccode_set_copies_build(), 0);
  int code = -3;
  EXPECT_EQ(ul_ccode_chardet(page.c_str(), url.c_str(), charset, nullptr, &code, nullptr), 0) << url;
  return code;
}

struct CharCase {
  const char* what;
  std::string page;
  const char* charset;
  int code;
};

TEST(CcodeLangdet, CodeTypeRulesInOrder) {
  const std::string jis = "<p>\x1B$B$3$l\x1B(B text \x1B$B$O\x1B(B</p>";
  const CharCase cases[] = {
      {"two JIS escapes", jis, nullptr, CODETYPE_JIS},
      {"ascii", Html(kEnglish), nullptr, CODETYPE_ASCII},
      {"8859-9", Platform("UTF-8", "ISO-8859-9", Html(kTurkish)), "iso-8859-9", CODETYPE_ISO_8859_9},
      {"windows-1254", Platform("UTF-8", "WINDOWS-1254", Html(kTurkish)), "windows-1254", CODETYPE_WIN1254},
      {"8859-6", Platform("UTF-8", "ISO-8859-6", Html(kArabic)), "iso-8859-6", CODETYPE_ISO_8859_6},
      {"1256", Platform("UTF-8", "WINDOWS-1256", Html(kArabic)), "windows-1256", CODETYPE_WIN1256},
      {"1256 in utf-8", Html(kArabic), "windows-1256", CODETYPE_UTF8},
      {"8859-11", Platform("UTF-8", "ISO-8859-11", Html(kThai)), "iso-8859-11", CODETYPE_ISO_8859_11},
      {"874", Platform("UTF-8", "WINDOWS-874", Html(kThai)), "windows-874", CODETYPE_WIN874},
      {"620", Platform("UTF-8", "TIS-620", Html(kThai)), "tis-620", CODETYPE_TIS620},
      {"thai words", Platform("UTF-8", "WINDOWS-874", Html(Repeat(kThai, 3))), nullptr, CODETYPE_WIN874},
      {"viscii", Platform("UTF-8", "VISCII", Html(kVietnamese)), "viscii", CODETYPE_VISCII},
      {"1258", Platform("UTF-8", "WINDOWS-1258", Html(kVietnamese)), "windows-1258", CODETYPE_WIN1258},
      {"1251", Platform("UTF-8", "WINDOWS-1251", Html(kRussian)), "windows-1251", CODETYPE_WIN1251},
      {"8859-7", Platform("UTF-8", "ISO-8859-7", Html(kGreek)), "iso-8859-7", CODETYPE_ISO_8859_7},
      {"1255", Platform("UTF-8", "WINDOWS-1255", Html(kHebrew)), "windows-1255", CODETYPE_WIN1255},
      {"lone latin-1 bytes", Platform("UTF-8", "ISO-8859-1", Html(kFrench)), nullptr, CODETYPE_ISO_8859_1},
      {"utf-8", Html(kFrench), nullptr, CODETYPE_UTF8},
      {"gbk vote", ccodetest::Gbk(Html(Repeat(kSimp, 3))), nullptr, CODETYPE_GB},
      {"turkish slot", Platform("UTF-8", "WINDOWS-1254", Html(Repeat(kTurkish + "sığınağı ", 2))), nullptr,
       CODETYPE_WIN1254},
      {"vietnamese slot", Platform("UTF-8", "WINDOWS-1258", Html(Repeat(kVietnamese, 3))), nullptr, CODETYPE_WIN1258},
      {"empty", "", nullptr, -1},
  };
  int serial = 0;
  for (const CharCase& c : cases) {
    ASSERT_NE(c.page, "<none>") << c.what;
    EXPECT_EQ(Chardet(c.page, c.charset, "http://chardet.test/" + std::to_string(serial++)), c.code) << c.what;
  }
}

// Bigram sets of the test's own, restored afterwards.
class OwnSets : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 5; ++i) saved_[i] = *sets_[i];
    for (ccode_bigramset_t* s : sets_) s->clear();
  }
  void TearDown() override {
    for (int i = 0; i < 5; ++i) *sets_[i] = saved_[i];
    ccode_set_copies_build();
  }

 private:
  ccode_bigramset_t* sets_[5] = {&l_setWords, &l_setGbkjp, &l_setSjis, &l_setEucjp, &l_setEuckr};
  ccode_bigramset_t saved_[5];
};

TEST_F(OwnSets, VoteWithoutTheFewChangesRule) {
  // Eight hits among 46 EUC-KR pairs of 49, with 18 changes of pair: the
  // page decision accepts it (fewer than 20 changes, 7 hits or more), the
  // extended one does not.
  l_setEuckr = {0xA2B0A1B0u};
  ASSERT_EQ(ccode_set_copies_build(), 0);
  const std::string page = "<p>" + Repeat("\xB0\xA1\xB0\xA2", 8) + Repeat("\xB0\xA5", 30) + Repeat("\xB0\x41", 3) + "</p>";
  int code = -3;
  ASSERT_EQ(ul_ccode_detect_codetype(page.c_str(), "http://vote.test/a", nullptr, nullptr, &code), 1);
  EXPECT_EQ(code, CODETYPE_EUCKR);
  EXPECT_EQ(Chardet(page, nullptr, "http://vote.test/b"), -1);
  EXPECT_EQ(get_ccode_info()->bigram_codetype, CODETYPE_EUCKR);
  EXPECT_EQ(get_ccode_info()->bigram_confidence, 0);
  // With the charset named the charset does not decide: the vote was held.
  EXPECT_EQ(Chardet(page, "euc-kr", "http://vote.test/c"), -1);
}

TEST_F(OwnSets, VoteSecondPlaceTieKeepsTheEarlier) {
  // EUC-JP wins with GB and EUC-KR tied second: GB, the earlier, stays
  // second, and EUC-JP over GB is certain.
  l_setWords = {0xA2B0A1B0u};
  l_setEuckr = {0xA2B0A1B0u};
  l_setEucjp = {0xA2B0A1B0u, 0xA4B0A3B0u};
  const std::string page = "<p>" + Repeat("\xB0\xA1\xB0\xA2", 2) + Repeat("\xB0\xA3\xB0\xA4", 6) + "</p>";
  EXPECT_EQ(Chardet(page, nullptr, "http://vote.test/tie"), CODETYPE_EUCJP);
  EXPECT_EQ(get_ccode_info()->bigram_confidence, 1023);
  // EUC-JP over Shift_JIS is not certain: 460, just under the mark.
  l_setWords.clear();
  l_setEuckr.clear();
  l_setSjis = {0xA2B0A1B0u};
  const std::string near = "<p>" + Repeat("\xB0\xA1\xB0\xA2", 11) + Repeat("\xB0\xA3\xB0\xA4", 9) +
                           Repeat("\xB0\xA5\xB0\xA6", 2) + "</p>";
  EXPECT_EQ(Chardet(near, nullptr, "http://vote.test/near"), -1);
  EXPECT_EQ(get_ccode_info()->bigram_confidence, 460);
  // Nor EUC-KR over EUC-JP.
  l_setSjis.clear();
  l_setEuckr = {0xA2B0A1B0u, 0xA4B0A3B0u};
  l_setEucjp = {0xA2B0A1B0u};
  EXPECT_EQ(Chardet(near, nullptr, "http://vote.test/near-kr"), -1);
  EXPECT_EQ(get_ccode_info()->bigram_confidence, 460);
}

TEST(CcodeLangdet, SupportingRules) {
  struct Case {
    const char* what;
    int guess, title, thai, w874, words;  // record fields
    int a_en, a_tr, a_th;                  // confidences
    int lang_in, for_lang, for_win874;
  };
  const Case cases[] = {
      {"turkish at 1.6 x english", -1, -1, 0, 0, 10, 16, 10, 0, LANGTYPE_TURKISH, LANGTYPE_ENGLISH, LANGTYPE_THAI},
      {"turkish below 1.6", -1, -1, 0, 0, 10, 15, 10, 0, LANGTYPE_TURKISH, LANGTYPE_TURKISH, LANGTYPE_THAI},
      {"strong guess", 1, -1, 0, 0, 10, 0, 0, 0, LANGTYPE_TURKISH, LANGTYPE_FRENCH, LANGTYPE_FRENCH},
      {"english takes the guess", 1, -1, 0, 0, 10, 0, 0, 0, LANGTYPE_ENGLISH, LANGTYPE_FRENCH, LANGTYPE_FRENCH},
      // Word-model slot 0 guesses English (language 0), strong above 79.
      {"english guess at 80", 0, -1, 0, 0, 10, 80, 60, 0, LANGTYPE_TURKISH, LANGTYPE_ENGLISH, LANGTYPE_THAI},
      {"english guess at 79", 0, -1, 0, 0, 10, 79, 60, 0, LANGTYPE_TURKISH, LANGTYPE_TURKISH, LANGTYPE_THAI},
      {"thai title", -1, LANGTYPE_THAI, 0, 0, 10, 0, 0, 0, LANGTYPE_ENGLISH, LANGTYPE_THAI, LANGTYPE_THAI},
      {"thai confidence", -1, -1, 0, 0, 10, 0, 0, 31, -1, LANGTYPE_THAI, LANGTYPE_THAI},
      {"thai 30", -1, -1, 0, 0, 10, 0, 0, 30, -1, -1, LANGTYPE_THAI},
      {"w874 words 4 %", -1, -1, 0, 4, 99, 0, 0, 0, -1, LANGTYPE_THAI, LANGTYPE_THAI},
      {"w874 words below", -1, -1, 0, 3, 99, 0, 0, 0, -1, -1, LANGTYPE_THAI},
      {"title language", -1, LANGTYPE_SPANISH, 0, 0, 10, 0, 0, 0, -1, LANGTYPE_SPANISH, LANGTYPE_THAI},
      {"cjk title", -1, LANGTYPE_JAPANESE, 0, 0, 10, 0, 0, 0, -1, -1, LANGTYPE_THAI},
  };
  for (const Case& c : cases) {
    _ccode_info_t info;
    ccode_info_clean(&info);
    info.guess_lang = c.guess;
    info.title_lang = c.title;
    info.w874_num = c.w874;
    info.word_num = c.words;
    int A[kCcodeLangConfLen] = {};
    A[LANGTYPE_ENGLISH] = c.a_en;
    A[LANGTYPE_TURKISH] = c.a_tr;
    A[LANGTYPE_THAI] = c.a_th;
    A[LANGTYPE_FRENCH] = c.guess >= 0 ? 81 : 0;
    EXPECT_EQ(confidence_for_lang(&info, A, c.lang_in), c.for_lang) << c.what;
    EXPECT_EQ(confidence_for_win874(&info, A), c.for_win874) << c.what;
    EXPECT_EQ(A[LANGTYPE_THAI], 80);
  }
  // A guess whose confidence is 80 is not strong enough over Windows-874.
  _ccode_info_t info;
  ccode_info_clean(&info);
  info.guess_lang = 1;
  int A[kCcodeLangConfLen] = {};
  A[LANGTYPE_FRENCH] = 80;
  EXPECT_EQ(confidence_for_win874(&info, A), LANGTYPE_THAI);
}

TEST(CcodeLangdet, PackingLanguages) {
  struct Case {
    int main, sec, flag, a_main, a_sec;
    long long value;
    int out_main, out_sec;
  };
  const Case cases[] = {
      {10, -1, 1, 40, 0, 10 | 100LL << 8, 100, 0},
      {-1, 9, 3, 0, 30, 9 | 100LL << 8, 0, 100},
      {1, 0, 3, 70, 30, 1 | 70LL << 8 | 0LL << 16 | 30LL << 24, 70, 30},
      {1, 0, 3, 30, 70, 1 | 70LL << 8 | 0LL << 16 | 30LL << 24, 70, 30},   // the larger goes with the main
      {1, 0, 3, 100, 100, 1 | 100LL << 8 | 0LL << 16 | 100LL << 24, 100, 100},  // a tie: the main first
      {1, 2, 3, 0, 0, 1 | 1LL << 8 | 2LL << 16 | 1LL << 24, 1, 1},          // zeros count as 1
      {-1, -1, 3, 0, 0, -1, 0, 0},
      {5, 7, 1, 50, 60, 5 | 100LL << 8, 100, 60},                             // secondary not set
  };
  for (const Case& c : cases) {
    _langtype_t lt = {static_cast<int16_t>(c.main), static_cast<int16_t>(c.sec), static_cast<int16_t>(c.flag)};
    int A[kCcodeLangConfLen] = {};
    if (c.main >= 0) A[c.main] = c.a_main;
    if (c.sec >= 0) A[c.sec] = c.a_sec;
    EXPECT_EQ(ccode_pack_langs(lt, A), c.value) << c.main << " " << c.sec;
    EXPECT_EQ(c.main >= 0 ? A[c.main] : 0, c.out_main);
    EXPECT_EQ(c.sec >= 0 ? A[c.sec] : 0, c.out_sec);
  }
}

long long Langdet(const std::string& page, const std::string& url, int* conf = nullptr, int code = -2,
                  const char* charset = nullptr) {
  long long value = -7;
  EXPECT_EQ(ul_ccode_langdet(page.c_str(), url.c_str(), charset, nullptr, &code, &value, conf), 0) << url;
  return value;
}

std::string Described(const std::string& description, bool video) {
  return std::string("<html><head>") + (video ? "<meta property=\"og:type\" content=\"video\">" : "") +
         "<meta name=\"description\" content=\"" + description + "\"></head><body>12345 67890</body></html>";
}

TEST(CcodeLangdet, ValuesFromListCld2AndOwnRules) {
  testsupport::TempDir dir;
  testsupport::WriteFile(dir.path() + "/list.txt", "listed.test code=utf8 mainlang=simp_chinese seclang=english\n");
  i18n_whiteUrl_dict = ul_i18n_whiteUrl_load(dir.path().c_str(), "list.txt");
  int conf[kCcodeLangConfLen];
  EXPECT_EQ(Langdet(Html(kEnglish), "http://listed.test/x", conf), 822096641LL);  // 1 | 51 << 8 | 0 << 16 | 49 << 24
  EXPECT_EQ(std::vector<int>({conf[0], conf[1], conf[2]}), std::vector<int>({49, 51, 0}));
  db_del(i18n_whiteUrl_dict);
  i18n_whiteUrl_dict = nullptr;

  // CLD2 names FRENCH: taken whole.
  EXPECT_EQ(Langdet(Html(Repeat(kFrench, 3)), "http://v.test/fr", conf), 25610LL);
  for (int l = 0; l < kCcodeLangConfLen; ++l) EXPECT_EQ(conf[l], l == LANGTYPE_FRENCH ? 100 : 0) << l;
  // Its description fallback counts; a video page never asks CLD2.
  const std::string desc = "Le chat dort sur la table de la cuisine pendant que les enfants jouent dans le jardin.";
  EXPECT_EQ(Langdet(Described(desc, false), "http://v.test/d"), 25610LL);
  EXPECT_EQ(Langdet(Described(desc, true), "http://v.test/dv"), -1LL);

  // Chinese with many English words: SIMP_CHINESE with ENGLISH second.
  const std::string mixed = ccodetest::Gbk(Html(Repeat(kSimp + " " + kManual + kManual, 3)));
  const long long value = Langdet(mixed, "http://v.test/mixed", conf);
  int langs[4], confs[4];
  ASSERT_EQ(ul_ccode_langtype_v2(value, langs, confs, 4, V2_ALL), 2) << value;
  EXPECT_EQ(langs[0] * 100 + langs[1], LANGTYPE_SIMP_CHINESE * 100 + LANGTYPE_ENGLISH);
  EXPECT_GT(confs[0], confs[1]);
  EXPECT_EQ(conf[langs[0]] * 1000 + conf[langs[1]], confs[0] * 1000 + confs[1]);
}

// Single-byte pages named only by their declaration come without one as
// code type -1, which the CLD2 wrapper reads as GB18030. Their bytes are no
// valid GB18030, so CLD2's reading of them (Chinese) is not taken: the page
// stays undecided. Bytes that are valid GB18030 are read as before.
TEST(CcodeLangdet, UndeclaredSingleBytePagesAreNotReadAsChinese) {
  const struct {
    const char* page_code;
    const std::string& text;
  } cases[] = {
      {"WINDOWS-1251", kRussian}, {"ISO-8859-7", kGreek}, {"WINDOWS-1256", kArabic}, {"WINDOWS-1255", kHebrew}};
  int serial = 0;
  for (const auto& c : cases) {
    const std::string page = Platform("UTF-8", c.page_code, Html(Repeat(c.text, 6)));
    ASSERT_NE(page, "<none>") << c.page_code;
    const std::string url = "http://undeclared.test/" + std::to_string(serial++);
    EXPECT_EQ(Chardet(page, nullptr, url), CODETYPE_NONE) << c.page_code;
    EXPECT_EQ(Langdet(page, url), -1LL) << c.page_code;
    EXPECT_EQ(Langdet(page, url, nullptr, CODETYPE_NONE), -1LL) << c.page_code;
  }
  const std::string gbk = ccodetest::Gbk(Html(Repeat(kSimp, 3)));
  const long long simp = LANGTYPE_SIMP_CHINESE | 100LL << 8;
  EXPECT_EQ(Langdet(gbk, "http://undeclared.test/gbk", nullptr, CODETYPE_NONE), simp);
  // One stray byte in a long GB page does not make it unreadable; a page cut
  // inside its last character neither.
  std::string stray = ccodetest::Gbk(Html(Repeat(kSimp, 3)));
  stray.insert(stray.size() / 2, "\x80");
  EXPECT_EQ(Langdet(stray, "http://undeclared.test/stray", nullptr, CODETYPE_NONE), simp);
  const std::string cut = ccodetest::Gbk(Repeat(kSimp, 3)).substr(0, ccodetest::Gbk(Repeat(kSimp, 3)).size() - 1);
  EXPECT_EQ(Langdet(cut, "http://undeclared.test/cut", nullptr, CODETYPE_NONE), simp);
}

TEST(CcodeLangdet, ArabicAndPersian) {
  const std::string persian = "پرونده گزارش ";
  // The main language (a page without a title has the English title
  // language, which comes second).
  auto main_of = [](long long value) {
    int lang, conf;
    return ul_ccode_langtype_v2(value, &lang, &conf, 1, V2_MAINLANG) == 1 && conf > 50 ? lang : -1;
  };
  EXPECT_EQ(main_of(Langdet(Html(Repeat(kArabic, 3)), "http://fa.test/ar")), LANGTYPE_ARABIC);
  EXPECT_EQ(main_of(Langdet(Html(Repeat(kArabic, 3) + persian), "http://fa.test/fa")), LANGTYPE_FARSI);
  const std::string win1256 = Platform("UTF-8", "WINDOWS-1256", Html(Repeat(kArabic, 3) + persian, "النص على اسم"));
  EXPECT_EQ(main_of(Langdet(win1256, "http://fa.test/1256", nullptr, -2, "windows-1256")), LANGTYPE_FARSI);

  // The letters in each form, counted in the record's own text.
  struct Case {
    int code;
    const char* text;
    int main;
  };
  const Case cases[] = {
      {CODETYPE_UTF8, "\xDA\xAF \xD9\xBE", LANGTYPE_FARSI},
      {CODETYPE_UTF8, "\xDA\xAF only", LANGTYPE_ARABIC},
      {CODETYPE_WIN1256, "\x90\x81", LANGTYPE_FARSI},
      {CODETYPE_ISO_8859_6, "\x8D \xC3\x8E", LANGTYPE_ARABIC},  // the second follows a UTF-8 lead
      {CODETYPE_GB, "\x81\x31\x91\x35\x81\x31\x8F\x32", LANGTYPE_FARSI},
      {CODETYPE_GBK, "\x81\x31\x8C\x36\x81\x31\x8D\x34", LANGTYPE_FARSI},
      {CODETYPE_GB, "\x81\x31\x8C\x36", LANGTYPE_ARABIC},
      {CODETYPE_BIG5, "\x90\x81", LANGTYPE_ARABIC},
  };
  for (const Case& c : cases) {
    _ccode_info_t info;
    ccode_info_clean(&info);
    strcpy(info.str_content, c.text);
    _langtype_t lt = {LANGTYPE_ARABIC, LANGTYPE_ARABIC, 3};
    detect_persian(c.code, &lt, &info);
    EXPECT_EQ(lt.main_lang * 100 + lt.sec_lang, c.main * 101) << c.code << " " << c.text;
  }
  _ccode_info_t info;
  ccode_info_clean(&info);
  strcpy(info.str_content, "\x90\x81");
  _langtype_t french = {LANGTYPE_FRENCH, LANGTYPE_NONE, 1};  // only an Arabic language turns
  detect_persian(CODETYPE_WIN1256, &french, &info);
  EXPECT_EQ(french.main_lang, LANGTYPE_FRENCH);
}

TEST(CcodeLangdet, BadCodesAndArguments) {
  long long value;
  int code = 33;
  testsupport::CaptureFd err(2);
  EXPECT_EQ(ul_ccode_langdet("p", "u", nullptr, nullptr, &code, &value, nullptr), -1);
  code = -3;
  EXPECT_EQ(ul_ccode_langdet("p", "u", nullptr, nullptr, &code, &value, nullptr), -1);
  code = CODETYPE_WIN1255;
  EXPECT_EQ(ul_ccode_langdet("p", "http://bad.test/", nullptr, nullptr, &code, &value, nullptr), 0);
  EXPECT_EQ(ul_ccode_langdet("p", "u", nullptr, nullptr, &code, nullptr, nullptr), -1);
  EXPECT_EQ(ul_ccode_chardet(nullptr, "u", nullptr, nullptr, &code, nullptr), -1);
  // A thread without state: -1 with a preset code and with detection.
  std::thread([] {
    for (int preset : {CODETYPE_UTF8, CODETYPE_UNKNOWN}) {
      int c = preset;
      long long v;
      EXPECT_EQ(ul_ccode_langdet("p", "u", nullptr, nullptr, &c, &v, nullptr), -1);
    }
  }).join();
  const int saved = CCODE_LOAD_FLAG;
  CCODE_LOAD_FLAG = 4;
  EXPECT_EQ(ul_ccode_chardet("p", "u", nullptr, nullptr, &code, nullptr), -1);
  EXPECT_EQ(ul_ccode_langdet("p", "u", nullptr, nullptr, &code, &value, nullptr), -1);
  CCODE_LOAD_FLAG = saved;
  const std::string log = err.Stop();
  EXPECT_TRUE(Has(log, "wrong codetype detected in function 'ul_ccode_langdet'.\n"));
  EXPECT_TRUE(Has(log, "invalid parameter in function 'ul_ccode_langdet'.\n"));
  EXPECT_TRUE(Has(log, "invalid parameter in function 'ul_ccode_chardet'.\n"));
  EXPECT_TRUE(Has(log, "FLAG_PAGE_LANG_DETECT."));
}

TEST(CcodeLangdet, SixteenThreadsAtOnce) {
  // Each thread opens its own state and detects its own pages; the answers
  // match those of one thread alone.
  const std::vector<std::string> pages = {
      Html(Repeat(kEnglish, 3)),
      ccodetest::Gbk(Html(Repeat(kSimp, 3))),
      Html(Repeat(kFrench, 3)),
      Platform("UTF-8", "WINDOWS-1251", Html(Repeat(kRussian, 3))),
      Html(Repeat(kArabic, 3)),
      Platform("UTF-8", "WINDOWS-1254", Html(Repeat(kTurkish, 3))),
  };
  std::vector<long long> expected;
  std::vector<int> codes;
  for (size_t i = 0; i < pages.size(); ++i) {
    int code = -2;
    long long value;
    ASSERT_EQ(ul_ccode_langdet(pages[i].c_str(), "http://one.test/", nullptr, nullptr, &code, &value, nullptr), 0);
    expected.push_back(value);
    codes.push_back(code);
  }
  std::vector<int> bad(16, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 16; ++t) {
    threads.emplace_back([&, t] {
      if (ul_ccode_conv_open() != 0) {
        bad[t] = 1000;
        return;
      }
      for (int round = 0; round < 3; ++round) {
        for (size_t k = 0; k < pages.size(); ++k) {
          const size_t i = (k + t) % pages.size();
          const std::string url = "http://t" + std::to_string(t) + ".test/" + std::to_string(round * 10 + i);
          int code = -2, detected = -3;
          long long value = -7;
          ul_ccode_langdet(pages[i].c_str(), url.c_str(), nullptr, nullptr, &code, &value, nullptr);
          ul_ccode_detect_codetype(pages[i].c_str(), url.c_str(), nullptr, nullptr, &detected);
          bad[t] += (value != expected[i]) + (code != codes[i]);
        }
      }
      ul_ccode_conv_close();
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(bad, std::vector<int>(16, 0));
}

TEST(CcodeLangdet, WordFeaturesOncePerStatisticsPass) {
  // The extended detections share the thread's record by URL: a later call
  // for the same page, by either function, reuses the word features of the
  // pass instead of counting the words again. (A page CLD2 does not decide,
  // so that the language rules read the features.)
  const std::string page = ccodetest::Gbk(Html(Repeat(kSimp + " " + kManual, 3)));
  const long long value = Langdet(page, "http://once.test/a");
  const _ccode_info_t* info = get_ccode_info();
  const int words = info->word_num, chars = info->charlen;
  ASSERT_GT(words, 0);
  EXPECT_EQ(Langdet(page, "http://once.test/a"), value);
  EXPECT_EQ(info->word_num * 100000 + info->charlen, words * 100000 + chars);
  Chardet(page, nullptr, "http://once.test/b");
  EXPECT_EQ(info->word_num * 100000 + info->charlen, words * 100000 + chars);
  Langdet(page, "http://once.test/b");
  EXPECT_EQ(info->word_num * 100000 + info->charlen, words * 100000 + chars);
}

}  // namespace
