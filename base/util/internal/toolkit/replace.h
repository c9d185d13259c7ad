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

#include "toolkit/file.h"
#include "toolkit/output_lock.h"

namespace toolkit {

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
  // folder (best effort) unless sync_folder is false (a caller installing
  // several files renames them all first, as close together as it can, and
  // syncs the folder once with SyncParentDir). False (errno set, temporary
  // removed) when the rename fails; the old file stays.
  bool Install(bool sync_folder = true);
  bool Commit() { return Finish() && Install(); }

  // Closes and removes the temporary file (nothing once installed).
  void Abandon();

  const std::string& path() const { return path_; }
  const std::string& temp_path() const { return temp_; }

 private:
  std::string path_;
  std::string temp_;
  int fd_ = -1;
  FILE* stream_ = nullptr;
  bool finished_ = false;
};

// Installs finished replacements that belong together (the files of one
// dictionary), in the order given, one rename right after the other, and
// syncs their folder once after the last. The files they replace are held
// open meanwhile, so no rename has to free the old file's space (which can
// take milliseconds) and the moment where some are new and some old is as
// short as it can be. Stops at the first failed rename (errno set; that
// temporary is removed). Returns how many were installed.
size_t InstallTogether(FileReplacement* const* files, size_t n);
inline size_t InstallTogether(std::initializer_list<FileReplacement*> files) {
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
// behind: the files beside path whose names IsTemporaryName gives as its
// temporaries, except the file keep names (when given: an input being read
// can bear such a name). Only the holder of the output's lock knows that no
// live replacement owns them: nothing is removed unless lock is held.
void RemoveStaleTemporaries(const std::string& path, const OutputLock& lock,
                            const FileId* keep = nullptr);

// Syncs the folder that holds path, so a rename in it is on disk.
bool SyncParentDir(const std::string& path);

}  // namespace toolkit

#endif  // UL_TOOLKIT_REPLACE_H_
