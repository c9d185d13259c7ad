#include "toolkit/replace.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <vector>

#include "toolkit/file.h"

namespace toolkit {

namespace {

// The folder part of path ("." when it has none) and the name part.
void SplitPath(const std::string& path, std::string* dir, std::string* base) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    *dir = ".";
    *base = path;
  } else {
    *dir = slash == 0 ? "/" : path.substr(0, slash);
    *base = path.substr(slash + 1);
  }
}

}  // namespace

std::string TemporaryPrefix(const std::string& path) { return path + ".tmp-"; }

bool FileReplacement::Open(const std::string& path, mode_t mode, bool exact_mode) {
  Abandon();
  path_ = path;
  finished_ = false;
  // The process id and a sequence number make the name unique among live
  // replacements; the clock keeps a name left by a crashed process (whose id
  // came back) from being hit again and again.
  static std::atomic<unsigned> sequence{0};
  const auto clock = static_cast<unsigned>(
      std::chrono::steady_clock::now().time_since_epoch().count() & 0xffff);
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp_ = TemporaryPrefix(path) + std::to_string(getpid()) + "-" +
            std::to_string(sequence.fetch_add(1)) + "-" + std::to_string(clock);
    fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd_ >= 0) break;
    if (errno != EEXIST) {
      temp_.clear();
      return false;
    }
  }
  if (fd_ < 0) {
    temp_.clear();
    return false;
  }
  if (exact_mode && fchmod(fd_, mode) != 0) {
    const int e = errno;
    Abandon();
    errno = e;
    return false;
  }
  return true;
}

FILE* FileReplacement::Stream() {
  if (stream_ == nullptr && fd_ >= 0) {
    stream_ = fdopen(fd_, "wb");
  }
  return stream_;
}

bool FileReplacement::Finish() {
  if (fd_ < 0 || finished_) {
    errno = EBADF;
    return false;
  }
  bool ok = true;
  int e = 0;
  if (stream_ != nullptr && fflush(stream_) != 0) {
    ok = false;
    e = errno;
  }
  if (ok && fsync(fd_) != 0) {
    ok = false;
    e = errno;
  }
  const int closed = stream_ != nullptr ? fclose(stream_) : ::close(fd_);
  if (ok && closed != 0) {
    ok = false;
    e = errno;
  }
  stream_ = nullptr;
  fd_ = -1;
  if (!ok) {
    ::unlink(temp_.c_str());
    temp_.clear();
    errno = e;
    return false;
  }
  finished_ = true;
  return true;
}

bool FileReplacement::Install(bool sync_folder) {
  if (!finished_ || temp_.empty()) {
    errno = EINVAL;
    return false;
  }
  if (::rename(temp_.c_str(), path_.c_str()) != 0) {
    const int e = errno;
    Abandon();
    errno = e;
    return false;
  }
  temp_.clear();
  finished_ = false;
  // The new file is in place from here on; syncing the folder only makes the
  // rename survive a crash, and a folder that cannot be synced does not undo
  // it.
  if (sync_folder) SyncParentDir(path_);
  return true;
}

size_t InstallTogether(FileReplacement* const* files, size_t n) {
  std::vector<UniqueFd> old;
  for (size_t i = 0; i < n; ++i) {
    old.emplace_back(::open(files[i]->path().c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
  }
  size_t done = 0;
  while (done < n && files[done]->Install(false)) ++done;
  const int e = errno;
  if (done > 0) SyncParentDir(files[0]->path());
  errno = e;
  return done;
}

void FileReplacement::Abandon() {
  if (stream_ != nullptr) {
    fclose(stream_);
  } else if (fd_ >= 0) {
    ::close(fd_);
  }
  stream_ = nullptr;
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
  finished_ = false;
}

bool SyncParentDir(const std::string& path) {
  std::string dir, base;
  SplitPath(path, &dir, &base);
  UniqueFd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.ok()) return false;
  // Some file systems cannot sync a folder; the rename itself has happened.
  if (fsync(fd.get()) != 0 && errno != EINVAL && errno != EROFS) return false;
  return fd.Close();
}

void RemoveStaleTemporaries(const std::string& path) {
  std::string dir, base;
  SplitPath(path, &dir, &base);
  const std::string prefix = TemporaryPrefix(base);
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return;
  while (const dirent* e = ::readdir(d)) {
    if (std::strncmp(e->d_name, prefix.c_str(), prefix.size()) != 0) continue;
    ::unlinkat(dirfd(d), e->d_name, 0);
  }
  ::closedir(d);
}

}  // namespace toolkit
