// Page code-type detection (ul_ccode_detect_codetype) against uchardet on
// the labelled page corpus of tools/gen_ccode_corpus.py: accuracy by
// encoding x declaration x length, then pages and bytes per second of both.
//
// The corpus folder (with its manifest.tsv) is named by the environment
// variable PBDICT_CCODE_PAGES, or several folders separated by ':' (the
// manual-page corpus and the translated-documentation corpus of
// tools/gen_ccode_docs_corpus.py): the accuracy tables are printed for each,
// the timings run on the first. scripts/bench-ccode-detect makes the corpora
// when they are missing and runs this. Without a corpus nothing is measured.
#include <benchmark/benchmark.h>
#include <strings.h>
#include <uchardet/uchardet.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "ul_ccode_codetype.h"
#include "ccode_corpus_list.h"
#include "ul_ccode_conv.h"
#include "ul_ccode_load.h"
#include "ul_ccode_type.h"

namespace {

// Code types outside the library's numbering, for the answers of uchardet
// (and labels) the library has no code type for.
constexpr int kKoi8r = 100;
constexpr int kIso88598 = 101;
constexpr int kOther = -100;

struct Page {
  std::string file, encoding, declaration, length;
  std::string bytes;
  std::string url;
  bool ascii = true;  // no byte of 0x80 or above after a leading byte-order mark
  std::set<int> same;  // other code types that read this page to the same text
};

// One labelled corpus: its name (the folder above its pages) and pages.
struct Corpus {
  std::string name;
  std::vector<Page> pages;
};

std::vector<Corpus>& Corpora() {
  static std::vector<Corpus> corpora;
  return corpora;
}

// The pages the timings run on: those of the first corpus.
std::vector<Page>& Pages() {
  static std::vector<Page> none;
  return Corpora().empty() ? none : Corpora().front().pages;
}

// The code types that read a page of this label to the same text when its
// bytes happen to avoid the positions where they differ (a Turkish page
// with no byte of 0x80-0x9F reads alike in WINDOWS-1254 and ISO-8859-9).
void FindSameReadings(Page* p) {
  static const std::map<std::string, std::vector<std::pair<const char*, int>>> kAlternates = {
      {"WINDOWS-1254", {{"ISO-8859-9", CODETYPE_ISO_8859_9}}},
      {"WINDOWS-874", {{"TIS-620", CODETYPE_TIS620}, {"ISO-8859-11", CODETYPE_ISO_8859_11}}},
      {"WINDOWS-1255", {{"ISO-8859-8", kIso88598}}},
  };
  const auto it = kAlternates.find(p->encoding);
  if (it == kAlternates.end()) return;
  const std::string mine = ccode_bench::ConvertWhole("UTF-8", p->encoding.c_str(), p->bytes);
  for (const auto& [name, code] : it->second) {
    if (!mine.empty() && ccode_bench::ConvertWhole("UTF-8", name, p->bytes) == mine) p->same.insert(code);
  }
}

bool LoadCorpus(const std::string& dir, std::vector<Page>* pages) {
  std::ifstream manifest(dir + "/manifest.tsv");
  if (!manifest) return false;
  std::string line;
  while (std::getline(manifest, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    Page p;
    std::string language, declared, size;
    std::getline(fields, p.file, '\t');
    std::getline(fields, p.encoding, '\t');
    std::getline(fields, language, '\t');
    std::getline(fields, p.declaration, '\t');
    std::getline(fields, declared, '\t');
    std::getline(fields, p.length, '\t');
    std::ifstream in(dir + "/" + p.file, std::ios::binary);
    std::ostringstream data;
    data << in.rdbuf();
    p.bytes = data.str();
    const size_t bom = p.bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    for (size_t i = bom; i < p.bytes.size(); ++i) p.ascii = p.ascii && static_cast<unsigned char>(p.bytes[i]) < 0x80;
    p.url = "http://corpus.test/" + p.file;
    FindSameReadings(&p);
    pages->push_back(std::move(p));
  }
  return !pages->empty();
}

// The corpora of a ':'-separated list of folders; false when one of them
// has no pages.
bool LoadCorpora(const std::string& dirs) {
  return ccode_bench::LoadCorpora(dirs, &Corpora(), [](const std::string& dir, Corpus* c) {
    return LoadCorpus(dir, &c->pages);
  });
}

// uchardet's names as code types.
int FromUchardet(const char* name) {
  static const struct {
    const char* name;
    int code;
  } kNames[] = {
      {"ASCII", CODETYPE_ASCII},        {"UTF-8", CODETYPE_UTF8},          {"GB18030", CODETYPE_GB},
      {"GB2312", CODETYPE_GB},          {"GBK", CODETYPE_GBK},             {"BIG5", CODETYPE_BIG5},
      {"EUC-JP", CODETYPE_EUCJP},       {"SHIFT_JIS", CODETYPE_SJIS},      {"ISO-2022-JP", CODETYPE_JIS},
      {"EUC-KR", CODETYPE_EUCKR},       {"UHC", CODETYPE_EUCKR},           {"ISO-8859-1", CODETYPE_ISO_8859_1},
      {"WINDOWS-1252", CODETYPE_ISO_8859_1}, {"ISO-8859-15", CODETYPE_ISO_8859_1}, {"WINDOWS-1251", CODETYPE_WIN1251},
      {"KOI8-R", kKoi8r},               {"ISO-8859-7", CODETYPE_ISO_8859_7}, {"WINDOWS-1255", CODETYPE_WIN1255},
      {"ISO-8859-9", CODETYPE_ISO_8859_9}, {"WINDOWS-1254", CODETYPE_WIN1254}, {"TIS-620", CODETYPE_TIS620},
      {"WINDOWS-1258", CODETYPE_WIN1258}, {"ISO-8859-6", CODETYPE_ISO_8859_6}, {"WINDOWS-1256", CODETYPE_WIN1256},
      {"ISO-8859-11", CODETYPE_ISO_8859_11}, {"WINDOWS-874", CODETYPE_WIN874}, {"VISCII", CODETYPE_VISCII},
      {"ISO-8859-8", kIso88598},
  };
  if (name == nullptr || name[0] == '\0') return CODETYPE_NONE;
  for (const auto& n : kNames) {
    if (strcasecmp(name, n.name) == 0) return n.code;
  }
  return kOther;
}

// The answers right for a page: its label's code types, a code type that
// reads every byte of the label's the same way (a superset: WINDOWS-1254 for
// ISO-8859-9, WINDOWS-874 for TIS-620, TIS-620 and ISO-8859-11 for each
// other's Thai letters), and ASCII for a page whose text has no byte of 0x80
// or above (a UTF-8 page of ASCII text with a byte-order mark is ASCII by the
// decision's rule order), and a code type that reads this page's bytes to
// the same text (Page::same). Every encoding of the corpus has a case here.
bool Right(const Page& p, int code) {
  if (p.ascii && code == CODETYPE_ASCII) return true;
  if (p.same.count(code) != 0) return true;
  const std::string& e = p.encoding;
  if (e == "GBK" || e == "GB18030") return code == CODETYPE_GB || code == CODETYPE_GBK;
  if (e == "BIG5") return code == CODETYPE_BIG5;
  if (e == "UTF-8" || e == "UTF-8-BOM") return code == CODETYPE_UTF8;
  if (e == "EUC-JP") return code == CODETYPE_EUCJP;
  if (e == "SHIFT_JIS") return code == CODETYPE_SJIS;
  if (e == "ISO-2022-JP") return code == CODETYPE_JIS;
  if (e == "EUC-KR") return code == CODETYPE_EUCKR;
  if (e == "WINDOWS-1252") return code == CODETYPE_ISO_8859_1;
  if (e == "WINDOWS-1251") return code == CODETYPE_WIN1251;
  if (e == "KOI8-R") return code == kKoi8r;
  if (e == "ISO-8859-6") return code == CODETYPE_ISO_8859_6;
  if (e == "ISO-8859-7") return code == CODETYPE_ISO_8859_7;
  if (e == "ISO-8859-9") return code == CODETYPE_ISO_8859_9 || code == CODETYPE_WIN1254;
  if (e == "WINDOWS-1254") return code == CODETYPE_WIN1254;
  if (e == "WINDOWS-1255") return code == CODETYPE_WIN1255;
  if (e == "WINDOWS-1256") return code == CODETYPE_WIN1256;
  if (e == "WINDOWS-1258") return code == CODETYPE_WIN1258;
  if (e == "VISCII") return code == CODETYPE_VISCII;
  if (e == "TIS-620") return code == CODETYPE_TIS620 || code == CODETYPE_ISO_8859_11 || code == CODETYPE_WIN874;
  if (e == "WINDOWS-874") return code == CODETYPE_WIN874;
  static std::set<std::string> unscored;
  if (unscored.insert(e).second) fprintf(stderr, "no scoring case for encoding %s\n", e.c_str());
  return false;
}

int DetectCcode(const Page& p) {
  int code = CODETYPE_NONE;
  if (ul_ccode_detect_codetype(p.bytes.c_str(), p.url.c_str(), nullptr, nullptr, &code) != 1) return kOther;
  return code;
}

int DetectUchardet(uchardet_t ud, const Page& p) {
  uchardet_reset(ud);
  uchardet_handle_data(ud, p.bytes.data(), p.bytes.size());
  uchardet_data_end(ud);
  return FromUchardet(uchardet_get_charset(ud));
}

struct Tally {
  int pages = 0, ccode = 0, uchardet = 0;
  void Add(bool a, bool b) {
    ++pages;
    ccode += a;
    uchardet += b;
  }
};

double Pct(int n, int d) { return d == 0 ? 0.0 : 100.0 * n / d; }

void PrintRow(const std::string& name, const Tally& t) {
  printf("%-44s %6d %8.1f %9.1f\n", name.c_str(), t.pages, Pct(t.ccode, t.pages), Pct(t.uchardet, t.pages));
}

// One line per encoding: the share of pages without a declaration whose
// code type is right at each length, ccode beside uchardet.
void EncodingSummary(const std::map<std::tuple<std::string, std::string, std::string>, Tally>& cells) {
  printf("Code type, no declaration (%% right, ccode / uchardet; \"<\": more than 2 points below)\n");
  printf("%-14s | %13s | %13s | %13s\n", "encoding", "200 B", "2 KB", "20 KB");
  std::map<std::string, std::map<std::string, Tally>> rows;
  for (const auto& [key, t] : cells) {
    if (std::get<1>(key) == "none") rows[std::get<0>(key)][std::get<2>(key)] = t;
  }
  for (const auto& [enc, by_length] : rows) {
    printf("%-14s", enc.c_str());
    for (const char* len : {"200", "2k", "20k"}) {
      const auto it = by_length.find(len);
      const Tally t = it == by_length.end() ? Tally() : it->second;
      const double a = Pct(t.ccode, t.pages), b = Pct(t.uchardet, t.pages);
      printf(" | %5.1f%s %5.1f", a, a + 2.0 < b ? "<" : " ", b);
    }
    printf("\n");
  }
  printf("\n");
}

// The accuracy tables: one row per encoding x declaration x length, then the
// goal group and the single-byte Cyrillic pages apart.
void Evaluate(const Corpus& corpus) {
  uchardet_t ud = uchardet_new();
  std::map<std::tuple<std::string, std::string, std::string>, Tally> cells;
  std::map<std::string, Tally> by_encoding;
  Tally goal, cyrillic, all;
  static const std::set<std::string> kGoal = {"GBK", "GB18030", "BIG5", "UTF-8", "UTF-8-BOM",
                                              "EUC-JP", "SHIFT_JIS", "EUC-KR"};
  std::map<std::pair<std::string, int>, int> misses;  // (encoding, answer) of goal-group misses
  for (const Page& p : corpus.pages) {
    const int a = DetectCcode(p), b = DetectUchardet(ud, p);
    const bool ra = Right(p, a), rb = Right(p, b);
    cells[{p.encoding, p.declaration, p.length}].Add(ra, rb);
    const bool cyr = p.encoding == "KOI8-R" || p.encoding == "WINDOWS-1251";
    (cyr ? cyrillic : all).Add(ra, rb);
    if (!cyr) by_encoding[p.encoding].Add(ra, rb);
    if (kGoal.count(p.encoding) && p.declaration == "none" && p.length != "200") {
      goal.Add(ra, rb);
      if (!ra) ++misses[{p.encoding, a}];
    }
  }
  uchardet_delete(ud);
  printf("=== corpus %s: %zu pages\n\n", corpus.name.c_str(), corpus.pages.size());
  EncodingSummary(cells);
  printf("%-44s %6s %8s %9s\n", "encoding / declaration / length", "pages", "ccode %", "uchardet %");
  for (const auto& [key, t] : cells) {
    const auto& [enc, decl, len] = key;
    PrintRow(enc + " / " + decl + " / " + len, t);
  }
  printf("\n");
  for (const auto& [enc, t] : by_encoding) PrintRow(enc + " (all)", t);
  printf("\n");
  PrintRow("goal: CJK + UTF-8, >= 2 KB, no declaration", goal);
  PrintRow("all but KOI8-R and WINDOWS-1251", all);
  PrintRow("KOI8-R and WINDOWS-1251 (apart)", cyrillic);
  for (const auto& [key, n] : misses) printf("  goal miss: %s answered %d (%d pages)\n", key.first.c_str(), key.second, n);
  printf("\n");
  fflush(stdout);
}

size_t CorpusBytes() {
  size_t n = 0;
  for (const Page& p : Pages()) n += p.bytes.size();
  return n;
}

void BM_DetectCodetype_Ccode(benchmark::State& state) {
  int sink = 0;
  for (auto _ : state) {
    for (const Page& p : Pages()) sink += DetectCcode(p);
  }
  benchmark::DoNotOptimize(sink);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * Pages().size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * CorpusBytes()));
}

void BM_DetectCodetype_Uchardet(benchmark::State& state) {
  uchardet_t ud = uchardet_new();
  int sink = 0;
  for (auto _ : state) {
    for (const Page& p : Pages()) sink += DetectUchardet(ud, p);
  }
  uchardet_delete(ud);
  benchmark::DoNotOptimize(sink);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * Pages().size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * CorpusBytes()));
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const char* dir = getenv("PBDICT_CCODE_PAGES");
  if (dir == nullptr || !LoadCorpora(dir)) {
    printf("no page corpus (PBDICT_CCODE_PAGES): run scripts/bench-ccode-detect\n");
    return 0;
  }
  if (ul_ccode_load(ul_ccode_default_path(), 0) != 0 || ul_ccode_conv_open() != 0) {
    fprintf(stderr, "cannot load the character-code data\n");
    return 1;
  }
  for (const Corpus& corpus : Corpora()) Evaluate(corpus);
  benchmark::RegisterBenchmark("BM_DetectCodetype_Ccode", BM_DetectCodetype_Ccode)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BM_DetectCodetype_Uchardet", BM_DetectCodetype_Uchardet)->Unit(benchmark::kMillisecond);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  ul_ccode_conv_close();
  ul_ccode_del();
  return 0;
}
