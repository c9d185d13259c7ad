// The evaluation corpora named by one environment variable (a folder or
// file, or several separated by ':': the manual-page corpus and the
// translated-documentation corpus, for instance), how to load them, and the
// whole-text conversion their scoring uses. Shared by the page and query
// evaluations (bench_ccode_detect, bench_ccode_langdet, bench_ccode_query).
#ifndef PBDICT_BENCH_CCODE_CORPUS_LIST_H_
#define PBDICT_BENCH_CCODE_CORPUS_LIST_H_

#include <iconv.h>

#include <string>
#include <utility>
#include <vector>

namespace ccode_bench {

// (name, path) of every entry of a ':'-separated list, trailing '/'
// dropped; the name is that of the folder holding the entry
// (".../ccode-pages-docs/pages" is "ccode-pages-docs"), or the entry itself
// when it has none. An empty entry is kept (its path empty) for the caller
// to refuse.
inline std::vector<std::pair<std::string, std::string>> CorpusList(const std::string& list) {
  std::vector<std::pair<std::string, std::string>> out;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    std::string path = list.substr(start, end - start);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const size_t slash = path.rfind('/');
    std::string name = path;
    if (slash != std::string::npos && slash > 0) {
      const std::string parent = path.substr(0, slash);
      name = parent.substr(parent.rfind('/') + 1);
    }
    out.emplace_back(name, path);
    start = end + 1;
  }
  return out;
}

// Loads every corpus of a ':'-separated list into corpora, each through
// load(path, &corpus) after its name is set; false when an entry is empty or
// load refuses it. Corpus has a `name` member.
template <class Corpus, class Load>
bool LoadCorpora(const std::string& list, std::vector<Corpus>* corpora, Load load) {
  for (const auto& [name, path] : CorpusList(list)) {
    Corpus c;
    c.name = name;
    if (path.empty() || !load(path, &c)) return false;
    corpora->push_back(std::move(c));
  }
  return !corpora->empty();
}

// `in` converted whole from one encoding to another, or "" when iconv does
// not know either encoding or a byte does not convert.
inline std::string ConvertWhole(const char* to, const char* from, const std::string& in) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return "";
  std::string out(in.size() * 4 + 16, '\0');
  char* ip = const_cast<char*>(in.data());
  char* op = &out[0];
  size_t il = in.size(), ol = out.size();
  const bool ok = iconv(cd, &ip, &il, &op, &ol) != static_cast<size_t>(-1) &&
                  iconv(cd, nullptr, nullptr, &op, &ol) != static_cast<size_t>(-1);
  iconv_close(cd);
  if (!ok) return "";
  out.resize(out.size() - ol);
  return out;
}

}  // namespace ccode_bench

#endif  // PBDICT_BENCH_CCODE_CORPUS_LIST_H_
