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

// The span of stamps that count: from the first second of 2000 (local
// time, as the cutting counts it) to a day past the time of the check.
// Before it, a user's "log.1" reads as year 1 or second 1 of 1970; a day
// ahead leaves room for a clock set back.
constexpr time_t kFirstStampTime = 946684800;  // 2000-01-01 00:00:00
constexpr time_t kStampLeadSeconds = 86400;

// A time up to the year 5000 has at most 11 digits of seconds.
constexpr size_t kMaxSecondsDigits = 11;

// The largest counter a repeated cut writes: RenameToFreeName counts with
// an int below INT_MAX.
constexpr int64_t kMaxCounter = INT_MAX - 1;

// The length of name without the counter a repeated cut adds at its end
// (a dot and a number from 1 to kMaxCounter, without leading zeros), or
// strlen (name) when it has none. A larger number after the stamp (a copy
// its user stamped again, "log.20240102030405.20240615120000") is no
// counter.
size_t WithoutCounter(const char* name) {
  const size_t len = strlen(name);
  size_t i = len;
  while (i > 0 && name[i - 1] >= '0' && name[i - 1] <= '9') --i;
  if (i == len || i < 1 || name[i - 1] != '.' || name[i] == '0') return len;
  int64_t counter = 0;
  for (size_t k = i; k < len; ++k) {
    counter = counter * 10 + (name[k] - '0');
    if (counter > kMaxCounter) return len;
  }
  return i - 1;
}

// strftime of fmt over the UTC fields of t, as save_backup writes a stamp
// (t holds local-time seconds); its length, 0 when it is empty or does not
// fit.
size_t FormatStamp(const char* fmt, time_t t, char* out, size_t size) {
  struct tm tm;
  if (gmtime_r(&t, &tm) == nullptr) return 0;
  return strftime(out, size, fmt, &tm);
}

// Whether save_backup writes stamp for the time t under fmt.
bool WritesStamp(const char* fmt, time_t t, const char* stamp) {
  char again[NAME_MAX + 1];
  const size_t len = FormatStamp(fmt, t, again, sizeof(again));
  return len == strlen(stamp) && memcmp(again, stamp, len) == 0;
}

// How strptime reads a stamp of a format.
struct StampReading {
  std::string format;                  // the format strptime is given
  size_t seconds = std::string::npos;  // where its first "%s" begins
};

// The reading of fmt. A conversion whose text is the same at two times
// that differ in every field strftime writes (a zone name or offset, which
// the cutting's UTC fields give as "GMT" and "+0000", "%%", "%n", "%t", and
// a code strftime does not know and copies) is read as that text: strptime
// would take "%Z" up to the next blank, refuse an unknown code and let a
// blank match none. "%P", strftime's am/pm in lower case, is read as "%p"
// (strptime matches either case). A modifier E or O that changes nothing in
// the locale is dropped (strptime reads "%Ey" as four digits).
StampReading ReadingOf(const char* fmt) {
  constexpr time_t kProbes[2] = {946684799, 961032630};  // 1999-12-31 23:59:59, 2000-06-15 01:30:30
  StampReading reading;
  for (const char* p = fmt; *p != '\0';) {
    if (*p != '%') {
      reading.format += *p++;
      continue;
    }
    const char* start = p++;
    while (*p != '\0' && strchr("_-0^#", *p) != nullptr) ++p;
    while (*p >= '0' && *p <= '9') ++p;
    const char* modifier = (*p == 'E' || *p == 'O') ? p++ : nullptr;
    if (*p != '\0') ++p;  // the conversion (a '%' that ends the format stands alone)
    std::string spec(start, p);
    char text[2][NAME_MAX + 1];
    size_t len[2];
    for (int i = 0; i < 2; ++i) len[i] = FormatStamp(spec.c_str(), kProbes[i], text[i], sizeof(text[i]));
    if (len[0] > 0 && len[0] == len[1] && memcmp(text[0], text[1], len[0]) == 0) {
      for (size_t i = 0; i < len[0]; ++i) {
        if (text[0][i] == '%') reading.format += '%';
        reading.format += text[0][i];
      }
      continue;
    }
    if (modifier != nullptr) {
      std::string plain = spec;
      plain.erase(static_cast<size_t>(modifier - start), 1);
      bool same = true;
      for (int i = 0; i < 2 && same; ++i) {
        char other[NAME_MAX + 1];
        same = FormatStamp(plain.c_str(), kProbes[i], other, sizeof(other)) == len[i] &&
               memcmp(other, text[i], len[i]) == 0;
      }
      if (same) spec = plain;
    }
    if (spec.back() == 's' && reading.seconds == std::string::npos) reading.seconds = reading.format.size();
    if (spec.back() == 'P') spec.back() = 'p';
    reading.format += spec;
  }
  return reading;
}

