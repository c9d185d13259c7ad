// The structured logging framework: a process opens it with com_openlog (or
// from a configuration file with com_loadlog), every thread writes through
// its own category, and com_closelog closes it.
//
// One process-wide switcher (com_log_switcher.h) tells which logger is open.
// While it is the framework, the process log (ul_log.h) hands its lines to
// com_writelog_args; while it is not, the framework's level-number calls
// fall back to the process log. The level-name calls, the stream call, the
// device and mask calls and the per-thread accessors open the framework on
// first use, with one terminal appender on standard error.
//
// Levels: 1 FATAL, 2 WARNING, 4 NOTICE, 8 TRACE, 16 DEBUG, and self-defined
// levels (ids 32 to 63) by name.
#ifndef COMLOG_COMLOG_H_
#define COMLOG_COMLOG_H_

#include <stdarg.h>
#include <stdint.h>

#include "comlog/appender/appender.h"
#include "comlog/appender/appenderfactory.h"
#include "comlog/category.h"
#include "comlog/com_device.h"
#include "comlog/com_log_switcher.h"
#include "comlog/event.h"
#include "comlog/layout.h"
#include "comlog/levels.h"
#include "comlog/logstat.h"

namespace comspace {

// A thread's records: its category (NULL until it opened) and its Event.
struct com_thread_data_t {
  Category* category;
  Event* event;
  unsigned int generation;  // the opening the category belongs to
};

// Reload function of the reload registry: fills ls from path/file; -1 keeps
// the levels unchanged.
typedef int (*com_reload_fn_t)(com_logstat_t* ls, const char* path, const char* file);

// Adds a filter to the reload registry (at most 1024 entries). 0, or -1.
int reg_logstat(LogStat* ls, com_reload_fn_t fn, const char* path, const char* file);
// The default reload function: reads COMLOG_LEVEL, COMLOG_SELFDEFINE and the
// devices' OPEN flags from path/file.
int _def_loadconf_(com_logstat_t* ls, const char* path, const char* file);
// ORs the bit of each self-defined level named in names into the device's
// log_mask, making the levels as needed; 0.
int set_comdevice_selflog(com_device_t* dev, const char* names);

// The OR of 1 << v over the system levels v <= t (16: 0x10116, 4: 0x16).
uint64_t comlog_get_lower_syslevel(int t);

// Start and end of the framework's shared state (the registry and the
// default filter): init_log makes it once, close_log and reset_log drop it.
int init_log();
int is_init_log();
int close_log(int wait_ms);
int reset_log();

}  // namespace comspace

// Opens the framework for the process with n devices (0: one terminal
// device with the five system levels) and the level record (may be NULL).
// 0, or -1 (nothing stays open).
int com_openlog(const char* procname, comspace::com_device_t* devices, int n,
                comspace::com_logstat_t* logstat);
// Opens the calling thread's logging.
int com_openlog_r();
// Closes the framework; wait_ms, counted from the call, bounds the wait for
// the network queues and AFILE's held lines (-1: without bound).
int com_closelog(int wait_ms);
// Ends the calling thread's logging.
int com_closelog_r();
// Drops every appender, registry entry and thread record; back to closed.
int com_resetlog();

// Write one message at a level id or a level name; 0 also when the level is
// refused, -1 on failure.
int com_writelog(int level, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
int com_writelog(const char* levelname, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
// The same with "version type " before the line (version >= 0, type not empty).
int com_writelog_ex(int level, int version, const char* type, const char* fmt, ...)
    __attribute__((format(printf, 4, 5)));
int com_writelog_ex(const char* levelname, int version, const char* type, const char* fmt, ...)
    __attribute__((format(printf, 4, 5)));
int com_writelog_args(int level, const char* fmt, va_list args);
// The thread's category, prepared for "<<" output at a level; then flush().
comspace::Category* com_writelog_stream(int level);

comspace::com_thread_data_t* com_getthreaddata();
comspace::Category* com_getcategory();
comspace::Event* com_getevent();

// Sends the thread category's appenders of a type to their back-up appenders.
int com_setappendermask(char* type);
// Adds appenders for more devices to the thread's category; selfname, when
// given, names a self-defined level added to each appender.
int com_setdevices(comspace::com_device_t* devices, int n, char* selfname);
// The id of a level name; 0 when unknown or NULL.
int com_getlogid(char* name);
// Registers the thread category's filter for reloading from path/file.
int com_reglogstat(const char* path, const char* file);
// Reloads every registered filter; 0.
int com_changelogstat();
// Applies a level record to the thread category's filter. 0, or -1.
int com_changelogstat(comspace::com_logstat_t* ls);
int com_registappender(const char* name, comspace::appender_fn_t getter,
                       comspace::appender_fn_t tryer);
// 1 if a line of that level would be written, else 0.
int com_log_enabled(int level);
int com_log_enabled(const char* levelname);
// 1 when the framework is open, 2 when the process log is, 0 otherwise.
int com_logstatus();
int comlog_get_log_level();
int comlog_set_log_level(int level);

// Open the framework from the configuration file path/file (pid: the value of
// a MERULKA device's DISKLOG_PATH_ID). com_openlog's result, or -1.
int com_loadlog(const char* path, const char* file);
int com_loadlog_ex(const char* path, const char* file, int pid);

#endif  // COMLOG_COMLOG_H_
