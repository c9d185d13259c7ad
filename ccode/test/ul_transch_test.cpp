#include "ul_transch.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Runs a folding into a separate buffer and in place; both must agree.
std::string Fold(void (*fn)(const char*, char*), const std::string& in) {
  std::string out(in.size() + 1, '\x7f');
  fn(in.c_str(), &out[0]);
  std::string apart(out.c_str());
  std::string same = in + '\0';
  fn(same.c_str(), &same[0]);
  EXPECT_EQ(std::string(same.c_str()), apart) << "in place differs";
  return apart;
}

TEST(UlTrans2Lower, LowersAsciiAndKeepsDoubleByteCharacters) {
  EXPECT_EQ(Fold(ul_trans2lower, "AbC09Z@[`{"), "abc09z@[`{");
  // Trail bytes in 'A'..'Z' belong to the character and stay upper case.
  EXPECT_EQ(Fold(ul_trans2lower, "AbC\xC1\x41\xB0\x5A" "X"), "abc\xC1\x41\xB0\x5A" "x");
  // Any byte of 0x80 or above takes the next one with it, even a 0x80 lead.
  EXPECT_EQ(Fold(ul_trans2lower, "\x80QQ"), "\x80Qq");
  // A lead byte that ends the text is copied alone.
  EXPECT_EQ(Fold(ul_trans2lower, "AB\xC1"), "ab\xC1");
  EXPECT_EQ(Fold(ul_trans2lower, ""), "");
  ul_trans2lower(nullptr, nullptr);  // nothing happens
}

TEST(UlTrans2Bj, FoldsFullWidthAscii) {
  ASSERT_EQ(map_for_bj, nullptr);
  EXPECT_EQ(Fold(ul_trans2bj, "\xA3\xC1\xA3\xA0\xA3\xA1\xA3\xFE"), "A !~");
  // Other characters and row-A3 characters below A0 are kept.
  EXPECT_EQ(Fold(ul_trans2bj, "x\xB0\xA1\xA3\x50y"), "x\xB0\xA1\xA3\x50y");
  // A cut character at the end is dropped; a lone 0x80 is not a lead.
  EXPECT_EQ(Fold(ul_trans2bj, "ab\xB0"), "ab");
  EXPECT_EQ(Fold(ul_trans2bj, "ab\x80"), "ab\x80");
  EXPECT_EQ(Fold(ul_trans2bj, "\xA3\xC1\xC1"), "A");
}

TEST(UlTrans2Bj, LoadedMapTakesPrecedence) {
  unsigned char map[96];
  for (int i = 0; i < 96; ++i) map[i] = 0xFF;
  map[0xC1 - 0xA0] = 'Z';
  map_for_bj = map;
  std::string got = Fold(ul_trans2bj, "\xA3\xC1\xA3\xC2");
  map_for_bj = nullptr;
  EXPECT_EQ(got, "Z\xA3\xC2");
}

TEST(UlTrans2BjExt, FoldsRowA1Symbols) {
  ASSERT_EQ(map_for_bj_ext, nullptr);
  EXPECT_EQ(Fold(ul_trans2bj_ext, "\xA1\xA1\xA1\xA2\xA1\xA3\xA1\xAE\xA1\xB1\xA1\xC3\xA1\xE7"), " ,.'\":$");
  EXPECT_EQ(Fold(ul_trans2bj_ext, "\xA1\xA4\xA1\xA0\xA3\xC1"), "\xA1\xA4\xA1\xA0\xA3\xC1");
  EXPECT_EQ(Fold(ul_trans2bj_ext, "a\xA1"), "a");

  unsigned char map[96];
  for (int i = 0; i < 96; ++i) map[i] = static_cast<unsigned char>(i);
  map[0xA4 - 0xA0] = '*';
  map_for_bj_ext = map;  // identity for A1A1 now: the character is kept
  std::string got = Fold(ul_trans2bj_ext, "\xA1\xA1\xA1\xA4");
  map_for_bj_ext = nullptr;
  EXPECT_EQ(got, "\xA1\xA1*");
}

}  // namespace
