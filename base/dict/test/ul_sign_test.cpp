// Signature functions: vectors computed from the signature rules, the
// generated tables checked against the rules that define them.
#include <openssl/evp.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "gtest/gtest.h"
#include "support/support.h"
#include "ul_dict.h"

namespace {

using Sig = std::pair<u_int, u_int>;
using SigFn = Sig (*)(const std::string& s, u_int seed);

// A call's text and the call over s as a pair; 32-bit signatures leave the
// second word 0.
#define SIG_FN(call)                                                     \
  #call, [](const std::string& s, u_int seed) -> Sig {                   \
    const int n = static_cast<int>(s.size());                            \
    u_int a = 0, b = 0;                                                  \
    (void)seed; (void)n; call;                                           \
    return {a, b};                                                       \
  }

const u_int kTerms[5] = {0x12345678, 0xFFFFFFFF, 0x80000001, 7, 0xDEADBEEF};

std::string Bytes(int len) {
  std::string s;
  for (int i = 0; i < len; ++i) s.push_back(static_cast<char>((i * 7 + 3) & 0xFF));
  return s;
}

TEST(SignTables, FollowTheirRules) {
  uint64_t v = 1;  // one running value across the three prime tables
  const u_int* lists[] = {Mod_Prime_List_1, Mod_Prime_List_2, Mod_Prime_List_3};
  const uint64_t primes[] = {16777213, 16777199, 16777183};
  const u_int* remains[] = {remain256_0, remain256_1, remain256_2};
  const uint64_t qs[] = {16777213, 13999981, 11999989};
  for (int t = 0; t < 3; ++t) {
    uint64_t r = 1;
    for (int i = 0; i < 256; ++i, r = r * 256 % qs[t]) {
      v = v * 256 % primes[t];
      ASSERT_EQ(v, lists[t][i]) << "table " << t << " entry " << i;
      ASSERT_EQ(r, remains[t][i]) << "remain " << t << " entry " << i;
    }
  }
  for (const unsigned char* perm : {rearr256_1, rearr256_2}) {
    bool seen[256] = {};
    for (int i = 0; i < 256; ++i) seen[perm[i]] = true;
    for (bool s : seen) EXPECT_TRUE(s);
  }
  EXPECT_EQ(Sig(103, 64), Sig(rearr256_1[0], rearr256_1[255]));
  EXPECT_EQ(Sig(180, 111), Sig(rearr256_2[0], rearr256_2[255]));
}

