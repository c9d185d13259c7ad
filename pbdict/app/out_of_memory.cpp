#include "out_of_memory.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>

namespace pbdict_app {

namespace {

std::atomic<const char*> g_step{nullptr};
// An allocation through operator new has failed in this run.
std::atomic<bool> g_ran_out{false};
std::terminate_handler g_next = nullptr;

// Called by operator new when memory cannot be had: notes it, then fails
// the allocation as operator new does without a handler.
void NoteRanOut() {
  g_ran_out = true;
  throw std::bad_alloc();
}

// Whether the exception being handled, if any, is std::bad_alloc. The
// rethrow reuses the exception: nothing is allocated.
bool HandlingBadAlloc() {
  if (!std::current_exception()) return false;
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return true;
  } catch (...) {
    return false;
  }
}

void Write(const char* text) {
  size_t left = std::strlen(text);
  while (left > 0) {
    const ssize_t n = ::write(STDOUT_FILENO, text, left);
    if (n <= 0) return;  // nothing more can be said
    text += n;
    left -= static_cast<size_t>(n);
  }
}

[[noreturn]] void OnTerminate() {
  if (!g_ran_out.load() && !HandlingBadAlloc()) {
    if (g_next != nullptr) g_next();
    std::abort();
  }
  // What was printed before comes first; its buffer is there already.
  std::fflush(stdout);
  const char* step = g_step.load();
  Write("FATAL: out of memory");
  if (step != nullptr) {
    Write(" while ");
    Write(step);
  }
  Write(".\n[5] Return:-1\n");
  _exit(255);
}

}  // namespace

void ExitOnOutOfMemory() {
  std::set_new_handler(NoteRanOut);
  g_next = std::set_terminate(OnTerminate);
}

void SetStep(const char* step) { g_step = step; }

const char* Step() { return g_step.load(); }

}  // namespace pbdict_app
