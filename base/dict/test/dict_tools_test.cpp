// Index tools on dictionaries and status files the tests write: weights from
// document counts and frequencies, the clamps, generation files, the cut of
// creat_stand_dict, and ds_filter's sample.
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "dict_test_util.h"
#include "gtest/gtest.h"
#include "support/support.h"
#include "ul_conf.h"
#include "ul_dict.h"

namespace {

using namespace dicttest;

u_int Pack(u_int weight, u_int freq) { return (weight << 25) | (freq & 0x1FFFFFF); }

// A working folder with status/, raw/ and freq/.
struct Work {
  Work() {
    for (const char* d : {"status", "raw", "freq"}) mkdir(dir.file(d).c_str(), 0755);
  }
  const char* p() const { return dir.path().c_str(); }
  void Status(const char* file, const char* key, int value) {
    ul_writenum_init(p(), file);
    ul_writenum_oneint(p(), file, key, value);
  }
  // Saves keys (sign1 = i + 1) with other others[i] and code i (or
  // codes[i]); hash_num 1 keeps the record order the reverse of the list.
  void Save(const char* name, const std::vector<u_int>& others, int cur_code, int hash_num = 7,
            const std::vector<int>& codes = {}) {
    DictPtr d(db_creat(hash_num, cur_code));
    for (size_t i = 0; i < others.size(); ++i) {
      Op(d.get(), ADD, static_cast<u_int>(i + 1), 0, codes.empty() ? static_cast<int>(i) : codes[i], others[i]);
    }
    ASSERT_EQ(1, db_save(d.get(), p(), name));
  }
  // {code, other} of key i (sign1 = i + 1) in a saved dictionary.
  std::vector<CodeOther> Read(const char* name, int keys) {
    std::vector<CodeOther> r;
    Sdict_search* sd = ds_load(p(), name);
    EXPECT_NE(nullptr, sd) << name;
    if (sd == nullptr) return r;
    for (int i = 0; i < keys; ++i) {
      Sdict_snode n{static_cast<u_int>(i + 1), 0, 0, 0};
      ds_op1(sd, &n, SEEK);
      r.push_back(CO(n));
    }
    ds_del(sd);
    return r;
  }
  TempDir dir;
};

std::string Progress(const std::string& label, int total, int done) {
  return std::string(70, '\b') + label + " : " + std::to_string(done) + "/" + std::to_string(total);
}

TEST(DictTools, Log8CountsOctalDigits) {
  const std::vector<std::pair<u_int, int>> rows = {{0, 0}, {1, 1}, {7, 1}, {8, 2}, {63, 2},
                                                   {64, 3}, {1000, 4}, {0xFFFFFFFFu, 11}};
  for (const auto& [v, digits] : rows) EXPECT_EQ(digits, get_log8(v)) << v;
}

// Weight = log8(documents) - log8(f) + 1, kept to 1..10.
TEST(DictTools, SearchDictWeightsFromAFrequencyFile) {
  Work w;
  w.Save("d", {0, 0, 0, 0, 0, 5}, 5, 7, {0, 1, 2, 3, 4, 9});
  WriteFile(w.dir.file("freq/f"), Le32({1, 1000, 0, 4096, 0x2000001}));
  w.Status("status/url", "url_num", 1000);  // 4 octal digits
  CaptureFd err(2);
  EXPECT_EQ(1, creat_search_dict(w.p(), "d", "out", "freq/f"));
  EXPECT_EQ(2, CountOf(err.Stop(), "[creat_search_dict] itf <= 0"));
  // A code past cur_code has no frequency.
  EXPECT_EQ((std::vector<CodeOther>{{0, Pack(4, 1)}, {1, Pack(1, 1000)}, {2, Pack(5, 0)},
                                    {3, Pack(1, 4096)}, {4, Pack(1, 1)}, {9, Pack(5, 0)}}),
            w.Read("out", 6));

  w.Status("status/url", "url_num", 134217728);  // 10 octal digits: 11 and 10 for f 0 and 1
  WriteFile(w.dir.file("freq/f"), Le32({0, 1, 1, 1, 1}));
  CaptureFd err2(2);
  EXPECT_EQ(1, creat_search_dict(w.p(), "d", "out", "freq/f"));
  EXPECT_EQ(2, CountOf(err2.Stop(), "[creat_search_dict] itf <= 0"));  // codes 0 and 9
  EXPECT_EQ(Pack(10, 0), w.Read("out", 2)[0].second);
  EXPECT_EQ(Pack(10, 1), w.Read("out", 2)[1].second);
}

// Generations are summed; a missing one is skipped, a short one adds only
// what it holds. The weight is stored unclamped, in its low 7 bits.
TEST(DictTools, PreCreatSumsGenerationsAndShowsProgress) {
  Work w;
  w.Save("d", {0, 0, 0, 0, 0, 0}, 6);
  w.Status("status/dbfreq.cur", "cur_dbfreq", 3);
  w.Status("status/dsfreq.cur", "cur_dsfreq", 1);
  w.Status("status/url", "url_num", 64);  // 3 octal digits
  WriteFile(w.dir.file("freq/db.0"), Le32({1, 2, 3, 0x7FFFFFF0, 1000, 4096}));
  WriteFile(w.dir.file("freq/db.2"), Le32({10}));
  WriteFile(w.dir.file("freq/ds.0"), Le32({100, 0, 0, 0xF, 0, 0, 999}));
  CaptureFd out(1), err(2);
  EXPECT_EQ(1, pre_creat_search_dict(w.p(), "d", "out", "freq/db", "freq/ds"));
  EXPECT_EQ(Progress("dbfreq", 3, 0) + Progress("dbfreq", 3, 1) + Progress("dbfreq", 3, 2) +
                Progress("dbfreq", 3, 3) + "\n" + Progress("dsfreq", 1, 0) + Progress("dsfreq", 1, 1) + "\n",
            out.Stop());
  EXPECT_EQ(2, CountOf(err.Stop(), "[creat_search_dict] itf < 0"));
  // 0x7FFFFFFF has 11 octal digits: weight -7, stored as 121. A weight of 0
  // passes quietly, one of -1 is stored as 127 with the warning.
  EXPECT_EQ((std::vector<CodeOther>{{0, Pack(1, 111)}, {1, Pack(3, 2)}, {2, Pack(3, 3)},
                                    {3, Pack(121, 0x7FFFFFFF)}, {4, Pack(0, 1000)}, {5, Pack(127, 4096)}}),
            w.Read("out", 6));
}

TEST(DictTools, ViceDictKeepsMainWeightsAndClampsTheRest) {
  Work w;
  w.Save("main", {Pack(7, 5)}, 1);
  w.Save("vice", {0, 0, 0, 0, 0, 0, 0}, 7);  // key 1 shared with main
  WriteFile(w.dir.file("freq/v"), Le32({30, 0, 0xFFFFFFF, 512, 64, 8, 7}));
  w.Status("raw/url", "cur_code", 64);
  CaptureFd out(1), err(2);
  EXPECT_EQ(1, creat_vice_dict(w.p(), "main", "vice", "out", "freq/v"));
  EXPECT_EQ("[creat_vice_dict] gi url_num (64)\n", out.Stop());
  std::string log = err.Stop();
  EXPECT_EQ(1, CountOf(log, "have no the dict of gi"));
  EXPECT_EQ(0, CountOf(log, "have no the url.n of gi"));
  EXPECT_EQ(1, CountOf(log, "[creat_vice_dict] idf(-6)<=0, num(268435455)"));
  EXPECT_EQ(1, CountOf(log, "[creat_vice_dict] idf(0)<=0, num(512)"));  // 0 is raised to 1, 1 kept
  EXPECT_EQ(2, CountOf(log, "[creat_vice_dict] idf("));
  EXPECT_EQ((std::vector<CodeOther>{{0, Pack(7, 30)}, {1, Pack(4, 0)}, {2, Pack(1, 0xFFFFFFF)}, {3, Pack(1, 512)},
                                    {4, Pack(1, 64)}}),
            w.Read("out", 5));

  w.Status("raw/url", "cur_code", 0x7FFFFFFF);  // 11 digits: weight 12 for f 0
  CaptureFd out2(1), err2(2);
  EXPECT_EQ(1, creat_vice_dict(w.p(), "main", "vice", "out", "freq/v"));
  out2.Stop();
  log = err2.Stop();
  EXPECT_EQ(1, CountOf(log, "[creat_vice_dict] idf(12)>10, num(0)"));
  EXPECT_EQ(1, CountOf(log, "[creat_vice_dict] idf(11)>10, num(7)"));  // 11 is lowered to 10, 10 kept
  EXPECT_EQ(2, CountOf(log, "[creat_vice_dict] idf("));
  const std::vector<CodeOther> got = w.Read("out", 7);
  EXPECT_EQ(Pack(10, 0), got[1].second);
  EXPECT_EQ(Pack(10, 8), got[5].second);
  EXPECT_EQ(Pack(10, 7), got[6].second);
}

TEST(DictTools, ParserDictTakesWeightBytes) {
  Work w;
  w.Save("d", {9, 9, 9, 9}, 3, 7, {0, 1, 2, 5});
  WriteFile(w.dir.file("freq/w"), std::string("\x03\xFF\x80", 3));
  EXPECT_EQ(1, creat_parser_dict(w.p(), "d", "out", "freq/w"));
  EXPECT_EQ((std::vector<CodeOther>{{0, Pack(3, 0)}, {1, Pack(0x7F, 0)}, {2, 0}, {5, 0}}), w.Read("out", 4));
  CaptureFd err(2);
  EXPECT_EQ(-3, creat_parser_dict(w.p(), "d", "out", "freq/none"));
  err.Stop();
}

// Records in file order: frequencies 5, 9, 5, 0, 10000, 7, 9999, 0 (classes
// cap at 9999; frequency 0 is never cut, so lw 7 keeps all eight).
TEST(DictTools, StandDictCutsAtTheClassThatReachesLw) {
  Work w;
  w.Save("d", {0, 9999, 7, 10000, 0, 5, 9, 5}, 7, 1);  // one bucket: record order reversed
  const std::vector<u_int> all = {5, 9, 5, 1, 10000, 7, 9999, 1};  // frequency 0 enters as 1
  struct Row {
    int lw, cut;
    std::vector<u_int> kept;  // frequencies kept, in record order
  };
  const std::vector<Row> rows = {{0, 9999, {}},        {1, 9999, {10000}},          {2, 9999, {10000, 9999}},
                                 {3, 9, {9, 10000, 9999}}, {4, 7, {9, 10000, 7, 9999}}, {6, 5, {5, 9, 5, 10000, 7, 9999}},
                                 {7, 0, all},          {8, 0, all},                 {100, 0, all}};
  for (const Row& row : rows) {
    CaptureFd err(2);
    EXPECT_EQ(row.cut, creat_stand_dict(w.p(), "d", "out", row.lw)) << row.lw;
    const std::string log = err.Stop();
    EXPECT_EQ(row.cut == 9999, CountOf(log, "[creat_stand_dict] MMM_WEIGHT too small") == 1) << row.lw;
    EXPECT_EQ(row.lw == 7, CountOf(log, "[creat_stand_dict] num error") == 1) << row.lw;
    EXPECT_EQ(1, CountOf(log, "[crear_stad_dict] (7)->(" + std::to_string(row.kept.size()) + ") lw (" +
                                  std::to_string(row.lw) + ")"));
    Sdict_search* sd = ds_load(w.p(), "out");
    ASSERT_NE(nullptr, sd);
    EXPECT_EQ(sd->node_num, sd->cur_code);
    std::vector<u_int> kept(static_cast<size_t>(sd->node_num));  // by code: record order
    for (int i = 0; i < sd->node_num; ++i) kept.at(static_cast<size_t>(sd->node[i].code)) = sd->node[i].other;
    EXPECT_EQ(row.kept, kept) << row.lw;
    ds_del(sd);
  }
  EXPECT_EQ(-1, creat_stand_dict(w.p(), "d", "out", -1));
}

// Frequencies 1..10 in ten records; n = 3 gives class width 4 and takes the
// three records of the top class.
TEST(DictTools, FilterDrawsAPermutationOfTheMostFrequent) {
  Work w;
  w.Save("d", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 10);
  for (int n : {3, 10}) {
    Sdict_search* sd = ds_load(w.p(), "d");
    ASSERT_NE(nullptr, sd);
    Sdict_build* db = ds_filter(sd, n);
    ASSERT_NE(nullptr, db);
    EXPECT_EQ(n, db->node_num);
    std::vector<int> codes;
    for (int i = 0; i < sd->node_num; ++i) {
      const Sdict_snode& r = sd->node[i];
      const bool taken = n == 10 || r.sign1 >= 8;
      if (!taken) {
        EXPECT_EQ(CodeOther(static_cast<int>(r.sign1) - 1, r.sign1), CO(r));
        continue;
      }
      EXPECT_EQ(1u, r.other);
      EXPECT_EQ(CodeOther(r.code, 1), Seek(db, r.sign1, 0));
      codes.push_back(r.code);
    }
    std::sort(codes.begin(), codes.end());
    for (int i = 0; i < n; ++i) EXPECT_EQ(i, codes[static_cast<size_t>(i)]) << n;
    db_del(db);
    ds_del(sd);
  }
  // The order is random(): some seed leaves the records out of their order.
  bool shuffled = false;
  for (unsigned seed = 1; seed <= 3; ++seed) {
    srandom(seed);
    Sdict_search* sd = ds_load(w.p(), "d");
    db_del(ds_filter(sd, 10));
    for (int i = 1; i < 10; ++i) shuffled |= sd->node[i].code < sd->node[i - 1].code;
    ds_del(sd);
  }
  EXPECT_TRUE(shuffled);
  Sdict_search* sd = ds_load(w.p(), "d");
  CaptureFd quiet(2);
  Sdict_build* empty = ds_filter(sd, 0);
  EXPECT_EQ("", quiet.Stop());  // an empty sample is no failure
  ASSERT_NE(nullptr, empty);
  EXPECT_EQ(1, empty->hash_num);
  EXPECT_EQ(0, empty->node_num);
  db_del(empty);
  EXPECT_EQ(nullptr, ds_filter(sd, -1));
  EXPECT_EQ(nullptr, ds_filter(sd, 11));
  ds_del(sd);
  Sdict_search* mapped = ds_load_mmap(w.p(), "d");
  CaptureFd err(2);
  EXPECT_EQ(nullptr, ds_filter(mapped, 1));
  err.Stop();
  ds_del_mmap(mapped);
}

TEST(DictTools, ToolsFailOnAMissingDictionary) {
  Work w;
  w.Save("d", {0}, 1);
  WriteFile(w.dir.file("freq/f"), Le32({1}));
  CaptureFd out(1), err(2);
  EXPECT_EQ(-1, pre_creat_search_dict(w.p(), "none", "out", "freq/db", "freq/ds"));
  EXPECT_EQ(-1, creat_search_dict(w.p(), "none", "out", "freq/f"));
  EXPECT_EQ(-1, creat_search_dict(w.p(), "d", "out", "freq/none"));  // no frequencies either
  EXPECT_EQ(-1, creat_vice_dict(w.p(), "d", "none", "out", "freq/f"));
  EXPECT_EQ(-1, creat_vice_dict(w.p(), "none", "d", "out", "freq/f"));
  EXPECT_EQ(-1, creat_parser_dict(w.p(), "none", "out", "freq/f"));
  EXPECT_EQ(-1, creat_stand_dict(w.p(), "none", "out", 1));
  out.Stop();
  err.Stop();
  EXPECT_FALSE(testsupport::FileExists(w.dir.file("out.n")));
}

// A tool killed as it saves (SIGXFSZ at the write limit) leaves its
// temporary beside the output, which its next run removes; a user's files
// named like temporaries stay.
TEST(DictTools, NextSaveRemovesOnlyAKilledSavesTemporaries) {
  Work w;
  w.Save("d", {0, 0, 0}, 3);
  WriteFile(w.dir.file("freq/f"), Le32({1, 2, 3}));
  w.Status("status/url", "url_num", 1000);
  const int status = testsupport::RunInChild([&] {
    const struct rlimit write_limit = {8, 8}, no_core = {0, 0};
    if (setrlimit(RLIMIT_FSIZE, &write_limit) != 0 || setrlimit(RLIMIT_CORE, &no_core) != 0) return 126;
    return creat_search_dict(w.p(), "d", "out", "freq/f");
  });
  ASSERT_EQ(128 + SIGXFSZ, status);
  const std::vector<std::string> left = testsupport::FilesStartingWith(w.p(), "out.n.tmp-");
  ASSERT_EQ(1u, left.size());
  for (const char* mine : {"out.n.tmp-notes", "out.ind1.tmp-1-2", "out.ind2.tmp-01-2-3"}) {
    WriteFile(w.dir.file(mine), "mine");
  }
  CaptureFd err(2);
  EXPECT_EQ(1, creat_search_dict(w.p(), "d", "out", "freq/f"));
  err.Stop();
  EXPECT_FALSE(testsupport::FileExists(w.dir.file(left[0])));
  for (const char* mine : {"out.n.tmp-notes", "out.ind1.tmp-1-2", "out.ind2.tmp-01-2-3"}) {
    EXPECT_EQ("mine", ReadFile(w.dir.file(mine))) << mine;
  }
  EXPECT_EQ(3u, w.Read("out", 3).size());
}

// A per-code array that cannot be had (2^31 - 1 codes, the address space
// held to what the child already uses plus 256 MiB) is -2, never success,
// and nothing is saved.
TEST(DictTools, ToolsReportAFailedAllocationAsMinusTwo) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "address-space limit under a sanitizer";
#endif
  Work w;
  w.Save("d", {0}, 0x7FFFFFFF);
  w.Save("main", {0}, 1);
  using Tool = std::function<int()>;
  const std::vector<std::pair<const char*, Tool>> rows = {
      {"pre_creat_search_dict", [&] { return pre_creat_search_dict(w.p(), "d", "out", "freq/db", "freq/ds"); }},
      {"creat_search_dict", [&] { return creat_search_dict(w.p(), "d", "out", "freq/f"); }},
      {"creat_vice_dict", [&] { return creat_vice_dict(w.p(), "main", "d", "out", "freq/f"); }},
      {"creat_parser_dict", [&] { return creat_parser_dict(w.p(), "d", "out", "freq/f"); }},
  };
  CaptureFd out(1), err(2);
  for (const auto& [name, tool] : rows) {
    EXPECT_EQ(0, testsupport::RunInChild([&] {
      if (!CapAddressSpace(256u << 20)) return 11;
      return tool() == -2 ? 0 : 1;
    })) << name;
  }
  out.Stop();
  err.Stop();
  EXPECT_FALSE(testsupport::FileExists(w.dir.file("out.n")));
}

}  // namespace
