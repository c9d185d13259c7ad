// The multi-byte string utilities: search, replacement and editing.
#include <errno.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/support.h"
#include "ul_ccode_conv.h"
#include "ul_ccode_edit.h"
#include "ul_ccode_memo.h"
#include "ul_ccode_replace.h"
#include "ul_ccode_search.h"
#include "ul_ccode_type.h"

namespace {

constexpr int kGb = CODETYPE_GB, kGbk = CODETYPE_GBK, kUtf8 = CODETYPE_UTF8, kAscii = CODETYPE_ASCII;
const std::string kZhong = "\xE4\xB8\xAD", kWen = "\xE6\x96\x87", kZi = "\xE5\xAD\x97";  // 中 文 字 in UTF-8
const std::string kGb4 = "\x81\x30\x81\x30";                                           // a GB18030 four-byte code
char kOut[64];

// The main thread's scratch memory, without the converters of the full state.
class Scratch : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_TRUE(ul_ccode_memo_init() == 0 && ul_ccode_memo_alloc() == 0); }
  void TearDown() override {
    ul_ccode_memo_free();
    ul_ccode_memo_del();
  }
};
const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new Scratch);

// A pointer result as a number: 1 for the expected buffer, 0 for NULL.
long P(const char* p, const char* expected = kOut) { return p == nullptr ? 0 : p == expected ? 1 : 2; }
int DropDigit(char* c, int) { return c[0] >= '0' && c[0] <= '9'; }

// --- the rules of each function: bad arguments, invalid characters, no
// scratch memory. errno is preset to 77 ("untouched").
struct Rule {
  const char* what;
  std::function<long()> call;
  long result;
  int err;
  const char* log;  // a text the call logs, "" for none
  bool bare = false;  // on a thread without scratch memory
};

