#include "dict_out.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "toolkit/file.h"
#include "toolkit/path.h"
#include "ul_func.h"
#include "ul_log.h"

namespace dict_internal {

bool OutFile::Create(const char* path, mode_t mode, bool exact) {
  ok_ = file_.Open(path, mode, exact);
  if (!ok_) {
    const int err = errno;
    ul_writelog(UL_LOG_WARNING, "open(%s,%d,%d) call failed.error[%d] info is '%s'.", path,
                O_WRONLY | O_CREAT | O_TRUNC, static_cast<int>(mode), err, std::strerror(err));
  }
  return ok_;
}

bool OutFile::Write(const void* data, size_t n) {
  if (ok_) ok_ = toolkit::WriteAll(file_.fd(), data, n, ul_write);
  return ok_;
}

bool OutFile::Commit() { return Finish() && Install(); }

bool OutFile::Finish() {
  if (ok_ && file_.Finish()) return true;
  const int err = ok_ ? errno : EIO;
  ul_writelog(UL_LOG_WARNING, "[dict] %s not replaced.error[%d] info is '%s'.",
              file_.path().c_str(), err, std::strerror(err));
  file_.Abandon();
  ok_ = false;
  return false;
}

bool OutFile::Install() {
  if (ok_ && file_.Install()) return true;
  const int err = errno;
  ul_writelog(UL_LOG_WARNING, "[dict] %s not replaced.error[%d] info is '%s'.",
              file_.path().c_str(), err, std::strerror(err));
  file_.Abandon();
  ok_ = false;
  return false;
}

bool CommitAll(std::initializer_list<OutFile*> files) {
  bool ok = true;
  for (OutFile* f : files) ok = f->Finish() && ok;
  if (!ok) {
    for (OutFile* f : files) f->Abandon();
    return false;
  }
  std::vector<toolkit::FileReplacement*> all;
  for (OutFile* f : files) all.push_back(f->replacement());
  const toolkit::InstallResult done = toolkit::InstallTogether(all.data(), all.size());
  if (done.installed) return true;
  ul_writelog(UL_LOG_WARNING, "[dict] %s not replaced.error[%d] info is '%s'.",
              all[done.failed]->path().c_str(), done.error, std::strerror(done.error));
  if (!done.put_back) {
    // The set is as the install left it; the old files not put back are
    // kept beside it.
    for (const toolkit::FileReplacement* f : all) {
      if (!f->backup_path().empty()) {
        ul_writelog(UL_LOG_WARNING, "[dict] %s not put back: the old file is kept as %s.",
                    f->path().c_str(), f->backup_path().c_str());
      }
    }
  }
  for (OutFile* f : files) f->Abandon();
  return false;
}

namespace {

// Calls remove(file, lock) for each file of the set saved as dir/name.
void RemoveFromSet(const char* dir, const char* name, const toolkit::OutputLock& lock,
                   void (*remove)(const std::string& file, const toolkit::OutputLock& lock,
                                  const std::vector<toolkit::FileId>& keep)) {
  for (const char* suffix : {".n", ".ind1", ".ind2"}) {
    char file[256];
    if (toolkit::JoinPath(file, dir, name, suffix)) remove(file, lock, {});
  }
}

}  // namespace

bool CommitIndexSet(OutFile* numbers, OutFile* ind1, OutFile* ind2, const char* dir,
                    const char* name, const toolkit::OutputLock& lock) {
  char path[256];
  struct stat st;
  bool done = false;
  if (!toolkit::JoinPath(path, dir, name, ".n") || ::lstat(path, &st) != 0) {
    done = CommitAll({ind2, ind1, numbers});
  } else {
    // A negative record count: refused by every loader of the set.
    OutFile barrier;
    if (!CreateNumbers(&barrier, dir, name, {{"node_num", -1}})) {
      for (OutFile* f : {numbers, ind1, ind2}) f->Abandon();
      return false;
    }
    done = CommitAll({&barrier, ind2, ind1, numbers});
  }
  // Until the new set is in place, the old files that earlier saves kept
  // may be the only copy of the old set. Memory running out leaves them to
  // a later save; the set is in place all the same.
  if (done) {
    try {
      RemoveFromSet(dir, name, lock, toolkit::RemoveStaleBackups);
    } catch (const std::bad_alloc&) {
    }
  }
  return done;
}

bool LockSave(toolkit::OutputLock* lock, const char* dir, const char* name) {
  char path[256];
  if (!toolkit::JoinPath(path, dir, name, ".n")) return false;
  if (lock->TryLock(path)) {
    // Leftovers of saves that were killed: no saver owns them now.
    RemoveFromSet(dir, name, *lock, toolkit::RemoveStaleTemporaries);
    return true;
  }
  const int err = errno;
  if (err == EWOULDBLOCK) {
    ul_writelog(UL_LOG_WARNING, "[dict] %s is being saved by another writer.", path);
  } else {
    ul_writelog(UL_LOG_WARNING, "[dict] %s cannot be locked.error[%d] info is '%s'.", path, err,
                std::strerror(err));
  }
  return false;
}

bool CreateNumbers(OutFile* out, const char* dir, const char* name,
                   std::initializer_list<std::pair<const char*, int>> numbers) {
  char path[256];
  if (!toolkit::JoinPath(path, dir, name, ".n")) return false;
  std::string text;
  for (const auto& [key, value] : numbers) text += std::string(key) + " : " + std::to_string(value) + "\n";
  return out->Create(path, 0666, false) && out->Write(text.data(), text.size());
}

bool WriteNumbers(const char* dir, const char* name,
                  std::initializer_list<std::pair<const char*, int>> numbers) {
  OutFile out;
  return CreateNumbers(&out, dir, name, numbers) && out.Commit();
}

}  // namespace dict_internal
