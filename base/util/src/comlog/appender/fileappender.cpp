#include "comlog/appender/fileappender.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <new>
#include <unordered_set>
#include <vector>

#include "comlog/appender/quotachecker.h"
#include "comlog/diag.h"
#include "comlog/event.h"
#include "comlog/layout.h"
#include "comlog/namemg.h"
#include "comlog/xsync.h"
#include "comlog/xutils.h"
#include "toolkit/lock.h"
#include "toolkit/path.h"

namespace comspace {

// What one appender keeps of the threads that write through it. A thread's
// record is owned by the thread (ThreadRecords): it goes when the thread
// ends, or, once its appender is gone, when the thread next makes a record.
// The appender's destructor closes the descriptors of the threads still
// alive and marks the table dead; the table lives on while records point to
// it.
struct FileAppender::FdTable {
  std::mutex mu;
  bool dead = false;               // the appender is gone; its key with it
  pthread_key_t key;               // finds the calling thread's record
  std::unordered_set<Record*> live;  // records whose descriptor the appender may close
};

struct FileAppender::Record {
  FileInfo info;
  std::shared_ptr<FdTable> table;
};

namespace {

ssize_t WriteOnce(int fd, const void* buf, size_t len) {
  ssize_t n;
  do {
    n = ::write(fd, buf, len);
  } while (n < 0 && errno == EINTR);
  return n;
}

}  // namespace

FileAppender::FileAppender() : _fds(std::make_shared<FdTable>()) {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_ADAPTIVE_NP);
  pthread_mutex_init(&_write_mu, &attr);
  pthread_mutexattr_destroy(&attr);
  memset(&_file_stat, 0, sizeof(_file_stat));
  // No destructor: records are freed through ThreadRecords, so the key can
  // go with the appender while threads that used it live on.
  _key_made = pthread_key_create(&_fds->key, nullptr) == 0;
  _file_fd_key = _fds->key;
  if (!_key_made) _fds->dead = true;
}

FileAppender::~FileAppender() {
  {
    std::lock_guard<std::mutex> lock(_fds->mu);
    for (Record* rec : _fds->live) {
      if (rec->info.fd >= 0) ::close(rec->info.fd);
      rec->info.fd = -1;
    }
    _fds->live.clear();
    // Under the mutex: a thread that releases a record clears its slot
    // under it too, and only while the key still exists.
    if (_key_made) pthread_key_delete(_fds->key);
    _fds->dead = true;
  }
  delete _qc;
  pthread_mutex_destroy(&_write_mu);
}

namespace {

// The process-wide key of each thread's record list; its destructor frees
// the list when the thread ends. Made once, never deleted.
struct RecordListKey {
  pthread_key_t key;
  bool made;
  explicit RecordListKey(void (*free_list)(void*)) { made = pthread_key_create(&key, free_list) == 0; }
};

}  // namespace

std::vector<FileAppender::Record*>* FileAppender::ThreadRecords() {
  static const RecordListKey list_key(&FileAppender::FreeThreadRecords);
  if (!list_key.made) return nullptr;
  if (void* p = pthread_getspecific(list_key.key)) return static_cast<std::vector<Record*>*>(p);
  auto* list = new (std::nothrow) std::vector<Record*>();
  if (list == nullptr) return nullptr;
  if (pthread_setspecific(list_key.key, list) != 0) {
    delete list;
    return nullptr;
  }
  return list;
}

void FileAppender::FreeThreadRecords(void* list) {
  auto* recs = static_cast<std::vector<Record*>*>(list);
  for (Record* rec : *recs) ReleaseRecord(rec);
  delete recs;
}

bool FileAppender::ReleaseRecord(Record* rec, bool only_if_dead) {
  std::shared_ptr<FdTable> table = std::move(rec->table);  // outlives the lock
  {
    std::lock_guard<std::mutex> lock(table->mu);
    if (only_if_dead && !table->dead) {
      rec->table = std::move(table);
      return false;
    }
    if (table->live.erase(rec) != 0 && rec->info.fd >= 0) ::close(rec->info.fd);
    if (!table->dead) pthread_setspecific(table->key, nullptr);
  }
  delete rec;
  return true;
}

