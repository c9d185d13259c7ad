// Large node blocks, mapped on their own with huge pages asked for.
#include <errno.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

#include "db_internal.h"
#include "ul_log.h"

namespace {

constexpr uintptr_t kHuge = uintptr_t{2} << 20;

uintptr_t RoundUp(uintptr_t n, uintptr_t to) { return (n + to - 1) & ~(to - 1); }

size_t MappedSize(size_t size) { return RoundUp(size, static_cast<uintptr_t>(sysconf(_SC_PAGESIZE))); }

void* Map(size_t len) {
  void* p = mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p != MAP_FAILED) return p;
  const int err = errno;
  ul_writelog(UL_LOG_WARNING, "mmap(%zu) call failed.error[%d] info is '%s'.", len, err, std::strerror(err));
  return nullptr;
}

// Asks for huge pages over the 2 MiB-aligned part of [from, to); only
// advice, the memory works the same without.
void AdviseHuge(uintptr_t from, uintptr_t to) {
  from = RoundUp(from, kHuge);
  to &= ~(kHuge - 1);
  if (from < to) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
}

}  // namespace

void* dict_internal::MapBlock(size_t size, bool added) {
  const size_t len = MappedSize(size);
  if (!added) {
    void* p = Map(len);
    if (p != nullptr) AdviseHuge(reinterpret_cast<uintptr_t>(p) + kHuge, reinterpret_cast<uintptr_t>(p) + len);
    return p;
  }
  // 2 MiB more than the block, then the unaligned ends given back.
  void* reserved = Map(len + kHuge);
  if (reserved == nullptr) return nullptr;
  const uintptr_t start = reinterpret_cast<uintptr_t>(reserved);
  const uintptr_t block = RoundUp(start, kHuge);
  if (block > start) munmap(reserved, block - start);
  if (start + kHuge > block) munmap(reinterpret_cast<void*>(block + len), start + kHuge - block);
  AdviseHuge(block, block + len);
  return reinterpret_cast<void*>(block);
}

void dict_internal::UnmapBlock(void* block, size_t size) { munmap(block, MappedSize(size)); }
