// The framework's process-level interface: opening and closing for the
// process and for each thread, the writing calls, the lazy opening on first
// use and the hand-over with the process log.
//
// Thread records carry the generation of the opening they belong to; closing
// or resetting moves the generation on, so a record of an earlier opening
// counts as having no category, and the thread's next use takes it into the
// current opening.
//
// What a thread is handed (its record, its Event, its category) stays
// allocated until the thread ends, whatever closes in between: the record
// and the Event are reused by the next opening, and the category the record
// keeps is of a past opening (it writes nothing, Category::isCurrent) until
// it is made the thread's category again.
//
// Every call that reaches the registry's objects runs inside the write gate
// (comlog/write_gate.h): closing and resetting delete nothing while another
// thread is inside, and com_openlog and the lazy opening take turns on one
// mutex, so a thread's category is always made under a finished MAIN.
#include "comlog/comlog.h"

#include <limits.h>
#include <pthread.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "comlog/appender/asyncfileappender.h"
#include "comlog/comlog_internal.h"
#include "comlog/diag.h"
#include "comlog/namemg.h"
#include "comlog/sendsvr/sendsvr.h"
#include "comlog/write_gate.h"
#include "comlog/xutils.h"
#include "toolkit/thread_slot.h"
#include "ul_log.h"

namespace comspace {

extern std::atomic<int> __log_switcher__;

namespace {

constexpr int kFatal = 1;
constexpr int kWarning = 2;
constexpr int kNotice = 4;
constexpr int kDebug = 16;
constexpr int kProcNameSize = 256;
// Closing waits at most this many rounds of a second for other threads: for
// those that still hold com_openlog_r, and for those still inside a write.
constexpr int kCloseWaitRounds = 10;
constexpr int kCloseWaitRoundMs = 1000;

// The locks of the framework's lifecycle, in the order they are taken: a
// thread that holds one takes only locks further down the list.
//   0. g_close_mutex: com_closelog and com_resetlog, for their whole length.
//      Taken outside the gate: a closer waits at the gate holding it, and
//      no thread inside takes it.
//   1. The write gate (comlog/write_gate.h): entered by every call that
//      reaches the framework's objects, com_openlog, com_openlog_r and
//      com_loadlog included, before any lock below; shut by a close or
//      reset, which then takes locks below. A thread never waits at the
//      gate while it holds a lock below, so a closer never waits for a lock
//      held by a thread that waits for it. A closer waits at the gate
//      holding none of them, but for a failed com_openlog (or com_loadlog),
//      which holds g_open_mutex and so does not wait there at all. The
//      framework's own threads (senders, checker) never enter it: a close
//      stops them with the gate shut.
//   2. g_open_mutex: com_openlog, com_loadlog (from its check that the
//      framework is off to the end of its opening), the lazy opening, and
//      com_closelog while the framework is off (the process log's close).
//   3. g_closing's mutex: com_openlog_r's check and hold (its banners come
//      after it is let go), and the start and end of a close.
//   4. g_seflog_lock, the level-name lock: init_log, close_log,
//      com_wait_close, createSelfLog.
//   5. The registry's locks (g_namemg_mutex and each NameMg's own), the
//      reload registry's and the appender factory's.
//   6. g_close_atomic's mutex: the holds and the generation.
// Waits: a close waits for holders with nothing held, and its wait for the
// threads inside the gate is bounded (a failed com_openlog's is none). The
// one wait under a lock of the list is the drain of the network queues:
// com_wait_close waits for them up to the close's wait (without bound for
// -1) holding g_seflog_lock, so a thread that takes that lock meanwhile
// (createSelfLog, for a self-defined level) waits as long; a thread's first
// use meanwhile does not take it. It cannot hold the drain up: the senders
// it waits for take none of these locks.
std::atomic<Category*> g_main_cg{nullptr};
char g_proc_name[kProcNameSize] = "Default";
xAtomic g_close_atomic;
xAtomic g_closing;
std::atomic<int> g_comlog_global_level{kDebug};
bool g_log_initialised = false;  // under g_seflog_lock
// Whether com_openlog took the process's hold in the current opening (a
// lazy opening takes none); under g_close_atomic's mutex.
bool g_process_hold = false;

// One close or reset at a time: a second one finds the framework closed,
// instead of stopping and deleting the appenders the first one deletes.
std::mutex g_close_mutex;

// Held by com_openlog and com_loadlog for their whole length and by the lazy
// opening, so none sees another half done, and nothing is registered while
// the framework is off but by the opening that holds it. Recursive: an
// opening writes its banners through the calls that open lazily, and
// com_loadlog opens through com_openlog.
std::recursive_mutex g_open_mutex;

// The openings: 1 for the first, one more for each close or reset.
std::atomic<unsigned int> g_generation{1};

// A thread's record: the part the interface hands out, and the categories
// the thread was handed, which it may hold as long as it lives. An opening
// hands a thread at most two (MAIN to the opener, its own one), and a
// category of a past opening is reused for the next one, so the list stays
// that short.
struct ThreadRecord : com_thread_data_t {
  ThreadRecord() : com_thread_data_t{nullptr, nullptr, 0} {}
  ~ThreadRecord() {
    for (Category* c : kept) c->release();
  }
  ThreadRecord(const ThreadRecord&) = delete;
  ThreadRecord& operator=(const ThreadRecord&) = delete;

