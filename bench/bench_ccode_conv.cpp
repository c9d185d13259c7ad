// Character-code conversions on real text against the platform's converter
// (glibc iconv), in one run: GBK -> UTF-8 and UTF-8 -> GBK by table (the goal
// is at least twice iconv's throughput), and GB18030 -> UTF-8 by table (the
// goal is at most half iconv's time) on the simplified, traditional and
// Japanese pages together, which mix one-, two- and four-byte codes.
//
// The text is Debian's Chinese and Japanese manual pages (their held-out
// half), made by tools/ccode_text_corpus.py into the folder named by the
// environment variable PBDICT_CCODE_CORPUS (zh_CN.txt, zh_TW.txt, ja.txt,
// UTF-8, 10 MB each). Before timing, the same texts go through every
// conversion pair of the library and are compared with the platform's
// result line by line; the run fails when a pair meant to agree does not.
#include <benchmark/benchmark.h>
#include <iconv.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ul_big5_gbk.h"
#include "ul_ccode_conv.h"
#include "ul_ccode_iconv.h"
#include "ul_ccode_load.h"
#include "ul_ccode_type.h"
#include "ul_gb18030.h"
#include "ul_gbk.h"
#include "ul_jcode.h"

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Converts all of in with cd into out (sized generously); false when the
// converter rejects anything.
bool IconvAll(iconv_t cd, const std::string& in, std::string* out) {
  out->resize(in.size() * 4 + 16);
  char* ip = const_cast<char*>(in.data());
  char* op = &(*out)[0];
  size_t inleft = in.size(), outleft = out->size();
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  const bool ok = iconv(cd, &ip, &inleft, &op, &outleft) != static_cast<size_t>(-1) &&
                  iconv(cd, nullptr, nullptr, &op, &outleft) != static_cast<size_t>(-1);
  out->resize(out->size() - outleft);
  return ok;
}

// UTF-8 text in another encoding, leaving out the characters it lacks.
std::string Encode(const std::string& utf8, const char* to) {
  iconv_t cd = iconv_open(to, "UTF-8");
  std::string out(utf8.size() * 2 + 16, '\0');
  char* ip = const_cast<char*>(utf8.data());
  char* op = &out[0];
  size_t inleft = utf8.size(), outleft = out.size();
  while (inleft > 0 && iconv(cd, &ip, &inleft, &op, &outleft) == static_cast<size_t>(-1)) {
    // Skip the character the target lacks.
    size_t n = 1;
    while (n < inleft && (static_cast<unsigned char>(ip[n]) & 0xC0) == 0x80) ++n;
    ip += n;
    inleft -= n;
  }
  iconv(cd, nullptr, nullptr, &op, &outleft);
  iconv_close(cd);
  out.resize(out.size() - outleft);
  return out;
}

std::string Platform(const char* from, const char* to, const std::string& in) {
  iconv_t cd = iconv_open(to, from);
  std::string out;
  if (!IconvAll(cd, in, &out)) out = "<rejected>";
  iconv_close(cd);
  return out;
}

// Lines of a and b that differ, of the lines of a.
struct Diff {
  size_t lines = 0;
  size_t differ = 0;
};

Diff CompareLines(const std::string& a, const std::string& b) {
  std::istringstream sa(a), sb(b);
  std::string la, lb;
  Diff d;
  while (std::getline(sa, la)) {
    ++d.lines;
    if (!std::getline(sb, lb) || la != lb) ++d.differ;
  }
  if (std::getline(sb, lb)) ++d.differ;
  return d;
}

typedef int (*table_t)(const unsigned char*, unsigned char*, int);
typedef int (*thread_t)(const char*, char*, int);

std::string Table(table_t f, const std::string& in) {
  std::string out(in.size() + 1, '\0');
  f(reinterpret_cast<const unsigned char*>(in.c_str()), reinterpret_cast<unsigned char*>(&out[0]), 0);
  out.resize(strlen(out.c_str()));
  return out;
}

std::string Thread(thread_t f, const std::string& in) {
  std::string out(in.size() * 4 + 16, '\0');
  f(in.c_str(), &out[0], static_cast<int>(out.size()));
  out.resize(strlen(out.c_str()));
  return out;
}

