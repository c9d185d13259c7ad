// State the framework's interface, configuration and core objects share.
#ifndef COMLOG_COMLOG_INTERNAL_H_
#define COMLOG_COMLOG_INTERNAL_H_

#include <pthread.h>

#include <mutex>

#include "comlog/com_device.h"
#include "comlog/xsync.h"

namespace comspace {

// Guards the level names, the framework's initialisation and closing.
extern pthread_mutex_t g_seflog_lock;

class Event;

// The current opening of the framework: 1 at start, one more for each close
// or reset (Category::isCurrent compares with it).
unsigned int comlog_opening();

// Brings an Event that holds no line to the buffer sizes new Events get now;
// an Event holding a line, or without memory for new buffers, stays as it
// is. The Event object itself stays: its thread may hold it.
void comlog_refit_event(Event* e);

// Taken by every opening (com_openlog, com_loadlog, the lazy opening) for
// its whole length, inside the write gate: while the framework is off, what
// is registered is made by the opening that holds it, and a load refused
// because the framework is open changes nothing.
std::recursive_mutex& comlog_open_mutex();

// Settings a configuration file gives beside com_openlog's arguments.
struct OpenSettings {
  const char* time_format = nullptr;  // the strftime format of %Y, when given
  bool has_log_length = false;
  int log_length = 0;  // the message buffer length, when given
};

// com_openlog that applies load's settings too (NULL: none). An opening
// applies its settings (the process name, the levels, load's) only once it
// can no longer fail: one that is refused or fails leaves them as they
// were.
int comlog_openlog(const char* procname, com_device_t* devices, int n, com_logstat_t* logstat,
                   const OpenSettings* load);

// Empties the reload registry (its filters are about to be deleted).
void comlog_clear_reglogstat();

// For tests: when set, init_log calls it once the registry is made and
// before the default level filter is, so that a test can hold an opening
// there, half set up. NULL otherwise.
extern void (*comlog_setup_pause)();

// For tests: when set, com_loadlog calls it once the devices' own layouts
// are registered and before it opens, so that a test can hold a loader
// there. NULL otherwise.
extern void (*comlog_load_pause)();

}  // namespace comspace

#endif  // COMLOG_COMLOG_INTERNAL_H_
