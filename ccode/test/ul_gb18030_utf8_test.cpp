// GB18030 -> UTF-8 (ul_gb18030_utf8_str and ul_gb_utf8_str) against the
// platform's converter run through the library's converter loop (the
// behaviour every caller relies on: the same bytes, the same count of bytes
// not converted, the same stop when the destination is nearly full), over
// every two- and four-byte code, random and boundary byte strings and every
// destination size.
#include <gtest/gtest.h>
#include <iconv.h>
#include <string.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ccode_test_data.h"
#include "support/digest.h"
#include "ul_ccode_conv.h"
#include "ul_ccode_load.h"
#include "ul_gb18030.h"
#include "ul_iconv_loop.h"
#include "ul_jcode.h"

namespace {

using testsupport::Digest;

// Bytes of the GB18030 four-byte code with linear index i (0 is 81 30 81 30).
std::string Four(uint32_t i) {
  std::string s(4, '\0');
  s[3] = static_cast<char>(0x30 + i % 10);
  i /= 10;
  s[2] = static_cast<char>(0x81 + i % 126);
  i /= 126;
  s[1] = static_cast<char>(0x30 + i % 10);
  s[0] = static_cast<char>(0x81 + i / 10);
  return s;
}

constexpr uint32_t kFourCodes = 126 * 10 * 126 * 10;

struct Result {
  std::string out;  // up to the terminator
  int count;
  bool operator==(const Result& o) const { return out == o.out && count == o.count; }
};

std::ostream& operator<<(std::ostream& os, const Result& r) {
  os << r.count << " [";
  for (unsigned char c : r.out) os << std::hex << static_cast<int>(c) << ' ';
  return os << "]";
}

class Gb18030Utf8 : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(ul_gb18030_utf8_open(&to_utf8_, nullptr), 0);
    reference_ = iconv_open("UTF-8", "GB18030");
    ASSERT_NE(reference_, reinterpret_cast<iconv_t>(-1));
  }
  void TearDown() override {
    ul_gb18030_utf8_close(&to_utf8_, nullptr);
    iconv_close(reference_);
  }

  // The conversion under test into size bytes; the bytes after the given
  // size must stay untouched.
  Result Convert(const std::string& src, int size) {
    std::vector<char> out(static_cast<size_t>(size) + 8, 'x');
    const int r = ul_gb18030_utf8_str(src.c_str(), out.data(), size, &to_utf8_);
    for (size_t i = static_cast<size_t>(size); i < out.size(); ++i) EXPECT_EQ(out[i], 'x') << "wrote past " << size;
    const Result result{std::string(out.data(), strnlen(out.data(), static_cast<size_t>(size))), r};
    // The Japanese group's GB18030 -> UTF-8 gives the same.
    _gb2jp_t group{};
    group.gb2utf8 = static_cast<iconv_t>(to_utf8_);
    std::vector<char> other(static_cast<size_t>(size), 'x');
    const int r2 = ul_gb_utf8_str(src.c_str(), other.data(), size, &group);
    EXPECT_EQ((Result{std::string(other.data()), r2}), result) << Hex(src) << " into " << size;
    return result;
  }

  // The platform's converter through the converter loop: a character that
  // blocks it is skipped whole (a pair or a four-byte sequence as two
  // blanks, any other byte as one), and the loop stops when the next
  // character does not fit or fewer than 3 bytes are free at a blocking one.
  Result Reference(const std::string& src, int size) {
    std::vector<char> out(static_cast<size_t>(size), 'x');
    const IconvOutcome o =
        RunIconvLoop(reference_, src.c_str(), src.size(), out.data(), out.size(), 0, 3, GbCharBlanks);
    return Result{std::string(out.data()), o.blanked + static_cast<int>(o.left)};
  }

  void ExpectSame(const std::string& src, int size) {
    EXPECT_EQ(Convert(src, size), Reference(src, size)) << Hex(src) << " into " << size;
  }

  static std::string Hex(const std::string& s) {
    std::string h;
    char b[4];
    for (unsigned char c : s) {
      snprintf(b, sizeof(b), "%02X ", c);
      h += b;
    }
    return h;
  }

  void* to_utf8_ = nullptr;
  iconv_t reference_;
};