const std::vector<Rule>& Rules() {
  static const std::vector<Rule> rules = {
      {"find NULL", [] { return P(ul_ccode_find(nullptr, "a", kGbk)); }, 0, EINVAL, "invalid parameter in ul_ccode_find"},
      {"find invalid before a match", [] { return P(ul_ccode_find("\x80" "ab", "b", kGbk)); }, 0, 77, ""},
      {"find other code type", [] { return P(ul_ccode_find("ab", "b", CODETYPE_BIG5)); }, 0, 77, ""},
      {"findn NULL", [] { return P(ul_ccode_findn("a", 1, nullptr, 1, kGbk)); }, 0, 77, "invalid parameter in ul_ccode_findn"},
      {"findn invalid before", [] { return P(ul_ccode_findn("\xC2" "ab", 3, "b", 1, kUtf8)); }, 0, 77, ""},
      {"findn invalid at the match", [] { return P(ul_ccode_findn("a\x81", 2, "\x81", 1, kGbk)); }, 0, 77, ""},
      {"ifind NULL", [] { return P(ul_ccode_ifind(nullptr, "a", kGbk)); }, 0, EINVAL, ""},
      {"ifind invalid", [] { return P(ul_ccode_ifind("a\x80", "a", kGbk)); }, 0, 77, ""},
      {"ifind bare", [] { return P(ul_ccode_ifind("a", "a", kGbk)); }, 0, 77, "", true},
      {"ifindn size 0", [] { return P(ul_ccode_ifindn("a", 1, "a", 0, kGbk)); }, 0, EINVAL, ""},
      {"ifindn bare", [] { return P(ul_ccode_ifindn("a", 1, "a", 1, kGbk)); }, 0, 77, "", true},
      {"count_inset NULL", [] { return ul_ccode_count_inset(nullptr, 1, "a", 1, kGbk); }, -1, EINVAL, ""},
      {"include size 0", [] { return ul_ccode_include("a", 0, "a", 1, kGbk); }, -1, EINVAL, ""},
      {"only_include size 0", [] { return ul_ccode_only_include("a", 1, "a", 0, kGbk); }, -1, EINVAL, ""},
      {"count_overlap NULL", [] { return ul_ccode_count_overlap("a", 1, nullptr, 1, kGbk); }, -1, 77, ""},
      {"count_overlap bare", [] { return ul_ccode_count_overlap("a", 1, "a", 1, kGbk); }, -1, 77, "", true},
      {"lcs NULL", [] { return ul_ccode_longest_common_substr("a", 1, "a", 1, nullptr, 4, kGbk); }, -1, 77,
       "invalid parameter in ccode_longest_common_substr"},
      {"lcs bare", [] { return ul_ccode_longest_common_substr("a", 1, "a", 1, kOut, 4, kGbk); }, -1, 77,
       "pthread get error in ccode_longest_common_substr", true},
      {"alphaset size 0", [] { return ul_ccode_include_same_alphaset("a", 0, "a", 1); }, -1, EINVAL, ""},
      {"diff_space NULL", [] { return ul_ccode_only_diff_space(nullptr, 1, "a", 1); }, -1, EINVAL, ""},
      {"strcmp_reverse NULL", [] { return ul_ccode_strcmp_reverse("a", 1, nullptr, 1); }, -2, EINVAL, ""},
      {"replace NULL", [] { return ul_ccode_replace("a", kOut, nullptr, "b", kGbk); }, -1, EINVAL, ""},
      {"replace bare", [] { return ul_ccode_replace("a", kOut, "a", "b", kGbk); }, -1, 77,
       "get g_pool_key error in ul_ccode_replace", true},
      {"replacen size 0", [] { return ul_ccode_replacen("a", 1, kOut, 0, "a", "b", kGbk); }, -1, EINVAL, ""},
      {"replacen bare", [] { return ul_ccode_replacen("a", 1, kOut, 8, "a", "b", kGbk); }, -1, 77,
       "get g_pool_key error in ul_ccode_replacen", true},
      {"replace_word NULL", [] { return ul_ccode_replace_word(nullptr, kOut, "a", "b", kGbk); }, -1, EINVAL,
       "invalid parameter in function 'ul_ccode_replace_word'"},
      {"replace_word bare", [] { return ul_ccode_replace_word("a", kOut, "a", "b", kGbk); }, -1, 77,
       "get g_pool_key error in ul_ccode_replace_word", true},
      {"replacen_word size 0", [] { return ul_ccode_replacen_word("a", 0, kOut, 8, "a", "b", kGbk); }, -1, EINVAL,
       "invalid parameter in function 'ul_ccode_replacen_word'"},
      {"replacen_word bare", [] { return ul_ccode_replacen_word("a", 1, kOut, 8, "a", "b", kGbk); }, -1, 77,
       "get g_pool_key error in ul_ccode_replacen_word", true},
      {"convword NULL", [] { return ul_ccode_convword("a", 1, kOut, 8, "a", nullptr, kGbk); }, -1, EINVAL,
       "invalid parameter in function 'ul_ccode_convword'"},
      {"convword bare", [] { return ul_ccode_convword("a", 1, kOut, 8, "a", "b", kGbk); }, -1, 77,
       "get g_hash_key error in ul_ccode_convword", true},
      {"convurl size 0", [] { return P(ul_ccode_convurl("a", 0, kOut, 8)); }, 0, EINVAL, ""},
      {"convurl bare", [] { return P(ul_ccode_convurl("a", 1, kOut, 8)); }, 0, 77,
       "get g_pool_key error in ul_ccode_convurl", true},
      {"trim NULL", [] { return P(ul_ccode_trim(nullptr, kOut, kGbk)); }, 0, EINVAL, ""},
      {"trim invalid", [] { return P(ul_ccode_trim("a\x80", kOut, kGbk)); }, 0, 77, ""},
      {"trimn size 0", [] { return P(ul_ccode_trimn("a", 0, kOut, 8, kGbk)); }, 0, EINVAL, ""},
      {"rmblank NULL", [] { return P(ul_ccode_rmblank(nullptr, kOut, kGbk)); }, 0, 77, ""},
      {"rmblankn size 0", [] { return P(ul_ccode_rmblankn("a", 1, kOut, 0, kGbk)); }, 0, 77, ""},
      {"rmblankn invalid", [] { return P(ul_ccode_rmblankn("a\x80", 2, kOut, 8, kGbk)); }, 0, 77, ""},
      {"chomp NULL", [] { return P(ul_ccode_chomp("a", nullptr, kGbk)); }, 0, EINVAL, ""},
      {"chompn invalid", [] { return P(ul_ccode_chompn("a\x80", 2, kOut, 8, kGbk)); }, 0, 77, ""},
      {"remove NULL string", [] { return P(ul_ccode_remove(nullptr, kOut, DropDigit, kGbk)); }, 0, 77, ""},
      {"remove NULL callback", [] { return P(ul_ccode_remove("a", kOut, nullptr, kGbk)); }, 0, EINVAL, ""},
      {"remove invalid", [] { return P(ul_ccode_remove("a\x80", kOut, DropDigit, kGbk)); }, 0, EINVAL, ""},
      {"removen size 0", [] { return P(ul_ccode_removen("a", 0, kOut, 8, DropDigit, kGbk)); }, 0, EINVAL, ""},
      {"split maxStr 0", [] { return ul_ccode_split(kOut, nullptr, 0, ",", kGbk); }, 0, EINVAL, ""},
      {"split invalid", [] {
         char text[] = "a,\x80";
         char* pieces[4];
         return ul_ccode_split(text, pieces, 4, ",", kGbk);
       }, -1, EINVAL, ""},
      {"join NULL", [] { return P(ul_ccode_join(kOut, 8, nullptr, 1)); }, 0, EINVAL, ""},
      {"substr size 0", [] { return P(ul_ccode_substr("a", 0, kOut, 8, 0, 1, kGbk)); }, 0, EINVAL, ""},
      {"substr invalid before start", [] { return P(ul_ccode_substr("\x80" "a", 2, kOut, 8, 1, 1, kGbk)); }, 0,
       EINVAL, ""},
      {"tolower NULL", [] { return P(ul_ccode_tolower(nullptr, 1, kOut, 8)); }, 0, 77, ""},
      {"toupper size 0", [] { return P(ul_ccode_toupper("a", 1, kOut, 0)); }, 0, 77, ""},
      {"tohalf ASCII", [] { return P(ul_ccode_tohalf("a", 1, kOut, 8, kAscii)); }, 0, 77, ""},
      {"half_lower BIG5", [] { return P(ul_ccode_half_lower("a", 1, kOut, 8, CODETYPE_BIG5)); }, 0, 77, ""},
      {"str2uint NULL", [] { return static_cast<long>(ul_ccode_str2uint(nullptr, 4)); }, 0xFFFFFFFFL, EFAULT, ""},
  };
  return rules;
}

