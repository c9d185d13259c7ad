// UlLogAppender ("ULLOG" with files, "ULNET" with log servers): one device
// split by level over three outputs, like the process log: the main output
// (NAME) for NOTICE, TRACE and DEBUG, NAME.wf for FATAL and WARNING, and
// NAME.sf for the device's self-defined levels (made only when the device
// has any). The three are ordinary FILE or NET appenders, owned by the
// registry like every appender.
#ifndef COMLOG_APPENDER_ULLOGAPPENDER_H_
#define COMLOG_APPENDER_ULLOGAPPENDER_H_

#include "comlog/appender/appender.h"

namespace comspace {

class UlLogAppender : public Appender {
 public:
  int open(void* arg) override;
  int close(void* arg) override;
  // When the level is in this appender's mask, prints the event on the
  // main, ".wf" and ".sf" outputs (each takes the levels of its own mask).
  // 0, or -1 when any of them failed.
  int print(Event* evt) override;
  // The bytes go to all three outputs; 0, or -1 when any of them failed.
  int binprint(void* buf, int len) override;
  int syncid(void* arg) override;

  // The appender of the device ("ULLOG[TYPE]:PATH/NAME"), made with its
  // outputs when new; NULL when an output cannot be had.
  static Appender* getAppender(com_device_t& dev);
  // The registered one only.
  static Appender* tryAppender(com_device_t& dev);

  Appender* _wfapp = nullptr;  // NAME.wf: FATAL, WARNING
  Appender* _ntapp = nullptr;  // NAME: NOTICE, TRACE, DEBUG
  Appender* _sfapp = nullptr;  // NAME.sf: self-defined levels, or NULL
};

}  // namespace comspace

#endif  // COMLOG_APPENDER_ULLOGAPPENDER_H_
