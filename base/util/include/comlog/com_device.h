// The logging framework's two plain records: com_device_t describes one
// output device (an appender's kind, place, cutting and levels) and
// com_logstat_t the level settings of an open or a reload.
#ifndef COMLOG_COM_DEVICE_H_
#define COMLOG_COM_DEVICE_H_

#include <stdint.h>

#include <vector>

#include "ul_conf.h"

namespace comspace {

class Layout;

// Cut types of the file appenders (splite_type).
enum {
  COMLOG_TRUNCT = 0,   // cut by size, the backup is removed again
  COMLOG_SIZECUT = 1,  // cut by size
  COMLOG_DATECUT = 2,  // cut by size and every cuttime minutes
};

// Extra configuration items a device may carry.
#define COM_RESERVEDNUM 64

struct com_device_t {
  char host[1024];       // PATH: folder of the log file, or the server list
  char file[256];        // NAME: file name (or remote file name)
  char auth[64];         // AUTH: credential for a log server
  char type[16];         // TYPE: appender kind ("FILE", "TTY", ...)
  char reserved1[32];    // RESERVED1: backup-name suffix of the file kinds
  char reserved2[32];
  char reserved3[32];
  char reserved4[32];
  int log_size;          // SIZE: MiB before a size cut (default 2048)
  char open;             // OPEN: 0 switches the appender off (default 1)
  char splite_type;      // SPLITE_TYPE: COMLOG_TRUNCT, _SIZECUT, _DATECUT
  char compress;         // COMPRESS: ask a log server to compress
  int cuttime;           // DATA_CUTTIME: cutting period in minutes (default 60)
  int cronocut;          // DATA_CRONOCUT: non-zero rounds cut times to periods
  uint64_t log_mask;     // SYSLEVEL, SELFLEVEL: accepted level ids, bit 1 << id
  char name[16];         // the configuration prefix the device was read under
  unsigned int reserved_num;             // entries of reservedext in use
  std::vector<Ul_confitem> reservedext;  // COM_RESERVEDNUM extra items
  Ul_confdata reservedconf;              // a table over reservedext[0..reserved_num)
  Layout* layout;        // LAYOUT: line format; the default layout; not owned

  com_device_t();
  // Copies every field and item; the copy's reservedconf views its own items.
  com_device_t(const com_device_t& other);
  com_device_t& operator=(const com_device_t& other);

  // Points reservedconf at this record's first reserved_num items.
  void set_reservedconf();
};

struct com_logstat_t {
  int sysevents = 16;          // highest system level written
  char userevents[1024] = "";  // self-defined level names, blank- or comma-separated
  int ttydisp = 0;
  int localtime_nolock = 0;    // > 0: format times with the lock-free local time
};

// Sets every field of the record to its default. 0, or -1 for NULL.
int set_comdevice_default(com_device_t* dev);

}  // namespace comspace

#endif  // COMLOG_COM_DEVICE_H_
