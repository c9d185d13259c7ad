// Log monitor in System V shared memory: the registration of a process that
// opens its process log, its counters, and the monitor program's side
// (creating, listing, reading and clearing).
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <unistd.h>

#include <cstddef>
#include <mutex>
#include <vector>

#include "dep_log.h"
#include "toolkit/errno_keeper.h"
#include "toolkit/semaphore.h"

static_assert(sizeof(ul_log_ctrl) == 288, "control slot layout");
static_assert(offsetof(ul_log_ctrl, processid) == 256, "control slot layout");
static_assert(offsetof(ul_log_ctrl, start_time) == 260, "control slot layout");
static_assert(offsetof(ul_log_ctrl, next) == 280, "control slot layout");
static_assert(sizeof(Ul_log_item) == 36, "item layout");
static_assert(offsetof(Ul_log_item, value) == 32, "item layout");

namespace {

constexpr char kFree[] = UL_LOG_FREE_MARK;
constexpr size_t kSlotsBytes = UL_LOG_MAX_PROC * sizeof(ul_log_ctrl);

int g_namenum_inc = 0;

int CurrentItems() { return 100 + g_namenum_inc; }

size_t BlockBytes(int items) {
  return static_cast<size_t>(items) * sizeof(Ul_log_item) + UL_LOG_TEXT_SIZE;
}

size_t SegmentBytes(int items) { return kSlotsBytes + UL_LOG_MAX_PROC * BlockBytes(items); }

// A view of an attached segment laid out for `items` counters per process.
struct Segment {
  char* base = nullptr;
  int shmid = -1;
  int items = 0;

  bool attached() const { return base != nullptr; }
  ul_log_ctrl* slot(int k) const { return reinterpret_cast<ul_log_ctrl*>(base) + k; }
  char* block(int k) const { return base + kSlotsBytes + static_cast<size_t>(k) * BlockBytes(items); }
  Ul_log_item* item(int k, int i) const { return reinterpret_cast<Ul_log_item*>(block(k)) + i; }
  char* text(int k) const { return block(k) + static_cast<size_t>(items) * sizeof(Ul_log_item); }

  void Detach() {
    if (base != nullptr) shmdt(base);
    base = nullptr;
    shmid = -1;
  }

  // The slot whose name is `name`, or -1.
  int Find(const char* name) const {
    for (int k = 0; k < UL_LOG_MAX_PROC; ++k) {
      if (strncmp(slot(k)->processname, name, sizeof(slot(k)->processname)) == 0) return k;
    }
    return -1;
  }

  void ResetBlock(int k) const {
    memcpy(text(k), kFree, sizeof(kFree));
    for (int i = 0; i < items; ++i) {
      memcpy(item(k, i)->name, kFree, sizeof(kFree));
      __atomic_store_n(&item(k, i)->value, -1, __ATOMIC_RELAXED);
    }
  }

  void FreeSlot(int k) const {
    ul_log_ctrl* c = slot(k);
    memcpy(c->processname, kFree, sizeof(kFree));
    c->processid = -1;
    memcpy(c->start_time, kFree, sizeof(kFree));
    ResetBlock(k);
  }
};

bool IsFree(const char* name) { return strncmp(name, kFree, sizeof(kFree)) == 0; }

// Attaches segment shmid when its size is that of `items` counters per
// process: a segment of another layout would put blocks where this process
// does not expect them, or past the segment's end.
bool AttachChecked(int shmid, int items, bool readonly, Segment* seg) {
  shmid_ds ds;
  if (shmctl(shmid, IPC_STAT, &ds) != 0) return false;
  if (ds.shm_segsz != SegmentBytes(items)) {
    errno = EINVAL;
    return false;
  }
  void* p = shmat(shmid, nullptr, readonly ? SHM_RDONLY : 0);
  if (p == reinterpret_cast<void*>(-1)) return false;
  seg->Detach();
  seg->base = static_cast<char*>(p);
  seg->shmid = shmid;
  seg->items = items;
  return true;
}

// ---------------------------------------------------------------------------
// Process side: the registration and a local copy of the counter names.

struct Registration {
  std::mutex mu;
  Segment seg;
  int slot = -1;
  std::vector<Ul_log_item> local;  // allocated on the first ul_log_assign
  int item_loc = 0;

