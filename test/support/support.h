// Helpers shared by every test: temporary folders, whole-file I/O, capturing
// a file descriptor, running a case in a forked child and running a program.
#ifndef PBDICT_TEST_SUPPORT_SUPPORT_H_
#define PBDICT_TEST_SUPPORT_SUPPORT_H_

#include <functional>
#include <string>
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

// Runs fn in a forked child (for process-wide state) and returns its exit
// status, or 128 + signal when it was killed; -1 when the child cannot be
// made or waited for.
int RunInChild(const std::function<int()>& fn);

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
