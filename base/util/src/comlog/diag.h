// The framework's own diagnostics: one line on standard error, prefixed with
// "[pid][pthread_self][source:line]", written at once and flushed. They never
// pass through the framework or the process log, so they work while either
// is half open or closed.
#ifndef COMLOG_DIAG_H_
#define COMLOG_DIAG_H_

namespace comspace {

// file is the reporting source (__FILE__); its path below the framework's
// source folder is printed.
void com_diag(const char* file, int line, const char* fmt, ...) __attribute__((format(printf, 3, 4)));

// The path of a source file below the framework's folder.
const char* com_source_name(const char* file);

// A WARNING of the registry and its hash map: through ul_writelog, or, while
// the calling thread is inside a registry or open step (RegistryBusy), where
// ul_writelog could come back into the framework and wait on the lock the
// thread holds, straight to standard error as "WARNING: " and the text.
void com_warning(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Marks the calling thread as one of the framework's own background threads
// (the log senders and the server checker) for the rest of its life. Lines
// such a thread writes through the process log (the socket functions'
// warnings) go to standard error as diagnostics instead of through the
// categories: they would otherwise open the thread lazily (a hold closing
// waits for), take the framework's locks while it holds a sender's, and feed
// a failing sender's warnings back into its own queue.
void com_mark_own_thread();
bool com_is_own_thread();

// Marks the calling thread as inside a registry or open step for its scope.
class RegistryBusy {
 public:
  RegistryBusy();
  ~RegistryBusy();
  RegistryBusy(const RegistryBusy&) = delete;
  RegistryBusy& operator=(const RegistryBusy&) = delete;
};

}  // namespace comspace

#define COMLOG_DIAG(...) ::comspace::com_diag(__FILE__, __LINE__, __VA_ARGS__)

#endif  // COMLOG_DIAG_H_
