// Process and thread log.
//
// Open log files are shared between threads through a reference-counted
// table under one mutex; every file has a mutex of its own, held across the
// size check, a rotation and the write and flush of one line. Each thread
// that opened a log keeps its unit in a thread-specific slot; threads without
// one write through the standard-error unit.
//
// This file talks to the system directly (stdio, stat, rename) and never
// logs through itself: a failure here can only drop a line.
//
// Messages are the system's own texts, odd spelling included ("successed"):
// log readers match them, so they stay as they are.
#include "ul_log.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <initializer_list>
#include <string>
#include <string_view>

#include "comlog/com_log_switcher.h"
#include "comlog/comlog.h"
#include "dep_log.h"
#include "toolkit/file.h"
#include "toolkit/lock.h"
#include "toolkit/path.h"
#include "toolkit/thread_slot.h"

namespace {

// Longest file name kept in the table, without its NUL.
constexpr size_t kMaxFileName = UL_LOG_PATH_SIZE - 1;
// Room for a rotated name: the longest file name, "/." before the base name
// and the longest suffix (".tmp", or a time stamp and a counter).
constexpr size_t kRotateNameSize = UL_LOG_PATH_SIZE + 64;

// Results of opening a table entry.
enum OpenResult { kOpened = 0, kTableFull = -1, kOpenFailed = -2 };

ul_file_t g_file_array[UL_LOG_FILE_NUM];
pthread_mutex_t file_lock = PTHREAD_MUTEX_INITIALIZER;

// The thread's log unit (freed by the thread's own ul_closelog).
toolkit::ThreadSlot<ul_log_t> g_log_slot;
pthread_once_t g_log_once = PTHREAD_ONCE_INIT;

char g_log_path[UL_LOG_PATH_SIZE] = "./";
char g_proc_name[UL_LOG_PATH_SIZE] = "";

// The open calls change the size limit, the global level and the
// standard-error unit's threshold while other threads may read them; relaxed
// atomics keep them free of data races (no other data is published through
// them).
std::atomic<int> g_file_size{0};
std::atomic<int> g_global_level{UL_LOG_DEBUG};
std::atomic<int> g_stderr_mask{UL_LOG_ALL};

// The standard-error entry and unit used while a thread has no log of its own.
// Both are constant-initialised so that lines written by other static
// initialisers find them ready; the entry's stream is stderr (StreamOf) and
// the unit's threshold is g_stderr_mask (Threshold), not its mask field.
ul_file_t g_file_stderr = {NULL, 0, 1, 0, PTHREAD_MUTEX_INITIALIZER, "/dev/stderr"};
ul_log_t g_log_stderr = {1, &g_file_stderr, &g_file_stderr, 0, UL_LOG_ALL, 0, 0, {}};

const ul_logstat_t kDefaultLogStat = {UL_LOG_ALL, 1, UL_LOGTTY};

// Bits of ul_file_t::flag.
constexpr int kRotateWhenFull = 1;
constexpr int kFull = 2;  // the file reached its limit and takes no more lines

FILE* StreamOf(const ul_file_t* file) { return file == &g_file_stderr ? stderr : file->fp; }

// A unit's threshold. Only the thread that owns a unit changes its mask; the
// standard-error unit is shared, so its threshold lives in an atomic.
int Threshold(const ul_log_t* unit) {
  return unit == &g_log_stderr ? g_stderr_mask.load(std::memory_order_relaxed) : unit->mask;
}

unsigned long KernelThreadId() { return static_cast<unsigned long>(syscall(SYS_gettid)); }

const char* OrNull(const char* s) { return s != NULL ? s : "null"; }

void CreateLogKey() { g_log_slot.Create(nullptr); }

// Copies at most n bytes of src into dst (which holds n + 1), NUL-terminated.
void CopyBounded(char* dst, const char* src, size_t n) {
  size_t len = strnlen(src, n);
  memcpy(dst, src, len);
  dst[len] = '\0';
}

}  // namespace

// ---------------------------------------------------------------------------
// Thread units

int ul_threadlog_sup() {
  pthread_once(&g_log_once, CreateLogKey);
  return 0;
}

static ul_log_t* ul_get_log_unit() {
  return g_log_slot.Get();
}

