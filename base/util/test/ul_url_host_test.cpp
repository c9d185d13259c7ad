#include <arpa/inet.h>
#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "ul_url.h"

namespace {

TEST(UlUrlHost, HostChecks) {
  const struct { const char* host; int name, dotip, v6, bracket; } rows[] = {
      {"a_b.c-d", 1, 0, 0, 0},  {"a-.b", 0, 0, 0, 0},   {"", 0, 0, 0, 0},       {"a", 1, 0, 0, 0},
      {"a..b", 0, 0, 0, 0},     {"a.b.", 0, 0, 0, 0},   {"a b", 0, 0, 0, 0},    {"-a.b", 1, 0, 0, 0},
      {"10.1.2.3", 1, 1, 0, 0}, {"123", 1, 1, 0, 0},    {"1.2", 1, 1, 0, 0},    {"0x7f.1", 1, 1, 0, 0},
      {"256.1.1.1", 1, 0, 0, 0}, {"::1", 0, 0, 1, 0},   {"1::2::3", 0, 0, 0, 0}, {"[::1]:80", 0, 0, 0, 5},
      {"[::1", 0, 0, 0, 0},     {"[::g]", 0, 0, 0, 0},  {"[::ffff:1.2.3.4]", 0, 0, 0, 16},
      {"[1111:2222:3333:4444:5555:6666:7777:8888]", 0, 0, 0, 41},
      {"[0000:0000:000:000:0:ffff:255.255.255.255]", 0, 0, 0, 42},  // ']' at byte 42
      {"[0000:0000:0000:000:0:ffff:255.255.255.255]", 0, 0, 0, 0},  // ']' at byte 43
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.host);
    EXPECT_EQ(r.name, check_hostname(r.host));
    EXPECT_EQ(r.dotip, ul_is_dotip(r.host) != 0);
    EXPECT_EQ(r.v6, ul_is_ipv6_format(r.host));
    EXPECT_EQ(r.bracket, ul_check_url_ipv6(r.host));
  }
  EXPECT_EQ(0, check_hostname(nullptr));
  EXPECT_EQ(0, ul_check_url_ipv6(nullptr));
  EXPECT_EQ(0, ul_is_ipv6_format(nullptr));
}

TEST(UlUrlHost, SkippedLabels) {
  const struct { const char* text; int rc; } rows[] = {
      {"www.x", 1}, {"WWW.x", 0}, {"www", 0}, {"wwww.x", 0}, {"ac.x", 1}, {"zj.x", 1}, {"aa.x", 0},
      {"zz.x", 0},  {"co.x", 1},  {"com.x", 1}, {"cox.x", 0}, {"gov.", 1}, {"g.x", 0}, {"", 0},
  };
  for (const auto& r : rows) EXPECT_EQ(r.rc, ul_is_ignore(r.text)) << r.text;
  EXPECT_EQ(0, ul_is_ignore(nullptr));
}

TEST(UlUrlHost, TrunkAndMainDomainCutToSize) {
  char buf[8];
  EXPECT_EQ(1, ul_fetch_trunk("www.sina.com.cn", buf, 3));
  EXPECT_STREQ("si", buf);
  EXPECT_EQ(1, ul_fetch_trunk("www.sina.com.cn", buf, 5));
  EXPECT_STREQ("sina", buf);
  EXPECT_EQ(1, ul_fetch_trunk("www.sina.com.cn", buf, 1));
  EXPECT_STREQ("", buf);
  EXPECT_EQ(-1, ul_fetch_trunk("www.sina.com.cn", buf, 0));
  EXPECT_EQ(-1, ul_fetch_trunk(nullptr, buf, 8));
  EXPECT_EQ(1, ul_fetch_trunk("[::1]", buf, 8));
  EXPECT_STREQ("[::1]", buf);
  const char* site = "www.sina.com.cn";
  EXPECT_EQ(site + 4, ul_fetch_maindomain(site, buf, 3));
  EXPECT_STREQ("si", buf);
  const char* local = "localhost";
  EXPECT_EQ(local, ul_fetch_maindomain(local, buf, 4));
  EXPECT_STREQ("loc", buf);
  EXPECT_EQ(nullptr, ul_fetch_maindomain(local, buf, 0));
}

TEST(UlUrlHost, Nat64) {
  char v6[64], v4[16];
  ASSERT_EQ(1, ipv4_to_ipv6_str("192.0.2.33", v6, sizeof(v6)));
  EXPECT_STREQ("64:ff9b::c000:221", v6);
  ASSERT_EQ(1, ipv6_to_ipv4_str(v6, v4, sizeof(v4)));
  EXPECT_STREQ("192.0.2.33", v4);
  EXPECT_EQ(1, ipv4_to_ipv6_str("255.255.255.2559", v6, sizeof(v6)));  // 15 bytes are read
  EXPECT_STREQ("64:ff9b::ffff:ffff", v6);
  EXPECT_EQ(1, ipv4_to_ipv6_str("1.2.3.4", v6, 17));  // "64:ff9b::102:304" and its NUL
  EXPECT_EQ(0, ipv4_to_ipv6_str("1.2.3.4", v6, 16));
  EXPECT_EQ(0, ipv4_to_ipv6_str("1.2.3", v6, sizeof(v6)));
  EXPECT_EQ(0, ipv4_to_ipv6_str(nullptr, v6, sizeof(v6)));
  EXPECT_EQ(0, ipv6_to_ipv4_str("2001:db8::1", v4, sizeof(v4)));
  EXPECT_EQ(0, ipv6_to_ipv4_str("zz", v4, sizeof(v4)));
  EXPECT_EQ(1, ipv6_to_ipv4_str("64:ff9b::102:304", v4, 8));
  EXPECT_EQ(0, ipv6_to_ipv4_str("64:ff9b::102:304", v4, 7));

  struct in6_addr a;
  struct in_addr b;
  unsigned int n = 7;
  ASSERT_EQ(1, inet_pton(AF_INET6, "2001:db8::1", &a));
  EXPECT_EQ(0, ipv6_to_ipv4(&a, &b));
  EXPECT_EQ(htonl(1), b.s_addr);  // stored all the same
  EXPECT_EQ(0, ipv6_to_uint32(&a, &n));
  EXPECT_EQ(7u, n);
  ASSERT_EQ(1, uint32_to_ipv6(0xC0000221u, &a));
  EXPECT_EQ(1, ipv6_to_uint32(&a, &n));
  EXPECT_EQ(0xC0000221u, n);
  struct in6_addr want;
  inet_pton(AF_INET6, "64:ff9b::c000:221", &want);
  EXPECT_EQ(0, memcmp(&want, &a, sizeof(a)));
}

}  // namespace
