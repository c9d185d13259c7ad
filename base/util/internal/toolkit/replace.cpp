#include "toolkit/replace.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <limits>
#include <memory>
#include <vector>

#include "toolkit/file.h"
#include "toolkit/path.h"

namespace toolkit {

int (*replace_rename)(const char* from, const char* to) = nullptr;
int (*replace_link)(const char* from, const char* to) = nullptr;

std::string TemporaryPrefix(const std::string& path) { return path + ".tmp-"; }

std::string BackupPrefix(const std::string& path) { return path + ".old-"; }

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

// Sequence numbers of the temporary names this process makes.
std::atomic<unsigned> g_sequence{0};

// The clock bits of the temporary names one file gets.
unsigned ClockBits() {
  return static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count() & kClockMask);
}

// A name of prefix's form (a temporary's or a backup's) not yet given out
// by this process.
std::string WriterName(const std::string& prefix, unsigned clock) {
  return prefix + TemporarySuffix(static_cast<unsigned long long>(getpid()), g_sequence.fetch_add(1), clock);
}

int Rename(const char* from, const char* to) {
  return replace_rename != nullptr ? replace_rename(from, to) : ::rename(from, to);
}

int Link(const char* from, const char* to) {
  return replace_link != nullptr ? replace_link(from, to) : ::link(from, to);
}

// Syncs an open folder; true when done or when its file system cannot sync
// a folder (the renames in it have happened).
bool SyncFolder(int fd) { return fsync(fd) == 0 || errno == EINVAL || errno == EROFS; }

// Whether name is prefix, then the writer's process id, its sequence number
// and the clock bits, joined by '-', each in decimal as the writer writes
// it.
bool HasWriterSuffix(std::string_view name, const std::string& prefix) {
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

}  // namespace

bool IsTemporaryName(std::string_view name, std::string_view base) {
  return HasWriterSuffix(name, TemporaryPrefix(std::string(base)));
}

bool IsBackupName(std::string_view name, std::string_view base) {
  return HasWriterSuffix(name, BackupPrefix(std::string(base)));
}

