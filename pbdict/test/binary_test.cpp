// The binary dictionary files: their bytes, reading them back, and refusing
// files that do not fit the format.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "dict_files.h"
#include "hash.h"
#include "pbdict.h"
#include "schema_fixture.h"
#include "support/support.h"
#include "toolkit/output_lock.h"

namespace kavo {
namespace pbdict {
namespace {

using pbdict_test::DictFiles;
using testsupport::CaptureFd;
using testsupport::FileExists;
using testsupport::ReadFile;
using testsupport::WriteFile;

template <typename T>
T At(const std::string& s, size_t at) {
  T v{};
  pbdict_test::GetAt(s, at, &v);
  return v;
}

class Binary : public pbdict_test::DictTest {
 protected:
  // Loads the text into a dictionary and writes it as "<dir>/b.pbd|ht".
  std::unique_ptr<PbDict> Build(const std::string& text) {
    WriteFile(dir_.file("d.txt"), text);
    std::unique_ptr<PbDict> d(new PbDict(schema_.Prototype("t.V"), nullptr));
    CaptureFd err(2);
    EXPECT_EQ(0, d->load(dir_.file("d.txt").c_str()));
    EXPECT_EQ(0, d->binary_dump(dir_.path().c_str(), "b"));
    return d;
  }

  // Reads "<dir>/<name>.pbd|ht" into a fresh dictionary.
  int Read(std::unique_ptr<PbDict>* out, const char* name = "b", std::string* log = nullptr) {
    out->reset(new PbDict(schema_.Prototype("t.V"), nullptr));
    CaptureFd err(2);
    int rc = (*out)->binary_load(dir_.path().c_str(), name);
    std::string captured = err.Stop();
    if (log != nullptr) *log = captured;
    return rc;
  }