// A zero-filled unit stored in the calling thread's slot; NULL when it cannot
// be allocated or stored (the key exists only after ul_threadlog_sup). A unit
// the thread already had is handed back in *previous: it is released once the
// new one has opened its files (ul_release_log_unit), and put back in the
// slot when they cannot be opened (ul_free_log_unit).
static ul_log_t* ul_alloc_log_unit(ul_log_t** previous) {
  *previous = NULL;
  if (!g_log_slot.created()) return NULL;
  ul_log_t* unit = static_cast<ul_log_t*>(calloc(1, sizeof(ul_log_t)));
  if (unit == NULL) return NULL;
  unit->used = 1;
  unit->tid = static_cast<pthread_t>(KernelThreadId());
  ul_log_t* old = g_log_slot.Get();
  if (g_log_slot.Set(unit) != 0) {
    free(unit);
    return NULL;
  }
  *previous = old;
  return unit;
}

// Frees the thread's unit and puts restore (NULL: none) back in its slot, so
// that no later line uses the freed one.
static void ul_free_log_unit(ul_log_t* restore) {
  ul_log_t* unit = ul_get_log_unit();
  if (unit == NULL) return;
  g_log_slot.Set(restore);
  free(unit);
}

// ---------------------------------------------------------------------------
// Shared file table

// Opens a log file to append to it. Neither the open nor a later write waits
// on a file that is not regular (a FIFO without a reader is refused, a full
// pipe drops the line): see toolkit::OpenForAppending.
static FILE* ul_fopen_append(const char* file_name) {
  return toolkit::OpenStreamForAppending(file_name, 0666).release();
}

static FILE* ul_open_file(const char* file_name) {
  FILE* fp = ul_fopen_append(file_name);
  if (fp != NULL) return fp;
  const toolkit::PathSplit split = toolkit::SplitPath(file_name);
  const size_t dir_len = split.dir.size();
  if (!split.has_dir || dir_len == 0 || dir_len > kMaxFileName) return NULL;
  char dir[UL_LOG_PATH_SIZE];
  memcpy(dir, split.dir.data(), dir_len);
  dir[dir_len] = '\0';
  mkdir(dir, 0700);
  return ul_fopen_append(file_name);
}

// Finds the entry of file_name or fills a free one. An entry is in use while
// its reference count is positive: its stream may be NULL for a moment (or
// for good, when reopening after a rotation failed) and the entry must not be
// handed to another name while units still point to it.
static int ul_open_file_unit(const char* file_name, int flag, int max_size, ul_file_t** out) {
  *out = NULL;
  if (strlen(file_name) > kMaxFileName) return kOpenFailed;
  toolkit::MutexLock table(&file_lock);
  ul_file_t* free_entry = NULL;
  for (ul_file_t& f : g_file_array) {
    if (f.ref_cnt > 0) {
      if (strcmp(f.file_name, file_name) == 0) {
        ++f.ref_cnt;
        *out = &f;
        return kOpened;
      }
    } else if (free_entry == NULL) {
      free_entry = &f;
    }
  }
  if (free_entry == NULL) return kTableFull;
  FILE* fp = ul_open_file(file_name);
  if (fp == NULL) return kOpenFailed;
  pthread_mutex_init(&free_entry->file_lock, NULL);
  free_entry->fp = fp;
  free_entry->flag = flag;
  free_entry->ref_cnt = 1;
  free_entry->max_size = max_size;
  CopyBounded(free_entry->file_name, file_name, kMaxFileName);
  *out = free_entry;
  return kOpened;
}

// Opens the entry of the file named by the pieces put together. A name
// longer than the table keeps is refused, never cut (a cut name would be
// another file's).
static int ul_open_named(std::initializer_list<std::string_view> pieces, int flag, int max_size,
                         ul_file_t** out) {
  char name[UL_LOG_PATH_SIZE];
  if (!toolkit::Concat(name, sizeof(name), pieces)) {
    *out = NULL;
    return kOpenFailed;
  }
  return ul_open_file_unit(name, flag, max_size, out);
}

static void ul_closefile(ul_file_t* file) {
  if (file == NULL || file == &g_file_stderr) return;
  toolkit::MutexLock table(&file_lock);
  if (--file->ref_cnt < 1) {
    {
      toolkit::MutexLock entry(&file->file_lock);
      if (file->fp != NULL) fclose(file->fp);
      file->fp = NULL;
    }
    pthread_mutex_destroy(&file->file_lock);
    file->flag = 0;
    file->ref_cnt = 0;
    file->max_size = 0;
    file->file_name[0] = '\0';
  }
}

