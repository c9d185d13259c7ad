// The shared toolkit where it carries logic: refused path joins, transfers
// over short reads and writes, whole-file replacement, the queue's stop and
// the worker's prompt stop.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "rename_seam.h"
#include "support/support.h"
#include "toolkit/file.h"
#include "toolkit/output_lock.h"
#include "toolkit/path.h"
#include "toolkit/queue.h"
#include "toolkit/replace.h"
#include "toolkit/worker.h"

namespace {

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;
using namespace std::chrono_literals;

TEST(Toolkit, JoinRefusesWhatDoesNotFit) {
  struct Case {
    const char* dir;
    const char* name;
    const char* suffix;
    const char* joined;  // fits in exactly strlen + 1 bytes
  } cases[] = {
      {"ab", "cd", "", "ab/cd"},
      {"ab", "cd", ".n", "ab/cd.n"},
      {"", "cd", "", "/cd"},
      {"ab", "", "", "ab/"},
  };
  for (const auto& c : cases) {
    const size_t need = std::string(c.joined).size() + 1;
    std::vector<char> buf(need + 1, 'x');
    ASSERT_TRUE(toolkit::JoinPath(buf.data(), need, c.dir, c.name, c.suffix)) << c.joined;
    EXPECT_STREQ(c.joined, buf.data());
    std::fill(buf.begin(), buf.end(), 'x');
    ASSERT_FALSE(toolkit::JoinPath(buf.data(), need - 1, c.dir, c.name, c.suffix)) << c.joined;
    EXPECT_EQ('\0', buf[0]);  // refused: left empty, never cut
    EXPECT_EQ(std::string(need - 1, 'x'), std::string(buf.data() + 1, need - 1));
  }
  char one = 'q';
  EXPECT_FALSE(toolkit::Concat(&one, 0, {}));
  EXPECT_EQ('q', one);  // nothing written into a zero-size buffer
  EXPECT_TRUE(toolkit::Concat(&one, 1, {"", std::string_view()}));
  EXPECT_EQ('\0', one);
  char name[8];
  EXPECT_TRUE(toolkit::JoinPath(name, "ab", "de", ".x"));  // 7 bytes and the NUL
  EXPECT_FALSE(toolkit::JoinPath(name, "ab", "def", ".x"));
}

// A path's spellings of one file made one without a look at the file
// system; a step ".." is kept.
TEST(Toolkit, LexicalPathTakesOutOnlyStepsThatNameNothingElse) {
  struct Case {
    const char* path;
    const char* lexical;
  } cases[] = {
      {"a//b", "a/b"}, {"./a", "a"},         {"a/./b", "a/b"},   {"a/", "a/"},
      {"a/.", "a/"},   {"//a", "/a"},        {"/", "/"},         {"./", "."},
      {"", ""},        {"a/../b", "a/../b"}, {"../a", "../a"},   {".a/..b/...", ".a/..b/..."},
  };
  for (const auto& c : cases) EXPECT_EQ(c.lexical, toolkit::LexicalPath(c.path)) << c.path;
}

// A rename never replaces a file at its target (also a symbolic link that
// leads nowhere, or one that takes the name at the last instant), whether
// the file system refuses to replace by itself or cannot (EINVAL, ENOSYS,
// EPERM: the name is taken first with an empty file, which a failed rename
// removes again); another failure is passed on.
TEST(Toolkit, RenameNoReplaceNeverReplaces) {
  TempDir d;
  const std::string from = d.file("from"), to = d.file("to");
  renameseam::InPlace seam;
  for (const int err : {0, EINVAL, ENOSYS, EPERM}) {
    renameseam::errno_value = err;
    WriteFile(from, "from");
    ASSERT_EQ(0, toolkit::RenameNoReplace(from.c_str(), to.c_str())) << err;
    EXPECT_EQ("from", ReadFile(to));
    EXPECT_FALSE(testsupport::FileExists(from));

    WriteFile(from, "again");
    EXPECT_EQ(-1, toolkit::RenameNoReplace(from.c_str(), to.c_str()));
    EXPECT_EQ(EEXIST, errno);
    EXPECT_EQ("from", ReadFile(to));
    EXPECT_EQ("again", ReadFile(from));
    ASSERT_EQ(0, unlink(to.c_str()));

    ASSERT_EQ(0, symlink("nowhere", to.c_str()));
    EXPECT_EQ(-1, toolkit::RenameNoReplace(from.c_str(), to.c_str()));
    EXPECT_EQ(EEXIST, errno);
    char target[16] = {};
    EXPECT_EQ(7, readlink(to.c_str(), target, sizeof(target) - 1));
    ASSERT_EQ(0, unlink(to.c_str()));

    renameseam::take = "taken";
    EXPECT_EQ(-1, toolkit::RenameNoReplace(from.c_str(), to.c_str()));
    EXPECT_EQ(EEXIST, errno);
    EXPECT_EQ("taken", ReadFile(to));
    EXPECT_EQ("again", ReadFile(from));
    ASSERT_EQ(0, unlink(to.c_str()));

    ASSERT_EQ(0, unlink(from.c_str()));
    EXPECT_EQ(-1, toolkit::RenameNoReplace(from.c_str(), to.c_str()));
    EXPECT_EQ(ENOENT, errno);
    EXPECT_FALSE(testsupport::FileExists(to)) << err;  // no empty file left
  }
  renameseam::errno_value = EACCES;
  WriteFile(from, "from");
  EXPECT_EQ(-1, toolkit::RenameNoReplace(from.c_str(), to.c_str()));
  EXPECT_EQ(EACCES, errno);
  EXPECT_FALSE(testsupport::FileExists(to));
  EXPECT_EQ(-1, toolkit::RenameNoReplace(nullptr, to.c_str()));
  EXPECT_EQ(EINVAL, errno);
}

// A write or read function that moves at most one byte per call and fails
// every other call with EINTR; and ones that note the largest piece asked.
int g_calls = 0;
size_t g_largest = 0;
ssize_t TrickleWrite(int fd, const void* buf, size_t n) {
  if (++g_calls % 2 == 1) {
    errno = EINTR;
    return -1;
  }
  return write(fd, buf, n > 0 ? 1 : 0);
}
ssize_t TrickleRead(int fd, void* buf, size_t n) {
  if (++g_calls % 2 == 1) {
    errno = EINTR;
    return -1;
  }
  return read(fd, buf, n > 0 ? 1 : 0);
}
ssize_t NotingWrite(int fd, const void* buf, size_t n) {
  g_largest = std::max(g_largest, n);
  return write(fd, buf, n);
}
ssize_t NotingRead(int fd, void* buf, size_t n) {
  g_largest = std::max(g_largest, n);
  return read(fd, buf, n);
}
ssize_t WriteNothing(int, const void*, size_t) { return 0; }
int FailingFclose(FILE* fp) {
  fclose(fp);
  errno = EIO;
  return -1;
}
int g_closed_with = -1;
int FailingClose(int fd) {
  g_closed_with = fd;
  if (fd > 0) close(fd);  // 0 stands for a descriptor, never closed here
  errno = EIO;
  return -1;
}

TEST(Toolkit, TransfersResumeAfterShortCallsAndInterruptions) {
  TempDir d;
  const std::string data = "0123456789abcdef";
  {
    toolkit::UniqueFd fd(open(d.file("f").c_str(), O_WRONLY | O_CREAT, 0600));
    ASSERT_TRUE(fd.ok());
    EXPECT_TRUE(toolkit::WriteAll(fd.get(), data.data(), data.size(), TrickleWrite));
    EXPECT_TRUE(toolkit::WriteAll(fd.get(), data.data(), data.size(), NotingWrite, 3));
    EXPECT_EQ(3u, g_largest);
    errno = 0;
    EXPECT_FALSE(toolkit::WriteAll(fd.get(), "x", 1, WriteNothing));  // no progress: an error
    EXPECT_EQ(EIO, errno);
    EXPECT_TRUE(fd.Close());
  }
  EXPECT_EQ(data + data, ReadFile(d.file("f")));

  toolkit::UniqueFd fd(open(d.file("f").c_str(), O_RDONLY));
  ASSERT_TRUE(fd.ok());
  char buf[64] = {};
  EXPECT_TRUE(toolkit::ReadExact(fd.get(), buf, data.size(), TrickleRead, 5));
  EXPECT_EQ(data, std::string(buf, data.size()));
  // The file holds 16 more bytes: 16 read exactly, then the end of the file.
  g_largest = 0;
  EXPECT_EQ(16, toolkit::ReadFull(fd.get(), buf, sizeof(buf), NotingRead, 0));  // 0: one piece
  EXPECT_EQ(sizeof(buf), g_largest);
  ASSERT_EQ(16, lseek(fd.get(), 16, SEEK_SET));
  errno = EINVAL;
  EXPECT_FALSE(toolkit::ReadExact(fd.get(), buf, 17));  // one byte past the end
  EXPECT_EQ(0, errno);                                  // the end, not an error
  g_largest = 0;
  ASSERT_EQ(0, lseek(fd.get(), 0, SEEK_SET));
  EXPECT_EQ(32, toolkit::ReadFull(fd.get(), buf, sizeof(buf), NotingRead, 5));
  EXPECT_EQ(5u, g_largest);
  EXPECT_TRUE(toolkit::PreadExact(fd.get(), buf, 16, 16));
  EXPECT_EQ(data, std::string(buf, 16));
  EXPECT_FALSE(toolkit::PreadExact(fd.get(), buf, 17, 16));
  EXPECT_EQ(-1, toolkit::ReadFull(-1, buf, 1));
  EXPECT_EQ(EBADF, errno);

  // The owner's close function goes with it through a move, and its
  // failure is reported once.
  const int raw = open(d.file("f").c_str(), O_RDONLY);
  toolkit::UniqueFd a(raw, FailingClose);
  toolkit::UniqueFd b;
  b = std::move(a);
  EXPECT_FALSE(a.ok());
  EXPECT_FALSE(b.Close());
  EXPECT_EQ(raw, g_closed_with);
  EXPECT_TRUE(b.Close());  // nothing left to close
  toolkit::UniqueFd zero(0, FailingClose);  // descriptor 0 is owned like any other
  EXPECT_FALSE(zero.Close());
  EXPECT_EQ(0, g_closed_with);
  toolkit::UniqueFile f(fopen(d.file("f").c_str(), "r"), FailingFclose);
  toolkit::UniqueFile g;
  g = std::move(f);
  EXPECT_FALSE(f.ok());
  EXPECT_FALSE(g.Close());
  EXPECT_TRUE(g.Close());
}

TEST(Toolkit, ReplacementKeepsTheOldFileUntilInstalled) {
  TempDir d;
  const std::string path = d.file("out");
  WriteFile(path, "old");
  {
    toolkit::FileReplacement r;
    ASSERT_TRUE(r.Open(path, 0640, true));
    const std::string temp = r.temp_path();
    EXPECT_EQ(0u, temp.rfind(toolkit::TemporaryPrefix(path), 0));
    ASSERT_TRUE(toolkit::WriteAll(r.fd(), "new", 3));
    ASSERT_TRUE(r.Finish());
    EXPECT_EQ("old", ReadFile(path));  // finished, not yet installed
    ASSERT_TRUE(r.Install());
    EXPECT_FALSE(testsupport::FileExists(temp));
  }
  EXPECT_EQ("new", ReadFile(path));
  struct stat st;
  ASSERT_EQ(0, stat(path.c_str(), &st));
  EXPECT_EQ(0640u, st.st_mode & 07777u);

  // Abandoned (here by the destructor) after writing: the temporary goes,
  // the file stays.
  std::string temp;
  {
    toolkit::FileReplacement r;
    ASSERT_TRUE(r.Open(path, 0644));
    temp = r.temp_path();
    ASSERT_EQ(5, fprintf(r.Stream(), "lost!"));
  }
  EXPECT_FALSE(testsupport::FileExists(temp));
  EXPECT_EQ("new", ReadFile(path));
  toolkit::FileReplacement unfinished;
  ASSERT_TRUE(unfinished.Open(path, 0644));
  EXPECT_FALSE(unfinished.Install());  // not finished: refused
  unfinished.Abandon();
  EXPECT_FALSE(unfinished.Finish());

  // A symlink at the final name is replaced, not written through.
  WriteFile(d.file("target"), "target");
  ASSERT_EQ(0, symlink(d.file("target").c_str(), d.file("link").c_str()));
  toolkit::FileReplacement s;
  ASSERT_TRUE(s.Open(d.file("link"), 0644));
  ASSERT_EQ(4, fprintf(s.Stream(), "real"));
  ASSERT_TRUE(s.Commit());
  EXPECT_EQ("target", ReadFile(d.file("target")));
  ASSERT_EQ(0, lstat(d.file("link").c_str(), &st));
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ("real", ReadFile(d.file("link")));

  // A rename that fails (a folder at the final name) keeps the folder and
  // removes the temporary.
  ASSERT_EQ(0, mkdir(d.file("dir").c_str(), 0755));
  toolkit::FileReplacement over_dir;
  ASSERT_TRUE(over_dir.Open(d.file("dir"), 0644));
  temp = over_dir.temp_path();
  ASSERT_TRUE(over_dir.Finish());
  EXPECT_FALSE(over_dir.Install());
  EXPECT_EQ(EISDIR, errno);
  EXPECT_FALSE(testsupport::FileExists(temp));
  ASSERT_EQ(0, stat(d.file("dir").c_str(), &st));
  EXPECT_TRUE(S_ISDIR(st.st_mode));

  // Bytes that cannot all reach the disk (a file-size limit, in a child):
  // Finish fails, the temporary goes, the old file stays.
  const int status = testsupport::RunInChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim = {4096, 4096};
    if (setrlimit(RLIMIT_FSIZE, &lim) != 0) return 10;
    toolkit::FileReplacement big;
    if (!big.Open(path, 0644)) return 1;
    const std::string bytes(4000, 'b');  // buffered: the stream's flush fails
    for (int i = 0; i < 2; ++i) fwrite(bytes.data(), 1, bytes.size(), big.Stream());
    const std::string name = big.temp_path();
    if (big.Finish() || errno != EFBIG) return 2;
    return testsupport::FileExists(name) ? 3 : 0;
  });
  EXPECT_EQ(0, status);
  EXPECT_EQ("new", ReadFile(path));

  // A folder that does not exist: nothing is made.
  toolkit::FileReplacement missing;
  EXPECT_FALSE(missing.Open(d.file("none/out"), 0644));
  EXPECT_EQ(ENOENT, errno);

  // Leftovers of interrupted replacements go; other files stay.
  WriteFile(toolkit::TemporaryPrefix(path) + "1-2-3", "stale");
  toolkit::OutputLock lock;
  ASSERT_TRUE(lock.TryLock(path));
  toolkit::RemoveStaleTemporaries(path, lock);
  EXPECT_FALSE(testsupport::FileExists(toolkit::TemporaryPrefix(path) + "1-2-3"));
  EXPECT_EQ("new", ReadFile(path));
}