  // Writes the two files as "<dir>/x.pbd|ht" and reads them.
  int ReadBytes(const std::string& pbd, const std::string& ht) {
    WriteFile(dir_.file("x.pbd"), pbd);
    WriteFile(dir_.file("x.ht"), ht);
    std::unique_ptr<PbDict> d;
    return Read(&d, "x");
  }
};

TEST_F(Binary, OneEntryAndEmptyFiles) {
  auto d = Build("a\t{\"a\":\"x\"}\n");  // serialises to 0a 01 78
  DictFiles f;
  ASSERT_NO_FATAL_FAILURE(
      pbdict_test::ExpectOneEntryFiles(ReadFile(dir_.file("b.pbd")), ReadFile(dir_.file("b.ht")), &f));
  EXPECT_EQ(d->tag.tv_sec, f.tag_sec);
  EXPECT_EQ(d->tag.tv_usec, f.tag_usec);
  std::unique_ptr<PbDict> r;
  ASSERT_EQ(0, Read(&r));
  EXPECT_EQ(1, r->load_type);
  EXPECT_EQ(1, hash_is_equal(d->pht, r->pht));
  EXPECT_EQ("a: \"x\"\n", Lookup(r.get(), "a"));

  // No entry: a 1024-byte "pbd" marked empty and an empty "ht".
  d = Build("# nothing\n");
  ASSERT_TRUE(FileExists(dir_.file("b.ht")));
  ASSERT_TRUE(pbdict_test::DecodeDictFiles(ReadFile(dir_.file("b.pbd")), ReadFile(dir_.file("b.ht")), &f));
  EXPECT_EQ(1, f.is_empty);
  std::string log;
  ASSERT_EQ(0, Read(&r, "b", &log));
  EXPECT_NE(std::string::npos, log.find("The file b is empty, load an empty binary dictset!"));
  EXPECT_EQ(nullptr, r->pht);
  EXPECT_EQ(-1, r->load_type);
  EXPECT_EQ("<absent>", Lookup(r.get(), "a"));
}

TEST_F(Binary, RoundTrip) {
  // Values of length 0 (an empty message) load back like any other.
  auto d = Build("e\t{}\nf\t{}\n");
  ASSERT_EQ(1024u + 24, ReadFile(dir_.file("b.pbd")).size());
  std::unique_ptr<PbDict> r;
  ASSERT_EQ(0, Read(&r));
  EXPECT_EQ("", Lookup(r.get(), "e"));
  EXPECT_EQ("", Lookup(r.get(), "f"));

  std::string text;
  for (int i = 0; i < 3000; ++i) {
    text += "key" + std::to_string(i) + "\t{\"n\":" + std::to_string(i) +
            (i % 3 == 0 ? "" : ",\"s\":\"v" + std::to_string(i) + "\"") + "}\n";
  }
  text += "key7\t{\"n\":-1}\n";  // a duplicate key keeps an entry no key reaches
  d = Build(text);
  const std::string first_pbd = ReadFile(dir_.file("b.pbd")), first_ht = ReadFile(dir_.file("b.ht"));
  ASSERT_EQ(0, Read(&r));
  EXPECT_EQ(3001, r->line_num);
  EXPECT_EQ(1, hash_is_equal(d->pht, r->pht));
  for (int i = 0; i < 3000; i += 7) {
    std::string k = "key" + std::to_string(i);
    EXPECT_EQ(Lookup(d.get(), k), Lookup(r.get(), k));
  }
  EXPECT_EQ("n: 7\ns: \"v7\"\n", Lookup(r.get(), "key7"));

  // The same dictionary written again differs in the time stamp only; and a
  // dictionary read back writes the same files.
  ASSERT_EQ(0, r->binary_dump(dir_.path().c_str(), "b"));
  std::string again = ReadFile(dir_.file("b.pbd"));
  ASSERT_EQ(first_pbd.size(), again.size());
  EXPECT_EQ(first_pbd.substr(16), again.substr(16));
  EXPECT_EQ(first_ht, ReadFile(dir_.file("b.ht")));
}

TEST_F(Binary, MissingFilesAndFailedWrites) {
  auto d = Build("a\t{\"n\":1}\n");
  std::unique_ptr<PbDict> r;
  std::string log;
  EXPECT_EQ(-1, Read(&r, "nothere", &log));
  EXPECT_NE(std::string::npos, log.find("binary dset head of nothere not exist!"));
  ASSERT_EQ(0, std::remove(dir_.file("b.ht").c_str()));
  EXPECT_EQ(-1, Read(&r, "b", &log));
  EXPECT_NE(std::string::npos, log.find("Errors occur when load the binary hash table of b!"));

  CaptureFd err(2);
  EXPECT_EQ(-1, d->binary_dump(dir_.file("no/such/dir").c_str(), "b"));
  EXPECT_EQ(-1, d->binary_dump(dir_.path().c_str(), std::string(300, 'n').c_str()));
  EXPECT_EQ(-1, dset_binary_dump(nullptr, "x", "y"));
  EXPECT_EQ(-1, dset_binary_load(d.get(), "x", nullptr));
  EXPECT_EQ(-1, d->binary_load(dir_.path().c_str(), "b"));  // a dictionary is loaded once
  log = err.Stop();
  EXPECT_NE(std::string::npos, log.find("Errors occur when dump the dset head of b!"));
  EXPECT_NE(std::string::npos, log.find("dset_binary_dump() param error"));
}

TEST_F(Binary, RefusesDamagedFiles) {
  auto d = Build("a\t{\"a\":\"x\"}\nbb\t{\"n\":5}\nccc\t{}\n");
  const std::string pbd = ReadFile(dir_.file("b.pbd")), ht = ReadFile(dir_.file("b.ht"));
  ASSERT_EQ(0, ReadBytes(pbd, ht));

  // Truncation anywhere.
  for (size_t n = 0; n < pbd.size(); ++n) ASSERT_EQ(-1, ReadBytes(pbd.substr(0, n), ht)) << n;
  for (size_t n = 0; n < ht.size(); n += (n < 64 || n + 64 > ht.size()) ? 1 : 61) {
    ASSERT_EQ(-1, ReadBytes(pbd, ht.substr(0, n))) << n;
  }

  // One field changed: the copy of `s` with the T at `at` set to v.
  auto with = [](std::string s, size_t at, auto v) {
    std::memcpy(&s[at], &v, sizeof v);
    return s;
  };
  size_t first_node = 12;  // the count of the first non-empty bucket
  while (At<uint32_t>(ht, first_node) == 0) first_node += 4;
  const struct {
    const char* what;
    std::string pbd, ht;
  } cases[] = {
      {"a second value column", with(pbd, 24, 2u), ht},
      {"a negative column count", with(pbd, 24, 0xffffffffu), ht},
      {"more entries than the file holds", with(pbd, 20, 0x7fffffffu), ht},
      {"non-empty without entries", with(pbd, 20, 0u), ht},
      {"an unknown value kind", with(pbd, 40, 'x'), ht},
      {"the first offset not 0", with(pbd, 1024, uint64_t{1}), ht},
      {"decreasing offsets", with(pbd, 1032, At<uint64_t>(pbd, 1040) + 1), ht},
      {"values beyond the file", with(pbd, 1048, At<uint64_t>(pbd, 1048) + 1), ht},
      {"values far beyond the file", with(pbd, 1048, ~uint64_t{0}), ht},
      {"a capacity not in the list", pbd, with(ht, 0, 1000u)},
      {"a list capacity with more buckets than the file", pbd, with(ht, 0, 3079u)},
      {"counts add up to more than size", pbd, with(ht, 4, 2u)},
      {"counts add up to less than size", pbd, with(ht, 4, 4u) + std::string(8, '\0')},
      {"a key offset outside the key area", pbd, with(ht, first_node + 8, At<uint32_t>(ht, 8))},
      {"the last key not ending in the area", pbd, with(ht, ht.size() - 1, 'z')},
      {"an empty key area", pbd, with(ht, 8, 0u)},
      {"marked empty beside entries", with(pbd, 16, 1u), ht},
      {"an emptiness flag of 2", with(pbd, 16, 2u), ht},
      {"a case-folding flag of 2", with(pbd, 36, 2u), ht},
      {"a non-zero byte in the header's zeros", with(pbd, 1023, '\1'), ht},
      {"a byte after the values", pbd + '\0', ht},
      {"a byte after the key area", pbd, ht + '\0'},
      {"a key offset inside another key", pbd, with(ht, first_node + 8, 1u)},
      {"a key changed to one of another bucket", pbd, with(ht, ht.size() - 2, 'q')},
      {"a key for the entry one past the last", pbd, with(ht, first_node + 4, 3u)},
  };
  for (const auto& c : cases) EXPECT_EQ(-1, ReadBytes(c.pbd, c.ht)) << c.what;
}

TEST_F(Binary, WriteReplacesBothFilesWhole) {
  auto d = Build("a\t{\"n\":1}\nb\t{\"n\":2}\n");
  // A reader that opened the old files keeps them whole.
  const int old_pbd = open(dir_.file("b.pbd").c_str(), O_RDONLY);
  ASSERT_GE(old_pbd, 0);
  const std::string before = ReadFile(dir_.file("b.pbd"));
  // A symlink at the "ht" name is replaced, its target left alone.
  WriteFile(dir_.file("target"), "target");
  ASSERT_EQ(0, std::remove(dir_.file("b.ht").c_str()));
  ASSERT_EQ(0, symlink(dir_.file("target").c_str(), dir_.file("b.ht").c_str()));
  const mode_t mask = umask(027);
  d = Build("c\t{\"n\":3}\n");
  umask(mask);
  std::string again(before.size(), '\0');
  ASSERT_EQ(static_cast<ssize_t>(before.size()), pread(old_pbd, &again[0], again.size(), 0));
  close(old_pbd);
  EXPECT_EQ(before, again);
  EXPECT_EQ("target", ReadFile(dir_.file("target")));
  struct stat st;
  for (const char* f : {"b.pbd", "b.ht"}) {
    ASSERT_EQ(0, lstat(dir_.file(f).c_str(), &st)) << f;
    EXPECT_TRUE(S_ISREG(st.st_mode)) << f;
    EXPECT_EQ(0640u, st.st_mode & 0777u) << f;  // as fopen makes them under the umask
  }
  std::unique_ptr<PbDict> r;
  ASSERT_EQ(0, Read(&r));
  EXPECT_EQ("n: 3\n", Lookup(r.get(), "c"));
  EXPECT_EQ("<absent>", Lookup(r.get(), "a"));
  // Nothing but the two files is left beside them: no temporary, no lock.
  EXPECT_EQ(2u, testsupport::FilesStartingWith(dir_.path(), "b.").size());

  // Temporaries left by a killed writer go with the next write. A file
  // standing at the lock's name is taken over and stays: the write did not
  // make it, and it may be anyone's.
  WriteFile(dir_.file("b.pbd.tmp-1-2-3"), "stale");
  WriteFile(dir_.file("b.ht.tmp-1-2-3"), "stale");
  WriteFile(dir_.file("b.pbd.lock"), "left");
  d = Build("c\t{\"n\":4}\n");
  std::vector<std::string> left = testsupport::FilesStartingWith(dir_.path(), "b.");
  std::sort(left.begin(), left.end());
  EXPECT_EQ((std::vector<std::string>{"b.ht", "b.pbd", "b.pbd.lock"}), left);
  EXPECT_EQ("left", ReadFile(dir_.file("b.pbd.lock")));
}

TEST_F(Binary, SecondWriterIsRefusedAndFailedWriteKeepsOldFiles) {
  auto d = Build("a\t{\"n\":1}\n");
  const std::string pbd = ReadFile(dir_.file("b.pbd")), ht = ReadFile(dir_.file("b.ht"));
  {
    // Another writer of the same output holds its lock.
    toolkit::OutputLock other;
    ASSERT_TRUE(other.TryLock(dir_.file("b.pbd")));
    CaptureFd err(2);
    EXPECT_EQ(-1, d->binary_dump(dir_.path().c_str(), "b"));
    EXPECT_NE(std::string::npos,
              err.Stop().find("The binary dict b is being written by another process!"));
    EXPECT_EQ(pbd, ReadFile(dir_.file("b.pbd")));
    EXPECT_EQ(ht, ReadFile(dir_.file("b.ht")));
  }
  // A file-size limit (a full disk) in a child: -1, and the old pair stays
  // whole, with no temporary beside it.
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "k" + std::to_string(i) + "\t{\"n\":" + std::to_string(i) + "}\n";
  WriteFile(dir_.file("big.txt"), text);
  const int status = testsupport::RunInChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    PbDict big(schema_.Prototype("t.V"), nullptr);
    if (big.load(dir_.file("big.txt").c_str()) != 0) return 10;
    struct rlimit lim = {8192, 8192};
    if (setrlimit(RLIMIT_FSIZE, &lim) != 0) return 11;
    CaptureFd err(2);
    return big.binary_dump(dir_.path().c_str(), "b") == -1 ? 0 : 1;
  });
  EXPECT_EQ(0, status);
  EXPECT_EQ(pbd, ReadFile(dir_.file("b.pbd")));
  EXPECT_EQ(ht, ReadFile(dir_.file("b.ht")));
  EXPECT_EQ(2u, testsupport::FilesStartingWith(dir_.path(), "b.").size());
  std::unique_ptr<PbDict> r;
  ASSERT_EQ(0, Read(&r));
  EXPECT_EQ("n: 1\n", Lookup(r.get(), "a"));
}

TEST_F(Binary, PairsThatDoNotBelongTogetherAreRefused) {
  Build("a\t{\"n\":1}\nb\t{\"n\":2}\n");
  const std::string two_pbd = ReadFile(dir_.file("b.pbd")), two_ht = ReadFile(dir_.file("b.ht"));
  std::string text;
  for (int i = 0; i < 9; ++i) text += "k" + std::to_string(i) + "\t{\"n\":" + std::to_string(i) + "}\n";
  Build(text);
  const std::string nine_pbd = ReadFile(dir_.file("b.pbd")), nine_ht = ReadFile(dir_.file("b.ht"));
  Build("# nothing\n");
  const std::string empty_pbd = ReadFile(dir_.file("b.pbd"));
  EXPECT_EQ(0, ReadBytes(two_pbd, two_ht));
  EXPECT_EQ(0, ReadBytes(empty_pbd, ""));
  EXPECT_EQ(-1, ReadBytes(two_pbd, nine_ht));    // keys for entries the values lack
  EXPECT_EQ(-1, ReadBytes(empty_pbd, two_ht));   // keys beside an empty dictionary
  // An empty dictionary reads without its "ht" file, as it always has.
  ASSERT_EQ(0, ReadBytes(empty_pbd, ""));
  ASSERT_EQ(0, std::remove(dir_.file("x.ht").c_str()));
  std::unique_ptr<PbDict> r;
  EXPECT_EQ(0, Read(&r, "x"));
  std::string padded = empty_pbd;
  padded[1000] = 1;
  EXPECT_EQ(-1, ReadBytes(padded, ""));  // the header's zeros, checked when empty too
}

TEST_F(Binary, FifosAndDevicesAreRefusedWithoutBlocking) {
  Build("a\t{\"n\":1}\n");
  // In a child with an alarm: a loader that blocks is killed, not waited on.
  auto loads = [&](const std::function<int()>& fn) {
    return testsupport::RunInChild([&] {
      alarm(5);
      CaptureFd err(2);
      return fn() == -1 ? 0 : 1;
    });
  };
  for (const char* ext : {".pbd", ".ht"}) {
    const std::string file = dir_.file(std::string("f") + ext);
    const std::string other = dir_.file(std::string("f") + (ext[1] == 'p' ? ".ht" : ".pbd"));
    std::remove(file.c_str());
    std::remove(other.c_str());
    ASSERT_EQ(0, mkfifo(file.c_str(), 0600));
    ASSERT_EQ(0, link(dir_.file(std::string("b") + (ext[1] == 'p' ? ".ht" : ".pbd")).c_str(),
                      other.c_str()));
    EXPECT_EQ(0, loads([&] {
                PbDict d(schema_.Prototype("t.V"), nullptr);
                return d.binary_load(dir_.path().c_str(), "f");
              }))
        << ext;
    std::remove(file.c_str());
  }
  EXPECT_EQ(0, loads([&] {
              PbDict d(schema_.Prototype("t.V"), nullptr);
              return d.load("/dev/zero");
            }));
  EXPECT_EQ(0, loads([&] {
              PbDict d(schema_.Prototype("t.V"), nullptr);
              return d.load(dir_.path().c_str());
            }));
}

// Memory running out in a write or a read (the address space capped a
// little above what a child holds, from nothing to enough) fails it with
// "out of memory" in the log; a failed write leaves the files it would have
// replaced, and no temporary. All on one core: the heap of a thread other
// than the first grows inside room it reserved beforehand, which no cap on
// the address space holds back.
TEST_F(Binary, OutOfMemoryFailsTheWriteAndTheRead) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "a sanitizer's runtime needs more address space than a cap leaves";
#endif
  testsupport::PinnedTo one_core(1);
  std::string text;
  for (int i = 0; i < 200000; ++i) {
    text += "k" + std::to_string(i) + "\t{\"n\":" + std::to_string(i) + ",\"s\":\"value " +
            std::to_string(i) + "\"}\n";
  }
  auto big = Build(text);
  ASSERT_EQ(0, big->binary_dump(dir_.path().c_str(), "n"));
  Build("a\t{\"n\":1}\n");
  const std::string pbd = ReadFile(dir_.file("b.pbd")), ht = ReadFile(dir_.file("b.ht"));
  const std::string log = dir_.file("log");
  int failed[2] = {0, 0};
  for (const bool write : {true, false}) {
    for (const size_t extra_kb : {0, 1024, 2048, 3072, 4096, 16384}) {
      SCOPED_TRACE(std::string(write ? "write" : "read") + ", " + std::to_string(extra_kb) + " KiB");
      const int status = testsupport::RunInChild([&] {
        const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0 || dup2(fd, 2) < 0) return 10;
        std::unique_ptr<PbDict> read(new PbDict(schema_.Prototype("t.V"), nullptr));
        if (!testsupport::CapAddressSpace(extra_kb << 10)) return 11;
        const int rc = write ? big->binary_dump(dir_.path().c_str(), "b")
                             : read->binary_load(dir_.path().c_str(), "n");
        return rc == 0 ? 0 : 1;
      });
      ASSERT_TRUE(status == 0 || status == 1) << status;
      if (status == 1) {
        ++failed[write];
        EXPECT_NE(std::string::npos, ReadFile(log).find("out of memory")) << ReadFile(log);
      }
      if (write && status == 1) {
        EXPECT_EQ(pbd, ReadFile(dir_.file("b.pbd")));
        EXPECT_EQ(ht, ReadFile(dir_.file("b.ht")));
      } else if (write) {
        Build("a\t{\"n\":1}\n");
      }
      EXPECT_EQ(2u, testsupport::FilesStartingWith(dir_.path(), "b.").size());
    }
  }
  EXPECT_GT(failed[true], 0);
  EXPECT_GT(failed[false], 0);
}