TEST(Sign, VectorsOfEveryFunction) {
  const std::string ff9(9, '\xFF'), b300 = Bytes(300);
  std::string hi;  // 0x80..0xBF
  for (int c = 0x80; c < 0xC0; ++c) hi.push_back(static_cast<char>(c));
  using Cases = std::vector<std::pair<std::string, Sig>>;
  const struct {
    const char* fn;
    SigFn f;
    u_int seed;
    Cases cases;
  } rows[] = {
      // Up to 8 bytes copied; longer strings summed with unsigned bytes,
      // weights reused from entry 0 past 256, a NUL inside.
      {SIG_FN(EXPECT_EQ(1, creat_sign_fs64(s.data(), n, &a, &b))), 0,
       {{"", {0, 0}}, {"abc", {0x636261, 0}}, {"abcd", {0x64636261, 0}},
        {"abcdefg", {0x64636261, 0x676665}}, {"abcdefgh", {0x64636261, 0x68676665}},
        {"abcdefghi", {0x053E3BD2, 0xB44A021F}}, {"abcdefghij", {0x054969D2, 0xB5048E05}},
        {ff9, {0x0D0019D9, 0x53100296}}, {b300, {0xEC278752, 0x0DFB7E06}},
        {std::string("ab\0cdefghij", 11), {0x106B4185, 0xD8E1D290}}}},
      {SIG_FN(a = getsigns_24_1(s.data(), n)), 0, {{b300, {0xEC278752, 0}}, {"", {0, 0}}}},
      {SIG_FN(a = getsigns_24_2(s.data(), n)), 0, {{b300, {0x0DFB7E06, 0}}}},
      {SIG_FN(a = getsign_24_1(s.c_str())), 0, {{"abcdefghij", {0x054969D2, 0}}, {"", {0, 0}}}},
      {SIG_FN(a = getsign_24_2(s.c_str())), 0, {{"abcdefghij", {0xB5048E05, 0}}}},
      {SIG_FN(creat_sign_f64(s.c_str(), n, &a, &b)), 0,
       {{"abcdefghij", {0x054969D2, 0xB5048E05}}, {"abc", {0x636261, 0}}}},
      {SIG_FN(creat_sign_7_host(s.c_str(), n, &a, &b)), 0,
       {{"abcdefgh", {0x053E30BF, 0x00DA49F6}}, {"abcdefg", {0x64636261, 0x676665}},
        {"abcdefghij", {0x054969D2, 0x00048E05}}, {std::string(8, '\xFF'), {0x0CFFFEF4, 0x00254357}}}},
      {SIG_FN(creat_sign_md64(s.c_str(), n, &a, &b)), 0,
       {{"abcdefghij", {0x97A30EEB, 0xD78F2EF6}}, {"", {0xDE3E1E63, 0x164C79D5}}}},
      {SIG_FN(creat_sign_mds64(s.data(), n, &a, &b)), 0, {{std::string("a\0b", 3), {0xD1F2F197, 0xE2A6EF6F}}}},
      {SIG_FN(creat_sign_murmur64(s.c_str(), n, &a, &b, seed)), 0,
       {{"abcdefghij", {0xA33F0DBF, 0x245BCB51}}, {"", {0, 0}}, {"abcdefgh", {0xAFDB0257, 0xFF41AA98}}}},
      {SIG_FN(creat_sign_murmur64(s.c_str(), n, &a, &b, seed)), 1, {{"abcdefghij", {0xEC554A5E, 0x18DA8E78}}}},
      {SIG_FN(creat_sign_murmurs64(s.data(), n, &a, &b, seed)), 0xDEADBEEF, {{b300, {0x7806372E, 0x2FCBF1A9}}}},
      {SIG_FN(creat_sign_murmurs64(s.data(), n, &a, &b, seed)), 7, {{ff9, {0x6C35390B, 0xE98614FB}}}},
      {SIG_FN(EXPECT_EQ(n > 0 ? 1 : 0, creat_sign_t256(s.data(), n, &a, &b))), 0,
       {{"abcdefghij", {0x0FEB4969, 0xA156ED50}}, {b300.substr(0, 256), {0x6417F9BB, 0x3BCBAD5F}},
        {ff9, {0xBBB0001A, 0x3CA9F9AC}}, {"abcde", {0x64636261, 0x65}}, {"", {0, 0}}}},
      // 128 bytes: 32 words, rotation by 0.
      {SIG_FN(a = creat_sign32(s.c_str())), 0,
       {{"abcdefghij", {0x332B8D84, 0}}, {"abc", {0x636261, 0}}, {Bytes(128), {0x4E6E8FA0, 0}}}},
      {SIG_FN(creat_sign64(s.c_str(), &a, &b)), 0,
       {{"abcdefghij", {0xA19E03FE, 0x918DF3EE}}, {"abcdefgh", {0x64636261, 0x68676665}},
        {"abcde", {0x64636261, 0x65}}, {hi, {0x0D001D15, 0xECE0FCF4}}}},
      {SIG_FN(creat_sign_t64(kTerms, 20, s.c_str(), &a, &b)), 0, {{"abcdefghij", {0xA356FDD9, 0x72E0C58D}}}},
      {SIG_FN(creat_sign_nt64(kTerms, 20, s.c_str(), &a, &b)), 0, {{"abcdefghij", {0xA356FDD9, 0x72E0C597}}}},
      {SIG_FN(a_creat_sign_t64(s.data(), n, &a, &b)), 0,
       {{"abcdefghij", {0xA19E03FE, 0x918DF3EE}}, {"ab", {0x6261, 0x6261}}, {std::string("a\0b", 3), {0x61, 0x61}},
        {std::string("abcdefgh\0xz", 11), {0xA19D9995, 0x918D8985}},
        {"\xFF\xFE\xFD\xFC\xFB", {0xFB, 0xF9FBFEFA}}}},
      // 4 bytes: the word itself.
      {SIG_FN(a = creat_term_sign(s.c_str())), 0,
       {{"\xD6\xD0\xCE\xC4x", {0x891DA225, 0}}, {"\x90" "abc", {0x63626190, 0}},
        {"abcdefghij", {0x332B8D84, 0}}, {"ab", {0x6261, 0}}, {"\xD6\xD0", {0x8000D0D6, 0}}}},
  };
  for (const auto& r : rows) {
    for (const auto& [in, want] : r.cases) {
      EXPECT_EQ(want, r.f(in, r.seed)) << r.fn << ", seed " << r.seed << ", " << in.size() << " bytes: " << in;
    }
  }

  u_int a = 9, b = 9;
  creat_sign_fs64("abc", -3, &a, &b);
  EXPECT_EQ(Sig(0, 0), Sig(a, b));
  creat_sign_t64(nullptr, 0, "", &a, &b);
  EXPECT_EQ(Sig(0, 0), Sig(a, b));

  testsupport::CaptureFd err(2);
  EXPECT_EQ(-1, creat_sign_t256(b300.data(), 257, &a, &b));
  EXPECT_EQ(Sig(0xFFFFFFFF, 0xFFFFFFFF), Sig(a, b));
  creat_sign_t64(kTerms, 18, "xy", &a, &b);
  EXPECT_EQ(Sig(0x01B8853F, 0xE152D19F), Sig(a, b));
  const std::string log = err.Stop();
  EXPECT_NE(std::string::npos, log.find("string too long (257 > 256 )"));
  EXPECT_NE(std::string::npos, log.find("[creat_sign_t64] size must = 4*n "));
}

