#include "comlog/sendsvr/loghead.h"

#include <errno.h>
#include <string.h>

#include "comlog/diag.h"
#include "ul_net.h"

namespace comspace {

namespace {

constexpr unsigned kHeadSize = sizeof(loghead_t);

// The code of a transfer that moved nothing: the peer closed (0), the budget
// ran out (-1 with ETIMEDOUT) or another failure (other).
int FailedTransfer(ssize_t rc, int other) {
  if (rc == 0) return LOGHEAD_RET_PEARCLOSE;
  return errno == ETIMEDOUT ? LOGHEAD_RET_ETIMEDOUT : other;
}

}  // namespace

int loghead_write(int fd, loghead_t* head, void* req, size_t req_size, void* buf, int timeout_ms,
                  unsigned flags) {
  // A missing header or a missing part of the body is refused whatever the
  // flags say: there is nothing to send from.
  if (head == nullptr) return LOGHEAD_RET_EPARAM;
  if ((flags & LOGHEAD_CHECK_PARAM) != 0 && fd < 0) return LOGHEAD_RET_EPARAM;
  if (head->body_len < req_size) {
    COMLOG_DIAG("<%u> loghead_write body_len error: req_size=%u body_len=%u", head->log_id,
                static_cast<unsigned>(req_size), head->body_len);
    return LOGHEAD_RET_EBODYLEN;
  }
  const size_t rest = head->body_len - req_size;
  if ((req_size > 0 && req == nullptr) || (rest > 0 && buf == nullptr)) return LOGHEAD_RET_EPARAM;
  if ((flags & LOGHEAD_CHECK_MAGICNUM) != 0) head->magic_num = LOGHEAD_MAGICNUM;

  ssize_t rc = ul_swriteo_ms_ex(fd, head, kHeadSize, timeout_ms);
  if (rc > 0 && rc != static_cast<ssize_t>(kHeadSize)) {
    COMLOG_DIAG("<%u> loghead_write head fail: ret %d want %u ERR[%m]", head->log_id,
                static_cast<int>(rc), kHeadSize);
    return LOGHEAD_RET_WRITEHEAD;
  }
  if (rc > 0 && req_size > 0) {
    rc = ul_swriteo_ms_ex(fd, req, req_size, timeout_ms);
    if (rc > 0 && rc != static_cast<ssize_t>(req_size)) {
      COMLOG_DIAG("<%u> loghead_write fail: ret %d want %u ERR[%m]", head->log_id, static_cast<int>(rc),
                  static_cast<unsigned>(req_size));
      return LOGHEAD_RET_WRITE;
    }
  }
  if (rc > 0 && rest > 0) {
    rc = ul_swriteo_ms_ex(fd, buf, rest, timeout_ms);
    if (rc > 0 && rc != static_cast<ssize_t>(rest)) {
      COMLOG_DIAG("<%u> loghead_write fail: ret %d want %u ERR[%m]", head->log_id, static_cast<int>(rc),
                  static_cast<unsigned>(rest));
      return LOGHEAD_RET_WRITE;
    }
  }
  if (rc > 0) return LOGHEAD_RET_SUCCESS;
  COMLOG_DIAG("<%u> loghead_write fail: ret=%d ERR[%m]", head->log_id, static_cast<int>(rc));
  return FailedTransfer(rc, LOGHEAD_RET_WRITE);
}

int loghead_write(int fd, loghead_t* head, int timeout_ms, unsigned flags) {
  return loghead_write(fd, head, nullptr, 0, head != nullptr ? head + 1 : nullptr, timeout_ms, flags);
}

int loghead_read(int fd, loghead_t* head, void* req, size_t req_size, void* buf, size_t buf_size,
                 int timeout_ms, unsigned flags) {
  if (head == nullptr || (req_size > 0 && req == nullptr)) return LOGHEAD_RET_EPARAM;
  if ((flags & LOGHEAD_CHECK_PARAM) != 0 && fd < 0) return LOGHEAD_RET_EPARAM;
  if (buf == nullptr) buf_size = 0;  // nothing can land there
  // A short read leaves no bytes of an earlier header behind.
  memset(head, 0, kHeadSize);

  ssize_t rc = ul_sreado_ms_ex(fd, head, kHeadSize, timeout_ms);
  if (rc > 0 && rc != static_cast<ssize_t>(kHeadSize)) {
    COMLOG_DIAG("<%u> loghead_read head fail: ret %d want %u ERR[%m]", head->log_id, static_cast<int>(rc),
                kHeadSize);
    return LOGHEAD_RET_READHEAD;
  }
  if (rc > 0) {
    if ((flags & LOGHEAD_CHECK_MAGICNUM) != 0 && head->magic_num != LOGHEAD_MAGICNUM) {
      COMLOG_DIAG("<%u> loghead_read magic num mismatch: ret %x want %x", head->log_id, head->magic_num,
                  LOGHEAD_MAGICNUM);
      return LOGHEAD_RET_EMAGICNUM;
    }
    // Checked before any byte of the body is read, so a hostile length
    // never reaches the caller's buffers.
    if (head->body_len < req_size || head->body_len - req_size > buf_size) {
      COMLOG_DIAG("<%u> loghead_read body_len error: req_size=%u buf_size=%u body_len=%u", head->log_id,
                  static_cast<unsigned>(req_size), static_cast<unsigned>(buf_size), head->body_len);
      return LOGHEAD_RET_EBODYLEN;
    }
  }
  if (rc > 0 && req_size > 0) {
    rc = ul_sreado_ms_ex(fd, req, req_size, timeout_ms);
    if (rc > 0 && rc != static_cast<ssize_t>(req_size)) {
      COMLOG_DIAG("<%u> loghead_read fail: ret %d want %u ERR[%m]", head->log_id, static_cast<int>(rc),
                  static_cast<unsigned>(req_size));
      return LOGHEAD_RET_READ;
    }
  }
  const size_t rest = rc > 0 ? head->body_len - req_size : 0;
  if (rc > 0 && rest > 0) {
    rc = ul_sreado_ms_ex(fd, buf, rest, timeout_ms);
    if (rc > 0 && rc != static_cast<ssize_t>(rest)) {
      COMLOG_DIAG("<%u> loghead_read fail: ret %d want %d ERR[%m]", head->log_id, static_cast<int>(rc),
                  static_cast<int>(rest));
      return LOGHEAD_RET_READ;
    }
  }
  if (rc > 0) return LOGHEAD_RET_SUCCESS;
  if (rc == 0) return LOGHEAD_RET_PEARCLOSE;
  COMLOG_DIAG("<%u> loghead_read fail: ret=%d ERR[%m]", head->log_id, static_cast<int>(rc));
  return FailedTransfer(rc, LOGHEAD_RET_READ);
}

int loghead_read(int fd, loghead_t* head, size_t size, int timeout_ms, unsigned flags) {
  if (size < kHeadSize) return LOGHEAD_RET_EPARAM;
  return loghead_read(fd, head, nullptr, 0, head != nullptr ? head + 1 : nullptr, size - kHeadSize, timeout_ms,
                      flags);
}

}  // namespace comspace
