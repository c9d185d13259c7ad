// Query detection against its anchors, on held-out short queries
// (tools/gen_query_corpus.py, file in $PBDICT_QUERY_CORPUS):
//  * the language (and code type) of detection into a package, on each
//    query in UTF-8 and in its language's legacy encodings, against CLD2's
//    ExtDetectLanguageSummary on the UTF-8 form (plain text); timed into a
//    package and into an array alone (as CLD2 answers);
//  * the code type of a Chinese query in GBK, UTF-8 and UCS-2 against
//    uchardet.
// The accuracy tables are printed first, for every query file of the
// ':'-separated list (the held-out queries and those of the translated
// documentation, tools/gen_query_corpus.py --docs); then queries per second
// of each, on the first.
#include <benchmark/benchmark.h>
#include <cld2/public/compact_lang_det.h>
#include <stdio.h>
#include <stdlib.h>
#include <uchardet/uchardet.h>

#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ccode_corpus_list.h"
#include "ul_ccode_conv.h"
#include "ul_ccode_load.h"
#include "ul_ccode_querydetect.h"
#include "ul_ccode_querylang.h"
#include "ul_ccode_type.h"
#include "ul_pack.h"

namespace {

struct Lang {
  const char* stem;
  int lang;
  CLD2::Language cld;
  std::vector<std::pair<const char*, int>> legacy;  // iconv name, code type
};

const std::vector<Lang>& Langs() {
  static const std::vector<Lang> langs = {
      {"english", LANGTYPE_ENGLISH, CLD2::ENGLISH, {}},
      {"simp_chinese", LANGTYPE_SIMP_CHINESE, CLD2::CHINESE, {{"GBK", CODETYPE_GB}}},
      {"trad_chinese", LANGTYPE_TRAD_CHINESE, CLD2::CHINESE_T, {{"BIG5", CODETYPE_BIG5}}},
      {"japanese", LANGTYPE_JAPANESE, CLD2::JAPANESE, {{"EUC-JP", CODETYPE_EUCJP}, {"SHIFT_JIS", CODETYPE_SJIS}}},
      {"thai", LANGTYPE_THAI, CLD2::THAI, {{"TIS-620", CODETYPE_TIS620}}},
      {"vietnamese", LANGTYPE_VIETNAMESE, CLD2::VIETNAMESE, {{"WINDOWS-1258", CODETYPE_WIN1258}}},
      {"malay", LANGTYPE_MALAY, CLD2::MALAY, {}},
      {"french", LANGTYPE_FRENCH, CLD2::FRENCH, {{"ISO-8859-1", CODETYPE_ISO_8859_1}}},
      {"arabic", LANGTYPE_ARABIC, CLD2::ARABIC, {{"WINDOWS-1256", CODETYPE_WIN1256}, {"ISO-8859-6", CODETYPE_ISO_8859_6}}},
      {"portuguese", LANGTYPE_PORTUGUESE, CLD2::PORTUGUESE, {{"ISO-8859-1", CODETYPE_ISO_8859_1}}},
      {"spanish", LANGTYPE_SPANISH, CLD2::SPANISH, {{"ISO-8859-1", CODETYPE_ISO_8859_1}}},
      {"indonesian", LANGTYPE_INDONESIAN, CLD2::INDONESIAN, {}},
  };
  return langs;
}

struct Query {
  const Lang* lang;
  std::string kind, utf8;
};

// Chinese queries in the three forms of the code-type detection.
struct CodedQuery {
  std::string bytes;
  int code;
};

// One query file: its name (the folder holding it) and queries.
struct QueryCorpus {
  std::string name;
  std::vector<Query> queries;
  std::vector<CodedQuery> coded;
};

std::vector<QueryCorpus>& Corpora() {
  static std::vector<QueryCorpus> corpora;
  return corpora;
}

// The queries the timings run on: those of the first file.
std::vector<Query>& Queries() {
  static std::vector<Query> none;
  return Corpora().empty() ? none : Corpora().front().queries;
}
std::vector<CodedQuery>& CodedQueries() {
  static std::vector<CodedQuery> none;
  return Corpora().empty() ? none : Corpora().front().coded;
}

bool LoadCorpus(const std::string& file, QueryCorpus* corpus) {
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    const size_t a = line.find('\t'), b = line.find('\t', a + 1);
    if (b == std::string::npos) continue;
    const std::string stem = line.substr(0, a);
    for (const Lang& l : Langs()) {
      if (stem != l.stem) continue;
      corpus->queries.push_back({&l, line.substr(a + 1, b - a - 1), line.substr(b + 1)});
      if (l.lang == LANGTYPE_SIMP_CHINESE || l.lang == LANGTYPE_TRAD_CHINESE) {
        const std::string& u = corpus->queries.back().utf8;
        const std::string g = ccode_bench::ConvertWhole("GBK", "UTF-8", u), w = ccode_bench::ConvertWhole("UCS-2LE", "UTF-8", u);
        if (!g.empty() && (g.size() > u.size() || g != u)) {
          corpus->coded.push_back({g, CODETYPE_GB});
          corpus->coded.push_back({u, CODETYPE_UTF8});
          corpus->coded.push_back({w, CODETYPE_UCS2});
        }
      }
    }
  }
  return !corpus->queries.empty();
}

