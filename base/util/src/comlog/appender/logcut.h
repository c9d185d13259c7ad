// Log cutting shared by the file appenders: renaming a log file to its
// backup name, and the decision, made under the appender's lock with the
// file's current stat, whether a line about to be written first cuts the
// file (by size, and by time for DATECUT devices).
#ifndef COMLOG_APPENDER_LOGCUT_H_
#define COMLOG_APPENDER_LOGCUT_H_

#include <sys/stat.h>
#include <time.h>

#include <string>

namespace comspace {

struct com_device_t;
class QuotaChecker;

// Room for a backup name: the longest log path, a dot, the longest expanded
// suffix and a ".N" counter.
enum { COMLOG_BACKUP_NAME_SIZE = 2048 };

// Renames the log file to its backup name, written to out (outsize bytes):
// the file, a dot and strftime of suffix (or of "%Y%m%d%H%M%S" when the
// suffix is empty) over t seconds of local time (t < 1: now), with ".1",
// ".2", ... added while that name exists. When the rename fails and retry is
// set, the default name is tried once more. 0 when the file was renamed,
// -1 when it was not (it then stays in place; every failure is reported on
// standard error).
int save_backup(const char* file, char* out, int outsize, const char* suffix, time_t t, bool retry);

// Whether name, a file name without its folder, is one save_backup gives a
// backup of the log file named base: base, a dot and the stamp of suffix
// (or of the default form, which is also what a failed rename falls back
// to), then ".1", ".2", ... when that name was taken. The stamp is read the
// way save_backup writes it and counts only for a time from the start of
// 2000 to a day past now (the clock, time (NULL) when not given), in the
// cutting's local time. Any other name, also one that merely begins with
// base and a dot or whose number reads as a time the cutting never had
// (a user's "log.1" under "%Y" or "%s"), is not a backup.
bool is_backup_name(const char* name, const char* base, const char* suffix);
bool is_backup_name(const char* name, const char* base, const char* suffix, time_t now);

// Opens the log file PATH/NAME of the device for appending, its path written
// to file (size bytes), making the folder PATH first when it is missing.
// Neither the open nor a write ever waits: a file that is not regular (a
// FIFO, a device) is written without blocking (toolkit::OpenForAppending).
// The descriptor, or -1 after "can't open %s" (unless report is false).
int open_log_file(const com_device_t& dev, char* file, size_t size, bool report = true);

// What one cut check did.
struct CutOutcome {
  bool reopen = false;   // a cut was made or tried: the caller opens the file again
  std::string removal;   // a TRUNCT backup, to remove once the lock is released
};

// Whether the log file of that stat is due for a cut: it has reached the
// device's size, or, for DATECUT devices with a positive cutting period, the
// period that began at lastcutime has passed (at its end when date_at_limit
// is set, else one second later).
bool cut_is_due(const com_device_t& dev, const struct stat& st, time_t lastcutime, bool date_at_limit);

// Cuts the log file when it has reached the device's size, or, for DATECUT
// devices with a positive cutting period, when the period that began at
// *lastcutime has passed (at its end when date_at_limit is set, else one
// second later). A cut renames the file with save_backup (named after
// *lastcutime for cronocut devices), starts a new period in *lastcutime and
// tells the quota checker of the backup; a backup that could not be made is
// not counted.
CutOutcome cut_log_if_due(const com_device_t& dev, const char* file, const struct stat& st,
                          time_t* lastcutime, QuotaChecker* qc, bool date_at_limit);

}  // namespace comspace

#endif  // COMLOG_APPENDER_LOGCUT_H_
