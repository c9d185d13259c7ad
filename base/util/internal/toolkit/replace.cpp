#include "toolkit/replace.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <limits>
#include <vector>

#include "toolkit/file.h"
#include "toolkit/path.h"

namespace toolkit {

std::string TemporaryPrefix(const std::string& path) { return path + ".tmp-"; }

namespace {

// The clock bits a temporary's name keeps.
constexpr unsigned kClockMask = 0xffff;

// What follows the prefix of a temporary's name: the one place that writes
// the form, for the writer and for the check of a leftover's name alike.
std::string TemporarySuffix(unsigned long long pid, unsigned long long sequence,
                            unsigned long long clock) {
  return std::to_string(pid) + "-" + std::to_string(sequence) + "-" + std::to_string(clock);
}

// Reads the decimal digits at the start of *s into *out and drops them;
// false when there are none or too many for any part of a name.
bool TakeNumber(std::string_view* s, unsigned long long* out) {
  size_t n = 0;
  unsigned long long v = 0;
  while (n < s->size() && (*s)[n] >= '0' && (*s)[n] <= '9') {
    if (n == 19) return false;  // more than fits; no part is that long
    v = v * 10 + static_cast<unsigned>((*s)[n] - '0');
    ++n;
  }
  if (n == 0) return false;
  s->remove_prefix(n);
  *out = v;
  return true;
}

}  // namespace

bool IsTemporaryName(std::string_view name, std::string_view base) {
  const std::string prefix = TemporaryPrefix(std::string(base));
  if (name.substr(0, prefix.size()) != prefix) return false;
  const std::string_view suffix = name.substr(prefix.size());
  std::string_view rest = suffix;
  unsigned long long pid = 0, sequence = 0, clock = 0;
  if (!TakeNumber(&rest, &pid) || rest.substr(0, 1) != "-") return false;
  rest.remove_prefix(1);
  if (!TakeNumber(&rest, &sequence) || rest.substr(0, 1) != "-") return false;
  rest.remove_prefix(1);
  if (!TakeNumber(&rest, &clock) || !rest.empty()) return false;
  if (pid == 0 || pid > static_cast<unsigned long long>(std::numeric_limits<pid_t>::max()) ||
      sequence > std::numeric_limits<unsigned>::max() || clock > kClockMask) {
    return false;
  }
  // Written back, the parts give the name itself: no sign, no leading zero.
  return TemporarySuffix(pid, sequence, clock) == suffix;
}

bool FileReplacement::Open(const std::string& path, mode_t mode, bool exact_mode) {
  Abandon();
  path_ = path;
  finished_ = false;
  // The process id and a sequence number make the name unique among live
  // replacements; the clock keeps a name left by a crashed process (whose id
  // came back) from being hit again and again.
  static std::atomic<unsigned> sequence{0};
  const auto clock = static_cast<unsigned>(
      std::chrono::steady_clock::now().time_since_epoch().count() & kClockMask);
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp_ = TemporaryPrefix(path) +
            TemporarySuffix(static_cast<unsigned long long>(getpid()), sequence.fetch_add(1), clock);
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
  const std::string dir(FolderOf(SplitPath(path)));
  UniqueFd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.ok()) return false;
  // Some file systems cannot sync a folder; the rename itself has happened.
  if (fsync(fd.get()) != 0 && errno != EINVAL && errno != EROFS) return false;
  return fd.Close();
}

void RemoveStaleTemporaries(const std::string& path, const OutputLock& lock, const FileId* keep) {
  if (!lock.held()) return;
  const PathSplit split = SplitPath(path);
  const std::string dir(FolderOf(split));
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return;
  while (const dirent* e = ::readdir(d)) {
    if (!IsTemporaryName(e->d_name, split.base)) continue;
    // The kept file stays under any name, and so does a link to it.
    struct stat st;
    if (keep != nullptr && ::fstatat(dirfd(d), e->d_name, &st, 0) == 0 && st.st_dev == keep->dev &&
        st.st_ino == keep->ino) {
      continue;
    }
    ::unlinkat(dirfd(d), e->d_name, 0);
  }
  ::closedir(d);
}

}  // namespace toolkit
