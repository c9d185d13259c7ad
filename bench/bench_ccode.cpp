// Character-code library utilities against their standard anchors:
// ccode::hashmap vs std::unordered_map on the same 1,000,000 string keys;
// ccode::xcompool vs the system's malloc/free on the same request pattern;
// the multi-byte searches vs glibc memmem on the same 10 MB of text; width
// conversion vs ICU's Fullwidth-Halfwidth transliterator on the same text;
// and the older text check vs uchardet on the labelled page corpus of
// tools/gen_ccode_corpus.py (named by PBDICT_CCODE_PAGES, as for
// bench_ccode_detect; without it that part is skipped).
#include <benchmark/benchmark.h>
#include <string.h>
#include <uchardet/uchardet.h>
#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "ul_ccode_check.h"
#include "ul_ccode_conv.h"
#include "ul_ccode_edit.h"
#include "ul_ccode_load.h"
#include "ul_ccode_search.h"
#include "ul_ccode_type.h"
#include "ul_gbk.h"
#include "utils/ccode_hashmap.h"
#include "utils/ccode_xcompool.h"

namespace {

constexpr size_t kKeys = 1000000;
constexpr size_t kBuckets = 0x100000;

// Distinct keys of 6 to 24 letters and digits, like dictionary words.
const std::vector<std::string>& Keys() {
  static const std::vector<std::string> keys = [] {
    static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::mt19937_64 rng(42);
    std::unordered_set<std::string> seen;
    std::vector<std::string> out;
    out.reserve(kKeys);
    while (out.size() < kKeys) {
      std::string k(6 + rng() % 19, ' ');
      for (char& c : k) c = kAlphabet[rng() % 36];
      if (seen.insert(k).second) out.push_back(std::move(k));
    }
    return out;
  }();
  return keys;
}

// The same keys in another order, for look-ups.
const std::vector<const std::string*>& Probes() {
  static const std::vector<const std::string*> probes = [] {
    std::vector<const std::string*> out;
    for (const std::string& k : Keys()) out.push_back(&k);
    std::shuffle(out.begin(), out.end(), std::mt19937_64(7));
    return out;
  }();
  return probes;
}

constexpr size_t kSizeCount = 4096;  // a power of two: indices wrap by mask

// The pool benchmarks run first: the hash benchmarks leave the system
// allocator's bins full of freed strings, which would slow its anchor.

// Request sizes of scratch buffers: mostly small, some up to 4 KB.
const std::vector<size_t>& Sizes() {
  static const std::vector<size_t> sizes = [] {
    std::mt19937 rng(3);
    std::vector<size_t> out(kSizeCount);
    for (size_t& s : out) s = (rng() % 8 == 0) ? 16 + rng() % 4080 : 8 + rng() % 248;
    return out;
  }();
  return sizes;
}

constexpr size_t kBatch = 64;

// Allocates a batch of kBatch chunks, then frees them newest first.
template <class Malloc, class Free>
void RunPattern(benchmark::State& state, Malloc do_malloc, Free do_free) {
  const size_t* sizes = Sizes().data();
  void* live[kBatch];
  size_t pos = 0;
  for (auto _ : state) {
    const size_t* batch = sizes + pos;
    for (size_t i = 0; i < kBatch; ++i) {
      live[i] = do_malloc(batch[i]);
      benchmark::DoNotOptimize(live[i]);
    }
    for (size_t i = kBatch; i-- > 0;) do_free(live[i], batch[i]);
    pos = (pos + kBatch) & (kSizeCount - 1);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kBatch));
}

void BM_XcompoolMallocFree(benchmark::State& state) {
  ccode::xcompool pool;
  pool.create(0x80000, 2, 0x80000, 2.0f);
  RunPattern(state, [&](size_t n) { return pool.malloc(n); }, [&](void* p, size_t n) { pool.free(p, n); });
}
BENCHMARK(BM_XcompoolMallocFree);

// One call of a string utility on the per-thread pool: a few scratch
// chunks, then the pool is cleared before the call returns.
void BM_XcompoolCallAndClear(benchmark::State& state) {
  ccode::xcompool pool;
  pool.create(0x80000, 2, 0x80000, 2.0f);
  const size_t* sizes = Sizes().data();
  size_t pos = 0;
  for (auto _ : state) {
    for (size_t i = 0; i < 4; ++i) benchmark::DoNotOptimize(pool.malloc(sizes[pos + i]));
    pool.clear();
    pos = (pos + 4) & (kSizeCount - 1);
  }
}
BENCHMARK(BM_XcompoolCallAndClear);

