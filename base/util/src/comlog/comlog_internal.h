// State the framework's interface, configuration and core objects share.
#ifndef COMLOG_COMLOG_INTERNAL_H_
#define COMLOG_COMLOG_INTERNAL_H_

#include <pthread.h>

#include "comlog/xsync.h"

namespace comspace {

// Guards the level names, the framework's initialisation and closing.
extern pthread_mutex_t g_seflog_lock;

// Frees the calling thread's Event (its key keeps no value).
void comlog_free_thread_event();

// Empties the reload registry (its filters are about to be deleted).
void comlog_clear_reglogstat();

}  // namespace comspace

#endif  // COMLOG_COMLOG_INTERNAL_H_
