// Search-side dictionary: the in-memory, mapped and on-disk forms give the
// same answers; in-place operations; loaders refuse inconsistent files.
#include <climits>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "dict_test_util.h"
#include "gtest/gtest.h"
#include "support/support.h"
#include "ul_dict.h"

namespace {

using dicttest::CountOf;
using dicttest::DictPtr;

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

// Saves a dictionary of n keys signed from "key<i>" with frequency i % 1000 + 1.
void SaveKeys(const std::string& dir, const char* name, int n, int hash_num) {
  DictPtr d(db_creat(hash_num, 0));
  for (int i = 0; i < n; ++i) {
    const std::string k = "key" + std::to_string(i);
    Sdict_snode node{0, 0, -1, static_cast<u_int>(i % 1000 + 1) | (static_cast<u_int>(i % 100) << 25)};
    creat_sign_fs64(k.data(), static_cast<int>(k.size()), &node.sign1, &node.sign2);
    ASSERT_EQ(1, db_op1(d.get(), &node, ADD));
  }
  ASSERT_EQ(1, db_save(d.get(), dir.c_str(), name));
}

Sdict_snode Key(const std::string& k) {
  Sdict_snode n{0, 0, 0, 0};
  creat_sign_fs64(k.data(), static_cast<int>(k.size()), &n.sign1, &n.sign2);
  return n;
}

// The three search forms of one saved dictionary, released on scope exit.
struct ThreeForms {
  ThreeForms(const char* path, const char* name)
      : mem(ds_load(path, name)), map(ds_load_mmap(path, name)), hd(ds_load_hd(path, name)) {}
  ~ThreeForms() {
    ds_del(mem);
    ds_del_mmap(map);
    ds_del_hd(hd);
  }
  ThreeForms(const ThreeForms&) = delete;
  ThreeForms& operator=(const ThreeForms&) = delete;
  Sdict_search* mem;
  Sdict_search* map;
  Sdict_search_hd* hd;
};

TEST(DsSearch, ThreeFormsAgreeOnRandomKeys) {
  TempDir dir;
  const int kKeys = 60000;
  SaveKeys(dir.path(), "d", kKeys, 30011);
  const char* p = dir.path().c_str();
  ThreeForms f(p, "d");
  Sdict_search* mem = f.mem;
  Sdict_search* map = f.map;
  Sdict_search_hd* hd = f.hd;
  ASSERT_NE(nullptr, mem);
  ASSERT_NE(nullptr, map);
  ASSERT_NE(nullptr, hd);
  DictPtr build(db_load(p, "d", 0));
  std::mt19937 rng(99);
  int present = 0;
  for (int i = 0; i < 100000; ++i) {
    const int k = static_cast<int>(rng() % (2 * kKeys));  // half of them absent
    Sdict_snode a = Key("key" + std::to_string(k)), b = a, c = a, e = a;
    const int ra = ds_op1(mem, &a, SEEK);
    ASSERT_EQ(ra, ds_op1(map, &b, SEEK));
    ASSERT_EQ(a.code, ds_seek_hd(hd, &c));
    ASSERT_EQ(ra, db_op1(build.get(), &e, SEEK));
    ASSERT_EQ(k < kKeys ? k : -1, a.code);
    ASSERT_EQ(a.code, b.code);
    ASSERT_EQ(a.code, c.code);
    ASSERT_EQ(a.code, e.code);
    if (ra == 1) {
      ++present;
      ASSERT_EQ(a.other, b.other);
      ASSERT_EQ(a.other, c.other);
      ASSERT_EQ(a.other, e.other);
      ASSERT_EQ(static_cast<u_int>(k % 1000 + 1) | (static_cast<u_int>(k % 100) << 25), a.other);
    } else {
      ASSERT_EQ(0u, c.other);
    }
  }
  EXPECT_GT(present, 40000);
  EXPECT_LT(present, 60000);
}

TEST(DsSearch, InPlaceOperations) {
  TempDir dir;
  DictPtr d(db_creat(11, 0));
  for (u_int i = 0; i < 4; ++i) {
    Sdict_snode n{i, 7, static_cast<int>(i), 5};
    db_op1(d.get(), &n, ADD);
  }
  d->cur_code = 10;
  ASSERT_EQ(1, db_save(d.get(), dir.path().c_str(), "ops"));
  Sdict_search* sd = ds_load(dir.path().c_str(), "ops");
  ASSERT_NE(nullptr, sd);
  Sdict_snode n{0, 7, 0, 0};
  EXPECT_EQ(1, ds_op1(sd, &n, SEEKP));
  EXPECT_EQ(1, ds_op1(sd, &n, MODF));
  EXPECT_EQ(7u, n.other);
  EXPECT_EQ(1, ds_op1(sd, &n, SEEK));
  EXPECT_EQ(7u, n.other);
  n.other = (9u << 25) | 123;
  EXPECT_EQ(1, ds_op1(sd, &n, MODW));
  EXPECT_EQ((9u << 25) | 7, n.other);
  Sdict_snode m{1, 7, 0, 0};
  EXPECT_EQ(1, ds_op1(sd, &n, MODC));
  EXPECT_EQ(1, ds_op1(sd, &m, MODC));
  EXPECT_EQ(10, n.code);
  EXPECT_EQ(11, m.code);
  EXPECT_EQ(12, sd->cur_code);

  Sdict_snode absent{99, 99, 5, 5};
  testsupport::CaptureFd err(2);
  EXPECT_EQ(0, ds_op1(sd, &absent, ADD));  // absent: 0 whatever the operation
  EXPECT_EQ(-1, absent.code);
  EXPECT_EQ(-1, ds_op1(sd, &m, DEL));
  std::vector<Sdict_snode> recs = {{99, 99, 5, 5}, {2, 7, 0, 0}, {3, 7, 0, 0}};
  EXPECT_EQ(3, ds_opn(sd, recs.data(), 3, SEEK));
  EXPECT_EQ(-1, recs[0].code);
  EXPECT_EQ(2, recs[1].code);
  EXPECT_EQ(-1, ds_opn(sd, recs.data(), 3, CLUSTER));
  EXPECT_EQ(2, CountOf(err.Stop(), "[ds_op1] unkown op"));
  ds_del(sd);
}

// A mapped dictionary's pages are read-only: every change is refused with -1
// instead of killing the process, SEEK still answers, and each release
// function accepts a dictionary of the other form.
TEST(DsSearch, MappedDictionaryRefusesChanges) {
  TempDir dir;
  SaveKeys(dir.path(), "m", 50, 7);
  const char* p = dir.path().c_str();
  Sdict_search* map = ds_load_mmap(p, "m");
  ASSERT_NE(nullptr, map);
  const Sdict_snode key = Key("key3");
  testsupport::CaptureFd err(2);
  for (Eop_method op : {SEEKP, MODF, MODW, MODC}) {
    Sdict_snode n = key;
    EXPECT_EQ(-1, ds_op1(map, &n, op)) << op;
  }
  Sdict_snode absent = Key("nokey");
  EXPECT_EQ(0, ds_op1(map, &absent, MODC));  // absent: 0, as for any operation
  std::vector<Sdict_snode> recs = {key, key};
  EXPECT_EQ(-1, ds_opn(map, recs.data(), 2, SEEKP));
  EXPECT_EQ(-1, ds_save_freq(map, p, "mf"));
  EXPECT_EQ(-1, ds_load_freq(map, p, "mf"));
  EXPECT_EQ(7, CountOf(err.Stop(), "mapped dictionary is read-only"));
  Sdict_snode n = key;
  EXPECT_EQ(1, ds_op1(map, &n, SEEK));
  EXPECT_EQ(3, n.code);
  EXPECT_EQ(4u | (3u << 25), n.other);
  EXPECT_EQ(50, map->cur_code);  // MODC did not count on

  EXPECT_EQ(0, ds_del(map));  // unmaps
  Sdict_search* mem = ds_load(p, "m");
  ASSERT_NE(nullptr, mem);
  EXPECT_EQ(1, ds_op1(mem, &n, MODF));  // the in-memory form is not taken for mapped
  mem->cur_code = INT_MAX;
  EXPECT_EQ(1, ds_op1(mem, &n, MODC));
  EXPECT_EQ(INT_MAX, n.code);
  EXPECT_EQ(INT_MIN, mem->cur_code);
  EXPECT_EQ(0, ds_del_mmap(mem));  // frees
}

TEST(DsSearch, SaveLoadAndFrequencyGenerations) {
  TempDir dir;
  SaveKeys(dir.path(), "s", 500, 101);
  const char* p = dir.path().c_str();
  Sdict_search* sd = ds_load(p, "s");
  ASSERT_NE(nullptr, sd);
  ASSERT_EQ(1, ds_save(sd, p, "copy"));
  for (const char* suffix : {".ind1", ".ind2"}) {
    EXPECT_EQ(ReadFile(dir.file(std::string("s") + suffix)),
              ReadFile(dir.file(std::string("copy") + suffix)));
  }
  EXPECT_EQ(ReadFile(dir.file("s.n")), ReadFile(dir.file("copy.n")));

  // Frequencies leave with the save and come back with the load.
  std::vector<u_int> before(sd->node_num);
  for (int i = 0; i < sd->node_num; ++i) before[i] = sd->node[i].other;
  ASSERT_EQ(500, ds_save_freq(sd, p, "freq"));
  for (int i = 0; i < sd->node_num; ++i) ASSERT_EQ(before[i] & DICT_WEIGHT_MASK, sd->node[i].other);
  ASSERT_EQ(1, ds_load_freq(sd, p, "freq"));
  for (int i = 0; i < sd->node_num; ++i) ASSERT_EQ(before[i], sd->node[i].other);

  // A short frequency file: the entries not read become 0.
  WriteFile(dir.file("freq"), ReadFile(dir.file("freq")).substr(0, 8));
  ASSERT_EQ(1, ds_load_freq(sd, p, "freq"));
  for (int i = 0; i < sd->node_num; ++i) {
    const u_int f = sd->node[i].code < 2 ? before[i] & DICT_FREQ_MASK : 0;
    ASSERT_EQ((before[i] & DICT_WEIGHT_MASK) | f, sd->node[i].other);
  }

  ASSERT_EQ(0, ::mkdir(dir.file("status").c_str(), 0755));
  ASSERT_EQ(0, ::mkdir(dir.file("gen").c_str(), 0755));
  EXPECT_EQ(0, ds_save_parser(sd, p, "gen"));  // no status file yet: generation 0
  EXPECT_EQ(0, ds_save_parser(sd, p, "gen"));
  EXPECT_TRUE(testsupport::FileExists(dir.file("gen/dsfreq.0")));
  EXPECT_TRUE(testsupport::FileExists(dir.file("gen/dsfreq.1")));
  EXPECT_EQ("cur_dsfreq : 2\n", ReadFile(dir.file("status/dsfreq.cur.n")));
  sd = ds_reload(sd, p, "s", "gen");
  ASSERT_NE(nullptr, sd);
  EXPECT_TRUE(testsupport::FileExists(dir.file("gen/dsfreq.2")));
  ds_del(sd);

  Sdict_search* parsed = ds_load_parse(p, "s");
  ASSERT_NE(nullptr, parsed);
  for (int i = 0; i < parsed->node_num; ++i) ASSERT_EQ(0u, parsed->node[i].other);
  ds_del(parsed);
  EXPECT_EQ(nullptr, ds_load_parse(p, "missing"));
  EXPECT_EQ(0, ds_del_mmap(nullptr));
}

TEST(DsSearch, EmptyDictionaryInEveryForm) {
  TempDir dir;
  SaveKeys(dir.path(), "e", 0, 3);
  ThreeForms f(dir.path().c_str(), "e");
  ASSERT_NE(nullptr, f.mem);
  ASSERT_NE(nullptr, f.map);
  ASSERT_NE(nullptr, f.hd);
  EXPECT_EQ(nullptr, f.map->node);
  Sdict_snode n = Key("key0"), m = n, h = n;
  EXPECT_EQ(0, ds_op1(f.mem, &n, SEEK));
  EXPECT_EQ(0, ds_op1(f.map, &m, SEEK));
  EXPECT_EQ(-1, ds_seek_hd(f.hd, &h));
}

// Every form refuses a file set whose sizes or index disagree with the
// numbers file, instead of reading or mapping past an end.
TEST(DsSearch, LoadersRefuseInconsistentFiles) {
  TempDir dir;
  SaveKeys(dir.path(), "b", 300, 17);
  const std::string n = ReadFile(dir.file("b.n"));
  const std::string ind1 = ReadFile(dir.file("b.ind1"));
  const std::string ind2 = ReadFile(dir.file("b.ind2"));
  const char* p = dir.path().c_str();
  auto expect_refused = [&](const char* what) {
    ThreeForms f(p, "b");
    EXPECT_EQ(nullptr, f.mem) << what;
    EXPECT_EQ(nullptr, f.map) << what;
    EXPECT_EQ(nullptr, f.hd) << what;
  };
  auto restore = [&] {
    WriteFile(dir.file("b.n"), n);
    WriteFile(dir.file("b.ind1"), ind1);
    WriteFile(dir.file("b.ind2"), ind2);
  };
  testsupport::CaptureFd err(2);
  WriteFile(dir.file("b.ind2"), ind2.substr(0, ind2.size() - 1));
  expect_refused("truncated ind2");
  WriteFile(dir.file("b.ind2"), ind2 + "x");
  expect_refused("longer ind2");
  restore();
  WriteFile(dir.file("b.ind1"), ind1.substr(0, ind1.size() - 4));
  expect_refused("truncated ind1");
  restore();
  std::string bad = ind1;
  bad[3] = '\x7F';  // first bucket starts far past the records
  WriteFile(dir.file("b.ind1"), bad);
  expect_refused("bucket past the records");
  bad = ind1;
  bad[17 * 4] = static_cast<char>(bad[17 * 4] + 1);  // counts add up to 301
  WriteFile(dir.file("b.ind1"), bad);
  expect_refused("counts do not add up");
  restore();
  WriteFile(dir.file("b.n"), "hash_num : 0\nnode_num : 300\ncur_code : 300\n");
  expect_refused("no buckets");
  WriteFile(dir.file("b.n"), "hash_num : 17\nnode_num : -1\ncur_code : 300\n");
  expect_refused("negative count");
  WriteFile(dir.file("b.n"), "hash_num : 17\ncur_code : 300\n");
  expect_refused("count missing");
  const std::string log = err.Stop();
  EXPECT_NE(std::string::npos, log.find("Read node_num failed."));
  restore();
  Sdict_search* ok = ds_load(p, "b");
  EXPECT_NE(nullptr, ok);
  ds_del(ok);
}

}  // namespace