void BM_SystemMallocFree(benchmark::State& state) {
  RunPattern(state, [](size_t n) { return std::malloc(n); }, [](void* p, size_t) { std::free(p); });
}
BENCHMARK(BM_SystemMallocFree);

void BM_HashmapSet(benchmark::State& state) {
  const auto& keys = Keys();
  ccode::hashmap<std::string, int> map;
  map.create(kBuckets);
  for (auto _ : state) {
    map.clear();
    int i = 0;
    for (const std::string& k : keys) benchmark::DoNotOptimize(map.set(k, i++, 0));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * keys.size()));
}
BENCHMARK(BM_HashmapSet)->Unit(benchmark::kMillisecond);

void BM_UnorderedMapSet(benchmark::State& state) {
  const auto& keys = Keys();
  std::unordered_map<std::string, int> map;
  map.reserve(kBuckets);
  for (auto _ : state) {
    map.clear();
    int i = 0;
    for (const std::string& k : keys) benchmark::DoNotOptimize(map.emplace(k, i++));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * keys.size()));
}
BENCHMARK(BM_UnorderedMapSet)->Unit(benchmark::kMillisecond);

void BM_HashmapGet(benchmark::State& state) {
  ccode::hashmap<std::string, int> map;
  map.create(kBuckets);
  int i = 0;
  for (const std::string& k : Keys()) map.set(k, i++, 0);
  const auto& probes = Probes();
  for (auto _ : state) {
    long sum = 0;
    for (const std::string* k : probes) {
      int v = 0;
      map.get(*k, &v);
      sum += v;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * probes.size()));
}
BENCHMARK(BM_HashmapGet)->Unit(benchmark::kMillisecond);

void BM_UnorderedMapGet(benchmark::State& state) {
  std::unordered_map<std::string, int> map;
  map.reserve(kBuckets);
  int i = 0;
  for (const std::string& k : Keys()) map.emplace(k, i++);
  const auto& probes = Probes();
  for (auto _ : state) {
    long sum = 0;
    for (const std::string* k : probes) {
      auto it = map.find(*k);
      if (it != map.end()) sum += it->second;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * probes.size()));
}
BENCHMARK(BM_UnorderedMapGet)->Unit(benchmark::kMillisecond);


// --- multi-byte search against memmem -------------------------------------

constexpr size_t kTextBytes = 10 << 20;

// 10 MB of text: runs of random CJK characters (U+4E00..U+9FA5, all in GBK)
// between short ASCII words, in UTF-8 and in GBK; every 997th character is
// U+6587, the character the searches count.
struct Text {
  std::string utf8, gbk;
};

const Text& SearchText() {
  static const Text text = [] {
    std::mt19937 rng(11);
    std::vector<uint16_t> units;
    size_t bytes = 0;
    while (bytes < kTextBytes) {
      if (rng() % 8 == 0) {
        for (int i = 0, n = 2 + static_cast<int>(rng() % 6); i < n; ++i) units.push_back(static_cast<uint16_t>('a' + rng() % 26));
        units.push_back(' ');
        bytes += 8;
      } else {
        units.push_back(units.size() % 997 == 0 ? 0x6587 : static_cast<uint16_t>(0x4E00 + rng() % (0x9FA6 - 0x4E00)));
        bytes += 3;
      }
    }
    Text t;
    t.utf8.resize(units.size() * 3 + 1);
    t.utf8.resize(static_cast<size_t>(unicode_to_utf8(&t.utf8[0], static_cast<int>(t.utf8.size()), units.data(),
                                                      static_cast<int>(units.size()))));
    t.gbk.resize(units.size() * 2);
    t.gbk.resize(static_cast<size_t>(unicode_to_gbk(&t.gbk[0], static_cast<int>(t.gbk.size()), units.data(),
                                                    static_cast<int>(units.size()), ' ')));
    return t;
  }();
  return text;
}

const std::string& Haystack(int gbk) { return gbk ? SearchText().gbk : SearchText().utf8; }
const char* Needle(int gbk) { return gbk ? "\xCE\xC4" : "\xE6\x96\x87"; }  // U+6587

