// A binary dictionary written in stages, for a caller that checks the
// written files before they replace the old ones: Write puts both files on
// disk under temporary names, Load reads them back as the installed files
// would be read, and Install puts them in place; a run that stops before
// Install (a failed check, memory running out, a kill) leaves the old files
// as they were. dset_binary_dump is Write then Install. The header is
// private to the module and its program (pbdict-build), never installed.
#ifndef PBDICT_SRC_STAGED_DUMP_H_
#define PBDICT_SRC_STAGED_DUMP_H_

#include <string>
#include <vector>

#include "pbdict.h"
#include "toolkit/file.h"
#include "toolkit/output_lock.h"
#include "toolkit/replace.h"

namespace kavo {
namespace pbdict {

// Install: the new files are not in place, and the old ones could not all
// be put back (logged with the names that keep them).
constexpr int kDumpNotPutBack = -2;

class StagedDump {
 public:
  StagedDump() = default;
  StagedDump(const StagedDump&) = delete;
  StagedDump& operator=(const StagedDump&) = delete;

  // Writes dict as "<path>/<name>.pbd" and "<path>/<name>.ht" under
  // temporary names beside them, holding the output's lock from here until
  // this object goes. Leftovers of killed writes go first, except the text
  // file dict was loaded from and the files keep names (the writer's other
  // inputs), whatever their names. 0, or -1 (logged) as dset_binary_dump's
  // write.
  int Write(PbDict* dict, const char* path, const char* name,
            const std::vector<toolkit::FileId>& keep = {});

  // Loads the written files into an unloaded dictionary, as
  // dset_binary_load reads them once installed: 0, or -1 (logged).
  int Load(PbDict* into);

  // Puts the written files in place, the key table first and the values
  // last (over an existing dictionary a barrier goes first: an empty
  // dictionary's values file, so that no moment pairs the old values with
  // the new keys). 0, old files that earlier installs left kept beside them
  // then removed (they are out of date); -1 (logged) when they cannot all go
  // in, the old files being back in place; kDumpNotPutBack (logged) when the
  // old files could not all be put back either.
  int Install();

 private:
  static constexpr size_t kPathSize = 256;

  int WriteFiles(PbDict* dict, const char* path, const char* name,
                 const std::vector<toolkit::FileId>& keep);

  toolkit::OutputLock lock_;
  std::vector<toolkit::FileId> inputs_;  // files no clean-up removes
  toolkit::FileReplacement pbd_, ht_, barrier_;
  char pbd_file_[kPathSize] = {};
  char ht_file_[kPathSize] = {};
  std::string name_;
  bool empty_ = false;
  bool written_ = false;
};

}  // namespace pbdict
}  // namespace kavo

#endif  // PBDICT_SRC_STAGED_DUMP_H_