// The query files of a ':'-separated list; false when one of them has no
// queries.
bool LoadCorpora(const std::string& files) {
  return ccode_bench::LoadCorpora(files, &Corpora(), LoadCorpus);
}

bool Ascii(const std::string& s) {
  for (unsigned char c : s) {
    if (c >= 0x80) return false;
  }
  return true;
}

// The top candidate of detection into a package (and the array out), or
// into out alone when pkg is NULL: (code type, language).
std::pair<int, int> Detect(const std::string& q, ul_package* pkg) {
  std::string copy = q;
  int out[3] = {-1, -1, 0};
  if (pkg != nullptr) ul_pack_cleanhead(pkg);
  if (ul_ccode_query_detect(reinterpret_cast<unsigned char*>(&copy[0]), pkg, out, 3, -2) != 1) return {-1, -1};
  return {out[0], out[1]};
}

CLD2::Language Cld2(const std::string& q) {
  CLD2::Language three[3];
  int percent[3], text_bytes;
  bool reliable;
  return CLD2::ExtDetectLanguageSummary(q.data(), static_cast<int>(q.size()), true, three, percent, &text_bytes,
                                        &reliable);
}

int CodeOf(const std::string& q) { return ul_ccode_query_detect(const_cast<char*>(q.c_str()), static_cast<int>(q.size())); }

int Uchardet(uchardet_t ud, const std::string& q) {
  uchardet_reset(ud);
  uchardet_handle_data(ud, q.data(), q.size());
  uchardet_data_end(ud);
  const std::string cs = uchardet_get_charset(ud);
  if (cs == "GB18030" || cs == "GBK" || cs == "GB2312" || cs == "HZ-GB-2312") return CODETYPE_GB;
  if (cs == "UTF-8" || cs == "ASCII") return CODETYPE_UTF8;
  if (cs == "UTF-16LE" || cs == "UTF-16") return CODETYPE_UCS2;
  return -1;
}

double Pct(int n, int d) { return d == 0 ? 0.0 : 100.0 * n / d; }

// The wrong answers by form: the (code type, language) pairs given to 5
// queries or more.
void Misses(const std::map<std::pair<std::string, std::pair<int, int>>, int>& misses) {
  printf("wrong answers by form (5 queries or more):\n");
  for (const auto& [key, n] : misses) {
    if (n < 5) continue;
    const auto& [code, lang] = key.second;
    printf("  %-18s answered %s / %s (%d)\n", key.first.c_str(), code >= 0 ? ul_getcodetype(code) : "-1",
           lang >= 0 ? ul_getlangtype(lang) : "-1", n);
  }
}

