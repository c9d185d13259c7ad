// Name/value packages: record handling, the memory forms of the frame and
// the millisecond socket forms (the frame itself is in ul_pack_frame.cpp).
#include "ul_pack.h"

#include <stdint.h>
#include <string.h>

#include "ul_func.h"
#include "ul_log.h"
#include "ul_pack_frame.h"

using ulpack::PairCount;

namespace {

// Index of the first pair named pname, or -1. A name matches when its
// bytes up to and including the terminator equal pname's (a row is never
// read past its end): the first word of both is compared before the rest.
int FindPair(const ul_package* ppack, const char* pname, size_t len) {
  const int n = PairCount(ppack);
  if (len >= UL_PACK_ITEMSIZE) {
    for (int i = 0; i < n; ++i) {
      if (strncmp(ppack->name[i], pname, UL_PACK_ITEMSIZE) == 0) return i;
    }
    return -1;
  }
  const size_t bytes = len + 1;  // with the terminator
  const size_t head = bytes < sizeof(uint64_t) ? bytes : sizeof(uint64_t);
  uint64_t want = 0;
  memcpy(&want, pname, head);
  // The mask covers the first head bytes in memory order, whatever the
  // byte order of the machine.
  unsigned char keep[sizeof(uint64_t)] = {};
  memset(keep, 0xFF, head);
  uint64_t mask;
  memcpy(&mask, keep, sizeof(mask));
  for (int i = 0; i < n; ++i) {
    uint64_t have;
    memcpy(&have, ppack->name[i], sizeof(have));
    if ((have & mask) == want && memcmp(ppack->name[i] + head, pname + head, bytes - head) == 0) return i;
  }
  return -1;
}

int FindPair(const ul_package* ppack, const char* pname) {
  return FindPair(ppack, pname, strnlen(pname, UL_PACK_ITEMSIZE));
}

// A name or value a frame can carry: at most 2047 bytes, without "\r\n" or
// " : ". *len is its length when it is.
bool Storable(const char* s, size_t* len) {
  const size_t n = strnlen(s, UL_PACK_ITEMSIZE);
  if (n >= UL_PACK_ITEMSIZE) return false;
  // s[i + 1] is at most the terminator; s[i + 2] is read only after a
  // ':' at s[i + 1].
  for (size_t i = 0; i < n; ++i) {
    if (s[i] == '\r' && s[i + 1] == '\n') return false;
    if (s[i] == ' ' && s[i + 1] == ':' && s[i + 2] == ' ') return false;
  }
  *len = n;
  return true;
}

}  // namespace

ul_package* ul_pack_init() {
  return static_cast<ul_package*>(ul_calloc(1, sizeof(ul_package)));
}

int ul_pack_free(ul_package* ppack) {
  ul_free(ppack);
  return 0;
}

int ul_pack_putbuf(ul_package* ppack, char* buffer, int size) {
  if (ppack != nullptr) {
    ppack->buf = buffer;
    ppack->bufsize = size;
  }
  return 0;
}

char* ul_pack_getbuf(const ul_package* ppack) { return ppack != nullptr ? ppack->buf : nullptr; }

int ul_pack_putvalue(ul_package* ppack, const char* pname, const char* pvalue) {
  if (ppack == nullptr || pname == nullptr || pvalue == nullptr) return -1;
  size_t name_len = 0, value_len = 0;
  if (!Storable(pname, &name_len) || !Storable(pvalue, &value_len)) return -1;
  const int found = FindPair(ppack, pname, name_len);
  if (found >= 0) {
    memcpy(ppack->value[found], pvalue, value_len + 1);
    return 1;
  }
  const int n = PairCount(ppack);
  if (n >= UL_PACK_MAXPAIRS) return -2;
  memcpy(ppack->name[n], pname, name_len + 1);
  memcpy(ppack->value[n], pvalue, value_len + 1);
  ppack->pairnum = n + 1;
  return 0;
}

int ul_pack_getvalue_ex(const ul_package* ppack, const char* pname, char* pvalue, size_t size) {
  if (pvalue != nullptr && size > 0) pvalue[0] = '\0';
  if (ppack == nullptr || pname == nullptr || pvalue == nullptr) return 0;
  const int i = FindPair(ppack, pname);
  if (i < 0) return 0;
  size_t len = strnlen(ppack->value[i], UL_PACK_ITEMSIZE);
  if (len == UL_PACK_ITEMSIZE) len = UL_PACK_ITEMSIZE - 1;
  if (len >= size) {
    ul_writelog(UL_LOG_WARNING, "%s ppack item length too long [size:%zu]", "ul_pack_getvalue_ex",
                size);
    if (size == 0) return 1;
    len = size - 1;
  }
  memcpy(pvalue, ppack->value[i], len);
  pvalue[len] = '\0';
  return 1;
}

int ul_pack_delvalue(ul_package* ppack, const char* pname) {
  if (ppack == nullptr || pname == nullptr) return -1;
  const int i = FindPair(ppack, pname);
  if (i < 0) return -1;
  const int n = PairCount(ppack);
  const size_t later = static_cast<size_t>(n - i - 1);
  memmove(ppack->name[i], ppack->name[i + 1], later * UL_PACK_ITEMSIZE);
  memmove(ppack->value[i], ppack->value[i + 1], later * UL_PACK_ITEMSIZE);
  ppack->pairnum = n - 1;
  return 0;
}

int ul_pack_cleanhead(ul_package* ppack) {
  if (ppack == nullptr) return -1;
  ppack->pairnum = 0;
  return 1;
}

