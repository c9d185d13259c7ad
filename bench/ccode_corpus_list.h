// The evaluation corpora named by one environment variable: a folder or
// file, or several separated by ':' (the manual-page corpus and the
// translated-documentation corpus, for instance). Shared by the page and
// query evaluations (bench_ccode_detect, bench_ccode_langdet,
// bench_ccode_query).
#ifndef PBDICT_BENCH_CCODE_CORPUS_LIST_H_
#define PBDICT_BENCH_CCODE_CORPUS_LIST_H_

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

}  // namespace ccode_bench

#endif  // PBDICT_BENCH_CCODE_CORPUS_LIST_H_
