#include "load_parts.h"

#include <sched.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <new>

#include "toolkit/worker.h"

namespace kavo {
namespace pbdict {

int UsableCores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof(set), &set) != 0) return 1;
  const int n = CPU_COUNT(&set);
  return n > 0 ? n : 1;
}

int PartsFor(size_t units, size_t per_part, int most) {
  if (most < 1 || per_part == 0) return 1;
  return static_cast<int>(std::max<size_t>(1, std::min<size_t>(units / per_part, most)));
}

bool RunPartsOf(int parts, bool (*run)(const void* ctx, int part), const void* ctx) {
  if (parts < 1) return true;
  toolkit::WorkerThread threads[kMostPartThreads];
  bool ok[kMostPartThreads] = {};  // thread t's result, written by thread t
  int started = 0;                 // parts 1 .. started run on threads
  while (started < kMostPartThreads && started + 1 < parts) {
    const int p = started + 1;
    bool* result = &ok[started];
    bool running = false;
    try {
      running = threads[started].Start(
          [run, ctx, p, result](const toolkit::StopToken&) { *result = run(ctx, p); });
    } catch (const std::bad_alloc&) {
    }
    if (!running) break;
    ++started;
  }
  bool all = run(ctx, 0);
  for (int p = started + 1; p < parts; ++p) all = run(ctx, p) && all;
  for (int t = 0; t < started; ++t) {
    threads[t].Join();
    all = all && ok[t];
  }
  return all;
}

bool AdviseLargePages(void* p, size_t bytes) {
#ifdef MADV_HUGEPAGE
  constexpr uintptr_t kLargePage = uintptr_t{1} << 21;
  const uintptr_t start = reinterpret_cast<uintptr_t>(p);
  const uintptr_t first = (start + kLargePage - 1) & ~(kLargePage - 1);
  const uintptr_t last = (start + bytes) & ~(kLargePage - 1);
  return p != nullptr && last > first &&
         ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE) == 0;
#else
  (void)p;
  (void)bytes;
  return false;
#endif
}

}  // namespace pbdict
}  // namespace kavo
