// Per-thread error number and error text, each in a thread-specific slot
// created on the thread's first use and freed by the key's destructor when
// the thread ends. The main thread's slots are freed at process exit.
#include "ul_error.h"

#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

#include "toolkit/thread_slot.h"

namespace {

const char* const kErrText[] = {
    "CALL SUCCESS",
    "CALL UL_GETERR(INT ERRNO) TO FIND DETAIL",
    "ALLOC MEMORY FAIL",
    "MEMORY SEGMENT",
    "READ ERR",
    "WRITE ERR",
    "INVALID FILE[NET] HANDLE",
    "NET CONNECT FAIL",
    "INVALID INPUT PARAM",
    "OPEN FILE ERR",
};
const int kErrTextNum = sizeof(kErrText) / sizeof(kErrText[0]);
const char kInvalidErrno[] = "INVALID ERRNO";
char kEmpty[] = "";

pthread_once_t g_key_once = PTHREAD_ONCE_INIT;
toolkit::ThreadSlot<int> g_errno_slot;
toolkit::ThreadSlot<char> g_errbuf_slot;
bool g_keys_ok = false;

void CreateKeys() { g_keys_ok = g_errno_slot.Create(free) == 0 && g_errbuf_slot.Create(free) == 0; }

// The calling thread's value of slot, allocated zeroed on first use; NULL
// when the key or the memory is missing.
template <class T>
T* Value(const toolkit::ThreadSlot<T>& slot, size_t bytes) {
  pthread_once(&g_key_once, CreateKeys);
  if (!g_keys_ok) return nullptr;
  T* p = slot.Get();
  if (p != nullptr) return p;
  p = static_cast<T*>(calloc(1, bytes));
  if (p == nullptr) return nullptr;
  if (slot.Set(p) != 0) {
    free(p);
    return nullptr;
  }
  return p;
}

int* ErrnoSlot() { return Value(g_errno_slot, sizeof(int)); }
char* ErrbufSlot() { return Value(g_errbuf_slot, UL_ERRSTR_BUFSIZE); }

// Frees the exiting thread's values and unbinds them, so that neither the
// key destructor nor a later call sees freed memory.
class GlobalDestroy {
 public:
  ~GlobalDestroy() {
    if (!g_keys_ok) return;
    g_errno_slot.Reset();
    g_errbuf_slot.Reset();
  }
};
GlobalDestroy g_global_destroy;

}  // namespace

int ul_geterrno() {
  int* p = ErrnoSlot();
  return p == nullptr ? 0 : *p;
}

int ul_seterrno(int err) {
  int* p = ErrnoSlot();
  if (p == nullptr) return -1;
  *p = err;
  return 0;
}

const char* ul_geterrstr(int err) {
  if (err < 0 || err >= kErrTextNum) return kInvalidErrno;
  if (err == UL_DETAILERR) return ul_geterrbuf();
  return kErrText[err];
}

char* ul_geterrbuf() {
  char* p = ErrbufSlot();
  return p == nullptr ? kEmpty : p;
}

int ul_seterrbuf(const char* fmt, ...) {
  char* p = ErrbufSlot();
  if (p == nullptr) return -1;
  if (fmt == nullptr) {
    p[0] = '\0';
    return 0;
  }
  va_list ap;
  va_start(ap, fmt);
  int n = vsnprintf(p, UL_ERRSTR_BUFSIZE, fmt, ap);
  va_end(ap);
  if (n < 0) p[0] = '\0';
  return 0;
}
