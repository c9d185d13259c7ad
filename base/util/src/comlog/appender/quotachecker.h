// QuotaChecker: bounds the number of backups that a file appender's cutting
// leaves behind, and removes them (and the backups a TRUNCT device drops) on
// a thread of its own, so that a writing thread never waits on unlink.
//
// The bound comes from the device's extra items <name>_QUOTA_SIZE (MiB, for
// size cutting), <name>_QUOTA_DAY, _QUOTA_HOUR and _QUOTA_MIN (for date
// cutting): the number of backups kept is QUOTA_SIZE / SIZE, or the quota
// time divided by the cutting period.
#ifndef COMLOG_APPENDER_QUOTACHECKER_H_
#define COMLOG_APPENDER_QUOTACHECKER_H_

#include <stdint.h>

#include <string>
#include <vector>

#include "comlog/xqueue.h"
#include "comlog/xthread.h"

namespace comspace {

class Appender;

// One kept backup and its modification time in seconds.
struct filetime {
  std::string filepath;
  int64_t time;
};

// Newest first.
bool cmp(const filetime& a, const filetime& b);

class QuotaChecker {
 public:
  enum {
    kUnlinkQueueSize = 1024,  // paths waiting for removal
    kUnlinkWaitSeconds = 60,  // idle wait of the removing thread
    kUnlinkBatch = 10,        // paths taken per round
  };

  // The checker of an appender (which must outlive it); starts the removing
  // thread.
  explicit QuotaChecker(const Appender* ap);
  // Stops the removing thread and removes every path still queued.
  ~QuotaChecker();
  QuotaChecker(const QuotaChecker&) = delete;
  QuotaChecker& operator=(const QuotaChecker&) = delete;

  // First call (by the appender's init, backup NULL): reads the quota and,
  // when there is a limit, removes the oldest backups beyond it found in the
  // log's folder (files named as the cutting names backups, for a time from
  // 2000 to a day ahead; no other file is counted or removed). Later calls:
  // one more backup was made; the oldest kept one beyond the limit is queued
  // for removal. 0, or -1 when the first scan fails.
  int check_quota(const char* backup);
  // Queues a path for removal; a full or stopped queue drops it.
  void schedule_file_removal(std::string path);

  // The number of backups kept (0: no limit).
  int quota_filenum() const { return _quota_filenum; }

 private:
  int read_conf();
  int check_quota_at_first_time();
  // One round of the removing thread: takes up to kUnlinkBatch paths
  // (waiting while there are none) and removes them. XTHREAD_STOP once the
  // queue is stopped.
  int unlink_log_files();
  static int appender_thread_callback(void* self);
  void cleanup_unlink_queue();

  int _quota_size = 0;
  int _quota_day = 0;
  int _quota_hour = 0;
  int _quota_min = 0;
  int _quota_filenum = 0;
  // The kept backups, a ring that grows to _quota_filenum entries as backups
  // come (never allocated ahead, so a large quota costs nothing up front):
  // while it is not full it holds them oldest first; once full, _head is
  // the slot of the oldest one, the next to go.
  int _ftsize = 0;
  int _head = 0;
  std::vector<filetime> _ft;
  const Appender* _ap;
  XSigQu<std::string> _unlink_queue;
  std::string _unlinkbuf[kUnlinkBatch];
  XThread _async_thread;
  bool _thread_started = false;
  bool _first = true;
};

}  // namespace comspace

#endif  // COMLOG_APPENDER_QUOTACHECKER_H_
