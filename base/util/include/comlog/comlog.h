// The structured logging framework's process-level interface.
//
// While the log switcher is LOG_SWITCHER_COMLOG the process log (ul_log.h)
// hands its calls to the functions below.
#ifndef COMLOG_COMLOG_H_
#define COMLOG_COMLOG_H_

#include <stdarg.h>

#include "comlog/com_log_switcher.h"

// Writes one message at a level id; va_list form.
int com_writelog_args(int level, const char* fmt, va_list args);
// Opens logging for the calling thread.
int com_openlog_r();
// Closes the framework; wait_ms bounds the wait for network queues (-1: none).
int com_closelog(int wait_ms);
// Ends the calling thread's logging.
int com_closelog_r();
// 1 if a line of this level would be written, else 0.
int com_log_enabled(int level);

#endif  // COMLOG_COMLOG_H_