// Leftovers are only files named as a replacement names its temporaries:
// the prefix, then the writer's process id, its sequence number and the
// clock's low 16 bits, each in decimal as the writer writes it. Anything
// else beside the output is a user's file.
TEST(Toolkit, StaleTemporariesAreOnlyWhatAWriterLeft) {
  TempDir d;
  const std::string path = d.file("out");
  const std::string prefix = toolkit::TemporaryPrefix(path);
  // A writer killed with its temporary open.
  const int status = testsupport::RunInChild([&] {
    toolkit::FileReplacement r;
    if (!r.Open(path, 0644)) return 1;
    WriteFile(d.file("name"), r.temp_path());
    raise(SIGKILL);
    return 2;
  });
  ASSERT_EQ(128 + SIGKILL, status);
  const std::string killed = ReadFile(d.file("name"));
  ASSERT_TRUE(testsupport::FileExists(killed));
  const struct {
    const char* rest;  // after the prefix
    bool stale;
  } names[] = {
      {"1-2-3", true},
      {"2147483647-4294967295-65535", true},  // each part at its largest
      {"2147483648-0-0", false},              // past the largest process id
      {"1-4294967296-0", false},              // past the largest sequence number
      {"1-0-65536", false},                   // past the clock's 16 bits
      {"0-1-2", false},                       // no process has id 0
      {"01-2-3", false},                      // not as the writer writes a number
      {"+1-2-3", false},
      {"1-2", false},
      {"1-2-3-4", false},
      {"1-2-3x", false},
      {"1--3", false},
      {"99999999999999999999999-1-2", false},  // does not fit any number
      {"mine", false},
      {"", false},
  };
  for (const auto& n : names) WriteFile(prefix + n.rest, "x");
  WriteFile(d.file("other.tmp-1-2-3"), "x");  // another output's
  // A file to keep (an input read under such a name), and a link to it.
  WriteFile(prefix + "7-8-9", "input");
  ASSERT_EQ(0, symlink((prefix + "7-8-9").c_str(), (prefix + "7-8-10").c_str()));
  struct stat st;
  ASSERT_EQ(0, stat((prefix + "7-8-9").c_str(), &st));
  const toolkit::FileId input{st.st_dev, st.st_ino};

  // Without the output's lock nothing goes: a live writer may own them.
  toolkit::OutputLock lock;
  toolkit::RemoveStaleTemporaries(path, lock, {input});
  EXPECT_TRUE(testsupport::FileExists(killed));
  EXPECT_TRUE(testsupport::FileExists(prefix + "1-2-3"));

  ASSERT_TRUE(lock.TryLock(path));
  toolkit::RemoveStaleTemporaries(path, lock, {input});
  EXPECT_FALSE(testsupport::FileExists(killed));
  for (const auto& n : names) {
    EXPECT_EQ(!n.stale, testsupport::FileExists(prefix + n.rest)) << n.rest;
  }
  EXPECT_TRUE(testsupport::FileExists(d.file("other.tmp-1-2-3")));
  EXPECT_EQ("input", ReadFile(prefix + "7-8-9"));
  EXPECT_EQ("input", ReadFile(prefix + "7-8-10"));

  // Old files that installs kept have names of their own, which the
  // clean-up of temporaries passes over (one may be the only copy of the
  // previous file); their own clean-up, once a new file is in place, takes
  // exactly those names, under the lock, and spares the files to keep.
  const std::string backup = toolkit::BackupPrefix(path);
  for (const char* rest : {"1-2-3", "01-2-3", "7-8-11"}) WriteFile(backup + rest, "old");
  ASSERT_EQ(0, link((prefix + "7-8-9").c_str(), (backup + "7-8-12").c_str()));
  WriteFile(prefix + "4-5-6", "x");
  toolkit::RemoveStaleTemporaries(path, lock, {input});
  EXPECT_FALSE(testsupport::FileExists(prefix + "4-5-6"));
  EXPECT_EQ("old", ReadFile(backup + "1-2-3"));
  WriteFile(prefix + "4-5-6", "x");
  toolkit::OutputLock not_held;
  toolkit::RemoveStaleBackups(path, not_held, {input});
  EXPECT_EQ("old", ReadFile(backup + "1-2-3"));
  toolkit::RemoveStaleBackups(path, lock, {input});
  EXPECT_FALSE(testsupport::FileExists(backup + "1-2-3"));
  EXPECT_FALSE(testsupport::FileExists(backup + "7-8-11"));
  EXPECT_EQ("old", ReadFile(backup + "01-2-3"));
  EXPECT_EQ("input", ReadFile(backup + "7-8-12"));
  EXPECT_EQ("x", ReadFile(prefix + "4-5-6"));
}

