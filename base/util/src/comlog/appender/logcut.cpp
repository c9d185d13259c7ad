#include "comlog/appender/logcut.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>

#include "comlog/appender/quotachecker.h"
#include "comlog/com_device.h"
#include "comlog/diag.h"
#include "comlog/xutils.h"
#include "toolkit/file.h"

namespace comspace {

namespace {

// The stamp of a backup name when the device gives none, and the one a
// rename under the device's stamp falls back to.
constexpr char kDefaultStamp[] = "%Y%m%d%H%M%S";

// The log path with every '%' doubled, so that strftime copies it as it is.
std::string EscapePercent(const char* s) {
  std::string out;
  for (; *s != '\0'; ++s) {
    out += *s;
    if (*s == '%') out += '%';
  }
  return out;
}

// Writes the formatted name to out: the file, a dot and strftime of the
// suffix (or of the default stamp) over t. Its length, or 0 when it does not
// fit.
size_t FormatBackupName(const char* file, char* out, int outsize, const char* suffix, time_t t) {
  if (t < 1) t = time(nullptr) + xtimezoneoffset();
  struct tm tm;
  gmtime_r(&t, &tm);  // t already holds local-time seconds
  std::string fmt = EscapePercent(file) + "." +
                    (suffix != nullptr && suffix[0] != '\0' ? std::string(suffix) : kDefaultStamp);
  const size_t len = strftime(out, static_cast<size_t>(outsize), fmt.c_str(), &tm);
  if (len == 0) out[0] = '\0';
  return len;
}

// Renames file to out, the formatted name of len bytes, or, when a file has
// that name, to the first of it with ".1", ".2", ... after it that none has.
// The rename never replaces a file: one that takes the name meanwhile (a
// process or an appender cutting the same log) sends it on to the next
// number. False when it failed otherwise or no name fits; out then holds
// the name last tried.
bool RenameToFreeName(const char* file, char* out, int outsize, size_t len) {
  for (int i = 0; i < INT_MAX; ++i) {
    if (i > 0) {
      const int n = snprintf(out + len, static_cast<size_t>(outsize) - len, ".%d", i);
      if (n < 0 || static_cast<size_t>(n) >= static_cast<size_t>(outsize) - len) return false;
    }
    struct stat st;
    if (lstat(out, &st) == 0) continue;
    if (toolkit::RenameNoReplace(file, out) == 0) return true;
    if (errno != EEXIST) return false;
  }
  return false;
}

}  // namespace

int save_backup(const char* file, char* out, int outsize, const char* suffix, time_t t, bool retry) {
  if (file == nullptr || out == nullptr || outsize < 2) return -1;
  const size_t len = FormatBackupName(file, out, outsize, suffix, t);
  if (len == 0 || !RenameToFreeName(file, out, outsize, len)) {
    COMLOG_DIAG("Unable to rename file [%s] to [%s]", file, out);
    if (retry) {
      COMLOG_DIAG("Try to rename [%s] to default format.", file);
      return save_backup(file, out, outsize, "", t, false);
    }
    COMLOG_DIAG("Faint! Comlog rename error, and I can do nothing more (-__-)!...");
    return -1;
  }
  return 0;
}

int open_log_file(const com_device_t& dev, char* file, size_t size, bool report) {
  snprintf(file, size, "%s/%s", dev.host, dev.file);
  mkdir(dev.host, 0755);  // one level; an existing folder is fine
  // Opened for reading too, as log files always were: a FIFO at the path is
  // then its own reader (the open never waits for one, and a reader going
  // away raises no SIGPIPE), and what it cannot take at once is refused.
  const int fd = toolkit::OpenForAppending(file, 0666, O_RDWR).release();
  if (fd < 0 && report) COMLOG_DIAG("can't open %s", file);
  return fd;
}

namespace {

// SIZE is in MiB: the limit needs 64 bits (2048 MiB is past INT_MAX).
bool SizeDue(const com_device_t& dev, const struct stat& st) {
  return dev.log_size > 0 && static_cast<int64_t>(st.st_size) >= (static_cast<int64_t>(dev.log_size) << 20);
}

}  // namespace

bool cut_is_due(const com_device_t& dev, const struct stat& st, time_t lastcutime, bool date_at_limit) {
  if (SizeDue(dev, st)) return true;
  // A period of 0 would cut before every line: only positive periods cut.
  if (dev.splite_type != COMLOG_DATECUT || dev.cuttime <= 0) return false;
  const int64_t elapsed = static_cast<int64_t>(time(nullptr)) + xtimezoneoffset() - lastcutime;
  const int64_t period = static_cast<int64_t>(dev.cuttime) * 60;
  return date_at_limit ? elapsed >= period : elapsed > period;
}

CutOutcome cut_log_if_due(const com_device_t& dev, const char* file, const struct stat& st,
                          time_t* lastcutime, QuotaChecker* qc, bool date_at_limit) {
  CutOutcome outcome;
  if (!cut_is_due(dev, st, *lastcutime, date_at_limit)) return outcome;
  const bool by_size = SizeDue(dev, st);

  char backup[COMLOG_BACKUP_NAME_SIZE];
  const int rc = save_backup(file, backup, sizeof(backup), dev.reserved1, dev.cronocut != 0 ? *lastcutime : 0, true);
  *lastcutime = xroundtime(dev, 0);
  outcome.reopen = true;
  if (rc != 0) return outcome;  // nothing was renamed: nothing to count or remove
  if (qc != nullptr) qc->check_quota(backup);
  if (by_size && dev.splite_type == COMLOG_TRUNCT) outcome.removal = backup;
  return outcome;
}

namespace {

// The length of name without the counter a repeated cut adds at its end
// (a dot and a number from 1, without leading zeros), or strlen (name) when
// it has none.
size_t WithoutCounter(const char* name) {
  const size_t len = strlen(name);
  size_t i = len;
  while (i > 0 && name[i - 1] >= '0' && name[i - 1] <= '9') --i;
  if (i == len || i < 1 || name[i - 1] != '.' || name[i] == '0') return len;
  return i - 1;
}

// Reads stamp by fmt into *tm, over the fields of the time baseline (what
// the stamp does not give stays the baseline's). False unless the whole
// stamp was read.
bool ReadStamp(const char* stamp, const char* fmt, time_t baseline, struct tm* tm) {
  gmtime_r(&baseline, tm);
  const char* end = strptime(stamp, fmt, tm);
  return end != nullptr && end != stamp && *end == '\0';
}

// Whether stamp is strftime of fmt for some time. strptime takes fields no
// clock shows (February 30, second 60, a weekday the date does not fall on,
// any zone offset) and strftime would echo them, so the stamp read back is
// first made a real time with timegm and broken down again as save_backup
// does it (UTC fields of local-time seconds); only when that time gives the
// stamp byte for byte does it count. A weekday or day of the year is held to
// the date only when the stamp gives the whole date (read over two
// baselines, both in leap years, the date comes out the same): without it,
// some date has them.
bool IsStampOf(const char* stamp, const char* fmt) {
  constexpr time_t kBaseline = 946684800;        // 2000-01-01 00:00:00, a Saturday
  constexpr time_t kOtherBaseline = 1078488000;  // 2004-03-05 12:00:00, a Friday
  struct tm tm;
  struct tm other;
  if (!ReadStamp(stamp, fmt, kBaseline, &tm) || !ReadStamp(stamp, fmt, kOtherBaseline, &other)) return false;
  const bool whole_date = tm.tm_year == other.tm_year && tm.tm_mon == other.tm_mon && tm.tm_mday == other.tm_mday;

  struct tm real = tm;
  errno = 0;
  const time_t t = timegm(&real);
  if (t == static_cast<time_t>(-1) && errno != 0) return false;
  if (gmtime_r(&t, &real) == nullptr) return false;
  if (!whole_date) {
    real.tm_wday = tm.tm_wday;
    real.tm_yday = tm.tm_yday;
  }
  // "%s" is read as local time and printed with mktime, which takes the
  // daylight-saving flag it was read with.
  real.tm_isdst = tm.tm_isdst;
  char again[NAME_MAX + 1];
  const size_t len = strftime(again, sizeof(again), fmt, &real);
  return len == strlen(stamp) && memcmp(again, stamp, len) == 0;
}

// Whether stamp, with or without a counter at its end, is a stamp of fmt.
// Both readings are tried: a counter may look like part of the stamp to
// strptime (a zone name reads up to the next blank) and a stamp may end in
// a dot and digits of its own.
bool IsStampWithCounter(const char* stamp, const char* fmt) {
  if (IsStampOf(stamp, fmt)) return true;
  const size_t len = WithoutCounter(stamp);
  if (len == strlen(stamp) || len > NAME_MAX) return false;
  char bare[NAME_MAX + 1];
  memcpy(bare, stamp, len);
  bare[len] = '\0';
  return IsStampOf(bare, fmt);
}

}  // namespace

bool is_backup_name(const char* name, const char* base, const char* suffix) {
  if (name == nullptr || base == nullptr) return false;
  const size_t n = strlen(base);
  if (strncmp(name, base, n) != 0 || name[n] != '.') return false;
  const char* stamp = name + n + 1;
  if (suffix != nullptr && suffix[0] != '\0' && IsStampWithCounter(stamp, suffix)) return true;
  return IsStampWithCounter(stamp, kDefaultStamp);
}

}  // namespace comspace