// ---------------------------------------------------------------------------
// Size check and rotation

namespace {

// Builds the name the full file is renamed to. Returns false when it would
// not fit, in which case the file is not rotated (a cut name could be the
// name of some other file, which the rename would overwrite).
bool RotatedName(const ul_file_t* file, bool timestamped, char* out, size_t size) {
  if (!timestamped) {
    // ".<base name>.tmp" in the file's own folder.
    const toolkit::PathSplit split = toolkit::SplitPath(file->file_name);
    if (!split.has_dir) return toolkit::Concat(out, size, {".", split.base, ".tmp"});
    return toolkit::Concat(out, size, {split.dir, "/.", split.base, ".tmp"});
  }
  time_t now = time(NULL);
  struct tm tm;
  localtime_r(&now, &tm);
  const int n = snprintf(out, size, "%s.%04d%02d%02d%02d%02d%02d", file->file_name,
                         tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                         tm.tm_sec);
  return n > 0 && static_cast<size_t>(n) < size;
}

// Moves the full file away. A time-stamped name never replaces an existing
// file: ".1", ".2", ... are tried behind the stamp until one is free.
bool RenameAway(const ul_file_t* file, bool timestamped, char* new_name, size_t size) {
  if (!RotatedName(file, timestamped, new_name, size)) return false;
  if (!timestamped) return rename(file->file_name, new_name) == 0;
  const size_t stamp_len = strlen(new_name);
  for (int i = 1; i < 100000; ++i) {
    struct stat st;
    if (stat(new_name, &st) != 0) {
      if (toolkit::RenameNoReplace(file->file_name, new_name) == 0) return true;
      if (errno != EEXIST) return false;
    }
    int n = snprintf(new_name + stamp_len, size - stamp_len, ".%d", i);
    if (n < 0 || static_cast<size_t>(n) >= size - stamp_len) return false;
  }
  return false;
}

}  // namespace

// Results of ul_check.
enum CheckResult { kCheckRefused = -1, kCheckOk = 0, kCheckRotated = 1 };

// Runs under the file's mutex before each write. Returns kCheckRefused when
// the line cannot be written, kCheckRotated when the file was rotated
// (new_name holds the old file's name), else kCheckOk.
static CheckResult ul_check(ul_file_t* file, char* new_name, size_t size, bool timestamped) {
  if (file == NULL) return kCheckRefused;
  if (StreamOf(file) == NULL) {
    // An earlier reopen failed: try again, so that a passing failure (the
    // folder moved away for a moment, no descriptor free) does not drop
    // every later line.
    file->fp = ul_fopen_append(file->file_name);
    if (file->fp == NULL) return kCheckRefused;
  }
  if (file->max_size == 0) return kCheckOk;
  if (StreamOf(file) == stderr) return kCheckRefused;

  long long cur_size;
  struct stat st, own;
  if (stat(file->file_name, &st) != 0) {
    // Removed or moved away: start a new file under the name.
    fclose(file->fp);
    file->fp = ul_fopen_append(file->file_name);
    if (file->fp == NULL) return kCheckRefused;
    cur_size = 0;
  } else {
    cur_size = st.st_size;
    // Another process writing the same log rotated it and started a new
    // file under the name: follow it there.
    if (fstat(fileno(file->fp), &own) == 0 && (own.st_ino != st.st_ino || own.st_dev != st.st_dev)) {
      fclose(file->fp);
      file->fp = ul_fopen_append(file->file_name);
      if (file->fp == NULL) return kCheckRefused;
    }
  }

  if ((file->flag & kRotateWhenFull) && cur_size + UL_LOG_BUFF_SIZE >= file->max_size) {
    errno = 0;
    if (RenameAway(file, timestamped, new_name, size)) {
      fclose(file->fp);
      file->fp = ul_fopen_append(file->file_name);
      if (file->fp == NULL) return kCheckRefused;
      return kCheckRotated;
    }
    if (errno == ENOENT) {
      // Another process rotated the file between the size check and the
      // rename: the file is not full, it is gone. Reopen and go on.
      fclose(file->fp);
      file->fp = ul_fopen_append(file->file_name);
      return file->fp == NULL ? kCheckRefused : kCheckOk;
    }
  }
  if (cur_size >= file->max_size) file->flag |= kFull;
  return kCheckOk;
}

