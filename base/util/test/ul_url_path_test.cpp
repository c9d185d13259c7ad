#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "ul_url.h"

namespace {

std::string Rep(char c, size_t n) { return std::string(n, c); }

// Runs an in-place function on a copy in a buffer of size bytes; "rc|text".
template <typename Fn>
std::string InPlace(Fn fn, const std::string& in, size_t size = 4096) {
  std::string buf(size, '\0');
  memcpy(&buf[0], in.c_str(), in.size() + 1);
  int rc = fn(&buf[0]);
  return std::to_string(rc) + "|" + buf.c_str();
}

TEST(UlUrlPath, SinglePathPass) {
  auto base = [](int frag) { return [frag](char* p) { return ul_single_path_nointer(p, frag); }; };
  const struct { int frag; const char* in; const char* out; } rows[] = {
      {0, "/a%41%2fb%30%00%zz", "1|/aA%2fb0%00%zz"},
      {0, "/a b", "1|/a%20b"},
      {0, "/a%20b", "1|/a%20b"},
      {0, "/a\x01", "0|"},
      {0, "/a\rb", "0|"},
      {0, "/p?q#f", "1|/p?q"},
      {1, "/p?q#f\x01", "1|/p?q#f\x01"},
      {0, "/;a/b;c?d/e?f", "1|/;a/b;c?d/e?f"},
      {0, "/%3b;%3B%2f?%3b%23%2F%41", "1|/%3b;%3B%2f?%3b%23%2FA"},
      {0, "a%41/%7e", "1|aA/~"},
      {0, "/%", "1|/%"},
      {0, "/%4", "1|/%4"},
  };
  for (const auto& r : rows) {
    const std::string got = InPlace(base(r.frag), r.in);
    EXPECT_EQ(r.out, got.substr(0, 2) == "0|" ? "0|" : got) << r.in;
  }
  EXPECT_EQ("1|/ab", InPlace(ul_single_path, "/a\r\nb"));
  EXPECT_EQ(0, ul_single_path_nointer(nullptr, 0));
  EXPECT_EQ("1|/ab", InPlace(ul_single_path_ex2, "/a\nb#f"));
  // Limits, at the limit and one over.
  EXPECT_EQ("1|/abc", InPlace([](char* p) { return ul_single_path_ex_nointer(p, 4, 0); }, "/abc"));
  EXPECT_EQ(0, ul_single_path_ex_nointer(&std::string("/abc")[0], 3, 0));
  EXPECT_EQ("1|/abc#f", InPlace([](char* p) { return ul_single_path_ex2_nointer_special_for_ps_20110221(p, 7); }, "/abc#f", 7));
  EXPECT_EQ(0, ul_single_path_ex2_nointer_special_for_ps_20110221(&std::string("/abc#f")[0], 6));
  EXPECT_EQ("1|/a%20b", InPlace([](char* p) { return ul_single_path_ex2_nointer_special_for_ps_20110221(p, 7); }, "/a b", 7));
  EXPECT_EQ("0|/a b", InPlace([](char* p) { return ul_single_path_ex2_nointer_special_for_ps_20110221(p, 6); }, "/a b", 6));
  EXPECT_EQ('1', InPlace(ul_single_path, "/ " + Rep('p', 198))[0]);  // 202 bytes escaped
  EXPECT_EQ('0', InPlace(ul_single_path, "/ " + Rep('p', 199))[0]);
  EXPECT_EQ('1', InPlace(ul_single_path_ex, "/ " + Rep('p', 795))[0]);  // 799
  EXPECT_EQ('0', InPlace(ul_single_path_ex, "/ " + Rep('p', 796))[0]);
  EXPECT_EQ('1', InPlace(ul_single_path, "/" + Rep('p', 255))[0]);  // 256 without blanks
  EXPECT_EQ('0', InPlace(ul_single_path, "/" + Rep('p', 256))[0]);
}

TEST(UlUrlPath, BlankEscaping) {
  auto path = [](size_t max) { return [max](char* p) { return ul_space_escape_path(p, max); }; };
  EXPECT_EQ("1|/a%20b", InPlace(path(7), "/a b"));
  EXPECT_EQ("0|/a b", InPlace(path(6), "/a b"));
  // Limits over the work buffer count as its size (1024, or 2048 for _ex2).
  const std::string long_path = "/ " + Rep('p', 1019);  // 1023 bytes escaped
  EXPECT_EQ('1', InPlace(path(5000), long_path)[0]);
  EXPECT_EQ('0', InPlace(path(5000), long_path + "p")[0]);
  EXPECT_EQ('1', InPlace([](char* p) { return ul_space_escape_path_ex2(p, 5000); }, long_path + "p")[0]);
  auto url = [](size_t u, size_t s, size_t p) {
    return [=](char* x) { return ul_space_escape(x, u, s, p); };
  };
  EXPECT_EQ("1|a.com/a%20b", InPlace(url(12, 48, 203), "a.com/a b"));
  EXPECT_EQ("0|a.com/a b", InPlace(url(11, 48, 203), "a.com/a b"));
  EXPECT_EQ('1', InPlace(url(256, 7, 203), "http://a b.c/x")[0]);  // host of 7 before '/'
  EXPECT_EQ('0', InPlace(url(256, 6, 203), "http://a b.c/x")[0]);
  EXPECT_EQ('1', InPlace(url(256, 8, 203), "a b.c")[0]);  // a whole-rest host is shorter
  EXPECT_EQ('0', InPlace(url(256, 7, 203), "a b.c")[0]);
  EXPECT_EQ('1', InPlace(url(256, 48, 6), "a.com/ b")[0]);
  EXPECT_EQ('0', InPlace(url(256, 48, 5), "a.com/ b")[0]);
  EXPECT_EQ('0', InPlace(url(256, 48, 203), "/x y")[0]);
  EXPECT_EQ('0', InPlace(url(256, 48, 203), "http://:x y")[0]);
  // Only "http://" in lower case is skipped before the host.
  EXPECT_EQ("1|HTTP://ab%20c/", InPlace(url(256, 4, 203), "HTTP://ab c/"));
  EXPECT_EQ('0', InPlace(url(256, 4, 203), "http://ab c/")[0]);
  // URL limits over the work buffer count as its size too.
  const std::string long_url = "a.com/ " + Rep('p', 1014);  // 1023 bytes escaped
  EXPECT_EQ('1', InPlace(url(5000, 48, 5000), long_url)[0]);
  EXPECT_EQ('0', InPlace(url(5000, 48, 5000), long_url + "p")[0]);
  auto url_ex2 = [](char* x) { return ul_space_escape_ex2(x, 5000, 48, 5000); };
  EXPECT_EQ('1', InPlace(url_ex2, long_url + Rep('p', 1024))[0]);  // 2047
  EXPECT_EQ('0', InPlace(url_ex2, long_url + Rep('p', 1025))[0]);
}

TEST(UlUrlPath, DotSegments) {
  const struct { void (*fn)(char*); const char* in; const char* out; } rows[] = {
      {ul_normalize_path, "/a//b/./c/../d", "/a/b/d"},
      {ul_normalize_path, "/..", "/"},
      {ul_normalize_path, "/a/..", "/"},
      {ul_normalize_path, "/a/b/..?x/../y", "/a/?x/../y"},
      {ul_normalize_path, "/a\\b?c\\d", "/a/b?c\\d"},
      {ul_normalize_path, "/a;b\\c/../d", "/a;b\\c/../d"},
      {ul_normalize_path, "/a;b/../c?d", "/c?d"},
      {ul_normalize_path, "/a/./b/.", "/a/b/"},
      {ul_normalize_path, "/a/b/c/./../../g", "/a/g"},
      {ul_normalize_path, "/a/..b/.c/...", "/a/..b/.c/..."},
      {ul_normalize_path, "/x/http://a.com/../b", "/x/http:/b"},
      {ul_normalize_path_ex, "/a/../b", "/b"},
      {ul_normalize_path_ex2, "//a//", "/a/"},
      {ul_normalize_path_vhplink, "/x/http://a.com/../b", "/x/http://b"},
      {ul_normalize_path_vhplink, "/x/HTTP://a/../../b", "/x/HTTP://b"},
      {ul_normalize_path_vhplink, "/x/http://a/..", "/x/http://"},
      {ul_normalize_path_vhplink, "/x//y", "/x/y"},
      {replace_slash, "\\a\\b;c\\d?e\\f", "/a/b;c/d?e\\f"},
      {replace_slash, "\\a;\\b", "/a;\\b"},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(std::string("0|") + r.out, InPlace([&](char* p) { return r.fn(p), 0; }, r.in)) << r.in;
  }
  std::string ok = "/" + Rep('a', 1022);
  ul_normalize_path_ex(&ok[0]);
  EXPECT_DEATH(ul_normalize_path(&std::string("a/b")[0]), "\\*path == '/'");
  EXPECT_DEATH(ul_normalize_path_ex(&(ok += "a")[0]), "len < 1024");
  EXPECT_DEATH(ul_normalize_path_ex2(&std::string("/" + Rep('a', 2047))[0]), "len < 2048");
}

TEST(UlUrlPath, WholeUrlChecks) {
  const struct { int (*fn)(char*); const char* in; const char* out; } rows[] = {
      {ul_check_url, "http://A.com:80/x", "1|http://a.com/x"},
      {ul_check_url, "HTTP://A%42.com/x", "1|HTTP://ab.com/x"},
      {ul_check_url, "localhost/", "0|"},
      {ul_check_url, "a.com:8080", "0|"},
      {ul_check_url, "a.com:080/", "1|a.com:080/"},
      {ul_check_url, "a.com:0/", "1|a.com:0/"},
      {ul_check_url, "a.com:99999/", "1|a.com:99999/"},
      {ul_check_url, "a.com:123456/", "0|"},
      {ul_check_url, "a.com:/x", "1|a.com/x"},
      {ul_check_url, "a.com", "1|a.com"},
      {ul_check_url, "a.com/x#f", "0|"},
      {ul_check_url, "a.com?x", "0|"},
      {ul_check_url, "a.com/a b", "1|a.com/a%20b"},
      {ul_check_url, "a.com/%41;p?q;r/s", "1|a.com/%41;p?q;r/s"},
      {ul_check_url, "a.com/a\r\nb", "1|a.com/ab"},
      {ul_check_url, "a-.com/", "0|"},
      {ul_check_url, "a.com/\x01", "0|"},
      {ul_check_url, "[::1]:80/x", "0|"},
      {check_URL, "A.b", "1|a.b"},
      {ul_check_url_ex, "A.com:8080/x", "1|a.com:8080/x"},
      {ul_check_url_ex2, "[::1]:80/x", "1|[::1]/x"},
      {ul_check_url_ex2, "[::1]/x", "1|[::1]/x"},
  };
  for (const auto& r : rows) {
    const std::string got = InPlace(r.fn, r.in);
    EXPECT_EQ(r.out, got.substr(0, 2) == "0|" ? "0|" : got) << r.in;
  }
  // A URL at its tier's length is never valid; a blank may not push the
  // path past its limit.
  for (auto t : {std::make_pair(ul_check_url, 256), {ul_check_url_ex, 1024}, {ul_check_url_ex2, 2048}}) {
    EXPECT_EQ('1', InPlace(t.first, "a.com/" + Rep('p', t.second - 7), t.second)[0]);
    EXPECT_EQ('0', InPlace(t.first, "a.com/" + Rep('p', t.second - 6), t.second + 1)[0]);
  }
  EXPECT_EQ('1', InPlace(ul_check_url, "a.com/ " + Rep('p', 198), 256)[0]);
  EXPECT_EQ('0', InPlace(ul_check_url, "a.com/ " + Rep('p', 199), 256)[0]);

  // Checks with fragments work on a copy.
  const struct { const char* url; int rc; } vh[] = {
      {"a.com?x#y", 1}, {"a.com#f", 1}, {"a.com:81?x", 1}, {"a.com:81#x", 1}, {"a.com/p?q#f#g", 1},
      {"a.com/p#f\x01", 0}, {"a.com;x", 0}, {"a.com:81", 0}, {"A.com/p q#r s", 1},
  };
  for (const auto& v : vh) {
    std::string url = v.url;
    EXPECT_EQ(v.rc, ul_check_url_vhplink(url.c_str())) << v.url;
    EXPECT_EQ(v.url, url);
  }
  EXPECT_EQ(1, ul_check_url_vhplink(("a.com/" + Rep('p', 249)).c_str()));
  EXPECT_EQ(0, ul_check_url_vhplink(("a.com/" + Rep('p', 250)).c_str()));
  EXPECT_EQ(1, ul_check_url_ex_vhplink(("a.com/" + Rep('p', 1017)).c_str()));
  EXPECT_EQ(0, ul_check_url_ex2_vhplink(("a.com/" + Rep('p', 2042)).c_str()));
  auto modify = [](char* u) { return ul_check_url_vhplink_modify_url(u, 100000, 48, 5000); };
  EXPECT_EQ("1|http://a.com/x#f", InPlace(modify, "http://A.com/x#f"));
  EXPECT_EQ('1', InPlace(modify, "a.com/" + Rep('p', 2041))[0]);
  EXPECT_EQ('0', InPlace(modify, "a.com/" + Rep('p', 2042))[0]);
}

TEST(UlUrlPath, SplitWithFragment) {
  char site[48], port[6], path[203], frag[203];
  const struct { const char* url; const char* path; const char* frag; } rows[] = {
      {"a.com#f", "/", "#f"}, {"a.com?x#y", "/?x", "#y"}, {"a.com/p", "/p", ""}, {"http://a.com:81/p#f#g", "/p", "#f#g"},
  };
  for (const auto& r : rows) {
    ASSERT_EQ(1, ul_parse_url_vhplink(r.url, site, port, path, frag)) << r.url;
    EXPECT_EQ(std::string(r.path) + "|" + r.frag, std::string(path) + "|" + frag);
  }
  EXPECT_EQ(1, ul_parse_url_vhplink("a.com/p#f", site, port, path, nullptr));
  EXPECT_STREQ("/p#f", path);
  // With the '/' put in, a path of 202 bytes passes and one of 203 fails; a
  // URL of 255 bytes is split, one of 256 refused.
  EXPECT_EQ(1, ul_parse_url_vhplink(("a.com#" + Rep('f', 200)).c_str(), site, port, path, frag));
  EXPECT_EQ(202u, strlen(frag) + 1);
  EXPECT_EQ(0, ul_parse_url_vhplink(("a.com#" + Rep('f', 201)).c_str(), site, port, path, frag));
  const std::string longest = Rep('a', 43) + ".com:12345/" + Rep('p', 201);
  EXPECT_EQ(1, ul_parse_url_vhplink(longest.c_str(), site, port, path, frag));
  EXPECT_EQ(0, ul_parse_url_vhplink((longest + "p").c_str(), site, port, path, frag));
  EXPECT_EQ(0, ul_parse_url_vhplink((Rep('a', 43) + ".com#" + Rep('f', 207)).c_str(), site, port, path, frag));
  // Without a path buffer only the whole length bounds the path: 255 bytes
  // split, 256 are too long.
  EXPECT_EQ(1, ul_parse_url_vhplink(("a.com/" + Rep('p', 249)).c_str(), site, port, nullptr, nullptr));
  EXPECT_EQ(0, ul_parse_url_vhplink(("a.com/" + Rep('p', 250)).c_str(), site, port, nullptr, nullptr));
}

TEST(UlUrlPath, NormalFormTest) {
  const struct { const char* url; int frag; UrlType type; int rc; } rows[] = {
      {"a.com/", 0, URL_TYPE_DEFAULT, 1}, {"http://a.com/", 0, URL_TYPE_DEFAULT, 0},
      {"A.com/", 0, URL_TYPE_DEFAULT, 0}, {"a-.com/", 0, URL_TYPE_DEFAULT, 0},
      {"localhost/", 0, URL_TYPE_DEFAULT, 0}, {"a.com", 0, URL_TYPE_DEFAULT, 0},
      {"a.com?x", 0, URL_TYPE_DEFAULT, 0}, {"a.com:/", 0, URL_TYPE_DEFAULT, 0},
      {"a.com:123456/", 0, URL_TYPE_DEFAULT, 0}, {"a.com:12a/", 0, URL_TYPE_DEFAULT, 0},
      {"a.com:0/", 0, URL_TYPE_DEFAULT, 0}, {"a.com:65536/", 0, URL_TYPE_DEFAULT, 0},
      {"a.com:80/", 0, URL_TYPE_DEFAULT, 0}, {"a.com:65535/", 0, URL_TYPE_DEFAULT, 1},
      {"a.com:08080/", 0, URL_TYPE_DEFAULT, 1}, {"a.com/%zz a", 0, URL_TYPE_DEFAULT, 1},
      {"a.com/x#f", 0, URL_TYPE_DEFAULT, 0}, {"a.com/x#f#g", 1, URL_TYPE_DEFAULT, 1},
      {"a.com/\x01", 1, URL_TYPE_DEFAULT, 0}, {"a..com/", 0, URL_TYPE_DEFAULT, 0},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(r.rc, ul_isnormalized_url_with_fragment_flag(r.url, r.frag, r.type)) << r.url;
  }
  EXPECT_EQ(1, ul_isnormalized_url_save_fragment("a.com/x#f"));
  EXPECT_EQ(0, ul_isnormalized_url_ex("a.com/x#f"));
  EXPECT_EQ(1, ul_isnormalized_url_ex_save_fragment("a.com/x#f"));
  EXPECT_EQ(0, ul_isnormalized_url_ex2("a.com/x#f"));
  EXPECT_EQ(1, ul_isnormalized_url_ex2_save_fragment("a.com/x#f"));
  for (auto t : {std::make_pair(URL_TYPE_DEFAULT, 255), {URL_TYPE_EX, 1023}, {URL_TYPE_EX2, 2047}}) {
    EXPECT_EQ(1, ul_isnormalized_url_with_fragment_flag(("a.com/" + Rep('p', t.second - 6)).c_str(), 0, t.first));
    EXPECT_EQ(0, ul_isnormalized_url_with_fragment_flag(("a.com/" + Rep('p', t.second - 5)).c_str(), 0, t.first));
  }
}

}  // namespace