  bool registered() const { return slot >= 0; }
  void Forget() {
    slot = -1;
    local.clear();
    item_loc = 0;
  }
};

Registration& Proc() {
  static Registration* r = new Registration();  // outlives every exit-time close
  return *r;
}

// ---------------------------------------------------------------------------
// Monitor side: the read-write attachment of the listing and clearing calls
// with their cursors, and the read-only one of ul_log_monproc.

struct Monitor {
  Segment seg;
  int proc_cursor = 0;
  int item_slot = -1;  // process whose counters ul_log_listitem walks
  int item_cursor = 0;
};

struct Watch {
  Segment seg;
  int slot = -1;
};

Monitor g_monitor;
Watch g_watch;

void AttachMonitor(const Segment& seg) {
  g_monitor.seg.Detach();
  g_monitor = Monitor();
  g_monitor.seg = seg;
}

}  // namespace

int ul_set_namenum(int namenum) {
  g_namenum_inc = namenum > 99 ? namenum - 100 : 0;
  return CurrentItems();
}

int ul_openshm(const char* proc_name) {
  if (proc_name == nullptr || proc_name[0] == '\0') return 0;
  const int shmid = shmget(UL_LOG_SHM_KEY, 0, 0644);
  if (shmid < 0) return 0;
  Registration& r = Proc();
  std::lock_guard<std::mutex> lock(r.mu);
  r.Forget();
  if (r.seg.shmid != shmid || r.seg.items != CurrentItems()) {
    r.seg.Detach();
    if (!AttachChecked(shmid, CurrentItems(), false, &r.seg)) return 0;
  }
  toolkit::SemHolder hold(semget(UL_LOG_SEM_KEY, 1, 0666));
  if (!hold.held()) return 0;
  const Segment& seg = r.seg;
  int k = seg.Find(proc_name);
  if (k >= 0) {
    seg.ResetBlock(k);
  } else {
    k = seg.Find(kFree);
  }
  if (k >= 0) {
    ul_log_ctrl* c = seg.slot(k);
    snprintf(c->processname, sizeof(c->processname), "%s", proc_name);
    c->processid = getpid();
    r.slot = k;
  }
  return 0;
}

int ul_closeshm() {
  toolkit::SemHolder hold(semget(UL_LOG_SEM_KEY, 1, 0666));
  if (!hold.held()) return -1;
  Registration& r = Proc();
  {
    std::lock_guard<std::mutex> lock(r.mu);
    if (r.registered()) {
      // The monitor may have cleared the slot and given it to another
      // process since: free it only while it is still this process's.
      const ul_log_ctrl* c = r.seg.slot(r.slot);
      if (c->processid == getpid() && !IsFree(c->processname)) r.seg.FreeSlot(r.slot);
      r.Forget();
    }
  }
  return hold.Give() ? 0 : -1;
}

int ul_log_assign(char* name, int ini_val) {
  Registration& r = Proc();
  std::lock_guard<std::mutex> lock(r.mu);
  if (!r.registered()) {
    fputs("in log :maybe no apply block from shm\n", stderr);
    return -1;
  }
  if (name == nullptr) {
    fputs("in log :name is NULL\n", stderr);
    return -1;
  }
  if (strnlen(name, UL_LOG_ITEM_NAME) >= UL_LOG_ITEM_NAME) {
    fprintf(stderr, "in log : name is tooo long %s\n", name);
    return -1;
  }
  if (r.item_loc >= r.seg.items) {
    fprintf(stderr, "in log : no space for new name,for cur_loc is  %d\n", r.item_loc);
    return -1;
  }
  if (r.local.empty()) r.local.assign(static_cast<size_t>(r.seg.items), Ul_log_item());
  Ul_log_item* shared = r.seg.item(r.slot, r.item_loc);
  Ul_log_item& mine = r.local[static_cast<size_t>(r.item_loc)];
  strcpy(shared->name, name);
  __atomic_store_n(&shared->value, ini_val, __ATOMIC_RELAXED);
  strcpy(mine.name, name);
  mine.value = ini_val;
  ++r.item_loc;
  return 0;
}

int ul_log_getid(char* name) {
  Registration& r = Proc();
  std::lock_guard<std::mutex> lock(r.mu);
  if (name != nullptr) {
    for (size_t i = 0; i < r.local.size(); ++i) {
      if (strncmp(r.local[i].name, name, UL_LOG_ITEM_NAME) == 0) return static_cast<int>(i);
    }
  }
  fprintf(stderr, "in log : there is no %s in data block\n", name != nullptr ? name : "(null)");
  return -1;
}

