// The log-server protocol (frame header, open request and answer) and the
// server list of the network appender.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "comlog/appender/netappender.h"
#include "comlog/sendsvr/loghead.h"
#include "comlog/sendsvr/sendsvr.h"
#include "support/support.h"

namespace {

using namespace comspace;

// A connected pair of stream sockets, closed at scope end.
struct Pair {
  Pair() {
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fd) != 0) fd[0] = fd[1] = -1;
  }
  ~Pair() {
    for (int f : fd) {
      if (f >= 0) close(f);
    }
  }
  void CloseWriter() {
    close(fd[0]);
    fd[0] = -1;
  }
  std::string Drain() {
    std::string out;
    char buf[4096];
    for (ssize_t r; (r = recv(fd[1], buf, sizeof(buf), MSG_DONTWAIT)) > 0;) out.append(buf, static_cast<size_t>(r));
    return out;
  }
  int fd[2];
};

loghead_t Head(uint32_t body_len, uint32_t magic = LOGHEAD_MAGICNUM) {
  loghead_t h;
  memset(&h, 0, sizeof(h));
  h.log_id = 5;
  h.magic_num = magic;
  h.body_len = body_len;
  return h;
}

void Send(int fd, const void* p, size_t n) { ASSERT_EQ(write(fd, p, n), static_cast<ssize_t>(n)); }

TEST(LogHead, RecordLayoutOnTheWire) {
  loghead_t h = Head(0);
  h.id = 0x0102;
  h.version = 0x0304;
  h.log_id = 0x05060708;
  h.reserved = 6;
  const auto* b = reinterpret_cast<const unsigned char*>(&h);
  // Host byte order (little-endian), no padding.
  EXPECT_EQ(b[0], 0x02);
  EXPECT_EQ(b[2], 0x04);
  EXPECT_EQ(b[4], 0x08);
  EXPECT_EQ(b[24], 0x94);
  EXPECT_EQ(b[27], 0xfb);
  EXPECT_EQ(b[28], 6);
}

TEST(LogHead, EmptyBodyIsExactlyTheHeader) {
  Pair p;
  loghead_t h = Head(0, 0);
  ASSERT_EQ(loghead_write(p.fd[0], &h, 1000, LOGHEAD_CHECK_MAGICNUM), LOGHEAD_RET_SUCCESS);
  const std::string wire = p.Drain();
  ASSERT_EQ(wire.size(), 36u);
  EXPECT_EQ(memcmp(wire.data() + 24, "\x94\x93\x70\xfb", 4), 0);  // the flag sets the magic

  Send(p.fd[0], wire.data(), wire.size());
  loghead_t got;
  EXPECT_EQ(loghead_read(p.fd[1], &got, sizeof(got), 1000, LOGHEAD_CHECK_MAGICNUM), LOGHEAD_RET_SUCCESS);
  EXPECT_EQ(got.body_len, 0u);
  EXPECT_EQ(got.log_id, 5u);
}

TEST(LogHead, RequestAndRestArriveInOrder) {
  Pair p;
  loghead_t h = Head(10);
  char req[4] = {'a', 'b', 'c', 'd'};
  char rest[6] = {'1', '2', '3', '4', '5', '6'};
  ASSERT_EQ(loghead_write(p.fd[0], &h, req, sizeof(req), rest, 1000, LOGHEAD_CHECK_NONE), 0);
  std::string wire = p.Drain();
  ASSERT_EQ(wire.size(), 46u);
  EXPECT_EQ(wire.substr(36), "abcd123456");

  Send(p.fd[0], wire.data(), wire.size());
  loghead_t got;
  char rreq[4];
  char rbuf[6];
  ASSERT_EQ(loghead_read(p.fd[1], &got, rreq, sizeof(rreq), rbuf, sizeof(rbuf), 1000, LOGHEAD_CHECK_MAGICNUM), 0);
  EXPECT_EQ(std::string(rreq, 4), "abcd");
  EXPECT_EQ(std::string(rbuf, 6), "123456");

  // A body shorter than the request is refused before anything is sent.
  loghead_t bad = Head(3);
  EXPECT_EQ(loghead_write(p.fd[0], &bad, req, sizeof(req), nullptr, 1000, LOGHEAD_CHECK_NONE), LOGHEAD_RET_EBODYLEN);
  EXPECT_EQ(p.Drain(), "");
  // Parameters: a negative descriptor with the check, a missing header always.
  EXPECT_EQ(loghead_write(-1, &h, 1000, LOGHEAD_CHECK_PARAM), LOGHEAD_RET_EPARAM);
  EXPECT_EQ(loghead_read(-1, &got, sizeof(got), 1000, LOGHEAD_CHECK_PARAM), LOGHEAD_RET_EPARAM);
  EXPECT_EQ(loghead_write(p.fd[0], nullptr, 1000, LOGHEAD_CHECK_NONE), LOGHEAD_RET_EPARAM);
  EXPECT_EQ(loghead_read(p.fd[1], nullptr, 64, 1000, LOGHEAD_CHECK_NONE), LOGHEAD_RET_EPARAM);
  EXPECT_EQ(loghead_read(p.fd[1], &got, nullptr, 4, rbuf, sizeof(rbuf), 1000, LOGHEAD_CHECK_NONE),
            LOGHEAD_RET_EPARAM);
  EXPECT_EQ(loghead_read(p.fd[1], &got, 35, 1000, LOGHEAD_CHECK_NONE), LOGHEAD_RET_EPARAM);
}

