// Signature dictionary benchmarks, each against its anchor in the same run:
//  - creat_sign_fs64 and creat_sign_murmur64 against XXH64 over 8-byte,
//    32-byte and 1 KiB strings (bytes/s);
//  - db_op1 SEEK and the search-side look-up (in memory and mapped) against
//    std::unordered_map<uint64_t, ...>::find on the same 1,000,000 keys
//    (items/s = look-ups);
//  - ds_syn_seek against std::unordered_multimap<std::string,
//    std::string>::equal_range on the same 1,000,000 pairs, both copying the
//    synonyms out (items/s = look-ups);
//  - dp_seek over 10 MB of text with 100,000 phrases against probing a
//    std::unordered_set<std::string_view> at every position for every phrase
//    length (bytes/s);
//  - db_add_link of 1,000,000 postings at 10, 100 and 1,000 postings a term
//    (documents in increasing order, as an indexer adds them), alone and
//    followed by db_stand_link and
//    db_save_link, against filling, sorting, weighting and writing
//    std::vector<std::vector<uint32_t>> into the same bytes (items/s =
//    postings; both write their three files durably: fsync of each file and
//    of the folder).
#include <fcntl.h>
#include <ftw.h>
#include <unistd.h>
#include <xxhash.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "benchmark/benchmark.h"
#include "ul_dict.h"