TEST(StringUtilities, PerFunctionRules) {
  for (const Rule& r : Rules()) {
    long result = 0;
    int err = 0;
    testsupport::CaptureFd capture(2);
    auto run = [&] {
      errno = 77;
      result = r.call();
      err = errno;
    };
    if (r.bare) {
      std::thread(run).join();
    } else {
      run();
    }
    const std::string log = capture.Stop();
    EXPECT_EQ(result, r.result) << r.what;
    EXPECT_EQ(err, r.err) << r.what;
    if (r.log[0] == '\0') {
      EXPECT_EQ(log, "") << r.what;
    } else {
      EXPECT_NE(log.find(r.log), std::string::npos) << r.what << ": " << log;
    }
  }
}

// --- functions that write a string: each row runs out of place into a
// buffer of exactly the result's size, in place, and (for a form with a
// capacity) with one byte less, which fails with EINVAL.
typedef std::function<long(const char* in, int szIn, char* out, int szOut)> EditFn;

struct Edit {
  const char* what;
  EditFn fn;
  std::string in;
  long result;  // for a pointer result: 1 (the output buffer)
  std::string out;
  bool capacity;
};

EditFn Ptr(char* (*fn)(const char*, int, char*, int, int), int ct) {
  return [fn, ct](const char* in, int n, char* out, int m) { return P(fn(in, n, out, m, ct), out); };
}
EditFn Ptr(char* (*fn)(const char*, char*, int), int ct) {
  return [fn, ct](const char* in, int, char* out, int) { return P(fn(in, out, ct), out); };
}
EditFn Rep(int (*fn)(const char*, int, char*, int, const char*, const char*, int), std::string from,
           std::string to, int ct) {
  return [=](const char* in, int n, char* out, int m) {
    return static_cast<long>(fn(in, n, out, m, from.c_str(), to.c_str(), ct));
  };
}
EditFn Rep(int (*fn)(const char*, char*, const char*, const char*, int), std::string from, std::string to, int ct) {
  return [=](const char* in, int, char* out, int) { return static_cast<long>(fn(in, out, from.c_str(), to.c_str(), ct)); };
}

