// Whole-file replacement for every file other processes read: the new
// contents go to a temporary file in the same folder, are flushed to disk and
// renamed over the final name. A reader (or a process that mapped the old
// file) sees the old file or the new one, never a mix; a crash or a full disk
// leaves the old file as it was; a symlink at the final name is replaced, not
// written through.
#ifndef UL_TOOLKIT_REPLACE_H_
#define UL_TOOLKIT_REPLACE_H_

#include <stdio.h>
#include <sys/types.h>

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/file.h"
#include "toolkit/output_lock.h"

namespace toolkit {

class FileReplacement;

// What InstallTogether did.
struct InstallResult {
  bool installed = false;  // every file is in place
  // Otherwise: the file whose installation failed (its rename, or the
  // moving aside of the file it replaces, or the keeping of that file
  // before any rename), and the errno of that call.
  size_t failed = 0;
  int error = 0;
  // Otherwise: every name holds again what it held before (true), or a
  // put-back failed too (false): the names then hold what the install had
  // reached when it stopped, and each old file not put back is kept under
  // the backup_path() of the first file of the set with its name.
  bool put_back = true;
};

class FileReplacement {
 public:
  FileReplacement() = default;
  // Removes the temporary file unless it was installed.
  ~FileReplacement() { Abandon(); }
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // Creates the temporary file beside path. The file gets mode as open(2)
  // gives it (under the umask), or exactly mode when exact_mode is set.
  // False (errno set) when it cannot be created.
  bool Open(const std::string& path, mode_t mode, bool exact_mode = false);

  // The temporary file's descriptor, and a stream over it (made on first
  // use; owned by this object).
  int fd() const { return fd_; }
  FILE* Stream();

  // Flushes the stream, syncs the file to disk and closes it. False (errno
  // set) on any failure: the bytes are not all on disk.
  bool Finish();
  // Renames the finished temporary over the final name, then syncs the
  // folder (best effort). False (errno set, temporary removed) when the
  // rename fails; the old file stays.
  bool Install();
  bool Commit() { return Finish() && Install(); }

  // Closes and removes the temporary file (nothing once installed).
  void Abandon();

  const std::string& path() const { return path_; }
  const std::string& temp_path() const { return temp_; }
  // Where the file this one replaces is kept while InstallTogether runs
  // (a name of BackupPrefix(path())'s form), and stays when the install
  // failed and could not put it back ("" when there is none).
  const std::string& backup_path() const { return backup_; }

 private:
  friend InstallResult InstallTogether(FileReplacement* const* files, size_t n);

  std::string path_;
  std::string temp_;
  std::string backup_;
  int fd_ = -1;
  FILE* stream_ = nullptr;
  bool finished_ = false;
};

// Installs finished replacements that belong together (the files of one
// dictionary) all or none: in the order given, one rename right after the
// other, and syncs their folder once after the last.
//
// Before the first rename, each file to be replaced is kept under a backup
// name beside it (BackupPrefix): a hard link, or, where a link is refused
// (a file system without them, a file of another user), the file itself,
// moved there just before its replacement goes in. When a rename fails, the
// names changed so far are put back in the reverse order of their changes,
// each to the file it held (a name that held none loses the file put
// there), so a set whose order keeps every step safe for readers (a
// barrier first over the name that goes in last) passes back through those
// same steps. A put-back that fails stops the putting back there (an
// earlier name put back before a later one could pair files that never
// stood together). Every temporary of the set is removed, and the kept
// files with it unless they could not be put back. Once all are in place a
// failure to sync the folder changes nothing: the files are installed.
// Between the renames nothing is allocated.
InstallResult InstallTogether(FileReplacement* const* files, size_t n);
inline InstallResult InstallTogether(std::initializer_list<FileReplacement*> files) {
  return InstallTogether(files.begin(), files.size());
}

// The prefix of every temporary name FileReplacement uses for path.
std::string TemporaryPrefix(const std::string& path);

// True when name is one FileReplacement gives a temporary of the file named
// base (both without folder): TemporaryPrefix(base), the writer's process
// id, its sequence number and the clock's low 16 bits, joined by '-', each
// in decimal as the writer writes it.
bool IsTemporaryName(std::string_view name, std::string_view base);

// Removes the temporaries that interrupted replacements of path left
// behind (new files, never the previous one): the files beside path whose
// names IsTemporaryName gives as its temporaries, except the files keep
// names, under any name (the inputs of the writer: an input can bear such
// a name). Only the holder of the output's lock knows that no live
// replacement owns them: nothing is removed unless lock is held.
void RemoveStaleTemporaries(const std::string& path, const OutputLock& lock,
                            const std::vector<FileId>& keep = {});

// The prefix of the names under which InstallTogether keeps the old file at
// path while the new one goes in. One left behind (by an install that was
// killed, or that could not put the old file back) may be the only copy of
// the previous file: it is no temporary, and goes only once a new file is
// in place (RemoveStaleBackups).
std::string BackupPrefix(const std::string& path);

// True when name is one InstallTogether gives a kept old file of the file
// named base: BackupPrefix(base), then the parts of a temporary's name.
bool IsBackupName(std::string_view name, std::string_view base);

// Removes the old files of path that installs left behind (names that
// IsBackupName gives), except the files keep names, under any name; for
// the holder of the output's lock once it has put a new file in place,
// which makes them out of date. Nothing is removed unless lock is held.
void RemoveStaleBackups(const std::string& path, const OutputLock& lock,
                        const std::vector<FileId>& keep = {});

// For tests: when set, InstallTogether makes its renames (of a new file
// into place, of an old file aside or back) and its links (keeping an old
// file) through these instead of rename(2) and link(2), so that a test can
// refuse any of them. nullptr otherwise.
extern int (*replace_rename)(const char* from, const char* to);
extern int (*replace_link)(const char* from, const char* to);

// Syncs the folder that holds path, so a rename in it is on disk.
bool SyncParentDir(const std::string& path);

}  // namespace toolkit

#endif  // UL_TOOLKIT_REPLACE_H_