// Renames through InstallTogether, numbered from 0 in the order made; those
// whose numbers a test lists are refused (EPERM), as a sticky folder
// refuses a file of another user. Links are refused when a test says so,
// as a file system without them refuses them.
std::vector<int> g_refused_renames;
int g_renames = 0;
int RefusingRename(const char* from, const char* to) {
  const int at = g_renames++;
  if (std::find(g_refused_renames.begin(), g_refused_renames.end(), at) != g_refused_renames.end()) {
    errno = EPERM;
    return -1;
  }
  return ::rename(from, to);
}
int RefusedLink(const char*, const char*) {
  errno = EPERM;
  return -1;
}

class RefusedRenames {
 public:
  RefusedRenames(std::vector<int> at, bool no_links) {
    g_refused_renames = std::move(at);
    g_renames = 0;
    toolkit::replace_rename = RefusingRename;
    if (no_links) toolkit::replace_link = RefusedLink;
  }
  ~RefusedRenames() {
    toolkit::replace_rename = nullptr;
    toolkit::replace_link = nullptr;
  }
};

// The names in a folder, sorted, each with its contents ("" for a folder).
std::vector<std::string> Listing(const std::string& dir) {
  std::vector<std::string> out;
  for (const std::string& n : testsupport::FilesStartingWith(dir, "")) {
    if (n != "." && n != "..") out.push_back(n + "=" + ReadFile(dir + "/" + n));
  }
  std::sort(out.begin(), out.end());
  return out;
}

