// The process-wide log switcher: which logger is open. The process log
// (ul_log.h) sets it between NONE and ULLOG; only the logging framework sets
// COMLOG, and while it is COMLOG the process log forwards to the framework.
#ifndef COMLOG_COM_LOG_SWITCHER_H_
#define COMLOG_COM_LOG_SWITCHER_H_

namespace comspace {

enum {
  LOG_SWITCHER_NONE = 0,    // no logger open: lines go to standard error
  LOG_SWITCHER_ULLOG = 1,   // the process log is open
  LOG_SWITCHER_COMLOG = 2,  // the logging framework is open
};

int com_get_log_switcher();
// Sets the switcher; returns 0.
int com_set_log_switcher(int value);

}  // namespace comspace

#endif  // COMLOG_COM_LOG_SWITCHER_H_