int ul_pack_cleanall(ul_package* ppack) {
  if (ppack == nullptr) return -1;
  ppack->pairnum = 0;
  ppack->bufsize = 0;
  ppack->buf = nullptr;
  return 1;
}

// ---------------------------------------------------------------------------
// Sockets

int ul_pack_reado_ms(int sockfd, ul_package* ppack, int msec) {
  return ulpack::ReadFrame(sockfd, ppack, true, msec);
}

int ul_pack_writeo_ms(int sockfd, const ul_package* ppack, int msec) {
  return ulpack::WriteFrame(sockfd, ppack, true, msec);
}

int ul_pack_write_mo_ms(int sockfd, const ul_package* ppack, int msec) {
  return ulpack::WriteOneBuffer(sockfd, ppack, true, msec);
}

// ---------------------------------------------------------------------------
// Memory

int ul_pack_serialization(void* buf, int bufsize, const ul_package* ppack) {
  if (buf == nullptr || ppack == nullptr || bufsize < 1 || !ulpack::BodyOk(ppack)) return -1;
  char head[ulpack::kHeadRoom];
  size_t reached = 0;
  const int head_len = ulpack::RenderHead(ppack, head, &reached);
  if (head_len < 0) return -1;
  char header[ulpack::kHeaderSize];
  if (!ulpack::RenderHeader(header, head_len, ppack->bufsize)) return -1;
  const long long frame = static_cast<long long>(ulpack::kHeaderSize) + head_len + ppack->bufsize +
                          ulpack::kTrailerSize;
  if (bufsize <= frame) return -1;
  char* out = static_cast<char*>(buf);
  memcpy(out, header, ulpack::kHeaderSize);
  out += ulpack::kHeaderSize;
  memcpy(out, head, static_cast<size_t>(head_len));
  out += head_len;
  if (ppack->bufsize > 0) memmove(out, ppack->buf, static_cast<size_t>(ppack->bufsize));
  out += ppack->bufsize;
  memcpy(out, ulpack::kTrailer, ulpack::kTrailerSize);
  return static_cast<int>(frame);
}

int ul_pack_deserialization(void* buf, int bufsize, ul_package* ppack) {
  if (buf == nullptr || ppack == nullptr || bufsize < 0) return -1;
  const char* in = static_cast<const char*>(buf);
  char header[ulpack::kHeaderSize + 1] = {0};
  memcpy(header, in, bufsize < ulpack::kHeaderSize ? static_cast<size_t>(bufsize) : ulpack::kHeaderSize);
  long long head_len = 0, body_len = 0;
  if (bufsize < ulpack::kHeaderSize || memcmp(header, ulpack::kTag, ulpack::kTagSize) != 0 ||
      !ulpack::ParseLengths(header, &head_len, &body_len)) {
    ul_writelog(UL_LOG_WARNING, "ul_pack_deserialization: start buf error.[%d : %s].",
                ulpack::kHeaderSize, header);
    return -1;
  }
  if (head_len < 0 || body_len < 0) {
    ul_writelog(UL_LOG_WARNING, "ul_pack_deserialization: size are negative [%d : %d]",
                ulpack::ClampInt(head_len), ulpack::ClampInt(body_len));
    return -1;
  }
  if (body_len > ppack->bufsize || head_len >= UL_PACK_MAXHEAD ||
      (body_len > 0 && ppack->buf == nullptr)) {
    ul_writelog(UL_LOG_WARNING, "ul_pack_deserialization: body buffer size not enough [%d : %d]",
                ppack->bufsize, ulpack::ClampInt(body_len));
    return -1;
  }
  // Both lengths are now below 2^31, so the sum cannot overflow.
  const long long frame = ulpack::kHeaderSize + head_len + body_len + ulpack::kTrailerSize;
  if (bufsize < frame) {
    ul_writelog(UL_LOG_WARNING, "ul_pack_deserialization: total buffer size not enough [%d : %d]",
                bufsize, ulpack::ClampInt(frame));
    return -1;
  }
  const char* tail = in + frame - ulpack::kTrailerSize;
  if (memcmp(tail, ulpack::kTrailer, ulpack::kTrailerSize) != 0) {
    char trailer[ulpack::kTrailerSize + 1] = {0};
    memcpy(trailer, tail, ulpack::kTrailerSize);
    ul_writelog(UL_LOG_WARNING, "ul_pack_deserialization: read EOF error.[%ld || %s].",
                static_cast<long>(ulpack::kTrailerSize), trailer);
    return -1;
  }
  // The head is parsed where it lies, before the body is copied: a body
  // buffer inside the input cannot change it.
  const char* head = in + ulpack::kHeaderSize;
  const char* bad = nullptr;
  bool left = false;
  const int kept = ulpack::ParseHead(head, static_cast<size_t>(head_len), ppack, &bad, &left);
  if (kept < 0) {
    ppack->pairnum = 0;
    // The line in error, up to the end of the head.
    ul_writelog(UL_LOG_WARNING, "ul_pack_deserialization: head data error error [%.*s]",
                static_cast<int>(head + head_len - bad), bad);
    return -1;
  }
  if (left) {
    ul_writelog(UL_LOG_WARNING, "ul_pack_deserialization: left key-value pairs in head, curr recv[%d]",
                kept);
  }
  if (body_len > 0) {
    memmove(ppack->buf, in + ulpack::kHeaderSize + head_len, static_cast<size_t>(body_len));
  }
  ppack->pairnum = kept;
  ppack->bufsize = static_cast<int>(body_len);
  return static_cast<int>(frame);
}
