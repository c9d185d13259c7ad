// Dictionary files: exact bytes, round trips, filtered and frequency saves,
// and loaders refusing file sets that disagree with their numbers.
#include <errno.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "dict_test_util.h"
#include "gtest/gtest.h"
#include "support/support.h"
#include "toolkit/replace.h"
#include "ul_dict.h"

namespace {

using namespace dicttest;

TEST(DbFile, CmpsPathJoinsWithinTheBuffer) {
  char buf[8];
  EXPECT_EQ(0, CmpsPath(buf, "ab", "cdef", 8));
  EXPECT_STREQ("ab/cdef", buf);
  EXPECT_EQ(-1, CmpsPath(buf, "ab", "cdefg", 8));
  EXPECT_STREQ("", buf);
}

TEST(DbFile, GoldenBytesOfSmallAndEmptyDictionaries) {
  TempDir dir;
  DictPtr d(db_creat(3, 0));
  for (u_int s1 : {1, 2, 4, 3, 1}) Op(d.get(), ADD, s1, 0);  // buckets 1 2 1 0, codes 0..3; 1 twice
  Op(d.get(), DEL, 2, 0);
  ASSERT_EQ(1, db_save(d.get(), dir.path().c_str(), "gold"));
  EXPECT_EQ("hash_num : 3\nnode_num : 3\ncur_code : 4\n", ReadFile(dir.file("gold.n")));
  EXPECT_EQ(Le32({0, 1, 3, 1, 2, 0}), ReadFile(dir.file("gold.ind1")));
  // Bucket order, newest first inside a bucket, the deleted node left out.
  EXPECT_EQ(Le32({3, 0, 3, 1, 4, 0, 2, 1, 1, 0, 0, 2}), ReadFile(dir.file("gold.ind2")));
  for (const char* f : {"gold.ind1", "gold.ind2"}) {
    struct stat st;
    ASSERT_EQ(0, stat(dir.file(f).c_str(), &st));
    EXPECT_EQ(0644u, st.st_mode & 0777) << f;
  }

  DictPtr e(db_creat(5, 17));
  ASSERT_EQ(1, db_save(e.get(), dir.path().c_str(), "empty"));
  EXPECT_EQ("hash_num : 5\nnode_num : 0\ncur_code : 17\n", ReadFile(dir.file("empty.n")));
  EXPECT_EQ(std::string(40, '\0'), ReadFile(dir.file("empty.ind1")));
  EXPECT_EQ("", ReadFile(dir.file("empty.ind2")));
  DictPtr back(db_load(dir.path().c_str(), "empty", 0));
  ASSERT_NE(nullptr, back);
  EXPECT_EQ(0, back->node_num);
  EXPECT_EQ(17, back->cur_code);
  EXPECT_EQ(5, back->hash_num);
}

// Saved with and loaded to another bucket count; db_load_0 clears other.
TEST(DbFile, RoundTripKeepsKeysCodesAndOther) {
  TempDir dir;
  DictPtr d(db_creat(1001, 0));
  std::mt19937 rng(7);
  std::vector<std::pair<u_int, u_int>> keys;
  for (int i = 0; i < 20000; ++i) {
    keys.emplace_back(rng(), rng());
    Op(d.get(), ADD, keys.back().first, keys.back().second, -1, rng());
  }
  for (int i = 0; i < 20000; i += 7) Op(d.get(), DEL, keys[i].first, keys[i].second);
  ASSERT_EQ(1, db_save(d.get(), dir.path().c_str(), "rt"));
  for (int hash_num : {0, 37}) {
    DictPtr back(db_load(dir.path().c_str(), "rt", hash_num));
    ASSERT_NE(nullptr, back);
    EXPECT_EQ(hash_num == 0 ? 1001 : 37, back->hash_num);
    EXPECT_EQ(d->node_num, back->node_num);
    EXPECT_EQ(d->cur_code, back->cur_code);
    for (const auto& [s1, s2] : keys) {
      ASSERT_EQ(Seek(d.get(), s1, s2), Seek(back.get(), s1, s2)) << hash_num;
    }
  }
  DictPtr zero(db_load_0(dir.path().c_str(), "rt", 0));
  ASSERT_NE(nullptr, zero);
  EXPECT_EQ(CodeOther(1, 0), Seek(zero.get(), keys[1].first, keys[1].second));
}

TEST(DbFile, CrowdedBucketWarnsOnce) {
  TempDir dir;
  DictPtr d(db_creat(1, 0));
  for (u_int i = 0; i < 126; ++i) Op(d.get(), ADD, i, 0);
  CaptureFd err(2);
  EXPECT_EQ(1, db_save(d.get(), dir.path().c_str(), "crowd"));
  EXPECT_EQ(1, CountOf(err.Stop(), "[db_save] too many items in one hash entry: 126"));
}

TEST(DbFile, LoadRefusesMissingTruncatedAndForeignFiles) {
  TempDir dir;
  DictPtr d(db_creat(7, 0));
  for (u_int i = 0; i < 50; ++i) Op(d.get(), ADD, i, i);
  ASSERT_EQ(1, db_save(d.get(), dir.path().c_str(), "x"));
  const std::string ind1 = ReadFile(dir.file("x.ind1")), ind2 = ReadFile(dir.file("x.ind2"));
  const char* p = dir.path().c_str();
  CaptureFd err(2);
  std::remove(dir.file("x.ind1").c_str());
  EXPECT_EQ(nullptr, db_load(p, "x", 0));
  // A foreign index: the saved bucket count cannot be trusted, but the index
  // is not needed with a bucket count.
  WriteFile(dir.file("x.ind1"), ind1.substr(0, 20));
  EXPECT_EQ(nullptr, db_load(p, "x", 0));
  DictPtr rehashed(db_load(p, "x", 11));
  ASSERT_NE(nullptr, rehashed);
  EXPECT_EQ(49, Seek(rehashed.get(), 49, 49).first);
  WriteFile(dir.file("x.ind1"), ind1);
  WriteFile(dir.file("x.ind2"), ind2.substr(0, ind2.size() - 16));
  EXPECT_EQ(nullptr, db_load(p, "x", 0));
  EXPECT_EQ(nullptr, db_load_0(p, "x", 0));
  WriteFile(dir.file("x.ind2"), ind2 + std::string(16, 'x'));
  EXPECT_EQ(nullptr, db_load(p, "x", 0));
  WriteFile(dir.file("x.ind2"), ind2);
  WriteFile(dir.file("x.n"), "hash_num : 0\nnode_num : 50\ncur_code : 50\n");
  EXPECT_EQ(nullptr, db_load(p, "x", 0));
  WriteFile(dir.file("x.n"), "hash_num : 7\ncur_code : 50\n");
  EXPECT_EQ(nullptr, db_load(p, "x", 0));
  const std::string log = err.Stop();
  EXPECT_EQ(1, CountOf(log, "File " + dir.path() + "/x.ind1 does not exist or cannot open to read."));
  EXPECT_EQ(3, CountOf(log, "[db_load] node_num error"));
  EXPECT_EQ(1, CountOf(log, "Read node_num from " + dir.path() + "/x.n failed."));
}

// Renames of a set saved together, numbered from 0; the one a test names is
// refused (EPERM), as a sticky folder refuses another user's file, and so
// is g_refused_too when set.
int g_refused_rename = -1;
int g_refused_too = -1;
int g_renames = 0;
int RefusingRename(const char* from, const char* to) {
  const int at = g_renames++;
  if (at == g_refused_rename || at == g_refused_too) {
    errno = EPERM;
    return -1;
  }
  return ::rename(from, to);
}

// Saves 50 records as dir/x; returns a dictionary of 20 others to save over
// them.
DictPtr SaveOldSet(const char* dir) {
  DictPtr old_dict(db_creat(7, 0));
  for (u_int i = 0; i < 50; ++i) Op(old_dict.get(), ADD, i, i);
  EXPECT_EQ(1, db_save(old_dict.get(), dir, "x"));
  DictPtr new_dict(db_creat(11, 0));
  for (u_int i = 100; i < 120; ++i) Op(new_dict.get(), ADD, i, i);
  return new_dict;
}

// A save over an existing set whose install is refused at any of its four
// renames (the barrier numbers file, the records, the buckets, the numbers)
// fails and leaves the old three files byte for byte, and nothing beside
// them; the set still loads.
TEST(DbFile, RefusedRenameKeepsTheOldSet) {
  TempDir dir;
  const char* p = dir.path().c_str();
  DictPtr new_dict = SaveOldSet(p);
  const std::vector<std::string> files = {"x.ind1", "x.ind2", "x.n"};
  std::vector<std::string> old;
  for (const auto& f : files) old.push_back(ReadFile(dir.file(f)));
  toolkit::replace_rename = RefusingRename;
  for (g_refused_rename = 0; g_refused_rename < 4; ++g_refused_rename) {
    SCOPED_TRACE("rename " + std::to_string(g_refused_rename));
    g_renames = 0;
    CaptureFd err(2);
    EXPECT_EQ(-1, db_save(new_dict.get(), p, "x"));
    EXPECT_EQ(1, CountOf(err.Stop(), "not replaced.error[1]"));
    for (size_t i = 0; i < files.size(); ++i) EXPECT_TRUE(old[i] == ReadFile(dir.file(files[i]))) << files[i];
    std::vector<std::string> names = testsupport::FilesStartingWith(dir.path(), "x");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(files, names);
  }
  toolkit::replace_rename = nullptr;
  DictPtr back(db_load(p, "x", 0));
  ASSERT_NE(nullptr, back);
  EXPECT_EQ(50, back->node_num);
}

// A save whose putting back is refused too (the records refused, then the
// putting back of the buckets) keeps the old files it could not put back
// beside the set, the only copy of them: later saves that fail keep them
// too, and the first save that puts its own set in place removes them.
TEST(DbFile, OldFilesNotPutBackStayUntilASaveSucceeds) {
  TempDir dir;
  const char* p = dir.path().c_str();
  DictPtr new_dict = SaveOldSet(p);
  const std::string old_n = ReadFile(dir.file("x.n")), old_ind2 = ReadFile(dir.file("x.ind2"));
  toolkit::replace_rename = RefusingRename;
  g_renames = 0;
  g_refused_rename = 2;
  g_refused_too = 3;
  CaptureFd err(2);
  EXPECT_EQ(-1, db_save(new_dict.get(), p, "x"));
  const std::string log = err.Stop();
  std::vector<std::string> kept;
  for (const char* f : {"x\\.n", "x\\.ind2"}) {
    std::smatch m;
    ASSERT_TRUE(std::regex_search(log, m, std::regex(std::string("/") + f +
                                                      " not put back: the old file is kept as (\\S+)\\.\n")))
        << log;
    kept.push_back(m[1]);
  }
  const auto kept_whole = [&] {
    return ReadFile(kept[0]) == old_n && ReadFile(kept[1]) == old_ind2 &&
           testsupport::FilesStartingWith(dir.path(), "x").size() == 5;
  };
  EXPECT_TRUE(kept_whole());
  for (int refused : {0, 1}) {
    SCOPED_TRACE("a later save refused at rename " + std::to_string(refused));
    g_renames = 0;
    g_refused_rename = refused;
    g_refused_too = -1;
    CaptureFd quiet(2);
    EXPECT_EQ(-1, db_save(new_dict.get(), p, "x"));
    EXPECT_TRUE(kept_whole());
  }
  toolkit::replace_rename = nullptr;
  g_refused_rename = -1;
  ASSERT_EQ(1, db_save(new_dict.get(), p, "x"));
  std::vector<std::string> names = testsupport::FilesStartingWith(dir.path(), "x");
  std::sort(names.begin(), names.end());
  EXPECT_EQ((std::vector<std::string>{"x.ind1", "x.ind2", "x.n"}), names);
}

// Records with a negative code take new codes on load; a cur_code of INT_MAX
// read from the file wraps instead of overflowing.
TEST(DbFile, LoadHandsOutCodesFromTheSavedCurCode) {
  TempDir dir;
  WriteFile(dir.file("w.n"), "hash_num : 1\nnode_num : 1\ncur_code : 2147483647\n");
  WriteFile(dir.file("w.ind1"), Le32({0, 1}));
  WriteFile(dir.file("w.ind2"), Le32({5, 6, 0xFFFFFFFF, 0}));
  DictPtr d(db_load(dir.path().c_str(), "w", 0));
  ASSERT_NE(nullptr, d);
  EXPECT_EQ(CodeOther(2147483647, 1), Seek(d.get(), 5, 6));
  EXPECT_EQ(-2147483647 - 1, d->cur_code);
}

TEST(DbFile, FilteredSaveAgreesWithItself) {
  TempDir dir;
  DictPtr d(db_creat(13, 0));
  for (u_int i = 0; i < 40; ++i) Op(d.get(), ADD, i, 1, static_cast<int>(i), i);  // frequency i
  ASSERT_EQ(1, db_save_filter(d.get(), dir.path().c_str(), "f", 30));
  EXPECT_EQ("hash_num : 13\nnode_num : 10\ncur_code : 0\n", ReadFile(dir.file("f.n")));
  Sdict_search* sd = ds_load(dir.path().c_str(), "f");
  ASSERT_NE(nullptr, sd);
  for (u_int i = 0; i < 40; ++i) {
    Sdict_snode n{i, 1, 0, 0};
    ds_op1(sd, &n, SEEK);
    EXPECT_EQ(i >= 30 ? static_cast<int>(i) : -1, n.code);
  }
  ds_del(sd);
}

TEST(DbFile, FrequencySaveMovesFrequenciesToTheFile) {
  TempDir dir;
  DictPtr d(db_creat(5, 0));
  Op(d.get(), ADD, 1, 1, -1, (3u << 25) | 5);  // code 0
  Op(d.get(), ADD, 2, 2, -1, 9);               // code 1
  Op(d.get(), ADD, 3, 3, -1, 0);               // code 2, frequency 1
  Op(d.get(), DEL, 2, 2);
  CaptureFd err(2);
  EXPECT_EQ(3, db_save_freq(d.get(), dir.path().c_str(), "freq"));
  EXPECT_EQ(1, CountOf(err.Stop(), "[db_save_freq] node num error"));
  EXPECT_EQ("max_code : 3\n", ReadFile(dir.file("freq.n")));
  EXPECT_EQ(Le32({5, 0, 1}), ReadFile(dir.file("freq")));
  EXPECT_EQ(CodeOther(0, 3u << 25), Seek(d.get(), 1, 1));
  EXPECT_EQ(CodeOther(2, 0), Seek(d.get(), 3, 3));
  // A file that cannot be created keeps the frequencies in the dictionary.
  Op(d.get(), ADD, 1, 1, -1, 4);
  EXPECT_EQ(-3, db_save_freq(d.get(), dir.path().c_str(), "no/such/dir"));
  EXPECT_EQ(CodeOther(0, (3u << 25) | 4), Seek(d.get(), 1, 1));
}

}  // namespace