namespace {

// The counter rel_loc of this process's block, or NULL (reported).
int* Counter(Registration& r, int rel_loc) {
  const int items = r.registered() ? r.seg.items : CurrentItems();
  if (rel_loc < 0 || rel_loc >= items) {
    fprintf(stderr, "in log :rel_loc is uneffective %d \n", rel_loc);
    return nullptr;
  }
  if (!r.registered()) {
    fputs("in log : maybe no apply block from shm\n", stderr);
    return nullptr;
  }
  return &r.seg.item(r.slot, rel_loc)->value;
}

}  // namespace

int ul_log_setval(int rel_loc, int val) {
  Registration& r = Proc();
  std::lock_guard<std::mutex> lock(r.mu);
  int* v = Counter(r, rel_loc);
  if (v == nullptr) return -1;
  __atomic_store_n(v, val, __ATOMIC_RELAXED);
  return 0;
}

int ul_log_addval(int rel_loc, int val) {
  Registration& r = Proc();
  std::lock_guard<std::mutex> lock(r.mu);
  int* v = Counter(r, rel_loc);
  if (v == nullptr) return -1;
  __atomic_fetch_add(v, val, __ATOMIC_RELAXED);
  return 0;
}

// ---------------------------------------------------------------------------
// Monitor side

int ul_log_createshm() {
  const int items = CurrentItems();
  const int shmid = shmget(UL_LOG_SHM_KEY, SegmentBytes(items), 0666 | IPC_CREAT | IPC_EXCL);
  if (shmid < 0) return -1;
  const int semid = semget(UL_LOG_SEM_KEY, 1, 0666 | IPC_CREAT | IPC_EXCL);
  Segment seg;
  if (semid < 0 || !toolkit::SemAdd(semid, 1, 0) || !AttachChecked(shmid, items, false, &seg)) {
    // Leave nothing behind that would make the next creation fail.
    toolkit::ErrnoKeeper keep;
    if (semid >= 0) semctl(semid, 0, IPC_RMID);
    shmctl(shmid, IPC_RMID, nullptr);
    return -1;
  }
  AttachMonitor(seg);
  return 0;
}

int ul_log_attachshm() {
  const int shmid = shmget(UL_LOG_SHM_KEY, 0, 0644);
  Segment seg;
  if (shmid < 0 || !AttachChecked(shmid, CurrentItems(), false, &seg)) {
    fprintf(stderr, "in ul_log_attachshm: attach share memory error %s\n", strerror(errno));
    return -1;
  }
  AttachMonitor(seg);
  return 0;
}

int ul_log_deattachshm() {
  if (!g_monitor.seg.attached()) return 0;
  const int r = shmdt(g_monitor.seg.base);
  g_monitor.seg.base = nullptr;
  AttachMonitor(Segment());
  return r;
}

int ul_log_cleanshm(char* proc_name, char* item_name, bool clean_buff) {
  const Segment& seg = g_monitor.seg;
  if (!seg.attached()) return -1;
  if (proc_name == nullptr) {
    for (int k = 0; k < UL_LOG_MAX_PROC; ++k) seg.FreeSlot(k);
    return 0;
  }
  const int k = seg.Find(proc_name);
  if (k < 0) return -1;
  if (item_name == nullptr && !clean_buff) {
    seg.FreeSlot(k);
    return 0;
  }
  if (clean_buff) memcpy(seg.text(k), kFree, sizeof(kFree));
  if (item_name != nullptr) {
    for (int i = 0; i < seg.items; ++i) {
      Ul_log_item* it = seg.item(k, i);
      if (strncmp(it->name, item_name, UL_LOG_ITEM_NAME) == 0) {
        memcpy(it->name, kFree, sizeof(kFree));
        __atomic_store_n(&it->value, -1, __ATOMIC_RELAXED);
        return 0;
      }
    }
    return -1;
  }
  return 0;
}