// ---------------------------------------------------------------------------
// Writing

// Local time as "MM-DD hh:mm:ss". The text changes once a second, so each
// thread keeps the last one and converts the time only when the second has
// moved on (localtime_r takes a process-wide lock).
static const char* ul_ctime() {
  struct Stamp {
    time_t sec;
    char text[32];
  };
  thread_local Stamp stamp = {-1, ""};
  const time_t now = time(NULL);
  if (now != stamp.sec) {
    struct tm tm = {};
    localtime_r(&now, &tm);
    snprintf(stamp.text, sizeof(stamp.text), "%02d-%02d %02d:%02d:%02d", tm.tm_mon + 1, tm.tm_mday,
             tm.tm_hour, tm.tm_min, tm.tm_sec);
    stamp.sec = now;
  }
  return stamp.text;
}

static int ul_vwritelog_buff(ul_file_t* file, const char* line, size_t len, bool timestamped) {
  if (file == NULL) return -1;
  char old_name[kRotateNameSize];
  CheckResult rc;
  {
    toolkit::MutexLock lock(&file->file_lock);
    rc = ul_check(file, old_name, sizeof(old_name), timestamped);
    if (rc != kCheckRefused) {
      // The line and its newline in one write: on an unbuffered stream
      // (standard error) other writers' lines cannot land between them.
      char whole[UL_LOG_BUFF_SIZE + 1];
      if (len > UL_LOG_BUFF_SIZE) len = UL_LOG_BUFF_SIZE;
      memcpy(whole, line, len);
      whole[len] = '\n';
      FILE* out = StreamOf(file);
      fwrite(whole, 1, len + 1, out);
      fflush(out);
    }
  }
  if (rc == kCheckRotated && !timestamped) remove(old_name);
  return 0;
}

namespace {

// Appends the formatted message after the first head bytes of buf (which
// holds UL_LOG_BUFF_SIZE); returns the line's length, at most 2047.
size_t FormatMessage(char* buf, int head, const char* fmt, va_list args) {
  const size_t limit = UL_LOG_BUFF_SIZE - 1;
  size_t used = head < 0 ? 0 : static_cast<size_t>(head);
  if (used >= limit) return limit;
  int n = vsnprintf(buf + used, UL_LOG_BUFF_SIZE - used, fmt, args);
  if (n < 0) {
    buf[used] = '\0';
    return used;
  }
  size_t total = used + static_cast<size_t>(n);
  return total < limit ? total : limit;
}

// Whether the file reached its limit. The flag changes under the file's
// mutex (ul_check), so it is read under it too.
bool IsFull(ul_file_t* file) {
  toolkit::MutexLock lock(&file->file_lock);
  return (file->flag & kFull) != 0;
}

int SyslogPriority(int event) {
  switch (event) {
    case UL_LOG_FATAL: return LOG_ERR;
    case UL_LOG_WARNING: return LOG_WARNING;
    case UL_LOG_NOTICE: return LOG_INFO;
    case UL_LOG_TRACE:
    case UL_LOG_DEBUG: return LOG_DEBUG;
    default: return LOG_NOTICE;
  }
}

}  // namespace

// Finishes a line whose head the caller printed into buf (UL_LOG_BUFF_SIZE
// bytes): the message follows, cut at 2047 bytes; syslog gets the line when
// the unit sends this level there (self-defined lines pass 0: never); then
// the line is written with the unit's rotation mode.
static int ul_write_line(const ul_log_t* unit, ul_file_t* file, int event, char* buf, int head,
                         const char* fmt, va_list args) {
  size_t len = FormatMessage(buf, head, fmt, args);
  if (unit->log_syslog & event) syslog(SyslogPriority(event), "%s\n", buf);
  return ul_vwritelog_buff(file, buf, len, (unit->log_spec & UL_LOGSIZESPLIT) != 0);
}