  std::vector<Category*> kept;
};

// The thread keys: records (freed with their thread) and the mark of a
// thread that holds com_openlog_r (the generation it opened in).
std::once_flag g_keys_once;
toolkit::ThreadSlot<ThreadRecord> g_comlog_key;
toolkit::ThreadSlot<void> key_open_r;
bool g_keys_ok = false;

unsigned int Generation() { return g_generation.load(std::memory_order_acquire); }

// The holds counted in g_close_atomic and the generation change together
// under the counter's mutex: a thread's mark names the opening its hold is
// in, and a mark of an earlier opening is worth nothing (that opening's
// count is gone). The mark is the generation times two, plus one when the
// hold is counted: the thread whose lazy opening switched the framework on
// holds it for the process, which counts no hold of its own then, so its
// hold is not counted either (a close never waits for it, as it never waits
// for the process).
uintptr_t MarkOf(unsigned int generation, bool counted) {
  return static_cast<uintptr_t>(generation) * 2 + (counted ? 1 : 0);
}
bool MarkIsCurrent(uintptr_t mark) { return mark != 0 && mark / 2 == Generation(); }

// Takes a com_openlog_r hold of the calling thread in the current opening.
void TakeHold(bool counted) {
  xAutoLock lock(g_close_atomic.mutex());
  if (counted) g_close_atomic.add_locked();
  key_open_r.Set(reinterpret_cast<void*>(MarkOf(Generation(), counted)));
}

// Gives back the hold a mark stands for, when it is of the current opening.
void GiveBackHold(void* mark) {
  xAutoLock lock(g_close_atomic.mutex());
  const auto m = reinterpret_cast<uintptr_t>(mark);
  if (MarkIsCurrent(m) && m % 2 == 1) g_close_atomic.sub_locked();
}

// The process's hold, taken by com_openlog and given back by the close;
// a close gives back nothing when com_openlog took nothing.
void TakeProcessHold() {
  xAutoLock lock(g_close_atomic.mutex());
  g_close_atomic.add_locked();
  g_process_hold = true;
}

void GiveBackProcessHold() {
  xAutoLock lock(g_close_atomic.mutex());
  if (g_process_hold) g_close_atomic.sub_locked();
  g_process_hold = false;
}

// Moves to the next opening: the current one's thread records, holds and
// categories are of the past from now on.
void NextOpening() {
  xAutoLock lock(g_close_atomic.mutex());
  g_generation.fetch_add(1, std::memory_order_acq_rel);
  g_close_atomic.reset_locked(0);
  g_process_hold = false;
}

void FreeThreadData(void* p) { delete static_cast<ThreadRecord*>(p); }

bool EnsureKeys() {
  std::call_once(g_keys_once, [] {
    // A thread that ends holds nothing: its mark gives its hold back, so a
    // thread that opened lazily and ended does not delay a close.
    g_keys_ok = g_comlog_key.Create(FreeThreadData) == 0 && key_open_r.Create(GiveBackHold) == 0;
  });
  return g_keys_ok;
}

bool HoldsOpenR() {
  if (!EnsureKeys()) return false;
  return MarkIsCurrent(reinterpret_cast<uintptr_t>(key_open_r.Get()));
}

int Switcher() { return com_get_log_switcher(); }

const char kBanner[] = "---------------------------------------------------------------";

// A terminal device with the five system levels.
Appender* DefaultTtyAppender() {
  com_device_t dev;
  xstrcpy(dev.type, sizeof(dev.type), "TTY");
  dev.log_mask = COMLOG_SYSLEVEL_MASK;
  return AppenderFactory::getAppender(dev);
}

WriteGate::Clock::time_point CloseEnd(WriteGate::Clock::time_point now, int wait_ms);
void CloseOpening(WriteGate::Clock::time_point end, WriteGate::Clock::time_point gate_deadline, bool switch_off);

// A failed com_openlog closes what it made and leaves the switcher as it
// was. The switcher stayed off meanwhile, and what the registry holds while
// it is off was made under g_open_mutex by this opening (com_loadlog
// registers its layouts holding it too), so no other thread can reach
// anything the close frees: it waits at the gate for no one (a thread
// inside may be waiting for this very opening, on g_open_mutex), and what
// such a thread keeps the gate busy with is retired, freed once the last
// thread leaves.
void FailureClose() {
  const auto now = WriteGate::Clock::now();
  CloseOpening(CloseEnd(now, 1000), now, false);
}

// The calling thread's record, made on first use.
ThreadRecord* comlog_getdata() {
  if (!EnsureKeys()) return nullptr;
  ThreadRecord* d = g_comlog_key.Get();
  const unsigned int gen = Generation();
  if (d != nullptr && d->generation == gen) return d;
  if (d == nullptr) {
    d = new (std::nothrow) ThreadRecord();
    if (d == nullptr) return nullptr;
    if (g_comlog_key.Set(d) != 0) {
      delete d;
      return nullptr;
    }
  }
  // A record of an earlier opening has no category in this one (the one it
  // had stays kept); its Event stays too, taking the current sizes when it
  // holds no line.
  d->category = nullptr;
  d->generation = gen;
  d->event = Event::getEvent();
  if (d->event == nullptr) return nullptr;
  comlog_refit_event(d->event);
  xstrcpy(d->event->_proc_name, sizeof(d->event->_proc_name), g_proc_name);
  return d;
}

// A category the thread was handed and that is of a past opening, to be set
// up again for the current one instead of a new one; NULL when none.
Category* PastCategory(ThreadRecord* d) {
  for (Category* c : d->kept) {
    if (!c->isCurrent()) return c;
  }
  return nullptr;
}

// Makes c the thread's category; the record keeps it for the thread's life.
// False without memory.
bool SetThreadCategory(ThreadRecord* d, Category* c) {
  if (std::find(d->kept.begin(), d->kept.end(), c) == d->kept.end()) {
    try {
      d->kept.push_back(c);
    } catch (const std::bad_alloc&) {
      return false;
    }
    c->hold();
  }
  d->category = c;
  c->_event = d->event;
  return true;
}

// Writes an opening's or closing's pair of banners, "<what>" at NOTICE and
// "<what>.wf" at WARNING. They go through the thread's Event: a stream line
// the thread is building there (a lazy opening comes inside
// com_writelog_stream) is kept aside meanwhile and put back whole.
void WriteBanners(const char* what) {
  ThreadRecord* d = g_comlog_key.Get();
  Event* e = d != nullptr ? d->event : nullptr;
  std::string line;
  unsigned int level = 0;
  timeval time = {0, 0};
  bool refused = false;
  const bool building = e != nullptr && (e->_msgbuf_len > 0 || e->_stream_refused);
  bool aside = false;
  if (building) {
    try {
      line.assign(e->_msgbuf, static_cast<size_t>(e->_msgbuf_len));
      aside = true;
    } catch (const std::bad_alloc&) {
    }
    level = e->_log_level;
    time = e->_print_time;
    refused = e->_stream_refused;
    e->reset();
  }
  com_writelog(kNotice, "%s %s ------------", kBanner, what);
  com_writelog(kWarning, "%s %s.wf ------------", kBanner, what);
  // The banners may have refitted the buffers to a new opening's smaller
  // size: they grow back as an append would grow them.
  while (aside && line.size() >= static_cast<size_t>(e->_msgbuf_size)) aside = e->resize() == 0;
  if (building && !aside) {
    // Without memory for it the line is dropped whole: what the thread
    // still appends to it goes with it.
    e->_stream_refused = true;
  }
  if (aside) {
    memcpy(e->_msgbuf, line.data(), line.size());
    e->_msgbuf[line.size()] = '\0';
    e->_msgbuf_len = static_cast<int>(line.size());
    e->_log_level = level;
    e->_print_time = time;
    e->_stream_refused = refused;
  }
}

// Applies an opening's settings once it can no longer fail (see
// comlog_openlog). The opening thread's Event, made or refitted before,
// takes the process name and the message length at once.
void ApplySettings(ThreadRecord* d, const char* procname, const com_logstat_t* logstat, const OpenSettings* load) {
  xstrcpy(g_proc_name, kProcNameSize, procname != nullptr ? procname : "");
  if (logstat != nullptr) {
    ul_set_log_level(logstat->sysevents);
    comlog_set_log_level(logstat->sysevents);
    if (logstat->localtime_nolock > 0) comlog_enable_nolock_localtime();
    comlog_get_def_logstat()->setLevel(static_cast<uint32_t>(comlog_get_lower_syslevel(logstat->sysevents)),
                                       logstat->userevents[0] != '\0' ? logstat->userevents : nullptr);
  }
  if (load != nullptr) {
    if (load->time_format != nullptr) Layout::setTimeFormat(load->time_format);
    if (load->has_log_length) Event::setMaxLogLength(load->log_length);
  }
  comlog_refit_event(d->event);
  xstrcpy(d->event->_proc_name, sizeof(d->event->_proc_name), g_proc_name);
}

int OpenThread(bool counted);

// The calling thread's record with its category, opening lazily. While the
// process log is open there is none (the caller hands its line to the
// process log instead). Called inside the write gate.
ThreadRecord* gethandle() {
  if (Switcher() == LOG_SWITCHER_COMLOG) {
    ThreadRecord* d = comlog_getdata();
    if (d != nullptr && d->category != nullptr) return d;
  }
  std::lock_guard<std::recursive_mutex> open_lock(g_open_mutex);
  bool switched_on = false;
  int sw = Switcher();
  if (sw == LOG_SWITCHER_ULLOG) return nullptr;
  if (sw == LOG_SWITCHER_NONE) {
    // Set up before it is switched on: a thread that finds the framework on
    // (com_openlog_r, a write) never meets it without its registry and
    // default level filter.
    if (init_log() != 0) {
      COMLOG_DIAG("com_openlog_r default err");
      return nullptr;
    }
    switched_on =
        __log_switcher__.compare_exchange_strong(sw, LOG_SWITCHER_COMLOG, std::memory_order_acq_rel);
    if (!switched_on && sw == LOG_SWITCHER_ULLOG) return nullptr;
  }
  ThreadRecord* d = comlog_getdata();
  if (d == nullptr) return nullptr;
  if (d->category != nullptr) return d;
  // The framework found on is set up (by this thread above, or by the
  // opening that switched it on). A close refuses com_openlog_r before it
  // drops the set-up, and a close or reset that went on past this thread
  // left no registry to make a category in: the thread is refused then, and
  // does not set the framework up again while it is closing (nor wait for a
  // close's drain of the network queues, which holds the level-name lock).
  // The thread that switched the framework on holds it for the process.
  if (OpenThread(!switched_on) == 0 && d->category != nullptr) return d;
  COMLOG_DIAG("com_openlog_r default err");
  return nullptr;
}

// Prints with a version and a type when the level is accepted (a refused
// line leaves the thread's Event as it was).
int PrintEx(Category* c, int level, int version, const char* type, const char* fmt, va_list args) {
  LogStat* ls = c->logstat() != nullptr ? c->logstat() : comlog_get_def_logstat();
  if (ls == nullptr || ls->unAccept(static_cast<unsigned int>(level))) return 0;
  Event* evt = c->_event != nullptr ? c->_event : Event::getEvent();
  if (evt == nullptr) return -1;
  evt->setLogVersion(version);
  evt->setLogType(type);
  return c->print(static_cast<unsigned int>(level), fmt, args);
}

int CheckVersionType(int version, const char* type) {
  if (version < 0) {
    COMLOG_DIAG("log version=%d should >= 0", version);
    return -1;
  }
  if (type == nullptr || type[0] == '\0') {
    COMLOG_DIAG("log type should not be NULL");
    return -1;
  }
  return 0;
}

// The writing calls by level name: the id of the name on the thread's
// category, or on the process log while that is open.
int WriteByName(const char* name, int version, const char* type, const char* fmt, va_list args) {
  GateScope gate;
  com_thread_data_t* d = gethandle();
  if (d == nullptr && Switcher() != LOG_SWITCHER_ULLOG) {
    COMLOG_DIAG("gethandler error");
    return -1;
  }
  const int id = getLogId(name);
  if (id == 0) {
    COMLOG_DIAG("get logiderr[%s]", name != nullptr ? name : "");
    return -1;
  }
  if (type != nullptr && CheckVersionType(version, type) != 0) return -1;
  if (d == nullptr) return ul_writelog_args(id, fmt, args);
  if (type != nullptr) return PrintEx(d->category, id, version, type, fmt, args);
  return d->category->print(static_cast<unsigned int>(id), fmt, args);
}

}  // namespace

void (*comlog_setup_pause)() = nullptr;

std::recursive_mutex& comlog_open_mutex() { return g_open_mutex; }

unsigned int comlog_opening() { return Generation(); }

uint64_t comlog_get_lower_syslevel(int t) {
  uint64_t mask = 0;
  for (int v : {kFatal, kWarning, kNotice, 8, kDebug}) {
    if (v <= t) mask |= uint64_t{1} << v;
  }
  return mask;
}

int init_log() {
  xAutoLock lock(&g_seflog_lock);
  RegistryBusy busy;
  if (g_log_initialised) return 0;
  NameMg* mg = comlog_get_nameMg();
  if (mg == nullptr || mg->create() != 0) {
    COMLOG_DIAG("create name manage err");
    return -1;
  }
  if (comlog_setup_pause != nullptr) comlog_setup_pause();
  if (comlog_get_def_logstat() == nullptr) {
    LogStat* ls = LogStat::createLogStat();
    if (ls == nullptr) {
      COMLOG_DIAG("create def logstat err");
      mg->destroy();
      return -1;
    }
    comlog_set_def_logstat(ls);
  }
  g_log_initialised = true;
  return 0;
}

int is_init_log() {
  xAutoLock lock(&g_seflog_lock);
  return g_log_initialised ? 1 : 0;
}

int close_log(int /*wait_ms*/) {
  comlog_clear_reglogstat();
  xAutoLock lock(&g_seflog_lock);
  if (NameMg* mg = comlog_get_nameMg()) mg->destroy();
  g_main_cg.store(nullptr, std::memory_order_release);
  g_log_initialised = false;
  comlog_set_def_logstat(nullptr);
  NextOpening();
  return 0;
}

int reset_log() {
  comlog_clear_reglogstat();
  xAutoLock lock(&g_seflog_lock);
  if (NameMg* mg = comlog_get_nameMg()) mg->destroy();
  comlog_del_nameMg();
  g_main_cg.store(nullptr, std::memory_order_release);
  g_log_initialised = false;
  comlog_set_def_logstat(nullptr);
  return 0;
}

}  // namespace comspace

