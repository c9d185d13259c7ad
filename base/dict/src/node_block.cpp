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

// Where the mapping of a block of len bytes ends. An added block starts on a
// 2 MiB boundary and its mapping ends with its pages. A first block never
// does (it starts kSmallDictionary bytes before one), and its mapping runs on
// to the next boundary, so that its last nodes share a huge page as well;
// the address space past the block is never touched.
uintptr_t MappedEnd(uintptr_t block, size_t len) {
  return block % kHuge == 0 ? block + len : RoundUp(block + len, kHuge);
}

}  // namespace

void* dict_internal::MapBlock(size_t size, bool added) {
  static_assert(kSmallDictionary % 4096 == 0 && kSmallDictionary > 0 && kSmallDictionary < kHuge,
                "the small part of a first block is whole pages, less than a huge page");
  const size_t len = MappedSize(size);
  // Room for the block wherever it must start and end, then the rest given
  // back.
  void* reserved = Map(len + 2 * kHuge);
  if (reserved == nullptr) return nullptr;
  const uintptr_t start = reinterpret_cast<uintptr_t>(reserved);
  const uintptr_t small = added ? 0 : kSmallDictionary;
  const uintptr_t block = RoundUp(start + small, kHuge) - small;
  const uintptr_t end = MappedEnd(block, len);
  if (block > start) munmap(reserved, block - start);
  if (start + len + 2 * kHuge > end) munmap(reinterpret_cast<void*>(end), start + len + 2 * kHuge - end);
  AdviseHuge(block + small, end);
  return reinterpret_cast<void*>(block);
}

void dict_internal::UnmapBlock(void* block, size_t size) {
  const uintptr_t b = reinterpret_cast<uintptr_t>(block);
  munmap(block, MappedEnd(b, MappedSize(size)) - b);
}
