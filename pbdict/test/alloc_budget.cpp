// Preloaded (LD_PRELOAD) into a program under test: a failing allocator.
// Once the program opens a file whose name ends with PBDICT_ALLOC_ARM_AT
// (".proto", say), PBDICT_ALLOC_BUDGET more allocations succeed; the next
// one fails as the C library's do when memory runs out (NULL, errno
// ENOMEM), and so does every one after it. A sweep of budgets 0, 1, 2, ...
// makes memory run out at each allocation of the run in turn. Unset:
// nothing fails.
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>

extern "C" {
void* __libc_malloc(size_t n);
void* __libc_calloc(size_t count, size_t n);
void* __libc_realloc(void* p, size_t n);
void* __libc_memalign(size_t alignment, size_t n);
}

namespace {

std::atomic<bool> g_armed{false};
std::atomic<size_t> g_left{0};

// The budget of the run; SIZE_MAX when none is set (getenv and strtoull
// do not allocate).
size_t Budget() {
  const char* e = getenv("PBDICT_ALLOC_BUDGET");
  return e != nullptr ? strtoull(e, nullptr, 10) : static_cast<size_t>(-1);
}

void ArmAt(const char* path) {
  const char* suffix = getenv("PBDICT_ALLOC_ARM_AT");
  if (suffix == nullptr || path == nullptr || g_armed.load()) return;
  const size_t n = strlen(path), s = strlen(suffix);
  if (n < s || strcmp(path + n - s, suffix) != 0) return;
  g_left.store(Budget());
  g_armed.store(true);
}

// Takes one allocation of the budget; false (errno ENOMEM) when none is
// left.
bool Take() {
  if (!g_armed.load()) return true;
  size_t left = g_left.load();
  do {
    if (left == 0) {
      errno = ENOMEM;
      return false;
    }
  } while (!g_left.compare_exchange_weak(left, left - 1));
  return true;
}

mode_t ModeOf(int flags, va_list ap) {
  return (flags & (O_CREAT | O_TMPFILE)) != 0 ? static_cast<mode_t>(va_arg(ap, int)) : 0;
}

}  // namespace

extern "C" {

void* malloc(size_t n) { return Take() ? __libc_malloc(n) : nullptr; }

void* calloc(size_t count, size_t n) { return Take() ? __libc_calloc(count, n) : nullptr; }

void* realloc(void* p, size_t n) { return Take() ? __libc_realloc(p, n) : nullptr; }

void* memalign(size_t alignment, size_t n) {
  return Take() ? __libc_memalign(alignment, n) : nullptr;
}

void* aligned_alloc(size_t alignment, size_t n) { return memalign(alignment, n); }

int posix_memalign(void** out, size_t alignment, size_t n) {
  void* p = memalign(alignment, n);
  if (p == nullptr) return ENOMEM;
  *out = p;
  return 0;
}

int open(const char* path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  const mode_t mode = ModeOf(flags, ap);
  va_end(ap);
  ArmAt(path);
  return openat(AT_FDCWD, path, flags, mode);
}

// The same call under its large-file name.
int open64(const char* path, int flags, ...) __attribute__((alias("open")));

}  // extern "C"