const std::vector<Edit>& Edits() {
  static const std::vector<Edit> edits = {
      {"trim GBK", Ptr(ul_ccode_trim, kGbk), "\xA1\xA1" "a\xA1\xA1", 1, "a", false},
      {"trimn UTF-8", Ptr(ul_ccode_trimn, kUtf8), "\xE3\x80\x80" "a b \t", 1, "a b", true},
      {"trimn all blank", Ptr(ul_ccode_trimn, kGb), " \xA1\xA1 ", 1, "", true},
      {"rmblank GB", Ptr(ul_ccode_rmblank, kGb), "a \xA1\xA1" "b" + kGb4, 1, "ab" + kGb4, false},
      {"rmblankn GBK", Ptr(ul_ccode_rmblankn, kGbk), "a \xA1\xA1\xB0\xA1", 1, "a\xB0\xA1", true},
      {"chomp", Ptr(ul_ccode_chomp, kUtf8), "a\nb" + kZhong + "\n", 1, "ab" + kZhong, false},
      {"chompn", Ptr(ul_ccode_chompn, kGbk), "\na\n\xB0\xA1", 1, "a\xB0\xA1", true},
      {"remove", [](const char* in, int, char* out, int) { return P(ul_ccode_remove(in, out, DropDigit, kGb), out); },
       "1a2" + kGb4 + "3", 1, "a" + kGb4, false},
      {"removen",
       [](const char* in, int n, char* out, int m) { return P(ul_ccode_removen(in, n, out, m, DropDigit, kUtf8), out); },
       "9" + kZhong + "8b", 1, kZhong + "b", true},
      {"substr", [](const char* in, int n, char* out, int m) { return P(ul_ccode_substr(in, n, out, m, 1, 2, kUtf8), out); },
       kZhong + kWen + kZi, 1, kWen + kZi, true},
      {"substr negative start", [](const char* in, int n, char* out, int m) {
         return P(ul_ccode_substr(in, n, out, m, -3, 1, kGb), out);
       }, kGb4 + "a", 1, kGb4, true},
      {"tolower (trail bytes too)", [](const char* in, int n, char* out, int m) { return P(ul_ccode_tolower(in, n, out, m), out); },
       "AbZ\xB0\x41", 1, "abz\xB0\x61", true},
      {"toupper", [](const char* in, int n, char* out, int m) { return P(ul_ccode_toupper(in, n, out, m), out); },
       "azA{", 1, "AZA{", true},
      {"tohalf UTF-8", Ptr(ul_ccode_tohalf, kUtf8),
       "\xEF\xBC\xA1\xEF\xBD\x9D\xEF\xBD\x9E\xE2\x80\x98\xE2\x80\x9D\xE2\x80\x9E\xE3\x80\x80\xE3\x80\x82\xE3\x80\x83"
       "\xEF\xBF\xA3\xEF\xBF\xA5Q" + kZhong,
       1, "A}\xEF\xBD\x9E'\"\xE2\x80\x9E .\xE3\x80\x83~\xEF\xBF\xA5Q" + kZhong, true},
      {"tohalf GB (the yen kept)", Ptr(ul_ccode_tohalf, kGb),
       "\xA3\xA0\xA3\xC1\xA3\xFE\xA3\xA4\xA1\xA1\xA1\xA2\xA1\xA4\xA1\xAE\xA1\xB1\xA1\xC3\xA1\xE7" + kGb4, 1,
       " A~\xA3\xA4 ,\xA1\xA4'\":$" + kGb4, true},
      {"tohalf ends at an invalid character", Ptr(ul_ccode_tohalf, kGbk), "a\xA3\xC1\x80" "b", 1, "aA", true},
      {"half_lower UTF-8", Ptr(ul_ccode_half_lower, kUtf8), "\xEF\xBC\xA1" "B", 1, "ab", true},
      {"half_lower GBK", Ptr(ul_ccode_half_lower, kGbk), "\xA3\xC1\xA3\xA4" "C", 1, "a\xA3\xA4" "c", true},
      {"half_lower ASCII", Ptr(ul_ccode_half_lower, kAscii), "AB\xA3\xC3", 1, "abc", true},
      {"replace grows", Rep(ul_ccode_replace, "ab", "xyz", kUtf8), "abab", 2, "xyzxyz", false},
      {"replace at boundaries", Rep(ul_ccode_replace, "\xB0\xA1", "x", kGbk), "\xC1\xB0\xA1\xC2\xB0\xA1", 1,
       "\xC1\xB0\xA1\xC2x", false},
      {"replace empty word", Rep(ul_ccode_replace, "", "x", kGb), "ab", 0, "ab", false},
      {"replacen shrinks", Rep(ul_ccode_replacen, "a" + kGb4, "-", kGb), "a" + kGb4 + "ba" + kGb4, 2, "-b-", true},
      {"replacen UTF-8", Rep(ul_ccode_replacen, kZhong, "zz", kUtf8), "a" + kZhong + kZhong, 2, "azzzz", true},
      {"replacen into one byte", Rep(ul_ccode_replacen, "ab", "", kAscii), "ab", 1, "", true},
      {"replace_word GBK", Rep(ul_ccode_replace_word, "\xB0\xA1\xB0\xA2", "x", kGbk), "\xB0\xA1" "A\xB0\xA2", 2,
       "xAx", false},
      {"replace_word four-byte", Rep(ul_ccode_replace_word, kGb4, "yy", kGb), "a" + kGb4 + "b", 1, "ayyb",
       false},
      // C3 A9 (U+00E9) is not U+C3A9 (EC 8E A9).
      {"replace_word two-byte UTF-8", Rep(ul_ccode_replace_word, "\xC3\xA9", "e", kUtf8), "\xEC\x8E\xA9\xC3\xA9", 1,
       "\xEC\x8E\xA9" "e", false},
      {"replace_word ends at an invalid character", Rep(ul_ccode_replace_word, "a", "b", kGbk), "a\x80" "a", 1, "b",
       false},
      {"replacen_word", Rep(ul_ccode_replacen_word, "ab", "<>", kUtf8), "abc" + kZhong, 2, "<><>c" + kZhong, true},
      {"convword", Rep(ul_ccode_convword, "ab", "xy", kAscii), "abc", 2, "xyc", true},
      {"convword grows", Rep(ul_ccode_convword, "a", kZhong, kUtf8), "a1a", 2, kZhong + "1" + kZhong, true},
      {"convword later pair wins", Rep(ul_ccode_convword, "aa" + kGb4, "xy\xB0\xA1" "z", kGb),
       "a" + kGb4, 2, "y\xB0\xA1", true},
      {"convurl", [](const char* in, int n, char* out, int m) { return P(ul_ccode_convurl(in, n, out, m), out); },
       "a b%41%zz%4a-._~\xB0", 1, "a+b%41%25zz%254a-._%7E%B0", true},
  };
  return edits;
}

