// Search-side dictionary: the in-memory, mapped and on-disk forms give the
// same answers; in-place operations; loaders refuse inconsistent files.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "dict_test_util.h"
#include "gtest/gtest.h"
#include "support/support.h"
#include "toolkit/output_lock.h"
#include "ul_dict.h"

namespace {

using namespace dicttest;

Sdict_snode Key(const std::string& k) {
  Sdict_snode n{0, 0, 0, 0};
  creat_sign_fs64(k.data(), static_cast<int>(k.size()), &n.sign1, &n.sign2);
  return n;
}

// other of "key<i>": frequency i % 1000 + 1, weight i % 100.
u_int OtherOf(int i) { return static_cast<u_int>(i % 1000 + 1) | (static_cast<u_int>(i % 100) << 25); }

// Saves a dictionary of n keys "key<i>" with code i and other OtherOf(i).
void SaveKeys(const std::string& dir, const char* name, int n, int hash_num) {
  DictPtr d(db_creat(hash_num, 0));
  for (int i = 0; i < n; ++i) {
    Sdict_snode node = Key("key" + std::to_string(i));
    node.code = -1;
    node.other = OtherOf(i);
    ASSERT_EQ(1, db_op1(d.get(), &node, ADD));
  }
  ASSERT_EQ(1, db_save(d.get(), dir.c_str(), name));
}

// The three search forms of one saved dictionary, released on scope exit.
struct ThreeForms {
  ThreeForms(const char* path, const char* name)
      : mem(ds_load(path, name), ds_del), map(ds_load_mmap(path, name), ds_del_mmap),
        hd(ds_load_hd(path, name), ds_del_hd) {}
  bool AllLoaded() const { return mem && map && hd; }
  std::unique_ptr<Sdict_search, int (*)(Sdict_search*)> mem, map;
  std::unique_ptr<Sdict_search_hd, int (*)(Sdict_search_hd*)> hd;
};

// 100,000 random keys, half of them absent, give one answer in every form
// and in the build-side dictionary loaded from the same files.
TEST(DsSearch, ThreeFormsAgreeOnRandomKeysAndOnAnEmptyDictionary) {
  TempDir dir;
  const int kKeys = 60000;
  SaveKeys(dir.path(), "d", kKeys, 30011);
  ThreeForms f(dir.path().c_str(), "d");
  ASSERT_TRUE(f.AllLoaded());
  DictPtr build(db_load(dir.path().c_str(), "d", 0));
  std::mt19937 rng(99);
  int present = 0;
  for (int i = 0; i < 100000; ++i) {
    const int k = static_cast<int>(rng() % (2 * kKeys));
    Sdict_snode a = Key("key" + std::to_string(k)), b = a, c = a, e = a;
    const int ra = ds_op1(f.mem.get(), &a, SEEK);
    ASSERT_EQ(ra, ds_op1(f.map.get(), &b, SEEK)) << k;
    ASSERT_EQ(a.code, ds_seek_hd(f.hd.get(), &c)) << k;
    ASSERT_EQ(ra, db_op1(build.get(), &e, SEEK)) << k;
    ASSERT_EQ(k < kKeys ? k : -1, a.code) << k;
    for (const Sdict_snode& x : {b, c, e}) ASSERT_EQ(a.code, x.code) << k;
    if (ra == 1) {
      ++present;
      ASSERT_EQ(OtherOf(k), a.other) << k;
      for (const Sdict_snode& x : {b, c, e}) ASSERT_EQ(a.other, x.other) << k;
    } else {
      ASSERT_EQ(0u, c.other) << k;
    }
  }
  EXPECT_GT(present, 40000);
  EXPECT_LT(present, 60000);

  // An empty dictionary loads in every form and finds nothing.
  SaveKeys(dir.path(), "e", 0, 3);
  ThreeForms e(dir.path().c_str(), "e");
  ASSERT_TRUE(e.AllLoaded());
  EXPECT_EQ(nullptr, e.map->node);
  Sdict_snode n = Key("key0"), m = n, h = n;
  EXPECT_EQ(0, ds_op1(e.mem.get(), &n, SEEK));
  EXPECT_EQ(0, ds_op1(e.map.get(), &m, SEEK));
  EXPECT_EQ(-1, ds_seek_hd(e.hd.get(), &h));
}

// In-place changes of the in-memory form; an absent key answers 0 whatever
// the operation, the operations it does not know -1.
TEST(DsSearch, InPlaceOperations) {
  TempDir dir;
  DictPtr d(db_creat(11, 0));
  for (u_int i = 0; i < 4; ++i) Op(d.get(), ADD, i, 7, static_cast<int>(i), 5);
  d->cur_code = 10;
  ASSERT_EQ(1, db_save(d.get(), dir.path().c_str(), "ops"));
  Sdict_search* sd = ds_load(dir.path().c_str(), "ops");
  ASSERT_NE(nullptr, sd);
  Sdict_snode n{0, 7, 0, 0}, m{1, 7, 0, 0};
  auto op = [&](Sdict_snode* x, Eop_method o) {
    EXPECT_EQ(1, ds_op1(sd, x, o)) << o;
    return CO(*x);
  };
  EXPECT_EQ(0, op(&n, SEEKP).first);
  EXPECT_EQ(CodeOther(0, 7), op(&n, MODF));
  EXPECT_EQ(CodeOther(0, 7), op(&n, SEEK));
  n.other = (9u << 25) | 123;
  EXPECT_EQ(CodeOther(0, (9u << 25) | 7), op(&n, MODW));
  EXPECT_EQ(10, op(&n, MODC).first);  // new codes from cur_code
  EXPECT_EQ(11, op(&m, MODC).first);
  EXPECT_EQ(12, sd->cur_code);

  Sdict_snode absent{99, 99, 5, 5};
  CaptureFd err(2);
  EXPECT_EQ(0, ds_op1(sd, &absent, ADD));
  EXPECT_EQ(-1, absent.code);
  EXPECT_EQ(-1, ds_op1(sd, &m, DEL));
  std::vector<Sdict_snode> recs = {{99, 99, 5, 5}, {2, 7, 0, 0}, {3, 7, 0, 0}};
  EXPECT_EQ(3, ds_opn(sd, recs.data(), 3, SEEK));
  EXPECT_EQ((std::vector<CodeOther>{{-1, 5}, {2, 5}, {3, 5}}), COs(recs));
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
  CaptureFd err(2);
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
  EXPECT_EQ(OtherOf(3), n.other);
  EXPECT_EQ(50, map->cur_code);  // MODC did not count on

  EXPECT_EQ(0, ds_del(map));  // unmaps
  Sdict_search* mem = ds_load(p, "m");
  ASSERT_NE(nullptr, mem);
  EXPECT_EQ(1, ds_op1(mem, &n, MODF));  // the in-memory form is not taken for mapped
  mem->cur_code = INT_MAX;  // codes wrap past INT_MAX
  EXPECT_EQ(1, ds_op1(mem, &n, MODC));
  EXPECT_EQ(INT_MAX, n.code);
  EXPECT_EQ(INT_MIN, mem->cur_code);
  EXPECT_EQ(0, ds_del_mmap(mem));  // frees
  EXPECT_EQ(0, ds_del_mmap(nullptr));
}

TEST(DsSearch, SaveLoadAndFrequencyGenerations) {
  TempDir dir;
  SaveKeys(dir.path(), "s", 500, 101);
  const char* p = dir.path().c_str();
  Sdict_search* sd = ds_load(p, "s");
  ASSERT_NE(nullptr, sd);
  ASSERT_EQ(1, ds_save(sd, p, "copy"));
  for (const std::string suffix : {".n", ".ind1", ".ind2"}) {
    EXPECT_EQ(ReadFile(dir.file("s" + suffix)), ReadFile(dir.file("copy" + suffix))) << suffix;
  }
  // Frequencies leave with the save and come back with the load; from a
  // short file the entries not read become 0.
  std::vector<u_int> before(sd->node_num);
  for (int i = 0; i < sd->node_num; ++i) before[i] = sd->node[i].other;
  ASSERT_EQ(500, ds_save_freq(sd, p, "freq"));
  for (int i = 0; i < sd->node_num; ++i) ASSERT_EQ(before[i] & DICT_WEIGHT_MASK, sd->node[i].other);
  ASSERT_EQ(1, ds_load_freq(sd, p, "freq"));
  for (int i = 0; i < sd->node_num; ++i) ASSERT_EQ(before[i], sd->node[i].other);
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
}

// Every form refuses a file set whose sizes or index disagree with the
// numbers file, instead of reading or mapping past an end.
TEST(DsSearch, LoadersRefuseInconsistentFiles) {
  TempDir dir;
  SaveKeys(dir.path(), "b", 300, 17);
  const std::string good[3] = {ReadFile(dir.file("b.n")), ReadFile(dir.file("b.ind1")),
                               ReadFile(dir.file("b.ind2"))};
  const std::string& ind1 = good[1];
  const std::string& ind2 = good[2];
  std::string far = ind1, over = ind1;
  far[3] = '\x7F';  // the first bucket starts far past the records
  over[17 * 4] = static_cast<char>(over[17 * 4] + 1);  // counts add up to 301
  const struct {
    const char* what;
    int file;  // 0 .n, 1 .ind1, 2 .ind2
    std::string bytes;
  } cases[] = {
      {"truncated ind2", 2, ind2.substr(0, ind2.size() - 1)},
      {"longer ind2", 2, ind2 + "x"},
      {"truncated ind1", 1, ind1.substr(0, ind1.size() - 4)},
      {"bucket past the records", 1, far},
      {"counts do not add up", 1, over},
      {"no buckets", 0, "hash_num : 0\nnode_num : 300\ncur_code : 300\n"},
      {"negative count", 0, "hash_num : 17\nnode_num : -1\ncur_code : 300\n"},
      {"count missing", 0, "hash_num : 17\ncur_code : 300\n"},
  };
  const char* names[3] = {"b.n", "b.ind1", "b.ind2"};
  CaptureFd err(2);
  for (const auto& c : cases) {
    WriteFile(dir.file(names[c.file]), c.bytes);
    ThreeForms f(dir.path().c_str(), "b");
    EXPECT_FALSE(f.mem || f.map || f.hd) << c.what << ": " << !!f.mem << !!f.map << !!f.hd;
    WriteFile(dir.file(names[c.file]), good[c.file]);
  }
  EXPECT_NE(std::string::npos, err.Stop().find("Read node_num failed."));
  ThreeForms ok(dir.path().c_str(), "b");
  EXPECT_TRUE(ok.AllLoaded());
}

// Another process saves the dictionary again and again while this one looks
// keys up in its mapping of the old files: the mapping stays whole (no
// SIGBUS) and every answer is the old one.
TEST(DsSearch, MappedReaderKeepsItsFilesWhileAnotherProcessSaves) {
  TempDir dir;
  const int kKeys = 3000;
  SaveKeys(dir.path(), "m", kKeys, 1009);
  std::unique_ptr<Sdict_search, int (*)(Sdict_search*)> map(
      ds_load_mmap(dir.path().c_str(), "m"), ds_del_mmap);
  ASSERT_TRUE(map);
  std::fflush(nullptr);
  const pid_t saver = fork();
  ASSERT_GE(saver, 0);
  if (saver == 0) {
    // Smaller and larger dictionaries in turn, 40 saves.
    for (int round = 0; round < 40; ++round) {
      DictPtr d(db_creat(round % 2 == 0 ? 7 : 2003, 0));
      for (int i = 0; i < (round % 2 == 0 ? 10 : 5000); ++i) {
        Sdict_snode node = Key("other" + std::to_string(i));
        node.code = -1;
        if (db_op1(d.get(), &node, ADD) != 1) _exit(2);
      }
      Sdict_search* sd = ds_load_mmap(dir.path().c_str(), "m");
      ds_del_mmap(sd);
      if (db_save(d.get(), dir.path().c_str(), "m") != 1) _exit(3);
    }
    _exit(0);
  }
  int status = 0, rounds = 0;
  for (;; ++rounds) {
    for (int i = 0; i < kKeys; i += 7) {
      Sdict_snode n = Key("key" + std::to_string(i));
      ASSERT_EQ(1, ds_op1(map.get(), &n, SEEK)) << i;
      ASSERT_EQ(i, n.code);
    }
    if (waitpid(saver, &status, WNOHANG) == saver) break;
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_GT(rounds, 0);
}

// Two savers of one dictionary are kept apart, and a save that cannot be
// completed (a file-size limit) leaves the old files whole.
TEST(DsSearch, SecondSaverIsRefusedAndFailedSaveKeepsOldFiles) {
  TempDir dir;
  SaveKeys(dir.path(), "s", 100, 101);
  const std::string n = ReadFile(dir.file("s.n")), i1 = ReadFile(dir.file("s.ind1")),
                    i2 = ReadFile(dir.file("s.ind2"));
  std::unique_ptr<Sdict_search, int (*)(Sdict_search*)> sd(ds_load(dir.path().c_str(), "s"),
                                                          ds_del);
  ASSERT_TRUE(sd);
  {
    toolkit::OutputLock other;
    ASSERT_TRUE(other.TryLock(dir.file("s.n")));
    CaptureFd err(2);
    EXPECT_EQ(-1, ds_save(sd.get(), dir.path().c_str(), "s"));
    DictPtr d(db_load(dir.path().c_str(), "s", 0));
    ASSERT_TRUE(d);
    EXPECT_EQ(-1, db_save(d.get(), dir.path().c_str(), "s"));
    EXPECT_NE(std::string::npos, err.Stop().find("is being saved by another writer."));
  }
  const int status = testsupport::RunInChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    DictPtr big(db_creat(4001, 0));
    for (int i = 0; i < 5000; ++i) {
      Sdict_snode node = Key("big" + std::to_string(i));
      node.code = -1;
      if (db_op1(big.get(), &node, ADD) != 1) return 10;
    }
    struct rlimit lim = {16384, 16384};
    if (setrlimit(RLIMIT_FSIZE, &lim) != 0) return 11;
    CaptureFd err(2);
    return db_save(big.get(), dir.path().c_str(), "s") == -1 ? 0 : 1;
  });
  EXPECT_EQ(0, status);
  EXPECT_EQ(n, ReadFile(dir.file("s.n")));
  EXPECT_EQ(i1, ReadFile(dir.file("s.ind1")));
  EXPECT_EQ(i2, ReadFile(dir.file("s.ind2")));
  // The same files, saved again from the search side, are byte for byte the
  // same, with the modes they always had.
  ASSERT_EQ(1, ds_save(sd.get(), dir.path().c_str(), "s"));
  EXPECT_EQ(n, ReadFile(dir.file("s.n")));
  EXPECT_EQ(i1, ReadFile(dir.file("s.ind1")));
  EXPECT_EQ(i2, ReadFile(dir.file("s.ind2")));
  struct stat st;
  ASSERT_EQ(0, stat(dir.file("s.ind2").c_str(), &st));
  EXPECT_EQ(0644u, st.st_mode & 0777u);
  EXPECT_FALSE(testsupport::FileExists(dir.file("s.n.lock")));
}