static int ul_vwritelog_ex(ul_log_t* unit, int event, const char* fmt, va_list args) {
  if (Threshold(unit) < event) return -3;
  ul_file_t* file;
  const char* word;
  switch (event) {
    case UL_LOG_FATAL: file = unit->pf_wf; word = "FATAL: "; break;
    case UL_LOG_WARNING: file = unit->pf_wf; word = "WARNING: "; break;
    case UL_LOG_NOTICE: file = unit->pf; word = "NOTICE: "; break;
    case UL_LOG_TRACE: file = unit->pf; word = "TRACE: "; break;
    case UL_LOG_DEBUG: file = unit->pf; word = "DEBUG: "; break;
    case UL_LOG_WFSTART: file = unit->pf_wf; word = ""; break;
    default: file = unit->pf; word = ""; break;
  }
  if (file == NULL) return -1;
  if (IsFull(file)) return -4;
  char buf[UL_LOG_BUFF_SIZE];
  int head = snprintf(buf, sizeof(buf), "%s%s:  %s * %lu ", word, ul_ctime(), g_proc_name,
                      static_cast<unsigned long>(unit->tid));
  return ul_write_line(unit, file, event, buf, head, fmt, args);
}

static int ul_vwritelog_ex_self(ul_log_t* unit, int index, const char* fmt, va_list args) {
  ul_file_t* file = unit->spf[index];
  if (file == NULL) return -1;
  if (IsFull(file)) return -4;
  char buf[UL_LOG_BUFF_SIZE];
  int head = snprintf(buf, sizeof(buf), "SDF_LOG: LEVEL:%d %s: %s * %lu", index, ul_ctime(),
                      g_proc_name, static_cast<unsigned long>(unit->tid));
  return ul_write_line(unit, file, 0, buf, head, fmt, args);
}

// One line through the given unit, echoed on standard error when the unit
// asks for it.
static int ul_writelog_ex(ul_log_t* unit, int event, const char* fmt, va_list args) {
  int rc;
  va_list ap;
  va_copy(ap, args);
  if (event >= UL_LOG_SELF_BEGIN && event <= UL_LOG_SELF_END &&
      unit->spf[event & UL_LOG_SELF_MASK] != NULL) {
    rc = ul_vwritelog_ex_self(unit, event & UL_LOG_SELF_MASK, fmt, ap);
  } else {
    rc = ul_vwritelog_ex(unit, event, fmt, ap);
  }
  va_end(ap);
  if (unit->log_spec & UL_LOGTTY) {
    va_copy(ap, args);
    rc = ul_vwritelog_ex(&g_log_stderr, event, fmt, ap);
    va_end(ap);
  }
  return rc;
}

static int ul_writelog_unit(ul_log_t* unit, int event, const char* fmt, ...)
    __attribute__((format(printf, 3, 4)));
static int ul_writelog_unit(ul_log_t* unit, int event, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int rc = ul_writelog_ex(unit, event, fmt, ap);
  va_end(ap);
  return rc;
}

int ul_writelog_args(int event, const char* fmt, va_list args) {
  if (comspace::com_get_log_switcher() == comspace::LOG_SWITCHER_COMLOG) {
    return com_writelog_args(event, fmt, args);
  }
  ul_log_t* unit = ul_get_log_unit();
  return ul_writelog_ex(unit != NULL ? unit : &g_log_stderr, event, fmt, args);
}

int ul_writelog(int event, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int rc = ul_writelog_args(event, fmt, ap);
  va_end(ap);
  return rc;
}

// ---------------------------------------------------------------------------
// Opening and closing

static int ul_openlog_self(const Ul_log_self* self) {
  if (self == NULL) return 0;
  if (self->log_number < 0 || self->log_number > UL_MAX_SELF_LOG) {
    fprintf(stderr, "in ul_log.cpp :self define log_number error!log_number = %d\n",
            self->log_number);
    fprintf(stderr, "in ul_log.cpp:open error!\n");
    return -1;
  }
  for (int i = 0; i < self->log_number; ++i) {
    if (self->flags[i] == 0) continue;
    // An empty name, or one without its NUL inside the record, names no file.
    size_t len = strnlen(self->name[i], UL_SELF_NAME_SIZE);
    if (len == 0 || len == UL_SELF_NAME_SIZE) {
      fprintf(stderr, "in ul_log.cpp :self define log error![%d]\n", i);
      fprintf(stderr, "in ul_log.cpp:open error!\n");
      return -1;
    }
  }
  return 0;
}

