// Names for the result codes and states that the dictionary module and the
// builder compare. The values are the public contract of the functions and
// fields named beside them (pbdict.h, hash.h) and never change; the names
// only say what a comparison means. The header is private to the module and
// its program (pbdict-build), never installed.
#ifndef PBDICT_SRC_PBDICT_RESULTS_H_
#define PBDICT_SRC_PBDICT_RESULTS_H_

namespace kavo {
namespace pbdict {

// dset_load / PbDict::load (besides 0 loaded and -1 failed): stopped at
// max_line with err_if_overflow_maxline 1.
constexpr int kLoadOverflow = 2;

// restore_item: the item array was shrunk (or kept, or freed).
constexpr int kRestoreItemOk = 1;

// hash_insert_node: the key was already in the table (nothing inserted).
constexpr int kHashKeyPresent = 1;

// PbDict::load_type.
constexpr int kNotLoaded = -1;
constexpr int kLoadedText = 0;
constexpr int kLoadedBinary = 1;

}  // namespace pbdict
}  // namespace kavo

#endif  // PBDICT_SRC_PBDICT_RESULTS_H_