namespace {

std::string RandomBytes(size_t n) {
  std::mt19937 rng(static_cast<unsigned>(n));
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(1 + rng() % 255);  // no NUL: murmur64 checks the end
  return s;
}

void BM_SignFs64(benchmark::State& state) {
  const std::string s = RandomBytes(static_cast<size_t>(state.range(0)));
  u_int a, b;
  for (auto _ : state) {
    creat_sign_fs64(s.data(), static_cast<int>(s.size()), &a, &b);
    benchmark::DoNotOptimize(a);
    benchmark::DoNotOptimize(b);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
}

void BM_SignMurmur64(benchmark::State& state) {
  const std::string s = RandomBytes(static_cast<size_t>(state.range(0)));
  u_int a, b;
  for (auto _ : state) {
    creat_sign_murmur64(s.c_str(), static_cast<int>(s.size()), &a, &b, 0);
    benchmark::DoNotOptimize(a);
    benchmark::DoNotOptimize(b);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
}

void BM_Anchor_XXH64(benchmark::State& state) {
  const std::string s = RandomBytes(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(XXH64(s.data(), s.size(), 0));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
}

BENCHMARK(BM_SignFs64)->Arg(8)->Arg(32)->Arg(1024);
BENCHMARK(BM_SignMurmur64)->Arg(8)->Arg(32)->Arg(1024);
BENCHMARK(BM_Anchor_XXH64)->Arg(8)->Arg(32)->Arg(1024);

// One million keys, saved once and loaded in every form; look-ups go over the
// keys in a shuffled order.
constexpr int kKeys = 1000000;

struct Fixture {
  std::vector<Sdict_snode> keys;  // look-up order
  Sdict_build* build = nullptr;
  Sdict_search* mem = nullptr;
  Sdict_search* map = nullptr;
  std::unordered_map<uint64_t, std::pair<int, u_int>> anchor;
  std::string dir;

  Fixture() {
    std::mt19937_64 rng(42);
    build = db_creat(kKeys / 2 + 1, 0);
    for (int i = 0; i < kKeys; ++i) {
      const uint64_t k = rng();
      Sdict_snode n{static_cast<u_int>(k >> 32), static_cast<u_int>(k), -1, 0};
      db_op1(build, &n, ADD);
      keys.push_back(n);
      anchor.emplace(k, std::make_pair(n.code, n.other));
    }
    char tmpl[] = "/tmp/bench_dict_XXXXXX";
    if (mkdtemp(tmpl) == nullptr) std::abort();
    dir = tmpl;
    if (db_save(build, dir.c_str(), "d") != 1) std::abort();
    mem = ds_load(dir.c_str(), "d");
    map = ds_load_mmap(dir.c_str(), "d");
    if (mem == nullptr || map == nullptr) std::abort();
    std::shuffle(keys.begin(), keys.end(), rng);
  }
  ~Fixture() {
    db_del(build);
    ds_del(mem);
    ds_del_mmap(map);
    for (const char* f : {"d.n", "d.ind1", "d.ind2"}) std::remove((dir + "/" + f).c_str());
    std::remove(dir.c_str());
  }
};

Fixture& F() {
  static Fixture f;
  return f;
}

template <typename Lookup>
void RunLookups(benchmark::State& state, Lookup lookup) {
  const std::vector<Sdict_snode>& keys = F().keys;
  size_t i = 0;
  for (auto _ : state) {
    Sdict_snode n = keys[i];
    benchmark::DoNotOptimize(lookup(&n));
    benchmark::DoNotOptimize(n.code);
    if (++i == keys.size()) i = 0;
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void BM_DbOp1Seek(benchmark::State& state) {
  RunLookups(state, [](Sdict_snode* n) { return db_op1(F().build, n, SEEK); });
}

void BM_DsOp1Seek(benchmark::State& state) {
  RunLookups(state, [](Sdict_snode* n) { return ds_op1(F().mem, n, SEEK); });
}

void BM_DsOp1SeekMapped(benchmark::State& state) {
  RunLookups(state, [](Sdict_snode* n) { return ds_op1(F().map, n, SEEK); });
}

void BM_Anchor_UnorderedMapFind(benchmark::State& state) {
  RunLookups(state, [](Sdict_snode* n) {
    auto it = F().anchor.find((uint64_t{n->sign1} << 32) | n->sign2);
    if (it == F().anchor.end()) return 0;
    n->code = it->second.first;
    n->other = it->second.second;
    return 1;
  });
}

BENCHMARK(BM_DbOp1Seek);
BENCHMARK(BM_DsOp1Seek);
BENCHMARK(BM_DsOp1SeekMapped);
BENCHMARK(BM_Anchor_UnorderedMapFind);

// A scratch folder removed with its contents at exit.
struct Scratch {
  std::string dir;
  Scratch() {
    char tmpl[] = "/tmp/bench_dict_XXXXXX";
    if (mkdtemp(tmpl) == nullptr) std::abort();
    dir = tmpl;
  }
  ~Scratch() {
    nftw(dir.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return std::remove(p); }, 16,
         FTW_DEPTH | FTW_PHYS);
  }
};

// Lower-case words of 3..12 letters, distinct.
std::vector<std::string> MakeWords(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::unordered_set<std::string> seen;
  std::vector<std::string> words;
  while (words.size() < n) {
    std::string w(3 + rng() % 10, 'a');
    for (char& c : w) c = static_cast<char>('a' + rng() % 26);
    if (seen.insert(w).second) words.push_back(w);
  }
  return words;
}

// ---------------------------------------------------------------------------
// Synonyms: 1,000,000 pairs over 200,000 words.

struct SynFixture {
  Scratch scratch;
  std::vector<std::string> words;  // look-up order
  Sdict_search_syn* syn = nullptr;
  std::unordered_multimap<std::string, std::string> anchor;

  SynFixture() : words(MakeWords(200000, 3)) {
    std::mt19937 rng(4);
    Sdict_build_syn* b = db_syn_creat(500009);
    for (int i = 0; i < 1000000; ++i) {
      const std::string& w = words[rng() % words.size()];
      const std::string& s = words[rng() % words.size()];
      if (db_syn_add(b, w.c_str(), s.c_str()) == 0) anchor.emplace(w, s);
    }
    if (db_syn_save(b, scratch.dir.c_str(), "syn") != 1) std::abort();
    db_syn_del(b);
    syn = ds_syn_load(scratch.dir.c_str(), "syn");
    if (syn == nullptr) std::abort();
    std::shuffle(words.begin(), words.end(), rng);
  }
  ~SynFixture() { ds_syn_del(syn); }
};

SynFixture& Syn() {
  static SynFixture f;
  return f;
}

template <typename Seek>
void RunSynonyms(benchmark::State& state, Seek seek) {
  const std::vector<std::string>& words = Syn().words;
  static char out[1 << 14];
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(seek(words[i].c_str(), out));
    benchmark::ClobberMemory();
    if (++i == words.size()) i = 0;
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void BM_DsSynSeek(benchmark::State& state) {
  RunSynonyms(state, [](const char* w, char* out) { return ds_syn_seek(Syn().syn, w, out, 1 << 14); });
}

void BM_Anchor_MultimapEqualRange(benchmark::State& state) {
  RunSynonyms(state, [](const char* w, char* out) {
    const auto range = Syn().anchor.equal_range(w);
    int n = 0;
    size_t written = 0;
    for (auto it = range.first; it != range.second; ++it, ++n) {
      std::memcpy(out + written, it->second.c_str(), it->second.size() + 1);
      written += it->second.size() + 1;
    }
    return n;
  });
}

BENCHMARK(BM_DsSynSeek);
BENCHMARK(BM_Anchor_MultimapEqualRange);

// ---------------------------------------------------------------------------
// Phrases: 100,000 phrases, 10 MB of text made of phrases and other words.

struct PhraseFixture {
  Scratch scratch;
  std::vector<std::string> phrases;
  std::string text;
  Sdict_phrase* dp = nullptr;
  std::unordered_set<std::string_view> anchor;
  std::vector<size_t> lengths;  // every phrase length, ascending
  std::vector<char> out;

  PhraseFixture() : phrases(MakeWords(200000, 5)) {
    // The second half of the words are not phrases; the text mixes both.
    std::string src;
    for (size_t i = 0; i < 100000; ++i) src += phrases[i] + "\n";
    {
      FILE* f = std::fopen((scratch.dir + "/src").c_str(), "wb");
      if (f == nullptr || std::fwrite(src.data(), 1, src.size(), f) != src.size()) std::abort();
      std::fclose(f);
    }
    if (dp_build(scratch.dir.c_str(), "src", "ph") != 0) std::abort();
    dp = dp_load(scratch.dir.c_str(), "ph");
    std::mt19937 rng(6);
    while (text.size() < 10u << 20) text += phrases[rng() % phrases.size()] + (rng() % 8 == 0 ? ", " : " ");
    phrases.resize(100000);
    for (const std::string& p : phrases) {
      anchor.insert(p);
      if (std::find(lengths.begin(), lengths.end(), p.size()) == lengths.end()) lengths.push_back(p.size());
    }
    std::sort(lengths.begin(), lengths.end());
    // Each position yields the phrases that end at a word's end there.
    out.resize(8 * text.size() + 1);
  }
  ~PhraseFixture() { dp_del(dp); }
};

PhraseFixture& Phrases() {
  static PhraseFixture f;
  return f;
}

void BM_DpSeek(benchmark::State& state) {
  PhraseFixture& f = Phrases();
  for (auto _ : state) benchmark::DoNotOptimize(dp_seek(f.dp, f.text.c_str(), f.out.data()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.text.size()));
}

// The same walk and word-boundary rule, each position probed for every
// phrase length.
void BM_Anchor_UnorderedSetProbe(benchmark::State& state) {
  PhraseFixture& f = Phrases();
  const char* t = f.text.c_str();
  const size_t len = f.text.size();
  for (auto _ : state) {
    char* o = f.out.data();
    int count = 0;
    for (size_t p = 0; p + 3 <= len; p += static_cast<unsigned char>(t[p]) >= 0x80 ? 2 : 1) {
      for (size_t n : f.lengths) {
        if (p + n > len) break;
        const unsigned char after = static_cast<unsigned char>(t[p + n]);
        if (after != 0 && after < 0x80 && !std::isspace(after)) continue;
        if (f.anchor.find(std::string_view(t + p, n)) == f.anchor.end()) continue;
        std::memcpy(o, t + p, n);
        o[n] = ' ';
        o += n + 1;
        ++count;
      }
    }
    *o = '\0';
    benchmark::DoNotOptimize(count);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * len));
}

BENCHMARK(BM_DpSeek)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Anchor_UnorderedSetProbe)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------
// Posting lists: 100,000 documents of 10 distinct terms each (1,000,000
// postings), over as many terms as give 10, 100 or 1,000 postings a term
// (the benchmark argument).

constexpr int kLinkPostings = 1000000;
constexpr int kLinkDocTerms = 10;

struct LinkFixture {
  Scratch scratch;
  int terms;
  std::vector<std::pair<u_int, int>> postings;  // (term, document), documents ascending
  explicit LinkFixture(int per_term) : terms(kLinkPostings / per_term) {
    std::mt19937 rng(8);
    for (int doc = 0; doc < kLinkPostings / kLinkDocTerms; ++doc) {
      u_int doc_terms[kLinkDocTerms];
      for (int k = 0; k < kLinkDocTerms; ++k) {
        doc_terms[k] = rng() % static_cast<u_int>(terms);
        for (int j = 0; j < k; ++j) {
          if (doc_terms[j] == doc_terms[k]) {
            --k;  // draw again
            break;
          }
        }
      }
      for (u_int t : doc_terms) postings.emplace_back(t, doc);
    }
  }
};

LinkFixture& Links(int per_term) {
  static std::map<int, std::unique_ptr<LinkFixture>> fixtures;
  std::unique_ptr<LinkFixture>& f = fixtures[per_term];
  if (f == nullptr) f = std::make_unique<LinkFixture>(per_term);
  return *f;
}

Sdict_build* AddLinks(const LinkFixture& f) {
  Sdict_build* d = db_creat(f.terms, 0);
  for (const auto& [term, doc] : f.postings) {
    Sdict_snode r{0, term, doc, 0};
    db_add_link(d, &r);
  }
  return d;
}

// The add step alone (no anchor of its own: the fill of the anchor below is
// a push_back per posting).
void BM_DbAddLink(benchmark::State& state) {
  LinkFixture& f = Links(static_cast<int>(state.range(0)));
  for (auto _ : state) db_del(AddLinks(f));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * f.postings.size()));
}

void BM_DbAddLinkStandSave(benchmark::State& state) {
  LinkFixture& f = Links(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    Sdict_build* d = AddLinks(f);
    db_stand_link(d);
    if (db_save_link(d, f.scratch.dir.c_str(), "link") != 1) std::abort();
    db_del(d);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * f.postings.size()));
}

// Writes bytes to path as the dictionary savers do: a temporary name, fsync,
// rename, then fsync of the folder.
void WriteDurably(const std::string& dir, const std::string& name, const void* data, size_t n) {
  const std::string path = dir + "/" + name;
  const std::string tmp = path + ".tmp";
  const int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || write(fd, data, n) != static_cast<ssize_t>(n) || fsync(fd) != 0 || close(fd) != 0 ||
      std::rename(tmp.c_str(), path.c_str()) != 0) {
    std::abort();
  }
  const int d = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  if (d < 0 || fsync(d) != 0 || close(d) != 0) std::abort();
}