// Releases every file of the unit through the reference count.
static void ul_closelog_fd(ul_log_t* unit) {
  for (int i = UL_MAX_SELF_LOG - 1; i >= 0; --i) {
    ul_closefile(unit->spf[i]);
    unit->spf[i] = NULL;
  }
  ul_closefile(unit->pf);
  ul_closefile(unit->pf_wf);
  unit->pf = NULL;
  unit->pf_wf = NULL;
}

// Ends a unit that a newer open of the same thread replaced: its files are
// released through the reference count (no banner), so that they are closed
// once nothing else uses them, and the unit is freed.
static void ul_release_log_unit(ul_log_t* replaced) {
  if (replaced == NULL) return;
  ul_closelog_fd(replaced);
  free(replaced);
}

// Opens the unit's files "<prefix>log", "<prefix>log.wf" and the selected
// "<prefix><name>.sdf.log". Returns 0, -1 when the table is full, -2 when a
// file cannot be opened; on failure nothing stays open.
static int ul_openlog_ex(ul_log_t* unit, const std::string& prefix, int events, int flag,
                         int max_size, const Ul_log_self* self) {
  unit->mask = events;
  g_stderr_mask.store(events, std::memory_order_relaxed);

  int rc = ul_open_named({prefix, "log"}, flag, max_size, &unit->pf);
  if (rc == kOpened) rc = ul_open_named({prefix, "log.wf"}, flag, max_size, &unit->pf_wf);
  if (self != NULL) {
    for (int i = 0; rc == kOpened && i < self->log_number; ++i) {
      if (self->flags[i] == 0 || self->name[i][0] == '\0') continue;
      const std::string_view name(self->name[i], strnlen(self->name[i], UL_SELF_NAME_SIZE));
      rc = ul_open_named({prefix, name, ".sdf.log"}, flag, max_size, &unit->spf[i]);
    }
  }
  if (rc != kOpened) ul_closelog_fd(unit);
  return rc;
}

static int ul_closelog_ex(int iserr, const char* word) {
  ul_log_t* unit = ul_get_log_unit();
  if (unit == NULL) return -1;
  const char* fmt = iserr != 0
                        ? "< ! > Abnormally end %s\n================================================"
                        : "< - > Normally end %s\n================================================";
  ul_writelog_unit(unit, UL_LOG_START, fmt, word);
  ul_writelog_unit(unit, UL_LOG_WFSTART, fmt, word);
  int spec = unit->log_spec;
  ul_closelog_fd(unit);
  if (spec & UL_LOGTTY) fprintf(stderr, "Close log successed.\n");
  ul_free_log_unit(NULL);
  return 0;
}

// The part of opening that the process and thread logs share: allocates the
// calling thread's unit, opens its files under prefix with the size limit
// g_file_size and takes the options. who is the name the notes on standard
// error give. Returns the unit, or NULL with nothing opened.
static ul_log_t* ul_open_unit(const std::string& prefix, const ul_logstat_t* state,
                              const Ul_log_self* self, const char* who) {
  ul_log_t* previous;
  ul_log_t* unit = ul_alloc_log_unit(&previous);
  if (unit == NULL) {
    fprintf(stderr, "in ul_log.cpp :no space!\n");
    fprintf(stderr, "in ul_log.cpp:open error!\n");
    return NULL;
  }
  if (ul_openlog_ex(unit, prefix, state->events, kRotateWhenFull,
                    g_file_size.load(std::memory_order_relaxed), self) != 0) {
    if (state->spec & UL_LOGTTY) {
      fprintf(stderr, "in ul_log.cpp:Can't open log file : %slog, exit!\n", who);
    }
    ul_free_log_unit(previous);
    return NULL;
  }
  ul_release_log_unit(previous);
  unit->log_spec = state->spec;
  unit->log_syslog = state->to_syslog;
  if (state->spec & UL_LOGTTY) fprintf(stderr, "Open log file %slog success!\n", who);
  return unit;
}

