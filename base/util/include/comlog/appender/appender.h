// Appender: one output of the framework (the terminal, a file, a log server,
// three files by level). Kinds derive from it; the factory makes them.
#ifndef COMLOG_APPENDER_APPENDER_H_
#define COMLOG_APPENDER_APPENDER_H_

#include <pthread.h>
#include <stdint.h>

#include <atomic>

#include "comlog/com_device.h"
#include "comlog/logstat.h"

namespace comspace {

class Event;
class Layout;

class Appender {
 public:
  Appender();
  virtual ~Appender();
  Appender(const Appender&) = delete;
  Appender& operator=(const Appender&) = delete;

  virtual int open(void* arg) = 0;
  virtual int close(void* arg) = 0;
  virtual int stop();
  virtual int reset();
  // Writes one event when its level is in the mask.
  virtual int print(Event* evt) = 0;
  virtual int binprint(void* buf, int len) = 0;
  virtual int flush();
  virtual int init();
  virtual int syncid(void* arg);

  // NULL selects the default layout. 0.
  int setLayout(Layout* layout);
  int emptyMask();
  // The five system levels. 0.
  int resetMask();
  int addMask(int id);
  int delMask(int id);
  // True when the mask refuses level id.
  bool unInMask(int id) const {
    return ((_mask.load(std::memory_order_relaxed) >> (id & 63)) & 1) == 0;
  }
  // Copies the device record and takes its level mask. 0.
  int setDeviceInfo(const com_device_t& dev);

  com_device_t _device;
  int _id = -1;                              // the kind's handle (fd, server handle)
  std::atomic<int> _open{1};                 // 0: every category skips it
  std::atomic<Layout*> _layout;
  std::atomic<uint64_t> _mask{COMLOG_SYSLEVEL_MASK};
  pthread_mutex_t _lock = PTHREAD_MUTEX_INITIALIZER;
  Appender* _bkappender = nullptr;           // back-up appender
};

}  // namespace comspace

#endif  // COMLOG_APPENDER_APPENDER_H_