// GBK text (two-byte characters and ASCII) from UTF-8, and the UTF-8 of
// exactly that text.
struct Texts {
  std::string gbk, gbk_utf8, gb18030, zh_tw_utf8, ja_utf8;
  std::string four_byte;  // GB18030 four-byte codes only
};

Texts g_texts;

// UTF-8 of a code point.
std::string Utf8(uint32_t cp) {
  std::string s;
  if (cp < 0x80) return std::string(1, static_cast<char>(cp));
  if (cp < 0x800) {
    s += static_cast<char>(0xC0 | cp >> 6);
  } else if (cp < 0x10000) {
    s += static_cast<char>(0xE0 | cp >> 12);
    s += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
  } else {
    s += static_cast<char>(0xF0 | cp >> 18);
    s += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
    s += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
  }
  return s + static_cast<char>(0x80 | (cp & 0x3F));
}

std::string FourByteText() {
  std::string utf8;
  for (uint32_t cp = 0x80; cp < 0x10000; ++cp) {
    if (cp < 0xD800 || cp > 0xDFFF) utf8 += Utf8(cp);
  }
  for (uint32_t cp = 0x1F300; cp < 0x1FB00; ++cp) utf8 += Utf8(cp);
  for (uint32_t cp = 0x20000; cp < 0x2A6E0; ++cp) utf8 += Utf8(cp);
  std::string four;
  const std::string gb = Encode(utf8, "GB18030");
  for (size_t i = 0; i < gb.size();) {
    const int n = ul_ccode_is_next_gb(gb.c_str() + i);
    if (n == 4) four.append(gb, i, 4);
    i += n == 0 ? 1 : static_cast<size_t>(n);
  }
  std::string text;
  while (text.size() < (1u << 20)) text += four;
  return text;
}

// Compares one conversion pair; allowed: whether some lines may differ
// (characters the library's tables map by another rule).
bool Check(const char* name, const std::string& ours, const std::string& platform, bool allowed) {
  const Diff d = CompareLines(ours, platform);
  printf("check %-28s %9zu lines, %6zu differ%s\n", name, d.lines, d.differ,
         d.differ == 0 ? "" : allowed ? " (characters the tables map otherwise)" : "  <-- FAIL");
  return d.differ == 0 || allowed;
}