TEST_F(Gb18030Utf8, EveryPairAloneAndBetweenLetters) {
  std::string all;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const std::string pair{static_cast<char>(lead), static_cast<char>(trail)};
      ExpectSame(pair, 8);
      ExpectSame("a" + pair + "b", 8);
      all += pair;
    }
  }
  EXPECT_EQ(all.size(), 2u * 23940);
  ExpectSame(all, static_cast<int>(all.size() * 2 + 1));
}

TEST_F(Gb18030Utf8, EveryFourByteCode) {
  // A run of 1,260 consecutive codes at a time (the last two bytes vary),
  // each run once after an ASCII letter so that no run starts aligned.
  for (uint32_t first = 0; first < kFourCodes; first += 1260) {
    std::string run = "a";
    for (uint32_t i = first; i < first + 1260; ++i) run += Four(i);
    const Result got = Convert(run, static_cast<int>(run.size() + 1));
    const Result want = Reference(run, static_cast<int>(run.size() + 1));
    ASSERT_EQ(got, want) << "codes from " << Hex(Four(first));
  }
}

TEST_F(Gb18030Utf8, FourByteRangeLimits) {
  const struct {
    uint32_t code;     // big-endian bytes
    const char* utf8;  // nullptr: two blanks, 4 bytes not converted
  } rows[] = {
      {0x81308130, "\xC2\x80"},          // first four-byte code: U+0080
      {0x8431A439, "\xEF\xBF\xBF"},      // last of the BMP area: U+FFFF
      {0x8431A530, nullptr},             // one past it
      {0x8F39FE39, nullptr},             // one before the supplementary area
      {0x90308130, "\xF0\x90\x80\x80"},  // U+10000
      {0xE3329A35, "\xF4\x8F\xBF\xBF"},  // U+10FFFF
      {0xE3329A36, nullptr},             // one past it
      {0xFE39FE39, nullptr},             // the last four-byte pattern
  };
  for (const auto& row : rows) {
    const std::string code{static_cast<char>(row.code >> 24), static_cast<char>(row.code >> 16),
                           static_cast<char>(row.code >> 8), static_cast<char>(row.code)};
    const Result want = row.utf8 != nullptr ? Result{row.utf8, 0} : Result{"  ", 4};
    EXPECT_EQ(Convert(code, 16), want) << Hex(code);
    ExpectSame(code, 16);
  }
}

TEST_F(Gb18030Utf8, CutAndInvalidSequencesAndFullDestinations) {
  const struct {
    std::string src;
    int size;
    Result want;
  } rows[] = {
      {"a\x81", 8, {"a ", 1}},                          // a lead at the end
      {"a\x81\x30", 8, {"a 0", 1}},                     // a cut four-byte code: one byte at a time
      {"a\x81\x30\x81", 8, {"a 0 ", 2}},
      {"\x81\x30\x81\x2F", 8, {" 0 /", 2}},            // last byte not a digit
      {"\x81\x7F", 8, {" \x7F", 1}},                    // 7F is no trail
      {"\x80\xFF", 8, {"  ", 2}},                       // bytes that start nothing
      {"\xFF\x40", 8, {" @", 1}},
      {"\xB0\xA1", 4, {"\xE5\x95\x8A", 0}},             // 3 bytes into 3 free
      {"\xB0\xA1", 3, {"", 2}},                         // one short: stop
      {"a\xFF", 4, {"a", 1}},                           // 2 free at a blocking byte: stop
      {"a\xFF", 5, {"a ", 1}},                          // 3 free: a blank
      {"\xFE\x51", 5, {"\xF0\xA0\x82\x87", 0}},        // a pair outside the BMP: 4 bytes
      {"\xFE\x51", 4, {"", 2}},
      {"\x90\x30\x81\x30", 4, {"", 4}},
      {"\x81\x30\x81\x30", 3, {"\xC2\x80", 0}},
      {"\x81\x30\x81\x30", 2, {"", 4}},
      {std::string("ab\xA1\xA1") + "c", 1, {"", 5}},    // room for the terminator only
  };
  for (const auto& row : rows) {
    EXPECT_EQ(Convert(row.src, row.size), row.want) << Hex(row.src) << " into " << row.size;
    ExpectSame(row.src, row.size);
  }
}