void Evaluate(const QueryCorpus& corpus) {
  std::unique_ptr<ul_package, int (*)(ul_package*)> pkg(ul_pack_init(), ul_pack_free);
  struct Tally {
    int n = 0, utf8 = 0, utf8_code = 0, legacy_n = 0, legacy = 0, legacy_code = 0, cld = 0, pair = 0, cld_pair = 0;
  };
  std::map<std::string, Tally> by_lang, by_kind;
  Tally all;
  // (form, (code type, language) answered) -> queries: UTF-8 queries whose
  // language is wrong (form "UTF-8 <language>"), legacy forms whose code type
  // or language is wrong (form: the encoding).
  std::map<std::pair<std::string, std::pair<int, int>>, int> misses;
  for (const Query& q : corpus.queries) {
    const std::pair<int, int> r = Detect(q.utf8, pkg.get());
    const CLD2::Language c = Cld2(q.utf8);
    const bool msid = q.lang->lang == LANGTYPE_MALAY || q.lang->lang == LANGTYPE_INDONESIAN;
    const bool ok = r.second == q.lang->lang, cok = c == q.lang->cld;
    const bool pok = ok || (msid && (r.second == LANGTYPE_MALAY || r.second == LANGTYPE_INDONESIAN));
    const bool cpok = cok || (msid && (c == CLD2::MALAY || c == CLD2::INDONESIAN));
    const int want_code = Ascii(q.utf8) ? CODETYPE_ASCII : CODETYPE_UTF8;
    if (!pok) ++misses[{std::string("UTF-8 ") + q.lang->stem, r}];
    for (Tally* t : {&by_lang[q.lang->stem], &by_kind[q.kind], &all}) {
      ++t->n;
      t->utf8 += ok;
      t->utf8_code += r.first == want_code;
      t->cld += cok;
      t->pair += pok;
      t->cld_pair += cpok;
    }
    for (const auto& [name, code] : q.lang->legacy) {
      if (Ascii(q.utf8)) continue;
      const std::string bytes = ccode_bench::ConvertWhole(name, "UTF-8", q.utf8);
      if (bytes.empty()) continue;
      const std::pair<int, int> l = Detect(bytes, pkg.get());
      if (l.second != q.lang->lang || l.first != code) ++misses[{std::string(name), l}];
      for (Tally* t : {&by_lang[q.lang->stem], &by_kind[q.kind], &all}) {
        ++t->legacy_n;
        t->legacy += l.second == q.lang->lang;
        t->legacy_code += l.first == code;
      }
    }
  }
  printf("=== queries %s: %zu\n", corpus.name.c_str(), corpus.queries.size());
  printf("top-1 language of held-out queries: detection into a package (UTF-8 and legacy forms) and CLD2 (UTF-8)\n");
  printf("%-14s %6s %8s %8s %8s %9s %9s %8s %10s\n", "language", "n", "ccode %", "code %", "CLD2 %", "legacy n",
         "legacy %", "code %", "ms+id %");
  auto row = [](const std::string& name, const Tally& t) {
    printf("%-14s %6d %8.1f %8.1f %8.1f %9d %9.1f %8.1f %5.1f/%4.1f\n", name.c_str(), t.n, Pct(t.utf8, t.n),
           Pct(t.utf8_code, t.n), Pct(t.cld, t.n), t.legacy_n, Pct(t.legacy, t.legacy_n),
           Pct(t.legacy_code, t.legacy_n), Pct(t.pair, t.n), Pct(t.cld_pair, t.n));
  };
  for (const Lang& l : Langs()) row(l.stem, by_lang[l.stem]);
  for (const auto& [kind, t] : by_kind) row("(" + kind + ")", t);
  row("all", all);
  Misses(misses);

  uchardet_t ud = uchardet_new();
  std::map<int, std::pair<int, int>> code_ok;  // code -> (ccode, uchardet)
  std::map<int, int> code_n;
  for (const CodedQuery& q : corpus.coded) {
    ++code_n[q.code];
    code_ok[q.code].first += CodeOf(q.bytes) == q.code;
    code_ok[q.code].second += Uchardet(ud, q.bytes) == q.code;
  }
  uchardet_delete(ud);
  printf("\ncode type of Chinese queries: %-8s %6s %8s %11s\n", "form", "n", "ccode %", "uchardet %");
  for (const auto& [code, n] : code_n) {
    printf("%38s %6d %8.1f %11.1f\n", ul_getcodetype(code), n, Pct(code_ok[code].first, n),
           Pct(code_ok[code].second, n));
  }
  printf("\n");
  fflush(stdout);
}

void BM_QueryLang_Ccode(benchmark::State& state) {
  std::unique_ptr<ul_package, int (*)(ul_package*)> pkg(ul_pack_init(), ul_pack_free);
  int sink = 0;
  for (auto _ : state) {
    for (const Query& q : Queries()) sink += Detect(q.utf8, pkg.get()).second;
  }
  benchmark::DoNotOptimize(sink);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * Queries().size()));
}

