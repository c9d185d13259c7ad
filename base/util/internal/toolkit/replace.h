// Whole-file replacement for every file other processes read: the new
// contents go to a temporary file in the same folder, are flushed to disk and
// renamed over the final name. A reader (or a process that mapped the old
// file) sees the old file or the new one, never a mix; a crash or a full disk
// leaves the old file as it was; a symlink at the final name is replaced, not
// written through.
//
// Part of the shared toolkit ("toolkit/*.h", in ul, never installed): pieces
// more than one library needs; nothing in it logs. A helper that one source
// file alone needs stays file-local in that file (the rule is written down
// in cmake/PbdictTargets.cmake).
// Here SplitPath (a path's folder and name) is file-local in replace.cpp:
// only the replacement splits paths.
#ifndef UL_TOOLKIT_REPLACE_H_
#define UL_TOOLKIT_REPLACE_H_

#include <stdio.h>
#include <sys/types.h>

#include <cstddef>
#include <initializer_list>
#include <string>

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

// Removes temporaries that interrupted replacements of path left behind.
// Call it only while no other process replaces the same path (under the
// output's lock), or a live replacement would lose its file.
void RemoveStaleTemporaries(const std::string& path);

// Syncs the folder that holds path, so a rename in it is on disk.
bool SyncParentDir(const std::string& path);

}  // namespace toolkit

#endif  // UL_TOOLKIT_REPLACE_H_
