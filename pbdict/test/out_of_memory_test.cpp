// The builder's last word when memory runs out where nothing can catch it:
// each case ends a forked child through std::terminate with the builder's
// handlers installed, its standard output and error in files.
#include "out_of_memory.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <google/protobuf/stubs/common.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>

#include "support/support.h"

namespace {

using testsupport::ReadFile;

void ThrowBadAlloc() { throw std::bad_alloc(); }
void ThrowOther() { throw std::runtime_error("not memory"); }
// What protobuf throws when it finds its own state broken (as a descriptor
// pool does when it is unwound half built).
void ThrowProtobufFault() { throw google::protobuf::FatalException(__FILE__, __LINE__, "CHECK failed"); }

// Calls fn where an exception cannot leave: what it throws terminates.
void (*volatile g_fn)() = nullptr;
void CallNoexcept(void (*fn)()) noexcept {
  g_fn = fn;
  g_fn();
}

// How the memory ran short, or not, before the termination.
enum class Before { kNothing, kAllocationFailed };

struct Row {
  const char* what;
  const char* step;            // the step under way, or nullptr
  Before before;
  void (*end)();               // ends the child; throws into CallNoexcept
  int status;                  // exit status, or 128 + signal
  std::string out;             // what it printed ("": no line of its own)
  bool default_report;         // the C++ library's own words on standard error
};

void EndThrowingBadAlloc() { CallNoexcept(ThrowBadAlloc); }
void EndThrowingOther() { CallNoexcept(ThrowOther); }
void EndThrowingProtobufFault() { CallNoexcept(ThrowProtobufFault); }
void EndWithoutException() { std::terminate(); }

TEST(OutOfMemoryExit, TerminationForWantOfMemoryEndsWithStatus255) {
  const std::string fatal_import = "before\nFATAL: out of memory while importing the schema.\n[5] Return:-1\n";
  const Row rows[] = {
      {"bad_alloc out of a destructor", "importing the schema", Before::kNothing, EndThrowingBadAlloc,
       255, fatal_import, false},
      {"no step yet", nullptr, Before::kNothing, EndThrowingBadAlloc, 255,
       "before\nFATAL: out of memory.\n[5] Return:-1\n", false},
      {"no exception, after an allocation failed", "importing the schema", Before::kAllocationFailed,
       EndWithoutException, 255, fatal_import, false},
      {"protobuf's fault, after an allocation failed", "loading the binary dict",
       Before::kAllocationFailed, EndThrowingProtobufFault, 255,
       "before\nFATAL: out of memory while loading the binary dict.\n[5] Return:-1\n", false},
      // Not for want of memory: a fault, ended as before, even once an
      // allocation has failed (and been recovered from) earlier in the run.
      {"another exception", "importing the schema", Before::kNothing, EndThrowingOther, 128 + SIGABRT,
       "", true},
      {"another exception, after an allocation failed", "loading the binary dict",
       Before::kAllocationFailed, EndThrowingOther, 128 + SIGABRT, "", true},
      {"protobuf's fault", "importing the schema", Before::kNothing, EndThrowingProtobufFault,
       128 + SIGABRT, "", true},
      {"no exception", "importing the schema", Before::kNothing, EndWithoutException, 128 + SIGABRT,
       "", true},
  };
  testsupport::TempDir dir;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const int status = testsupport::RunInChild([&] {
      const int out = ::open(dir.file("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int err = ::open(dir.file("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) return 126;
      pbdict_app::ExitOnOutOfMemory();
      pbdict_app::SetStep(row.step);
      if (row.before == Before::kAllocationFailed) {
        // What operator new calls when memory cannot be had.
        try {
          std::get_new_handler()();
        } catch (const std::bad_alloc&) {
        }
      }
      std::printf("before\n");  // buffered: the file is no terminal
      row.end();
      return 125;
    });
    EXPECT_EQ(row.status, status);
    const std::string out = ReadFile(dir.file("out"));
    if (!row.out.empty()) {
      EXPECT_EQ(row.out, out);
    } else {
      EXPECT_EQ(std::string::npos, out.find("FATAL")) << out;  // what was buffered may be lost
    }
    EXPECT_EQ(row.default_report, ReadFile(dir.file("err")).find("terminate called") != std::string::npos)
        << ReadFile(dir.file("err"));
  }
}

}  // namespace