// Files installed together over the old p and q (a barrier "B" at p first,
// then "Q" at q, then "P" at p last, as a dictionary's two files go in):
// a rename refused at any point, the moving aside of an old file where
// links are refused included, leaves each name as it was and nothing
// beside them. A refused put-back stops the putting back there and keeps
// the old files not put back.
TEST(Toolkit, InstallTogetherRefusedHalfWayPutsTheOldFilesBack) {
  enum Old { kNone, kFile, kFolder };
  const struct {
    const char* what;
    Old old_p;
    bool old_q;           // "q0" stands at q
    bool two;             // the set without the barrier: q, then p
    bool no_links;        // old files are moved aside instead
    std::vector<int> refused;
    size_t failed;        // the file that failed; 3 (2 for two files): none did
    std::vector<std::string> left;  // what the names hold after a failed put-back
  } rows[] = {
      {"the first rename", kFile, true, false, false, {0}, 0, {}},
      {"the second", kFile, true, false, false, {1}, 1, {}},
      {"the last", kFile, true, false, false, {2}, 2, {}},
      {"the last, over no old p", kNone, true, false, false, {2}, 2, {}},
      {"the last, over nothing", kNone, false, false, false, {2}, 2, {}},
      {"the last of two", kFile, true, true, false, {1}, 1, {}},
      {"over a folder", kFolder, true, false, false, {}, 0, {}},
      {"the moving aside of old p", kFile, true, false, true, {0}, 0, {}},
      {"the moving aside of old q", kFile, true, false, true, {2}, 1, {}},
      {"the last, old files moved aside", kFile, true, false, true, {4}, 2, {}},
      {"the last and the putting back of q", kFile, true, false, false, {2, 3}, 2, {"p=B", "q=Q"}},
      {"the last and the putting back of p", kFile, true, false, false, {2, 4}, 2, {"p=B", "q=q0"}},
      {"none", kFile, true, false, false, {}, 3, {}},
      {"none, old files moved aside", kFile, true, false, true, {}, 3, {}},
      {"none, over nothing", kNone, false, false, false, {}, 3, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    TempDir d;
    const std::string p = d.file("p"), q = d.file("q");
    if (row.old_p == kFile) WriteFile(p, "p0");
    if (row.old_p == kFolder) {
      ASSERT_EQ(0, mkdir(p.c_str(), 0755));
    }
    if (row.old_q) WriteFile(q, "q0");
    const std::vector<std::string> before = Listing(d.path());
    toolkit::FileReplacement barrier, new_q, new_p;
    for (auto [r, path, bytes] : {std::make_tuple(&barrier, p, "B"), std::make_tuple(&new_q, q, "Q"),
                                  std::make_tuple(&new_p, p, "P")}) {
      ASSERT_TRUE(r->Open(path, 0644));
      ASSERT_TRUE(toolkit::WriteAll(r->fd(), bytes, 1));
      ASSERT_TRUE(r->Finish());
    }
    toolkit::InstallResult result;
    {
      RefusedRenames refuse(row.refused, row.no_links);
      result = row.two ? toolkit::InstallTogether({&new_q, &new_p})
                       : toolkit::InstallTogether({&barrier, &new_q, &new_p});
    }
    barrier.Abandon();
    const size_t n = row.two ? 2 : 3;
    const std::vector<std::string> after = Listing(d.path());
    if (row.failed == n) {
      EXPECT_TRUE(result.installed);
      EXPECT_EQ((std::vector<std::string>{"p=P", "q=Q"}), after);
      continue;
    }
    EXPECT_FALSE(result.installed);
    EXPECT_EQ(row.failed, result.failed);
    EXPECT_EQ(row.old_p == kFolder ? EISDIR : EPERM, result.error);
    EXPECT_EQ(row.left.empty(), result.put_back);
    if (row.left.empty()) {
      EXPECT_EQ(before, after);
      for (const auto* r : {&barrier, &new_q, &new_p}) EXPECT_EQ("", r->backup_path());
      continue;
    }
    // Not put back: the names as the install left them, and beside them
    // each old file not put back, under the backup name of its name's
    // first file.
    std::vector<std::string> left = row.left;
    for (const auto& [r, old] : {std::make_pair(&barrier, "p0"), std::make_pair(&new_q, "q0")}) {
      if (r->backup_path().empty()) continue;
      EXPECT_EQ(old, ReadFile(r->backup_path()));
      // Not a temporary's name: the next writer's clean-up passes over it.
      EXPECT_EQ(0u, r->backup_path().rfind(toolkit::BackupPrefix(r->path()), 0)) << r->backup_path();
      left.push_back(r->backup_path().substr(d.path().size() + 1) + "=" + old);
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, after);
    EXPECT_EQ("", new_p.backup_path());
  }

  // An output folder reached through a symlink, an old file that is a
  // symlink: put back as they were.
  TempDir d;
  ASSERT_EQ(0, mkdir(d.file("real").c_str(), 0755));
  ASSERT_EQ(0, symlink(d.file("real").c_str(), d.file("via").c_str()));
  WriteFile(d.file("target"), "t0");
  ASSERT_EQ(0, symlink(d.file("target").c_str(), d.file("real/q").c_str()));
  WriteFile(d.file("real/p"), "p0");
  toolkit::FileReplacement new_q, new_p;
  ASSERT_TRUE(new_q.Open(d.file("via/q"), 0644));
  ASSERT_TRUE(new_p.Open(d.file("via/p"), 0644));
  ASSERT_TRUE(new_q.Finish() && new_p.Finish());
  {
    RefusedRenames refuse({1}, false);
    EXPECT_FALSE(toolkit::InstallTogether({&new_q, &new_p}).installed);
  }
  char link[256] = {};
  ASSERT_LT(0, readlink(d.file("real/q").c_str(), link, sizeof link - 1));
  EXPECT_EQ(d.file("target"), link);
  EXPECT_EQ("t0", ReadFile(d.file("target")));
  EXPECT_EQ((std::vector<std::string>{"p=p0", "q=t0"}), Listing(d.file("real")));
}

TEST(Toolkit, OpenForReadingTakesRegularFilesOnlyAndNeverBlocks) {
  TempDir d;
  WriteFile(d.file("f"), "abc");
  ASSERT_EQ(0, mkfifo(d.file("fifo").c_str(), 0600));
  toolkit::UniqueFd fd = toolkit::OpenForReading(d.file("f").c_str());
  ASSERT_TRUE(fd.ok());
  EXPECT_EQ(0, fcntl(fd.get(), F_GETFL) & O_NONBLOCK);  // blocking again
  char buf[4];
  EXPECT_EQ(3, toolkit::ReadFull(fd.get(), buf, sizeof(buf)));
  const struct {
    std::string path;
    int err;
  } refused[] = {
      {d.file("fifo"), EINVAL},  // no writer: a blocking open would wait for ever
      {"/dev/zero", EINVAL},
      {d.path(), EISDIR},
      {d.file("none"), ENOENT},
  };
  for (const auto& r : refused) {
    errno = 0;
    EXPECT_FALSE(toolkit::OpenForReading(r.path.c_str()).ok()) << r.path;
    EXPECT_EQ(r.err, errno) << r.path;
  }
  EXPECT_FALSE(toolkit::OpenForReading(nullptr).ok());
  // The stream form: the same refusals, and a stream that reads the file.
  toolkit::UniqueFile fp = toolkit::OpenStreamForReading(d.file("f").c_str());
  ASSERT_TRUE(fp.ok());
  EXPECT_EQ(3u, fread(buf, 1, sizeof(buf), fp.get()));
  EXPECT_FALSE(toolkit::OpenStreamForReading(d.file("fifo").c_str()).ok());
  EXPECT_EQ(EINVAL, errno);
}

TEST(Toolkit, OpenForAppendingNeverBlocksNorWaitsOnAFileThatIsNotRegular) {
  TempDir d;
  const std::string f = d.file("f");
  WriteFile(f, "abc");
  toolkit::UniqueFd fd = toolkit::OpenForAppending(f.c_str(), 0600);
  ASSERT_TRUE(fd.ok());
  EXPECT_EQ(0, fcntl(fd.get(), F_GETFL) & O_NONBLOCK);  // a regular file: blocking
  EXPECT_TRUE(toolkit::WriteAll(fd.get(), "de", 2));
  EXPECT_EQ("abcde", ReadFile(f));
  const mode_t old_mask = umask(022);
  toolkit::UniqueFd made = toolkit::OpenForAppending(d.file("new").c_str(), 0666);
  umask(old_mask);
  ASSERT_TRUE(made.ok());
  struct stat st;
  ASSERT_EQ(0, fstat(made.get(), &st));
  EXPECT_EQ(0644u, st.st_mode & 0777);

  // A FIFO without a reader: refused at once for writing only, its own
  // reader for reading and writing; with a reader that never reads, writes
  // fail once the pipe is full instead of waiting.
  const std::string fifo = d.file("fifo");
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  errno = 0;
  EXPECT_FALSE(toolkit::OpenForAppending(fifo.c_str(), 0600).ok());
  EXPECT_EQ(ENXIO, errno);
  const std::string chunk(4096, 'x');
  auto chunks_taken = [&](int fd) {
    errno = 0;
    int chunks = 0;
    while (chunks < 1024 && toolkit::WriteAll(fd, chunk.data(), chunk.size())) ++chunks;
    EXPECT_EQ(EAGAIN, errno);
    return chunks;
  };
  {
    toolkit::UniqueFd own = toolkit::OpenForAppending(fifo.c_str(), 0600, O_RDWR);
    ASSERT_TRUE(own.ok());
    EXPECT_LT(chunks_taken(own.get()), 1024);
  }
  toolkit::UniqueFd reader(::open(fifo.c_str(), O_RDONLY | O_NONBLOCK));
  ASSERT_TRUE(reader.ok());
  toolkit::UniqueFd pipe_end = toolkit::OpenForAppending(fifo.c_str(), 0600);
  ASSERT_TRUE(pipe_end.ok());
  EXPECT_NE(0, fcntl(pipe_end.get(), F_GETFL) & O_NONBLOCK);
  EXPECT_LT(chunks_taken(pipe_end.get()), 1024);
  errno = 0;
  EXPECT_FALSE(toolkit::OpenForAppending(f.c_str(), 0600, O_RDONLY).ok());
  EXPECT_EQ(EINVAL, errno);
  // A device that takes every write at once is fine; a folder is not.
  EXPECT_TRUE(toolkit::OpenForAppending("/dev/null", 0600).ok());
  errno = 0;
  EXPECT_FALSE(toolkit::OpenForAppending(d.path().c_str(), 0600).ok());
  EXPECT_EQ(EISDIR, errno);
  EXPECT_FALSE(toolkit::OpenForAppending(nullptr, 0600).ok());

  // The stream form appends the same way and refuses the same files.
  toolkit::UniqueFile fp = toolkit::OpenStreamForAppending(f.c_str(), 0600);
  ASSERT_TRUE(fp.ok());
  EXPECT_EQ(1u, fwrite("f", 1, 1, fp.get()));
  EXPECT_TRUE(fp.Close());
  EXPECT_EQ("abcdef", ReadFile(f));
  reader.Close();
  EXPECT_FALSE(toolkit::OpenStreamForAppending(fifo.c_str(), 0600).ok());
}

TEST(Toolkit, OutputLockKeepsASecondWriterOut) {
  TempDir d;
  const std::string out = d.file("out");
  const std::string lock_file = toolkit::OutputLock::LockPath(out);
  {
    toolkit::OutputLock first, second;
    ASSERT_TRUE(first.TryLock(out));
    EXPECT_TRUE(testsupport::FileExists(lock_file));
    EXPECT_FALSE(second.TryLock(out));
    EXPECT_EQ(EWOULDBLOCK, errno);
    EXPECT_FALSE(second.held());
    first.Unlock();
    EXPECT_FALSE(testsupport::FileExists(lock_file));
    EXPECT_TRUE(second.TryLock(out));  // free again
  }
  // Released at scope end. A file that stands at the lock's name (the lock
  // file of a killed writer, or anyone's) is taken over as it is, keeps a
  // second writer out just the same, and stays: only a lock file the lock
  // made itself is removed.
  EXPECT_FALSE(testsupport::FileExists(lock_file));
  ASSERT_EQ(128 + SIGKILL, testsupport::RunInChild([&] {
              toolkit::OutputLock killed;
              if (!killed.TryLock(out)) return 1;
              raise(SIGKILL);
              return 2;
            }));
  ASSERT_TRUE(testsupport::FileExists(lock_file));
  for (const std::string& text : {std::string(), std::string("a user's file")}) {
    if (!text.empty()) WriteFile(lock_file, text);
    toolkit::OutputLock again, other;
    ASSERT_TRUE(again.TryLock(out)) << text;
    EXPECT_FALSE(other.TryLock(out));
    EXPECT_EQ(EWOULDBLOCK, errno);
    again.Unlock();
    EXPECT_EQ(text, ReadFile(lock_file));
    EXPECT_TRUE(other.TryLock(out));  // the same file, free again
    other.Unlock();
    EXPECT_EQ(text, ReadFile(lock_file));
  }
  ASSERT_TRUE(testsupport::FileExists(lock_file));
  toolkit::OutputLock nowhere;
  EXPECT_FALSE(nowhere.TryLock(d.file("none/out")));
  EXPECT_EQ(ENOENT, errno);
}

// Makes TryLock take the way of a folder that cannot make unnamed files
// while it lives, calling pause between the making of the lock file and its
// locking.
class NoUnnamedFiles {
 public:
  explicit NoUnnamedFiles(void (*pause)()) { toolkit::output_lock_named_pause = pause; }
  ~NoUnnamedFiles() { toolkit::output_lock_named_pause = nullptr; }
  NoUnnamedFiles(const NoUnnamedFiles&) = delete;
  NoUnnamedFiles& operator=(const NoUnnamedFiles&) = delete;
};

// A second writer that takes the lock of g_in_between_out in the pause.
toolkit::OutputLock* g_in_between = nullptr;
std::string g_in_between_out;
bool g_in_between_took = false;
void TakeInBetween() { g_in_between_took = g_in_between->TryLock(g_in_between_out); }

// Where the folder cannot make an unnamed file, the lock file is made under
// its name and then locked: it keeps a second writer out and goes when its
// maker lets go, and a file standing at the name stays. A writer that locks
// the new file between its making and its maker's lock holds it, its maker
// is told the output is busy, and the file stays when both are done (as one
// that stood there).
TEST(Toolkit, OutputLockWhereNoUnnamedFileCanBeMade) {
  TempDir d;
  const std::string out = d.file("out");
  const std::string lock_file = toolkit::OutputLock::LockPath(out);
  {
    NoUnnamedFiles named([] {});
    toolkit::OutputLock first, second;
    ASSERT_TRUE(first.TryLock(out));
    EXPECT_TRUE(testsupport::FileExists(lock_file));
    EXPECT_FALSE(second.TryLock(out));
    EXPECT_EQ(EWOULDBLOCK, errno);
    first.Unlock();
    EXPECT_FALSE(testsupport::FileExists(lock_file));
    ASSERT_TRUE(second.TryLock(out));  // made again, and removed again
    second.Unlock();
    EXPECT_FALSE(testsupport::FileExists(lock_file));

    WriteFile(lock_file, "a user's file");
    ASSERT_TRUE(first.TryLock(out));
    EXPECT_FALSE(second.TryLock(out));
    EXPECT_EQ(EWOULDBLOCK, errno);
    first.Unlock();
    EXPECT_EQ("a user's file", ReadFile(lock_file));
    ASSERT_EQ(0, unlink(lock_file.c_str()));
  }
  {
    NoUnnamedFiles named(TakeInBetween);
    toolkit::OutputLock maker, other;
    g_in_between = &other;
    g_in_between_out = out;
    EXPECT_FALSE(maker.TryLock(out));
    EXPECT_EQ(EWOULDBLOCK, errno);
    EXPECT_FALSE(maker.held());
    EXPECT_TRUE(g_in_between_took);
    EXPECT_TRUE(other.held());
    other.Unlock();
    EXPECT_TRUE(testsupport::FileExists(lock_file));
    ASSERT_TRUE(maker.TryLock(out));  // the file that stays, locked as it is
    maker.Unlock();
    EXPECT_TRUE(testsupport::FileExists(lock_file));
    g_in_between = nullptr;
  }
  // Unnamed files again: the file left stays as one that stands there.
  toolkit::OutputLock lock;
  ASSERT_TRUE(lock.TryLock(out));
  lock.Unlock();
  EXPECT_TRUE(testsupport::FileExists(lock_file));
}

// Writers racing for one output, each taking and letting go of its lock
// over and over: never two holders at once, whether the locks make the lock
// file (and remove it as they let go), make it under its name where the
// folder cannot make unnamed files (a writer may then lock it before its
// maker does, and it may stay), or lock a file that stands at the name
// (which stays).
TEST(Toolkit, OutputLockHasOneHolderAtATime) {
  TempDir d;
  const std::string out = d.file("out");
  const std::string lock_file = toolkit::OutputLock::LockPath(out);
  enum Way { kMade, kMadeNamed, kStanding };
  for (const Way way : {kMade, kMadeNamed, kStanding}) {
    SCOPED_TRACE(way == kMade ? "no file" : way == kMadeNamed ? "no unnamed files" : "a file standing");
    const bool standing = way == kStanding;
    if (standing) WriteFile(lock_file, "a user's file");
    void (*const yield)() = [] { std::this_thread::yield(); };
    NoUnnamedFiles named(way == kMadeNamed ? yield : nullptr);
    std::atomic<int> holders{0}, most{0}, taken{0};
    std::vector<std::thread> writers;
    for (int w = 0; w < 6; ++w) {
      writers.emplace_back([&] {
        toolkit::OutputLock lock;
        for (int i = 0; i < 300; ++i) {
          if (!lock.TryLock(out)) continue;
          const int now = ++holders;
          int seen = most.load();
          while (now > seen && !most.compare_exchange_weak(seen, now)) {
          }
          ++taken;
          std::this_thread::yield();
          --holders;
          lock.Unlock();
        }
      });
    }
    for (auto& t : writers) t.join();
    EXPECT_EQ(1, most.load());
    EXPECT_GT(taken.load(), 0);
    if (way == kMadeNamed) {
      unlink(lock_file.c_str());  // stays when a writer locked it before its maker
    } else {
      EXPECT_EQ(standing, testsupport::FileExists(lock_file));
    }
  }
  EXPECT_EQ("a user's file", ReadFile(lock_file));
}

// Waits (bounded) until cond holds.
template <class Cond>
bool Eventually(Cond cond) {
  for (int i = 0; i < 2000 && !cond(); ++i) std::this_thread::sleep_for(1ms);
  return cond();
}

TEST(Toolkit, QueueCloseKeepsItemsAndWakesEveryone) {
  toolkit::BlockingQueue<int> q(3);
  // Order holds across the ring's end.
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 3; ++i) EXPECT_EQ(toolkit::QueueStatus::kOk, q.TryPush(i));
    EXPECT_EQ(toolkit::QueueStatus::kFull, q.TryPush(9));
    int v = -1;
    ASSERT_TRUE(q.Pop(&v));
    EXPECT_EQ(0, v);
    EXPECT_EQ(toolkit::QueueStatus::kOk, q.TryPush(3));
    std::vector<int> got;
    EXPECT_EQ(2u, q.TryPopBatch(&got, 2));
    EXPECT_EQ(1u, q.PopBatchFor(&got, 5, 0ms));
    EXPECT_EQ((std::vector<int>{1, 2, 3}), got);
  }
  std::vector<int> none;
  EXPECT_EQ(0u, q.PopBatchFor(&none, 5, 5ms));  // time-out on an empty queue
  // A batch waits for an item that comes late.
  std::thread late([&q] {
    std::this_thread::sleep_for(20ms);
    q.Push(4);
  });
  const auto asked = std::chrono::steady_clock::now();
  EXPECT_EQ(1u, q.PopBatchFor(&none, 5, 10s));
  EXPECT_LT(std::chrono::steady_clock::now() - asked, 5s);  // woken by the push
  late.join();
  EXPECT_EQ(std::vector<int>{4}, none);

  // A producer blocked on a full queue and a consumer blocked on an empty
  // one are both released by Close.
  toolkit::BlockingQueue<int> full(1);
  ASSERT_EQ(toolkit::QueueStatus::kOk, full.Push(7));
  std::atomic<int> pushed{-1};
  std::thread producer([&] { pushed = static_cast<int>(full.Push(8)); });
  toolkit::BlockingQueue<int> empty(1);
  std::atomic<int> popped{-1};
  std::thread consumer([&] {
    int v;
    popped = empty.Pop(&v) ? 1 : 0;
  });
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(-1, pushed.load());
  full.Close();
  empty.Close();
  producer.join();
  consumer.join();
  EXPECT_EQ(static_cast<int>(toolkit::QueueStatus::kClosed), pushed.load());
  EXPECT_EQ(0, popped.load());
  // The item in flight stays poppable after the stop; new ones are refused.
  EXPECT_EQ(toolkit::QueueStatus::kClosed, full.TryPush(9));
  int v = 0;
  ASSERT_TRUE(full.Pop(&v));
  EXPECT_EQ(7, v);
  EXPECT_FALSE(full.Pop(&v));
  full.Reopen();
  EXPECT_EQ(toolkit::QueueStatus::kOk, full.TryPush(10));

  // Many producers, one consumer: every item arrives once.
  toolkit::BlockingQueue<int> q2(4);
  std::vector<std::thread> producers;
  for (int p = 0; p < 3; ++p) {
    producers.emplace_back([&q2, p] {
      for (int i = 0; i < 100; ++i) q2.Push(p * 100 + i);
    });
  }
  std::vector<int> seen(300, 0);
  for (int n = 0; n < 300; ++n) {
    int item;
    ASSERT_TRUE(q2.Pop(&item));
    ++seen[item];
  }
  for (auto& t : producers) t.join();
  EXPECT_EQ(std::vector<int>(300, 1), seen);
}

