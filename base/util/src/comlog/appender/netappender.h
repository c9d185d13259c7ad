// NetAppender (NET): a remote log file on one of several log servers.
#ifndef COMLOG_APPENDER_NETAPPENDER_H_
#define COMLOG_APPENDER_NETAPPENDER_H_

#include "comlog/appender/appender.h"

namespace comspace {

class NetAppender : public Appender {
 public:
  // The appender of the device, made and registered when new; NULL on failure.
  static Appender* getAppender(com_device_t& dev);
  // The registered one only.
  static Appender* tryAppender(com_device_t& dev);
};

}  // namespace comspace

#endif  // COMLOG_APPENDER_NETAPPENDER_H_
