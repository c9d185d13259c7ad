// The framework's level names: the five system levels (1 FATAL, 2 WARNING,
// 4 NOTICE, 8 TRACE, 16 DEBUG) and up to 32 self-defined levels, ids 32 to
// 63, named at run time. A level id selects bit 1 << (id & 63) of a mask.
#ifndef COMLOG_LEVELS_H_
#define COMLOG_LEVELS_H_

namespace comspace {

enum {
  COMLOG_LEVEL_NUM = 64,
  COMLOG_SELF_FIRST = 32,  // first self-defined id
};

// The name of id & 63 ("" for an unnamed id).
const char* getLogName(unsigned int id);
// The first id whose name equals name, or 0 (also for NULL).
int getLogId(const char* name);
// The id of a self-defined level: its existing id, else the next free one
// (32, 33, ...), or 0 when all 32 are taken or the name is empty or NULL.
int createSelfLog(const char* name);

}  // namespace comspace

#endif  // COMLOG_LEVELS_H_
