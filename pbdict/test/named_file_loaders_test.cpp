// Every loader of a named file, given a FIFO (without a writer), a folder or
// a device (/dev/zero, through a link) in place of one of its files, gives
// its error at once: none blocks in the open or the reads, none reads
// without end. Each case runs in a child that is stopped after a few
// seconds, so a loader that blocks fails its row instead of hanging.
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "comlog/comlog.h"
#include "pbdict.h"
#include "schema_fixture.h"
#include "support/support.h"
#include "ul_ccode_load.h"
#include "ul_conf.h"
#include "ul_dict.h"
#include "ul_file.h"
#include "ul_whiteurl.h"

namespace {

using testsupport::TempDir;
using testsupport::WriteFile;
using Clock = std::chrono::steady_clock;

enum class Kind { kFifo, kFolder, kDevice };
const Kind kKinds[] = {Kind::kFifo, Kind::kFolder, Kind::kDevice};

const char* Name(Kind k) {
  return k == Kind::kFifo ? "FIFO" : k == Kind::kFolder ? "folder" : "device";
}

// Puts the hostile thing at path, in place of whatever was there.
bool Place(Kind k, const std::string& path) {
  unlink(path.c_str());
  rmdir(path.c_str());
  switch (k) {
    case Kind::kFifo:
      return mkfifo(path.c_str(), 0600) == 0;
    case Kind::kFolder:
      return mkdir(path.c_str(), 0700) == 0;
    case Kind::kDevice:
      return symlink("/dev/zero", path.c_str()) == 0;
  }
  return false;
}

// Child statuses: the loader refused, accepted, or was stopped.
constexpr int kRefused = 0;
constexpr int kAccepted = 1;
constexpr int kStopped = 128 + SIGALRM;

struct Outcome {
  int status;
  double seconds;
};

// The hang bound, in seconds: a child still running then is stopped. A
// refusal takes at most 0.1 s (one file, or the builder program) or 0.65 s
// (the whole character-code data) under ThreadSanitizer on a quiet machine,
// ten times that on a busy one; a blocked loader never returns.
constexpr unsigned kHangBound = 10;

// Runs refused() in a child, silenced, stopped after bound seconds.
Outcome Bounded(const std::function<bool()>& refused, unsigned bound = kHangBound) {
  const auto start = Clock::now();
  const int status = testsupport::RunInChild([&] {
    alarm(bound);
    freopen("/dev/null", "w", stderr);
    return refused() ? kRefused : kAccepted;
  });
  return {status, std::chrono::duration<double>(Clock::now() - start).count()};
}

// A loader of named files: what it needs made in dir before the case, the
// file (relative to dir) the case replaces, and the call, true when the
// loader reported the failure its contract gives.
struct Loader {
  const char* name;
  const char* file;
  std::function<void(const TempDir&)> prepare;
  std::function<bool(const TempDir&)> refused;
};

void NoPreparation(const TempDir&) {}

std::vector<Loader> Loaders() {
  static pbdict_test::Schema schema;
  return {
      {"ul_readconf", "x.conf", NoPreparation,
       [](const TempDir& d) {
         Ul_confdata* conf = ul_initconf(16);
         const bool r = ul_readconf(d.path().c_str(), "x.conf", conf) == -1;
         ul_freeconf(conf);
         return r;
       }},
      {"com_loadlog", "log.conf", NoPreparation,
       [](const TempDir& d) { return com_loadlog(d.path().c_str(), "log.conf") == -1; }},
      {"ul_readfile", "f", NoPreparation,
       [](const TempDir& d) {
         char buf[16];
         return ul_readfile(d.path().c_str(), "f", buf, sizeof(buf)) == -1;
       }},
      {"ul_finfo", "f", NoPreparation,
       [](const TempDir& d) {
         int lines, words, bytes;
         return ul_finfo(d.path().c_str(), "f", &lines, &words, &bytes) == -1;
       }},
      {"ul_cpfile", "f", NoPreparation,
       [](const TempDir& d) { return ul_cpfile(d.path().c_str(), "f", "g") == -1; }},
      {"dsur_load", "sur", NoPreparation,
       [](const TempDir& d) { return dsur_load(d.path().c_str(), "sur") == nullptr; }},
      {"dcp_load", "phrases", NoPreparation,
       [](const TempDir& d) { return dcp_load(d.path().c_str(), "phrases", "sur") == nullptr; }},
      {"dp_build", "src", NoPreparation,
       [](const TempDir& d) { return dp_build(d.path().c_str(), "src", "p") == -1; }},
      // dp_load logs a file it cannot read and leaves the dictionary empty.
      {"dp_load .ind1", "p.ind1",
       [](const TempDir& d) {
         WriteFile(d.file("src"), "alpha beta gamma\n");
         ASSERT_EQ(dp_build(d.path().c_str(), "src", "p"), 0);
       },
       [](const TempDir& d) {
         Sdict_phrase* dp = dp_load(d.path().c_str(), "p");
         char out[64];
         const bool r = dp != nullptr && dp_search(dp, "alpha", out) == 0;
         if (dp != nullptr) dp_del(dp);
         return r;
       }},
      {"db_syn_construct", "groups", NoPreparation,
       [](const TempDir& d) { return db_syn_construct(d.file("groups").c_str(), 11, 0) == nullptr; }},
      {"ds_syn_load .ind2", "s.ind2",
       [](const TempDir& d) {
         WriteFile(d.file("groups"), "a|b\n");
         Sdict_build_syn* syn = db_syn_construct(d.file("groups").c_str(), 11, 0);
         ASSERT_NE(syn, nullptr);
         ASSERT_EQ(db_syn_save(syn, d.path().c_str(), "s"), 1);
         db_syn_del(syn);
       },
       [](const TempDir& d) { return ds_syn_load(d.path().c_str(), "s") == nullptr; }},
      {"ds_load .ind1", "k.ind1",
       [](const TempDir& d) {
         Sdict_build* db = db_creat(11, 0);
         ASSERT_NE(db, nullptr);
         Sdict_snode node = {1, 2, 0, 0};
         db_op1(db, &node, ADD);
         ASSERT_EQ(db_save(db, d.path().c_str(), "k"), 1);
         db_del(db);
       },
       [](const TempDir& d) { return ds_load(d.path().c_str(), "k") == nullptr; }},
      {"ul_whiteUrl_load", "code/white-url.txt",
       [](const TempDir& d) { ASSERT_EQ(mkdir(d.file("code").c_str(), 0700), 0); },
       [](const TempDir& d) { return ul_whiteUrl_load(d.path().c_str(), "code/white-url.txt") == nullptr; }},
      {"ul_creat_gbi", "base", NoPreparation,
       [](const TempDir& d) {
         WriteFile(d.file("overlay"), "x\n");
         return ul_creat_gbi(d.path().c_str(), "base", "overlay", "out") == -1;
       }},
      {"PbDict::load (text)", "d.txt", NoPreparation,
       [](const TempDir& d) {
         kavo::pbdict::PbDict dict(schema.Prototype("t.V"), nullptr);
         return dict.load(d.file("d.txt").c_str()) != 0;
       }},
      {"PbDict::binary_load", "d.pbd",
       [](const TempDir& d) { WriteFile(d.file("d.ht"), ""); },
       [](const TempDir& d) {
         kavo::pbdict::PbDict dict(schema.Prototype("t.V"), nullptr);
         return dict.binary_load(d.path().c_str(), "d") != 0;
       }},
      {"pbdict-build -B", "s.proto",
       [](const TempDir& d) { WriteFile(d.file("d.txt"), "a\t{\"n\":1}\n"); },
       [](const TempDir& d) {
         const testsupport::ProgramResult r = testsupport::RunProgram(
             {testsupport::BinaryDir() + "/pbdict/pbdict-build", "-p", d.path(), "-n", "d.txt", "-B",
              d.file("s.proto"), "-b", "t.V"});
         return r.status == 255;
       }},
  };
}

TEST(NamedFileLoaders, RefuseAFifoAFolderAndADeviceAtOnce) {
  for (const Loader& loader : Loaders()) {
    for (Kind kind : kKinds) {
      SCOPED_TRACE(std::string(loader.name) + ", " + Name(kind));
      TempDir dir;
      loader.prepare(dir);
      if (::testing::Test::HasFatalFailure()) return;
      ASSERT_TRUE(Place(kind, dir.file(loader.file)));
      const Outcome o = Bounded([&] { return loader.refused(dir); });
      EXPECT_EQ(o.status, kRefused) << (o.status == kStopped ? "blocked" : "not refused");
      EXPECT_LT(o.seconds, kHangBound);
    }
  }
}

// The character-code data directory, a FIFO in place of each of its files in
// turn (a folder of links to the real files and folders, which loads whole,
// so that every file is reached): every load returns at once,
// and one a required file is missing from fails. A load may take ten times
// a load of the intact folder timed first (the machine may be busier by
// then), and never less than the hang bound; the first blocked load ends the
// test.
TEST(NamedFileLoaders, CharacterCodeDataRefusesAFifoInPlaceOfAnyFile) {
#if defined(__SANITIZE_THREAD__)
  // About 75 whole loads of the data run on one thread: over three minutes
  // under ThreadSanitizer with nothing for it to check. The release and
  // address-sanitizer builds run it.
  GTEST_SKIP() << "single-threaded and slow under ThreadSanitizer";
#endif
  const std::string data = std::string(ul_ccode_default_path()) + "/code";
  std::vector<std::string> files;
  DIR* d = opendir(data.c_str());
  ASSERT_NE(d, nullptr) << data;
  std::vector<std::string> folders;
  for (struct dirent* e; (e = readdir(d)) != nullptr;) {
    struct stat st;
    if (stat((data + "/" + e->d_name).c_str(), &st) != 0) continue;
    if (S_ISREG(st.st_mode)) files.push_back(e->d_name);
    if (S_ISDIR(st.st_mode) && e->d_name[0] != '.') folders.push_back(e->d_name);
  }
  closedir(d);
  ASSERT_GT(files.size(), 70u);
  TempDir dir;
  ASSERT_EQ(mkdir(dir.file("code").c_str(), 0700), 0);
  for (const std::string& f : files) {
    ASSERT_EQ(symlink((data + "/" + f).c_str(), dir.file("code/" + f).c_str()), 0);
  }
  for (const std::string& f : folders) {
    ASSERT_EQ(symlink((data + "/" + f).c_str(), dir.file("code/" + f).c_str()), 0);
  }
  const Outcome intact = Bounded([&] { return ul_ccode_load(dir.path().c_str(), 15) == -1; }, 6 * kHangBound);
  // The intact folder loads whole, so every file below is reached.
  ASSERT_EQ(intact.status, kAccepted);
  const unsigned bound = std::max(kHangBound, static_cast<unsigned>(10 * intact.seconds) + 1);
  int refused = 0;
  for (const std::string& f : files) {
    SCOPED_TRACE(f);
    const std::string at = dir.file("code/" + f);
    ASSERT_TRUE(Place(Kind::kFifo, at));
    const Outcome o = Bounded([&] { return ul_ccode_load(dir.path().c_str(), 15) == -1; }, bound);
    ASSERT_NE(o.status, kStopped) << "blocked";
    EXPECT_LT(o.seconds, bound);
    if (o.status == kRefused) ++refused;
    unlink(at.c_str());
    ASSERT_EQ(symlink((data + "/" + f).c_str(), at.c_str()), 0);
  }
  // A folder and a device in place of a required grid.
  for (Kind kind : {Kind::kFolder, Kind::kDevice}) {
    SCOPED_TRACE(Name(kind));
    ASSERT_TRUE(Place(kind, dir.file("code/big5-gbk.txt")));
    const Outcome o = Bounded([&] { return ul_ccode_load(dir.path().c_str(), 15) == -1; }, bound);
    EXPECT_EQ(o.status, kRefused);
    EXPECT_LT(o.seconds, bound);
  }
  RecordProperty("files", static_cast<int>(files.size()));
  RecordProperty("refused", refused);
  RecordProperty("bound_s", static_cast<int>(bound));
  EXPECT_GT(refused, 0);
}

}  // namespace
