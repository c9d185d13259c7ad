// Each wrapper family on a failing call: the exact WARNING line on standard
// error (no log is open) and errno as the wrapped call left it.
#include "ul_func.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/support.h"

// A failing allocation must return NULL under the sanitizers too.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }
extern "C" const char* __tsan_default_options() { return "allocator_may_return_null=1"; }

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("==", 0) == 0) continue;  // a sanitizer's own note
    lines.push_back(line);
  }
  return lines;
}

// The captured text holds exactly one line: the level word, the stamp of the
// process log and then msg.
void ExpectOneLine(const std::string& captured, const std::string& level, const std::string& msg) {
  auto lines = Lines(captured);
  ASSERT_EQ(1u, lines.size()) << captured;
  const std::string& line = lines[0];
  EXPECT_EQ(0u, line.rfind(level + ": ", 0)) << line;
  ASSERT_GE(line.size(), msg.size()) << line;
  EXPECT_EQ(msg, line.substr(line.size() - msg.size())) << line;
}

std::string ErrText(int err) { return strerror(err); }

TEST(UlFunc, FileFamily) {
  testsupport::TempDir dir;
  const std::string missing = dir.file("missing");
  {
    testsupport::CaptureFd err(2);
    errno = 0;
    EXPECT_EQ(-1, ul_open(missing.c_str(), O_RDONLY, 0));
    EXPECT_EQ(ENOENT, errno);
    ExpectOneLine(err.Stop(), "WARNING",
                  "open(" + missing + ",0,0) call failed.error[2] info is 'No such file or directory'.");
  }
  {
    testsupport::CaptureFd err(2);
    char buf[4];
    EXPECT_EQ(-1, ul_read(-1, buf, 4));
    EXPECT_EQ(EBADF, errno);
    ExpectOneLine(err.Stop(), "WARNING",
                  "read(-1,4) call failed.error[9] info is '" + ErrText(EBADF) + "'.");
  }
  {
    testsupport::CaptureFd err(2);
    EXPECT_EQ(-1, ul_lseek(-1, 5, SEEK_SET));
    EXPECT_EQ(EBADF, errno);
    ExpectOneLine(err.Stop(), "WARNING",
                  "lseek(-1,5,0) call failed.error(9) info is " + ErrText(EBADF) + ".");
  }
  {
    testsupport::CaptureFd err(2);
    EXPECT_EQ(nullptr, ul_fopen(missing.c_str(), "r"));
    EXPECT_EQ(ENOENT, errno);
    ExpectOneLine(err.Stop(), "WARNING",
                  "fopen(\"" + missing + "\", \"r\") failed.error[2] info is 'No such file or directory'.");
  }
  {
    testsupport::CaptureFd err(2);
    struct stat st;
    EXPECT_EQ(-1, ul_stat(missing.c_str(), &st));
    EXPECT_EQ(ENOENT, errno);
    ExpectOneLine(err.Stop(), "WARNING",
                  "stat(" + missing + ") call failed.error[2] info is 'No such file or directory'.");
  }
  {
    // End of file and the arguments refused without a call are silent.
    testsupport::WriteFile(dir.file("one"), "x\n");
    FILE* fp = ul_fopen(dir.file("one").c_str(), "r");
    ASSERT_NE(nullptr, fp);
    char line[16];
    testsupport::CaptureFd err(2);
    EXPECT_NE(nullptr, ul_fgets(line, sizeof(line), fp));
    EXPECT_EQ(nullptr, ul_fgets(line, sizeof(line), fp));
    EXPECT_EQ(-1, ul_rename("", "x"));
    EXPECT_EQ(-1, ul_mkfifo("", 0600));
    EXPECT_EQ(nullptr, ul_popen("", "r"));
    EXPECT_EQ(-1, ul_pclose(nullptr));
    EXPECT_EQ(-100, ul_fpathconf(fileno(fp), _PC_SYMLINK_MAX));
    EXPECT_EQ(0, ul_fclose(fp));
    EXPECT_EQ("", err.Stop());
  }
  {
    testsupport::CaptureFd err(2);
    EXPECT_EQ(-1, ul_fputs(nullptr, stdout));
    ExpectOneLine(err.Stop(), "WARNING", "Parameter 'ptr' was NULL.");
  }
  {
    DIR* d = ul_opendir(dir.path().c_str());
    ASSERT_NE(nullptr, d);
    testsupport::CaptureFd err(2);
    while (ul_readdir(d) != nullptr) {
    }
    EXPECT_EQ(0, ul_closedir(d));
    // The end of the directory is logged as a failed readdir.
    std::string text = err.Stop();
    EXPECT_NE(std::string::npos, text.find("readdir() call failed.error[")) << text;
  }
}

