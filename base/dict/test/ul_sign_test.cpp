// Signature functions: vectors computed from the signature rules, the
// generated tables checked against the rules that define them.
#include <openssl/evp.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "gtest/gtest.h"
#include "support/support.h"
#include "ul_dict.h"

namespace {

using Sig = std::pair<u_int, u_int>;

std::string Bytes300() {
  std::string s;
  for (int i = 0; i < 300; ++i) s.push_back(static_cast<char>((i * 7 + 3) & 0xFF));
  return s;
}

Sig Fs64(const std::string& s) {
  u_int a = 1, b = 1;
  EXPECT_EQ(1, creat_sign_fs64(s.data(), static_cast<int>(s.size()), &a, &b));
  return {a, b};
}

TEST(SignTables, FollowTheirRules) {
  // One running value across the three prime tables.
  uint64_t v = 1;
  const u_int* lists[] = {Mod_Prime_List_1, Mod_Prime_List_2, Mod_Prime_List_3};
  const uint64_t primes[] = {16777213, 16777199, 16777183};
  for (int t = 0; t < 3; ++t) {
    for (int i = 0; i < 256; ++i) {
      v = v * 256 % primes[t];
      ASSERT_EQ(v, lists[t][i]) << "table " << t << " entry " << i;
    }
  }
  const u_int* remains[] = {remain256_0, remain256_1, remain256_2};
  const uint64_t qs[] = {16777213, 13999981, 11999989};
  for (int t = 0; t < 3; ++t) {
    uint64_t r = 1;
    for (int i = 0; i < 256; ++i, r = r * 256 % qs[t]) ASSERT_EQ(r, remains[t][i]);
  }
  for (const unsigned char* perm : {rearr256_1, rearr256_2}) {
    bool seen[256] = {};
    for (int i = 0; i < 256; ++i) seen[perm[i]] = true;
    for (bool s : seen) EXPECT_TRUE(s);
  }
  EXPECT_EQ(103, rearr256_1[0]);
  EXPECT_EQ(64, rearr256_1[255]);
  EXPECT_EQ(180, rearr256_2[0]);
  EXPECT_EQ(111, rearr256_2[255]);
}

TEST(SignFs64, CopiesShortStringsAndSumsLongOnes) {
  EXPECT_EQ(Sig(0, 0), Fs64(""));
  EXPECT_EQ(Sig(0x636261, 0), Fs64("abc"));
  EXPECT_EQ(Sig(0x64636261, 0), Fs64("abcd"));
  EXPECT_EQ(Sig(0x64636261, 0x676665), Fs64("abcdefg"));
  EXPECT_EQ(Sig(0x64636261, 0x68676665), Fs64("abcdefgh"));
  EXPECT_EQ(Sig(0x053E3BD2, 0xB44A021F), Fs64("abcdefghi"));
  EXPECT_EQ(Sig(0x054969D2, 0xB5048E05), Fs64("abcdefghij"));
  // Unsigned bytes, weights reused from entry 0 past 256, a NUL inside.
  EXPECT_EQ(Sig(0x0D0019D9, 0x53100296), Fs64(std::string(9, '\xFF')));
  EXPECT_EQ(Sig(0xEC278752, 0x0DFB7E06), Fs64(Bytes300()));
  EXPECT_EQ(Sig(0x106B4185, 0xD8E1D290), Fs64(std::string("ab\0cdefghij", 11)));
  u_int a = 9, b = 9;
  creat_sign_fs64("abc", -3, &a, &b);
  EXPECT_EQ(Sig(0, 0), Sig(a, b));

  const std::string s = Bytes300();
  EXPECT_EQ(0xEC278752u, getsigns_24_1(s.data(), 300));
  EXPECT_EQ(0x0DFB7E06u, getsigns_24_2(s.data(), 300));
  EXPECT_EQ(0u, getsigns_24_1(s.data(), 0));
  EXPECT_EQ(0x054969D2u, getsign_24_1("abcdefghij"));
  EXPECT_EQ(0xB5048E05u, getsign_24_2("abcdefghij"));
  EXPECT_EQ(0u, getsign_24_1(""));
}

TEST(SignF64AndHost, FollowTheByteRule) {
  u_int a, b;
  creat_sign_f64("abcdefghij", 10, &a, &b);
  EXPECT_EQ(Sig(0x054969D2, 0xB5048E05), Sig(a, b));
  creat_sign_f64("abc", 3, &a, &b);
  EXPECT_EQ(Sig(0x636261, 0), Sig(a, b));
  creat_sign_7_host("abcdefgh", 8, &a, &b);
  EXPECT_EQ(Sig(0x053E30BF, 0x00DA49F6), Sig(a, b));
  creat_sign_7_host("abcdefg", 7, &a, &b);
  EXPECT_EQ(Sig(0x64636261, 0x676665), Sig(a, b));
  creat_sign_7_host("abcdefghij", 10, &a, &b);
  EXPECT_EQ(Sig(0x054969D2, 0x00048E05), Sig(a, b));
  creat_sign_7_host("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 8, &a, &b);
  EXPECT_EQ(Sig(0x0CFFFEF4, 0x00254357), Sig(a, b));
}

TEST(SignDeathTest, PreconditionsStopTheProcess) {
  u_int a, b;
  EXPECT_DEATH(creat_sign_f64("abcd", 3, &a, &b), "strlen\\(psrc\\) == \\(unsigned int\\) slen");
  EXPECT_DEATH(creat_sign_7_host("abcd", 5, &a, &b), "strlen\\(psrc\\) == \\(unsigned int\\) slen");
  EXPECT_DEATH(creat_sign_md64("abcd", 3, &a, &b), "psrc\\[slen\\]==0");
  EXPECT_DEATH(creat_sign_murmur64("abcd", 2, &a, &b, 0), "psrc\\[slen\\]==0");
  EXPECT_DEATH(creat_sign32(nullptr), "str_src");
}

Sig OpenSslMd5Fold(const std::string& s) {
  unsigned char d[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  EXPECT_EQ(1, EVP_Digest(s.data(), s.size(), d, &n, EVP_md5(), nullptr));
  u_int w[4];
  std::memcpy(w, d, 16);
  return {w[0] + w[1], w[2] + w[3]};
}

TEST(SignMd5, FoldsTheDigest) {
  u_int a, b;
  creat_sign_md64("abcdefghij", 10, &a, &b);
  EXPECT_EQ(Sig(0x97A30EEB, 0xD78F2EF6), Sig(a, b));
  creat_sign_md64("", 0, &a, &b);
  EXPECT_EQ(Sig(0xDE3E1E63, 0x164C79D5), Sig(a, b));
  const std::string cases[] = {"", "abcdefghij", Bytes300(), std::string("a\0b", 3)};
  for (const std::string& s : cases) {
    creat_sign_mds64(s.data(), static_cast<int>(s.size()), &a, &b);
    EXPECT_EQ(OpenSslMd5Fold(s), Sig(a, b)) << s.size();
  }
  creat_sign_mds64("a\0b", 3, &a, &b);
  EXPECT_EQ(Sig(0xD1F2F197, 0xE2A6EF6F), Sig(a, b));
}

TEST(SignMurmur, IsMurmurHash64A) {
  u_int a, b;
  creat_sign_murmur64("abcdefghij", 10, &a, &b, 0);
  EXPECT_EQ(Sig(0xA33F0DBF, 0x245BCB51), Sig(a, b));
  creat_sign_murmur64("abcdefghij", 10, &a, &b, 1);
  EXPECT_EQ(Sig(0xEC554A5E, 0x18DA8E78), Sig(a, b));
  creat_sign_murmur64("", 0, &a, &b, 0);
  EXPECT_EQ(Sig(0, 0), Sig(a, b));
  creat_sign_murmur64("abcdefgh", 8, &a, &b, 0);
  EXPECT_EQ(Sig(0xAFDB0257, 0xFF41AA98), Sig(a, b));
  const std::string s = Bytes300();
  creat_sign_murmurs64(s.data(), 300, &a, &b, 0xDEADBEEF);
  EXPECT_EQ(Sig(0x7806372E, 0x2FCBF1A9), Sig(a, b));
  creat_sign_murmurs64(std::string(9, '\xFF').data(), 9, &a, &b, 7);
  EXPECT_EQ(Sig(0x6C35390B, 0xE98614FB), Sig(a, b));
}

TEST(SignT256, ThreeSumsUpTo256Bytes) {
  u_int a, b;
  EXPECT_EQ(1, creat_sign_t256("abcdefghij", 10, &a, &b));
  EXPECT_EQ(Sig(0x0FEB4969, 0xA156ED50), Sig(a, b));
  const std::string s = Bytes300();
  EXPECT_EQ(1, creat_sign_t256(s.data(), 256, &a, &b));
  EXPECT_EQ(Sig(0x6417F9BB, 0x3BCBAD5F), Sig(a, b));
  EXPECT_EQ(1, creat_sign_t256(std::string(9, '\xFF').data(), 9, &a, &b));
  EXPECT_EQ(Sig(0xBBB0001A, 0x3CA9F9AC), Sig(a, b));
  EXPECT_EQ(1, creat_sign_t256("abcde", 5, &a, &b));
  EXPECT_EQ(Sig(0x64636261, 0x65), Sig(a, b));
  EXPECT_EQ(0, creat_sign_t256("", 0, &a, &b));
  EXPECT_EQ(Sig(0, 0), Sig(a, b));

  testsupport::CaptureFd err(2);
  EXPECT_EQ(-1, creat_sign_t256(s.data(), 257, &a, &b));
  const std::string log = err.Stop();
  EXPECT_EQ(Sig(0xFFFFFFFF, 0xFFFFFFFF), Sig(a, b));
  EXPECT_NE(std::string::npos, log.find("string too long (257 > 256 )"));
}

TEST(SignWordSums, OlderSignatures) {
  EXPECT_EQ(0x332B8D84u, creat_sign32("abcdefghij"));
  EXPECT_EQ(0x636261u, creat_sign32("abc"));
  // 128 bytes: 32 words, rotation by 0.
  std::string s128;
  for (int i = 0; i < 128; ++i) s128.push_back(static_cast<char>((i * 7 + 3) & 0xFF));
  EXPECT_EQ(0x4E6E8FA0u, creat_sign32(s128.c_str()));

  u_int a, b;
  creat_sign64("abcdefghij", &a, &b);
  EXPECT_EQ(Sig(0xA19E03FE, 0x918DF3EE), Sig(a, b));
  creat_sign64("abcdefgh", &a, &b);
  EXPECT_EQ(Sig(0x64636261, 0x68676665), Sig(a, b));
  creat_sign64("abcde", &a, &b);
  EXPECT_EQ(Sig(0x64636261, 0x65), Sig(a, b));
  std::string hi;
  for (int c = 0x80; c < 0xC0; ++c) hi.push_back(static_cast<char>(c));
  creat_sign64(hi.c_str(), &a, &b);
  EXPECT_EQ(Sig(0x0D001D15, 0xECE0FCF4), Sig(a, b));

  const u_int terms[5] = {0x12345678, 0xFFFFFFFF, 0x80000001, 7, 0xDEADBEEF};
  creat_sign_t64(terms, 20, "abcdefghij", &a, &b);
  EXPECT_EQ(Sig(0xA356FDD9, 0x72E0C58D), Sig(a, b));
  creat_sign_nt64(terms, 20, "abcdefghij", &a, &b);
  EXPECT_EQ(Sig(0xA356FDD9, 0x72E0C597), Sig(a, b));
  testsupport::CaptureFd err(2);
  creat_sign_t64(terms, 18, "xy", &a, &b);
  const std::string log = err.Stop();
  EXPECT_EQ(Sig(0x01B8853F, 0xE152D19F), Sig(a, b));
  EXPECT_NE(std::string::npos, log.find("[creat_sign_t64] size must = 4*n "));

  creat_sign_t64(nullptr, 0, "", &a, &b);
  EXPECT_EQ(Sig(0, 0), Sig(a, b));

  a_creat_sign_t64("abcdefghij", 10, &a, &b);
  EXPECT_EQ(Sig(0xA19E03FE, 0x918DF3EE), Sig(a, b));
  a_creat_sign_t64("ab", 2, &a, &b);
  EXPECT_EQ(Sig(0x6261, 0x6261), Sig(a, b));
  a_creat_sign_t64("a\0b", 3, &a, &b);
  EXPECT_EQ(Sig(0x61, 0x61), Sig(a, b));
  a_creat_sign_t64("abcdefgh\0xz", 11, &a, &b);
  EXPECT_EQ(Sig(0xA19D9995, 0x918D8985), Sig(a, b));
  a_creat_sign_t64("\xFF\xFE\xFD\xFC\xFB", 5, &a, &b);
  EXPECT_EQ(Sig(0xFB, 0xF9FBFEFA), Sig(a, b));

  EXPECT_EQ(0x891DA225u, creat_term_sign("\xD6\xD0\xCE\xC4x"));
  EXPECT_EQ(0x63626190u, creat_term_sign("\x90" "abc"));  // 4 bytes: the word itself
  EXPECT_EQ(0x332B8D84u, creat_term_sign("abcdefghij"));
  EXPECT_EQ(0x6261u, creat_term_sign("ab"));
  EXPECT_EQ(0x8000D0D6u, creat_term_sign("\xD6\xD0"));
}

}  // namespace
