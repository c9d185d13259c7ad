// Fuzzes opening the logging framework from a configuration file: the input
// is the file; when it opens, lines at every system level, a self-defined
// level and by stream go through its devices (terminal output to
// /dev/null), then it closes. Whatever the file holds, the framework must be
// closed again afterwards and leave no file of the scratch folder open
// (file devices write there);
// leaked memory is reported by LeakSanitizer.
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "comlog/comlog.h"
#include "support/scratch_dir.h"

namespace {

// Whether a descriptor of this process is open on a file under dir (the
// fuzzer's own descriptors, such as its symbolizer's pipes, do not count).
bool HoldsFileUnder(const std::string& dir) {
  DIR* fds = opendir("/proc/self/fd");
  if (fds == nullptr) return false;
  bool found = false;
  while (dirent* e = readdir(fds)) {
    char target[4096];
    ssize_t n = readlinkat(dirfd(fds), e->d_name, target, sizeof(target) - 1);
    if (n > 0 && std::string(target, static_cast<size_t>(n)).compare(0, dir.size(), dir) == 0) found = true;
  }
  closedir(fds);
  return found;
}

// Writes through the open framework with standard error on /dev/null.
void WriteLines() {
  fflush(stderr);
  int saved = dup(2);
  int null = open("/dev/null", O_WRONLY);
  if (saved < 0 || null < 0) abort();
  dup2(null, 2);
  close(null);
  for (int level : {1, 2, 4, 8, 16, 32, 40}) com_writelog(level, "line at %d", level);
  com_writelog("AUDIT", "self-defined");
  com_writelog_ex(4, 1, "type", "extended");
  comspace::Category* c = com_writelog_stream(4);
  if (c != nullptr) {
    *c << "stream " << 42;
    c->flush();
  }
  com_changelogstat();
  fflush(stderr);
  dup2(saved, 2);
  close(saved);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string dir = testsupport::ProcessScratchDir();
  static const int home = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  // File devices write where their PATH points: the framework runs in the
  // scratch folder, and an input with a '/' is refused, so that every file
  // they make stays in it (relative paths, no way out).
  if (memchr(data, '/', size) != nullptr) return 0;
  if (home < 0 || chdir(dir.c_str()) != 0) abort();
  if (!testsupport::WriteBytes(dir + "/in.conf", data, size)) abort();
  if (com_loadlog(dir.c_str(), "in.conf") == 0) {
    com_reglogstat(dir.c_str(), "in.conf");
    WriteLines();
    com_closelog_r();
    if (com_closelog(0) != 0) abort();
  }
  if (com_logstatus() != 0) abort();
  if (HoldsFileUnder(dir)) abort();
  if (fchdir(home) != 0) abort();  // the fuzzer's own paths are relative to it
  return 0;
}
