#include "ul_file.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "dep_file.h"
#include "support/support.h"

namespace {

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

std::string Join(const char* dir, const char* file, size_t size = 256) {
  char buf[512];
  if (ul_fullpath(dir, file, buf, size) != 0) return "<fail>";
  return buf;
}

TEST(UlFile, FullPath) {
  EXPECT_EQ("a/b", Join("a/", "/b"));
  EXPECT_EQ("a/b", Join("a", "b"));
  EXPECT_EQ("/b", Join("/", "b"));
  EXPECT_EQ("/b", Join("///", "b"));
  EXPECT_EQ("b", Join("", "b"));
  EXPECT_EQ("/b", Join("", "/b"));
  // 255 bytes fit a 256-byte buffer, 256 do not.
  std::string dir(253, 'd');
  EXPECT_EQ(dir + "/x", Join(dir.c_str(), "x"));
  EXPECT_EQ("<fail>", Join(dir.c_str(), "xy"));
  EXPECT_EQ("<fail>", Join("", std::string(256, 'f').c_str()));
  char one = 'q';
  EXPECT_EQ(-1, ul_fullpath("a", "b", &one, 0));
  EXPECT_EQ('q', one);  // nothing written into a zero-size buffer
  EXPECT_EQ(-1, ul_fullpath(nullptr, "b", &one, 1));
  EXPECT_EQ(-1, ul_fullpath("a", "b", nullptr, 8));
}

TEST(UlFile, ExistSizeAndCounts) {
  TempDir d;
  const char* dir = d.path().c_str();
  mkdir(d.file("sub").c_str(), 0755);
  EXPECT_EQ(0, ul_fexist(dir, "sub"));
  EXPECT_EQ(-1, ul_fsize(dir, "sub"));
  EXPECT_EQ(0, ul_fexist(dir, "none"));

  struct Case {
    std::string bytes;
    int lines, words;
  } cases[] = {
      {"a b\n", 1, 2},
      {"a", 1, 1},
      {"", 0, 0},
      {" a", 1, 1},
      {"\n", 1, 0},
      {"a\r\nb\tc \n\n", 3, 3},
      {std::string(65535, 'x') + "\n", 1, 1},  // one piece of exactly 65536 bytes
      {std::string(65530, ' ') + "abcdefghij" + "\n", 1, 1},  // a word across pieces
  };
  for (const auto& c : cases) {
    WriteFile(d.file("f"), c.bytes);
    EXPECT_EQ(1, ul_fexist(dir, "f"));
    EXPECT_EQ(static_cast<off_t>(c.bytes.size()), ul_fsize(dir, "f"));
    int lines = -1, words = -1, bytes = -1;
    ASSERT_EQ(1, ul_finfo(dir, "f", &lines, &words, &bytes));
    EXPECT_EQ(c.lines, lines) << c.bytes.substr(0, 8);
    EXPECT_EQ(c.words, words) << c.bytes.substr(0, 8);
    EXPECT_EQ(static_cast<int>(c.bytes.size()), bytes);
  }
  int l, w, b;
  EXPECT_EQ(-1, ul_finfo(dir, "none", &l, &w, &b));
}

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
  return s;
}

TEST(UlFile, CopyAppendMoveReadWrite) {
  TempDir d;
  const char* dir = d.path().c_str();
  const std::string data = Pattern(200007);
  WriteFile(d.file("src"), data);
  EXPECT_EQ(1, ul_cpfile(dir, "src", "dst"));
  EXPECT_EQ(data, ReadFile(d.file("dst")));
  EXPECT_EQ(1, ul_appfile(dir, "src", "dst"));
  EXPECT_EQ(data + data, ReadFile(d.file("dst")));
  // A copy onto itself would truncate the source: refused, data kept.
  testsupport::CaptureFd err(2);
  EXPECT_EQ(-1, ul_cpfile(dir, "src", "src"));
  EXPECT_EQ(-1, ul_appfile(dir, "src", "src"));
  EXPECT_EQ(-1, ul_cpfile(dir, "none", "x"));
  std::string text = err.Stop();
  EXPECT_NE(std::string::npos, text.find("[cpfile] file : " + d.file("none") + " do not exist.\n"));
  EXPECT_EQ(data, ReadFile(d.file("src")));

  EXPECT_EQ(0, ul_mvfile(dir, "dst", "moved"));
  EXPECT_FALSE(testsupport::FileExists(d.file("dst")));
  EXPECT_EQ(data + data, ReadFile(d.file("moved")));

  char buf[16] = {};
  EXPECT_EQ(5, ul_writefile(dir, "w", "hello", 5));
  struct stat st;
  ASSERT_EQ(0, stat(d.file("w").c_str(), &st));
  EXPECT_EQ(0666, st.st_mode & 0777);
  EXPECT_EQ(5, ul_readfile(dir, "w", buf, sizeof(buf)));
  EXPECT_STREQ("hello", buf);
  EXPECT_EQ(1, ul_nullfile(dir, "w"));
  EXPECT_EQ(0, ul_fsize(dir, "w"));

  WriteFile(d.file("a"), "A");
  WriteFile(d.file("b"), "B");
  EXPECT_EQ(1, ul_exchangedir(dir, "a", "b"));
  EXPECT_EQ("B", ReadFile(d.file("a")));
  EXPECT_EQ("A", ReadFile(d.file("b")));
  // A failed middle step puts the names back.
  testsupport::CaptureFd err2(2);
  EXPECT_EQ(-1, ul_exchangedir(dir, "none", "b"));
  err2.Stop();
  EXPECT_EQ("A", ReadFile(d.file("b")));
  EXPECT_FALSE(testsupport::FileExists(d.file("tmp.xxx")));
}

// A destination that cannot take the whole file (file-size limit in a
// child): the copies report failure, and a cross-device move keeps its source.
TEST(UlFile, ShortCopyIsAFailure) {
  TempDir d;
  const std::string data = Pattern(200007);
  WriteFile(d.file("src"), data);
  int status = testsupport::RunInChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim = {100000, 100000};
    if (setrlimit(RLIMIT_FSIZE, &lim) != 0) return 10;
    const char* dir = d.path().c_str();
    if (ul_cpfile(dir, "src", "dst") != -1) return 1;
    if (ul_appfile(dir, "src", "app") != -1) return 2;
    return 0;
  });
  EXPECT_EQ(0, status);
  EXPECT_EQ(data, ReadFile(d.file("src")));

  struct stat a, b;
  if (stat("/dev/shm", &b) != 0 || stat(d.path().c_str(), &a) != 0 || a.st_dev == b.st_dev) {
    GTEST_SKIP() << "no second file system for a cross-device move";
  }
  std::string target = "dev/shm/ul_file_test_" + std::to_string(getpid());
  std::string src = d.path().substr(1) + "/src";
  status = testsupport::RunInChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim = {100000, 100000};
    if (setrlimit(RLIMIT_FSIZE, &lim) != 0) return 10;
    return ul_mvfile("/", src.c_str(), target.c_str()) == -1 ? 0 : 1;
  });
  EXPECT_EQ(0, status);
  EXPECT_EQ(data, ReadFile(d.file("src")));
  // Without the limit the same move copies, then removes the source.
  EXPECT_EQ(0, ul_mvfile("/", src.c_str(), target.c_str()));
  EXPECT_FALSE(testsupport::FileExists(d.file("src")));
  EXPECT_EQ(data, ReadFile("/" + target));
  unlink(("/" + target).c_str());
}

}  // namespace