// Reads text by fmt into *tm, over the fields of the time baseline (what
// the text does not give stays the baseline's). Where the reading ended,
// nullptr when it failed.
const char* ReadFields(const char* text, const char* fmt, time_t baseline, struct tm* tm) {
  gmtime_r(&baseline, tm);
  return strptime(text, fmt, tm);
}

// Whether stamp is written for a time from kFirstStampTime to ceiling,
// found from the fields strptime reads in text (stamp itself, or stamp
// with its padding blanks as zeros). strptime takes fields no clock shows
// (February 30, second 60, a weekday the date does not fall on) and
// strftime would echo them, so each reading is made a real time with timegm
// and the stamp is written again from it as save_backup does; only when
// that gives the stamp byte for byte does it count. A weekday or day of the
// year is held to the date only when the stamp gives the whole date (read
// over two baselines, both in leap years, the date comes out the same):
// without it, some date has them. The second baseline is at noon, for an
// am/pm without an hour. A two-digit year of 69 to 99 (1969 to 1999 to
// strptime) is read a century later.
bool IsFieldStampOf(const char* text, const char* stamp, const char* fmt, const char* reading, time_t ceiling) {
  constexpr time_t kBaselines[2] = {946684800, 1078488000};  // 2000-01-01 00:00:00 (a Saturday), 2004-03-05 12:00:00
  struct tm read[2];
  for (int i = 0; i < 2; ++i) {
    const char* end = ReadFields(text, reading, kBaselines[i], &read[i]);
    if (end == nullptr || end == text || *end != '\0') return false;
  }
  const bool whole_date = read[0].tm_year == read[1].tm_year && read[0].tm_mon == read[1].tm_mon &&
                          read[0].tm_mday == read[1].tm_mday;
  for (const struct tm& fields : read) {
    struct tm real = fields;
    errno = 0;
    time_t t = timegm(&real);
    if (t == static_cast<time_t>(-1) && errno != 0) continue;
    if (t < kFirstStampTime) {
      real = fields;
      real.tm_year += 100;
      t = timegm(&real);
    }
    if (t < kFirstStampTime || t > ceiling || gmtime_r(&t, &real) == nullptr) continue;
    if (!whole_date) {
      real.tm_wday = fields.tm_wday;
      real.tm_yday = fields.tm_yday;
    }
    char again[NAME_MAX + 1];
    const size_t len = strftime(again, sizeof(again), fmt, &real);
    if (len == strlen(stamp) && memcmp(again, stamp, len) == 0) return true;
  }
  return false;
}

// At most how many times TimesOfSeconds gives.
constexpr int kMaxTimesOfSeconds = 3;

// The local-time seconds whose UTC fields strftime's "%s" may write as
// secs (out, their number). "%s" reads the fields as local time with the
// daylight-saving flag gmtime_r leaves at 0, that is in standard time, so
// the time is secs plus the zone's standard offset then: it is first taken
// as secs plus the zone's offset at secs, then corrected by what "%s" gives
// back for it; where the standard offset changes, the times on both sides
// are given.
int TimesOfSeconds(time_t secs, time_t out[kMaxTimesOfSeconds]) {
  struct tm local;
  if (localtime_r(&secs, &local) == nullptr) return 0;
  time_t t = secs + local.tm_gmtoff;
  int n = 0;
  while (n < kMaxTimesOfSeconds) {
    out[n++] = t;
    struct tm fields;
    if (gmtime_r(&t, &fields) == nullptr) break;
    const time_t back = mktime(&fields);
    if (back == secs || back == static_cast<time_t>(-1)) break;
    t += secs - back;
  }
  return n;
}

