// LogStat: a level filter, the set of level ids a category lets through.
#ifndef COMLOG_LOGSTAT_H_
#define COMLOG_LOGSTAT_H_

#include <stdint.h>

#include <atomic>

namespace comspace {

// FATAL, WARNING, NOTICE, TRACE and DEBUG as mask bits.
constexpr uint64_t COMLOG_SYSLEVEL_MASK = 0x10116;

class LogStat {
 public:
  LogStat() = default;
  LogStat(const LogStat&) = delete;
  LogStat& operator=(const LogStat&) = delete;

  // 1 when the filter refuses level id (bit id & 63 clear), else 0.
  int unAccept(unsigned int id) const {
    return ((_level.load(std::memory_order_relaxed) >> (id & 63)) & 1) != 0 ? 0 : 1;
  }
  // Replaces the accepted set by mask plus the self-defined levels named in
  // names (up to 32, separated by blanks and commas; made when new); without
  // any name, by mask plus every self-defined level. 0.
  int setLevel(uint32_t mask, const char* names);
  uint64_t level() const { return _level.load(std::memory_order_relaxed); }

  // A new filter owned by the registry (under a fresh random name), or NULL.
  static LogStat* createLogStat();

  // Written by reloads while other threads filter through it.
  std::atomic<uint64_t> _level{COMLOG_SYSLEVEL_MASK};
  int _tty = 0;
  char _conf_file[1024] = "";
};

// The process's default filter (NULL until the framework is initialised).
LogStat* comlog_get_def_logstat();
void comlog_set_def_logstat(LogStat* ls);

}  // namespace comspace

#endif  // COMLOG_LOGSTAT_H_