// A saver killed at random moments while it saves two dictionaries in turn
// over one another: the files left always load as one of the two, or (killed
// between the renames) are refused; never a mix of the two.
TEST(DsSearch, SaverKilledAtRandomMomentsLeavesOneWholeSet) {
  TempDir dir;
  // Equal counts in both, so that sizes alone could not tell them apart.
  auto make = [](int base) {
    DictPtr d(db_creat(1009, 0));
    for (int i = 0; i < 3000; ++i) {
      Sdict_snode node = Key("key" + std::to_string(i));
      node.code = -1;
      node.other = static_cast<u_int>(base + i);
      db_op1(d.get(), &node, ADD);
    }
    return d;
  };
  DictPtr a = make(1), b = make(100000);
  ASSERT_EQ(1, db_save(a.get(), dir.path().c_str(), "k"));
  auto which = [&]() {
    CaptureFd err(2);
    std::unique_ptr<Sdict_search, int (*)(Sdict_search*)> sd(ds_load(dir.path().c_str(), "k"), ds_del);
    if (!sd) return 0;
    int seen = 0;
    for (int i = 0; i < 3000; i += 11) {
      Sdict_snode n = Key("key" + std::to_string(i));
      if (ds_op1(sd.get(), &n, SEEK) != 1) return -1;
      const int v = n.other == static_cast<u_int>(1 + i) ? 1 : n.other == static_cast<u_int>(100000 + i) ? 2 : -1;
      if (v < 0 || (seen != 0 && v != seen)) return -1;
      seen = v;
    }
    return seen;
  };
  std::mt19937 rng(5);
  int refused = 0;
  for (int run = 0; run < 30; ++run) {
    std::fflush(nullptr);
    const pid_t saver = fork();
    ASSERT_GE(saver, 0);
    if (saver == 0) {
      for (int i = 0;; ++i) db_save((i % 2 == 0 ? b : a).get(), dir.path().c_str(), "k");
    }
    usleep(static_cast<useconds_t>(rng() % 20000));
    kill(saver, SIGKILL);
    waitpid(saver, nullptr, 0);
    const int got = which();
    ASSERT_NE(-1, got) << "run " << run << ": a mix";
    if (got == 0) {
      ++refused;
      ASSERT_EQ(1, db_save(a.get(), dir.path().c_str(), "k"));  // a whole set again
    }
  }
  EXPECT_LE(refused, 5);
}

}  // namespace
