// NetAppenderSvr: the log sender of the network appenders. Its thread takes
// the queued lines in batches, keeps one live connection to one of the
// servers of its list, opens the remote file of every appender on it, and
// sends each batch in one framed write; a batch no server takes goes to the
// appenders' local back-up files.
#ifndef COMLOG_SENDSVR_NETAPPENDERSVR_H_
#define COMLOG_SENDSVR_NETAPPENDERSVR_H_

#include <sys/uio.h>

#include "comlog/sendsvr/loghead.h"
#include "comlog/sendsvr/sendsvr.h"

namespace comspace {

// One queued line, one allocation: the appender it belongs to, the head of
// its run and, right after the head, item.size bytes of rendered text (so
// that head and text go out as one piece).
struct netdata_t {
  Appender* appender;
  logitem_t item;
};

inline char* netdata_text(netdata_t* d) { return reinterpret_cast<char*>(&d->item) + sizeof(logitem_t); }

class NetAppenderSvr : public SendSvr {
 public:
  // The sender of a server list, shared through the registry by every list
  // that names the same hosts and ports; made and started when new. NULL
  // (reported) when the list does not parse or the sender cannot start.
  static SendSvr* getServer(const char* list);

  NetAppenderSvr();
  // Stops the thread and writes the lines still queued to their appenders'
  // back-up files (a line of an appender without one is lost, and counted
  // as backup () counts).
  ~NetAppenderSvr() override;

  // Queues the event's rendered line for the event's appender (_nowapp).
  int push(Event* evt) override;
  // Takes up to SENDSVR_BATCH lines (waiting up to 5 s), orders them by
  // appender and time (lines of one second keep their order), and sends
  // them; what cannot be sent goes to the back-up appenders. 0.
  int run() override;
  int initServer(const char* list) override;

  // Chooses the server for the batch: the current one while it is writable
  // and has not ended the connection, else another connected one on which
  // every appender's remote file opens (reconnecting once when none is
  // connected). 0, or -1. Caller holds _lock.
  int synchandle(int n);
  // Sends the first n lines of the read buffer to the current server in one
  // frame. 0, or -1. Caller holds _lock.
  int senddata(int n);
  // Opens every appender's remote file on server (only those without a
  // handle when missing_only). 0, or -1 at the first failure or once the
  // sender is stopping or has stopped connecting.
  int reopens(int server, bool missing_only = false);
  // Closes server i; the current server is then none. 0, or -1.
  int clearsock(int i);

  // Index of the current server, -1 for none (for tests; under _lock).
  int current() const { return _now; }

 private:
  // Writes the first n lines of the read buffer to their appenders'
  // back-up files, in order; a rendered line as the file appender writes
  // its own. The lines no back-up file took are reported lost, with their
  // count.
  void backup(int n);
  // Waits up to ms for fd to take data, giving up early once stopped.
  int WaitWritable(int fd, int ms);
  // Writes total bytes of the first count iovecs within ms (giving up early
  // once stopped); the bytes written, or -1 when none.
  long WriteAll(int fd, int count, size_t total, int ms);

  int _now = -1;
  iovec _iovecs[SENDSVR_BATCH + 1];
  uint32_t _ownsize[SENDSVR_BATCH];  // each line's own size while runs are merged
};

}  // namespace comspace

#endif  // COMLOG_SENDSVR_NETAPPENDERSVR_H_
