#include "comlog/appender/quotachecker.h"

#include <dirent.h>
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

#include "comlog/appender/appender.h"
#include "comlog/appender/logcut.h"
#include "comlog/com_device.h"
#include "comlog/diag.h"
#include "ul_conf.h"

namespace comspace {

namespace {

// An integer item "<device name>_<key>" of the device's extra items; 0 when
// it is missing or not a number.
int QuotaItem(const com_device_t& dev, const char* key) {
  char name[64];
  snprintf(name, sizeof(name), "%.*s_%s", static_cast<int>(sizeof(dev.name)), dev.name, key);
  int value = 0;
  if (ul_getconfint(&dev.reservedconf, name, &value) != 1) return 0;
  return value;
}

}  // namespace

bool cmp(const filetime& a, const filetime& b) { return a.time > b.time; }

QuotaChecker::QuotaChecker(const Appender* ap) : _ap(ap) {
  _unlink_queue.create(kUnlinkQueueSize);
  if (_async_thread.start(&QuotaChecker::appender_thread_callback, this) != 0) {
    COMLOG_DIAG("cannot create async routine thread, err: %m");
  } else {
    _thread_started = true;
  }
}

QuotaChecker::~QuotaChecker() { cleanup_unlink_queue(); }

int QuotaChecker::read_conf() {
  const com_device_t& dev = _ap->_device;
  _quota_size = QuotaItem(dev, "QUOTA_SIZE");
  _quota_day = QuotaItem(dev, "QUOTA_DAY");
  _quota_hour = QuotaItem(dev, "QUOTA_HOUR");
  _quota_min = QuotaItem(dev, "QUOTA_MIN");
  int64_t limit = 0;
  if (dev.splite_type == COMLOG_SIZECUT) {
    if (dev.log_size > 0 && _quota_size > dev.log_size) limit = _quota_size / dev.log_size;
  } else if (dev.splite_type == COMLOG_DATECUT) {
    // A cutting period of 0 or less has no date cuts to count: no limit.
    const int64_t minutes = int64_t{_quota_day} * 1440 + int64_t{_quota_hour} * 60 + _quota_min;
    if (minutes > 0 && dev.cuttime > 0) limit = minutes / dev.cuttime;
  }
  _quota_filenum = static_cast<int>(std::min<int64_t>(limit, INT_MAX));
  return 0;
}

int QuotaChecker::check_quota(const char* backup) {
  if (_first) {
    _first = false;
    read_conf();
    if (_quota_filenum > 0 && check_quota_at_first_time() != 0) {
      COMLOG_DIAG("check quota first failed");
      return -1;
    }
    return 0;
  }
  if (_quota_filenum <= 0 || backup == nullptr) return 0;
  filetime entry{backup, 0};
  if (_ftsize < _quota_filenum) {
    ++_ftsize;
    _ft.push_back(std::move(entry));
    return 0;
  }
  // Full: the slot of the oldest kept backup takes the new one.
  schedule_file_removal(std::move(_ft[_head].filepath));
  _ft[_head] = std::move(entry);
  _head = (_head + 1) % _quota_filenum;
  return 0;
}

int QuotaChecker::check_quota_at_first_time() {
  const com_device_t& dev = _ap->_device;
  DIR* dir = opendir(dev.host);
  if (dir == nullptr) {
    COMLOG_DIAG("open dir[%s] failed in check quota, %m", dev.host);
    return -1;
  }
  std::vector<filetime> found;
  while (struct dirent* ent = readdir(dir)) {
    const char* name = ent->d_name;
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
    // Only what the cutting names counts: a user's "NAME.keep", the ".wf"
    // and ".sf" files of the same name and their backups, or the backups of
    // a device named "NAME.x", are left alone.
    if (!is_backup_name(name, dev.file, dev.reserved1)) continue;
    std::string path = std::string(dev.host) + "/" + name;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
      if (errno == ENOENT) continue;  // removed since it was listed
      COMLOG_DIAG("stat failed[%m]");
      closedir(dir);
      return -1;
    }
    found.push_back(filetime{std::move(path), static_cast<int64_t>(st.st_mtime)});
  }
  closedir(dir);
  std::stable_sort(found.begin(), found.end(), cmp);
  const size_t limit = static_cast<size_t>(_quota_filenum);
  for (size_t i = limit; i < found.size(); ++i) schedule_file_removal(std::move(found[i].filepath));
  if (found.size() > limit) found.resize(limit);
  // The ring holds the kept ones oldest first.
  std::reverse(found.begin(), found.end());
  _ft = std::move(found);
  _ftsize = static_cast<int>(_ft.size());
  _head = 0;
  return 0;
}

void QuotaChecker::schedule_file_removal(std::string path) {
  if (path.empty()) return;
  _unlink_queue.push_front(path);
}

int QuotaChecker::unlink_log_files() {
  const int n = _unlink_queue.pop_backs(_unlinkbuf, kUnlinkBatch, static_cast<int>(kUnlinkWaitSeconds));
  if (n == XQUEUE_NOT_WORKING) return XTHREAD_STOP;
  for (int i = 0; i < n; ++i) {
    unlink(_unlinkbuf[i].c_str());
    _unlinkbuf[i].clear();
  }
  return 0;
}

int QuotaChecker::appender_thread_callback(void* self) {
  return static_cast<QuotaChecker*>(self)->unlink_log_files();
}

void QuotaChecker::cleanup_unlink_queue() {
  _unlink_queue.stop_working();
  if (_thread_started) {
    _async_thread.join();
    _thread_started = false;
  }
  std::string left[kUnlinkBatch];
  for (int n; (n = _unlink_queue.drain(left, kUnlinkBatch)) > 0;) {
    for (int i = 0; i < n; ++i) unlink(left[i].c_str());
  }
  _unlink_queue.destroy();
}

}  // namespace comspace
