// Category: a named logger. It filters a message by its LogStat, formats it
// into the thread's Event and hands it to each of its appenders. Names are
// dotted paths; "MAIN" is the process, "MAIN.<thread>" each thread.
//
// A category belongs to one opening of the framework. Closing or resetting
// the framework ends that opening: its filters and appenders are deleted,
// but a category a thread was handed (com_writelog_stream, com_getcategory,
// com_getthreaddata) stays allocated until that thread ends, because the
// thread may still hold it. Until then it is of a past opening and writes
// nothing (print and flush drop the line and return -1), until the thread's
// next framework call takes its records into the current opening: the same
// object then becomes the thread's category again. A category is used only
// by the thread it was handed to.
#ifndef COMLOG_CATEGORY_H_
#define COMLOG_CATEGORY_H_

#include <stdarg.h>

#include <atomic>

namespace comspace {

class Appender;
class Event;
class LogStat;

// The process-wide hook every accepted message passes first.
typedef int (*comlog_callback_t)(int level, const char* fmt, va_list args, void* param);

enum { COMLOG_MAX_APPENDER = 1024 };

class Category {
 public:
  // The registered category of that name, made (with its parents) when new:
  // a child starts with its parent's filter and appenders. NULL for a name
  // that is NULL or begins with '.', or on failure.
  static Category* getInstance(const char* name);
  // The same, except that a new category is not allocated when reuse (a
  // category of a past opening that the calling thread was handed, or NULL)
  // can take its place: reuse is set up as a new one would be and
  // registered, so the pointer the thread holds is its category again.
  static Category* getInstance(const char* name, Category* reuse);

  // The holders of a category: the registry that lists it (the hold
  // getInstance took) and the record of each thread it was handed to. The
  // last release deletes it.
  void hold();
  void release();
  // True while the category belongs to the current opening. Asked inside
  // the write gate, the answer holds until the caller leaves the gate.
  bool isCurrent() const;

  virtual ~Category();
  Category(const Category&) = delete;
  Category& operator=(const Category&) = delete;

  // NULL selects the default filter; 0.
  int setLogStat(LogStat* ls = nullptr);
  LogStat* logstat() { return _logstat; }
  // 0 added or already present; -1 for NULL or a full list.
  int addAppender(Appender* app);
  // Removes it keeping the others' order; 0, or -1 when absent.
  int removeAppender(Appender* app);
  int clearAppender();
  int appender_num() const { return _appnum; }
  // Once per category: appenders of that device type pass their messages to
  // their back-up appender from now on. 0; -1 for a category of a past
  // opening.
  int addAppenderMask(const char* type);

  // Writes one message at level id. 0 (also when the level is refused), -1
  // without an Event, for a category of a past opening, or when every
  // appender the line was handed to failed.
  int print(unsigned int level, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
  int print(unsigned int level, const char* fmt, va_list args);

  // Stream output: setLogInfo starts a line at a level, operator<< appends
  // to it, flush writes it (its result is that of print) or drops it whole
  // when the category is of a past opening by then (-1). The line lives in
  // the thread's Event, so it may be built over several com_writelog_stream
  // calls and survives the thread's records being taken into a new opening
  // meanwhile. A category of a past opening starts the line without asking
  // its (deleted) filter.
  Category* setLogInfo(unsigned int level);
  int flush();
  Category& operator<<(const char* v);
  Category& operator<<(const unsigned char* v);
  Category& operator<<(const void* v);
  Category& operator<<(unsigned char v);
  Category& operator<<(char v);
  Category& operator<<(unsigned short v);
  Category& operator<<(short v);
  Category& operator<<(unsigned int v);
  Category& operator<<(int v);
  Category& operator<<(unsigned long v);
  Category& operator<<(long v);
  Category& operator<<(unsigned long long v);
  Category& operator<<(long long v);
  Category& operator<<(float v);
  Category& operator<<(double v);
  Category& operator<<(long double v);

  // push (key, fmt, ...) adds a context pair (value cut at 63 characters);
  // push (level, fmt, ...) prints. Both return the functor for chaining.
  class Push {
   public:
    Push& operator()(const char* key, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
    Push& operator()(int level, const char* fmt, ...) __attribute__((format(printf, 3, 4)));

   private:
    friend class Category;
    explicit Push(Category* c) : _cate(c) {}
    Category* _cate;
  };

  static comlog_callback_t _g_callback;
  static void* _g_callback_param;

  Event* _event = nullptr;
  Category* _parent = nullptr;
  LogStat* _logstat = nullptr;
  Appender* _appenders[COMLOG_MAX_APPENDER];
  int _appnum = 0;
  int _appender_mask[COMLOG_MAX_APPENDER];
  int _mask_flag = 0;
  Push push{this};

 private:
  Category() = default;
  // Sets up a category made or reused by getInstance: the parent's filter
  // and appenders, or the default filter without one; of the current
  // opening.
  void Init(Category* parent);
  Event* CurrentEvent();
  // Hands the event to each appender that is on (or to its back-up appender
  // on a back-up route). -1 when some of them take its level by their mask
  // and every one of those failed, else 0.
  int Dispatch(Event* evt);
  // Appends printf-style text to the stream line, growing the Event.
  Category& Append(const char* fmt, ...) __attribute__((format(printf, 2, 3)));

  std::atomic<int> _holds{1};
  unsigned int _opening = 0;  // the opening the category belongs to (0: none)
};

}  // namespace comspace

#endif  // COMLOG_CATEGORY_H_