TEST(StringUtilities, EditsInAndOutOfPlace) {
  for (const Edit& e : Edits()) {
    const int exact = static_cast<int>(e.out.size()) + 1, in_size = static_cast<int>(e.in.size());
    std::string out(exact, '#');
    EXPECT_EQ(e.fn(e.in.c_str(), in_size, &out[0], exact), e.result) << e.what;
    EXPECT_EQ(out.c_str(), e.out) << e.what;
    std::string buf = e.in + std::string(e.out.size() + 1, '\0');
    EXPECT_EQ(e.fn(buf.c_str(), in_size, &buf[0], exact), e.result) << e.what << " in place";
    EXPECT_EQ(buf.c_str(), e.out) << e.what << " in place";
    if (!e.capacity) continue;
    errno = 0;
    EXPECT_LE(e.fn(e.in.c_str(), in_size, &out[0], exact - 1), 0) << e.what << " one byte short";
    EXPECT_EQ(errno, EINVAL) << e.what;
  }
  EXPECT_EQ(ul_ccode_memo_hash()->size(), 0u);
  EXPECT_EQ(ul_ccode_memo_pool()->bigcount(), 0u);
}

TEST(StringUtilities, PartialResults) {
  // Two replacements fill 4 bytes; the third does not fit.
  errno = 0;
  EXPECT_EQ(ul_ccode_replacen("aaa", 3, kOut, 4, "a", "bb", kAscii), -1);
  EXPECT_EQ(errno, EINVAL);
  // Fewer characters than asked: written, but NULL.
  errno = 0;
  EXPECT_EQ(ul_ccode_substr((kZhong + kWen + kZi).c_str(), 9, kOut, 64, 1, 5, kUtf8), nullptr);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(kOut, kWen + kZi);
  EXPECT_EQ(ul_ccode_substr("abc", 3, kOut, 64, 1, 0, kUtf8), kOut);
  EXPECT_STREQ(kOut, "");
  EXPECT_EQ(ul_ccode_substr("abc", 3, kOut, 64, 4, 1, kUtf8), nullptr);  // shorter than start
  // A failed join leaves dest as it was.
  char dest[6] = "ab";
  EXPECT_EQ(ul_ccode_join(dest, 5, "cd", 8), dest);
  EXPECT_STREQ(dest, "abcd");
  EXPECT_EQ(ul_ccode_join(dest, 5, "e", 1), nullptr);
  EXPECT_STREQ(dest, "abcd");
  EXPECT_EQ(ul_ccode_join(dest, 6, "e", 1), dest);
  // The case forms read szSrc bytes and no more: a text without a NUL ends
  // at the buffer's end.
  const std::vector<char> bare = {'a', 'B', 'c'};
  EXPECT_EQ(ul_ccode_toupper(bare.data(), 3, kOut, 4), kOut);
  EXPECT_STREQ(kOut, "ABC");
  EXPECT_EQ(ul_ccode_tolower(bare.data(), 3, kOut, 4), kOut);
  EXPECT_STREQ(kOut, "abc");
  // split: adjacent separators give empty pieces; cutting stops at maxStr.
  char text[] = "a,b,,c";
  char* pieces[4] = {};
  EXPECT_EQ(ul_ccode_split(text, pieces, 3, ",", kAscii), 3);
  EXPECT_STREQ(pieces[0], "a");
  EXPECT_STREQ(pieces[1], "b");
  EXPECT_STREQ(pieces[2], ",c");
  std::string gb = "x" + kGb4 + "y\xA1\xA1z";
  EXPECT_EQ(ul_ccode_split(&gb[0], pieces, 4, ("\xA1\xA1" + kGb4).c_str(), kGb), 3);
  EXPECT_STREQ(pieces[2], "z");
  // str2uint around the limit.
  for (const auto& c : std::vector<std::pair<const char*, unsigned>>{
           {"x4294967295y", 4294967295u}, {"ab", 0}, {"0429496729", 429496729u}, {"12 34", 12}}) {
    EXPECT_EQ(ul_ccode_str2uint(c.first, 12), c.second) << c.first;
  }
  EXPECT_EQ(ul_ccode_str2uint("4294967299", 9), 429496729u);  // the tenth digit lies past szStr
  for (const char* big : {"4294967296", "42949672950"}) {
    errno = 0;
    EXPECT_EQ(ul_ccode_str2uint(big, 16), 0xFFFFFFFFu);
    EXPECT_EQ(errno, ERANGE) << big;
  }
}

