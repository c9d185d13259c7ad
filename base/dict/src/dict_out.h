// A dictionary file written whole: the bytes go to a temporary file beside
// the final name, which they replace only once complete and on disk, so a
// reader (or a process that mapped the old file) never sees a half-written
// file. Writes go through ul_write, which logs a failed call.
#ifndef DICT_SRC_DICT_OUT_H_
#define DICT_SRC_DICT_OUT_H_

#include <sys/types.h>

#include <cstddef>
#include <initializer_list>
#include <utility>

#include "toolkit/output_lock.h"
#include "toolkit/replace.h"

namespace dict_internal {

class OutFile {
 public:
  // Creates the temporary file for path with exactly mode (or mode under the
  // umask when exact is false). A failure is logged as the open wrapper logs
  // a failed creation (WARNING).
  bool Create(const char* path, mode_t mode = 0644, bool exact = true);
  // Appends n bytes; a failure is remembered and reported by Commit.
  bool Write(const void* data, size_t n);
  // Puts the file in place of path; false (logged) when a write, the sync or
  // the rename failed, and the old file then stays.
  bool Commit();
  // The two halves of Commit, for a set of files that replace their old
  // versions together: Finish puts the bytes on disk under the temporary
  // name, Install renames them over path. Each is false (logged) on failure,
  // and the temporary file is then gone.
  bool Finish();
  bool Install();
  toolkit::FileReplacement* replacement() { return &file_; }
  // Drops the temporary file (nothing once installed).
  void Abandon() {
    file_.Abandon();
    ok_ = false;
  }

 private:
  toolkit::FileReplacement file_;
  bool ok_ = false;
};

// Commits a set of files as one: every file is finished first (a failure
// leaves all old files as they were and removes every temporary), then each
// is renamed over its old version in the order given, so the renames come
// as close together as they can. A refused rename puts the old files back
// (toolkit::InstallTogether); a put-back that fails is logged with the
// names that keep the old files.
bool CommitAll(std::initializer_list<OutFile*> files);

// Commits a signature dictionary's three files (numbers, bucket index,
// records) saved as dir/name: the records first, the numbers file last. Over
// an existing set a numbers file that every loader refuses goes in first, so
// that a save stopped between the renames leaves a set that is refused,
// never new records read through the old numbers. Once the set is in place,
// the old files that earlier saves kept beside it (killed, or not put back)
// go, under the save lock (LockSave). False (logged) on failure.
bool CommitIndexSet(OutFile* numbers, OutFile* ind1, OutFile* ind2, const char* dir,
                    const char* name, const toolkit::OutputLock& lock);

// Takes the save lock of the dictionary whose numbers file is dir/name.n, so
// two savers of the same files do not mix them, and removes the temporaries
// that killed saves left. False (logged) when another saver holds it or the
// lock file cannot be made.
bool LockSave(toolkit::OutputLock* lock, const char* dir, const char* name);

// Creates the numbers file dir/name.n under a temporary name and writes its
// lines (not yet committed); false (logged) on failure.
bool CreateNumbers(OutFile* out, const char* dir, const char* name,
                   std::initializer_list<std::pair<const char*, int>> numbers);

// Writes the numbers file dir/name.n whole: one "key : value" line per
// number, in order, as ul_writenum_oneint writes them (mode 0666 under the
// umask). False when it cannot be written.
bool WriteNumbers(const char* dir, const char* name,
                  std::initializer_list<std::pair<const char*, int>> numbers);

}  // namespace dict_internal

#endif  // DICT_SRC_DICT_OUT_H_
