// Per-thread error state: a small error number and a formatted text that
// library functions record for the calling thread on failure.
#ifndef UL_ERROR_H_
#define UL_ERROR_H_

#define UL_ERRSTR_BUFSIZE 1024  // bytes of a thread's error text, NUL included

// Error numbers.
#define UL_SUCCESS 0         // "CALL SUCCESS"
#define UL_DETAILERR 1       // the text is in the thread's error buffer
#define UL_ALLOCERR 2        // "ALLOC MEMORY FAIL"
#define UL_MEMSEGERR 3       // "MEMORY SEGMENT"
#define UL_READERR 4         // "READ ERR"
#define UL_WRITEERR 5        // "WRITE ERR"
#define UL_INVHANDLE 6       // "INVALID FILE[NET] HANDLE"
#define UL_NETCONNERR 7      // "NET CONNECT FAIL"
#define UL_INVPARAM 8        // "INVALID INPUT PARAM"
#define UL_OPENFILE_ERR 9    // "OPEN FILE ERR"

// The calling thread's error number; 0 when its slot cannot be allocated.
int ul_geterrno();
// Stores the calling thread's error number; 0, or -1 when the slot cannot be allocated.
int ul_seterrno(int err);
// The text of an error number; 1 gives the calling thread's error buffer,
// numbers outside 0..9 give "INVALID ERRNO".
const char* ul_geterrstr(int err);
// The calling thread's error buffer (UL_ERRSTR_BUFSIZE bytes); a constant ""
// when it cannot be allocated.
char* ul_geterrbuf();
// Formats into the calling thread's error buffer, cut to fit; 0, or -1 when
// the buffer cannot be allocated.
int ul_seterrbuf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

#endif  // UL_ERROR_H_
