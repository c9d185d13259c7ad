// Phrase dictionaries: building and index bytes, the word-boundary rule,
// longest match, GB2312 phrases and names (text made by iconv), hostile
// files, and the over-long phrase that ends the process.
#include <iconv.h>

#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "dict_test_util.h"
#include "gtest/gtest.h"
#include "support/support.h"
#include "ul_dict.h"

namespace {

using namespace dicttest;

// UTF-8 text in GB2312.
std::string Gb(const std::string& utf8) {
  iconv_t cd = iconv_open("GB2312", "UTF-8");
  std::string out(utf8.size() * 2, '\0');
  char* in = const_cast<char*>(utf8.data());
  char* o = &out[0];
  size_t inleft = utf8.size(), outleft = out.size();
  EXPECT_NE(static_cast<size_t>(-1), iconv(cd, &in, &inleft, &o, &outleft)) << utf8;
  iconv_close(cd);
  out.resize(out.size() - outleft);
  return out;
}

using Found = std::pair<int, std::string>;  // result and output
using Rows = std::vector<std::pair<std::string, Found>>;

// A look-up of a dictionary or of the surname table, into a large buffer.
template <typename D>
Found Call(int (*fn)(D, const char*, char*), std::common_type_t<D> d, const std::string& text) {
  std::string out(4 * text.size() + 64, 'x');
  const int n = fn(d, text.c_str(), &out[0]);
  return {n, out.c_str()};
}

// Rows whose texts (and outputs) are UTF-8, run in GB2312.
template <typename D>
void CheckGb(int (*fn)(D, const char*, char*), std::common_type_t<D> d, const Rows& rows) {
  for (const auto& [text, want] : rows) {
    EXPECT_EQ(Found(want.first, Gb(want.second)), Call(fn, d, Gb(text))) << text;
  }
}

using PhrasePtr = std::unique_ptr<Sdict_phrase, int (*)(Sdict_phrase*)>;
using CphrasePtr = std::unique_ptr<Sdict_cphrase, int (*)(Sdict_cphrase*)>;

// Buckets: "abc"/"abcde" 13184, "home" 71873.
TEST(DictPhrase, BuildKeepsTokensOfThreeBytesOrMore) {
  TempDir dir;
  WriteFile(dir.file("src"), "go home\n\tabc  abcde\r\n");
  CaptureFd err(2);
  ASSERT_EQ(0, dp_build(dir.path().c_str(), "src", "p"));
  EXPECT_EQ(1, CountOf(err.Stop(), "[dp_build] phrase(go) length <3"));
  EXPECT_EQ("abc\nabcde\nhome\n", ReadFile(dir.file("p.ind2")));
  const std::string ind1 = ReadFile(dir.file("p.ind1"));
  ASSERT_EQ(800008u, ind1.size());
  const std::vector<std::pair<int, std::string>> records = {
      {13183, Le32({0, 0})}, {13184, Le32({0, 2})}, {13185, Le32({10, 0})}, {71873, Le32({10, 1})}, {100000, Le32({15, 0})}};
  for (const auto& [bucket, rec] : records) EXPECT_EQ(rec, ind1.substr(8 * bucket, 8)) << bucket;
}

TEST(DictPhrase, SeekAndSearchKeepTheWordBoundary) {
  TempDir dir;
  WriteFile(dir.file("src"), "home abc abcde");
  ASSERT_EQ(0, dp_build(dir.path().c_str(), "src", "p"));
  PhrasePtr dp(dp_load(dir.path().c_str(), "p"), dp_del);
  ASSERT_NE(nullptr, dp);
  const std::string zhong = Gb("中");
  const Rows seek = {
      {"home abcd abc", {2, "home abc "}}, {"abc", {1, "abc "}},          {"abc,", {0, ""}},
      {"abcd", {0, ""}},                   {"abc\tx", {1, "abc "}},       {"abc" + zhong, {1, "abc "}},
      {"xabc", {1, "abc "}},               // no boundary before a phrase
      {"abcde", {1, "abcde "}},            // abc is followed by a letter
      {"\xB0" "abc", {0, ""}},             // a high byte takes the next byte with it
      {zhong + "abc", {1, "abc "}},        {"ab", {0, ""}},
  };
  for (const auto& [text, want] : seek) EXPECT_EQ(want, Call(dp_seek, dp.get(), text)) << text;
  const Rows search = {{"abcde fg", {1, "abcde"}}, {"abc def", {1, "abc"}}, {"abcd", {0, ""}},
                       {"xabc", {0, ""}},          {"ab", {0, ""}}};
  for (const auto& [text, want] : search) EXPECT_EQ(want, Call(dp_search, dp.get(), text)) << text;
}

// A phrase of 2047 bytes is kept; one of 2048 ends the process with -1.
TEST(DictPhrase, OverLongPhraseEndsTheProcess) {
  TempDir dir;
  const std::string longest(2047, 'q');
  WriteFile(dir.file("ok"), "abc " + longest);
  ASSERT_EQ(0, dp_build(dir.path().c_str(), "ok", "p"));
  PhrasePtr dp(dp_load(dir.path().c_str(), "p"), dp_del);
  EXPECT_EQ(Found(1, longest), Call(dp_search, dp.get(), longest));

  WriteFile(dir.file("long"), "abc " + std::string(2048, 'q') + " " + std::string(5000, 'r'));
  CaptureFd err(2);
  EXPECT_EQ(255, testsupport::RunInChild([&] { return dp_build(dir.path().c_str(), "long", "x") + 10; }));
  EXPECT_EQ(1, CountOf(err.Stop(), "[dp_build] phrase (" + std::string(100, 'q')));
  EXPECT_FALSE(testsupport::FileExists(dir.file("x.ind1")));
}

TEST(DictPhrase, MissingEmptyAndHostileFiles) {
  TempDir dir;
  const char* p = dir.path().c_str();
  CaptureFd err(2);
  EXPECT_EQ(-1, dp_build(p, "none", "p"));
  WriteFile(dir.file("empty"), "");
  EXPECT_EQ(0, dp_build(p, "empty", "e"));
  EXPECT_EQ("", ReadFile(dir.file("e.ind2")));
  EXPECT_EQ(2, CountOf(err.Stop(), "[dp_build] have no phrase"));

  WriteFile(dir.file("src"), "abc home");
  ASSERT_EQ(0, dp_build(p, "src", "p"));
  const std::string ind1 = ReadFile(dir.file("p.ind1"));
  // Buckets that claim phrases past the file or start before it are emptied.
  std::string bad = ind1;
  bad.replace(8 * 5, 8, Le32({3, 1000000}));
  bad.replace(8 * 6, 8, Le32({0xFFFFFFF0, 1}));
  WriteFile(dir.file("p.ind1"), bad);
  CaptureFd err2(2);
  PhrasePtr a(dp_load(p, "p"), dp_del);
  EXPECT_EQ(Found(2, "abc home "), Call(dp_seek, a.get(), "abc home"));
  EXPECT_EQ(0, a->hash[5].num);
  EXPECT_EQ(1, CountOf(err2.Stop(), "[dp_load] hash file does not match the phrase file"));
  // An index of the wrong size, then no phrases, then no index either.
  WriteFile(dir.file("p.ind1"), ind1.substr(8));
  CaptureFd err3(2);
  PhrasePtr b(dp_load(p, "p"), dp_del);
  std::remove(dir.file("p.ind2").c_str());
  PhrasePtr c(dp_load(p, "p"), dp_del);
  std::remove(dir.file("p.ind1").c_str());
  PhrasePtr d(dp_load(p, "p"), dp_del);
  const std::string log = err3.Stop();
  EXPECT_EQ(3, CountOf(log, "[dp_load] hash file num error"));
  EXPECT_EQ(1, CountOf(log, "[dp_load] open hash file error"));
  EXPECT_EQ(2, CountOf(log, "[dp_load] open phrase file error"));
  for (Sdict_phrase* x : {b.get(), c.get(), d.get()}) EXPECT_EQ(Found(0, ""), Call(dp_seek, x, "abc home"));
}

// Phrases sorted in byte order (啊 B0A1 in bucket 0, 人 C8CB, 王 CDF5, 中
// D6D0) with lines that have no bucket among them.
struct Chinese {
  Chinese() : cp(nullptr, dcp_del) {
    WriteFile(dir.file("ph"), "ab\n" + Gb("啊阿埃") + "\n" + Gb("人民") + "\n\n" + Gb("王小明") + "\nabc\n" + Gb("中国") +
                                  "\n" + Gb("中国人") + "\n");
    WriteFile(dir.file("sur"), Gb("王") + "\n" + Gb("张") + " abc\n");
    CaptureFd err(2);
    cp.reset(dcp_load(dir.path().c_str(), "ph", "sur"));
    log = err.Stop();
  }
  TempDir dir;
  CphrasePtr cp;
  std::string log;
};

TEST(DictCphrase, SeekFindsPhrasesAndNames) {
  Chinese c;
  ASSERT_NE(nullptr, c.cp);
  EXPECT_EQ(3, CountOf(c.log, "[dcp_load] phrase("));
  EXPECT_EQ(1, CountOf(c.log, "[dsur_load] surname(abc) in(sur)error"));
  CheckGb(dcp_seek, c.cp.get(),
          {{"中国人民", {3, "中国 中国人 人民 "}},
           {"王小明", {1, "王小明 "}},  // the name, not the same six bytes again as a phrase
           {"张三丰人民", {2, "张三丰 人民 "}},
           {"王小", {0, ""}},  // four bytes: no room for a name
           {"中国", {1, "中国 "}},
           {"啊阿埃", {1, "啊阿埃 "}},
           {"uvwxyzuv", {0, ""}}});
}

TEST(DictCphrase, SearchSegmentsIntoOverlappingUnits) {
  Chinese c;
  ASSERT_NE(nullptr, c.cp);
  CheckGb(dcp_search, c.cp.get(),
          {{"中国人民", {2, "中国人 人民 "}},  // the last matching phrase of a bucket
           {"王小明", {1, "王小明 "}},
           {"王大明", {1, "王大明 "}},  // a name when no phrase starts there
           {"大人民", {2, "大人 人民 "}},  // else two characters
           {"啊阿埃", {1, "啊阿埃 "}},  // bucket 0
           {"abcd", {1, "abcd "}},  // under five bytes: the text itself
           {"abcde", {1, "abcd "}},
           {"", {1, " "}},
           {"uvwxyzuv", {3, "uvwx wxyz yzuv "}}});
}

// A three-byte phrase still moves the walk on by a whole character.
TEST(DictCphrase, OddPhraseKeepsTheWalkOnCharacters) {
  TempDir dir;
  const std::string odd = Gb("中国").substr(0, 3);
  WriteFile(dir.file("ph"), odd + "\n");
  CaptureFd err(2);
  CphrasePtr cp(dcp_load(dir.path().c_str(), "ph", "none"), dcp_del);
  ASSERT_NE(nullptr, cp);
  EXPECT_EQ(Found(3, odd + " " + Gb("国人 人民 ")), Call(dcp_search, cp.get(), Gb("中国人民")));
  EXPECT_EQ(Found(1, odd + " "), Call(dcp_seek, cp.get(), Gb("中国人民")));
  EXPECT_EQ(nullptr, dcp_load(dir.path().c_str(), "none", "none"));
  EXPECT_EQ(1, CountOf(err.Stop(), "[dcp_load] stat error"));
}

TEST(DictSurname, NamesAreThreeGbCharactersAfterASurname) {
  TempDir dir;
  WriteFile(dir.file("sur"), Gb("王 张") + " " + std::string(10000, 'w') + "\r\xB0x\n");
  CaptureFd err(2);
  char* table = dsur_load(dir.path().c_str(), "sur");
  const std::string log = err.Stop();
  EXPECT_EQ(1, CountOf(log, "[dsur_load] surname(" + std::string(255, 'w') + ") in(sur)error"));
  EXPECT_EQ(1, CountOf(log, "[dsur_load] surname(\xB0x) in(sur)error"));
  ASSERT_NE(nullptr, table);
  EXPECT_EQ(1, table['w' * 256 + 'w']);
  CheckGb(dsur_seek, table,
          {{"王小明", {1, "王小明 "}}, {"王ab明", {0, ""}}, {"x王小明", {1, "王小明 "}},
           {"王小明张大伟", {2, "王小明 张大伟 "}}, {"王小", {0, ""}}});
  const Rows raw = {{"ab\xB0", {0, ""}},
                    {"\x80" + Gb("王小明"), {0, ""}},  // 0x80 is a high byte: the walk misses 王
                    {Gb("王") + "\xD0" "a" + Gb("明"), {0, ""}}};
  for (const auto& [text, want] : raw) EXPECT_EQ(want, Call(dsur_seek, table, text)) << text;
  EXPECT_EQ(Found(1, Gb("王小明 ")), Call(dsur_search, table, Gb("王小明人")));
  EXPECT_EQ(Found(0, ""), Call(dsur_search, table, Gb("x王小明")));
  EXPECT_EQ(1, dsur_del(table));
  CaptureFd err2(2);
  EXPECT_EQ(nullptr, dsur_load(dir.path().c_str(), "none"));
  err2.Stop();
}

}  // namespace
