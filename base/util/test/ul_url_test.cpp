#include "ul_url.h"

#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "support/support.h"

namespace {

// One URL: its base normal form ("" when it has none), its site as split
// ("" when it does not split), the trunk of that site ("-2"/"-3" for those
// codes) and its main domain.
struct UrlRow {
  const char* url;
  const char* norm;
  const char* site;
  const char* trunk;
  const char* main;
};

const UrlRow kUrls[] = {
    // Schemes.
    {"http://www.example.com/", "www.example.com/", "www.example.com", "example", "example.com"},
    {"HTTP://WWW.Example.COM:80/a/./b/../c", "www.example.com/a/c", "WWW.Example.COM", "Example", "Example.COM"},
    {"Http://a.b.com", "a.b.com/", "a.b.com", "b", "b.com"},
    {"hTtP://A.b.c/X", "a.b.c/X", "A.b.c", "b", "b.c"},
    {"https://a.com/", "", "https", "-3", "https"},
    {"ftp://a.com/x", "", "ftp", "-3", "ftp"},
    {"http://http://a.com/", "", "http", "-3", "http"},
    {"http:/a.com/", "", "http", "-3", "http"},
    {"http//a.com/", "", "http", "-3", "http"},
    {"http://", "", "", "", ""},
    {"", "", "", "", ""},
    {"/only/path", "", "", "", ""},
    {"?q", "", "", "", ""},
    // Hosts and domains.
    {"www.sina.com.cn", "www.sina.com.cn/", "www.sina.com.cn", "sina", "sina.com.cn"},
    {"news.sina.com.cn/x", "news.sina.com.cn/x", "news.sina.com.cn", "sina", "sina.com.cn"},
    {"www.com", "www.com/", "www.com", "-2", "www.com"},
    {"com.cn", "com.cn/", "com.cn", "-2", "com.cn"},
    {"www.gov.cn/", "www.gov.cn/", "www.gov.cn", "-2", "www.gov.cn"},
    {"www.www.www/", "www.www.www/", "www.www.www", "-2", "www.www.www"},
    {"ne.jp/", "ne.jp/", "ne.jp", "-2", "ne.jp"},
    {"www.pku.edu.cn/", "www.pku.edu.cn/", "www.pku.edu.cn", "pku", "pku.edu.cn"},
    {"a.com.cn/", "a.com.cn/", "a.com.cn", "a", "a.com.cn"},
    {"a.cn/", "a.cn/", "a.cn", "a", "a.cn"},
    {"www.a.b.c/", "www.a.b.c/", "www.a.b.c", "b", "b.c"},
    {"bbs.zj.com/", "bbs.zj.com/", "bbs.zj.com", "bbs", "bbs.zj.com"},
    {"a.WWW.com/", "a.www.com/", "a.WWW.com", "WWW", "WWW.com"},
    {"a.www.com/", "a.www.com/", "a.www.com", "a", "a.www.com"},
    {"a.co.uk/", "a.co.uk/", "a.co.uk", "a", "a.co.uk"},
    {"a.com.com/", "a.com.com/", "a.com.com", "a", "a.com.com"},
    {"x.comx.cn/", "x.comx.cn/", "x.comx.cn", "comx", "comx.cn"},
    {"x.c.cn/", "x.c.cn/", "x.c.cn", "c", "c.cn"},
    {"my-site.org.cn/", "my-site.org.cn/", "my-site.org.cn", "my-site", "my-site.org.cn"},
    {"a.ac.jp/", "a.ac.jp/", "a.ac.jp", "a", "a.ac.jp"},
    {"a.net/", "a.net/", "a.net", "a", "a.net"},
    {"x.hk.com/", "x.hk.com/", "x.hk.com", "x", "x.hk.com"},
    {"sub.a.hk/", "sub.a.hk/", "sub.a.hk", "a", "a.hk"},
    {"a.zj.cn/", "a.zj.cn/", "a.zj.cn", "a", "a.zj.cn"},
    {"ac.ah.bj.x/", "ac.ah.bj.x/", "ac.ah.bj.x", "-2", "ac.ah.bj.x"},
    {"co.com.cq.x/", "co.com.cq.x/", "co.com.cq.x", "-2", "co.com.cq.x"},
    {"ed.edu.fj.x/", "ed.edu.fj.x/", "ed.edu.fj.x", "-2", "ed.edu.fj.x"},
    {"gd.go.gov.x/", "gd.go.gov.x/", "gd.go.gov.x", "-2", "gd.go.gov.x"},
    {"gs.gx.gz.x/", "gs.gx.gz.x/", "gs.gx.gz.x", "-2", "gs.gx.gz.x"},
    {"ha.hb.he.x/", "ha.hb.he.x/", "ha.hb.he.x", "-2", "ha.hb.he.x"},
    {"hi.hk.hl.x/", "hi.hk.hl.x/", "hi.hk.hl.x", "-2", "hi.hk.hl.x"},
    {"hn.jl.js.x/", "hn.jl.js.x/", "hn.jl.js.x", "-2", "hn.jl.js.x"},
    {"jx.ln.mo.x/", "jx.ln.mo.x/", "jx.ln.mo.x", "-2", "jx.ln.mo.x"},
    {"ne.net.nm.x/", "ne.net.nm.x/", "ne.net.nm.x", "-2", "ne.net.nm.x"},
    {"nx.or.org.x/", "nx.or.org.x/", "nx.or.org.x", "-2", "nx.or.org.x"},
    {"pe.qh.sc.x/", "pe.qh.sc.x/", "pe.qh.sc.x", "-2", "pe.qh.sc.x"},
    {"sd.sh.sn.x/", "sd.sh.sn.x/", "sd.sh.sn.x", "-2", "sd.sh.sn.x"},
    {"sx.tj.tw.x/", "sx.tj.tw.x/", "sx.tj.tw.x", "-2", "sx.tj.tw.x"},
    {"www.xj.xz.x/", "www.xj.xz.x/", "www.xj.xz.x", "-2", "www.xj.xz.x"},
    {"yn.zj.x/", "yn.zj.x/", "yn.zj.x", "-2", "yn.zj.x"},
    {"a.ww.cn/", "a.ww.cn/", "a.ww.cn", "ww", "ww.cn"},
    {"a.zz.x/", "a.zz.x/", "a.zz.x", "zz", "zz.x"},
    {"aa.ab.ai/", "aa.ab.ai/", "aa.ab.ai", "ab", "ab.ai"},
    {"ZJ.cn/", "zj.cn/", "ZJ.cn", "ZJ", "ZJ.cn"},
    {"localhost", "", "localhost", "-3", "localhost"},
    {"localhost:8080/x", "", "localhost", "-3", "localhost"},
    {"a/", "", "a", "-3", "a"},
    {"10.1.2.3/x", "10.1.2.3/x", "10.1.2.3", "10.1.2.3", "10.1.2.3"},
    {"192.168.0.1:8080/a", "192.168.0.1:8080/a", "192.168.0.1", "192.168.0.1", "192.168.0.1"},
    {"127.0.0.1", "127.0.0.1/", "127.0.0.1", "127.0.0.1", "127.0.0.1"},
    {"http://8.8.8.8:53/dns", "8.8.8.8:53/dns", "8.8.8.8", "8.8.8.8", "8.8.8.8"},
    {"1.2.3.4.5/", "1.2.3.4.5/", "1.2.3.4.5", "4", "4.5"},
    {"300.1.1.1/", "300.1.1.1/", "300.1.1.1", "1", "1.1"},
    {"0x7f.1/", "0x7f.1/", "0x7f.1", "0x7f.1", "0x7f.1"},
    {"1.2/", "1.2/", "1.2", "1.2", "1.2"},
    {"123/", "", "123", "123", "123"},
    {"[::1]:8080/x", "", "[", "-3", "["},
    {"[::1]/x", "", "[", "-3", "["},
    {"-a.com/", "-a.com/", "-a.com", "-a", "-a.com"},
    {"_a.com/", "_a.com/", "_a.com", "_a", "_a.com"},
    {"a_b.com/", "a_b.com/", "a_b.com", "a_b", "a_b.com"},
    {"a-b.c-d.com/", "a-b.c-d.com/", "a-b.c-d.com", "c-d", "c-d.com"},
    {"xn--fsq.com/", "xn--fsq.com/", "xn--fsq.com", "xn--fsq", "xn--fsq.com"},
    {"A.B.C.D/", "a.b.c.d/", "A.B.C.D", "C", "C.D"},
    {"a.1/", "a.1/", "a.1", "a", "a.1"},
    {"a.b-/", "", "a.b-", "a", "a.b-"},
    {"a-.com/", "", "a-.com", "a-", "a-.com"},
    {"a_.com/", "", "a_.com", "a_", "a_.com"},
    {"a.-b.com/", "a.-b.com/", "a.-b.com", "-b", "-b.com"},
    {"a.com./", "", "a.com.", "a", "a.com."},
    {".a.com/", "", ".a.com", "a", "a.com"},
    {"a..com/", "", "a..com", "", ".com"},
    {"a.com.../", "", "a.com...", "", "."},
    {"a b.com/", "", "a b.com", "a b", "a b.com"},
    {"\xC3\xA9.com/", "", "\xC3\xA9.com", "\xC3\xA9", "\xC3\xA9.com"},
    {"a.com#frag", "", "a.com#frag", "a", "a.com#frag"},
    {"a.com;p/", "", "a.com;p", "a", "a.com;p"},
    {"a.com&x/", "", "a.com&x", "a", "a.com&x"},
    {"a.c\no\rm/x", "a.com/x", "a.com", "a", "a.com"},
    {"\r\na.com\r\n/x\r\n", "a.com/x", "a.com", "a", "a.com"},
    // Escapes in the host.
    {"b%41.com/", "ba.com/", "b%41.com", "b%41", "b%41.com"},
    {"%41b.com/", "", "%41b.com", "%41b", "%41b.com"},
    {"a%2Eb.com/", "", "a%2Eb.com", "a%2Eb", "a%2Eb.com"},
    {"a%2db.com/", "a-b.com/", "a%2db.com", "a%2db", "a%2db.com"},
    {"a%5fb.com/", "a_b.com/", "a%5fb.com", "a%5fb", "a%5fb.com"},
    {"a%30.com/", "a0.com/", "a%30.com", "a%30", "a%30.com"},
    {"a%2D.com/", "", "a%2D.com", "a%2D", "a%2D.com"},
    {"a.co%4D/", "a.com/", "a.co%4D", "a", "a.co%4D"},
    {"a%00b.com/", "", "a%00b.com", "a%00b", "a%00b.com"},
    {"a%20b.com/", "", "a%20b.com", "a%20b", "a%20b.com"},
    {"a%2Fb.com/", "", "a%2Fb.com", "a%2Fb", "a%2Fb.com"},
    {"a%4.com/", "", "a%4.com", "a%4", "a%4.com"},
    {"a%zz.com/", "", "a%zz.com", "a%zz", "a%zz.com"},
    {"a.com%", "", "a.com%", "a", "a.com%"},
    // Ports.
    {"a.com:8080/x", "a.com:8080/x", "a.com", "a", "a.com"},
    {"a.com:80/x", "a.com/x", "a.com", "a", "a.com"},
    {"a.com:080/x", "a.com/x", "a.com", "a", "a.com"},
    {"a.com:00080/", "a.com/", "a.com", "a", "a.com"},
    {"a.com:08080/x", "a.com:8080/x", "a.com", "a", "a.com"},
    {"a.com:1/", "a.com:1/", "a.com", "a", "a.com"},
    {"a.com:0/x", "", "a.com", "a", "a.com"},
    {"a.com:00/x", "", "a.com", "a", "a.com"},
    {"a.com:65535/x", "a.com:65535/x", "a.com", "a", "a.com"},
    {"a.com:65536/x", "", "a.com", "a", "a.com"},
    {"a.com:99999/x", "", "a.com", "a", "a.com"},
    {"a.com:123456/x", "", "a.com", "a", "a.com"},
    {"a.com:/x", "", "a.com", "a", "a.com"},
    {"a.com:", "", "a.com", "a", "a.com"},
    {"a.com:x/", "", "a.com", "a", "a.com"},
    {"a.com:8x/", "", "a.com", "a", "a.com"},
    {"a.com: 8080/", "", "a.com", "a", "a.com"},
    {"a.com:+8080/", "", "a.com", "a", "a.com"},
    {"a.com:-1/", "", "a.com", "a", "a.com"},
    {"a.com:1:2/", "", "a.com", "a", "a.com"},
    {"a.com:8080", "a.com:8080/", "a.com", "a", "a.com"},
    {"a.com:8080?q", "a.com:8080/?q", "a.com", "a", "a.com"},
    {"a.com:443/x?y", "a.com:443/x?y", "a.com", "a", "a.com"},
    {":80/x", "", "", "", ""},
    // User information is not part of this URL form.
    {"user@a.com/", "", "user@a.com", "user@a", "user@a.com"},
    {"user:pw@a.com/", "", "user", "-3", "user"},
    {"http://u:p@a.com:8080/x", "", "u", "-3", "u"},
    {"u@a.com:81/", "", "u@a.com", "u@a", "u@a.com"},
    {"@a.com/", "", "@a.com", "@a", "@a.com"},
    // Path escapes.
    {"a.com/a%41%2fb%30%00%zz", "a.com/aA%2fb0%00%zz", "a.com", "a", "a.com"},
    {"a.com/%7Euser", "a.com/~user", "a.com", "a", "a.com"},
    {"a.com/%2F", "a.com/%2F", "a.com", "a", "a.com"},
    {"a.com/%3F", "a.com/%3F", "a.com", "a", "a.com"},
    {"a.com/%3b", "a.com/%3b", "a.com", "a", "a.com"},
    {"a.com/%23", "a.com/%23", "a.com", "a", "a.com"},
    {"a.com/%25", "a.com/%25", "a.com", "a", "a.com"},
    {"a.com/%2541", "a.com/%2541", "a.com", "a", "a.com"},
    {"a.com/%26%3D%2B%24%2C%3A%40", "a.com/%26%3D%2B%24%2C%3A%40", "a.com", "a", "a.com"},
    {"a.com/%21%2A%27%28%29", "a.com/!*'()", "a.com", "a", "a.com"},
    {"a.com/%01", "a.com/%01", "a.com", "a", "a.com"},
    {"a.com/%1f%7f", "a.com/%1f\x7f", "a.com", "a", "a.com"},
    {"a.com/%e9", "a.com/\xE9", "a.com", "a", "a.com"},
    {"a.com/%E4%B8%AD", "a.com/\xE4\xB8\xAD", "a.com", "a", "a.com"},
    {"a.com/\xE4\xB8\xAD", "a.com/\xE4\xB8\xAD", "a.com", "a", "a.com"},
    {"a.com/%", "a.com/%", "a.com", "a", "a.com"},
    {"a.com/%4", "a.com/%4", "a.com", "a", "a.com"},
    {"a.com/%4g", "a.com/%4g", "a.com", "a", "a.com"},
    {"a.com/%g4", "a.com/%g4", "a.com", "a", "a.com"},
    {"a.com/%00", "a.com/%00", "a.com", "a", "a.com"},
    {"a.com/%30%30", "a.com/00", "a.com", "a", "a.com"},
    {"a.com/%5C..%5Cb", "a.com/b", "a.com", "a", "a.com"},
    {"a.com/a%2e%2e/b", "a.com/a../b", "a.com", "a", "a.com"},
    {"a.com/a/%2e%2e/b", "a.com/b", "a.com", "a", "a.com"},
    {"a.com/a/%2E/b", "a.com/a/b", "a.com", "a", "a.com"},
    {"a.com/;%41%3b%2F", "a.com/;A%3b%2F", "a.com", "a", "a.com"},
    {"a.com/?%41%3F%2F%23%26%20", "a.com/?A%3F%2F%23%26%20", "a.com", "a", "a.com"},
    {"a.com/?a=%41&b=%42", "a.com/?a=A&b=B", "a.com", "a", "a.com"},
    // Blanks and control bytes.
    {"a.com/a b", "a.com/a%20b", "a.com", "a", "a.com"},
    {"a.com/a%20b", "a.com/a%20b", "a.com", "a", "a.com"},
    {"a.com/ ", "a.com/%20", "a.com", "a", "a.com"},
    {"a.com/a b?c d", "a.com/a%20b?c%20d", "a.com", "a", "a.com"},
    {"a.com/a;b c", "a.com/a;b%20c", "a.com", "a", "a.com"},
    {"a.com/a b#c d", "a.com/a%20b", "a.com", "a", "a.com"},
    {"a.com/a#b c", "a.com/a", "a.com", "a", "a.com"},
    {"a.com/a\x01" "b", "", "a.com", "a", "a.com"},
    {"a.com/a\tb", "", "a.com", "a", "a.com"},
    {"a.com/?a\x1F", "", "a.com", "a", "a.com"},
    {"a.com/a\x7F", "a.com/a\x7F", "a.com", "a", "a.com"},
    // Dot segments, empty segments and back slashes.
    {"a.com/a//b/./c/../d", "a.com/a/b/d", "a.com", "a", "a.com"},
    {"a.com/..", "a.com/", "a.com", "a", "a.com"},
    {"a.com/../a", "a.com/a", "a.com", "a", "a.com"},
    {"a.com/a/..", "a.com/", "a.com", "a", "a.com"},
    {"a.com/a/b/..", "a.com/a/", "a.com", "a", "a.com"},
    {"a.com/a/b/.", "a.com/a/b/", "a.com", "a", "a.com"},
    {"a.com/a/b/../../..", "a.com/", "a.com", "a", "a.com"},
    {"a.com/a/b/../../../c", "a.com/c", "a.com", "a", "a.com"},
    {"a.com/./", "a.com/", "a.com", "a", "a.com"},
    {"a.com/.", "a.com/", "a.com", "a", "a.com"},
    {"a.com//", "a.com/", "a.com", "a", "a.com"},
    {"a.com///a//", "a.com/a/", "a.com", "a", "a.com"},
    {"a.com/a/.b", "a.com/a/.b", "a.com", "a", "a.com"},
    {"a.com/a/..b", "a.com/a/..b", "a.com", "a", "a.com"},
    {"a.com/a/b..c/../d", "a.com/a/d", "a.com", "a", "a.com"},
    {"a.com/a/.../b", "a.com/a/.../b", "a.com", "a", "a.com"},
    {"a.com/a/b/..?x/../y", "a.com/a/?x/../y", "a.com", "a", "a.com"},
    {"a.com/a/./?./", "a.com/a/?./", "a.com", "a", "a.com"},
    {"a.com/a;x/../b", "a.com/a;x/../b", "a.com", "a", "a.com"},
    {"a.com/a;x/../b?y", "a.com/b?y", "a.com", "a", "a.com"},
    {"a.com/a/..;x", "a.com/;x", "a.com", "a", "a.com"},
    {"a.com/a\\b?c\\d", "a.com/a/b?c\\d", "a.com", "a", "a.com"},
    {"a.com/a\\..\\b", "a.com/b", "a.com", "a", "a.com"},
    {"a.com/a;b\\c", "a.com/a;b\\c", "a.com", "a", "a.com"},
    {"a.com\\x", "", "a.com\\x", "a", "a.com\\x"},
    // Query and fragment.
    {"a.b.com?x=1", "a.b.com/?x=1", "a.b.com", "b", "b.com"},
    {"a.com?x/y", "a.com/?x/y", "a.com", "a", "a.com"},
    {"a.com?", "a.com/?", "a.com", "a", "a.com"},
    {"a.com/?", "a.com/?", "a.com", "a", "a.com"},
    {"a.com/p?q#f", "a.com/p?q", "a.com", "a", "a.com"},
    {"a.com/p#f?q", "a.com/p", "a.com", "a", "a.com"},
    {"a.com/a?b/../c", "a.com/a?b/../c", "a.com", "a", "a.com"},
    {"a.com/a?b?c;d", "a.com/a?b?c;d", "a.com", "a", "a.com"},
    {"a.com/a;b;c", "a.com/a;b;c", "a.com", "a", "a.com"},
    {"a.com/a;b?c;d", "a.com/a;b?c;d", "a.com", "a", "a.com"},
    {"a.com/a;b/c", "a.com/a;b/c", "a.com", "a", "a.com"},
    {"a.com/#", "a.com/", "a.com", "a", "a.com"},
    {"a.com/##", "a.com/", "a.com", "a", "a.com"},
    {"a.com?x#y", "a.com/?x", "a.com", "a", "a.com"},
    {"a.com/?q=a:b@c", "a.com/?q=a:b@c", "a.com", "a", "a.com"},
    {"a.com/p:q@r", "a.com/p:q@r", "a.com", "a", "a.com"},
    {"a.com:81/p:q", "a.com:81/p:q", "a.com", "a", "a.com"},
};

std::string Norm(int (*fn)(const char*, char*, size_t), const char* url, size_t size) {
  std::string buf(size, '\xAA');
  return fn(url, &buf[0], size) == 1 ? std::string(buf.c_str()) : "";
}

std::string NormBase(const char* url) {
  char buf[256];
  return ul_normalize_url(url, buf) == 1 ? buf : "";
}

TEST(UlUrl, TableOfUrls) {
  ASSERT_GE(sizeof(kUrls) / sizeof(kUrls[0]), 200u);
  for (const UrlRow& row : kUrls) {
    SCOPED_TRACE(row.url);
    std::string norm = NormBase(row.url);
    EXPECT_EQ(row.norm, norm);
    // The larger tiers agree on URLs within the base limits.
    EXPECT_EQ(norm, Norm(ul_normalize_url_ex, row.url, 1025));
    EXPECT_EQ(norm, Norm(ul_normalize_url_ex2, row.url, 2049));
    if (!norm.empty()) {
      EXPECT_EQ(norm, NormBase(norm.c_str()));  // a normal form stays as it is
      EXPECT_EQ(1, ul_isnormalized_url(norm.c_str()));
    }
    char site[48];
    const char* got = ul_get_site(row.url, site);
    EXPECT_EQ(row.site, std::string(got != nullptr ? got : ""));
    if (got == nullptr) continue;
    char trunk[64];
    int rc = ul_fetch_trunk(site, trunk, sizeof(trunk));
    EXPECT_EQ(row.trunk, rc == 1 ? std::string(trunk) : std::to_string(rc));
    char domain[64];
    const char* main = ul_fetch_maindomain(site, domain, sizeof(domain));
    EXPECT_EQ(row.main, std::string(main));
    EXPECT_EQ(rc == 1 ? trunk : site, std::string(domain));
  }
}

std::string Rep(char c, size_t n) { return std::string(n, c); }
std::string Host(size_t n) { return Rep('a', n - 4) + ".com"; }  // a host of n bytes

TEST(UlUrl, SplitsIntoSitePortAndPath) {
  struct Row { const char* url; const char* site; const char* port; const char* path; };
  const Row rows[] = {
      {"HTTP://A.com:8080/p?q#f", "A.com", "8080", "/p?q#f"},
      {"a.com:80/x", "a.com", "", "/x"},
      {"a.com:080", "a.com", "080", "/"},
      {"a.b.com?x=1", "a.b.com", "", "/?x=1"},
      {"a.com?x/y", "a.com", "", "/?x/y"},
      {"a\r.com/\nx", "a.com", "", "/x"},
  };
  for (const Row& r : rows) {
    char site[48], port[6], path[203];
    ASSERT_EQ(1, ul_parse_url(r.url, site, port, path)) << r.url;
    EXPECT_EQ(std::string(r.site) + "|" + r.port + "|" + r.path, std::string(site) + "|" + port + "|" + path);
  }
  // Checks of a part run only with its buffer, the site's always (base) or
  // against a given buffer (larger tiers).
  char site[128], port[7];
  EXPECT_EQ(1, ul_parse_url_ex("a.com:zz/", site, 48, nullptr, 0, nullptr, 0));
  EXPECT_EQ(0, ul_parse_url_ex("a.com:zz/", site, 48, port, 7, nullptr, 0));
  EXPECT_EQ(0, ul_parse_url((Host(60) + ":81/").c_str(), nullptr, port, nullptr));
  EXPECT_EQ(1, ul_parse_url_ex((Host(200) + ":81/").c_str(), nullptr, 0, port, 7, nullptr, 0));
  EXPECT_EQ(0, ul_parse_url_ex(Host(100).c_str(), site, 100, nullptr, 0, nullptr, 0));
  EXPECT_EQ(site, ul_get_site_ex(Host(100).c_str(), site, 101));
  char path[8];
  EXPECT_STREQ("/?x", ul_get_path("a.com?x", path));
  EXPECT_EQ(nullptr, ul_get_path_ex("a.com/1234567", path, 8));
  EXPECT_EQ(path, ul_get_path_ex2("a.com/123456", path, 8));
  EXPECT_EQ(path, ul_get_path_ex("a.com", path, 2));  // "/" and its NUL
  EXPECT_EQ(nullptr, ul_get_path_ex("a.com", path, 1));
  // An IPv6 host only in the _ex2 split; no tier normalises it.
  char path2[16];
  ASSERT_EQ(1, ul_parse_url_ex2("[::1]:8080/x", site, 128, port, 7, path2, 16));
  EXPECT_EQ("[::1]|8080|/x", std::string(site) + "|" + port + "|" + path2);
  char buf[2048];
  EXPECT_EQ(0, ul_normalize_url_ex2("[::1]:8080/x", buf, sizeof(buf)));
}

TEST(UlUrl, Ports) {
  int port = -1;
  EXPECT_EQ(80, ul_get_port("a.com/x", &port));
  EXPECT_EQ(80, ul_get_port("a.com:80/x", nullptr));
  EXPECT_EQ(8080, ul_get_port("a.com:8080/x", &port));
  EXPECT_EQ(8080, port);
  EXPECT_EQ(0, ul_get_port("a.com:008080/x", &port));  // 6 bytes: over the base port
  EXPECT_EQ(8080, port);
  EXPECT_EQ(8080, ul_get_port_ex("a.com:008080/x", &port));
  EXPECT_EQ(0, ul_get_port_ex2("a.com:0/x", &port));
  const struct { const char* in; int rc; const char* out; } rows[] = {
      {"", 1, ""}, {"80", 1, ""}, {"080", 1, ""}, {"08080", 1, "8080"}, {"1", 1, "1"},
      {"65535", 1, "65535"}, {"0", 0, ""}, {"65536", 0, ""}, {"123456", 0, ""}, {"8a", 0, ""}, {"-1", 0, ""},
  };
  for (const auto& r : rows) {
    char p[8];
    strcpy(p, r.in);
    EXPECT_EQ(r.rc, ul_normalize_port(p)) << r.in;
    if (r.rc == 1) {
      EXPECT_STREQ(r.out, p);
    }
  }
}

TEST(UlUrl, TierLimitsAtTheLimitAndOneOver) {
  using Fn = int (*)(const char*, char*, size_t);
  const struct { Fn norm; char* (*site)(const char*, char*, size_t); size_t url, site_size, path; } tiers[] = {
      {[](const char* u, char* b, size_t) { return ul_normalize_url(u, b); },
       [](const char* u, char* b, size_t) { return ul_get_site(u, b); }, 256, 48, 203},
      {ul_normalize_url_ex, ul_get_site_ex, 1024, 128, 800},
      {ul_normalize_url_ex2, ul_get_site_ex2, 2048, 256, 1600},
  };
  for (const auto& t : tiers) {
    SCOPED_TRACE(t.url);
    std::string buf(4096, '\0');
    auto ok = [&](const std::string& u) { return t.norm(u.c_str(), &buf[0], 4096) == 1; };
    EXPECT_TRUE(ok(Host(t.site_size - 1) + "/"));
    EXPECT_FALSE(ok(Host(t.site_size) + "/"));
    EXPECT_TRUE(ok("a.com/" + Rep('p', t.path - 2)));
    EXPECT_FALSE(ok("a.com/" + Rep('p', t.path - 1)));
    EXPECT_TRUE(ok("a.com?" + Rep('q', t.path - 3)));
    EXPECT_FALSE(ok("a.com?" + Rep('q', t.path - 2)));
    EXPECT_TRUE(ok("a.com/ " + Rep('p', t.path - 5)));  // the blank grows by 2
    EXPECT_FALSE(ok("a.com/ " + Rep('p', t.path - 4)));
    char site[256];
    EXPECT_NE(nullptr, t.site(("a.com/" + Rep('p', t.url - 7)).c_str(), site, sizeof(site)));
    EXPECT_EQ(nullptr, t.site(("a.com/" + Rep('p', t.url - 6)).c_str(), site, sizeof(site)));
  }
  // The longest base normal form fills 255 bytes; a form that does not fit
  // the caller's buffer is a failure.
  const std::string longest = Host(47) + ":65535/" + Rep('p', 201);
  char buf[256];
  ASSERT_EQ(1, ul_normalize_url(longest.c_str(), buf));
  EXPECT_EQ(255u, strlen(buf));
  EXPECT_EQ(1, ul_normalize_url_ex(longest.c_str(), buf, 256));
  EXPECT_EQ(0, ul_normalize_url_ex(longest.c_str(), buf, 255));
  EXPECT_EQ(1, ul_normalize_url_ex2("a.com/x", buf, 8));
  EXPECT_EQ(0, ul_normalize_url_ex2_save_fragment("a.com/x", buf, 7));
}

TEST(UlUrl, DebugLines) {
  testsupport::CaptureFd err(2);
  char site[48];
  ul_get_site(("a.com/" + Rep('p', 250)).c_str(), site);
  ul_get_site_ex(Rep('p', 1024).c_str(), site, 48);
  ul_get_site_ex2(":8/", site, 48);
  ul_get_site(Host(48).c_str(), site);
  const std::string text = err.Stop();
  for (const char* line : {"ul_parse_url: url is too long", "ul_parse_url_ex: url is too long",
                           "ul_parse_url_ex2: site name too long or empty url[:8/]",
                           "ul_parse_url: site name too long or empty url[aaaa"}) {
    EXPECT_NE(std::string::npos, text.find(line)) << line;
  }
}

TEST(UlUrl, FragmentAndHostForms) {
  char buf[256];
  ASSERT_EQ(1, ul_normalize_url_save_fragment("a.com/a/../b#x/../y", buf));
  EXPECT_STREQ("a.com/b#x/../y", buf);  // dot segments stop at the '#'
  ASSERT_EQ(1, ul_normalize_url_ex_save_fragment("a.com/p q#f g", buf, sizeof(buf)));
  EXPECT_STREQ("a.com/p%20q#f%20g", buf);
  ASSERT_EQ(1, ul_normalize_url_ex2_save_fragment("a.com/p?q#f g", buf, sizeof(buf)));
  EXPECT_STREQ("a.com/p?q#f g", buf);
  ASSERT_EQ(1, ul_normalize_url_ex2_special_for_ps_20110221("A-.B_.com/p#f", buf, sizeof(buf)));
  EXPECT_STREQ("a-.b_.com/p#f", buf);
  EXPECT_EQ(0, ul_normalize_url_ex2("a-.com/p#f", buf, sizeof(buf)));
  char s1[] = "a-.com", s2[] = "a-.com", s3[] = "A%42.COM", s4[] = "a.b-";
  EXPECT_EQ(0, ul_normalize_site(s1));
  EXPECT_EQ(1, ul_normalize_site_special_for_ps_20101026(s2));
  EXPECT_EQ(1, ul_normalize_site(s3));
  EXPECT_STREQ("ab.com", s3);
  EXPECT_EQ(1, ul_normalize_site_special_for_ps_20101026(s4));
}

TEST(UlUrl, SmallHelpers) {
  const struct { const char* hex; int value; } hex[] = {
      {"41", 'A'}, {"30", '0'}, {"00", 0}, {"4g", 0}, {"g4", 0}, {"fF", 0xFF}, {"", 0}};
  for (const auto& h : hex) EXPECT_EQ(h.value, static_cast<unsigned char>(ul_to_char(h.hex))) << h.hex;
  char out[256];
  char s[] = "a\r\nb\nc\r";
  EXPECT_EQ(3, ul_delete_inter(s));
  EXPECT_STREQ("abc", s);
  EXPECT_EQ(0, ul_delete_inter(nullptr));
  EXPECT_EQ(0, ul_parse_url_ex(nullptr, out, 48, nullptr, 0, nullptr, 0));
  EXPECT_EQ(0, ul_check_url(nullptr));
  EXPECT_EQ('?', ul_isdyn("/a?b=c"));
  EXPECT_EQ('&', ul_isdyn("/a&b=c"));
  EXPECT_EQ('*', ul_isdyn("/a*"));
  EXPECT_EQ(0, ul_isdyn("/a.html"));
  EXPECT_EQ(1, ul_get_static_part("a.com/x;p?q", out));
  EXPECT_STREQ("a.com/x", out);
  EXPECT_EQ(1, ul_get_static_part_ex("a.com/x?q;p", out, 4));
  EXPECT_STREQ("a.c", out);
  EXPECT_EQ(0, ul_get_static_part_ex2("a.com", out, 0));
  EXPECT_EQ(1, ul_get_static_part(Rep('a', 255).c_str(), out));
  EXPECT_DEATH(ul_get_static_part(Rep('a', 256).c_str(), out), "strlen\\(url\\) < 256");
  EXPECT_DEATH(ul_get_static_part_ex(Rep('a', 1024).c_str(), out, 256), "strlen\\(url\\) < 1024");
  EXPECT_DEATH(ul_get_static_part_ex2(Rep('a', 2048).c_str(), out, 256), "strlen\\(url\\) < 2048");
}

}  // namespace
