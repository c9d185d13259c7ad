// NameMg: the framework's registry of the objects it makes (categories,
// appenders, layouts, log senders, level filters), keyed by the signature of
// "type:name". It owns them and deletes them all when the framework closes
// (a category it shares with the threads it was handed to).
#ifndef COMLOG_NAMEMG_H_
#define COMLOG_NAMEMG_H_

#include <pthread.h>
#include <stdint.h>

#include "comlog/xhashmap.h"

namespace comspace {

class Appender;
class Category;
class Layout;
class LogStat;
class SendSvr;

class NameMg {
 public:
  enum Type {
    TYPE_CATEGORY = 1,
    TYPE_APPENDER = 2,
    TYPE_LAYOUT = 3,
    TYPE_SENDSVR = 4,
    TYPE_LOGSTAT = 5,
  };
  struct node_t {
    int type;
    void* ptr;
  };

  NameMg() = default;
  ~NameMg() { destroy(); }
  NameMg(const NameMg&) = delete;
  NameMg& operator=(const NameMg&) = delete;

  // Makes the table (10241 buckets). 0, or -1.
  int create();
  // The key of a name under a type: the signature of "type:name" (cut at
  // 2047 characters), sign1 in the low and sign2 in the high 32 bits.
  static uint64_t getKey(int type, const char* name);

  // The object registered under the type and name, or NULL.
  void* get(int type, const char* name);
  // Registers ptr without replacing: 0 inserted, 1 the name is taken
  // (nothing changes), -1 no table, 3 no memory.
  int set(int type, const char* name, void* ptr);
  int set(const char* name, Category* p) { return set(TYPE_CATEGORY, name, p); }
  int set(const char* name, Appender* p) { return set(TYPE_APPENDER, name, p); }
  int set(const char* name, Layout* p) { return set(TYPE_LAYOUT, name, p); }
  int set(const char* name, SendSvr* p) { return set(TYPE_SENDSVR, name, p); }
  int set(const char* name, LogStat* p) { return set(TYPE_LOGSTAT, name, p); }

  // stop () / reset () on every registered appender; 0.
  int closeAppender();
  int resetAppender();
  // fn (appender, arg) on every registered appender.
  void forEachAppender(void (*fn)(Appender*, void*), void* arg);

  // Deletes every registered object, log senders first (their threads use
  // the appenders), each object once however often it was registered, and
  // drops the table. A category is released instead: a thread it was handed
  // to may hold it still (Category::release). 0.
  int destroy();

 private:
  template <class Fn>
  void ForEachOfType(int type, Fn fn);

  pthread_mutex_t _lock = PTHREAD_MUTEX_INITIALIZER;
  hash_map<uint64_t, node_t> _hash;
};

// The process's registry, made on first use; comlog_del_nameMg deletes it.
// comlog_detach_nameMg hands it to the caller (NULL when none was made);
// the next use makes a new one.
NameMg* comlog_get_nameMg();
void comlog_del_nameMg();
NameMg* comlog_detach_nameMg();

}  // namespace comspace

#endif  // COMLOG_NAMEMG_H_
