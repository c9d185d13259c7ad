#include "out_of_memory.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>

#include <google/protobuf/stubs/common.h>

namespace pbdict_app {

namespace {

std::atomic<const char*> g_step{nullptr};
// An allocation through operator new has failed in this run (whether or not
// the run recovered from it).
std::atomic<bool> g_ran_out{false};
std::terminate_handler g_next = nullptr;

// Called by operator new when memory cannot be had: notes it, then fails
// the allocation as operator new does without a handler.
void NoteRanOut() {
  g_ran_out = true;
  throw std::bad_alloc();
}

// What a termination is handling.
enum class Handling {
  kNothing,        // no exception (a throw that could not be made, say)
  kBadAlloc,       // std::bad_alloc
  kProtobufFault,  // protobuf's broken invariant, as a pool unwound half built throws
  kOther,          // any other exception: a fault of its own
};

// What the termination under way is handling. The rethrow reuses the
// exception: nothing is allocated.
Handling WhatIsHandled() {
  if (!std::current_exception()) return Handling::kNothing;
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return Handling::kBadAlloc;
  } catch (const google::protobuf::FatalException&) {
    return Handling::kProtobufFault;
  } catch (...) {
    return Handling::kOther;
  }
}

// Whether the termination under way is for want of memory: std::bad_alloc
// is handled, or an allocation has failed and what is handled is nothing or
// protobuf's broken invariant (which memory running out inside protobuf
// leaves behind). Any other exception is a fault, whatever failed before.
bool ForWantOfMemory() {
  const Handling handling = WhatIsHandled();
  if (handling == Handling::kBadAlloc) return true;
  return g_ran_out.load() && (handling == Handling::kNothing || handling == Handling::kProtobufFault);
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
  if (!ForWantOfMemory()) {
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