TEST(UlFunc, MemoryFamily) {
  {
    testsupport::CaptureFd err(2);
    errno = 0;
    void* p = ul_malloc(SIZE_MAX / 2);
    int saved = errno;
    EXPECT_EQ(nullptr, p);
    EXPECT_EQ(ENOMEM, saved);
    ExpectOneLine(err.Stop(), "WARNING",
                  "malloc(" + std::to_string(SIZE_MAX / 2) + ") call failed.error[12] info is '" +
                      ErrText(ENOMEM) + "'.");
  }
  {
    testsupport::CaptureFd err(2);
    void* p = ul_calloc(0, 8);
    ul_free(p);
    ExpectOneLine(err.Stop(), "WARNING", "calloc(0,8) call failed.Parameter was error.");
  }
  unsigned char* p = static_cast<unsigned char*>(ul_malloc(64));
  ASSERT_NE(nullptr, p);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(0, p[i]);
  ul_free(p);
  ul_free(nullptr);
}

TEST(UlFunc, ProcessFamily) {
  int fds[2];
  ASSERT_EQ(0, pipe(fds));
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    char c;
    (void)!read(fds[0], &c, 1);  // wait until the parent lets go
    _exit(0);
  }
  {
    testsupport::CaptureFd err(2);
    int status = 0;
    EXPECT_EQ(0, ul_waitpid(child, &status, WNOHANG));
    std::string text = err.Stop();
    EXPECT_NE(std::string::npos,
              text.find("waitpid(" + std::to_string(child) + "," + std::to_string(WNOHANG) +
                        ") call failed.error["))
        << text;
  }
  ASSERT_EQ(1, write(fds[1], "x", 1));
  int status = 0;
  EXPECT_EQ(child, ul_waitpid(child, &status, 0));
  close(fds[0]);
  close(fds[1]);
  {
    testsupport::CaptureFd err(2);
    EXPECT_EQ(-1, ul_kill(INT_MAX, 0));
    EXPECT_EQ(ESRCH, errno);
    ExpectOneLine(err.Stop(), "WARNING",
                  "kill(" + std::to_string(INT_MAX) + ",0) call failed.error[3] info is '" +
                      ErrText(ESRCH) + "'.");
  }
}

TEST(UlFunc, SignalFamily) {
  sigset_t set;
  ASSERT_EQ(0, ul_sigemptyset(&set));
  testsupport::CaptureFd err(2);
  EXPECT_EQ(-1, ul_sigaddset(&set, 100000));
  EXPECT_EQ(EINVAL, errno);
  ExpectOneLine(err.Stop(), "WARNING",
                "sigaddset(100000) call failed.error[22] info is '" + ErrText(EINVAL) + "'.");
}

TEST(UlFunc, SystemVFamily) {
  {
    testsupport::CaptureFd err(2);
    EXPECT_EQ(-1, ul_shmget(-5, 16, 0));
    EXPECT_EQ("", err.Stop());
  }
  {
    testsupport::CaptureFd err(2);
    EXPECT_EQ(reinterpret_cast<void*>(-1), ul_shmat(-1, nullptr, 0));
    EXPECT_EQ(EINVAL, errno);
    ExpectOneLine(err.Stop(), "WARNING",
                  "shmat(-1,0) call failed.error[22] info is '" + ErrText(EINVAL) + "'.");
  }
  {
    testsupport::CaptureFd err(2);
    struct sembuf op = {0, 1, 0};
    EXPECT_EQ(-1, ul_semop(-1, &op, 1));
    EXPECT_EQ(EINVAL, errno);
    ExpectOneLine(err.Stop(), "WARNING",
                  "semop(-1) call failed.error[22] info is '" + ErrText(EINVAL) + "'.");
  }
  {
    testsupport::CaptureFd err(2);
    struct msqid_ds ds;
    EXPECT_EQ(-1, ul_msgctl(-1, IPC_STAT, &ds));
    EXPECT_EQ(EINVAL, errno);
    ExpectOneLine(err.Stop(), "WARNING",
                  "msgctl(-1," + std::to_string(IPC_STAT) + ") call failed.error[22] info is '" +
                      ErrText(EINVAL) + "'.");
  }
}

}  // namespace