bool VerifyEveryPair() {
  const Texts& t = g_texts;
  bool ok = true;
  // GBK <-> UTF-8 by table.
  std::string u8(t.gbk.size() / 2 * 3 + 1, '\0');
  u8.resize(static_cast<size_t>(ul_gbk_to_utf8(&u8[0], static_cast<int>(u8.size()), t.gbk.c_str())));
  ok &= Check("GBK -> UTF-8 (table)", u8, t.gbk_utf8, false);
  std::string gbk(t.gbk_utf8.size() + 1, '\0');
  gbk.resize(static_cast<size_t>(ul_utf8_to_gbk(&gbk[0], static_cast<int>(gbk.size()), t.gbk_utf8.c_str())));
  ok &= Check("UTF-8 -> GBK (table)", gbk, t.gbk, false);
  // GB18030 -> UTF-8 by table: the timed conversion gives iconv's bytes,
  // all of them; UTF-8 -> GB18030 through the converter loop.
  const std::string cn_utf8 = Platform("GB18030", "UTF-8", t.gb18030);
  const std::string gb_utf8 = Thread(ul_gb18030_utf8_str, t.gb18030);
  ok &= Check("GB18030 -> UTF-8 (table)", gb_utf8, cn_utf8, false);
  if (gb_utf8 != cn_utf8) {
    printf("check GB18030 -> UTF-8 (table): the outputs differ  <-- FAIL\n");
    ok = false;
  }
  ok &= Check("GB18030 -> UTF-8 (thread)", Thread(ul_gb_utf8_str, t.gb18030), cn_utf8, false);
  if (Thread(ul_gb18030_utf8_str, t.four_byte) != Platform("GB18030", "UTF-8", t.four_byte)) {
    printf("check GB18030 four-byte codes -> UTF-8: the outputs differ  <-- FAIL\n");
    ok = false;
  }
  ok &= Check("UTF-8 -> GB18030", Thread(ul_utf8_gb_str, cn_utf8), t.gb18030, false);
  // GB18030 <-> BIG5 by table, on traditional text. The grid maps a BIG5
  // character without a GBK form to a placeholder.
  const std::string big5 = Encode(t.zh_tw_utf8, "BIG5");
  const std::string tw_gb = Platform("BIG5", "GB18030", big5);
  ok &= Check("BIG5 -> GB18030 (table)", Table(ul_big5_gb18030, big5), tw_gb, true);
  ok &= Check("GB18030 -> BIG5 (table)", Table(ul_gb18030_big5, tw_gb), Platform("GB18030", "BIG5", tw_gb), true);
  ok &= Check("GBK -> GBI -> GBK (table)", Table(ul_gbi_gbk_str, Table(ul_gbk_gbi_str, t.gbk)), t.gbk, true);
  // Japanese.
  const std::string ja_gb = Encode(t.ja_utf8, "GB18030");
  const struct {
    const char* name;
    const char* charset;
    thread_t to_gb;
    thread_t from_gb;
  } jp[] = {{"Shift_JIS", "SHIFT_JIS", ul_sjis_gb_str, ul_gb_sjis_str},
            {"EUC-JP", "EUC-JP", ul_eucjp_gb_str, ul_gb_eucjp_str},
            {"ISO-2022-JP", "ISO-2022-JP", ul_jis_gb_str, ul_gb_jis_str}};
  for (const auto& j : jp) {
    const std::string native = Encode(t.ja_utf8, j.charset);
    const std::string gb = Platform(j.charset, "GB18030", native);
    ok &= Check((std::string(j.name) + " -> GB18030").c_str(), Thread(j.to_gb, native), gb, false);
    ok &= Check((std::string("GB18030 -> ") + j.name).c_str(), Thread(j.from_gb, gb), Platform("GB18030", j.charset, gb),
                false);
  }
  return ok;
}

void BM_GbkToUtf8_Table(benchmark::State& state) {
  std::string out(g_texts.gbk.size() / 2 * 3 + 1, '\0');
  for (auto _ : state) {
    benchmark::DoNotOptimize(ul_gbk_to_utf8(&out[0], static_cast<int>(out.size()), g_texts.gbk.c_str()));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_texts.gbk.size()));
}

void BM_GbkToUtf8_Iconv(benchmark::State& state) {
  iconv_t cd = iconv_open("UTF-8", "GBK");
  std::string out;
  for (auto _ : state) benchmark::DoNotOptimize(IconvAll(cd, g_texts.gbk, &out));
  iconv_close(cd);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_texts.gbk.size()));
}

void BM_Utf8ToGbk_Table(benchmark::State& state) {
  std::string out(g_texts.gbk_utf8.size() + 1, '\0');
  for (auto _ : state) {
    benchmark::DoNotOptimize(ul_utf8_to_gbk(&out[0], static_cast<int>(out.size()), g_texts.gbk_utf8.c_str()));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_texts.gbk_utf8.size()));
}

void BM_Utf8ToGbk_Iconv(benchmark::State& state) {
  iconv_t cd = iconv_open("GBK", "UTF-8");
  std::string out;
  for (auto _ : state) benchmark::DoNotOptimize(IconvAll(cd, g_texts.gbk_utf8, &out));
  iconv_close(cd);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_texts.gbk_utf8.size()));
}

// The whole text each time, into a destination with room for all of it
// (checked above to give iconv's bytes); the library also finds the text's
// length and writes the terminator.
void BM_Gb18030ToUtf8_Loop(benchmark::State& state) {
  std::string out(g_texts.gb18030.size() * 2 + 16, '\0');
  for (auto _ : state) {
    benchmark::DoNotOptimize(ul_gb18030_utf8_str(g_texts.gb18030.c_str(), &out[0], static_cast<int>(out.size())));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_texts.gb18030.size()));
}

