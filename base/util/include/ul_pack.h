// Name/value packages: a fixed table of up to 200 text name/value pairs and
// one binary body in a caller-owned buffer, sent over stream sockets or kept
// in memory in one frame format:
//
//   header   20 bytes   "~BUF! " head-length ' ' body-length, then (when that
//                       text is shorter than 19 bytes) one ' ' and '@' up to
//                       byte 18; byte 19 is NUL
//   head     "name : value\r\n" for every pair with a non-empty name, in pair
//            order, then "\r\n"; less than 26000 bytes
//   body     body-length bytes
//   trailer  "~EOF!"
//
// A package is a large record (two tables of 200 x 2048 bytes): allocate it
// once and reuse it (ul_pack_cleanhead, ul_pack_cleanall). The older blocking
// and second-based forms are in dep_pack.h.
#ifndef UL_PACK_H_
#define UL_PACK_H_

#include <stddef.h>

#define UL_PACK_MAXPAIRS 200   // pairs of a package
#define UL_PACK_ITEMSIZE 2048  // bytes of a name or a value, NUL included
#define UL_PACK_MAXHEAD 26000  // a frame's head is shorter than this

typedef struct ul_package {
  char name[UL_PACK_MAXPAIRS][UL_PACK_ITEMSIZE];
  char value[UL_PACK_MAXPAIRS][UL_PACK_ITEMSIZE];
  int pairnum;  // pairs in use; pair i is name[i], value[i]
  int bufsize;  // bytes of the body (when reading: the room in buf)
  char* buf;    // the body; owned by the caller, never freed here
} ul_package;
typedef ul_package ul_package_t;

// ---------------------------------------------------------------------------
// Record handling

// A zero-filled package, or NULL when out of memory. Release with ul_pack_free.
ul_package* ul_pack_init();
// Frees a package from ul_pack_init (not its body). Returns 0.
int ul_pack_free(ul_package* ppack);
// Sets the body. Returns 0 (also for a NULL package, which is left alone).
int ul_pack_putbuf(ul_package* ppack, char* buffer, int size);
// The body, or NULL for a NULL package.
char* ul_pack_getbuf(const ul_package* ppack);
// Enters a pair. Returns 0 appended, 1 when the name was there (the value of
// the first pair of that name replaced), -2 when 200 pairs are in use, -1 for
// a NULL argument or a name or value of more than 2047 bytes or containing
// "\r\n" or " : ".
int ul_pack_putvalue(ul_package* ppack, const char* pname, const char* pvalue);
// Copies the value of the first pair named pname into pvalue (size bytes).
// Returns 1 found, 0 for a NULL argument or an absent name (pvalue emptied
// when it has room). A value that does not fit is cut, logged as a WARNING,
// and still returned with 1.
int ul_pack_getvalue_ex(const ul_package* ppack, const char* pname, char* pvalue, size_t size);
// Removes the first pair named pname; later pairs move down one place.
// Returns 0, or -1 for a NULL argument or an absent name.
int ul_pack_delvalue(ul_package* ppack, const char* pname);
// Forgets every pair (1), or -1 for NULL.
int ul_pack_cleanhead(ul_package* ppack);
// Forgets every pair and the body (buf NULL, bufsize 0): 1, or -1 for NULL.
int ul_pack_cleanall(ul_package* ppack);

// ---------------------------------------------------------------------------
// Sockets, with time-outs in milliseconds (negative: no limit); every single
// read may wait the whole time-out.

// Reads one frame: the pairs into ppack, the body into ppack->buf, which must
// hold it (body length <= bufsize; bufsize is not changed). Returns the body
// length; -1 for a frame that is not well formed (logged; the stream was
// skipped up to the next "~EOF!", so the next frame can be read); -2 for a
// socket error, a time-out or a connection that ended (also while skipping).
// The pairs are valid only after a result >= 0.
int ul_pack_reado_ms(int sockfd, ul_package* ppack, int msec);
// Writes ppack as one frame in four writes (header, head, body, trailer).
// Returns 0; -1 when a write fails or is short, or the body cannot be framed
// (negative size, NULL buf, a length too long for the header); -2 when the
// head reaches 26000 bytes.
int ul_pack_writeo_ms(int sockfd, const ul_package* ppack, int msec);
// Builds the whole frame in one buffer and writes it at once (one system call
// when it fits the socket). 0, or -1 (also for a head of 26000 bytes or more
// and a body that cannot be framed). When the buffer cannot be allocated it
// falls back to ul_pack_writeo_ms.
int ul_pack_write_mo_ms(int sockfd, const ul_package* ppack, int msec);

// ---------------------------------------------------------------------------
// Memory

// Writes ppack's frame into buf. Returns the frame length, or -1: NULL
// arguments, bufsize < 1, a head of 26000 bytes or more, a body that cannot be
// framed, or bufsize not larger than the frame (one spare byte is needed).
int ul_pack_serialization(void* buf, int bufsize, const ul_package* ppack);
// Parses the frame at the start of buf (bufsize bytes): pairs into ppack,
// body into ppack->buf (which must hold it: body length <= ppack->bufsize),
// then ppack->bufsize = body length. Returns the frame length, or -1 (logged).
int ul_pack_deserialization(void* buf, int bufsize, ul_package* ppack);

#endif  // UL_PACK_H_
