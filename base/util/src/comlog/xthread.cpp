#include "comlog/xthread.h"

#include <errno.h>

#include "comlog/diag.h"

namespace comspace {

int XThread::start(xthread_callback_t callback, void* param) {
  _callback.callback = callback;
  _callback.param = param;
  const XThreadCallback cb = _callback;
  bool ok = _worker.Start([cb](const toolkit::StopToken& stop) {
    while (!stop.stop_requested() && cb.callback(cb.param) != XTHREAD_STOP) {
    }
  });
  if (ok) return 0;
  int err = errno;
  COMLOG_DIAG("cannot start thread: %m");
  return err;
}

int XThread::join() {
  _worker.Join();
  return 0;
}

}  // namespace comspace