using namespace comspace;

int com_openlog(const char* procname, com_device_t* devices, int n, com_logstat_t* logstat) {
  return comlog_openlog(procname, devices, n, logstat, nullptr);
}

int comspace::comlog_openlog(const char* procname, com_device_t* devices, int n, com_logstat_t* logstat,
                             const OpenSettings* load) {
  // Inside the gate before the open mutex (see the lock order above): its
  // banners pass the gate while a lazy opening waits for the mutex.
  GateScope gate;
  std::lock_guard<std::recursive_mutex> open_lock(g_open_mutex);
  if (Switcher() != LOG_SWITCHER_NONE) {
    COMLOG_DIAG("Log is open....");
    return -1;
  }
  if (devices == nullptr || n < 0) return -1;
  if (init_log() != 0) {
    COMLOG_DIAG("init log err");
    return -1;
  }
  ThreadRecord* d = comlog_getdata();
  Category* main = d != nullptr ? Category::getInstance("MAIN", PastCategory(d)) : nullptr;
  if (main == nullptr || !SetThreadCategory(d, main)) {
    COMLOG_DIAG("get %s category err", "MAIN");
    FailureClose();
    return -1;
  }
  g_main_cg.store(main, std::memory_order_release);
  main->setLogStat(comlog_get_def_logstat());

  if (n == 0) {
    Appender* app = DefaultTtyAppender();
    if (app == nullptr) {
      COMLOG_DIAG("create appender default TTY err");
      FailureClose();
      return -1;
    }
    main->addAppender(app);
  }
  for (int i = 0; i < n; ++i) {
    Appender* app = AppenderFactory::getAppender(devices[i]);
    if (app == nullptr) {
      COMLOG_DIAG("create appender %s:%s err", devices[i].host, devices[i].file);
      FailureClose();
      return -1;
    }
    main->addAppender(app);
  }
  ApplySettings(d, procname, logstat, load);

  com_set_log_switcher(LOG_SWITCHER_COMLOG);
  // The count is 0 here (every close and reset starts the next opening's at
  // 0), or counts holds taken since the switch.
  TakeProcessHold();
  WriteBanners("open log");
  return 0;
}

