// Work split into parts that run at once, for the binary loader: one part on
// the calling thread, each other part on a thread of its own.
#ifndef PBDICT_SRC_LOAD_PARTS_H_
#define PBDICT_SRC_LOAD_PARTS_H_

#include <cstddef>

namespace kavo {
namespace pbdict {

// The cores this process may run on (its affinity mask, so that taskset and
// container limits hold), at least 1.
int UsableCores();

// How many parts a job of `units` units gets: one per `per_part` units, at
// least 1 and at most `most`.
int PartsFor(size_t units, size_t per_part, int most);

// The most parts that run on threads of their own at once.
constexpr int kMostPartThreads = 16;

// Runs run(ctx, 0) .. run(ctx, parts - 1) and returns when all have ended:
// part 0 on the calling thread, parts 1 to kMostPartThreads each on a
// thread of its own, and the parts beyond them, or those for which no thread
// can be started, on the calling thread after part 0. Every part runs,
// whatever the others return; true when all returned true. A part must not
// throw.
bool RunPartsOf(int parts, bool (*run)(const void* ctx, int part), const void* ctx);

// RunPartsOf for a callable taking the part's number.
template <class Part>
bool RunParts(int parts, const Part& part) {
  return RunPartsOf(
      parts, [](const void* ctx, int p) -> bool { return (*static_cast<const Part*>(ctx))(p); },
      &part);
}

// Asks the kernel to back the whole 2 MB pages inside [p, p + bytes) with
// large pages when they are first written: a large array that is filled
// right after its allocation then costs one page fault per 2 MB instead of
// one per 4 KB. A hint only: nothing else changes, whether the kernel takes
// it (true) or not.
bool AdviseLargePages(void* p, size_t bytes);

}  // namespace pbdict
}  // namespace kavo

#endif  // PBDICT_SRC_LOAD_PARTS_H_
