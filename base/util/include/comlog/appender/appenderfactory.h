// AppenderFactory: maps the device kinds of the configuration ("FILE",
// "AFILE", "NET", "TTY", "ULLOG", "ULNET" and kinds a program registers) to
// the functions that find or make the appender of a device, so that one
// device always yields one appender object.
#ifndef COMLOG_APPENDER_APPENDERFACTORY_H_
#define COMLOG_APPENDER_APPENDERFACTORY_H_

#include "comlog/com_device.h"

namespace comspace {

class Appender;

// Finds (tryer) or finds-or-makes (getter) the appender of a device.
typedef Appender* (*appender_fn_t)(com_device_t& dev);

class AppenderFactory {
 public:
  struct AppenderList {
    char name[16];
    appender_fn_t tryAppender;
    appender_fn_t getAppender;
    AppenderList* next;
  };

  // Adds a kind. 0, or -1 for NULL, a name of 16 characters or more, a name
  // already registered or no memory.
  static int registAppender(const char* name, appender_fn_t getter, appender_fn_t tryer);
  // Whether the name is a registered kind.
  static bool isAppender(const char* name);
  // The kind of exactly that name, or NULL.
  static AppenderList* searchAppender(const char* name);
  // Appends a node to the list (the list owns it from then on). 0.
  static int insertAppender(AppenderList* node);
  // The appender of a device (normalised in place first), with the device's
  // layout and open flag; NULL for an unknown kind or when the kind fails.
  static Appender* getAppender(com_device_t& dev);
  // The existing appender of a device, or NULL.
  static Appender* tryAppender(com_device_t& dev);

  static AppenderList* get_static_appList();
  static void set_static_appList(AppenderList* list);

  // Registers the six built-in kinds; the destructor frees the list.
  AppenderFactory();
  ~AppenderFactory();
  AppenderFactory(const AppenderFactory&) = delete;
  AppenderFactory& operator=(const AppenderFactory&) = delete;
};

}  // namespace comspace

#endif  // COMLOG_APPENDER_APPENDERFACTORY_H_
