// AsyncFileAppender ("AFILE"): a log file written by a writer thread of its
// own. A writing thread only copies its rendered line into the current
// 1 MiB buffer; full buffers go through a queue to the writer, which writes
// up to 1024 of them with one writev, and which also takes the current
// buffer when nothing else came for a millisecond. Cutting, reopening and
// the backup quota are those of FileAppender; the writer does them before
// each batch. Lines stay in the order in which they were written.
#ifndef COMLOG_APPENDER_ASYNCFILEAPPENDER_H_
#define COMLOG_APPENDER_ASYNCFILEAPPENDER_H_

#include <sys/stat.h>
#include <sys/uio.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "comlog/appender/appender.h"
#include "comlog/appender/fileappender.h"
#include "comlog/appender/fixed_buffer.h"
#include "comlog/appender/tornfile.h"
#include "comlog/xqueue.h"
#include "comlog/xthread.h"

namespace comspace {

class QuotaChecker;

class AsyncFileAppender : public Appender {
 public:
  enum {
    kBufferSize = 1048576,  // bytes of one buffer
    kPoolSize = 16,         // spare buffers kept for reuse
    kQueueSize = 20480,     // full buffers waiting for the writer
    kBatch = 1024,          // buffers per writev
  };
  typedef fixed_buffer<kBufferSize> Buffer;

  typedef std::chrono::steady_clock Clock;

  AsyncFileAppender();
  // Stops the writer, then writes every line still held (what the writer
  // held, queued buffers, then the current one) and closes the file. A file
  // that does not take them is tried again until the close's deadline (one
  // try when none was set); the lines still held then are lost, and their
  // count is reported.
  ~AsyncFileAppender() override;

  // The deadline of the close that will delete the appender.
  void set_close_deadline(Clock::time_point t) {
    _close_deadline.store(t.time_since_epoch().count(), std::memory_order_relaxed);
  }

  // Opens PATH/NAME (making PATH when missing) as the appender's one
  // descriptor. 0, or -1.
  int open(void* arg) override;
  int close(void* arg) override;
  // Renders the event and copies the line into the current buffer. 0 (also
  // when the level is not in the mask); -1 when the line is lost (the file
  // did not take lines the writer holds or could not be opened for them,
  // the queue of full buffers is full, or no buffer can be had).
  int print(Event* evt) override;
  // Copies one rendered line into the current buffer as print does an
  // event's, with the same answers.
  int print_line(const char* line, int len);
  // Writes the bytes at once with one write (not after the lines still
  // held). 0, or -1 unless all were written.
  int binprint(void* buf, int len) override;
  // Starts the cutting period, opens the file, makes the quota checker and
  // starts the writer. 0, or what failed.
  int init() override;
  // Opens the file when there is no descriptor or the path is gone or names
  // another inode; otherwise cuts it when due. 0, or the failed open's -1.
  int syncid(void* arg) override;

  // The appender of the device (registered as "FILE:PATH/NAME", shared with
  // FILE devices of the same file), made and initialised when new.
  static Appender* getAppender(com_device_t& dev);
  static Appender* tryAppender(com_device_t& dev);

  // The memory of a file left mid-line (tests stand in its identity check).
  TornFile& torn_file() { return _torn; }

  struct stat _stat;                       // of the descriptor at its last open
  char _file[COMLOG_FILE_PATH_SIZE] = "";  // PATH/NAME
  int _page = 0;
  time_t _lastcutime = 0;
  Buffer* _current_buffer = nullptr;
  std::vector<Buffer*> _free_buffer_array;  // spare buffers, at most kPoolSize
  XSigQu<void*> _queue;                     // full buffers, oldest first
  XThread _async_thread;
  void* _readbuf[kBatch];
  struct iovec afio[kBatch];
  QuotaChecker* _qc = nullptr;

 private:
  // One round of the writer thread; XTHREAD_STOP once the queue is stopped.
  int writeData();
  static int WriterRound(void* self);
  // syncid with _lock held; a TRUNCT backup to remove goes to *removal.
  int SyncLocked(std::string* removal);
  // One try to write what is held (after syncid): what the file takes is
  // dropped from the front; the rest stays held, and while it does every
  // new line is refused. A file that cannot be opened takes nothing (the
  // failure is reported at the first try only). Whether all that was tried
  // went in (at most kBatch pieces a try). Writer thread (or the
  // destructor, once the writer ended).
  bool FlushOnce();
  // Writes the held bytes to fd (the appender's descriptor, whose inode
  // _stat holds) with writev; a file some write left ending mid-line gets a
  // line end first, unless the held bytes go on with that very line.
  // Whether all that was tried went in.
  bool WriteHeld(int fd);
  // Drops that many held bytes from the front; buffers emptied go back.
  void DropHeld(size_t bytes);
  // Once the writer ended: queued buffers join the held ones, then the
  // current one once the queue is empty, while there is room.
  void HoldTheRest();
  // The lines in the held bytes (a piece without its line end counts; the
  // line end of a line whose text is in the file does not).
  long long HeldLines() const;
  // Returns _readbuf[0..n) to the pool, or frees them when it is full.
  void erasedata(int n);
  // A spare buffer, or a new one; NULL without memory. _buf_mutex held.
  Buffer* TakeSpareLocked();

  // Guards the current buffer and the pool; a full buffer is queued under
  // it too, so the queue's order is the order of the lines.
  std::mutex _buf_mutex;
  bool _writer_started = false;

  // Buffers the file has not taken yet, oldest first: _readbuf[0.._held),
  // the first one from its byte _held_off on. Writer thread only.
  int _held = 0;
  size_t _held_off = 0;
  // The held bytes begin with the rest of a line cut short in the file
  // _torn (its beginning lies just before _held_off).
  bool _held_rest = false;
  // The file that ends mid-line, if any.
  TornFile _torn;
  // Something is held after a failed write: print refuses new lines.
  std::atomic<bool> _stalled{false};
  // The last try to open the file failed, the last sync of the writer
  // failed: a failure goes on, and is not reported again (under _lock).
  bool _open_failed = false;
  bool _sync_failed = false;
  // set_close_deadline's time, on Clock.
  std::atomic<Clock::rep> _close_deadline{Clock::time_point::min().time_since_epoch().count()};
};

// Hands the end of a close (when com_closelog's wait, counted from its
// call, is over; time_point::max() without bound) to every AFILE appender of
// the registry before they are stopped: deleting one keeps trying the lines
// it holds until then.
void comlog_hand_close_wait(AsyncFileAppender::Clock::time_point end);

}  // namespace comspace

#endif  // COMLOG_APPENDER_ASYNCFILEAPPENDER_H_
