// State the framework's interface, configuration and core objects share.
#ifndef COMLOG_COMLOG_INTERNAL_H_
#define COMLOG_COMLOG_INTERNAL_H_

#include <pthread.h>

#include <mutex>

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