// --- search and comparison.
long Off(const char* p, const char* base) { return p == nullptr ? -1 : p - base; }

TEST(StringUtilities, Search) {
  const char* gbk = "\xC1\xB0\xA1\xC2\xB0\xA1";  // C1B0 A1C2 B0A1: B0A1 starts only at 4
  EXPECT_EQ(Off(ul_ccode_find(gbk, "\xB0\xA1", kGbk), gbk), 4);
  EXPECT_EQ(Off(ul_ccode_find("\xC1\xB0\xA1\xC2", "\xB0\xA1", kGbk), gbk), -1);
  const std::string gb = "a" + kGb4 + "\x81\x30";
  EXPECT_EQ(Off(ul_ccode_find(gb.c_str(), "\x81\x30", kGb), gb.c_str()), 1);
  EXPECT_EQ(Off(ul_ccode_find(gb.c_str(), "", kGb), gb.c_str()), 0);
  EXPECT_EQ(Off(ul_ccode_find("a\xB0\xA1", "\xA1", kUtf8), "a\xB0\xA1"), 2);  // a plain search
  EXPECT_EQ(Off(ul_ccode_findn(gbk, 6, "\xB0\xA1", 2, kGbk), gbk), 4);
  EXPECT_EQ(Off(ul_ccode_findn(gbk, 5, "\xB0\xA1", 2, kGbk), gbk), -1);
  EXPECT_EQ(Off(ul_ccode_findn(gbk, 6, "\xB0\xA1" "x", 2, kGbk), gbk), 4);
  const std::string u = kZhong + "a" + kZhong;
  EXPECT_EQ(Off(ul_ccode_findn(u.c_str(), 7, kZhong.c_str(), 3, kUtf8), u.c_str()), 0);
  EXPECT_EQ(Off(ul_ccode_findn(u.c_str() + 1, 6, kZhong.c_str(), 3, kUtf8), u.c_str() + 1), -1);
  EXPECT_EQ(Off(ul_ccode_findn(u.c_str(), 7, "\xB8\xAD", 2, kUtf8), u.c_str()), -1);
  // A block of eight bytes is stepped over whole only when it is all ASCII
  // or all pair bytes: here B0 A1 straddles the first eight bytes.
  const char* straddle = "a\xC1\xC2\xA1\xC2xy\xB0\xA1q";
  EXPECT_EQ(ul_ccode_find(straddle, "\xA1q", kGbk), nullptr);
  EXPECT_EQ(ul_ccode_findn(straddle, 10, "\xA1q", 2, kGb), nullptr);
  const std::string gb4a = kGb4 + "a";
  EXPECT_EQ(Off(ul_ccode_findn(gb4a.c_str(), 5, "a", 1, kGb), gb4a.c_str()), 4);
  EXPECT_EQ(ul_ccode_findn(gb4a.c_str(), 5, "a", 1, kGbk), nullptr);  // no four-byte codes in GBK
  EXPECT_EQ(ul_ccode_findn("\x80", 1, "", 1, kGbk), nullptr);                  // an empty pattern needs a character
  EXPECT_EQ(ul_ccode_findn("", 1, "", 1, kGbk), nullptr);
  EXPECT_EQ(ul_ccode_findn("a\0b", 3, "b", 1, kAscii), nullptr);  // the text ends at its NUL
  EXPECT_EQ(Off(ul_ccode_findn("\x7F" "b", 2, "b", 1, kUtf8), "\x7F" "b"), 1);  // the last ASCII byte
  EXPECT_EQ(ul_ccode_findn("\x80" "b", 2, "b", 1, kUtf8), nullptr);               // and the first other one
  EXPECT_EQ(Off(ul_ccode_ifind("abca", "a", kAscii), "abca"), 3);
  EXPECT_EQ(Off(ul_ccode_ifind(gbk, "\xB0\xA1", kGbk), gbk), 4);
  EXPECT_EQ(Off(ul_ccode_ifind(gbk, "\xB0\xA1", kUtf8), gbk), -1);
  EXPECT_EQ(Off(ul_ccode_ifindn("abcab", 5, "ab", 2, kAscii), "abcab"), 3);
  EXPECT_EQ(Off(ul_ccode_ifindn("abcab", 4, "ab", 2, kAscii), "abcab"), 0);
  EXPECT_EQ(Off(ul_ccode_ifindn("abc", 3, "cde", 3, kAscii), "abc"), -1);  // only a whole pattern
  const char* cut = "ab\x80" "b";
  EXPECT_EQ(Off(ul_ccode_ifindn(cut, 4, "b", 1, kGbk), cut), 1);  // the walk ends at 0x80
  // Characters of one string in another.
  const std::string set = "\xB0\xA1" "b";
  EXPECT_EQ(ul_ccode_count_inset("ab\xB0\xA1\xB0\xA1", 6, set.c_str(), 3, kGbk), 3);
  EXPECT_EQ(ul_ccode_include("a\xB0\xA1", 3, set.c_str(), 3, kGbk), 1);
  EXPECT_EQ(ul_ccode_include("ac", 2, set.c_str(), 3, kGbk), 0);
  EXPECT_EQ(ul_ccode_only_include("b\xB0\xA1", 3, set.c_str(), 3, kGbk), 1);
  EXPECT_EQ(ul_ccode_only_include("b\xB0\xA1" "c", 4, set.c_str(), 3, kGbk), 0);
  EXPECT_EQ(ul_ccode_only_include("b\xB0\xA1" "c", 3, set.c_str(), 3, kGbk), 1);
  for (auto fn : {ul_ccode_count_inset, ul_ccode_include}) EXPECT_EQ(fn("", 1, "a", 1, kGbk), 0);
  EXPECT_EQ(ul_ccode_only_include("", 1, "a", 1, kGbk), 1);
  EXPECT_EQ(ul_ccode_count_overlap("aab", 3, "abb", 3, kAscii), 2);
  EXPECT_EQ(ul_ccode_count_overlap("aab", 2, "abb", 3, kAscii), 1);
  EXPECT_EQ(ul_ccode_count_overlap("\xC3\xA9", 2, "\xEC\x8E\xA9", 3, kUtf8), 0);
  const std::string four = kGb4 + kGb4 + "\x81\x30\x81\x31";
  EXPECT_EQ(ul_ccode_count_overlap(four.c_str(), 12, (kGb4 + "\x81\x30\x81\x31" + kGb4 + kGb4).c_str(), 16, kGb), 3);
  const std::string many(70000, 'a');  // more than a 16-bit count holds
  EXPECT_EQ(ul_ccode_count_overlap(many.c_str(), 70000, many.c_str(), 70000, kAscii), 70000);
  EXPECT_EQ(ul_ccode_memo_hash()->size(), 0u);
}

