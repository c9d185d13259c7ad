// The package frame: header and head rendering and parsing, and the socket
// reader and writers shared by the newer (timed) and older (blocking) forms.
#include "ul_pack_frame.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <memory>

#include "dep_pack.h"
#include "ul_log.h"
#include "ul_net.h"

namespace ulpack {

int PairCount(const ul_package* ppack) {
  if (ppack->pairnum < 0) return 0;
  return ppack->pairnum > UL_PACK_MAXPAIRS ? UL_PACK_MAXPAIRS : ppack->pairnum;
}

namespace {

// Length of a name or value entry, at most 2047 (an entry without its NUL is
// taken as cut there).
size_t EntryLen(const char* entry) {
  const size_t n = strnlen(entry, UL_PACK_ITEMSIZE);
  return n == UL_PACK_ITEMSIZE ? UL_PACK_ITEMSIZE - 1 : n;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

const char* SkipBlanks(const char* p, const char* end) {
  while (p < end && IsBlank(*p)) ++p;
  return p;
}

const char* SkipWord(const char* p, const char* end) {
  while (p < end && !IsBlank(*p)) ++p;
  return p;
}

// The first "\r\n" in [p, end), or NULL. (memchr scans far faster than
// memmem on these short lines.)
const char* FindLineEnd(const char* p, const char* end) {
  while (p < end) {
    const char* cr = static_cast<const char*>(memchr(p, '\r', static_cast<size_t>(end - p)));
    if (cr == nullptr || cr + 1 >= end) return nullptr;
    if (cr[1] == '\n') return cr;
    p = cr + 1;
  }
  return nullptr;
}

// The first " : " in [p, end), or NULL.
const char* FindSeparator(const char* p, const char* end) {
  for (const char* q = p + 1; q + 1 < end;) {
    const char* colon = static_cast<const char*>(memchr(q, ':', static_cast<size_t>(end - 1 - q)));
    if (colon == nullptr) return nullptr;
    if (colon[-1] == ' ' && colon[1] == ' ') return colon - 1;
    q = colon + 1;
  }
  return nullptr;
}

// One decimal number as "%d" reads it (leading blanks, a sign); the value
// is held at +-10^15, far past any length a frame can carry.
bool ParseNumber(const char*& p, long long* out) {
  while (IsBlank(*p)) ++p;
  bool neg = false;
  if (*p == '+' || *p == '-') neg = *p++ == '-';
  if (*p < '0' || *p > '9') return false;
  long long v = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (v < 1000000000000000LL) v = v * 10 + (*p - '0');
  }
  *out = neg ? -v : v;
  return true;
}

}  // namespace

int RenderHead(const ul_package* ppack, char* out, size_t* reached) {
  size_t len = 0;
  const int n = PairCount(ppack);
  for (int i = 0; i < n; ++i) {
    const size_t name_len = EntryLen(ppack->name[i]);
    if (name_len == 0) continue;
    const size_t value_len = EntryLen(ppack->value[i]);
    const size_t line = name_len + 3 + value_len + 2;
    if (len + line > UL_PACK_MAXHEAD) {
      *reached = len + line;
      return kHeadLinesOver;
    }
    memcpy(out + len, ppack->name[i], name_len);
    memcpy(out + len + name_len, " : ", 3);
    memcpy(out + len + name_len + 3, ppack->value[i], value_len);
    memcpy(out + len + line - 2, "\r\n", 2);
    len += line;
  }
  memcpy(out + len, "\r\n", 2);
  len += 2;
  *reached = len;
  // A reader keeps the head with its terminating NUL in UL_PACK_MAXHEAD
  // bytes: a head of that length could be written but never read.
  if (len >= UL_PACK_MAXHEAD) return kHeadTooLong;
  return static_cast<int>(len);
}

bool RenderHeader(char* out, int head_len, long long body_len) {
  char text[64];
  const int n = snprintf(text, sizeof(text), "%s%d %lld", kTag, head_len, body_len);
  if (n < 0 || n > kHeaderSize - 1) return false;
  memcpy(out, text, static_cast<size_t>(n));
  if (n < kHeaderSize - 1) {
    out[n] = ' ';
    memset(out + n + 1, '@', static_cast<size_t>(kHeaderSize - 2 - n));
  }
  out[kHeaderSize - 1] = '\0';
  return true;
}

bool ParseLengths(const char* header, long long* head_len, long long* body_len) {
  const char* p = header + kTagSize;
  return ParseNumber(p, head_len) && ParseNumber(p, body_len);
}

int ParseHead(const char* text, size_t len, ul_package* ppack, const char** bad, bool* left) {
  *left = false;
  const char* p = text;
  const char* nul = static_cast<const char*>(memchr(text, '\0', len));
  const char* const end = nul != nullptr ? nul : text + len;
  int kept = 0;
  while (p < end && kept < UL_PACK_MAXPAIRS) {
    const char* eol = FindLineEnd(p, end);
    if (eol == nullptr || eol == p) break;
    const char* sep = FindSeparator(p, eol);
    if (sep == nullptr || sep - p > UL_PACK_ITEMSIZE - 1 || eol - (sep + 3) > UL_PACK_ITEMSIZE - 1) {
      *bad = p;
      return -1;
    }
    // The name is the line's first word, and the pair counts only when the
    // second word starts with ':' (a name with blanks in it is skipped).
    const char* name = SkipBlanks(p, eol);
    const char* name_end = SkipWord(name, eol);
    const char* second = SkipBlanks(name_end, eol);
    if (second < eol && *second == ':') {
      memcpy(ppack->name[kept], name, static_cast<size_t>(name_end - name));
      ppack->name[kept][name_end - name] = '\0';
      memcpy(ppack->value[kept], sep + 3, static_cast<size_t>(eol - (sep + 3)));
      ppack->value[kept][eol - (sep + 3)] = '\0';
      ++kept;
    }
    p = eol + 2;
  }
  if (kept == UL_PACK_MAXPAIRS && p < end) {
    const char* eol = FindLineEnd(p, end);
    *left = FindSeparator(p, eol != nullptr ? eol : end) != nullptr;
  }
  return kept;
}

bool BodyOk(const ul_package* ppack) {
  return ppack->bufsize >= 0 && (ppack->bufsize == 0 || ppack->buf != nullptr);
}

// ---------------------------------------------------------------------------
// Reading a frame from a socket

namespace {

// The reads of one flavour: exact-length reads and the skip to the trailer.
struct FrameInput {
  int fd;
  bool timed;
  int msec;
  ssize_t ReadAll(void* buf, size_t n) const {
    return timed ? ul_pack_readallo_ms(fd, buf, n, msec) : ul_pack_readall(fd, buf, n);
  }
  // After a format error: -1 when the stream is back in step, else -2.
  int Resync() const {
    return (timed ? ul_pack_readendo_ms(fd, msec) : ul_pack_readend(fd)) == 0 ? -1 : -2;
  }
};

}  // namespace

int ReadFrame(int sockfd, ul_package* ppack, bool timed, int msec) {
  if (ppack == nullptr) return -2;
  const FrameInput in = {sockfd, timed, msec};

  char header[kHeaderSize + 1] = {0};
  ssize_t r = in.ReadAll(header, kHeaderSize);
  if (r < 0) {
    ul_writelog(UL_LOG_WARNING, "%s",
                timed ? "ul_pack_reado: overtime or socket error" : "ul_pack_read: socket error\n");
    return -2;
  }
  long long head_len = 0, body_len = 0;
  if (r < kHeaderSize || memcmp(header, kTag, kTagSize) != 0 ||
      !ParseLengths(header, &head_len, &body_len)) {
    if (timed) {
      ul_writelog(UL_LOG_WARNING, "ul_pack_read: size number error.[%d:%d || %s].",
                  static_cast<int>(r), kHeaderSize, header);
    } else {
      ul_writelog(UL_LOG_WARNING, "ul_pack_read: size number error.[%d:%d || %20s].",
                  static_cast<int>(r), kHeaderSize, header);
    }
    return in.Resync();
  }
  if (head_len < 0 || body_len < 0) {
    ul_writelog(UL_LOG_WARNING, "ul_pack_read: size are negative [%d : %d]", ClampInt(head_len),
                ClampInt(body_len));
    return in.Resync();
  }
  if (body_len > ppack->bufsize || head_len >= UL_PACK_MAXHEAD ||
      (body_len > 0 && ppack->buf == nullptr)) {
    ul_writelog(UL_LOG_WARNING, "ul_pack_read: buffer size not enough [%d : %d]", ppack->bufsize,
                ClampInt(body_len));
    return in.Resync();
  }

  char head[UL_PACK_MAXHEAD];
  r = in.ReadAll(head, static_cast<size_t>(head_len));
  if (r < 0) {
    ul_writelog(UL_LOG_WARNING, "%s", timed ? "ul_pack_read: socket error" : "ul_pack_read: socket error\n");
    return -2;
  }
  if (r < head_len) {
    ul_writelog(UL_LOG_WARNING, "ul_pack_read: read head error.size[%d] not equal bodysize[%d]",
                static_cast<int>(r), static_cast<int>(head_len));
    return in.Resync();
  }
  head[head_len] = '\0';

  r = in.ReadAll(ppack->buf, static_cast<size_t>(body_len));
  if (r < 0) {
    ul_writelog(UL_LOG_WARNING, "%s", timed ? "ul_pack_read: socket error" : "ul_pack_read: socket error\n");
    return -2;
  }
  if (r < body_len) {
    ul_writelog(UL_LOG_WARNING, "%s",
                timed ? "ul_pack_read: read body error" : "ul_pack_read: read body error\n");
    return in.Resync();
  }

  char trailer[kTrailerSize + 1] = {0};
  r = in.ReadAll(trailer, kTrailerSize);
  if (r < 0) {
    ul_writelog(UL_LOG_WARNING, "%s", timed ? "ul_pack_read: socket error" : "ul_pack_read: socket error\n");
    return -2;
  }
  if (r < kTrailerSize || memcmp(trailer, kTrailer, kTrailerSize) != 0) {
    if (timed) {
      ul_writelog(UL_LOG_WARNING, "ul_pack_read: read EOF error,%d,%s", static_cast<int>(r), trailer);
    } else {
      ul_writelog(UL_LOG_WARNING, "ul_pack_read: read EOF error,%d,%5s\n", static_cast<int>(r),
                  trailer);
    }
    return in.Resync();
  }

  const char* bad = nullptr;
  bool left = false;
  const int kept = ParseHead(head, static_cast<size_t>(head_len), ppack, &bad, &left);
  if (kept < 0) {
    // The trailer was read: the stream is in step, and skipping to the next
    // "~EOF!" would throw the next frame away.
    ppack->pairnum = 0;
    ul_writelog(UL_LOG_WARNING, "ul_pack_read: head data error error [%s]", bad);
    return -1;
  }
  if (left && timed) {
    ul_writelog(UL_LOG_WARNING, "ul_pack_read: left key-value pairs in head, curr recv[%d]", kept);
  }
  ppack->pairnum = kept;
  return static_cast<int>(body_len);
}

// ---------------------------------------------------------------------------
// Writing a frame to a socket

namespace {

// Writes all n bytes in the flavour's way: n, or -1.
ssize_t WriteAll(int fd, const char* buf, size_t n, bool timed, int msec) {
  if (timed) {
    if (n == 0) return 0;
    return ul_swriteo_ms_ex(fd, buf, n, msec) == static_cast<ssize_t>(n) ? static_cast<ssize_t>(n) : -1;
  }
  for (size_t done = 0; done < n;) {
    const size_t piece = n - done < (1u << 30) ? n - done : (1u << 30);
    if (ul_pack_writeall(fd, buf + done, static_cast<int>(piece)) != static_cast<int>(piece)) {
      return -1;
    }
    done += piece;
  }
  return static_cast<ssize_t>(n);
}

// Checks the body and renders header and head. Returns the head length, or
// the writer's failure code (logged under fname).
int Prepare(const ul_package* ppack, const char* fname, char* header, char* head, int head_over_code) {
  size_t reached = 0;
  const int head_len = RenderHead(ppack, head, &reached);
  if (head_len == kHeadLinesOver) {
    ul_writelog(UL_LOG_WARNING, "%s: head size over default max head .%d.", fname,
                static_cast<int>(reached));
    return head_over_code;
  }
  if (head_len == kHeadTooLong) {
    ul_writelog(UL_LOG_WARNING, "%s: head size over default max head size.%d.", fname,
                static_cast<int>(reached));
    return head_over_code;
  }
  if (!BodyOk(ppack) || !RenderHeader(header, head_len, ppack->bufsize)) {
    ul_writelog(UL_LOG_WARNING, "%s: body size %d cannot be framed.", fname, ppack->bufsize);
    return -1;
  }
  return head_len;
}

}  // namespace

int WriteFrame(int sockfd, const ul_package* ppack, bool timed, int msec) {
  if (ppack == nullptr) return -1;
  const char* fname = timed ? "ul_pack_writeo_ms" : "ul_pack_write";
  char header[kHeaderSize];
  char head[kHeadRoom];
  const int head_len = Prepare(ppack, fname, header, head, -2);
  if (head_len < 0) return head_len;

  ssize_t r = WriteAll(sockfd, header, kHeaderSize, timed, msec);
  if (r != kHeaderSize) {
    ul_writelog(UL_LOG_WARNING, "%s: write size error %d:%d.", fname, static_cast<int>(r), kHeaderSize);
    return -1;
  }
  r = WriteAll(sockfd, head, static_cast<size_t>(head_len), timed, msec);
  if (r != head_len) {
    ul_writelog(UL_LOG_WARNING, "%s: write head error.size is %d:%d.", fname, static_cast<int>(r),
                head_len);
    return -1;
  }
  r = WriteAll(sockfd, ppack->buf, static_cast<size_t>(ppack->bufsize), timed, msec);
  if (r != ppack->bufsize) {
    ul_writelog(UL_LOG_WARNING, "%s: write body error.size is %d:%d.", fname, static_cast<int>(r),
                ppack->bufsize);
    return -1;
  }
  r = WriteAll(sockfd, kTrailer, kTrailerSize, timed, msec);
  if (r != kTrailerSize) {
    ul_writelog(UL_LOG_WARNING, "%s: write eof error.%d.", fname, static_cast<int>(r));
    return -1;
  }
  return 0;
}

int WriteOneBuffer(int sockfd, const ul_package* ppack, bool timed, int msec) {
  if (ppack == nullptr) return -1;
  const char* fname = timed ? "ul_pack_write_mo_ms" : "ul_pack_write_m";
  char header[kHeaderSize];
  char head[kHeadRoom];
  const int head_len = Prepare(ppack, fname, header, head, -1);
  if (head_len < 0) return -1;

  const size_t frame = kHeaderSize + static_cast<size_t>(head_len) +
                       static_cast<size_t>(ppack->bufsize) + kTrailerSize;
  std::unique_ptr<char, decltype(&free)> sendbuf(static_cast<char*>(malloc(frame)), &free);
  if (sendbuf == nullptr) {
    if (timed) {
      ul_writelog(UL_LOG_WARNING,
                  "[%s] malloc sendbuf(size=%d) for write ul_package_t failed.using ul_pack_writeo_ms",
                  fname, ClampInt(static_cast<long long>(frame)));
    } else {
      ul_writelog(UL_LOG_WARNING,
                  "[%s] malloc sendbuf(size=%d) for write ul_package_t failed.using ul_pack_write",
                  fname, ClampInt(static_cast<long long>(frame)));
    }
    return WriteFrame(sockfd, ppack, timed, msec);
  }
  char* p = sendbuf.get();
  memcpy(p, header, kHeaderSize);
  memcpy(p + kHeaderSize, head, static_cast<size_t>(head_len));
  if (ppack->bufsize > 0) memcpy(p + kHeaderSize + head_len, ppack->buf, static_cast<size_t>(ppack->bufsize));
  memcpy(p + frame - kTrailerSize, kTrailer, kTrailerSize);
  const ssize_t r = WriteAll(sockfd, p, frame, timed, msec);
  if (r != static_cast<ssize_t>(frame)) {
    if (timed) {
      ul_writelog(UL_LOG_WARNING, "%s: write size error %d:%zu.", fname, static_cast<int>(r), frame);
    } else {
      ul_writelog(UL_LOG_WARNING, "%s: write size error %d:%d.", fname, static_cast<int>(r),
                  ClampInt(static_cast<long long>(frame)));
    }
    return -1;
  }
  return 0;
}

}  // namespace ulpack