TEST_F(Gb18030Utf8, RandomBytesIntoEverySize) {
  // Bytes that start, continue or break one-, two- and four-byte codes.
  const unsigned char alphabet[] = {'a', '0', '5', '9', 0x2F, 0x3A, 0x40, 0x7E, 0x7F, 0x80, 0x81, 0x84,
                                    0x8F, 0x90, 0xA1, 0xB0, 0xE3, 0xFE, 0xFF, 0x31, 0xA4, 0x39, 0x30};
  std::mt19937 rng(20261207);
  Digest digest;
  for (int n = 0; n < 20000; ++n) {
    std::string s(1 + rng() % 24, '\0');
    for (char& c : s) c = static_cast<char>(alphabet[rng() % sizeof(alphabet)]);
    for (int size = 1; size <= static_cast<int>(s.size()) * 3 + 2; ++size) {
      const Result got = Convert(s, size);
      ASSERT_EQ(got, Reference(s, size)) << Hex(s) << " into " << size;
      digest.Bytes(got.out);
      digest.Int(got.count);
    }
  }
  // Taken from the converter-based conversion.
  EXPECT_EQ(digest.value(), 0x14e51f004b2eb7acull);
}

TEST_F(Gb18030Utf8, MixedTextIntoEverySize) {
  // Chinese text with ASCII, pairs and four-byte codes (U+00B7, U+20AC is a
  // pair, CJK extension A and B) as GB18030.
  const std::string utf8 = "GB18030 文本: 中文·€ 㐀 𠀀 end. 第二行，有标点。";
  std::string gb(utf8.size() * 2, '\0');
  iconv_t cd = iconv_open("GB18030", "UTF-8");
  char* in = const_cast<char*>(utf8.data());
  char* out = &gb[0];
  size_t inleft = utf8.size(), outleft = gb.size();
  ASSERT_NE(iconv(cd, &in, &inleft, &out, &outleft), static_cast<size_t>(-1));
  iconv_close(cd);
  gb.resize(gb.size() - outleft);
  EXPECT_EQ(Convert(gb, static_cast<int>(utf8.size() + 1)), (Result{utf8, 0}));
  for (int size = 1; size <= static_cast<int>(utf8.size()) + 2; ++size) ExpectSame(gb, size);
  // The thread's converter gives the same.
  std::string log;
  ASSERT_EQ(ccodetest::Load(ul_ccode_default_path(), 8, &log), 0) << log;
  ASSERT_EQ(ul_ccode_conv_open(), 0);
  std::string thread(utf8.size() + 1, 'x');
  EXPECT_EQ(ul_gb18030_utf8_str(gb.c_str(), &thread[0], static_cast<int>(thread.size())), 0);
  EXPECT_EQ(thread.c_str(), utf8);
  ul_ccode_conv_close();
  ul_ccode_del();
}

TEST(Gb18030Utf8Open, EitherDescriptorAlone) {
  void* to_gb = nullptr;
  ASSERT_EQ(ul_gb18030_utf8_open(nullptr, &to_gb), 0);
  char out[8];
  EXPECT_EQ(ul_utf8_gb18030_str("a", out, 8, &to_gb), 0);
  EXPECT_EQ(ul_gb18030_utf8_close(nullptr, &to_gb), 0);
  EXPECT_EQ(to_gb, reinterpret_cast<void*>(-1));
  void* to_utf8 = nullptr;
  ASSERT_EQ(ul_gb18030_utf8_open(&to_utf8, nullptr), 0);
  EXPECT_EQ(ul_gb18030_utf8_str("a", out, 8, &to_utf8), 0);
  EXPECT_EQ(ul_gb18030_utf8_close(&to_utf8, nullptr), 0);
  EXPECT_EQ(ul_gb18030_utf8_str("a", out, 8, &to_utf8), -1);  // closed
  // A thread without the library's converters: the forms without a
  // descriptor fail.
  std::thread([] {
    char buf[8];
    EXPECT_EQ(ul_gb18030_utf8_str("a", buf, 8), -1);
    EXPECT_EQ(ul_utf8_gb18030_str("a", buf, 8), -1);
  }).join();
}

}  // namespace
