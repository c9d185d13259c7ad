// Small utilities of the logging framework: the string signature that keys
// its registry, local time (also without the system library's lock), time
// formatting and cut-time rounding, bounded string copies, the self-level
// list parser, a signal installer and a millisecond sleep.
#ifndef COMLOG_XUTILS_H_
#define COMLOG_XUTILS_H_

#include <signal.h>
#include <sys/time.h>
#include <time.h>

namespace comspace {

struct com_device_t;

// The framework's copies of the signature weight tables (256^k modulo
// 16777213, then 16777199, one running value).
extern const unsigned int (&x_Mod_Prime_List_1)[256];
extern const unsigned int (&x_Mod_Prime_List_2)[256];

// The two weighted sums of a NUL-terminated string: byte i (unsigned) times
// table entry i % 256, wrapping at 32 bits.
unsigned int x_getsign_24_1(const char* s);
unsigned int x_getsign_24_2(const char* s);

// The 64-bit string signature: up to 4 bytes copied into sign1 (little
// endian), 5 to 8 bytes split into a first word and the rest, longer strings
// the two weighted sums. len must equal strlen (s); otherwise the process
// stops. Returns 1.
int x_creat_sign_f64(const char* s, int len, unsigned int* sign1, unsigned int* sign2);

// localtime_r, or localtime_nolock once comlog_enable_nolock_localtime() ran.
struct tm* comlog_localtime(const time_t* t, struct tm* out);
// Switches comlog_localtime to the lock-free conversion for the rest of the
// process (after tzset()).
void comlog_enable_nolock_localtime();
// Local time from the zone offset and the daylight flag of the process's
// start-up time, without the system library's time-zone lock.
struct tm* localtime_nolock(const time_t* t, struct tm* out);
// Breaks t - tz + dst * 3600 seconds after 1970 into *out (tz: seconds west
// of UTC; times before 1970 count as 1970-01-01 00:00:00).
void nolocks_localtime(struct tm* out, time_t t, long tz, int dst);

// "%02d-%02d %02d:%02d:%02d:%03d" (month-day hour:minute:second:millisecond)
// and "%02d-%02d %02d:%02d:%02d" of local time; the snprintf result.
int xfmtime(char* buf, int size, const timeval& tv);
int xfmtime(char* buf, int size, time_t t);

// Seconds to add to UTC for local time (28800 for UTC+8, -18000 for UTC-5),
// computed once.
int xtimezoneoffset();
// t (0: now in local-time seconds) rounded down to whole cutting periods when
// the device has cronocut and a positive cuttime; else t.
time_t xroundtime(const com_device_t& dev, time_t t);

// Copies min(len, size - 1) bytes of src and a NUL; returns the count
// (0 and nothing written for size < 1).
int xstrcpy(char* dst, int size, const char* src, int len);
int xstrcpy(char* dst, int size, const char* src);

// Splits a list of names separated by runs of blanks and commas into names;
// a name over 1023 characters is cut there and its rest starts the next
// name. Returns the number of names (at most max).
int xparserSelfLog(const char* list, char names[][1024], int max);

// Installs handler with an empty mask and SA_RESTART (SIGALRM: interrupting
// instead); the previous handler, or SIG_ERR.
sighandler_t xsignal(int sig, sighandler_t handler);

// Sleeps ms milliseconds (one nanosleep).
void safe_msleep(int ms);

}  // namespace comspace

#endif  // COMLOG_XUTILS_H_