namespace comspace {
namespace {

// com_openlog_r with the framework on, inside the gate; counted tells
// whether the hold delays a close.
int OpenThread(bool counted) {
  if (!EnsureKeys() || HoldsOpenR()) return -1;
  {
    // The closing check, the thread's category and its hold are one step
    // against the start of a close; the banners come after, outside the
    // mutex: they may wait in an appender, and a close or reset takes the
    // mutex while it holds the gate shut.
    xAutoLock lock(g_closing.mutex());
    if (g_closing.cnt_locked() == 1) return -1;

    ThreadRecord* d = comlog_getdata();
    if (d == nullptr) return -1;
    char name[64];
    snprintf(name, sizeof(name), "%s.%lu", "MAIN", static_cast<unsigned long>(pthread_self()));
    Category* c = Category::getInstance(name, PastCategory(d));
    if (c == nullptr || !SetThreadCategory(d, c)) {
      COMLOG_DIAG("what's wrong, cate[%s] create err", name);
      return -1;
    }
    if (g_main_cg.load(std::memory_order_acquire) == nullptr && c->appender_num() == 0) {
      if (Appender* app = DefaultTtyAppender()) c->addAppender(app);
    }
    TakeHold(counted);
  }
  char what[32];
  snprintf(what, sizeof(what), "open log_r.%u", static_cast<unsigned int>(pthread_self()));
  WriteBanners(what);
  return 0;
}

}  // namespace
}  // namespace comspace

