// Helpers shared by every test: temporary folders, whole-file I/O, capturing
// a file descriptor, running a case in a forked child and running a program.
#ifndef PBDICT_TEST_SUPPORT_SUPPORT_H_
#define PBDICT_TEST_SUPPORT_SUPPORT_H_

#include <sched.h>

#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

// A fresh folder under $TMPDIR (or /tmp), removed with its contents at scope end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string file(const std::string& name) const;

 private:
  std::string path_;
};

// Whole-file helpers; ReadFile returns "" for a missing file (use FileExists).
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
// The names in folder dir that start with prefix.
std::vector<std::string> FilesStartingWith(const std::string& dir, const std::string& prefix);

// Redirects a file descriptor (1 or 2) into a temporary file until Stop().
class CaptureFd {
 public:
  explicit CaptureFd(int fd);
  ~CaptureFd();
  CaptureFd(const CaptureFd&) = delete;
  CaptureFd& operator=(const CaptureFd&) = delete;
  // Restores the descriptor and returns everything written to it.
  std::string Stop();
  // Everything written to it so far, the capture going on ("" once stopped):
  // lets a test wait for a line another thread writes.
  std::string Peek() const;

 private:
  int fd_;
  int saved_ = -1;
  std::string tmp_;
  bool stopped_ = false;
};

// Redirects a file descriptor (1 or 2) into a pipe that a thread of its own
// empties, until Stop(). Unlike CaptureFd it is not cut by a cap on file
// sizes (RLIMIT_FSIZE), and Peek() needs no new descriptor (it works while
// none can be had). A descriptor duplicated from the captured one meanwhile
// must be closed before Stop(), which waits for the pipe's end.
class CapturePipe {
 public:
  explicit CapturePipe(int fd);
  ~CapturePipe();
  CapturePipe(const CapturePipe&) = delete;
  CapturePipe& operator=(const CapturePipe&) = delete;
  // Restores the descriptor and returns everything written to it.
  std::string Stop();
  // Everything written to it so far ("" once stopped).
  std::string Peek() const;

 private:
  int fd_;
  int saved_ = -1;
  int read_ = -1;
  bool stopped_ = false;
  mutable std::mutex mu_;
  std::string text_;
  std::thread reader_;
};

// Runs fn in a forked child (for process-wide state) and returns its exit
// status, or 128 + signal when it was killed; -1 when the child cannot be
// made or waited for.
int RunInChild(const std::function<int()>& fn);

// For a child process: takes up the heap's free blocks, in every arena
// (what earlier tests freed, which later allocations would reuse without new
// address space), then caps the address space at its current size plus
// extra bytes. False when that cannot be done.
bool CapAddressSpace(size_t extra);

// Limits the calling thread (and the children it starts) to the first n
// cores it may use, for its lifetime; the old mask comes back at the end.
class PinnedTo {
 public:
  explicit PinnedTo(int n) {
    CPU_ZERO(&saved_);
    sched_getaffinity(0, sizeof(saved_), &saved_);
    cpu_set_t set;
    CPU_ZERO(&set);
    int taken = 0;
    for (int cpu = 0; cpu < CPU_SETSIZE && taken < n; ++cpu) {
      if (CPU_ISSET(cpu, &saved_)) {
        CPU_SET(cpu, &set);
        ++taken;
      }
    }
    cores_ = taken;
    sched_setaffinity(0, sizeof(set), &set);
  }
  ~PinnedTo() { sched_setaffinity(0, sizeof(saved_), &saved_); }
  int cores() const { return cores_; }

 private:
  cpu_set_t saved_;
  int cores_ = 0;
};

struct ProgramResult {
  int status = -1;  // exit status, or 128 + signal; -1 when it could not run or be waited for
  std::string out;
  std::string err;
};
// Runs a program (argv[0] is a path) with no standard input.
ProgramResult RunProgram(const std::vector<std::string>& argv, const std::string& cwd = "");

// The source and build folders of the project, as configured (the
// environment variables PBDICT_SOURCE_DIR / PBDICT_BINARY_DIR override them).
std::string SourceDir();
std::string BinaryDir();

}  // namespace testsupport

#endif  // PBDICT_TEST_SUPPORT_SUPPORT_H_