// MD5 folded into two words, computed by OpenSSL.
Sig OpenSslMd5Fold(const std::string& s) {
  unsigned char d[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  EXPECT_EQ(1, EVP_Digest(s.data(), s.size(), d, &n, EVP_md5(), nullptr));
  u_int w[4];
  std::memcpy(w, d, 16);
  return {w[0] + w[1], w[2] + w[3]};
}

TEST(SignMd5, FoldsOpenSslDigest) {
  for (const std::string& s : {std::string(), std::string("abcdefghij"), Bytes(300), std::string("a\0b", 3)}) {
    u_int a, b;
    creat_sign_mds64(s.data(), static_cast<int>(s.size()), &a, &b);
    EXPECT_EQ(OpenSslMd5Fold(s), Sig(a, b)) << "mds64 of " << s.size() << " bytes";
    if (std::strlen(s.c_str()) == s.size()) {
      creat_sign_md64(s.c_str(), static_cast<int>(s.size()), &a, &b);
      EXPECT_EQ(OpenSslMd5Fold(s), Sig(a, b)) << "md64 of " << s.size() << " bytes";
    }
  }
}

TEST(SignDeathTest, PreconditionsStopTheProcess) {
  u_int a, b;
  EXPECT_DEATH(creat_sign_f64("abcd", 3, &a, &b), "strlen\\(psrc\\) == \\(unsigned int\\) slen");
  EXPECT_DEATH(creat_sign_7_host("abcd", 5, &a, &b), "strlen\\(psrc\\) == \\(unsigned int\\) slen");
  EXPECT_DEATH(creat_sign_md64("abcd", 3, &a, &b), "psrc\\[slen\\]==0");
  EXPECT_DEATH(creat_sign_murmur64("abcd", 2, &a, &b, 0), "psrc\\[slen\\]==0");
  EXPECT_DEATH(creat_sign32(nullptr), "str_src");
}

}  // namespace