TEST(Toolkit, WorkerStopsPromptly) {
  std::atomic<int> runs{0};
  const auto start = std::chrono::steady_clock::now();
  {
    toolkit::WorkerThread w;
    ASSERT_TRUE(w.StartPeriodic(1ms, [&] { ++runs; }));
    ASSERT_TRUE(Eventually([&] { return runs.load() >= 3; }));
    w.Stop();
    EXPECT_FALSE(w.running());
    const int after = runs.load();
    std::this_thread::sleep_for(5ms);
    EXPECT_EQ(after, runs.load());  // stopped means no more calls

    // A long period does not hold up the stop, and the first call comes
    // only after one period.
    ASSERT_TRUE(w.StartPeriodic(std::chrono::hours(1), [&] { runs = -100; }));
    EXPECT_FALSE(w.Start([](const toolkit::StopToken&) {}));  // already running
    EXPECT_EQ(EBUSY, errno);
  }  // the destructor stops it
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  EXPECT_GE(runs.load(), 3);

  std::atomic<bool> saw_stop{false};
  toolkit::WorkerThread w;
  ASSERT_TRUE(w.Start([&](const toolkit::StopToken& stop) {
    while (!stop.stop_requested()) stop.WaitFor(std::chrono::hours(1));
    saw_stop = true;
  }));
  w.Stop();
  EXPECT_TRUE(saw_stop.load());
}

}  // namespace