int ul_log_listproc(char* proc_name, ul_log_ctrl* proc_ctrl) {
  if (proc_ctrl == nullptr) {
    g_monitor.proc_cursor = 0;
    return 0;
  }
  const Segment& seg = g_monitor.seg;
  if (!seg.attached()) return -1;
  for (int& k = g_monitor.proc_cursor; k < UL_LOG_MAX_PROC; ++k) {
    const ul_log_ctrl* c = seg.slot(k);
    const bool match = proc_name != nullptr
                           ? strncmp(c->processname, proc_name, sizeof(c->processname)) == 0
                           : !IsFree(c->processname);
    if (match) {
      memcpy(proc_ctrl, c, sizeof(*proc_ctrl));
      ++k;
      return 1;
    }
  }
  return 0;
}

namespace {

// Copies a text area (which another process may have left without its NUL)
// into buff as a string of at most buff_len - 1 bytes.
void CopyText(const char* text, char* buff, int buff_len) {
  if (buff == nullptr || buff_len < 1) return;
  size_t n = strnlen(text, UL_LOG_TEXT_SIZE);
  if (n > static_cast<size_t>(buff_len) - 1) n = static_cast<size_t>(buff_len) - 1;
  memcpy(buff, text, n);
  buff[n] = '\0';
}

}  // namespace

int ul_log_listitem(char* proc_name, Ul_log_item* item_str, char* buff, int buff_len) {
  if (proc_name == nullptr && item_str == nullptr && buff == nullptr) {
    g_monitor.item_slot = -1;
    g_monitor.item_cursor = 0;
    return 0;
  }
  const Segment& seg = g_monitor.seg;
  if (!seg.attached()) return -1;
  if (g_monitor.item_slot < 0) {
    if (proc_name == nullptr) return -1;
    const int k = seg.Find(proc_name);
    if (k < 0) return 0;
    g_monitor.item_slot = k;
    g_monitor.item_cursor = 0;
  }
  const int k = g_monitor.item_slot;
  if (item_str != nullptr) {
    int& i = g_monitor.item_cursor;
    while (i < seg.items && IsFree(seg.item(k, i)->name)) ++i;
    if (i >= seg.items) return 0;
    memcpy(item_str, seg.item(k, i), sizeof(*item_str));
    ++i;
  }
  if (buff == nullptr) return 1;
  CopyText(seg.text(k), buff, buff_len);
  return IsFree(seg.text(k)) ? 0 : 1;
}

int ul_log_monproc(char* processname) {
  const int shmid = shmget(UL_LOG_SHM_KEY, 0, 0644);
  if (shmid < 0) {
    fputs("in log:  shared memory segments attached failed\n", stderr);
    exit(1);
  }
  if (g_watch.seg.shmid != shmid || g_watch.seg.items != CurrentItems()) {
    g_watch.slot = -1;
    if (!AttachChecked(shmid, CurrentItems(), true, &g_watch.seg)) {
      fputs("in log:  shared memory segments attached failed\n", stderr);
      // A segment of another layout can be read by no one here: refuse it
      // instead of ending the program.
      if (errno == EINVAL) return -1;
      exit(1);
    }
  }
  const int k = processname != nullptr ? g_watch.seg.Find(processname) : -1;
  if (k < 0) {
    fprintf(stderr, "in log : no item of process : %s\n",
            processname != nullptr ? processname : "(null)");
    return -1;
  }
  g_watch.slot = k;
  return 0;
}

int ul_log_getval(char* name, int* pval) {
  const Segment& seg = g_watch.seg;
  if (g_watch.slot < 0 || !seg.attached()) {
    fputs("in log : maybe no  block in shm for process \n", stderr);
    return -1;
  }
  if (IsFree(seg.slot(g_watch.slot)->processname)) {
    fputs("in log : the process has closed\n", stderr);
    return -1;
  }
  if (name != nullptr && pval != nullptr) {
    for (int i = 0; i < seg.items; ++i) {
      const Ul_log_item* it = seg.item(g_watch.slot, i);
      if (strncmp(it->name, name, UL_LOG_ITEM_NAME) == 0) {
        *pval = __atomic_load_n(&it->value, __ATOMIC_RELAXED);
        return 0;
      }
    }
  }
  fprintf(stderr, "in log:there is no %s in data block\n", name != nullptr ? name : "(null)");
  return -1;
}

int ul_log_getbuf(char* buff, int buflen) {
  if (g_watch.slot < 0 || !g_watch.seg.attached()) {
    fputs("in log : maybe no  block in shm for process \n", stderr);
    return -1;
  }
  if (buff == nullptr || buflen < 1) return -1;
  CopyText(g_watch.seg.text(g_watch.slot), buff, buflen);
  return 0;
}
