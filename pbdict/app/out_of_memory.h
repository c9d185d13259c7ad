// Memory running out where no catch can see it. protobuf throws
// std::bad_alloc out of destructors while it parses a schema, and a
// descriptor pool left half built can throw again as it is unwound; the
// process then ends through std::terminate, which aborts it (SIGABRT). The
// builder ends such a run as every run that runs out of memory: it prints
// "FATAL: out of memory while STEP." and "[5] Return:-1" and exits with
// status 255 (-1).
#ifndef PBDICT_APP_OUT_OF_MEMORY_H_
#define PBDICT_APP_OUT_OF_MEMORY_H_

namespace pbdict_app {

// Installs the handlers; called first thing in main. A termination while
// std::bad_alloc is handled, or, once an allocation has failed, one while no
// exception or protobuf's FatalException is handled, is reported as above,
// without allocating; any other termination (a fault, not for want of
// memory: another exception escaping, even after an allocation failed and
// was recovered from) goes on to the handler in place before.
void ExitOnOutOfMemory();

// The step under way, as the report names it ("importing the schema"); the
// text must live as long as the process. nullptr before the first step.
void SetStep(const char* step);
const char* Step();

}  // namespace pbdict_app

#endif  // PBDICT_APP_OUT_OF_MEMORY_H_