void BM_Gb18030ToUtf8_Iconv(benchmark::State& state) {
  iconv_t cd = iconv_open("UTF-8", "GB18030");
  std::string out;
  for (auto _ : state) benchmark::DoNotOptimize(IconvAll(cd, g_texts.gb18030, &out));
  iconv_close(cd);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_texts.gb18030.size()));
}

// The slowest kind of GB18030 text: four-byte codes only (every one of the
// BMP in order, then the supplementary planes' code points U+1F300..U+1FAFF
// and U+20000..U+2A6DF, repeated to 1 MB); the same work on both sides as
// above.
void BM_Gb18030FourByteToUtf8_Table(benchmark::State& state) {
  std::string out(g_texts.four_byte.size() + 16, '\0');
  for (auto _ : state) {
    benchmark::DoNotOptimize(ul_gb18030_utf8_str(g_texts.four_byte.c_str(), &out[0], static_cast<int>(out.size())));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_texts.four_byte.size()));
}

void BM_Gb18030FourByteToUtf8_Iconv(benchmark::State& state) {
  iconv_t cd = iconv_open("UTF-8", "GB18030");
  std::string out;
  for (auto _ : state) benchmark::DoNotOptimize(IconvAll(cd, g_texts.four_byte, &out));
  iconv_close(cd);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * g_texts.four_byte.size()));
}

BENCHMARK(BM_GbkToUtf8_Table)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GbkToUtf8_Iconv)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Utf8ToGbk_Table)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Utf8ToGbk_Iconv)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Gb18030ToUtf8_Loop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Gb18030ToUtf8_Iconv)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Gb18030FourByteToUtf8_Table)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Gb18030FourByteToUtf8_Iconv)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const char* dir = getenv("PBDICT_CCODE_CORPUS");
  if (dir == nullptr || *dir == '\0') {
    printf("bench_ccode_conv: skipped; set PBDICT_CCODE_CORPUS to a folder made by tools/ccode_text_corpus.py\n");
    return 0;
  }
  const std::string zh = ReadAll(std::string(dir) + "/zh_CN.txt");
  g_texts.zh_tw_utf8 = ReadAll(std::string(dir) + "/zh_TW.txt");
  g_texts.ja_utf8 = ReadAll(std::string(dir) + "/ja.txt");
  if (zh.empty() || g_texts.zh_tw_utf8.empty() || g_texts.ja_utf8.empty()) {
    fprintf(stderr, "bench_ccode_conv: cannot read zh_CN.txt, zh_TW.txt and ja.txt in %s\n", dir);
    return 1;
  }
  // The same text both ways: the simplified pages in GBK (characters GBK
  // lacks left out) and exactly that text in UTF-8.
  g_texts.gbk = Encode(zh, "GBK");
  g_texts.gbk_utf8 = Platform("GB18030", "UTF-8", g_texts.gbk);
  // GB18030 has every character: the three page sets as they are.
  g_texts.gb18030 = Encode(zh + g_texts.zh_tw_utf8 + g_texts.ja_utf8, "GB18030");
  g_texts.four_byte = FourByteText();
  if (ul_ccode_load(ul_ccode_default_path(), 1) != 0 || ul_ccode_conv_open() != 0) {
    fprintf(stderr, "bench_ccode_conv: cannot load the character-code data\n");
    return 1;
  }
  printf("text: %zu bytes of GBK, %zu bytes of UTF-8\n", g_texts.gbk.size(), g_texts.gbk_utf8.size());
  size_t codes[5] = {0, 0, 0, 0, 0};
  for (const char* p = g_texts.gb18030.c_str(); *p != '\0';) {
    const int n = ul_ccode_is_next_gb(p);
    ++codes[n];
    p += n == 0 ? 1 : n;
  }
  printf("GB18030 text: %zu bytes; %zu one-, %zu two-, %zu four-byte codes, %zu other bytes\n", g_texts.gb18030.size(),
         codes[1], codes[2], codes[4], codes[0]);
  if (!VerifyEveryPair()) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  ul_ccode_conv_close();
  ul_ccode_del();
  return 0;
}