TEST(StringUtilities, LongestCommonSubsequence) {
  struct Case {
    std::string a, b;
    int sz;
    int result;
    std::string common;
    int codetype;
  };
  const Case cases[] = {
      {"abcd", "axcyd", 4, 3, "acd", kAscii},
      {"abcd", "axcyd", 3, -1, "<untouched>", kAscii},
      {"ab", "ba", 8, 1, "b", kAscii},  // up before left: the later character of the shorter string
      {"axcyd", "abcd", 8, 3, "acd", kAscii},
      {kZhong + kWen + "\xB8\xAD", "x" + kWen + kZhong, 8, 1, kZhong, kUtf8},
      {kGb4 + "ab", "b" + kGb4, 8, 1, kGb4, kGb},
      {"", "abc", 1, 0, "", kAscii},
  };
  for (const Case& c : cases) {
    char common[16] = "<untouched>";
    EXPECT_EQ(ul_ccode_longest_common_substr(c.a.c_str(), static_cast<int>(c.a.size()) + 1, c.b.c_str(),
                                             static_cast<int>(c.b.size()), common, c.sz, c.codetype),
              c.result)
        << c.a << " / " << c.b;
    EXPECT_EQ(common, c.common) << c.a << " / " << c.b;
  }
  // A table larger than a pool block comes from the system and goes back.
  const std::string big(600, 'x');
  EXPECT_EQ(ul_ccode_longest_common_substr(big.c_str(), 600, big.c_str(), 600, kOut, 1, kAscii), -1);
  EXPECT_EQ(ul_ccode_memo_pool()->bigcount(), 0u);
}

