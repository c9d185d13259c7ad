#include "ul_pack.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dep_pack.h"
#include "net_fixtures.h"
#include "support/support.h"

namespace {

using nettest::Stopwatch;
using testsupport::CaptureFd;

struct PackFree {
  void operator()(ul_package* p) const { ul_pack_free(p); }
};
using Pack = std::unique_ptr<ul_package, PackFree>;

Pack NewPack(char* body = nullptr, int size = 0) {
  Pack p(ul_pack_init());
  ul_pack_putbuf(p.get(), body, size);
  return p;
}

bool Has(const std::string& text, const std::string& piece) {
  return text.find(piece) != std::string::npos;
}

// A frame made by hand: the header of the two lengths, padded as the format
// says, then the parts as given.
std::string Frame(const std::string& head, const std::string& body,
                  const std::string& trailer = "~EOF!") {
  std::string header = "~BUF! " + std::to_string(head.size()) + " " + std::to_string(body.size());
  if (header.size() < 19) header += " " + std::string(18 - header.size(), '@');
  header.push_back('\0');
  return header + head + body + trailer;
}

std::string Serialize(const ul_package* p) {
  std::vector<char> buf(p->bufsize + 30000);
  const int n = ul_pack_serialization(buf.data(), static_cast<int>(buf.size()), p);
  return n < 0 ? "<refused>" : std::string(buf.data(), static_cast<size_t>(n));
}

std::string ReadToEnd(int fd) {
  std::string out;
  char buf[4096];
  ssize_t n;
  while ((n = read(fd, buf, sizeof(buf))) > 0) out.append(buf, static_cast<size_t>(n));
  return out;
}

void Send(int fd, const std::string& bytes) {
  ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

// ---------------------------------------------------------------------------
// The frame, byte for byte

TEST(UlPack, FrameBytes) {
  char body[] = "xyz";
  Pack p = NewPack(body, 3);
  EXPECT_EQ(ul_pack_putvalue(p.get(), "a", "1"), 0);
  const std::string want("~BUF! 9 3 @@@@@@@@@\0a : 1\r\n\r\nxyz~EOF!", 37);
  EXPECT_EQ(Serialize(p.get()), want);
  std::vector<char> buf(38);
  EXPECT_EQ(ul_pack_serialization(buf.data(), 37, p.get()), -1);  // one spare byte needed
  EXPECT_EQ(ul_pack_serialization(buf.data(), 38, p.get()), 37);

  Pack empty = NewPack();
  EXPECT_EQ(Serialize(empty.get()), std::string("~BUF! 2 0 @@@@@@@@@\0\r\n~EOF!", 27));
  strcpy(empty->name[0], "");  // a pair without a name is not sent
  empty->pairnum = 1;
  EXPECT_EQ(Serialize(empty.get()), std::string("~BUF! 2 0 @@@@@@@@@\0\r\n~EOF!", 27));
}

// Fills p with pairs whose head is exactly head_len bytes (>= 2 + 2060).
void HeadOf(ul_package* p, size_t head_len) {
  ul_pack_cleanhead(p);
  size_t left = head_len - 2;
  for (int i = 0; left > 0; ++i) {
    const std::string name = "k" + std::to_string(100 + i);  // 4 bytes
    const size_t value = std::min<size_t>(2047, left - 9);
    ASSERT_EQ(ul_pack_putvalue(p, name.c_str(), std::string(value, 'v').c_str()), 0);
    left -= 9 + value;
    ASSERT_TRUE(left == 0 || left >= 10);
  }
}

TEST(UlPack, HeaderAndHeadLimits) {
  std::vector<char> body(10000000, 'b');
  Pack p = NewPack(body.data(), 9999999);
  HeadOf(p.get(), 25999);
  const std::string frame = Serialize(p.get());
  EXPECT_EQ(frame.substr(0, 20), std::string("~BUF! 25999 9999999\0", 20));  // no room for '@'
  ul_pack_putbuf(p.get(), body.data(), 10000000);  // "~BUF! 25999 10000000" has 20 bytes
  EXPECT_EQ(Serialize(p.get()), "<refused>");
  ul_pack_putbuf(p.get(), nullptr, 0);
  HeadOf(p.get(), 26000);  // a reader could not keep it
  EXPECT_EQ(Serialize(p.get()), "<refused>");
  nettest::Pair s = nettest::UnixPair();
  CaptureFd err(2);
  EXPECT_EQ(ul_pack_writeo_ms(s.a.get(), p.get(), 100), -2);
  EXPECT_EQ(ul_pack_write_mo_ms(s.a.get(), p.get(), 100), -1);
  EXPECT_EQ(ul_pack_write(s.a.get(), p.get()), -2);
  EXPECT_EQ(ul_pack_write_m(s.a.get(), p.get()), -1);
  EXPECT_EQ(ul_pack_putvalue(p.get(), "more", std::string(2047, 'm').c_str()), 0);
  EXPECT_EQ(ul_pack_writeo_ms(s.a.get(), p.get(), 100), -2);
  const std::string log = err.Stop();
  EXPECT_TRUE(Has(log, "ul_pack_writeo_ms: head size over default max head size.26000.")) << log;
  EXPECT_TRUE(Has(log, "ul_pack_write: head size over default max head size.26000."));
  EXPECT_TRUE(Has(log, "ul_pack_writeo_ms: head size over default max head .28054."));
  EXPECT_EQ(ul_getrecvqueuesize(s.b.get()), 0);  // nothing went out
  ul_pack_cleanhead(p.get());
  for (int size : {3, -1}) {  // a body size without a body; a negative size
    ul_pack_putbuf(p.get(), size > 0 ? nullptr : body.data(), size);
    EXPECT_EQ(Serialize(p.get()), "<refused>");
    CaptureFd quiet(2);
    EXPECT_EQ(ul_pack_writeo_ms(s.a.get(), p.get(), 100), -1);
    EXPECT_EQ(ul_pack_write_mo_ms(s.a.get(), p.get(), 100), -1);
    EXPECT_TRUE(Has(quiet.Stop(), "ul_pack_writeo_ms: body size " + std::to_string(size) +
                                      " cannot be framed."));
  }
  EXPECT_EQ(ul_pack_writeo_ms(s.a.get(), static_cast<const ul_package*>(nullptr), 100), -1);
  EXPECT_EQ(ul_pack_write_mo_ms(s.a.get(), nullptr, 100), -1);
  EXPECT_EQ(ul_getrecvqueuesize(s.b.get()), 0);

  // A body the peer does not take in time.
  nettest::SmallBuffers(s.a.get(), s.b.get());
  ul_pack_putbuf(p.get(), body.data(), 4 << 20);
  CaptureFd late(2);
  EXPECT_EQ(ul_pack_writeo_ms(s.a.get(), p.get(), 100), -1);
  EXPECT_TRUE(Has(late.Stop(), "ul_pack_writeo_ms: write body error.size is -1:4194304."));
}


// Every writer puts the same bytes on the socket as the memory form makes.
TEST(UlPack, WritersAgreeAndReadersReadBack) {
  char body[] = "0123456789";
  Pack p = NewPack(body, 10);
  ul_pack_putvalue(p.get(), "name", "value:with colon");
  ul_pack_putvalue(p.get(), "empty", "");
  const std::string want = Serialize(p.get());
  const std::function<int(int)> writers[] = {
      [&](int fd) { return ul_pack_writeo_ms(fd, p.get(), 500); },
      [&](int fd) { return ul_pack_write_mo_ms(fd, p.get(), 500); },
      [&](int fd) { return ul_pack_write(fd, p.get()); },
      [&](int fd) { return ul_pack_write_m(fd, p.get()); },
      [&](int fd) { return ul_pack_writeo(fd, p.get(), 1); },
      [&](int fd) { return ul_pack_write_mo(fd, p.get(), 1); },
  };
  CaptureFd quiet(2);
  for (const auto& write_frame : writers) {
    nettest::Pair s = nettest::UnixPair();
    EXPECT_EQ(write_frame(s.a.get()), 0);
    s.a.Close();
    EXPECT_EQ(ReadToEnd(s.b.get()), want);
  }
  EXPECT_EQ(quiet.Stop(), "");  // one buffer each, no fallback
  {
    // No package: every writer refuses and sends nothing.
    nettest::Pair s = nettest::UnixPair();
    const ul_package* none = nullptr;
    EXPECT_EQ(ul_pack_writeo_ms(s.a.get(), none, 100), -1);
    EXPECT_EQ(ul_pack_write_mo_ms(s.a.get(), none, 100), -1);
    EXPECT_EQ(ul_pack_write(s.a.get(), nullptr), -1);
    EXPECT_EQ(ul_pack_write_m(s.a.get(), nullptr), -1);
    EXPECT_EQ(ul_getrecvqueuesize(s.b.get()), 0);
  }
  const std::function<int(int, ul_package*)> readers[] = {
      [](int fd, ul_package* q) { return ul_pack_reado_ms(fd, q, 500); },
      [](int fd, ul_package* q) { return ul_pack_read(fd, q); },
      [](int fd, ul_package* q) { return ul_pack_reado(fd, q, 1); },
  };
  for (const auto& read_frame : readers) {
    nettest::Pair s = nettest::UnixPair();
    Send(s.a.get(), want + want);
    char got[10];
    Pack q = NewPack(got, 10);  // the body fits exactly
    EXPECT_EQ(read_frame(s.b.get(), q.get()), 10);
    EXPECT_EQ(std::string(got, 10), "0123456789");
    ASSERT_EQ(q->pairnum, 2);
    EXPECT_STREQ(q->name[0], "name");
    EXPECT_STREQ(q->value[0], "value:with colon");
    EXPECT_STREQ(q->value[1], "");
    EXPECT_EQ(q->bufsize, 10);  // unchanged by a socket read
    q->bufsize = 9;             // one byte short: skipped to its trailer
    CaptureFd err(2);
    EXPECT_EQ(read_frame(s.b.get(), q.get()), -1);
    EXPECT_TRUE(Has(err.Stop(), "ul_pack_read: buffer size not enough [9 : 10]"));
  }
}

TEST(UlPack, ReaderSkipsABrokenFrameAndReadsTheNext) {
  char buf[16];
  Pack q = NewPack(buf, sizeof(buf));
  const std::string good = Frame("k : v\r\n\r\n", "abc");
  struct Row {
    std::string before;  // bytes before the good frame
    const char* log;
  } rows[] = {
      {Frame("\r\n", std::string(17, 'x')), "buffer size not enough [16 : 17]"},
      {Frame("\r\n", "ab", "~EOX!") + "x~E~EOF!", "read EOF error,5,~EOX!"},
      {Frame("\r\n", "ab", "~EOX!") + "~~EOF!", "read EOF error,5,~EOX!"},
      {Frame("no separator\r\n\r\n", ""), "head data error error [no separator"},
      {Frame("a b : c\r\nx\r\n\r\n", ""), "head data error error [x"},
      {Frame("k : " + std::string(2048, 'v') + "\r\n\r\n", ""), "head data error error"},
      {Frame(std::string(2048, 'k') + " : v\r\n\r\n", ""), "head data error error"},
      {std::string("~BUF! -5 3 @@@@@@@@\0", 20) + "~EOF!", "size are negative [-5 : 3]"},
      {std::string("~BUF! 9999999999 999", 20) + "~EOF!", "buffer size not enough [16 : 999]"},
      {std::string("~BUF! abc @@@@@@@@@@", 20) + "~EOF!", "size number error.[20:20 || ~BUF! abc"},
      {std::string("~BUX! 2 0 @@@@@@@@@\0", 20) + "~EOF!", "size number error"},
      {Frame(std::string(25998, 'h') + "\r\n", ""), "buffer size not enough [16 : 0]"},
  };
  for (const Row& r : rows) {
    nettest::Pair s = nettest::UnixPair();
    Send(s.a.get(), r.before + good);
    CaptureFd err(2);
    EXPECT_EQ(ul_pack_reado_ms(s.b.get(), q.get(), 200), -1) << r.log;
    EXPECT_TRUE(Has(err.Stop(), r.log)) << r.log;
    EXPECT_EQ(ul_pack_reado_ms(s.b.get(), q.get(), 200), 3) << r.log;
    EXPECT_STREQ(q->value[0], "v");
  }
  // A frame may carry no head at all, or one of the most a reader keeps.
  nettest::Pair s = nettest::UnixPair();
  Send(s.a.get(), Frame("", "ab") + Frame("\r\n" + std::string(25997, 'h'), "cd"));
  EXPECT_EQ(ul_pack_reado_ms(s.b.get(), q.get(), 200), 2);
  EXPECT_EQ(q->pairnum, 0);
  EXPECT_EQ(ul_pack_reado_ms(s.b.get(), q.get(), 200), 2);
}

TEST(UlPack, ReaderReportsBrokenConnectionsAndTimeOuts) {
  char buf[16];
  Pack q = NewPack(buf, sizeof(buf));
  const std::string good = Frame("k : v\r\n\r\n", "abcdef");
  for (size_t cut : {0u, 10u, 19u, 25u, 28u, 31u, 33u, 34u, 39u}) {  // header, head, body, trailer, each one byte short
    nettest::Pair s = nettest::UnixPair();
    Send(s.a.get(), good.substr(0, cut));
    s.a.Close();
    CaptureFd err(2);
    EXPECT_EQ(ul_pack_reado_ms(s.b.get(), q.get(), 200), -2) << cut;
    EXPECT_EQ(ul_pack_read(s.b.get(), q.get()), -2) << cut;
    err.Stop();
  }
  nettest::Pair s = nettest::UnixPair();
  Send(s.a.get(), good.substr(0, 25));
  CaptureFd err(2);
  Stopwatch w;
  EXPECT_EQ(ul_pack_reado_ms(s.b.get(), q.get(), 100), -2);
  EXPECT_GE(w.ms(), 90);
  EXPECT_LT(w.ms(), 1000);
  EXPECT_TRUE(Has(err.Stop(), "read from socket("));
  EXPECT_EQ(ul_pack_reado_ms(s.b.get(), nullptr, 100), -2);
}

TEST(UlPack, HeadParsing) {
  std::string head;
  for (int i = 0; i < 201; ++i) head += "n" + std::to_string(i) + " : v\r\n";
  struct Row {
    std::string head;
    int pairs;
    const char* first_name;
    const char* first_value;
    const char* log;
  } rows[] = {
      {"a b : c\r\nd : e\r\n\r\n", 1, "d", "e", nullptr},   // a name with a blank is skipped
      {"  a\t :  x : y\r\n\r\n", 1, "a", " x : y", nullptr},
      {"  : \r\n:x : y\r\n\r\n", 1, ":x", "y", nullptr},  // no second word: not kept
      {"a:b : c\r\n\r\n", 1, "a:b", "c", nullptr},
      {"k : x\ry\n\r\n\r\n", 1, "k", "x\ry\n", nullptr},
      {"a : 1\r\n\r\nb : 2\r\n", 1, "a", "1", nullptr},      // stops at the empty line
      {"a : 1\r\nb : 2", 1, "a", "1", nullptr},              // and at a line without "\r\n"
      {std::string("a : 1\r\n\0b : 2\r\n", 15), 1, "a", "1", nullptr},
      {std::string(2047, 'k') + " : " + std::string(2047, 'v') + "\r\n\r\n", 1, nullptr, nullptr, nullptr},
      {head + "\r\n", 200, "n0", "v", "left key-value pairs in head, curr recv[200]"},
      {"\r\n", 0, nullptr, nullptr, nullptr},
      {"\r\n" + std::string(25997, 'h'), 0, nullptr, nullptr, nullptr},  // the longest head read
  };
  for (const Row& r : rows) {
    std::string frame = Frame(r.head, "");
    Pack q = NewPack();
    CaptureFd err(2);
    EXPECT_EQ(ul_pack_deserialization(&frame[0], static_cast<int>(frame.size()), q.get()),
              static_cast<int>(frame.size()));
    const std::string log = err.Stop();
    EXPECT_EQ(q->pairnum, r.pairs);
    if (r.first_name != nullptr) {
      EXPECT_STREQ(q->name[0], r.first_name);
      EXPECT_STREQ(q->value[0], r.first_value);
    }
    if (r.log != nullptr) {
      EXPECT_TRUE(Has(log, r.log)) << log;
    }
  }
  // A lone CR at the end of the head ends it, even before a body of "\n".
  char nl[1];
  Pack q = NewPack(nl, 1);
  std::string frame = Frame("a : 1\r\nb : 2\r", "\n");
  EXPECT_EQ(ul_pack_deserialization(&frame[0], static_cast<int>(frame.size()), q.get()), 39);
  EXPECT_EQ(q->pairnum, 1);
}

TEST(UlPack, DeserializationChecksInOrder) {
  char body[4];
  const std::string good = Frame("k : v\r\n\r\n", "abc");
  struct Row {
    std::string bytes;
    int given;  // bufsize passed; -1: the bytes' size
    int room;   // the package's body room
    const char* log;
  } rows[] = {
      {good.substr(0, 19), -1, 4, "start buf error.[20 : ~BUF! 9 3 @@@@@@@@@]."},
      {"~BUX!" + good.substr(5), -1, 4, "start buf error"},
      {std::string("~BUF! 2 -1 @@@@@@@@\0", 20) + "\r\n~EOF!", -1, 4, "size are negative [2 : -1]"},
      {good, -1, 2, "body buffer size not enough [2 : 3]"},
      {good, 36, 4, "total buffer size not enough [36 : 37]"},
      {good.substr(0, 32) + "~EOX!", -1, 4, "read EOF error.[5 || ~EOX!]."},
      {Frame("bad\r\n\r\n", ""), -1, 4, "head data error error [bad"},
      {Frame(std::string(25998, 'h') + "\r\n", ""), -1, 4, "body buffer size not enough [4 : 0]"},
  };
  for (const Row& r : rows) {
    Pack q = NewPack(body, r.room);
    std::string bytes = r.bytes;
    CaptureFd err(2);
    EXPECT_EQ(ul_pack_deserialization(&bytes[0], r.given < 0 ? static_cast<int>(bytes.size()) : r.given,
                                      q.get()),
              -1)
        << r.log;
    EXPECT_TRUE(Has(err.Stop(), std::string("ul_pack_deserialization: ") + r.log)) << r.log;
  }
  Pack q = NewPack(body, 4);
  std::string bytes = good;
  EXPECT_EQ(ul_pack_deserialization(&bytes[0], 37, q.get()), 37);  // no spare byte needed
  EXPECT_EQ(q->bufsize, 3);
  EXPECT_EQ(std::string(body, 3), "abc");
  EXPECT_EQ(ul_pack_deserialization(nullptr, 37, q.get()), -1);
}

TEST(UlPack, Pairs) {
  Pack p = NewPack();
  const std::string n2047(2047, 'n');
  std::string n2048(2048, 'n');
  EXPECT_EQ(ul_pack_putvalue(p.get(), "a", "x : y"), -1);
  EXPECT_EQ(ul_pack_putvalue(p.get(), "a", "x\r\ny"), -1);
  EXPECT_EQ(ul_pack_putvalue(p.get(), "a : b", "x"), -1);
  EXPECT_EQ(ul_pack_putvalue(p.get(), n2048.c_str(), "x"), -1);
  EXPECT_EQ(ul_pack_putvalue(p.get(), "a", n2048.c_str()), -1);
  EXPECT_EQ(ul_pack_putvalue(p.get(), nullptr, "x"), -1);
  EXPECT_EQ(ul_pack_putvalue(p.get(), n2047.c_str(), n2047.c_str()), 0);
  for (int i = 1; i < 200; ++i) {
    const std::string n = std::to_string(i);
    ASSERT_EQ(ul_pack_putvalue(p.get(), n.c_str(), n.c_str()), 0);
  }
  EXPECT_EQ(ul_pack_putvalue(p.get(), "one more", "v"), -2);
  EXPECT_EQ(ul_pack_putvalue(p.get(), "7", "seven"), 1);  // replaced even when full
  EXPECT_EQ(ul_pack_putvalue(p.get(), n2047.c_str(), "first"), 1);  // the first pair too
  EXPECT_STREQ(p->value[0], "first");
  EXPECT_EQ(ul_pack_delvalue(p.get(), "7"), 0);
  EXPECT_EQ(p->pairnum, 199);
  EXPECT_STREQ(p->name[7], "8");  // later pairs moved down
  EXPECT_STREQ(p->value[7], "8");
  EXPECT_STREQ(p->value[198], "199");  // the last one too
  EXPECT_EQ(ul_pack_delvalue(p.get(), "7"), -1);
  EXPECT_EQ(ul_pack_delvalue(p.get(), nullptr), -1);
  EXPECT_EQ(ul_pack_delvalue(nullptr, "8"), -1);
  EXPECT_EQ(ul_pack_delvalue(p.get(), n2047.c_str()), 0);  // the first pair
  EXPECT_STREQ(p->name[0], "1");

  char v[4] = "old";
  EXPECT_EQ(ul_pack_getvalue_ex(p.get(), "absent", v, sizeof(v)), 0);
  EXPECT_STREQ(v, "");
  EXPECT_EQ(ul_pack_getvalue_ex(nullptr, "8", v, sizeof(v)), 0);
  EXPECT_EQ(ul_pack_putvalue(p.get(), "8", "eight"), 1);
  CaptureFd err(2);
  EXPECT_EQ(ul_pack_getvalue_ex(p.get(), "8", v, sizeof(v)), 1);  // cut to fit
  EXPECT_STREQ(v, "eig");
  v[0] = '#';
  EXPECT_EQ(ul_pack_getvalue_ex(p.get(), "8", v, 0), 1);  // no room: nothing written
  EXPECT_EQ(v[0], '#');
  EXPECT_TRUE(Has(err.Stop(), "ul_pack_getvalue_ex ppack item length too long [size:4]"));
  char full[UL_PACK_ITEMSIZE];
  EXPECT_EQ(ul_pack_getvalue_ex(p.get(), "8", full, 6), 1);  // room for the NUL too
  EXPECT_STREQ(full, "eight");
  EXPECT_EQ(ul_pack_getvalue_ex(p.get(), "8", full, 5), 1);
  EXPECT_STREQ(full, "eigh");
  char name[] = "8";
  EXPECT_EQ(ul_pack_getvalue(p.get(), name, full), 1);
  EXPECT_EQ(ul_pack_getvalue(p.get(), &n2048[0], full), 0);

  char body[] = "b";
  ul_pack_putbuf(p.get(), body, 1);
  EXPECT_EQ(ul_pack_getbuf(p.get()), body);
  EXPECT_EQ(ul_pack_getbuf(static_cast<ul_package*>(nullptr)), nullptr);
  EXPECT_EQ(ul_pack_putbuf(nullptr, body, 1), 0);
  EXPECT_EQ(ul_pack_cleanhead(p.get()), 1);
  EXPECT_EQ(p->pairnum, 0);
  EXPECT_EQ(ul_pack_cleanall(p.get()), 1);
  EXPECT_EQ(p->buf, nullptr);
  EXPECT_EQ(ul_pack_cleanall(nullptr), -1);
  EXPECT_EQ(ul_pack_cleanhead(nullptr), -1);
}

TEST(UlPack, SkipToTrailerAndExactTransfers) {
  struct Row {
    std::string input;
    int result;
    std::string rest;  // what the stream holds after the skip
  } rows[] = {
      {"~EOF!Z", 0, "Z"},  {"ab~EOF!Z", 0, "Z"},   {"~~EOF!Z", 0, "Z"},
      {"~E~EOF!Z", 0, "Z"}, {"~EOX!~EOF!Z", 0, "Z"}, {"~EOF", -1, ""},
  };
  for (const Row& r : rows) {
    for (bool timed : {false, true}) {
      nettest::Pair s = nettest::UnixPair();
      Send(s.a.get(), r.input);
      s.a.Close();
      EXPECT_EQ(timed ? ul_pack_readendo_ms(s.b.get(), 100) : ul_pack_readend(s.b.get()), r.result)
          << r.input;
      EXPECT_EQ(ReadToEnd(s.b.get()), r.rest) << r.input;
    }
  }
  nettest::Pair s = nettest::UnixPair();
  char buf[8];
  {
    CaptureFd err(2);
    Stopwatch w;
    EXPECT_EQ(ul_pack_readendo_ms(s.b.get(), 50), -1);  // nothing comes
    EXPECT_LT(w.ms(), 1000);
    EXPECT_TRUE(Has(err.Stop(), "ul_pack_readend: read socket error.errno[110]"));
  }
  EXPECT_EQ(ul_pack_writeallo_ms(s.a.get(), "", 0, 100), 0);
  EXPECT_EQ(ul_pack_writeall(s.a.get(), "abc", 3), 3);
  EXPECT_EQ(ul_pack_writeallo_ms(s.a.get(), "de", 2, 100), 2);
  EXPECT_EQ(ul_pack_writeallo(s.a.get(), "f", 1, 1), 1);
  EXPECT_EQ(ul_pack_readallo_ms(s.b.get(), buf, 4, 100), 4);
  s.a.Close();
  EXPECT_EQ(ul_pack_readall(s.b.get(), buf, 8), 2);  // "ef", then the end
  CaptureFd err(2);
  EXPECT_EQ(ul_pack_readall(-1, buf, 8), -1);
  EXPECT_EQ(ul_pack_writeall(s.b.get(), "x", 1), -1);
  const std::string log = err.Stop();
  EXPECT_TRUE(Has(log, "read from socket(-1,8) failed.error[9] info is Bad file descriptor."));
  EXPECT_TRUE(Has(log, "ul_pack_writeall: write socket[" + std::to_string(s.b.get()) + "] error.errno[32]"));
}

}  // namespace

// Names match on every byte up to and including the terminator, whatever
// their length; a value or name is refused for "\r\n" or " : " anywhere.
TEST(UlPack, NameMatchingAndStorableText) {
  struct Row {
    const char* stored;
    const char* put;
    int want;  // 1 replaced, 0 appended
  } rows[] = {
      {"abcdefg", "abcdefg", 1},          // 7 bytes: terminator within the first word
      {"abcdefgh", "abcdefgh", 1},        // 8 bytes: terminator just past it
      {"abcdefghi", "abcdefghi", 1},      // 9 bytes
      {"abcdefgh", "abcdefg", 0},         // the put name a prefix of the stored one
      {"abcdefg", "abcdefgh", 0},         // the stored name a prefix of the put one
      {"All_CodeTrust_1", "All_CodeTrust_10", 0},
      {"All_CodeTrust_10", "All_CodeTrust_11", 0},  // differ past the first word only
      {"", "", 1},
      {"", "a", 0},
  };
  for (const Row& r : rows) {
    Pack p = NewPack();
    ASSERT_EQ(ul_pack_putvalue(p.get(), r.stored, "s"), 0);
    EXPECT_EQ(ul_pack_putvalue(p.get(), r.put, "t"), r.want) << r.stored << " / " << r.put;
    EXPECT_EQ(p->pairnum, r.want == 1 ? 1 : 2);
    EXPECT_STREQ(p->value[0], r.want == 1 ? "t" : "s");
  }
  // A row filled to its last byte, without a terminator, matches no name
  // (a name has at most 2047 bytes); bytes left past a shorter name's
  // terminator do not count.
  Pack p = NewPack();
  ASSERT_EQ(ul_pack_putvalue(p.get(), "x", "v"), 0);
  memset(p->name[0], 'n', UL_PACK_ITEMSIZE);
  EXPECT_EQ(ul_pack_putvalue(p.get(), std::string(2047, 'n').c_str(), "w"), 0);
  EXPECT_EQ(p->pairnum, 2);
  memcpy(p->name[0], "abc\0stale", 10);
  EXPECT_EQ(ul_pack_putvalue(p.get(), "abc", "y"), 1);
  EXPECT_STREQ(p->value[0], "y");
  EXPECT_EQ(memcmp(p->name[0], "abc\0stale", 10), 0);  // the name row is left as it was
  // Storable text: the marks at the very start and end are refused, their
  // pieces alone are not.
  struct Text {
    const char* s;
    int want;
  } texts[] = {{"\r\nx", -1}, {"x\r\n", -1}, {" : ", -1}, {"x : ", -1}, {"\r", 0}, {"\n\r", 0},
               {"x :", 0},    {": ", 0},     {" :x ", 0}, {"x\r", 0}};
  for (const Text& t : texts) {
    Pack q = NewPack();
    EXPECT_EQ(ul_pack_putvalue(q.get(), t.s, "v"), t.want) << t.s;
    EXPECT_EQ(ul_pack_putvalue(q.get(), "n", t.s), t.want) << t.s;
  }
  // The value is copied up to its terminator, replacing a longer one whole.
  Pack q = NewPack();
  ASSERT_EQ(ul_pack_putvalue(q.get(), "n", "longer value"), 0);
  EXPECT_EQ(ul_pack_putvalue(q.get(), "n", "ab"), 1);
  EXPECT_EQ(memcmp(q->value[0], "ab\0ger", 6), 0);
}