// Whether stamp, of a format with "%s", is written for a time from
// kFirstStampTime to ceiling. The seconds give the whole time: they are
// found after what strptime reads of text (stamp, or stamp with its padding
// blanks as zeros) by the reading before the first "%s", and tried at every
// length, so that digits after them may follow.
bool IsSecondsStampOf(const char* text, const char* stamp, const char* fmt, const StampReading& reading,
                      time_t ceiling) {
  const char* at = text;
  if (reading.seconds > 0) {
    struct tm scratch;
    at = ReadFields(text, reading.format.substr(0, reading.seconds).c_str(), kFirstStampTime, &scratch);
    if (at == nullptr) return false;
  }
  const char* digits = stamp + (at - text);
  size_t n = 0;
  while (n < kMaxSecondsDigits && digits[n] >= '0' && digits[n] <= '9') ++n;
  for (; n > 0; --n) {
    time_t secs = 0;
    for (size_t i = 0; i < n; ++i) secs = secs * 10 + (digits[i] - '0');
    time_t times[kMaxTimesOfSeconds];
    const int k = TimesOfSeconds(secs, times);
    for (int i = 0; i < k; ++i) {
      if (times[i] >= kFirstStampTime && times[i] <= ceiling && WritesStamp(fmt, times[i], stamp)) return true;
    }
  }
  return false;
}

// Whether stamp is strftime of fmt, read by reading, for a time from
// kFirstStampTime to ceiling. strptime reads a blank-padded number ("%e",
// "%k", "%l": " 2") on into the digits after it ("%k%M": " 230", 02:30,
// reads as hour 23 and minute 0); a reading of the stamp with every blank
// before a digit taken as a zero reads it as the cutting wrote it.
bool IsStampOf(const char* stamp, const char* fmt, const StampReading& reading, time_t ceiling) {
  std::string zeros(stamp);
  for (size_t i = 0; i + 1 < zeros.size(); ++i) {
    if (zeros[i] == ' ' && zeros[i + 1] >= '0' && zeros[i + 1] <= '9') zeros[i] = '0';
  }
  for (const char* text : {stamp, zeros.c_str()}) {
    if (text != stamp && zeros == stamp) break;
    if (reading.seconds != std::string::npos ? IsSecondsStampOf(text, stamp, fmt, reading, ceiling)
                                             : IsFieldStampOf(text, stamp, fmt, reading.format.c_str(), ceiling)) {
      return true;
    }
  }
  return false;
}

// Whether stamp, with or without a counter at its end, is a stamp of fmt.
// Both readings are tried: a counter may look like part of the stamp to
// strptime and a stamp may end in a dot and digits of its own.
bool IsStampWithCounter(const char* stamp, const char* fmt, time_t ceiling) {
  const StampReading reading = ReadingOf(fmt);
  if (IsStampOf(stamp, fmt, reading, ceiling)) return true;
  const size_t len = WithoutCounter(stamp);
  if (len == strlen(stamp) || len > NAME_MAX) return false;
  char bare[NAME_MAX + 1];
  memcpy(bare, stamp, len);
  bare[len] = '\0';
  return IsStampOf(bare, fmt, reading, ceiling);
}

}  // namespace

bool is_backup_name(const char* name, const char* base, const char* suffix) {
  return is_backup_name(name, base, suffix, time(nullptr));
}

bool is_backup_name(const char* name, const char* base, const char* suffix, time_t now) {
  if (name == nullptr || base == nullptr) return false;
  const size_t n = strlen(base);
  if (strncmp(name, base, n) != 0 || name[n] != '.') return false;
  const char* stamp = name + n + 1;
  const time_t ceiling = now + xtimezoneoffset() + kStampLeadSeconds;
  if (suffix != nullptr && suffix[0] != '\0' && IsStampWithCounter(stamp, suffix, ceiling)) return true;
  return IsStampWithCounter(stamp, kDefaultStamp, ceiling);
}

}  // namespace comspace