// Counts every occurrence of the character, searching on after each; the
// count is shown in the row ("matches"), so that rows that find different
// things say so. label says what the row's search does.
template <class Find>
void CountAll(benchmark::State& state, const char* label, Find find) {
  const std::string& text = Haystack(static_cast<int>(state.range(0)));
  const char* needle = Needle(static_cast<int>(state.range(0)));
  const size_t n = strlen(needle);
  size_t count = 0;
  for (auto _ : state) {
    count = 0;
    for (const char* p = text.c_str(); (p = find(p, text.c_str() + text.size(), needle, n)) != nullptr; p += n) ++count;
    benchmark::DoNotOptimize(count);
  }
  state.counters["matches"] = static_cast<double>(count);
  state.SetLabel(label);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_Memmem(benchmark::State& state) {
  CountAll(state, state.range(0) ? "GBK: byte matches, also those that split a character" : "UTF-8: byte matches",
           [](const char* p, const char* end, const char* needle, size_t n) {
    return static_cast<const char*>(memmem(p, static_cast<size_t>(end - p), needle, n));
  });
}
BENCHMARK(BM_Memmem)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_CcodeFind(benchmark::State& state) {
  const int ct = state.range(0) ? CODETYPE_GBK : CODETYPE_UTF8;
  // UTF-8 goes to glibc's strstr (a NUL-terminated search, no length): that
  // row compares strstr with memmem.
  CountAll(state, state.range(0) ? "GBK: skips matches that split a character" : "UTF-8: glibc strstr, not memmem",
           [ct](const char* p, const char*, const char* needle, size_t) {
    return static_cast<const char*>(ul_ccode_find(p, needle, ct));
  });
}
BENCHMARK(BM_CcodeFind)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_CcodeFindn(benchmark::State& state) {
  const int ct = state.range(0) ? CODETYPE_GBK : CODETYPE_UTF8;
  CountAll(state, state.range(0) ? "GBK: skips matches that split a character" : "UTF-8: memmem, then a character-start check",
           [ct](const char* p, const char* end, const char* needle, size_t n) {
    return static_cast<const char*>(ul_ccode_findn(p, static_cast<int>(end - p), needle, static_cast<int>(n), ct));
  });
}
BENCHMARK(BM_CcodeFindn)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// --- width conversion against ICU -------------------------------------------

// 1 MB of UTF-8: the search text's start with every fourth character made
// full-width (U+FF01..U+FF5E, U+3000..U+3002).
const std::string& WideText() {
  static const std::string text = [] {
    std::mt19937 rng(5);
    std::vector<uint16_t> units;
    for (size_t bytes = 0; bytes < (1 << 20); bytes += 3) {
      const unsigned r = rng() % 4;
      units.push_back(static_cast<uint16_t>(r == 0 ? 0xFF01 + rng() % 94 : r == 1 ? 0x3000 + rng() % 3 : 0x4E00 + rng() % 5000));
    }
    std::string out(units.size() * 3 + 1, '\0');
    out.resize(static_cast<size_t>(unicode_to_utf8(&out[0], static_cast<int>(out.size()), units.data(),
                                                   static_cast<int>(units.size()))));
    return out;
  }();
  return text;
}

void BM_CcodeToHalf(benchmark::State& state) {
  const std::string& text = WideText();
  std::string out(text.size() + 1, '\0');
  for (auto _ : state) {
    benchmark::DoNotOptimize(ul_ccode_tohalf(text.c_str(), static_cast<int>(text.size()), &out[0],
                                             static_cast<int>(out.size()), CODETYPE_UTF8));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_CcodeToHalf)->Unit(benchmark::kMillisecond);

// ICU from UTF-8 to UTF-8, as the library's function works.
void BM_IcuFullwidthHalfwidth(benchmark::State& state) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::Transliterator> t(
      icu::Transliterator::createInstance("Fullwidth-Halfwidth", UTRANS_FORWARD, status));
  if (U_FAILURE(status)) {
    state.SkipWithError("no Fullwidth-Halfwidth transliterator");
    return;
  }
  const std::string& text = WideText();
  std::string out;
  state.SetLabel("lower bound: leaves U+3001 and U+3002 as they are");
  for (auto _ : state) {
    icu::UnicodeString s = icu::UnicodeString::fromUTF8(text);
    t->transliterate(s);
    out.clear();
    s.toUTF8String(out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_IcuFullwidthHalfwidth)->Unit(benchmark::kMillisecond);

// --- the older text check against uchardet ---------------------------------

// A page of the corpus in one of the four classes the check tells apart.
struct Page {
  std::string bytes;
  int expect;      // 0 English, 1 GB, 2 BIG5, 3 UTF-8
  bool utf8_ok;    // an English page in UTF-8 may also be called UTF-8
  std::string encoding;
};

std::vector<Page>& Pages() {
  static std::vector<Page> pages;
  return pages;
}

bool LoadPages(const std::string& dir) {
  std::ifstream manifest(dir + "/manifest.tsv");
  std::string line;
  while (std::getline(manifest, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string file, encoding, language;
    std::getline(fields, file, '\t');
    std::getline(fields, encoding, '\t');
    std::getline(fields, language, '\t');
    Page p{"", -1, false, encoding};
    if (encoding == "GBK" || encoding == "GB18030") p.expect = 1;
    if (encoding == "BIG5") p.expect = 2;
    if ((encoding == "UTF-8" || encoding == "UTF-8-BOM") && (language == "zh_CN" || language == "zh_TW")) p.expect = 3;
    if (language == "en") p = Page{"", 0, encoding == "UTF-8", encoding};
    if (p.expect < 0) continue;
    std::ifstream in(dir + "/" + file, std::ios::binary);
    std::ostringstream data;
    data << in.rdbuf();
    p.bytes = data.str();
    Pages().push_back(std::move(p));
  }
  return !Pages().empty();
}

int FromUchardet(const char* name) {
  const std::string n = name == nullptr ? "" : name;
  if (n == "GB18030" || n == "GB2312" || n == "GBK") return 1;
  if (n == "BIG5") return 2;
  if (n == "UTF-8") return 3;
  if (n == "ASCII" || n == "ISO-8859-1" || n == "WINDOWS-1252" || n == "ISO-8859-15") return 0;
  return -1;
}

int CheckUchardet(uchardet_t ud, const Page& p) {
  uchardet_reset(ud);
  uchardet_handle_data(ud, p.bytes.data(), p.bytes.size());
  uchardet_data_end(ud);
  return FromUchardet(uchardet_get_charset(ud));
}

int CheckCcode(const Page& p) { return ul_ccode_check(const_cast<char*>(p.bytes.c_str())); }

bool Right(const Page& p, int answer) { return answer == p.expect || (p.utf8_ok && answer == 3); }

void PrintAccuracy() {
  uchardet_t ud = uchardet_new();
  std::map<std::string, std::array<int, 3>> rows;  // pages, ccode right, uchardet right
  for (const Page& p : Pages()) {
    auto& row = rows[p.encoding + (p.expect == 0 ? " (English)" : "")];
    ++row[0];
    row[1] += Right(p, CheckCcode(p));
    row[2] += Right(p, CheckUchardet(ud, p));
  }
  uchardet_delete(ud);
  printf("%-24s %6s %9s %11s\n", "ul_ccode_check accuracy", "pages", "ccode %", "uchardet %");
  for (const auto& [name, r] : rows) printf("%-24s %6d %9.1f %11.1f\n", name.c_str(), r[0], 100.0 * r[1] / r[0], 100.0 * r[2] / r[0]);
  fflush(stdout);
}

size_t PageBytes() {
  size_t n = 0;
  for (const Page& p : Pages()) n += p.bytes.size();
  return n;
}

void BM_CheckCcode(benchmark::State& state) {
  int sink = 0;
  for (auto _ : state) {
    for (const Page& p : Pages()) sink += CheckCcode(p);
  }
  benchmark::DoNotOptimize(sink);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * Pages().size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * PageBytes()));
}

void BM_CheckUchardet(benchmark::State& state) {
  uchardet_t ud = uchardet_new();
  int sink = 0;
  for (auto _ : state) {
    for (const Page& p : Pages()) sink += CheckUchardet(ud, p);
  }
  uchardet_delete(ud);
  benchmark::DoNotOptimize(sink);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * Pages().size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * PageBytes()));
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const char* dir = getenv("PBDICT_CCODE_PAGES");
  const bool pages = dir != nullptr && LoadPages(dir);
  if (pages) {
    if (ul_ccode_load(ul_ccode_default_path(), 0) != 0) {
      fprintf(stderr, "cannot load the character-code data\n");
      return 1;
    }
    PrintAccuracy();
    benchmark::RegisterBenchmark("BM_CheckCcode", BM_CheckCcode)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_CheckUchardet", BM_CheckUchardet)->Unit(benchmark::kMillisecond);
  } else {
    printf("no page corpus (PBDICT_CCODE_PAGES): the older text check is not measured\n");
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (pages) ul_ccode_del();
  return 0;
}