int ul_openlog(const char* log_path, const char* proc_name, ul_logstat_t* log_state, int max_size,
               Ul_log_self* self) {
  if (comspace::com_get_log_switcher() != comspace::LOG_SWITCHER_NONE) {
    fprintf(stderr, "[ul_openlog]Log is already open....");
    return -1;
  }
  ul_threadlog_sup();
  if (ul_openlog_self(self) != 0) return -1;
  const ul_logstat_t* state = log_state != NULL ? log_state : &kDefaultLogStat;

  g_file_size.store((max_size >= 1 && max_size <= 2044) ? (max_size << 20) : 0x7FD00000,
                    std::memory_order_relaxed);
  if (log_path != NULL && log_path[0] != '\0') {
    CopyBounded(g_log_path, log_path, kMaxFileName);
  } else {
    strcpy(g_log_path, ".");
  }
  if (proc_name != NULL && proc_name[0] != '\0') {
    CopyBounded(g_proc_name, proc_name, kMaxFileName);
    char* underscore = strchr(g_proc_name, '_');
    if (underscore != NULL) *underscore = '\0';
  } else {
    strcpy(g_proc_name, "null");
  }

  const std::string prefix = std::string(g_log_path) + "/" + g_proc_name;
  ul_log_t* unit = ul_open_unit(prefix, state, self, OrNull(proc_name));
  if (unit == NULL) return -1;
  g_global_level.store(state->events, std::memory_order_relaxed);
  ul_writelog_unit(unit, UL_LOG_START,
                   "* Open process log by----%s\n"
                   "=================================================",
                   OrNull(proc_name));
  ul_writelog_unit(unit, UL_LOG_WFSTART,
                   "* Open process log by----%s for wf\n"
                   "========================================================",
                   OrNull(proc_name));
  ul_openshm(proc_name);
  comspace::com_set_log_switcher(comspace::LOG_SWITCHER_ULLOG);
  return 0;
}

int ul_openlog_r(const char* thread_name, ul_logstat_t* log_state, Ul_log_self* self) {
  if (comspace::com_get_log_switcher() == comspace::LOG_SWITCHER_COMLOG) return com_openlog_r();
  if (ul_openlog_self(self) != 0) return -1;
  const unsigned long tid = KernelThreadId();
  const ul_logstat_t* state = log_state != NULL ? log_state : &kDefaultLogStat;

  // "<path>/<process>", and for a thread with files of its own
  // "_<thread name>_<kernel thread id>_" behind it ("null" for no name).
  std::string prefix = std::string(g_log_path) + "/" + g_proc_name;
  if (state->spec & UL_LOGNEWFILE) {
    const bool named = thread_name != NULL && thread_name[0] != '\0';
    prefix += "_";
    prefix.append(named ? thread_name : "null", named ? strnlen(thread_name, kMaxFileName) : 4);
    prefix += "_" + std::to_string(tid) + "_";
  }

  ul_log_t* unit = ul_open_unit(prefix, state, self, OrNull(thread_name));
  if (unit == NULL) return -1;
  ul_writelog_unit(unit, UL_LOG_START,
                   "* Open thread log by----%s:%s\n"
                   "================================================",
                   g_proc_name, OrNull(thread_name));
  ul_writelog_unit(unit, UL_LOG_WFSTART,
                   "* Open thread log by----%s:%s for wf\n"
                   "================================================",
                   g_proc_name, OrNull(thread_name));
  return 0;
}

int ul_closelog(int iserr) {
  if (comspace::com_get_log_switcher() == comspace::LOG_SWITCHER_COMLOG) return com_closelog(iserr);
  ul_closeshm();
  int rc = ul_closelog_ex(iserr, "process");
  comspace::com_set_log_switcher(comspace::LOG_SWITCHER_NONE);
  return rc;
}

int ul_closelog_r(int iserr) {
  if (comspace::com_get_log_switcher() == comspace::LOG_SWITCHER_COMLOG) return com_closelog_r();
  return ul_closelog_ex(iserr, "thread");
}

// ---------------------------------------------------------------------------
// Levels

int ul_log_enabled(int level) {
  if (comspace::com_get_log_switcher() == comspace::LOG_SWITCHER_COMLOG) {
    return com_log_enabled(level);
  }
  ul_log_t* unit = ul_get_log_unit();
  if (unit == NULL) unit = &g_log_stderr;
  if (level >= UL_LOG_SELF_BEGIN && level <= UL_LOG_SELF_END &&
      unit->spf[level & UL_LOG_SELF_MASK] != NULL) {
    return 1;
  }
  return Threshold(unit) >= level ? 1 : 0;
}

int ul_get_log_level() { return g_global_level.load(std::memory_order_relaxed); }

void ul_set_log_level(int lv) { g_global_level.store(lv, std::memory_order_relaxed); }
