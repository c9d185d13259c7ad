// Event: one message on its way from a category to its appenders. Every
// thread has its own, so formatting needs no lock.
#ifndef COMLOG_EVENT_H_
#define COMLOG_EVENT_H_

#include <pthread.h>
#include <sys/time.h>

namespace comspace {

class Appender;

enum {
  COMLOG_NDC_NUM = 32,          // nested diagnostic context pairs
  COMLOG_NDC_LEN = 64,          // bytes of a key or a value, NUL included
  COMLOG_MAX_BUF = 1048576,     // largest message or rendered buffer
  COMLOG_DEFAULT_BUF = 2048,
};

struct com_ndc_t {
  char key[COMLOG_NDC_LEN];
  char value[COMLOG_NDC_LEN];
};

class Event {
 public:
  // The calling thread's Event, made on its first call (NULL without memory).
  static Event* getEvent();

  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  // Adds a key/value pair (each cut at 63 characters). 0, or -1 when 32
  // pairs are in use.
  int push(const char* key, const char* value);
  // Empties the message, the rendered line and the context; no version, no
  // type.
  void reset();
  // Doubles both buffers, keeping their text. 0; -1 when a buffer would pass
  // 1 MiB; -2 without memory (the old buffers stay).
  int resize();
  int setLogVersion(int version);
  // Copies at most 63 characters; 0.
  int setLogType(const char* type);
  // Buffer size of Events made from now on: n when n > 8 (at most 1 MiB),
  // else 2048. Returns the message buffer size.
  static int setMaxLogLength(int n);
  // Forgets every thread's Event but the calling thread's, which a new key
  // holds.
  static void reset_event_key();

  unsigned int _log_level = 0;
  int _log_version = -1;
  char _log_type[64] = "";
  timeval _print_time = {0, 0};
  char _proc_name[64] = "";
  pthread_t _thread_id = 0;  // kernel thread id of the owning thread
  com_ndc_t _ndcs[COMLOG_NDC_NUM];
  int _ndc_num = 0;
  char* _msgbuf = nullptr;
  int _msgbuf_size = 0;
  int _msgbuf_len = 0;
  char* _render_msgbuf = nullptr;
  int _render_msgbuf_size = 0;
  int _render_msgbuf_len = 0;
  Appender* _nowapp = nullptr;
  // Set while a stream line's level is refused: appends are dropped until
  // the line is flushed.
  bool _stream_refused = false;

 private:
  Event() = default;
  // Makes an Event with buffers of the current process-wide sizes.
  static Event* Create();
};

}  // namespace comspace

#endif  // COMLOG_EVENT_H_
