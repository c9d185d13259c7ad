// The log-server protocol of the network appender: every message is a fixed
// 36-byte header (loghead_t) followed by a body of body_len bytes. A
// connection first opens a remote log file (logsvr_req_t, answered by
// logsvr_res_t with a handle); then log lines travel in data batches made of
// logitem_t runs naming that handle. Integers are in the host's byte order,
// records have no padding.
#ifndef COMLOG_SENDSVR_LOGHEAD_H_
#define COMLOG_SENDSVR_LOGHEAD_H_

#include <stddef.h>
#include <stdint.h>

namespace comspace {

#define LOGHEAD_MAGICNUM 0xfb709394u

// log_id and reserved of the two messages the framework sends.
enum {
  LOGHEAD_OPEN_LOGID = 123,
  LOGHEAD_OPEN_RESERVED = 1,
  LOGHEAD_DATA_LOGID = 0,
  LOGHEAD_DATA_RESERVED = 6,
};

struct loghead_t {
  uint16_t id;           // 0
  uint16_t version;      // 0
  uint32_t log_id;       // 123 in an open request, 0 in a data batch
  char provider[16];     // all zero
  uint32_t magic_num;    // LOGHEAD_MAGICNUM
  uint32_t reserved;     // 1 in an open request, 6 in a data batch
  uint32_t body_len;     // bytes that follow the header
};

// Body of an open request.
struct logsvr_req_t {
  char path[32];         // server-side directory
  char filename[32];     // remote file name
  char auth[32];         // credential
  uint32_t handle;       // 0
  int32_t compress;      // 1: the server compresses the file
  char reserved[8];      // zero
};

// Body of the answer to an open request.
struct logsvr_res_t {
  int32_t error_code;    // 0: opened
  uint32_t handle;       // handle of the remote file
  int32_t count;
};

// Head of one run of lines in a data batch; size bytes of text follow it
// (rendered lines, each ending in a newline).
struct logitem_t {
  uint32_t handle;       // the remote file
  uint32_t time;         // seconds of the run's first line
  uint32_t size;         // bytes of text after this head
};

static_assert(sizeof(loghead_t) == 36, "loghead_t is 36 bytes on the wire");
static_assert(sizeof(logsvr_req_t) == 112, "logsvr_req_t is 112 bytes on the wire");
static_assert(sizeof(logsvr_res_t) == 12, "logsvr_res_t is 12 bytes on the wire");
static_assert(sizeof(logitem_t) == 12, "logitem_t's head is 12 bytes on the wire");
static_assert(offsetof(loghead_t, magic_num) == 24 && offsetof(loghead_t, body_len) == 32,
              "loghead_t field offsets");
static_assert(offsetof(logsvr_req_t, handle) == 96 && offsetof(logsvr_req_t, reserved) == 104,
              "logsvr_req_t field offsets");

enum _LOGHEAD_FLAGS_T {
  LOGHEAD_CHECK_NONE = 0,
  LOGHEAD_CHECK_MAGICNUM = 1,  // write: set the magic; read: require it
  LOGHEAD_CHECK_PARAM = 2,     // refuse a negative descriptor or a NULL header
};

enum _LOGHEAD_RET_ERROR_T {
  LOGHEAD_RET_SUCCESS = 0,
  LOGHEAD_RET_EPARAM = -1,
  LOGHEAD_RET_EBODYLEN = -2,
  LOGHEAD_RET_WRITE = -3,
  LOGHEAD_RET_READ = -4,
  LOGHEAD_RET_READHEAD = -5,
  LOGHEAD_RET_WRITEHEAD = -6,
  LOGHEAD_RET_PEARCLOSE = -7,  // the peer closed
  LOGHEAD_RET_ETIMEDOUT = -8,
  LOGHEAD_RET_EMAGICNUM = -9,
  LOGHEAD_RET_UNKNOWN = -10,
};

// Sends the header, then req_size bytes of req, then body_len - req_size
// bytes of buf, each transfer within timeout_ms. A _LOGHEAD_RET_ERROR_T code;
// every failure is reported on standard error.
int loghead_write(int fd, loghead_t* head, void* req, size_t req_size, void* buf, int timeout_ms,
                  unsigned flags);
// The same with the whole body lying in memory right after the header.
int loghead_write(int fd, loghead_t* head, int timeout_ms, unsigned flags);

// Receives a header, then req_size bytes into req, then the rest of the body
// (at most buf_size bytes) into buf, each transfer within timeout_ms. A body
// that does not fit is refused (LOGHEAD_RET_EBODYLEN) before any of it is
// read. A _LOGHEAD_RET_ERROR_T code.
int loghead_read(int fd, loghead_t* head, void* req, size_t req_size, void* buf, size_t buf_size,
                 int timeout_ms, unsigned flags);
// The same into one buffer of size bytes at head: the header, then the body
// right after it (size < 36: LOGHEAD_RET_EPARAM).
int loghead_read(int fd, loghead_t* head, size_t size, int timeout_ms, unsigned flags);

}  // namespace comspace

#endif  // COMLOG_SENDSVR_LOGHEAD_H_
