// Older package interface: blocking and second-based forms of the frame
// readers and writers of ul_pack.h, the exact-length transfers and the
// stream skip they are built on, and non-const overloads.
#ifndef DEP_PACK_H_
#define DEP_PACK_H_

#include <stddef.h>
#include <sys/types.h>

#include "ul_pack.h"

// Blocking forms of ul_pack_reado_ms, ul_pack_writeo_ms, ul_pack_write_mo_ms.
int ul_pack_read(int sockfd, ul_package* ppack);
int ul_pack_write(int sockfd, ul_package* ppack);
int ul_pack_write_m(int sockfd, ul_package* ppack);
// The millisecond forms with sec x 1000.
int ul_pack_reado(int sockfd, ul_package* ppack, int sec);
int ul_pack_writeo(int sockfd, ul_package* ppack, int sec);
int ul_pack_write_mo(int sockfd, ul_package* ppack, int sec);

// Reads exactly nbytes, resumed after EINTR: nbytes, fewer at the end of the
// stream, or -1 (logged). The _ms form waits at most msec before each read.
ssize_t ul_pack_readall(int fd, void* ptr1, size_t nbytes);
ssize_t ul_pack_readallo_ms(int fd, void* ptr1, size_t nbytes, int msec);
// Writes all n bytes, resumed after EINTR: n, or -1 (logged). The timed forms
// write within one budget of msec (or sec seconds).
int ul_pack_writeall(int sockfd, const char* buf, int n);
int ul_pack_writeallo_ms(int sockfd, const char* buf, int n, int msec);
int ul_pack_writeallo(int sockfd, const char* buf, int n, int sec);

// Skips input up to and including the next "~EOF!": 0 found, -1 at the end of
// the stream or on an error (logged). The _ms form waits at most msec for
// each byte.
int ul_pack_readend(int sockfd);
int ul_pack_readendo_ms(int sockfd, int msec);

// ul_pack_getvalue_ex with a value buffer of 2048 bytes: 1 or 0.
int ul_pack_getvalue(ul_package* ppack, char* pname, char* pvalue);

// Non-const forms of the newer calls.
int ul_pack_writeo_ms(int sockfd, ul_package* ppack, int msec);
int ul_pack_putvalue(ul_package* ppack, char* pname, char* pvalue);
char* ul_pack_getbuf(ul_package* ppack);

#endif  // DEP_PACK_H_
