// SendSvr: the sender of log lines to one list of log servers, shared by
// the network appenders of that list; CheckSvr: the process's checker that
// reconnects the senders and lets closing wait until their queues drain.
#ifndef COMLOG_SENDSVR_SENDSVR_H_
#define COMLOG_SENDSVR_SENDSVR_H_

#include <pthread.h>

#include <atomic>

#include "comlog/xqueue.h"
#include "toolkit/worker.h"

namespace comspace {

class Appender;
class CheckSvr;
class Event;

// One log server of a list: "host:port[/path]".
struct server_t {
  char host[1024];
  char path[256];
  int port;
  int sock;      // -1 when closed
  bool isvalid;  // connected
};

enum {
  SENDSVR_MAX_SERVERS = 32,     // servers of one list
  SENDSVR_MAX_APPENDERS = 1024, // appenders on one sender
  SENDSVR_QUEUE_SIZE = 20480,   // queued lines
  SENDSVR_BATCH = 640,          // lines sent in one batch
};

// Parses a blank-separated list of "host:port[/path]" entries into out
// (at most max). The number of entries, or 0 on any error (reported): a host
// of more than 1023 characters, no ':', a port outside 1..65535, a path of
// more than 255 characters.
int xparserSvrConf(const char* list, server_t* out, int max);

class SendSvr {
 public:
  SendSvr();
  // Stops the thread, forgets the sender in the checker, closes every
  // server and frees the lines a derived sender left queued (unsent).
  virtual ~SendSvr();
  SendSvr(const SendSvr&) = delete;
  SendSvr& operator=(const SendSvr&) = delete;

  // Queues one rendered event of an appender. 0, or -1 (full, stopped, no
  // memory).
  virtual int push(Event* evt) = 0;
  // Takes the server list (initServer), connects the first live server when
  // check is set and registers with the checker, makes the queue and starts
  // the sender thread. 0, or -1.
  virtual int createServer(const char* list, bool check);
  // One round of the sender thread; 0.
  virtual int run() = 0;
  // Frees the first n lines of the read buffer.
  virtual int erasedata(int n);
  // Ends the sender thread (after its current round) and joins it. 0.
  virtual int stop();
  // Takes the server list. 0, or -1.
  virtual int initServer(const char* list) = 0;

  // Adds an appender to those whose remote files the sender opens (at most
  // SENDSVR_MAX_APPENDERS; one already there counts as success). 0, or -1.
  int registAppender(Appender* app);
  // Removes an appender again (one that is being dropped). 0, or -1 when
  // it was not there.
  int unregistAppender(Appender* app);
  // Under the sender's lock: the first connected server, connecting the
  // servers in order (ms each) while none is. 0, or -1 when none connects
  // (or connecting has stopped).
  int checkalive(int ms);
  // 0 when a server is connected, else _checkalive (ms). Caller holds the lock.
  int tryalive(int ms);
  // Closes server i and marks it not connected. Caller holds the lock.
  int close_safe(int i);
  bool isRun() const { return _run.load(std::memory_order_acquire) != 0; }
  // From now on no connection attempt and no open of a remote file begins
  // (a close or a reset has begun): the connect loops of the sender and the
  // checker end before their next attempt, so that a close waits for one
  // attempt at most. stop () does it too.
  void stop_connecting() { _connecting.store(false, std::memory_order_release); }
  bool connecting() const { return _connecting.load(std::memory_order_acquire); }
  pthread_mutex_t* get_sendsvr_lock() { return &_lock; }
  // Lines waiting in the queue.
  int queued() const { return _queue.size(); }
  // Lines queued or in the batch the sender thread has taken and not yet
  // sent or given to the back-up files.
  int pending() const { return _pending.load(std::memory_order_acquire); }
  const char* name() const { return _name; }

  // The process's checker, made on first use and kept for the life of the
  // process (its thread never ends); comlog_del_gcheckSvr stops and deletes it.
  static CheckSvr* comlog_get_gcheckSvr();
  static void comlog_del_gcheckSvr();

 protected:
  friend class CheckSvr;
  int _checkalive(int ms);
  // Calls run () until stopped; on the sender thread.
  void ThreadBody(const toolkit::StopToken& token);

  pthread_mutex_t _lock = PTHREAD_MUTEX_INITIALIZER;  // servers and their sockets
  XSigQu<void*> _queue;
  void* _readbuf[SENDSVR_BATCH];
  server_t _svrs[SENDSVR_MAX_SERVERS];
  char _name[1024] = "";
  int _svrsiz = 0;
  Appender* _inappender[SENDSVR_MAX_APPENDERS];
  std::atomic<int> _inappsize{0};
  char _sendbuf[1024];
  int _wtto = 500;
  int _rdto = 500;
  int _coto = 200;
  std::atomic<int> _run{0};
  std::atomic<int> _pending{0};  // counted by push () before it queues, by run () after a batch
  std::atomic<bool> _connecting{true};
  bool _registered = false;  // with the checker
  toolkit::WorkerThread _thread;
};

class CheckSvr {
 public:
  CheckSvr();
  ~CheckSvr();
  CheckSvr(const CheckSvr&) = delete;
  CheckSvr& operator=(const CheckSvr&) = delete;

  // Adds a sender (at most SENDSVR_MAX_SERVERS); the first ever starts the
  // checking thread. 0, or -1.
  int registerServer(SendSvr* s);
  // Forgets one sender (a sender being deleted); waits for a check that is
  // using it (one connection attempt once the sender stopped connecting). 0.
  int unregisterServer(SendSvr* s);
  // One round: reconnects the servers of every idle sender (1000 ms each),
  // without holding the checker's lock across the attempts.
  int check();
  // Waits up to ms milliseconds (< 0: without bound) for every registered
  // sender's queue to drain and its last batch to be sent (or given to the
  // back-up files), in steps of 100 ms, then 100 ms more. 0.
  int checkOver(int ms);
  // Tells every registered sender to stop connecting (closing has begun)
  // and forgets them all (the thread stays); 0.
  int clear();
  // Registered senders.
  int size();

  int _sleeptime = 10;  // seconds between rounds

 private:
  void Loop(const toolkit::StopToken& token);

  SendSvr* _servers[SENDSVR_MAX_SERVERS];
  int _size = 0;
  pthread_mutex_t _lock = PTHREAD_MUTEX_INITIALIZER;
  SendSvr* _checking = nullptr;                    // the sender a check is using; under _lock
  pthread_cond_t _checked = PTHREAD_COND_INITIALIZER;  // _checking let go
  toolkit::WorkerThread _thread;
};

}  // namespace comspace

#endif  // COMLOG_SENDSVR_SENDSVR_H_
