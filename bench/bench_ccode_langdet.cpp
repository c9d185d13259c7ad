// Page language detection (ul_ccode_langdet) against CLD2 alone on the
// labelled page corpus of tools/gen_ccode_corpus.py, in one run:
//   - the main language of ul_ccode_langdet (code type detected) against
//     CLD2's summary language of the same page in UTF-8 (as HTML, no hints),
//     by language x encoding x length;
//   - the code type of ul_ccode_chardet on the single-byte pages, beside
//     uchardet's where uchardet names one;
//   - pages per second of ul_ccode_langdet and of CLD2 on the page already
//     in UTF-8;
//   - by page length (200 B, 2 KB, 20 KB), ul_ccode_langdet from raw bytes
//     against the pipeline that does the same work with the anchors:
//     uchardet names the code, iconv converts the page to UTF-8 and CLD2
//     reads it with the flags ul_ccode_langdet gives it (HTML, no hints;
//     the meta description as plain text when the page gives no answer).
//     The evaluation says on how many pages both sides hand CLD2 the same
//     bytes.
//
// The corpus folder (with its manifest.tsv) is named by PBDICT_CCODE_PAGES,
// or several folders separated by ':' (the manual-page corpus and the
// translated-documentation corpus of tools/gen_ccode_docs_corpus.py): the
// accuracy tables are printed for each, the timings run on the first.
// scripts/bench-ccode-langdet makes the corpora when they are missing and
// runs this. Without a corpus nothing is measured. PBDICT_CCODE_TIMES_ONLY=1
// leaves out the evaluation and runs the timings alone.
#include <benchmark/benchmark.h>
#include <iconv.h>
#include <strings.h>
#include <uchardet/uchardet.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include <cld2/public/compact_lang_det.h>
#include <cld2/public/encodings.h>

#include "ccode_corpus_list.h"
#include "ul_ccode_conv.h"
#include "ul_ccode_langdet.h"
#include "ul_ccode_load.h"
#include "ul_ccode_type.h"
#include "ul_cld_lang.h"
#include "ul_langtype.h"