// The same detection answering in an array only, as CLD2 answers: no
// name/value package.
void BM_QueryLang_CcodeArray(benchmark::State& state) {
  int sink = 0;
  for (auto _ : state) {
    for (const Query& q : Queries()) sink += Detect(q.utf8, nullptr).second;
  }
  benchmark::DoNotOptimize(sink);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * Queries().size()));
}

// The longest query detection reads (10,240 bytes) as one run of
// characters without a separator, built from the held-out queries of the
// given language; CLD2 on the same bytes.
std::string LongRun(int lang) {
  std::string run;
  while (run.size() < 10240) {
    const size_t before = run.size();
    for (const Query& q : Queries()) {
      if (q.lang->lang != lang) continue;
      for (char c : q.utf8) {
        if (c != ' ' && c != '\t') run.push_back(c);
      }
      if (run.size() >= 10240) break;
    }
    if (run.size() == before) return run;
  }
  // Cut at a character boundary.
  size_t end = 10240;
  while (end > 0 && (static_cast<unsigned char>(run[end]) & 0xC0) == 0x80) --end;
  return run.substr(0, end);
}

void BM_QueryLang_LongRun_Ccode(benchmark::State& state) {
  const std::string q = LongRun(static_cast<int>(state.range(0)));
  int sink = 0;
  for (auto _ : state) sink += Detect(q, nullptr).second;
  benchmark::DoNotOptimize(sink);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * q.size()));
}

void BM_QueryLang_LongRun_Cld2(benchmark::State& state) {
  const std::string q = LongRun(static_cast<int>(state.range(0)));
  int sink = 0;
  for (auto _ : state) sink += Cld2(q);
  benchmark::DoNotOptimize(sink);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * q.size()));
}

void BM_QueryLang_Cld2(benchmark::State& state) {
  int sink = 0;
  for (auto _ : state) {
    for (const Query& q : Queries()) sink += Cld2(q.utf8);
  }
  benchmark::DoNotOptimize(sink);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * Queries().size()));
}

void BM_QueryCode_Ccode(benchmark::State& state) {
  int sink = 0;
  for (auto _ : state) {
    for (const CodedQuery& q : CodedQueries()) sink += CodeOf(q.bytes);
  }
  benchmark::DoNotOptimize(sink);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * CodedQueries().size()));
}

void BM_QueryCode_Uchardet(benchmark::State& state) {
  uchardet_t ud = uchardet_new();
  int sink = 0;
  for (auto _ : state) {
    for (const CodedQuery& q : CodedQueries()) sink += Uchardet(ud, q.bytes);
  }
  uchardet_delete(ud);
  benchmark::DoNotOptimize(sink);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * CodedQueries().size()));
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const char* file = getenv("PBDICT_QUERY_CORPUS");
  if (file == nullptr || !LoadCorpora(file)) {
    printf("no query corpus (PBDICT_QUERY_CORPUS): run scripts/bench-ccode-query\n");
    return 0;
  }
  if (ul_ccode_load(ul_ccode_default_path(), 6) != 0 || ul_ccode_conv_open() != 0) {
    fprintf(stderr, "cannot load the character-code data\n");
    return 1;
  }
  for (const QueryCorpus& corpus : Corpora()) Evaluate(corpus);
  benchmark::RegisterBenchmark("BM_QueryLang_Ccode", BM_QueryLang_Ccode)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BM_QueryLang_CcodeArray", BM_QueryLang_CcodeArray)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BM_QueryLang_Cld2", BM_QueryLang_Cld2)->Unit(benchmark::kMillisecond);
  for (auto* row : {benchmark::RegisterBenchmark("BM_QueryLang_LongRun_Ccode", BM_QueryLang_LongRun_Ccode),
                    benchmark::RegisterBenchmark("BM_QueryLang_LongRun_Cld2", BM_QueryLang_LongRun_Cld2)}) {
    row->Arg(LANGTYPE_SIMP_CHINESE)->Arg(LANGTYPE_THAI)->Unit(benchmark::kMillisecond);
  }
  benchmark::RegisterBenchmark("BM_QueryCode_Ccode", BM_QueryCode_Ccode)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BM_QueryCode_Uchardet", BM_QueryCode_Uchardet)->Unit(benchmark::kMillisecond);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  ul_ccode_conv_close();
  ul_ccode_del();
  return 0;
}