bool FileReplacement::Open(const std::string& path, mode_t mode, bool exact_mode) {
  Abandon();
  backup_.clear();
  path_ = path;
  finished_ = false;
  // The process id and a sequence number make the name unique among live
  // replacements; the clock keeps a name left by a crashed process (whose id
  // came back) from being hit again and again.
  const unsigned clock = ClockBits();
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp_ = WriterName(TemporaryPrefix(path), clock);
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

bool FileReplacement::Install() {
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
  SyncParentDir(path_);
  return true;
}

namespace {

// One final name of a set installed together, and what stood there.
struct InstallName {
  size_t first = 0;      // the first file of the set with this name
  bool kept = false;     // a file stood there and is kept under the first file's backup name
  bool aside = false;    // ... by moving it there just before the name's first rename
  bool changed = false;  // a rename changed what the name holds
  FileId put;            // the file renamed there last
};

// Whether this process could remove a link it made in folder dir to the
// file st: in a folder with the sticky bit only the owner of a file or of
// the folder may (or a holder of CAP_FOWNER, as root is taken to be). A link
// it could not remove again would stay behind as another user's file.
bool MayRemoveLink(const struct stat& dir, const struct stat& st) {
  if ((dir.st_mode & S_ISVTX) == 0) return true;
  const uid_t me = geteuid();
  return me == 0 || st.st_uid == me || dir.st_uid == me;
}

// Keeps the file st at path under a new backup name (in *backup): a hard
// link, or, where links are refused, a name free for it to be moved to at
// install time (*aside set). *backup stays empty when the file went
// meanwhile. False (errno set) when no name can be had.
bool KeepOldFile(const std::string& path, const struct stat& st, const struct stat* dir,
                 std::string* backup, bool* aside) {
  const unsigned clock = ClockBits();
  *aside = dir != nullptr && !MayRemoveLink(*dir, st);
  for (int attempt = 0; attempt < 100; ++attempt) {
    *backup = WriterName(BackupPrefix(path), clock);
    if (*aside) {
      struct stat taken;
      if (::lstat(backup->c_str(), &taken) != 0 && errno == ENOENT) return true;
      continue;
    }
    if (Link(path.c_str(), backup->c_str()) == 0) return true;
    if (errno == ENOENT) {
      backup->clear();
      return true;
    }
    // A file system without links, a file whose owner forbids them, or too
    // many links: the file itself is moved aside instead.
    if (errno != EEXIST) *aside = true;
  }
  backup->clear();
  errno = EEXIST;
  return false;
}

}  // namespace

InstallResult InstallTogether(FileReplacement* const* files, size_t n) {
  InstallResult result;
  std::vector<InstallName> names;
  std::vector<size_t> name_of;  // per file, its name in names
  std::vector<FileId> ids;      // per file, its temporary
  UniqueFd folder;
  // Stops before any name has changed: the kept links and the temporaries
  // go. Allocates nothing.
  auto give_up = [&](size_t failed, int error) {
    for (const InstallName& name : names) {
      std::string& backup = files[name.first]->backup_;
      if (name.kept && !name.aside) ::unlink(backup.c_str());  // nothing was moved aside yet
      backup.clear();
    }
    for (size_t i = 0; i < n; ++i) files[i]->Abandon();
    result.failed = failed;
    result.error = error;
    errno = error;
    return result;
  };

  // Before the first rename: what stands at each name is kept.
  size_t at = 0;
  try {
    names.reserve(n);
    name_of.resize(n);
    ids.resize(n);
    struct stat dir;
    bool have_dir = false;
    if (n > 0) {
      const std::string folder_path(FolderOf(SplitPath(files[0]->path_)));
      folder = UniqueFd(::open(folder_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
      have_dir = folder.ok() ? ::fstat(folder.get(), &dir) == 0 : ::stat(folder_path.c_str(), &dir) == 0;
    }
    for (; at < n; ++at) {
      FileReplacement* f = files[at];
      struct stat st;
      if (!f->finished_ || f->temp_.empty()) return give_up(at, EINVAL);
      if (::lstat(f->temp_.c_str(), &st) != 0) return give_up(at, errno);
      ids[at] = FileId{st.st_dev, st.st_ino};
      size_t k = 0;
      while (k < names.size() && files[names[k].first]->path_ != f->path_) ++k;
      name_of[at] = k;
      if (k < names.size()) continue;
      names.emplace_back();
      InstallName& name = names.back();
      name.first = at;
      if (::lstat(f->path_.c_str(), &st) != 0) {
        if (errno != ENOENT) return give_up(at, errno);
        continue;  // no file there: putting back removes the new one
      }
      if (S_ISDIR(st.st_mode)) continue;  // no file goes over a folder: its rename fails
      if (!KeepOldFile(f->path_, st, have_dir ? &dir : nullptr, &f->backup_, &name.aside)) {
        return give_up(at, errno);
      }
      name.kept = !f->backup_.empty();
    }
  } catch (const std::bad_alloc&) {
    return give_up(at, ENOMEM);
  }

  // The renames, one right after the other.
  size_t done = 0;
  for (; done < n; ++done) {
    FileReplacement* f = files[done];
    InstallName& name = names[name_of[done]];
    if (name.aside && !name.changed) {
      if (Rename(f->path_.c_str(), files[name.first]->backup_.c_str()) != 0) break;
      name.changed = true;
    }
    if (Rename(f->temp_.c_str(), f->path_.c_str()) != 0) break;
    name.changed = true;
    name.put = ids[done];
    f->temp_.clear();
    f->finished_ = false;
  }
  if (done == n) {
    for (const InstallName& name : names) {
      FileReplacement* f = files[name.first];
      if (!f->backup_.empty()) ::unlink(f->backup_.c_str());
      f->backup_.clear();
    }
    // The files are in place; syncing the folder only makes the renames
    // survive a crash.
    if (folder.ok()) SyncFolder(folder.get());
    result.installed = true;
    return result;
  }
  result.failed = done;
  result.error = errno;

  // Put back, the name changed last first.
  for (size_t j = done + 1; j-- > 0 && result.put_back;) {
    const InstallName& name = names[name_of[j]];
    if (name.first != j || !name.changed) continue;
    FileReplacement* f = files[j];
    if (name.kept) {
      if (Rename(f->backup_.c_str(), f->path_.c_str()) != 0) {
        result.put_back = false;
      } else {
        f->backup_.clear();
      }
      continue;
    }
    // The name held no file: the one put there goes, while it is still the
    // one put there.
    struct stat st;
    if (::lstat(f->path_.c_str(), &st) == 0 && st.st_dev == name.put.dev && st.st_ino == name.put.ino &&
        ::unlink(f->path_.c_str()) != 0) {
      result.put_back = false;
    }
  }
  for (const InstallName& name : names) {
    FileReplacement* f = files[name.first];
    // The link kept for a name that no rename reached; a file moved aside
    // and not put back is the only copy of the old file, and stays.
    if (!name.changed && !f->backup_.empty()) {
      if (!name.aside) ::unlink(f->backup_.c_str());
      f->backup_.clear();
    }
  }
  for (size_t i = 0; i < n; ++i) files[i]->Abandon();
  if (folder.ok()) SyncFolder(folder.get());
  errno = result.error;
  return result;
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
  if (!SyncFolder(fd.get())) return false;
  return fd.Close();
}

namespace {

// Removes the files beside path whose names is_leftover gives as path's,
// except the files keep names, under any name; nothing unless lock is held.
void RemoveLeftovers(const std::string& path, const OutputLock& lock, const std::vector<FileId>& keep,
                     bool (*is_leftover)(std::string_view name, std::string_view base)) {
  if (!lock.held()) return;
  const PathSplit split = SplitPath(path);
  const std::string dir(FolderOf(split));
  // Closed however the walk ends (a name check may run out of memory).
  const std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(dir.c_str()), ::closedir);
  if (d == nullptr) return;
  while (const dirent* e = ::readdir(d.get())) {
    if (!is_leftover(e->d_name, split.base)) continue;
    // A kept file stays under any name, and so does a link to it.
    struct stat st;
    const bool known = !keep.empty() && ::fstatat(dirfd(d.get()), e->d_name, &st, 0) == 0;
    const auto kept = [&](const FileId& id) {
      return known && st.st_dev == id.dev && st.st_ino == id.ino;
    };
    if (std::any_of(keep.begin(), keep.end(), kept)) continue;
    ::unlinkat(dirfd(d.get()), e->d_name, 0);
  }
}

}  // namespace

void RemoveStaleTemporaries(const std::string& path, const OutputLock& lock,
                            const std::vector<FileId>& keep) {
  RemoveLeftovers(path, lock, keep, IsTemporaryName);
}

void RemoveStaleBackups(const std::string& path, const OutputLock& lock,
                        const std::vector<FileId>& keep) {
  RemoveLeftovers(path, lock, keep, IsBackupName);
}

}  // namespace toolkit
