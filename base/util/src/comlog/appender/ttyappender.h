// TtyAppender ("TTY"): writes rendered lines to standard error. It is the
// output of a framework opened without devices or on first use. All terminal
// devices with one layout share one appender.
#ifndef COMLOG_APPENDER_TTYAPPENDER_H_
#define COMLOG_APPENDER_TTYAPPENDER_H_

#include "comlog/appender/appender.h"

namespace comspace {

class TtyAppender : public Appender {
 public:
  int open(void* arg) override;
  int close(void* arg) override;
  // Renders the event and writes it with one fputs; 0.
  int print(Event* evt) override;
  // fwrite of the bytes; 0.
  int binprint(void* buf, int len) override;

  // The terminal appender of the device's layout (the default layout when
  // it has none), made and registered when new.
  static Appender* getAppender(com_device_t& dev);
  // The registered one only.
  static Appender* tryAppender(com_device_t& dev);
};

}  // namespace comspace

#endif  // COMLOG_APPENDER_TTYAPPENDER_H_