// The count-to-weight table of the saved lists: T[0] = 0, T[j+1] = T[j] + 1
// while T[j]^3 < 625 (j + 1).
const std::vector<uint32_t>& WeightTable() {
  static const std::vector<uint32_t> table = [] {
    std::vector<uint32_t> t(400000);
    for (size_t j = 0; j + 1 < t.size(); ++j) {
      const uint64_t v = t[j];
      t[j + 1] = v * v * v < 625 * (j + 1) ? t[j] + 1 : t[j];
    }
    return t;
  }();
  return table;
}

// The same files as db_stand_link + db_save_link from the vectors: each list
// sorted, a repeated document one posting counted up, counts weighted per
// list, at most 4,096 postings a term, and the three files written durably.
void VectorsSortWrite(const LinkFixture& f, const std::string& name) {
  std::vector<std::vector<uint32_t>> lists(static_cast<size_t>(f.terms));
  for (const auto& [term, doc] : f.postings) lists[term].push_back(static_cast<uint32_t>(doc));
  const std::vector<uint32_t>& table = WeightTable();
  std::vector<uint32_t> words, index, raw;
  words.reserve(f.postings.size());
  index.reserve(2 * lists.size());
  for (std::vector<uint32_t>& l : lists) {
    std::sort(l.begin(), l.end());
    raw.clear();
    uint32_t top = table[36];
    size_t kept = 0;
    for (size_t i = 0; i < l.size(); ++i) {
      if (i > 0 && l[i] == l[kept - 1]) {
        ++raw[kept - 1];  // the count, weighted below
        continue;
      }
      l[kept++] = l[i];
      raw.push_back(0);
    }
    for (uint32_t& r : raw) {
      r = table[std::min<uint32_t>(r / 10 + 1, 399999)];
      top = std::max(top, r);
    }
    const size_t n = std::min<size_t>(kept, 4096);
    index.push_back(static_cast<uint32_t>(words.size()));
    index.push_back(static_cast<uint32_t>(n));
    for (size_t i = 0; i < n; ++i) words.push_back((l[i] & 0x1FFFFFFu) | (raw[i] * 126 / top) << 25);
  }
  const std::string numbers = "term_num : " + std::to_string(f.terms) + "\n";
  WriteDurably(f.scratch.dir, name + ".n", numbers.data(), numbers.size());
  WriteDurably(f.scratch.dir, name + ".ind2", words.data(), words.size() * 4);
  WriteDurably(f.scratch.dir, name + ".ind1", index.data(), index.size() * 4);
}

std::string FileBytes(const std::string& path) {
  std::string s;
  if (FILE* in = std::fopen(path.c_str(), "rb")) {
    char buf[65536];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, in)) > 0;) s.append(buf, n);
    std::fclose(in);
  }
  return s;
}

// The anchor writes the bytes db_save_link writes, checked once before it is
// timed.
void BM_Anchor_VectorsSortWrite(benchmark::State& state) {
  LinkFixture& f = Links(static_cast<int>(state.range(0)));
  Sdict_build* d = AddLinks(f);
  db_stand_link(d);
  if (db_save_link(d, f.scratch.dir.c_str(), "check") != 1) std::abort();
  db_del(d);
  VectorsSortWrite(f, "anchor");
  for (const char* ext : {".n", ".ind1", ".ind2"}) {
    if (FileBytes(f.scratch.dir + "/check" + ext) != FileBytes(f.scratch.dir + "/anchor" + ext)) std::abort();
  }
  for (auto _ : state) VectorsSortWrite(f, "anchor");
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * f.postings.size()));
}

// Argument: postings a term.
BENCHMARK(BM_DbAddLink)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DbAddLinkStandSave)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Anchor_VectorsSortWrite)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