// Random one-byte changes of a valid pair (300, or PBDICT_CORRUPTIONS):
// each is refused or read; a pair that reads answers every key, with the
// message or a refusal. Prints how many were taken, and how many of those
// answer any probed key differently from the intact pair (a changed byte
// inside a value cannot be told from a real value: the format has no
// checksum).
TEST_F(Binary, RandomOneByteCorruptions) {
  std::string text;
  for (int i = 0; i < 40; ++i) {
    text += "key" + std::to_string(i) + "\t{\"n\":" + std::to_string(i * 37) +
            (i % 2 == 0 ? ",\"s\":\"v" + std::to_string(i) + "\"" : "") + "}\n";
  }
  Build(text);
  const std::string pbd = ReadFile(dir_.file("b.pbd")), ht = ReadFile(dir_.file("b.ht"));
  std::vector<std::string> probes;
  for (int i = 0; i < 44; ++i) probes.push_back("key" + std::to_string(i));
  auto answers = [&](PbDict* d) {
    std::string all;
    for (const auto& k : probes) {
      auto m = schema_.New("t.V");
      const int rc = dset_search_item(d, k.c_str(), m.get());
      all += std::to_string(rc) + (rc == 1 ? m->SerializeAsString() : "") + "|";
    }
    return all;
  };
  std::unique_ptr<PbDict> intact;
  ASSERT_EQ(0, ReadBytes(pbd, ht));
  ASSERT_EQ(0, Read(&intact, "x"));
  const std::string want = answers(intact.get());
  const char* env = std::getenv("PBDICT_CORRUPTIONS");
  const int runs = env != nullptr && std::atoi(env) > 0 ? std::atoi(env) : 300;
  std::mt19937 rng(10);
  int taken = 0, different = 0;
  for (int run = 0; run < runs; ++run) {
    std::string p = pbd, h = ht;
    const size_t at = rng() % (pbd.size() + ht.size());
    std::string& target = at < pbd.size() ? p : h;
    const size_t pos = at < pbd.size() ? at : at - pbd.size();
    target[pos] = static_cast<char>(target[pos] ^ static_cast<char>(1 + rng() % 255));
    std::unique_ptr<PbDict> d;
    WriteFile(dir_.file("x.pbd"), p);
    WriteFile(dir_.file("x.ht"), h);
    if (Read(&d, "x") != 0) continue;
    ++taken;
    CaptureFd err(2);
    if (answers(d.get()) != want) ++different;
  }
  std::printf("%d one-byte corruptions of a %zu+%zu-byte pair: %d read (%.1f%%), %d of them answer "
              "differently\n",
              runs, pbd.size(), ht.size(), taken, 100.0 * taken / runs, different);
  // The header's zeros, the key table and the counts are all checked: what
  // still reads is a changed byte inside the values or the unchecked
  // header fields (time stamp, max_line, comment flag).
  EXPECT_LT(taken, runs / 2);
}

}  // namespace
}  // namespace pbdict
}  // namespace kavo
