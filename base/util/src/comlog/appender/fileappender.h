// FileAppender (FILE): a file, one write per line from the writing thread.
#ifndef COMLOG_APPENDER_FILEAPPENDER_H_
#define COMLOG_APPENDER_FILEAPPENDER_H_

#include "comlog/appender/appender.h"

namespace comspace {

class FileAppender : public Appender {
 public:
  // The appender of the device, made and registered when new; NULL on failure.
  static Appender* getAppender(com_device_t& dev);
  // The registered one only.
  static Appender* tryAppender(com_device_t& dev);
};

}  // namespace comspace

#endif  // COMLOG_APPENDER_FILEAPPENDER_H_