// The one-buffer forms: the body lies right after the header; a valid
// descriptor passes the parameter check.
TEST(LogHead, OneBufferFormsWithTheParameterCheck) {
  Pair p;
  struct {
    loghead_t head;
    char body[3];
  } out, in;
  out.head = Head(3);
  memcpy(out.body, "xyz", 3);
  const unsigned flags = LOGHEAD_CHECK_PARAM | LOGHEAD_CHECK_MAGICNUM;
  ASSERT_EQ(loghead_write(p.fd[0], &out.head, 1000, flags), LOGHEAD_RET_SUCCESS);
  ASSERT_EQ(loghead_read(p.fd[1], &in.head, sizeof(in.head) + 3, 1000, flags), LOGHEAD_RET_SUCCESS);
  EXPECT_EQ(std::string(in.body, 3), "xyz");
  EXPECT_EQ(in.head.body_len, 3u);
}

TEST(LogHead, MagicIsRequiredOnlyWithTheFlag) {
  Pair p;
  loghead_t h = Head(0, 0);
  testsupport::CaptureFd err(2);
  Send(p.fd[0], &h, sizeof(h));
  loghead_t got;
  EXPECT_EQ(loghead_read(p.fd[1], &got, sizeof(got), 1000, LOGHEAD_CHECK_MAGICNUM), LOGHEAD_RET_EMAGICNUM);
  Send(p.fd[0], &h, sizeof(h));
  EXPECT_EQ(loghead_read(p.fd[1], &got, sizeof(got), 1000, LOGHEAD_CHECK_NONE), LOGHEAD_RET_SUCCESS);
  EXPECT_NE(err.Stop().find("<5> loghead_read magic num mismatch: ret 0 want fb709394"), std::string::npos);
}

// An open answer has room for 12 body bytes: 12 is read, 13 is refused
// before any of it is read (the next frame stays intact).
TEST(LogHead, BodyLengthLimitOfTheBuffer) {
  Pair p;
  struct {
    loghead_t head;
    char body[12];
  } frame;
  testsupport::CaptureFd err(2);
  loghead_t h = Head(12);
  Send(p.fd[0], &h, sizeof(h));
  Send(p.fd[0], "0123456789AB", 12);
  EXPECT_EQ(loghead_read(p.fd[1], &frame.head, sizeof(frame), 1000, LOGHEAD_CHECK_MAGICNUM), 0);
  EXPECT_EQ(std::string(frame.body, 12), "0123456789AB");

  h = Head(13);
  Send(p.fd[0], &h, sizeof(h));
  EXPECT_EQ(loghead_read(p.fd[1], &frame.head, sizeof(frame), 1000, LOGHEAD_CHECK_MAGICNUM), LOGHEAD_RET_EBODYLEN);
  // A length near 2^32 does not wrap the check.
  h = Head(0xffffffffu);
  Send(p.fd[0], &h, sizeof(h));
  char req[4];
  EXPECT_EQ(loghead_read(p.fd[1], &frame.head, req, sizeof(req), frame.body, sizeof(frame.body), 1000,
                         LOGHEAD_CHECK_NONE),
            LOGHEAD_RET_EBODYLEN);
  h = Head(3);
  Send(p.fd[0], &h, sizeof(h));
  EXPECT_EQ(loghead_read(p.fd[1], &frame.head, req, sizeof(req), frame.body, sizeof(frame.body), 1000,
                         LOGHEAD_CHECK_NONE),
            LOGHEAD_RET_EBODYLEN);
  const std::string text = err.Stop();
  EXPECT_NE(text.find("<5> loghead_read body_len error: req_size=0 buf_size=12 body_len=13"), std::string::npos);
}