FileInfo* FileAppender::ThreadInfo(bool make) {
  if (!_key_made) return nullptr;
  if (void* p = pthread_getspecific(_fds->key)) return &static_cast<Record*>(p)->info;
  if (!make) return nullptr;
  std::vector<Record*>* mine = ThreadRecords();
  if (mine == nullptr) return nullptr;
  // Records of appenders gone meanwhile go first: a thread that outlives
  // many appenders keeps none of theirs.
  mine->erase(std::remove_if(mine->begin(), mine->end(), [](Record* r) { return ReleaseRecord(r, true); }),
              mine->end());
  auto* rec = new (std::nothrow) Record{FileInfo{-1, 0}, _fds};
  if (rec == nullptr) return nullptr;
  try {
    mine->push_back(rec);
  } catch (const std::bad_alloc&) {
    delete rec;
    return nullptr;
  }
  const int rc = pthread_setspecific(_fds->key, rec);
  if (rc != 0) {
    COMLOG_DIAG("pthread_setspecific(info{fd:%d, inode:%ld}) = %d", -1, 0L, rc);
    mine->pop_back();
    delete rec;
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(_fds->mu);
  _fds->live.insert(rec);
  return &rec->info;
}

int FileAppender::set_file_id(int fd) {
  struct stat st;
  if (fd >= 0 && fstat(fd, &st) != 0) return -1;
  FileInfo* info = ThreadInfo(true);
  if (info == nullptr) return -1;
  info->fd = fd;
  info->inode = fd >= 0 ? st.st_ino : 0;
  return 0;
}

int FileAppender::get_file_id() {
  FileInfo* info = ThreadInfo(false);
  return info != nullptr ? info->fd : -1;
}

ino_t FileAppender::get_file_inode() {
  FileInfo* info = ThreadInfo(false);
  return info != nullptr ? info->inode : 0;
}

void FileAppender::get_file_info(int* fd, ino_t* inode) {
  FileInfo* info = ThreadInfo(false);
  if (fd != nullptr) *fd = info != nullptr ? info->fd : -1;
  if (inode != nullptr) *inode = info != nullptr ? info->inode : 0;
}

int FileAppender::open(void* /*arg*/) {
  close(nullptr);
  // _file is read without the lock: it is written only when it changes
  // (the first open, or one after reset).
  char path[sizeof(_file)];
  const int fd = open_log_file(_device, path, sizeof(path));
  if (strcmp(path, _file) != 0) memcpy(_file, path, strlen(path) + 1);
  if (fd < 0) return -1;
  const int rc = set_file_id(fd);
  if (rc != 0) {
    COMLOG_DIAG("set(fd_file_id:%d) = %d", fd, rc);
    ::close(fd);
    return -1;
  }
  return 0;
}

int FileAppender::close(void* /*arg*/) {
  FileInfo* info = ThreadInfo(false);
  if (info == nullptr) return 0;
  if (info->fd >= 0) ::close(info->fd);
  const int rc = set_file_id(-1);
  if (rc != 0) COMLOG_DIAG("set_file_id(-1) = %d", rc);
  return 0;
}

int FileAppender::reset() {
  xAutoLock lock(&_lock);
  _page = 0;
  _file[0] = '\0';
  close(nullptr);
  return 0;
}

int FileAppender::syncid(void* /*arg*/) {
  int fd = -1;
  ino_t inode = 0;
  get_file_info(&fd, &inode);
  if (fd >= 0) {
    struct stat st;
    if (stat(_file, &st) == 0 && st.st_ino == inode &&
        !cut_is_due(_device, st, _lastcutime.load(std::memory_order_relaxed), true)) {
      return 0;
    }
  }
  // Under the lock, looked at again: another thread may have cut meanwhile.
  CutOutcome outcome;
  int rc = 0;
  {
    xAutoLock lock(&_lock);
    if (fd < 0 || stat(_file, &_file_stat) != 0 || _file_stat.st_ino != inode) return open(nullptr);
    time_t last = _lastcutime.load(std::memory_order_relaxed);
    outcome = cut_log_if_due(_device, _file, _file_stat, &last, _qc, true);
    _lastcutime.store(last, std::memory_order_relaxed);
    if (outcome.reopen) rc = open(nullptr);
  }
  if (!outcome.removal.empty() && _qc != nullptr) _qc->schedule_file_removal(std::move(outcome.removal));
  return rc;
}

int FileAppender::print(Event* evt) {
  if (evt == nullptr) return -1;
  if (unInMask(static_cast<int>(evt->_log_level))) return 0;
  _layout.load(std::memory_order_acquire)->format(evt);
  return print_line(evt->_render_msgbuf, evt->_render_msgbuf_len);
}

int FileAppender::print_line(const char* line, int len) {
  if (line == nullptr || len < 0) return -1;
  if (syncid(nullptr) != 0) {
    const int shown = len > 0 && line[len - 1] == '\n' ? len - 1 : len;
    COMLOG_DIAG("%.*s", shown, line);
    close(nullptr);
    return -1;
  }
  int fd = -1;
  ino_t inode = 0;
  get_file_info(&fd, &inode);
  if (fd < 0) {
    COMLOG_DIAG("get_file_id() = %d", fd);
    return -1;
  }
  const ssize_t n = WriteLine(fd, inode, line, static_cast<size_t>(len));
  // A line whose text went in but not its line end is written: the file
  // ends with it, and the next line written there starts with the line end.
  const bool text_whole = n == len - 1 && len > 1 && line[len - 1] == '\n';
  if (n != len && !text_whole) {
    COMLOG_DIAG("tid:%ld, write(fd:%d, len:%d) = %d [%m]", static_cast<long>(syscall(SYS_gettid)), fd, len,
                static_cast<int>(n));
    close(nullptr);
    return -1;
  }
  return 0;
}

ssize_t FileAppender::WriteLine(int fd, ino_t inode, const char* line, size_t len) {
  toolkit::MutexLock lock(&_write_mu);
  const bool torn = _torn.Is(fd, inode);
  ssize_t n;
  if (!torn) {
    n = WriteOnce(fd, line, len);
  } else {
    struct iovec iov[2] = {{const_cast<char*>("\n"), 1}, {const_cast<char*>(line), len}};
    do {
      n = ::writev(fd, iov, 2);
    } while (n < 0 && errno == EINTR);
  }
  if (n <= 0) return n;  // nothing went in: the file ends as it did
  // The last byte that went in tells whether the file now ends mid-line.
  const size_t written = static_cast<size_t>(n);
  const char last = !torn ? line[written - 1] : written == 1 ? '\n' : line[written - 2];
  if (last != '\n') {
    _torn.Remember(fd);
  } else if (torn) {
    _torn.Forget();
  }
  return torn ? n - 1 : n;
}

int FileAppender::binprint(void* buf, int len) {
  if (buf == nullptr || len < 0) return -1;
  syncid(nullptr);
  const int fd = get_file_id();
  if (fd < 0) {
    COMLOG_DIAG("get_file_id() = %d", fd);
    return -1;
  }
  return WriteOnce(fd, buf, static_cast<size_t>(len)) == len ? 0 : -1;
}

int FileAppender::init() {
  _lastcutime = xroundtime(_device, 0);
  const int rc = syncid(nullptr);
  if (rc != 0) {
    COMLOG_DIAG("syncid log error: %m");
    return rc;
  }
  _qc = new (std::nothrow) QuotaChecker(this);
  if (_qc == nullptr) {
    COMLOG_DIAG("new _qc error ");
    return -1;
  }
  return _qc->check_quota(nullptr);
}

std::string file_appender_name(const com_device_t& dev) {
  return "FILE:" + toolkit::LexicalPath(std::string(dev.host) + "/" + dev.file);
}

Appender* get_file_appender(com_device_t& dev, Appender* (*make)()) {
  NameMg* mg = comlog_get_nameMg();
  if (mg == nullptr) return nullptr;
  const std::string name = file_appender_name(dev);
  if (auto* found = static_cast<Appender*>(mg->get(NameMg::TYPE_APPENDER, name.c_str()))) return found;
  Appender* app = make();
  if (app == nullptr) return nullptr;
  app->setDeviceInfo(dev);
  if (app->init() != 0) {
    COMLOG_DIAG("init log[%s] err %m", name.c_str());
    delete app;
    return nullptr;
  }
  const int rc = mg->set(name.c_str(), app);
  if (rc == 0) return app;
  delete app;
  return rc == 1 ? static_cast<Appender*>(mg->get(NameMg::TYPE_APPENDER, name.c_str())) : nullptr;
}

Appender* FileAppender::getAppender(com_device_t& dev) {
  return get_file_appender(dev, [] { return static_cast<Appender*>(new (std::nothrow) FileAppender()); });
}

Appender* try_file_appender(const com_device_t& dev) {
  NameMg* mg = comlog_get_nameMg();
  if (mg == nullptr) return nullptr;
  return static_cast<Appender*>(mg->get(NameMg::TYPE_APPENDER, file_appender_name(dev).c_str()));
}

Appender* FileAppender::tryAppender(com_device_t& dev) { return try_file_appender(dev); }

}  // namespace comspace