namespace {

struct Page {
  std::string file, encoding, language, declaration, length;
  std::string bytes, utf8, url;
  int lang = -1;  // the language the page is written in
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

int LanguageOf(const std::string& label) {
  static const std::map<std::string, int> kLabels = {
      {"en", LANGTYPE_ENGLISH},     {"zh_CN", LANGTYPE_SIMP_CHINESE}, {"zh_TW", LANGTYPE_TRAD_CHINESE},
      {"ja", LANGTYPE_JAPANESE},    {"ko", LANGTYPE_KOREAN},          {"ru", LANGTYPE_RUSSIAN},
      {"fr", LANGTYPE_FRENCH},      {"de", LANGTYPE_GERMAN},          {"es", LANGTYPE_SPANISH},
      {"it", LANGTYPE_ITALIAN},     {"pt_BR", LANGTYPE_PORTUGUESE},   {"vi", LANGTYPE_VIETNAMESE},
      {"tr", LANGTYPE_TURKISH},     {"nl", LANGTYPE_DUTCH},           {"da", LANGTYPE_DANISH},
      {"fi", LANGTYPE_FINNISH},     {"id", LANGTYPE_INDONESIAN},      {"el", LANGTYPE_GREEK},
      {"ar", LANGTYPE_ARABIC},      {"th", LANGTYPE_THAI},            {"he", LANGTYPE_HEBREW},
  };
  const auto it = kLabels.find(label);
  return it == kLabels.end() ? -1 : it->second;
}

// The page in UTF-8 (its label's encoding converted, a byte-order mark
// dropped).
std::string ToUtf8(const Page& p) {
  std::string in = p.bytes;
  std::string from = p.encoding;
  if (from == "UTF-8-BOM") {
    from = "UTF-8";
    in = in.substr(3);
  }
  iconv_t cd = iconv_open("UTF-8", from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return in;
  std::string out(in.size() * 4 + 16, '\0');
  char* ip = &in[0];
  char* op = &out[0];
  size_t inleft = in.size(), outleft = out.size();
  iconv(cd, &ip, &inleft, &op, &outleft);
  iconv(cd, nullptr, nullptr, &op, &outleft);
  iconv_close(cd);
  out.resize(out.size() - outleft);
  return out;
}

bool LoadCorpus(const std::string& dir, std::vector<Page>* pages) {
  std::ifstream manifest(dir + "/manifest.tsv");
  if (!manifest) return false;
  std::string line;
  while (std::getline(manifest, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    Page p;
    std::string declared;
    std::getline(fields, p.file, '\t');
    std::getline(fields, p.encoding, '\t');
    std::getline(fields, p.language, '\t');
    std::getline(fields, p.declaration, '\t');
    std::getline(fields, declared, '\t');
    std::getline(fields, p.length, '\t');
    // Pages without a declaration, and with the right one (the single-byte
    // code pages other than Latin-1 are told apart by their declaration).
    if (p.declaration == "wrong") continue;
    std::ifstream in(dir + "/" + p.file, std::ios::binary);
    std::ostringstream data;
    data << in.rdbuf();
    p.bytes = data.str();
    p.utf8 = ToUtf8(p);
    p.lang = LanguageOf(p.language);
    p.url = "http://corpus.test/" + p.file;
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

// Main language of ul_ccode_langdet, or -1.
int Ccode(const Page& p) {
  int code = CODETYPE_UNKNOWN, conf[kCcodeLangConfLen];
  long long value = -1;
  if (ul_ccode_langdet(p.bytes.c_str(), p.url.c_str(), nullptr, nullptr, &code, &value, conf) != 0) return -2;
  int lang = -1, c = 0;
  ul_ccode_langtype_v2(value, &lang, &c, 1, V2_MAINLANG);
  return lang;
}

CLD2::Language Cld2(std::string_view utf8, bool plain_text) {
  const CLD2::CLDHints hints = {nullptr, "", CLD2::UNKNOWN_ENCODING, CLD2::UNKNOWN_LANGUAGE};
  CLD2::Language language3[3];
  int percent3[3];
  double score3[3];
  int text_bytes;
  bool reliable;
  return CLD2::ExtDetectLanguageSummary(utf8.data(), static_cast<int>(utf8.size()), plain_text, &hints, 0, language3,
                                        percent3, score3, nullptr, &text_bytes, &reliable);
}

// The description of a meta tag, as ul_ccode_langdet takes it for its
// second question to CLD2: the text after the marker up to the next '"',
// empty when there is none or it has 4,095 bytes or more.
std::string_view Description(std::string_view text) {
  constexpr std::string_view kMarker = "escription\" content=\"", kUpper = "ESCRIPTION\" CONTENT=\"";
  size_t at = text.find(kMarker);
  if (at == std::string_view::npos) at = text.find(kUpper);
  if (at == std::string_view::npos) return {};
  const std::string_view rest = text.substr(at + kMarker.size());
  const size_t quote = rest.find('"');
  return quote == std::string_view::npos || quote >= 4095 ? std::string_view() : rest.substr(0, quote);
}

// The anchors doing the work of ul_ccode_langdet: uchardet names the code of
// the raw bytes, iconv converts them to UTF-8 (a byte it cannot convert is
// skipped) and CLD2 reads the text as HTML, then the meta description as
// plain text when the page gives no answer. The converters stay open from
// one page to the next, as the library keeps its own conversion state.
class Pipeline {
 public:
  Pipeline() : ud_(uchardet_new()) {}
  ~Pipeline() {
    uchardet_delete(ud_);
    for (auto& [name, cd] : open_) {
      if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    }
  }
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;

  // The text CLD2 reads for the page, NUL-terminated and valid UTF-8 (CLD2
  // reads past the end of text that is not): the page's bytes as they stand
  // when uchardet names ASCII, read as UTF-8 when it names no code or one
  // iconv does not know.
  std::string_view Utf8(const std::string& page) {
    uchardet_reset(ud_);
    uchardet_handle_data(ud_, page.data(), page.size());
    uchardet_data_end(ud_);
    const char* name = uchardet_get_charset(ud_);
    if (name != nullptr && strcasecmp(name, "ASCII") == 0) return page;
    if (name == nullptr || name[0] == '\0') name = "UTF-8";
    auto it = open_.find(name);
    if (it == open_.end()) it = open_.emplace(name, iconv_open("UTF-8", name)).first;
    iconv_t cd = it->second;
    if (cd == reinterpret_cast<iconv_t>(-1)) cd = open_.emplace("UTF-8", iconv_open("UTF-8", "UTF-8")).first->second;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (out_.size() < page.size() * 4 + 16) out_.resize(page.size() * 4 + 16);
    char* ip = const_cast<char*>(page.data());
    char* op = &out_[0];
    size_t inleft = page.size(), outleft = out_.size() - 1;
    while (inleft > 0 && iconv(cd, &ip, &inleft, &op, &outleft) == static_cast<size_t>(-1)) {
      ++ip;
      --inleft;
    }
    iconv(cd, nullptr, nullptr, &op, &outleft);
    *op = '\0';
    return std::string_view(out_.data(), static_cast<size_t>(op - out_.data()));
  }

  CLD2::Language Language(const std::string& page) {
    const std::string_view text = Utf8(page);
    CLD2::Language l = Cld2(text, false);
    if (l == CLD2::UNKNOWN_LANGUAGE) {
      const std::string_view description = Description(text);
      if (!description.empty()) l = Cld2(description, true);
    }
    return l;
  }

 private:
  uchardet_t ud_;
  std::map<std::string, iconv_t> open_;
  std::string out_;
};

// The code types a single-byte label may be answered with.
int CodeOf(const std::string& encoding) {
  static const std::map<std::string, int> kCodes = {
      {"WINDOWS-1252", CODETYPE_ISO_8859_1}, {"WINDOWS-1251", CODETYPE_WIN1251}, {"WINDOWS-1254", CODETYPE_WIN1254},
      {"ISO-8859-9", CODETYPE_ISO_8859_9},   {"WINDOWS-1258", CODETYPE_WIN1258}, {"VISCII", CODETYPE_VISCII},
      {"ISO-8859-7", CODETYPE_ISO_8859_7},   {"WINDOWS-1256", CODETYPE_WIN1256}, {"ISO-8859-6", CODETYPE_ISO_8859_6},
      {"TIS-620", CODETYPE_TIS620},          {"WINDOWS-874", CODETYPE_WIN874},   {"WINDOWS-1255", CODETYPE_WIN1255},
  };
  const auto it = kCodes.find(encoding);
  return it == kCodes.end() ? -100 : it->second;
}

// Two answers right when they name the same code page (the ISO and Windows
// forms of Thai and Turkish, and TIS-620 and ISO-8859-11, count as one).
bool SameCodePage(int a, int b) {
  auto family = [](int c) -> int {
    switch (c) {
      case CODETYPE_ISO_8859_9: return CODETYPE_WIN1254;
      case CODETYPE_ISO_8859_11:
      case CODETYPE_TIS620: return CODETYPE_WIN874;
      default: return c;
    }
  };
  return family(a) == family(b);
}

int FromUchardet(const char* name) {
  static const std::map<std::string, int> kNames = {
      {"ISO-8859-1", CODETYPE_ISO_8859_1}, {"WINDOWS-1252", CODETYPE_ISO_8859_1}, {"ISO-8859-15", CODETYPE_ISO_8859_1},
      {"WINDOWS-1251", CODETYPE_WIN1251},  {"WINDOWS-1254", CODETYPE_WIN1254},    {"ISO-8859-9", CODETYPE_ISO_8859_9},
      {"WINDOWS-1258", CODETYPE_WIN1258},  {"VISCII", CODETYPE_VISCII},           {"ISO-8859-7", CODETYPE_ISO_8859_7},
      {"WINDOWS-1256", CODETYPE_WIN1256},  {"ISO-8859-6", CODETYPE_ISO_8859_6},   {"TIS-620", CODETYPE_TIS620},
      {"WINDOWS-874", CODETYPE_WIN874},    {"WINDOWS-1255", CODETYPE_WIN1255},    {"ISO-8859-8", CODETYPE_WIN1255},
      {"ASCII", CODETYPE_ASCII},
  };
  std::string upper = name == nullptr ? "" : name;
  for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  const auto it = kNames.find(upper);
  return it == kNames.end() ? -100 : it->second;
}

struct Tally {
  int pages = 0, a = 0, b = 0;
  void Add(bool x, bool y) {
    ++pages;
    a += x;
    b += y;
  }
};

double Pct(int n, int d) { return d == 0 ? 0.0 : 100.0 * n / d; }

void Row(const std::string& name, const Tally& t) {
  printf("%-40s %6d %8.1f %8.1f%s\n", name.c_str(), t.pages, Pct(t.a, t.pages), Pct(t.b, t.pages),
         t.a < t.b ? "  <" : "");
}

// Whether the pipeline hands CLD2 the bytes ul_ccode_langdet hands it, by
// page length: the same text, other text (the two detectors name other
// codes, or convert a code differently), or no call to CLD2 on the
// library's side (a video page, an empty one, or bytes that do not read as
// the GB code they were taken for).
void SameWork(const Corpus& corpus) {
  struct Count {
    int same = 0, other = 0, none = 0;
  };
  std::map<std::string, Count> by_length;
  Pipeline pipeline;
  char* given = get_ccode_utf8buf_cld();
  for (const Page& p : corpus.pages) {
    given[0] = '\0';
    Ccode(p);
    const std::string_view mine(given);
    const std::string_view theirs = pipeline.Utf8(p.bytes);
    Count& c = by_length[p.length];
    if (mine.empty() && !theirs.empty()) {
      ++c.none;
    } else if (mine == theirs) {
      ++c.same;
    } else {
      ++c.other;
    }
  }
  printf("Text handed to CLD2, ul_ccode_langdet and the pipeline\n");
  printf("%-8s %8s %8s %8s\n", "length", "same", "other", "no call");
  for (const auto& [len, c] : by_length) printf("%-8s %8d %8d %8d\n", len.c_str(), c.same, c.other, c.none);
  printf("\n");
}

// "<" when a share trails its anchor's by more than 2 points.
const char* Trails(const Tally& t) { return Pct(t.a, t.pages) + 2.0 < Pct(t.b, t.pages) ? "<" : " "; }

// One line per language: the share of pages of 2 KB and of 20 KB whose main
// language is right, without and with the right declaration, beside CLD2's
// (which reads the page in UTF-8, so a declaration is nothing to it), then
// the same over all languages.
void LanguageSummary(const std::map<std::tuple<std::string, std::string, std::string>, Tally>& summary) {
  printf("Page language, 2 KB and 20 KB pages (%% right; \"<\": more than 2 points below CLD2)\n");
  printf("%-8s %6s | %8s %8s %8s | %8s %8s %8s\n", "language", "pages", "2k none", "2k right", "2k CLD2", "20k none",
         "20k right", "20k CLD2");
  std::map<std::string, std::map<std::pair<std::string, std::string>, Tally>> rows;
  for (const auto& [key, t] : summary) {
    const auto& [lang, len, decl] = key;
    if (len == "200") continue;
    for (const std::string& row : {lang, std::string("all")}) {
      Tally& into = rows[row][{len, decl}];
      into.pages += t.pages;
      into.a += t.a;
      into.b += t.b;
    }
  }
  std::vector<std::string> order;
  for (const auto& row : rows) {
    if (row.first != "all") order.push_back(row.first);
  }
  order.push_back("all");
  for (const std::string& lang : order) {
    const auto& cells = rows[lang];
    auto get = [&cells](const char* len, const char* decl) {
      const auto it = cells.find({len, decl});
      return it == cells.end() ? Tally() : it->second;
    };
    const Tally n2 = get("2k", "none"), r2 = get("2k", "right"), n20 = get("20k", "none"), r20 = get("20k", "right");
    printf("%-8s %6d | %7.1f%s %7.1f%s %8.1f | %7.1f%s %7.1f%s %8.1f\n", lang.c_str(),
           n2.pages + r2.pages + n20.pages + r20.pages, Pct(n2.a, n2.pages), Trails(n2), Pct(r2.a, r2.pages),
           Trails(r2), Pct(n2.b, n2.pages), Pct(n20.a, n20.pages), Trails(n20), Pct(r20.a, r20.pages), Trails(r20),
           Pct(n20.b, n20.pages));
  }
  printf("\n");
}

// One line per single-byte code page: the share of pages without a
// declaration whose code type ul_ccode_chardet names right at each length,
// beside uchardet's.
void CodeSummary(const std::map<std::pair<std::string, std::string>, Tally>& codes) {
  printf("Single-byte code type, no declaration (%% right, ccode / uchardet; \"<\": more than 2 points below)\n");
  printf("%-14s | %13s | %13s | %13s\n", "encoding", "200 B", "2 KB", "20 KB");
  std::map<std::string, std::map<std::string, Tally>> rows;
  for (const auto& [key, t] : codes) rows[key.first][key.second] = t;
  for (const auto& [enc, cells] : rows) {
    printf("%-14s", enc.c_str());
    for (const char* len : {"200", "2k", "20k"}) {
      const auto it = cells.find(len);
      const Tally t = it == cells.end() ? Tally() : it->second;
      printf(" | %5.1f%s %5.1f", Pct(t.a, t.pages), Trails(t), Pct(t.b, t.pages));
    }
    printf("\n");
  }
  printf("\n");
}

void Evaluate(const Corpus& corpus) {
  std::map<std::tuple<std::string, std::string, std::string>, Tally> cells;
  std::map<std::string, Tally> by_language;
  std::map<std::pair<std::string, int>, int> answers;  // (language, ccode's wrong answer) -> pages
  std::map<std::string, Tally> declared;
  Tally all, all_declared;
  // (language, length, declaration) -> tally, for the summary.
  std::map<std::tuple<std::string, std::string, std::string>, Tally> summary;
  for (const Page& p : corpus.pages) {
    if (p.lang < 0) continue;
    const int mine = Ccode(p);
    const int cld = transCldLang2CcodeLang(Cld2(p.utf8, false));
    summary[{p.language, p.length, p.declaration}].Add(mine == p.lang, cld == p.lang);
    if (p.declaration != "none") {
      declared[p.language].Add(mine == p.lang, cld == p.lang);
      all_declared.Add(mine == p.lang, cld == p.lang);
      continue;
    }
    cells[{p.language, p.encoding, p.length}].Add(mine == p.lang, cld == p.lang);
    by_language[p.language].Add(mine == p.lang, cld == p.lang);
    all.Add(mine == p.lang, cld == p.lang);
    if (mine != p.lang) ++answers[{p.language, mine}];
  }
  printf("=== corpus %s: %zu pages\n\n", corpus.name.c_str(), corpus.pages.size());
  LanguageSummary(summary);
  printf("Main language, pages without a declaration (\"<\": below CLD2)\n");
  printf("%-40s %6s %8s %8s\n", "language / encoding / length", "pages", "ccode %", "CLD2 %");
  for (const auto& [key, t] : cells) {
    const auto& [lang, enc, len] = key;
    Row(lang + " / " + enc + " / " + len, t);
  }
  printf("\n");
  for (const auto& [lang, t] : by_language) Row(lang + " (all)", t);
  Row("all", all);
  printf("\nThe same pages with the right declaration\n");
  for (const auto& [lang, t] : declared) Row(lang + " (declared)", t);
  Row("all (declared)", all_declared);
  printf("\nWrong answers without a declaration\n");
  for (const auto& [key, n] : answers) {
    printf("  %s answered %s (%d pages)\n", key.first.c_str(),
           key.second >= -1 ? ul_getlangtype(key.second) : "(failure)", n);
  }

  printf("\nCode type of ul_ccode_chardet on single-byte pages without a declaration, beside uchardet\n");
  printf("%-40s %6s %8s %8s\n", "encoding / length", "pages", "ccode %", "uchard %");
  std::map<std::pair<std::string, std::string>, Tally> codes;
  std::map<std::pair<std::string, int>, int> code_answers;
  uchardet_t ud = uchardet_new();
  for (const Page& p : corpus.pages) {
    const int want = CodeOf(p.encoding);
    if (want == -100 || p.declaration != "none") continue;
    int code = -3;
    ul_ccode_chardet(p.bytes.c_str(), (p.url + "#c").c_str(), nullptr, nullptr, &code, nullptr);
    uchardet_reset(ud);
    uchardet_handle_data(ud, p.bytes.data(), p.bytes.size());
    uchardet_data_end(ud);
    const int theirs = FromUchardet(uchardet_get_charset(ud));
    // A page without a byte above 0x7F reads the same in ASCII: that answer
    // is right for it, on either side.
    const bool ascii_page =
        std::none_of(p.bytes.begin(), p.bytes.end(), [](char c) { return static_cast<unsigned char>(c) > 0x7F; });
    auto right = [&](int answer) { return SameCodePage(answer, want) || (ascii_page && answer == CODETYPE_ASCII); };
    codes[{p.encoding, p.length}].Add(right(code), right(theirs));
    if (!right(code)) ++code_answers[{p.encoding, code}];
  }
  uchardet_delete(ud);
  for (const auto& [key, t] : codes) Row(key.first + " / " + key.second, t);
  for (const auto& [key, n] : code_answers) {
    printf("  %s answered %s (%d pages)\n", key.first.c_str(), key.second >= -1 ? ul_getcodetype(key.second) : "?", n);
  }
  printf("\n");
  CodeSummary(codes);
  SameWork(corpus);
  fflush(stdout);
}

void BM_Langdet_Ccode(benchmark::State& state) {
  int sink = 0;
  for (auto _ : state) {
    for (const Page& p : Pages()) sink += Ccode(p);
  }
  benchmark::DoNotOptimize(sink);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * Pages().size()));
}

void BM_Langdet_Cld2(benchmark::State& state) {
  int sink = 0;
  for (auto _ : state) {
    for (const Page& p : Pages()) sink += Cld2(p.utf8, false);
  }
  benchmark::DoNotOptimize(sink);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * Pages().size()));
}

// Pages of one length, by index 0, 1, 2 for 200 B, 2 KB and 20 KB.
const std::vector<const Page*>& OfLength(int index) {
  static std::vector<const Page*> sets[3];
  static const char* kLengths[3] = {"200", "2k", "20k"};
  if (sets[index].empty()) {
    for (const Page& p : Pages()) {
      if (p.length == kLengths[index]) sets[index].push_back(&p);
    }
  }
  return sets[index];
}

void Processed(benchmark::State& state, const std::vector<const Page*>& pages) {
  int64_t bytes = 0;
  for (const Page* p : pages) bytes += static_cast<int64_t>(p->bytes.size());
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(pages.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
}

void BM_PageLang_Ccode(benchmark::State& state) {
  const auto& pages = OfLength(static_cast<int>(state.range(0)));
  int sink = 0;
  for (auto _ : state) {
    for (const Page* p : pages) sink += Ccode(*p);
  }
  benchmark::DoNotOptimize(sink);
  Processed(state, pages);
}

void BM_PageLang_Pipeline(benchmark::State& state) {
  const auto& pages = OfLength(static_cast<int>(state.range(0)));
  Pipeline pipeline;
  int sink = 0;
  for (auto _ : state) {
    for (const Page* p : pages) sink += pipeline.Language(p->bytes);
  }
  benchmark::DoNotOptimize(sink);
  Processed(state, pages);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const char* dir = getenv("PBDICT_CCODE_PAGES");
  if (dir == nullptr || !LoadCorpora(dir)) {
    printf("no page corpus (PBDICT_CCODE_PAGES): run scripts/bench-ccode-langdet\n");
    return 0;
  }
  if (ul_ccode_load(ul_ccode_default_path(), 0) != 0 || ul_ccode_conv_open() != 0) {
    fprintf(stderr, "cannot load the character-code data\n");
    return 1;
  }
  // PBDICT_CCODE_TIMES_ONLY=1 leaves the evaluation out (for profiles).
  const char* times_only = getenv("PBDICT_CCODE_TIMES_ONLY");
  if (times_only == nullptr || strcmp(times_only, "1") != 0) {
    for (const Corpus& corpus : Corpora()) Evaluate(corpus);
  }
  benchmark::RegisterBenchmark("BM_Langdet_Ccode", BM_Langdet_Ccode)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("BM_Langdet_Cld2", BM_Langdet_Cld2)->Unit(benchmark::kMillisecond);
  // Arguments 0, 1, 2: pages of 200 B, 2 KB and 20 KB; each pair side by side.
  for (int length = 0; length < 3; ++length) {
    benchmark::RegisterBenchmark("BM_PageLang_Ccode", BM_PageLang_Ccode)->Arg(length)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_PageLang_Pipeline", BM_PageLang_Pipeline)
        ->Arg(length)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  ul_ccode_conv_close();
  ul_ccode_del();
  return 0;
}