TEST(LogHead, PeerClosingOrSilent) {
  loghead_t got;
  {
    Pair p;
    p.CloseWriter();
    EXPECT_EQ(loghead_read(p.fd[1], &got, sizeof(got), 1000, LOGHEAD_CHECK_NONE), LOGHEAD_RET_PEARCLOSE);
  }
  testsupport::CaptureFd err(2);
  {
    Pair p;
    Send(p.fd[0], "0123456789", 10);
    p.CloseWriter();
    EXPECT_EQ(loghead_read(p.fd[1], &got, sizeof(got), 1000, LOGHEAD_CHECK_NONE), LOGHEAD_RET_READHEAD);
  }
  {
    // A whole header and half its body.
    Pair p;
    loghead_t h = Head(8);
    Send(p.fd[0], &h, sizeof(h));
    Send(p.fd[0], "abcd", 4);
    p.CloseWriter();
    char body[8];
    EXPECT_EQ(loghead_read(p.fd[1], &got, nullptr, 0, body, sizeof(body), 1000, LOGHEAD_CHECK_NONE),
              LOGHEAD_RET_READ);
  }
  {
    Pair p;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(loghead_read(p.fd[1], &got, sizeof(got), 200, LOGHEAD_CHECK_NONE), LOGHEAD_RET_ETIMEDOUT);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(ms, 150);
    EXPECT_LT(ms, 2000);
  }
  {
    // Writing to a peer that is gone fails instead of ending the process.
    Pair p;
    close(p.fd[1]);
    p.fd[1] = -1;
    signal(SIGPIPE, SIG_IGN);
    loghead_t h = Head(0);
    EXPECT_EQ(loghead_write(p.fd[0], &h, 1000, LOGHEAD_CHECK_NONE), LOGHEAD_RET_WRITE);
    signal(SIGPIPE, SIG_DFL);
  }
  err.Stop();
}

// ---------------------------------------------------------------------------
// Server lists

TEST(ServerList, Entries) {
  server_t s[3];
  EXPECT_EQ(xparserSvrConf("a:1 b:2/logs", s, 3), 2);
  EXPECT_STREQ(s[0].host, "a");
  EXPECT_EQ(s[0].port, 1);
  EXPECT_STREQ(s[0].path, "");
  EXPECT_STREQ(s[1].host, "b");
  EXPECT_EQ(s[1].port, 2);
  EXPECT_STREQ(s[1].path, "logs");
  EXPECT_EQ(s[1].sock, -1);
  EXPECT_FALSE(s[1].isvalid);
  EXPECT_EQ(xparserSvrConf("  h:9//abs/dir  ", s, 3), 1);
  EXPECT_STREQ(s[0].path, "/abs/dir");
  // At most max entries.
  EXPECT_EQ(xparserSvrConf("a:1 b:2 c:3 d:4", s, 3), 3);
  EXPECT_EQ(xparserSvrConf(nullptr, s, 3), 0);
  EXPECT_EQ(xparserSvrConf("a:1", nullptr, 3), 0);
}

TEST(ServerList, Limits) {
  struct Case {
    std::string list;
    int want;
    const char* message;
  };
  const std::string h1023(1023, 'h');
  const std::string p255(255, 'p');
  const Case cases[] = {
      {"a:0", 0, "invalid port[0]"},
      {"a:", 0, "invalid port[0]"},
      {"a:65535", 1, nullptr},
      {"a:65536", 0, "invalid port[65536]"},
      {"a:99999999999999999999", 0, "invalid port["},
      {"a", 0, "parser port err"},
      {h1023 + ":1", 1, nullptr},
      {h1023 + "h:1", 0, "host len is too long[1024]"},
      {"a:1/" + p255, 1, nullptr},
      {"a:1/" + p255 + "p", 0, "path lenth is too long[256]"},
      {"a:1 b", 0, "parser port err"},  // one bad entry spoils the list
  };
  static server_t s[2];
  for (const Case& c : cases) {
    testsupport::CaptureFd err(2);
    const int n = xparserSvrConf(c.list.c_str(), s, 2);
    const std::string text = err.Stop();
    EXPECT_EQ(n, c.want) << c.list.substr(0, 40);
    if (c.message != nullptr) {
      EXPECT_NE(text.find(c.message), std::string::npos) << c.list.substr(0, 40);
    }
  }
  EXPECT_EQ(strlen(s[0].path), 0u);
}

TEST(ServerList, BackUpDevice) {
  com_device_t net;
  snprintf(net.host, sizeof(net.host), "%s", "h:1/logs/x h2:2/other");
  snprintf(net.file, sizeof(net.file), "%s", "app.log");
  snprintf(net.type, sizeof(net.type), "%s", "NET");
  net.log_mask = 0x6;
  com_device_t file;
  ASSERT_EQ(deviceNetToFile(net, file), 0);
  EXPECT_STREQ(file.type, "FILE");
  EXPECT_STREQ(file.host, "logs/x");
  EXPECT_STREQ(file.file, "app.log");
  EXPECT_EQ(file.log_mask, 0x6u);
  snprintf(net.host, sizeof(net.host), "%s", "h:1");
  ASSERT_EQ(deviceNetToFile(net, file), 0);
  EXPECT_STREQ(file.host, "./");
  snprintf(net.host, sizeof(net.host), "%s", "h");
  testsupport::CaptureFd err(2);
  EXPECT_EQ(deviceNetToFile(net, file), -1);
  EXPECT_NE(err.Stop().find("can't parser host[h]"), std::string::npos);
}

}  // namespace