int com_openlog_r() {
  // Inside the gate before g_closing's mutex (see the lock order above),
  // and the switcher read inside: a reset the thread waited for has
  // switched the framework off.
  GateScope gate;
  if (Switcher() != LOG_SWITCHER_COMLOG) {
    ul_logstat_t st = {ul_get_log_level(), 1, 2};
    return ul_openlog_r(nullptr, &st, nullptr);
  }
  return OpenThread(true);
}

int com_closelog_r() {
  if (Switcher() != LOG_SWITCHER_COMLOG) return ul_closelog_r(0);
  if (!HoldsOpenR()) return -1;
  char what[32];
  snprintf(what, sizeof(what), "close log_r.%u", static_cast<unsigned int>(pthread_self()));
  WriteBanners(what);
  void* mark = key_open_r.Get();
  key_open_r.Set(nullptr);
  GiveBackHold(mark);
  return 0;
}

namespace comspace {

// Waits (at most wait_ms; -1 without bound) for the log senders' queues,
// then forgets the senders; all under the level-name lock (see the lock
// order above).
int com_wait_close(int wait_ms) {
  xAutoLock lock(&g_seflog_lock);
  if (wait_ms == -1) wait_ms = INT_MAX;
  CheckSvr* checker = SendSvr::comlog_get_gcheckSvr();
  if (wait_ms > 0) checker->checkOver(wait_ms);
  checker->clear();
  return 0;
}

// stop () on every registered appender.
int com_close_appender() {
  NameMg* mg = comlog_get_nameMg();
  return mg != nullptr ? mg->closeAppender() : 0;
}

namespace {

// Waits up to ms for every thread to give back its com_openlog_r. The wait
// is measured on the clock, not counted in naps, so a busy machine's late
// wake-ups do not stretch it.
void WaitForHolders(int ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (g_close_atomic.cnt() > 0 && std::chrono::steady_clock::now() < deadline) safe_msleep(1);
}

// Shuts the gate until the deadline. When a thread is still inside (stuck
// in an appender), the registry is taken out of use and deleted, its
// appenders stopped first, only once the last such thread has left.
bool ShutOrRetire(WriteGate::Clock::time_point deadline) {
  if (comlog_write_gate().Shut(deadline)) return true;
  if (NameMg* old = comlog_detach_nameMg()) {
    comlog_write_gate().Retire([old] {
      old->closeAppender();
      delete old;
    });
  }
  return false;
}

// The end of a close whose wait of wait_ms begins at now: without bound
// (time_point::max()) for -1, as the network queues take it; now for
// another negative wait.
WriteGate::Clock::time_point CloseEnd(WriteGate::Clock::time_point now, int wait_ms) {
  if (wait_ms == -1) return WriteGate::Clock::time_point::max();
  return now + std::chrono::milliseconds(std::max(wait_ms, 0));
}

// The wait left until end, in milliseconds rounded up (no more than the
// wait CloseEnd was given): -1 without bound.
int WaitLeft(WriteGate::Clock::time_point end) {
  if (end == WriteGate::Clock::time_point::max()) return -1;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - WriteGate::Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Closes the current opening: com_openlog_r is refused from now on; the
// network queues and AFILE's held lines get until end, the holders of
// com_openlog_r their rounds, and the threads inside the gate until
// gate_deadline before the registry goes (retired past it). With
// switch_off the framework is switched off before the gate opens again, so
// that the threads waiting at it find it closed.
void CloseOpening(WriteGate::Clock::time_point end, WriteGate::Clock::time_point gate_deadline, bool switch_off) {
  g_closing.reset(1);
  com_wait_close(WaitLeft(end));
  GiveBackProcessHold();
  // A round ends early once every holder is gone.
  for (int i = 0; i < kCloseWaitRounds && g_close_atomic.cnt() > 0; ++i) {
    COMLOG_DIAG("Closelog: Waiting for other thread......");
    WaitForHolders(kCloseWaitRoundMs);
  }
  for (int k = g_close_atomic.cnt(); k > 0; --k) {
    COMLOG_DIAG("Did you forget to call com_closelog_r in some threads?.....");
  }
  // The appenders stop only once no thread writes through them: a line a
  // write call reports as written is in the output. AFILE keeps trying its
  // lines until the close's end only when this thread deletes it; retired,
  // it is deleted by the application thread that leaves the gate last,
  // which it keeps for one try.
  if (ShutOrRetire(gate_deadline)) {
    comlog_hand_close_wait(end);
    com_close_appender();
  }
  close_log(WaitLeft(end));
  if (switch_off) com_set_log_switcher(LOG_SWITCHER_NONE);
  g_closing.reset(0);
  comlog_write_gate().Open();
}

}  // namespace
}  // namespace comspace

int com_closelog(int wait_ms) {
  std::lock_guard<std::mutex> close_lock(g_close_mutex);
  if (Switcher() != LOG_SWITCHER_COMLOG) {
    // The process log's close switches off whatever it finds then. It runs
    // holding the opening mutex, so that no opening switches the framework
    // on meanwhile, to be switched off with its registry and hold alive; an
    // opening that finished first is closed below.
    GateScope gate;
    std::lock_guard<std::recursive_mutex> open_lock(g_open_mutex);
    if (Switcher() != LOG_SWITCHER_COMLOG) return ul_closelog(wait_ms);
  }
  // The wait counts from here for the network queues and AFILE's held lines
  // alike, whatever the waits for holders and for the gate take in between.
  const auto now = WriteGate::Clock::now();
  CloseOpening(CloseEnd(now, wait_ms), now + std::chrono::milliseconds(kCloseWaitRounds * kCloseWaitRoundMs), true);
  return 0;
}

int com_resetlog() {
  std::lock_guard<std::mutex> close_lock(g_close_mutex);
  if (Switcher() != LOG_SWITCHER_COMLOG) return 0;
  const auto deadline =
      WriteGate::Clock::now() + std::chrono::milliseconds(kCloseWaitRounds * kCloseWaitRoundMs);
  if (ShutOrRetire(deadline)) {
    if (NameMg* mg = comlog_get_nameMg()) mg->resetAppender();
  }
  reset_log();
  // Every thread's records are of the past from now on.
  NextOpening();
  com_set_log_switcher(LOG_SWITCHER_NONE);
  g_closing.reset(0);
  comlog_write_gate().Open();
  return 0;
}

int com_writelog_args(int level, const char* fmt, va_list args) {
  // The framework's own threads go to standard error without entering the
  // gate: a close stops them (and waits for them to end) with the gate shut.
  if (com_is_own_thread() && Switcher() == LOG_SWITCHER_COMLOG) {
    char line[2048];
    vsnprintf(line, sizeof(line), fmt, args);
    COMLOG_DIAG("%s", line);
    return 0;
  }
  GateScope gate;
  if (Switcher() != LOG_SWITCHER_COMLOG) return ul_writelog_args(level, fmt, args);
  com_thread_data_t* d = gethandle();
  if (d == nullptr) {
    COMLOG_DIAG("gethandle error");
    return -1;
  }
  return d->category->print(static_cast<unsigned int>(level), fmt, args);
}

int com_writelog(int level, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int rc = com_writelog_args(level, fmt, ap);
  va_end(ap);
  return rc;
}

int com_writelog(const char* levelname, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int rc = WriteByName(levelname, 0, nullptr, fmt, ap);
  va_end(ap);
  return rc;
}

int com_writelog_ex(int level, int version, const char* type, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int rc;
  GateScope gate;
  if (Switcher() != LOG_SWITCHER_COMLOG) {
    rc = ul_writelog_args(level, fmt, ap);
  } else if (com_thread_data_t* d = gethandle()) {
    rc = CheckVersionType(version, type) != 0 ? -1 : PrintEx(d->category, level, version, type, fmt, ap);
  } else {
    COMLOG_DIAG("gethandle error");
    rc = -1;
  }
  va_end(ap);
  return rc;
}

int com_writelog_ex(const char* levelname, int version, const char* type, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int rc = WriteByName(levelname, version, type != nullptr ? type : "", fmt, ap);
  va_end(ap);
  return rc;
}

// The records these hand out stay allocated while the calling thread lives
// (see the top of this file); they are meant for that thread only.
Category* com_writelog_stream(int level) {
  GateScope gate;
  ThreadRecord* d = gethandle();
  return d != nullptr ? d->category->setLogInfo(static_cast<unsigned int>(level)) : nullptr;
}

com_thread_data_t* com_getthreaddata() {
  GateScope gate;
  return gethandle();
}

Category* com_getcategory() {
  if (Switcher() == LOG_SWITCHER_ULLOG) {
    COMLOG_DIAG("[com_getcategory]Error: Using ullog now....");
    return nullptr;
  }
  GateScope gate;
  ThreadRecord* d = gethandle();
  return d != nullptr ? d->category : nullptr;
}

Event* com_getevent() {
  GateScope gate;
  ThreadRecord* d = gethandle();
  return d != nullptr ? d->event : nullptr;
}

int com_setappendermask(char* type) {
  if (type == nullptr) return 0;
  if (Switcher() != LOG_SWITCHER_COMLOG) {
    COMLOG_DIAG("com_openlog not called!");
    return -1;
  }
  GateScope gate;
  com_thread_data_t* d = gethandle();
  if (d == nullptr) {
    COMLOG_DIAG("gethandle error");
    return -1;
  }
  int rc = d->category->addAppenderMask(type);
  if (rc == -1) COMLOG_DIAG("can not find appender type : %s", type);
  return rc;
}

int com_setdevices(com_device_t* devices, int n, char* selfname) {
  if (devices == nullptr || n < 1) return -1;
  GateScope gate;
  com_thread_data_t* d = gethandle();
  if (d == nullptr) {
    COMLOG_DIAG("get handle err");
    return -1;
  }
  for (int i = 0; i < n; ++i) {
    Appender* app = AppenderFactory::getAppender(devices[i]);
    if (app == nullptr) continue;
    if (selfname != nullptr) {
      int id = createSelfLog(selfname);
      if (id == 0) {
        COMLOG_DIAG("create selflog %s err", selfname);
        return -1;
      }
      app->addMask(id);
    }
    d->category->addAppender(app);
  }
  return 0;
}

int com_getlogid(char* name) { return getLogId(name); }

int com_changelogstat(com_logstat_t* ls) {
  if (ls == nullptr) return -1;
  comlog_set_log_level(ls->sysevents);
  GateScope gate;
  Category* c = com_getcategory();
  LogStat* stat = c != nullptr && c->logstat() != nullptr ? c->logstat() : comlog_get_def_logstat();
  if (stat == nullptr) return -1;
  stat->setLevel(static_cast<uint32_t>(comlog_get_lower_syslevel(ls->sysevents)), ls->userevents);
  return 0;
}

int com_registappender(const char* name, appender_fn_t getter, appender_fn_t tryer) {
  return AppenderFactory::registAppender(name, getter, tryer);
}

int com_log_enabled(int level) {
  GateScope gate;
  if (Switcher() != LOG_SWITCHER_COMLOG) return ul_log_enabled(level);
  com_thread_data_t* d = comlog_getdata();
  LogStat* ls = d != nullptr && d->category != nullptr ? d->category->logstat() : nullptr;
  if (ls == nullptr) ls = comlog_get_def_logstat();
  if (ls == nullptr) return 0;
  return ls->unAccept(static_cast<unsigned int>(level)) ? 0 : 1;
}

int com_log_enabled(const char* levelname) {
  const int id = getLogId(levelname);
  return id == 0 ? 0 : com_log_enabled(id);
}

int com_logstatus() {
  switch (Switcher()) {
    case LOG_SWITCHER_COMLOG:
      return 1;
    case LOG_SWITCHER_ULLOG:
      return 2;
    default:
      return 0;
  }
}

int comlog_get_log_level() { return g_comlog_global_level.load(std::memory_order_relaxed); }

int comlog_set_log_level(int level) {
  g_comlog_global_level.store(level, std::memory_order_relaxed);
  return 0;
}
