#include "ul_ccode_conv.h"

#include <gtest/gtest.h>
#include <limits.h>
#include <pthread.h>
#include <string.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "support/support.h"
#include "ul_ccode_iconv.h"
#include "ul_ccode_type.h"

namespace {

const iconv_t kClosed = reinterpret_cast<iconv_t>(-1);

std::vector<iconv_t> Descriptors(const _ccode_conv_t& conv) {
  const iconv_t* p = reinterpret_cast<const iconv_t*>(&conv);
  return std::vector<iconv_t>(p, p + sizeof(conv) / sizeof(iconv_t));
}

bool NoValues() {
  return get_ccode_conv() == nullptr && get_ccode_info() == nullptr && get_ccode_lang() == nullptr &&
         get_ccode_query_lang() == nullptr && get_ccode_gbbuf_cld() == nullptr && get_ccode_utf8buf_cld() == nullptr;
}

// Converts GB18030 text to UTF-8 with the thread's own descriptor.
std::string GbToUtf8(const std::string& gb) {
  _ccode_conv_t* conv = get_ccode_conv();
  if (conv == nullptr) return "<no state>";
  std::string in = gb, out(gb.size() * 4 + 4, '\0');
  char* ip = &in[0];
  char* op = &out[0];
  size_t il = in.size(), ol = out.size();
  if (iconv(conv->gb2jp.gb2utf8, &ip, &il, &op, &ol) == static_cast<size_t>(-1)) return "<error>";
  out.resize(out.size() - ol);
  return out;
}

TEST(UlCcodeConv, WithoutKeysNothingOpens) {
  EXPECT_EQ(testsupport::RunInChild([] {
              testsupport::CaptureFd err(2);
              const bool ok = ul_ccode_conv_open() == -1 && NoValues() && ul_get_globallang() == -2 &&
                              ul_set_globallang(3) == -1 && ul_ccode_conv_close() == 0;
              return ok && err.Stop().find("FATAL: ") != std::string::npos ? 0 : 1;
            }),
            0);
}

TEST(UlCcodeConv, OpenUseClose) {
  ASSERT_EQ(ul_ccode_conv_init(), 0);
  ASSERT_EQ(ul_ccode_conv_init(), 0);  // keys are made once
  EXPECT_EQ(ul_get_globallang(), -2);
  ASSERT_EQ(ul_ccode_conv_open(), 0);
  _ccode_conv_t* conv = get_ccode_conv();
  ASSERT_NE(conv, nullptr);
  for (iconv_t cd : Descriptors(*conv)) EXPECT_NE(cd, kClosed);
  EXPECT_EQ(ul_get_globallang(), -1);
  EXPECT_EQ(get_ccode_info()->guess_lang, -1);
  EXPECT_EQ(get_ccode_info()->content_len, 0);
  EXPECT_EQ(get_ccode_gbbuf_cld()[0], '\0');
  EXPECT_EQ(get_ccode_utf8buf_cld()[0], '\0');
  const std::vector<_CODELANG_INFO>* list = get_ccode_query_lang();
  ASSERT_EQ(list->size(), 33u * 86u);
  EXPECT_EQ(list->back().code_type, 0);
  EXPECT_EQ(list->back().TRUST, INT_MIN);
  EXPECT_EQ(list->front().trigram_trust, INT_MIN);
  EXPECT_EQ(GbToUtf8("\xD6\xD0\xCE\xC4"), "\xE4\xB8\xAD\xE6\x96\x87");
  // A second open changes nothing.
  ASSERT_EQ(ul_ccode_conv_open(), 0);
  EXPECT_EQ(get_ccode_conv(), conv);
  EXPECT_EQ(get_ccode_query_lang()->size(), 33u * 86u);

  testsupport::CaptureFd err(2);
  EXPECT_EQ(ul_set_globallang(85), 0);
  EXPECT_EQ(ul_get_globallang(), 85);
  EXPECT_EQ(ul_set_globallang(-1), 0);
  EXPECT_EQ(ul_set_globallang(86), -1);
  EXPECT_EQ(ul_set_globallang(-2), -1);
  EXPECT_EQ(ul_get_globallang(), -1);
  EXPECT_NE(err.Stop().find("wrong langtype input!"), std::string::npos);

  EXPECT_EQ(ul_ccode_conv_close(), 0);
  EXPECT_TRUE(NoValues());
  EXPECT_EQ(ul_get_globallang(), -2);
  EXPECT_EQ(ul_ccode_conv_close(), 0);  // twice: nothing left to free
  // The info record alone.
  ASSERT_EQ(ul_ccode_conv_open(), 0);
  EXPECT_EQ(ul_ccode_info_close(), 0);
  EXPECT_EQ(get_ccode_info(), nullptr);
  EXPECT_NE(get_ccode_conv(), nullptr);
  EXPECT_EQ(ul_ccode_conv_close(), 0);
}

TEST(UlCcodeConv, GlobalLanguageFromText) {
  ASSERT_EQ(ul_ccode_conv_init(), 0);
  ASSERT_EQ(ul_ccode_conv_open(), 0);
  struct Row {
    const char* text;
    int which;
    int result;
    int lang;  // the slot afterwards
    const char* message;
  };
  const std::string big = std::to_string(0x31023301);  // SIMP_CHINESE 51, TRAD_CHINESE 49
  for (const Row& r : {Row{"-1", 1, 0, -1, nullptr}, Row{"7", 1, 0, 7, nullptr}, Row{big.c_str(), 2, 0, 2, nullptr},
                       Row{big.c_str(), 3, 0, -1, "get 0 langtype from langtype_v2  in ul_set_globallang"},
                       Row{"100", 1, -1, 7, "get 1 value of langtype_v2 failed in ul_set_globallang"},
                       Row{"12a", 1, -1, 7, "invalid param str_langtype_v2 in ul_set_globallang."},
                       Row{"-", 1, -1, 7, "invalid param str_langtype_v2 in ul_set_globallang."},
                       Row{"", 1, -1, 7, "invalid param str_langtype_v2 in ul_set_globallang."},
                       Row{"-2", 1, -1, 7, "translate LANGTYPE_V2 string value into long long value failed"},
                       Row{"9223372036854775808", 1, -1, 7, "translate LANGTYPE_V2 string value"},
                       Row{"1000000000000000000000", 1, -1, 7, "invalid param str_langtype_v2"},  // 22 > 21
                       Row{"000000000000000000007", 1, 0, 7, nullptr},                         // 21 characters
                       Row{"7", 5, -1, 7, "invalid param in ul_set_globallang"},
                       Row{"7", 0, -1, 7, "invalid param in ul_set_globallang"},
                       Row{nullptr, 1, -1, 7, "invalid param in ul_set_globallang"}}) {
    ul_set_globallang(7);
    testsupport::CaptureFd err(2);
    EXPECT_EQ(ul_set_globallang(r.text, r.which), r.result) << (r.text ? r.text : "NULL") << "/" << r.which;
    EXPECT_EQ(ul_get_globallang(), r.lang) << (r.text ? r.text : "NULL");
    const std::string log = err.Stop();
    if (r.message != nullptr) {
      EXPECT_NE(log.find(r.message), std::string::npos) << log;
    } else {
      EXPECT_EQ(log, "");
    }
  }
  EXPECT_EQ(ul_ccode_conv_close(), 0);
  EXPECT_EQ(ul_set_globallang("7", 1), -1);  // no slot
}

TEST(UlCcodeConv, GlobalCode) {
  testsupport::CaptureFd err(2);
  EXPECT_EQ(ul_get_globalcode(), CODETYPE_GB);
  EXPECT_EQ(ul_set_globalcode(33), -1);
  EXPECT_EQ(ul_set_globalcode(-2), -1);
  EXPECT_EQ(ul_get_globalcode(), CODETYPE_GB);
  EXPECT_EQ(ul_set_globalcode(-1), 0);
  EXPECT_EQ(ul_get_globalcode(), -1);
  EXPECT_EQ(ul_set_globalcode(32), 0);
  EXPECT_EQ(ul_get_globalcode(), 32);
  EXPECT_EQ(ul_set_globalcode(CODETYPE_GB), 0);
  EXPECT_NE(err.Stop().find("wrong codetype input!"), std::string::npos);
}

TEST(UlCcodeConv, CallerOwnedRecords) {
  _ccode_conv_t conv;
  ccode_conv_clean(&conv);
  for (iconv_t cd : Descriptors(conv)) EXPECT_EQ(cd, kClosed);
  ASSERT_EQ(ul_ccode_conv_open(&conv), 0);
  for (iconv_t cd : Descriptors(conv)) EXPECT_NE(cd, kClosed);
  // Group by group.
  EXPECT_EQ(ul_tr2gb_close(&conv), 0);
  EXPECT_EQ(conv.tr2gb.iso12gb, kClosed);
  EXPECT_EQ(conv.tr2gb.win12542gb, kClosed);
  EXPECT_NE(conv.gb2tr.gb2iso1, kClosed);
  EXPECT_EQ(ul_tr2gb_open(&conv), 0);
  EXPECT_NE(conv.tr2gb.win12542gb, kClosed);
  EXPECT_EQ(ul_jp2gb_close(&conv), 0);
  EXPECT_EQ(ul_gb2jp_close(&conv), 0);
  EXPECT_EQ(ul_gb2tr_close(&conv), 0);
  EXPECT_EQ(conv.gb2jp.gb2eucjp, kClosed);
  EXPECT_EQ(ul_ccode_conv_close(&conv), 0);
  for (iconv_t cd : Descriptors(conv)) EXPECT_EQ(cd, kClosed);
  EXPECT_EQ(ul_ccode_conv_close(&conv), 0);  // nothing is closed twice
  EXPECT_EQ(ul_ccode_conv_close(nullptr), 0);

  testsupport::CaptureFd err(2);
  EXPECT_EQ(ul_ccode_conv_open(nullptr), -1);
  EXPECT_EQ(ul_ccode_query_detect_open(nullptr), 0);
  EXPECT_EQ(ul_ccode_query_detect_close(nullptr), 1);
  EXPECT_EQ(ul_gbbuf_cld_clean(nullptr), 0);
  EXPECT_EQ(ul_utf8buf_cld_clean(nullptr), 0);
  const std::string log = err.Stop();
  EXPECT_NE(log.find("invalid parameter in 'ul_ccode_conv_open'."), std::string::npos);
  EXPECT_NE(log.find("invalid param in ul_ccode_query_detect_open."), std::string::npos);

  std::vector<_CODELANG_INFO> list(3);
  EXPECT_EQ(ul_ccode_query_detect_open(&list), 1);
  EXPECT_EQ(list.size(), 3u + 33u * 86u);  // appended
  EXPECT_EQ(ul_ccode_query_detect_close(&list), 1);
  EXPECT_EQ(list.capacity(), 0u);
}

// 16 threads open, use and close their state at once; every other thread
// leaves it to the key destructors.
TEST(UlCcodeConv, SixteenThreads) {
  ASSERT_EQ(ul_ccode_conv_init(), 0);
  // The main thread holds converters of every kind, as a server that opened
  // its own state before starting workers does: the converter modules stay
  // loaded, so the threads do not load and unload them in the dynamic
  // loader, whose own locking ThreadSanitizer cannot see.
  _ccode_conv_t held;
  ASSERT_EQ(ul_ccode_conv_open(&held), 0);
  std::atomic<int> good{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 16; ++t) {
    threads.emplace_back([t, &good] {
      if (ul_ccode_conv_open() != 0) return;
      bool ok = true;
      for (int round = 0; round < 20; ++round) {
        ok = ok && ul_set_globallang(t) == 0 && ul_get_globallang() == t;
        ok = ok && GbToUtf8("\xB0\xA1") == "\xE5\x95\x8A";
        strcpy(get_ccode_gbbuf_cld(), "thread");
        get_ccode_info()->word_num = t;
      }
      ok = ok && get_ccode_info()->word_num == t;
      if (t % 2 == 0) {
        ok = ok && ul_ccode_conv_close() == 0 && NoValues();
      }
      if (ok) ++good;
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(good.load(), 16);
  ul_ccode_conv_close(&held);
}

// Another thread's open state is not shared: a thread that never opened
// has no values, and a conversion there is refused with its log line.
TEST(UlCcodeConv, AThreadThatNeverOpenedIsRefused) {
  ASSERT_EQ(ul_ccode_conv_init(), 0);
  ASSERT_EQ(ul_ccode_conv_open(), 0);
  bool none = false;
  int lang = 0, set = 0, converted = 0;
  testsupport::CaptureFd err(2);
  std::thread([&] {
    none = NoValues();
    lang = ul_get_globallang();
    set = ul_set_globallang(3);
    char out[8];
    converted = ul_ccode_to_gb18030("a", out, sizeof(out), CODETYPE_UTF8);
  }).join();
  const std::string log = err.Stop();
  EXPECT_TRUE(none);
  EXPECT_EQ(lang, -2);
  EXPECT_EQ(set, -1);
  EXPECT_EQ(converted, -1);
  EXPECT_NE(log.find("get ccode conv error!"), std::string::npos) << log;
  EXPECT_NE(get_ccode_conv(), nullptr);  // the opening thread keeps its own
  EXPECT_EQ(ul_ccode_conv_close(), 0);
}

}  // namespace
