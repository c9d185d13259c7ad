#include "support/support.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testsupport {

namespace {

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  ::remove(path);
  return 0;
}

std::string TmpRoot() {
  const char* t = std::getenv("TMPDIR");
  return (t != nullptr && *t != '\0') ? t : "/tmp";
}

// Waits for the child; false when waitpid fails for any reason but an
// interruption (the child is not ours, or was already reaped).
bool WaitChild(pid_t pid, int* st) {
  while (waitpid(pid, st, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

int DecodeStatus(int st) {
  if (WIFEXITED(st)) return WEXITSTATUS(st);
  if (WIFSIGNALED(st)) return 128 + WTERMSIG(st);
  return -1;
}

}  // namespace

TempDir::TempDir() {
  std::string tmpl = TmpRoot() + "/pbdict-test-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = buf.data();
}

TempDir::~TempDir() { nftw(path_.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS); }

std::string TempDir::file(const std::string& name) const { return path_ + "/" + name; }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

std::vector<std::string> FilesStartingWith(const std::string& dir, const std::string& prefix) {
  std::vector<std::string> out;
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return out;
  while (const dirent* e = readdir(d)) {
    if (std::strncmp(e->d_name, prefix.c_str(), prefix.size()) == 0) out.push_back(e->d_name);
  }
  closedir(d);
  return out;
}

CaptureFd::CaptureFd(int fd) : fd_(fd) {
  std::fflush(nullptr);
  std::string tmpl = TmpRoot() + "/pbdict-capture-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  int tfd = mkstemp(buf.data());
  if (tfd < 0) throw std::runtime_error("mkstemp failed");
  tmp_ = buf.data();
  saved_ = dup(fd_);
  dup2(tfd, fd_);
  close(tfd);
}

CaptureFd::~CaptureFd() {
  if (!stopped_) Stop();
}

std::string CaptureFd::Stop() {
  if (stopped_) return "";
  std::fflush(nullptr);
  dup2(saved_, fd_);
  close(saved_);
  stopped_ = true;
  std::string out = ReadFile(tmp_);
  ::unlink(tmp_.c_str());
  return out;
}

std::string CaptureFd::Peek() const {
  if (stopped_) return "";
  std::fflush(nullptr);
  return ReadFile(tmp_);
}

CapturePipe::CapturePipe(int fd) : fd_(fd) {
  std::fflush(nullptr);
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
  read_ = ends[0];
  saved_ = dup(fd_);
  dup2(ends[1], fd_);
  close(ends[1]);
  reader_ = std::thread([this] {
    char buf[65536];
    for (;;) {
      const ssize_t n = read(read_, buf, sizeof(buf));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      std::lock_guard<std::mutex> lock(mu_);
      text_.append(buf, static_cast<size_t>(n));
    }
  });
}

CapturePipe::~CapturePipe() {
  if (!stopped_) Stop();
}

std::string CapturePipe::Stop() {
  if (stopped_) return "";
  std::fflush(nullptr);
  dup2(saved_, fd_);  // the pipe's last writing end: its reader sees the end
  close(saved_);
  reader_.join();
  close(read_);
  stopped_ = true;
  return text_;
}

std::string CapturePipe::Peek() const {
  if (stopped_) return "";
  std::fflush(nullptr);
  std::lock_guard<std::mutex> lock(mu_);
  return text_;
}

int RunInChild(const std::function<int()>& fn) {
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    int rc = fn();
    std::fflush(nullptr);
    _exit(rc);
  }
  int st = 0;
  if (!WaitChild(pid, &st)) return -1;
  return DecodeStatus(st);
}

namespace {

// The process's address space in bytes, 0 when it cannot be read.
rlim_t AddressSpaceInUse() {
  unsigned long pages = 0;
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (f == nullptr) return 0;
  const bool read = std::fscanf(f, "%lu", &pages) == 1;
  std::fclose(f);
  return read ? pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) : 0;
}

bool LimitAddressSpace(rlim_t bytes) {
  struct rlimit rl;
  if (bytes == 0 || getrlimit(RLIMIT_AS, &rl) != 0) return false;
  rl.rlim_cur = bytes;
  return setrlimit(RLIMIT_AS, &rl) == 0;
}

}  // namespace

bool CapAddressSpace(size_t extra) {
  // Capped at its size, the heap hands out what it holds free until it has
  // nothing left; those blocks stay taken until the child exits. A failed
  // allocation tries one more arena (of up to 8 a core), the next one on the
  // next failure: only a long run of failures has been through them all.
  // The size is read once: capped there, draining the heap cannot grow it,
  // and a second read could fail for want of memory.
  const rlim_t in_use = AddressSpaceInUse();
  if (!LimitAddressSpace(in_use)) return false;
  static void* volatile taken;  // the compiler may drop a block nothing keeps
  for (const size_t block : {size_t{32} << 10, size_t{1} << 10}) {
    for (int failures = 0; failures < 1024;) {
      taken = std::malloc(block);
      failures = taken == nullptr ? failures + 1 : 0;
    }
  }
  return LimitAddressSpace(in_use + extra);
}

ProgramResult RunProgram(const std::vector<std::string>& argv, const std::string& cwd) {
  TempDir dir;
  std::string out_path = dir.file("out"), err_path = dir.file("err");
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid < 0) return {};
  if (pid == 0) {
    int in = ::open("/dev/null", O_RDONLY);
    int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  int st = 0;
  ProgramResult r;
  if (!WaitChild(pid, &st)) return r;
  r.status = DecodeStatus(st);
  r.out = ReadFile(out_path);
  r.err = ReadFile(err_path);
  return r;
}

std::string SourceDir() {
  const char* s = std::getenv("PBDICT_SOURCE_DIR");
  return s != nullptr ? s : PBDICT_SOURCE_DIR_DEFAULT;
}

std::string BinaryDir() {
  const char* s = std::getenv("PBDICT_BINARY_DIR");
  return s != nullptr ? s : PBDICT_BINARY_DIR_DEFAULT;
}

}  // namespace testsupport
