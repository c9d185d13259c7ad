// XThread: the framework's background thread, a callback called in a loop on
// a toolkit WorkerThread until it returns XTHREAD_STOP.
#ifndef COMLOG_XTHREAD_H_
#define COMLOG_XTHREAD_H_

#include "toolkit/worker.h"

namespace comspace {

enum XThreadAction {
  XTHREAD_CREATE = 0,
  XTHREAD_RUN = 1,
  XTHREAD_STOP = -1,  // a callback returns it to end its thread
};

typedef int (*xthread_callback_t)(void*);

struct XThreadCallback {
  xthread_callback_t callback = nullptr;
  void* param = nullptr;
};

class XThread {
 public:
  XThread() = default;
  // Ends the loop after the callback's current round and joins the thread,
  // so the thread never outlives the callback's owner.
  ~XThread() = default;
  XThread(const XThread&) = delete;
  XThread& operator=(const XThread&) = delete;

  // Starts a thread that calls callback (param) until it returns
  // XTHREAD_STOP. 0, or the error number after "cannot start thread: %m".
  int start(xthread_callback_t callback, void* param);
  // Waits for the thread to end (its callback returned XTHREAD_STOP); 0.
  int join();

 private:
  XThreadCallback _callback;
  toolkit::WorkerThread _worker;
};

}  // namespace comspace

#endif  // COMLOG_XTHREAD_H_
