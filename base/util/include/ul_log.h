// Process and thread log: the one logging call of the whole system.
//
// A process opens its log files once with ul_openlog(); worker threads share
// them or open files of their own with ul_openlog_r(). While no log is open,
// lines go to standard error with threshold 255.
#ifndef UL_LOG_H_
#define UL_LOG_H_

#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>

// Levels, compared as numbers: a line is written when level <= threshold.
#define UL_LOG_FATAL 1
#define UL_LOG_WARNING 2
#define UL_LOG_NOTICE 4
#define UL_LOG_TRACE 8
#define UL_LOG_DEBUG 16
#define UL_LOG_START (-1)     // banner to the normal file
#define UL_LOG_WFSTART (-2)   // banner to the ".wf" file
#define UL_LOG_NONE 0
#define UL_LOG_ALL 255

// Self-defined logs 0..7 are written with levels 256..263.
#define UL_LOG_SELF_BEGIN 256
#define UL_LOG_SELF_END 263
#define UL_LOG_SELF_MASK 0xFF

// Bits of ul_logstat_t::spec.
#define UL_LOGTTY 0x02       // echo every line on standard error
#define UL_LOGNEWFILE 0x08   // a thread opened with ul_openlog_r gets its own files
#define UL_LOGSIZESPLIT 0x10 // rotation keeps the old file under a time-stamped name

#define UL_LOG_FILE_NUM 2048  // entries of the shared open-file table
#define UL_LOG_BUFF_SIZE 2048 // longest line, its terminating NUL included
#define UL_MAX_SELF_LOG 8
#define UL_SELF_NAME_SIZE 256
#define UL_LOG_PATH_SIZE 1025

// Open options given by the caller.
typedef struct ul_logstat_t {
  int events;     // threshold
  int to_syslog;  // level bits also sent to syslog
  int spec;       // UL_LOGTTY | UL_LOGNEWFILE | UL_LOGSIZESPLIT
} ul_logstat_t;

// Self-defined logs: entry i < log_number opens when its name is non-empty
// and its flag is not 0.
typedef struct Ul_log_self {
  char name[UL_MAX_SELF_LOG][UL_SELF_NAME_SIZE];
  char flags[UL_MAX_SELF_LOG];
  int log_number;
} Ul_log_self;

// One entry of the shared table of open files.
typedef struct ul_file_t {
  FILE* fp;         // the open stream; NULL while the entry is free
  int flag;         // bit 1: rotate when full; bit 2: full, nothing more is written
  int ref_cnt;      // units using the entry; 0: free entry
  int max_size;     // bytes; 0: no size checks
  pthread_mutex_t file_lock;
  char file_name[UL_LOG_PATH_SIZE];
} ul_file_t;

// One per thread that opened a log.
typedef struct ul_log_t {
  char used;
  ul_file_t* pf;     // normal file
  ul_file_t* pf_wf;  // ".wf" file
  pthread_t tid;     // kernel thread id of the thread that created the unit
  int mask;          // threshold
  int log_syslog;
  int log_spec;
  ul_file_t* spf[UL_MAX_SELF_LOG];
} ul_log_t;

// Opens the process log. max_size is in MiB (1..2044; otherwise 2045 MiB).
// Returns 0, or -1 on failure. Each open stores a unit for the calling
// thread; a unit the thread already had is released when the new one is
// open, and stays the thread's log when the new one fails.
int ul_openlog(const char* log_path, const char* proc_name, ul_logstat_t* log_state,
               int max_size, Ul_log_self* self = NULL);
// Opens the calling thread's log. Returns 0, or -1 on failure.
int ul_openlog_r(const char* thread_name, ul_logstat_t* log_state, Ul_log_self* self = NULL);
// Close the process / thread log; iserr selects the "abnormal" banner.
int ul_closelog(int iserr);
int ul_closelog_r(int iserr);

// Writes one line. Returns 0 written, -3 filtered, -4 file full, -1 no file.
int ul_writelog(int event, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
int ul_writelog_args(int event, const char* fmt, va_list args);

// 1 when a line of this level would be written by the calling thread's log.
int ul_log_enabled(int level);

int ul_get_log_level();
void ul_set_log_level(int lv);

// Creates the thread key of the per-thread log units once; returns 0.
int ul_threadlog_sup();

#endif  // UL_LOG_H_