TEST(StringUtilities, ByteComparisons) {
  EXPECT_EQ(ul_ccode_strcmp_reverse("ab", 2, "b", 1), 1);
  EXPECT_EQ(ul_ccode_strcmp_reverse("b", 1, "ab", 2), -1);
  EXPECT_EQ(ul_ccode_strcmp_reverse("ab", 8, "ab", 2), 0);
  EXPECT_EQ(ul_ccode_strcmp_reverse("\x80", 1, "a", 1), -1);  // signed bytes
  EXPECT_EQ(ul_ccode_strcmp_reverse("xb", 2, "ab", 2), 1);
  EXPECT_EQ(ul_ccode_only_diff_space("a b", 3, "ab ", 3), 1);
  EXPECT_EQ(ul_ccode_only_diff_space("a b", 3, "abc", 3), 0);
  EXPECT_EQ(ul_ccode_only_diff_space("a b", 3, "ac", 2), 0);
  EXPECT_EQ(ul_ccode_only_diff_space("a\tb\n", 4, "ab", 2), 1);
  EXPECT_EQ(ul_ccode_include_same_alphaset("abca", 4, "cab\xB0", 4), 1);
  EXPECT_EQ(ul_ccode_include_same_alphaset("ab", 2, "abc", 3), 0);
  EXPECT_EQ(ul_ccode_include_same_alphaset("ab", 2, "abc", 2), 1);
}

// --- scratch memory.
TEST(ScratchMemory, PerThreadLife) {
  std::thread([] {
    EXPECT_EQ(ul_ccode_memo_pool(), nullptr);
    EXPECT_EQ(ul_ccode_memo_alloc(), 0);
    ccode::xcompool* pool = ul_ccode_memo_pool();
    EXPECT_NE(pool, nullptr);
    EXPECT_EQ(ul_ccode_memo_alloc(), 0);  // already there: kept
    EXPECT_EQ(ul_ccode_memo_pool(), pool);
    EXPECT_EQ(ul_ccode_replace_word("ab", kOut, "b", "c", kAscii), 1);
    EXPECT_EQ(ul_ccode_memo_free(), 0);
    EXPECT_EQ(ul_ccode_memo_hash(), nullptr);
    EXPECT_EQ(ul_ccode_memo_alloc(), 0);  // the thread's end frees it (key destructors)
  }).join();
  // Without keys a thread gets nothing, and nothing is left behind.
  EXPECT_EQ(testsupport::RunInChild([] {
              ul_ccode_memo_free();
              ul_ccode_memo_del();
              testsupport::CaptureFd err(2);
              const int r = ul_ccode_memo_alloc();
              const bool logged = err.Stop().find("pthread set specific error!") != std::string::npos;
              return r == -1 && logged && ul_ccode_memo_pool() == nullptr ? 0 : 1;
            }),
            0);
}

long ResidentKb() {
  long pages = 0, resident = 0;
  FILE* f = fopen("/proc/self/statm", "r");
  if (f == nullptr) return -1;
  if (fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = -1;
  fclose(f);
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// 200,000 calls; a tenth under the thread sanitizer, which checks every byte
// of this single-threaded run and adds nothing to it but time.
#if defined(__SANITIZE_THREAD__)
constexpr int kPairsOfCalls = 10000;
#else
constexpr int kPairsOfCalls = 100000;
#endif

TEST(ScratchMemory, ResidentMemoryFlatOver200000Calls) {
  const std::string text = "ab" + kZhong + std::string(200, 'x') + "\xF0\x9F\x98\x80" + kWen;
  const std::string other = kZi + "xyz" + kZhong + "\xF0\x9F\x98\x80";
  // Every hundredth set holds a character above U+FFFF, which goes to the
  // map (cleared bucket by bucket after a call that used it).
  const std::string set = kZhong + "x", wide = set + "\xF0\x9F\x98\x80";
  char out[1024];
  auto calls = [&](int n) {
    for (int i = 0; i < n; ++i) {
      const bool map = i % 100 == 0;
      ASSERT_EQ(ul_ccode_replace_word(text.c_str(), out, (map ? wide : set).c_str(), "yy", kUtf8), map ? 202 : 201);
      ASSERT_EQ(ul_ccode_count_overlap(text.c_str(), 205, other.c_str(), 300, kUtf8), 2);
    }
  };
  calls(2000);
  const long before = ResidentKb();
  calls(kPairsOfCalls);
  const long after = ResidentKb();
  EXPECT_LE(after - before, 256) << before << " KB -> " << after << " KB";
}

}  // namespace
