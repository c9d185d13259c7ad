#include "base/base64.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

std::string Encode(const std::string& in) {
  std::string out = "stale";
  base::Base64Encode(in, &out);
  return out;
}

TEST(Base64, EncodesRfc4648Vectors) {
  EXPECT_EQ(Encode(""), "");
  EXPECT_EQ(Encode("f"), "Zg==");
  EXPECT_EQ(Encode("fo"), "Zm8=");
  EXPECT_EQ(Encode("foo"), "Zm9v");
  EXPECT_EQ(Encode("foob"), "Zm9vYg==");
  EXPECT_EQ(Encode("fooba"), "Zm9vYmE=");
  EXPECT_EQ(Encode("foobar"), "Zm9vYmFy");
  EXPECT_EQ(Encode(std::string("\x00\xFF\xFE", 3)), "AP/+");
}

TEST(Base64, DecodesRfc4648Vectors) {
  const char* pairs[][2] = {{"", ""},         {"Zg==", "f"},         {"Zm8=", "fo"},
                            {"Zm9v", "foo"},  {"Zm9vYg==", "foob"},  {"Zm9vYmE=", "fooba"},
                            {"Zm9vYmFy", "foobar"}, {"YWI=", "ab"}};
  for (const auto& p : pairs) {
    std::string out = "stale";
    ASSERT_TRUE(base::Base64Decode(p[0], &out)) << p[0];
    EXPECT_EQ(out, p[1]);
  }
  // Leftover bits of the last character are ignored.
  std::string out;
  ASSERT_TRUE(base::Base64Decode("YWJ=", &out));
  EXPECT_EQ(out, "ab");
}

TEST(Base64, StrictDecodingLeavesOutputUntouched) {
  const char* bad[] = {"Y",    "YWJ",      "YWJjZ",   "YW=j", "Y===", "====",  "=AAA",
                       "YWJj\n", "YW Jj",  "YWJj\nYWJj", "YW-j", "YW_j", "Zg==Zg=="};
  for (const char* b : bad) {
    std::string out = "keep";
    EXPECT_FALSE(base::Base64Decode(b, &out)) << b;
    EXPECT_EQ(out, "keep") << b;
  }
  // An embedded NUL is not of the alphabet either.
  std::string out = "keep";
  EXPECT_FALSE(base::Base64Decode(base::StringPiece("YW\0j", 4), &out));
  EXPECT_EQ(out, "keep");
  char buf[8];
  EXPECT_EQ(modp_b64_decode(buf, "YW=j", 4), MODP_B64_ERROR);
}

TEST(Base64, BufferFunctionsReportLengths) {
  char buf[16];
  EXPECT_EQ(modp_b64_encode(buf, "abcd", 4), 8u);
  EXPECT_STREQ(buf, "YWJjZA==");
  EXPECT_EQ(modp_b64_decode(buf, "YWJjZA==", 8), 4u);
  EXPECT_EQ(std::string(buf, 4), "abcd");
}

TEST(Base64, RandomRoundTrips) {
  std::mt19937 rng(12345);
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  std::string back;
  ASSERT_TRUE(base::Base64Decode(Encode(all), &back));
  EXPECT_EQ(back, all);
  for (int round = 0; round < 500; ++round) {
    std::string in(rng() % 200, '\0');
    for (char& c : in) c = static_cast<char>(rng());
    std::string enc = Encode(in);
    ASSERT_EQ(enc.size(), (in.size() + 2) / 3 * 4);
    std::string dec;
    ASSERT_TRUE(base::Base64Decode(enc, &dec));
    ASSERT_EQ(dec, in);
  }
}

}  // namespace
