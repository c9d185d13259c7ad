#include "ul_conf.h"

#include <dirent.h>
#include <math.h>
#include <signal.h>
#include <sys/resource.h>

#include <climits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ul_error.h"
#include "support/support.h"

namespace {

using testsupport::CaptureFd;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

struct ConfDeleter {
  void operator()(Ul_confdata* c) const { ul_freeconf(c); }
};
using Conf = std::unique_ptr<Ul_confdata, ConfDeleter>;

Conf NewConf(int size = 1024) { return Conf(ul_initconf(size)); }

int OpenFds() {
  int n = 0;
  DIR* d = opendir("/proc/self/fd");
  while (readdir(d) != nullptr) ++n;
  closedir(d);
  return n;
}

std::string Get(const Ul_confdata* c, const char* name) {
  char buf[UL_CONF_WORD_SIZE];
  return ul_getconfnstr(c, name, buf, sizeof(buf)) == 1 ? buf : "<missing>";
}

bool Has(const std::string& text, const std::string& piece) {
  return text.find(piece) != std::string::npos;
}

// Every syntax form of the format in one file, with one include level.
void WriteFixture(const TempDir& d) {
  std::string main_conf =
      "# a comment\n"                            // 1
      "\n"                                       // 2
      "   \t \n"                                 // 3
      "name1 : value1\n"                         // 4
      "name2: value2\n"                          // 5
      "name3:value3\n"                           // 6
      "name4 :value4  \n"                        // 7
      "   lead\t: blanks \r\n"                   // 8
      "a :: b\n"                                 // 9
      "empty :\n"                                // 10
      "novalue value\n"                          // 11: no colon
      ": x\n"                                    // 12: colon before the name
      "nameonly\n"                               // 13: name without value
      "dup : first\n"                            // 14
      "dup : second\n"                           // 15
      "longval : " + std::string(3000, 'v') + "\n"  // 16: value too long
      "wide : w" + std::string(4200, ' ') + "\n"    // 17 and 18: long line of blanks
      "after : long\n"                           // 19
      "$INCLUDE : \"inc.conf\"\n"                // 20
      "$include : \"missing.conf\"\n"            // 21
      "$include : inc.conf\n"                    // 22: no quotes, ignored
      "num0 : 0\n"
      "num8 : 010\n"
      "bad8 : 08\n"
      "hex : 0x1f\n"
      "HEX : 0X1F\n"
      "neg : -3\n"
      "partial : 12ab\n"
      "word : abc\n"
      "u64 : 0xffffffffffffffff\n"
      "big64 : -9000000000\n"
      "flt : 2.5\n"
      "last : v";  // no newline at the end
  WriteFile(d.file("main.conf"), main_conf);
  WriteFile(d.file("inc.conf"), "incitem : 1\n$include : \"inc2.conf\"\n");
  WriteFile(d.file("inc2.conf"), "deep : 1\n");
}

TEST(UlConf, ReadsEverySyntaxForm) {
  TempDir d;
  WriteFixture(d);
  Conf c = NewConf();
  CaptureFd err(2);
  ASSERT_EQ(1, ul_readconf_ex(d.path().c_str(), "main.conf", c.get()));
  std::string log = err.Stop();

  EXPECT_EQ("value1", Get(c.get(), "name1"));
  EXPECT_EQ("value2", Get(c.get(), "name2"));
  EXPECT_EQ("value3", Get(c.get(), "name3"));
  EXPECT_EQ("value4", Get(c.get(), "name4"));
  EXPECT_EQ("blanks", Get(c.get(), "lead"));
  EXPECT_EQ(": b", Get(c.get(), "a"));
  EXPECT_EQ("", Get(c.get(), "empty"));
  EXPECT_EQ("first", Get(c.get(), "dup"));
  EXPECT_EQ("<missing>", Get(c.get(), "longval"));
  EXPECT_EQ("w", Get(c.get(), "wide"));
  EXPECT_EQ("long", Get(c.get(), "after"));
  EXPECT_EQ("v", Get(c.get(), "last"));
  EXPECT_EQ("1", Get(c.get(), "incitem"));         // one include level ...
  EXPECT_EQ("<missing>", Get(c.get(), "deep"));    // ... and not two
  EXPECT_EQ("\"inc.conf\"", Get(c.get(), "$INCLUDE"));  // the item itself stays
  // Items keep file order, the included ones after the main file's.
  EXPECT_STREQ("incitem", c->item[c->num - 2].name);
  EXPECT_STREQ("$include", c->item[c->num - 1].name);

  const std::string path = d.file("main.conf");
  for (int line : {11, 12, 13, 16}) {
    EXPECT_TRUE(Has(log, "[readconf] line (" + std::to_string(line) + ") in conf file (" + path +
                             ") error"))
        << line << "\n" << log;
  }
  EXPECT_FALSE(Has(log, "line (17)"));
  EXPECT_FALSE(Has(log, "line (18)"));
  EXPECT_TRUE(Has(log, "FATAL: "));
  EXPECT_TRUE(Has(log, "[readconf] error: can't read conf[" + d.file("missing.conf") + "]"));

  // Bounded string getter: cut to size - 1, nothing written for size 0.
  char small[4];
  EXPECT_EQ(1, ul_getconfnstr(c.get(), "name1", small, sizeof(small)));
  EXPECT_STREQ("val", small);
  char none = 'q';
  EXPECT_EQ(1, ul_getconfnstr(c.get(), "name1", &none, 0));
  EXPECT_EQ('q', none);
  char whole[UL_CONF_WORD_SIZE];
  EXPECT_EQ(1, ul_getconfstr(c.get(), "name2", whole));
  EXPECT_STREQ("value2", whole);
  EXPECT_EQ(0, ul_getconfstr(c.get(), "nope", whole));
  EXPECT_EQ(0, ul_getconfnstr(static_cast<const Ul_confdata*>(nullptr), "x", whole, 4));
  EXPECT_EQ(8, ul_geterrno());
}

TEST(UlConf, NumberParsing) {
  TempDir d;
  WriteFixture(d);
  Conf c = NewConf();
  CaptureFd err(2);
  ASSERT_EQ(1, ul_readconf(d.path().c_str(), "main.conf", c.get()));
  err.Stop();
  const Ul_confdata* cc = c.get();
  int v = 77;
  EXPECT_EQ(1, ul_getconfint(cc, "num0", &v));
  EXPECT_EQ(0, v);
  EXPECT_EQ(1, ul_getconfint(cc, "num8", &v));
  EXPECT_EQ(8, v);
  EXPECT_EQ(1, ul_getconfint(cc, "hex", &v));
  EXPECT_EQ(31, v);
  v = 77;
  EXPECT_EQ(0, ul_getconfint(cc, "HEX", &v));  // upper-case X is not hexadecimal
  EXPECT_EQ(77, v);
  EXPECT_EQ(0, ul_getconfint(cc, "bad8", &v));
  EXPECT_EQ(77, v);
  EXPECT_EQ(1, ul_getconfint(cc, "neg", &v));
  EXPECT_EQ(-3, v);
  EXPECT_EQ(1, ul_getconfint(cc, "partial", &v));
  EXPECT_EQ(12, v);
  v = 77;
  EXPECT_EQ(0, ul_getconfint(cc, "word", &v));
  EXPECT_EQ(0, ul_getconfint(cc, "missing", &v));
  EXPECT_EQ(77, v);

  unsigned int u = 0;
  EXPECT_EQ(1, ul_getconfuint(c.get(), "hex", &u));
  EXPECT_EQ(31u, u);
  long long ll = 0;
  EXPECT_EQ(1, ul_getconfint64(c.get(), "big64", &ll));
  EXPECT_EQ(-9000000000LL, ll);
  unsigned long long ull = 0;
  EXPECT_EQ(1, ul_getconfuint64(c.get(), "u64", &ull));
  EXPECT_EQ(~0ULL, ull);
  float f = 0;
  EXPECT_EQ(1, ul_getconffloat(c.get(), "flt", &f));
  EXPECT_FLOAT_EQ(2.5f, f);
  EXPECT_EQ(1, ul_getconffloat(c.get(), "word", &f));  // non-numeric text is 0.0
  EXPECT_EQ(0.0f, f);
  EXPECT_EQ(0, ul_getconffloat(c.get(), "missing", &f));
}

// A line longer than the reader's buffer is one line: the tail of a long
// comment is no item, a value cut by the buffer is an error, and the lines
// after it keep their numbers.
TEST(UlConf, OverLongLinesStayOneLine) {
  TempDir d;
  const std::string fill(4094 - 2, 'c');  // "# " + fill fills the buffer exactly
  WriteFile(d.file("long.conf"),
            "# " + fill + "tail : item\n"                      // 1: the tail is still comment
            "key : " + std::string(4090, 'v') + "x : y\n"      // 2: a cut value
            "# " + fill.substr(1) + "\n"                       // 3: one byte short of the buffer
            "bad line\n"                                       // 4
            "ok : 1\n");                                       // 5
  Conf c = NewConf();
  CaptureFd err(2);
  ASSERT_EQ(1, ul_readconf(d.path().c_str(), "long.conf", c.get()));
  const std::string log = err.Stop();
  EXPECT_EQ(1, c->num);
  EXPECT_EQ("<missing>", Get(c.get(), "tail"));
  EXPECT_EQ("<missing>", Get(c.get(), "key"));
  EXPECT_EQ("1", Get(c.get(), "ok"));
  const std::string path = d.file("long.conf");
  EXPECT_TRUE(Has(log, "[readconf] line (2) in conf file (" + path + ") error")) << log;
  EXPECT_TRUE(Has(log, "[readconf] line (4) in conf file (" + path + ") error")) << log;
  EXPECT_FALSE(Has(log, "line (1)"));
  EXPECT_FALSE(Has(log, "line (3)"));
  EXPECT_FALSE(Has(log, "line (5)"));
}

// A number outside its type's range is an error with a log line, never a
// wrapped value; the limits themselves read.
TEST(UlConf, NumbersOutOfRangeAreErrors) {
  TempDir d;
  WriteFile(d.file("n.conf"),
            "imax : 2147483647\nimax1 : 2147483648\nimin : -2147483648\nimin1 : -2147483649\n"
            "umax : 4294967295\numax1 : 4294967296\nuneg : -4294967296\nhex32 : 0xffffffff\n"
            "hex33 : 0x100000000\noct : 037777777777\noct1 : 040000000000\n"
            "llmax : 9223372036854775807\nllmax1 : 9223372036854775808\n"
            "ullmax : 18446744073709551615\nullmax1 : 18446744073709551616\n");
  Conf c = NewConf();
  CaptureFd err(2);
  ASSERT_EQ(1, ul_readconf(d.path().c_str(), "n.conf", c.get()));
  const Ul_confdata* cc = c.get();
  int i = 7;
  EXPECT_EQ(1, ul_getconfint(cc, "imax", &i));
  EXPECT_EQ(INT_MAX, i);
  EXPECT_EQ(1, ul_getconfint(cc, "imin", &i));
  EXPECT_EQ(INT_MIN, i);
  EXPECT_EQ(1, ul_getconfint(cc, "hex32", &i));  // hexadecimal gives the bits
  EXPECT_EQ(-1, i);
  EXPECT_EQ(1, ul_getconfint(cc, "oct", &i));
  EXPECT_EQ(-1, i);
  i = 7;
  for (const char* name : {"imax1", "imin1", "hex33", "oct1"}) {
    EXPECT_EQ(0, ul_getconfint(cc, name, &i)) << name;
    EXPECT_EQ(7, i) << name;
  }
  unsigned int u = 7;
  EXPECT_EQ(1, ul_getconfuint(cc, "umax", &u));
  EXPECT_EQ(UINT_MAX, u);
  u = 7;
  EXPECT_EQ(0, ul_getconfuint(cc, "umax1", &u));
  EXPECT_EQ(0, ul_getconfuint(cc, "uneg", &u));  // -4294967296: its magnitude does not fit
  EXPECT_EQ(7u, u);
  long long ll = 7;
  EXPECT_EQ(1, ul_getconfint64(cc, "llmax", &ll));
  EXPECT_EQ(LLONG_MAX, ll);
  EXPECT_EQ(0, ul_getconfint64(cc, "llmax1", &ll));
  unsigned long long ull = 7;
  EXPECT_EQ(1, ul_getconfuint64(cc, "ullmax", &ull));
  EXPECT_EQ(ULLONG_MAX, ull);
  EXPECT_EQ(0, ul_getconfuint64(cc, "ullmax1", &ull));
  EXPECT_EQ(ULLONG_MAX, ull);
  const std::string log = err.Stop();
  EXPECT_TRUE(Has(log, "[getconf] the value (2147483648) of (imax1) is out of range")) << log;
  EXPECT_TRUE(Has(log, "[getconf] the value (-4294967296) of (uneg) is out of range")) << log;
}

// The unsigned getters read a leading minus the way the C library's unsigned
// conversions do: the magnitude, which must fit the type, negated modulo 2^N.
// So "-1" is the type's largest value (files use it for "no limit"), "-MAX" is
// 1, and "-(MAX + 1)" is out of range like "MAX + 1".
TEST(UlConf, UnsignedValuesTakeALeadingMinusAsNegationOfTheMagnitude) {
  TempDir d;
  WriteFile(d.file("n.conf"),
            "m1 : -1\nm0 : -0\nmu : -4294967295\nmu1 : -4294967296\n"
            "mull : -18446744073709551615\nmull1 : -18446744073709551616\n"
            "hexm1 : 0x-1\noctm1 : 0-1\nsign : -\n");
  WriteFile(d.file("dict.n"), "u : -1\nu64 : -1\n");
  Conf c = NewConf();
  CaptureFd err(2);
  ASSERT_EQ(1, ul_readconf(d.path().c_str(), "n.conf", c.get()));
  const Ul_confdata* cc = c.get();
  const struct {
    const char* name;
    int read32;
    unsigned int u32;
    int read64;
    unsigned long long u64;
  } rows[] = {
      {"m1", 1, UINT_MAX, 1, ULLONG_MAX},
      {"m0", 1, 0, 1, 0},
      {"mu", 1, 1, 1, 18446744069414584321ULL},  // the 32-bit limit as a magnitude
      {"mu1", 0, 7, 1, 18446744069414584320ULL},  // one past it
      {"mull", 0, 7, 1, 1},                       // the 64-bit limit as a magnitude
      {"mull1", 0, 7, 0, 7},                      // one past it
      {"hexm1", 1, UINT_MAX, 1, ULLONG_MAX},      // the hexadecimal and octal forms alike
      {"octm1", 1, UINT_MAX, 1, ULLONG_MAX},
      {"sign", 0, 7, 0, 7},                       // a sign without digits is no number
  };
  for (const auto& r : rows) {
    unsigned int u = 7;
    EXPECT_EQ(r.read32, ul_getconfuint(cc, r.name, &u)) << r.name;
    EXPECT_EQ(r.u32, u) << r.name;
    unsigned long long ull = 7;
    EXPECT_EQ(r.read64, ul_getconfuint64(cc, r.name, &ull)) << r.name;
    EXPECT_EQ(r.u64, ull) << r.name;
  }
  // The signed getters read the hexadecimal and octal forms as the bits of
  // the unsigned value: a negated one too.
  int i = 7;
  EXPECT_EQ(1, ul_getconfint(cc, "hexm1", &i));
  EXPECT_EQ(-1, i);
  // The numbers-file readers go through the same getters.
  unsigned int u = 7;
  EXPECT_EQ(1, ul_readnum_oneuint(d.path().c_str(), "dict", "u", &u));
  EXPECT_EQ(UINT_MAX, u);
  unsigned long long ull = 7;
  EXPECT_EQ(1, ul_kreadnum_oneuint64(d.path().c_str(), "dict", "u64", &ull));
  EXPECT_EQ(ULLONG_MAX, ull);
  const std::string log = err.Stop();
  EXPECT_TRUE(Has(log, "[getconf] the value (-18446744073709551616) of (mull1) is out of range")) << log;
  EXPECT_FALSE(Has(log, "of (m1)")) << log;
  EXPECT_FALSE(Has(log, "of (sign)")) << log;
}

TEST(UlConf, WriteAndReadBack) {
  TempDir d;
  WriteFixture(d);
  Conf c = NewConf();
  CaptureFd err(2);
  ASSERT_EQ(1, ul_readconf_ex(d.path().c_str(), "main.conf", c.get()));
  ASSERT_EQ(1, ul_writeconf(d.path().c_str(), "out.conf", c.get()));
  Conf back = NewConf();
  ASSERT_EQ(1, ul_readconf(d.path().c_str(), "out.conf", back.get()));
  err.Stop();
  ASSERT_EQ(c->num, back->num);
  for (int i = 0; i < c->num; ++i) {
    EXPECT_STREQ(c->item[i].name, back->item[i].name);
    EXPECT_STREQ(c->item[i].value, back->item[i].value);
  }
  // Both duplicates are written, in order.
  std::string text = ReadFile(d.file("out.conf"));
  EXPECT_TRUE(Has(text, "dup : first\ndup : second\n"));

  // A name that is not one token is left out; an empty table is refused.
  Conf odd = NewConf();
  ASSERT_EQ(1, ul_addconfstr(odd.get(), "two words", "x"));
  ASSERT_EQ(1, ul_addconfstr(odd.get(), "ok", "y"));
  CaptureFd err2(2);
  EXPECT_EQ(1, ul_writeconf(d.path().c_str(), "odd.conf", odd.get()));
  Conf empty = NewConf();
  EXPECT_EQ(-1, ul_writeconf(d.path().c_str(), "empty.conf", empty.get()));
  EXPECT_EQ(-1, ul_writeconf(nullptr, "x", odd.get()));
  std::string log = err2.Stop();
  EXPECT_EQ("ok : y\n", ReadFile(d.file("odd.conf")));
  EXPECT_TRUE(Has(log, "[writeconf] var's name (two words) error"));
  EXPECT_TRUE(Has(log, "[writeconf] var's num (0) size(1024) error"));
  EXPECT_TRUE(Has(log, "[writeconf] invalid param"));
}

std::string Items(int n, int from = 0) {
  std::string s;
  for (int i = from; i < from + n; ++i) s += "k" + std::to_string(i) + " : " + std::to_string(i) + "\n";
  return s;
}

TEST(UlConf, CapacityAndEarlyExits) {
  TempDir d;
  const char* dir = d.path().c_str();
  WriteFile(d.file("1024.conf"), Items(1024) + "# trailing comment\n\n");
  WriteFile(d.file("1025.conf"), Items(1025));
  WriteFile(d.file("longname.conf"),
            Items(3) + std::string(2100, 'n') + " : v\n" + Items(2, 3));
  WriteFile(d.file("nonl.conf"), "a : 1\nk :");

  Conf c = NewConf(1);
  EXPECT_EQ(1024, c->size);
  const int fds = OpenFds();
  EXPECT_EQ(1, ul_readconf(dir, "1024.conf", c.get()));
  EXPECT_EQ(1024, c->num);
  EXPECT_EQ(-1, ul_readconf(dir, "1025.conf", c.get()));
  EXPECT_EQ(1024, c->num);  // what was stored is counted
  EXPECT_EQ("1023", Get(c.get(), "k1023"));
  EXPECT_EQ(-1, ul_readconf(dir, "longname.conf", c.get()));
  EXPECT_EQ(3, c->num);
  EXPECT_EQ(fds, OpenFds());  // the early exits closed the file

  CaptureFd err(2);
  EXPECT_EQ(1, ul_readconf(dir, "nonl.conf", c.get()));
  EXPECT_EQ(-1, ul_readconf(dir, "none.conf", c.get()));
  EXPECT_EQ(-1, ul_readconf(dir, ".", c.get()));
  std::string log = err.Stop();
  EXPECT_EQ(1, c->num);
  EXPECT_TRUE(Has(log, "[readconf] line (2) in conf file (" + d.file("nonl.conf") + ") error"));
  EXPECT_TRUE(Has(log, "[readconf] file (" + d.file("none.conf") +
                           ") not found or not linked to a regular file"));
  EXPECT_EQ(-1, ul_readconf(nullptr, "x", c.get()));
  EXPECT_EQ(8, ul_geterrno());
}

TEST(UlConf, AddersAndModifiers) {
  Conf c = NewConf();
  Ul_confdata* p = c.get();
  EXPECT_EQ(-4, ul_addconfstr(nullptr, "a", "b"));
  EXPECT_EQ(-1, ul_addconfstr(p, std::string(2048, 'n').c_str(), "b"));
  EXPECT_EQ(8, ul_geterrno());
  EXPECT_EQ(-3, ul_addconfstr(p, "s", std::string(2048, 'v').c_str()));
  EXPECT_EQ(0, p->num);
  EXPECT_EQ(1, ul_addconfstr(p, "s", "text"));
  EXPECT_EQ(0, ul_addconfstr(p, "s", "other"));
  EXPECT_EQ(1, ul_addconfint(p, "i", -5));
  EXPECT_EQ(1, ul_addconfuint(p, "u", 4000000000u));
  EXPECT_EQ(1, ul_addconfint64(p, "i64", -1099511627776LL));
  EXPECT_EQ(1, ul_addconfuint64(p, "u64", ~0ULL));
  EXPECT_EQ(1, ul_addconffloat(p, "f", 1.5f));
  EXPECT_EQ("text", Get(p, "s"));
  EXPECT_EQ("-5", Get(p, "i"));
  EXPECT_EQ("4000000000", Get(p, "u"));
  EXPECT_EQ("-1099511627776", Get(p, "i64"));
  EXPECT_EQ("18446744073709551615", Get(p, "u64"));
  EXPECT_EQ("1.500000", Get(p, "f"));

  EXPECT_EQ(1, ul_modifyconfstr(p, "s", "new"));
  EXPECT_EQ(0, ul_modifyconfstr(p, "nope", "new"));
  EXPECT_EQ(-3, ul_modifyconfstr(p, "s", std::string(2048, 'v').c_str()));
  EXPECT_EQ(-1, ul_modifyconfstr(nullptr, "s", "x"));
  EXPECT_EQ(1, ul_modifyconfint(p, "i", 7));
  EXPECT_EQ(1, ul_modifyconfuint(p, "u", 8));
  EXPECT_EQ(1, ul_modifyconfint64(p, "i64", 9));
  EXPECT_EQ(1, ul_modifyconfuint64(p, "u64", 10));
  EXPECT_EQ(1, ul_modifyconffloat(p, "f", 0.25f));
  EXPECT_EQ(0, ul_modifyconfint(nullptr, "i", 1));
  EXPECT_EQ("new", Get(p, "s"));
  EXPECT_EQ("7", Get(p, "i"));
  EXPECT_EQ("10", Get(p, "u64"));
  EXPECT_EQ("0.250000", Get(p, "f"));

  while (p->num < p->size) ASSERT_EQ(1, ul_addconfint(p, ("n" + std::to_string(p->num)).c_str(), 1));
  EXPECT_EQ(-2, ul_addconfstr(p, "more", "x"));
  EXPECT_EQ(1, ul_geterrno());
  EXPECT_STREQ("can't add any more", ul_geterrstr(1));
  EXPECT_EQ(-2, ul_addconfstr(p, "s", "x"));  // full is tested before presence
}

TEST(UlConf, NumberFiles) {
  TempDir d;
  const char* dir = d.path().c_str();
  ASSERT_EQ(1, ul_writenum_init(dir, "dict"));
  EXPECT_EQ(1, ul_writenum_oneint(dir, "dict", "hash_num", 100));
  EXPECT_EQ(1, ul_writenum_oneuint(dir, "dict", "u", 4000000000u));
  EXPECT_EQ(1, ul_writenum_oneint64(dir, "dict", "i64", -1099511627776LL));
  EXPECT_EQ(1, ul_writenum_oneuint64(dir, "dict", "u64", ~0ULL));
  EXPECT_EQ(1, ul_writenum_onefloat(dir, "dict", "f", 0.5f));
  const std::string before = ReadFile(d.file("dict.n"));
  EXPECT_EQ("hash_num : 100\nu : 4000000000\ni64 : -1099511627776\nu64 : 18446744073709551615\n"
            "f : 0.500000\n",
            before);
  CaptureFd err(2);
  EXPECT_EQ(-2, ul_writenum_oneint(dir, "dict", "a b", 1));
  EXPECT_EQ(-3, ul_writenum_oneint(nullptr, "dict", "x", 1));
  EXPECT_EQ(-1, ul_writenum_oneint((d.path() + "/nodir").c_str(), "dict", "x", 1));
  EXPECT_EQ(9, ul_geterrno());
  EXPECT_EQ(before, ReadFile(d.file("dict.n")));

  int v = 0;
  EXPECT_EQ(1, ul_readnum_oneint(dir, "dict", "hash_num", &v));
  EXPECT_EQ(100, v);
  unsigned int u = 0;
  EXPECT_EQ(1, ul_readnum_oneuint(dir, "dict", "u", &u));
  EXPECT_EQ(4000000000u, u);
  long long ll = 0;
  EXPECT_EQ(1, ul_readnum_oneint64(dir, "dict", "i64", &ll));
  EXPECT_EQ(-1099511627776LL, ll);
  unsigned long long ull = 0;
  EXPECT_EQ(1, ul_readnum_oneuint64(dir, "dict", "u64", &ull));
  EXPECT_EQ(~0ULL, ull);
  float f = 0;
  EXPECT_EQ(1, ul_kreadnum_onefloat(dir, "dict", "f", &f));
  EXPECT_EQ(0.5f, f);
  EXPECT_EQ(1, ul_kreadnum_oneint(dir, "dict", "hash_num", &v));
  EXPECT_EQ(0, ul_readnum_oneint(dir, "dict", "absent", &v));
  EXPECT_EQ(0, ul_readnum_oneint(dir, "nofile", "hash_num", &v));
  EXPECT_EQ(-1, ul_kreadnum_oneint(dir, "dict", "absent", &v));
  EXPECT_EQ(-1, ul_kreadnum_oneint(dir, "nofile", "hash_num", &v));

  // A value is read as from a table of 1024 items: the first of duplicates,
  // malformed lines reported, and a file that does not fit refused whole even
  // when the wanted item comes first.
  WriteFile(d.file("dup.n"), "bad line\nx : 0x10\nx : 2\n");
  EXPECT_EQ(1, ul_readnum_oneint(dir, "dup", "x", &v));
  EXPECT_EQ(16, v);
  WriteFile(d.file("over.n"), Items(1025));
  v = -7;
  EXPECT_EQ(0, ul_readnum_oneint(dir, "over", "k0", &v));
  EXPECT_EQ(-1, ul_kreadnum_oneint(dir, "over", "k0", &v));
  EXPECT_EQ(-7, v);
  WriteFile(d.file("full.n"), Items(1024) + "# end\n");
  EXPECT_EQ(1, ul_readnum_oneint(dir, "full", "k1023", &v));
  EXPECT_EQ(1023, v);
  std::string log = err.Stop();
  EXPECT_TRUE(Has(log, "[writeconf] var's name (a b) error"));
  EXPECT_TRUE(Has(log, "[kreadnum_one] have no (absent)."));
  EXPECT_FALSE(Has(log, "have no (k0)"));  // a refused file: only the reader speaks
  EXPECT_TRUE(Has(log, "[readconf] line (1) in conf file (" + d.file("dup.n") + ") error"));
  EXPECT_TRUE(Has(log, "[readconf] file (" + d.file("nofile.n") +
                           ") not found or not linked to a regular file"));
  EXPECT_FALSE(Has(log, "have no (hash_num)"));
}

// Writers on a file system that takes no more than 10 bytes (file-size
// limit in a child) report the lost lines.
TEST(UlConf, WritersReportAFullDisk) {
  TempDir d;
  int status = testsupport::RunInChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim = {10, 10};
    if (setrlimit(RLIMIT_FSIZE, &lim) != 0) return 10;
    const char* dir = d.path().c_str();
    if (ul_writenum_init(dir, "n") != 1) return 1;
    if (ul_writenum_oneint(dir, "n", "hash_num", 100) != -1) return 2;
    Conf c = NewConf();
    ul_addconfstr(c.get(), "name", "a value longer than the limit");
    if (ul_writeconf(dir, "out.conf", c.get()) != -1) return 3;
    return ul_geterrno() == 5 ? 0 : 4;
  });
  EXPECT_EQ(0, status);
}

}  // namespace
