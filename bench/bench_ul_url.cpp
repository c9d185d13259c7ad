// URL benchmarks on 1,000,000 URLs of the shapes the URL tests use (schemes,
// ports, IPv4 hosts, escapes, dot segments, blanks, queries, fragments, user
// information), generated from a fixed seed.
//
// Splitting (ul_parse_url into site, port and path) against its anchor,
// libcurl's URL interface: curl_url_set of the URL, then curl_url_get of the
// host, port, path and query. Normalising (ul_normalize_url) against
// curl_url_set and curl_url_get of the whole URL, which is libcurl's own
// rebuilt form. One benchmark iteration handles every URL once.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <random>
#include <string>
#include <vector>

#include "ul_url.h"

namespace {

constexpr size_t kUrls = 1000000;

const std::vector<std::string>& Urls() {
  static const std::vector<std::string> urls = [] {
    std::mt19937 rng(20101026);
    auto word = [&rng] {
      std::string w(3 + rng() % 8, 'a');
      for (char& c : w) c = static_cast<char>('a' + rng() % 26);
      return w;
    };
    auto num = [&rng] { return std::to_string(rng() % 100000); };
    auto port = [&rng] { return std::to_string(1 + rng() % 65535); };
    auto ip = [&rng] {
      return std::to_string(rng() % 256) + "." + std::to_string(rng() % 256) + "." +
             std::to_string(rng() % 256) + "." + std::to_string(rng() % 256);
    };
    std::vector<std::string> out;
    out.reserve(kUrls);
    for (size_t i = 0; i < kUrls; ++i) {
      switch (i % 14) {
        case 0: out.push_back("http://www." + word() + ".com/" + word() + "/" + word() + ".html"); break;
        case 1: out.push_back(word() + "." + word() + ".com.cn/" + word() + "?" + word() + "=" + num() + "&k=" + word()); break;
        case 2: out.push_back("HTTP://WWW." + word() + ".COM:80/" + word() + "/./" + word() + "/../" + word()); break;
        case 3: out.push_back(word() + ".com:" + port() + "/" + word() + "/" + word()); break;
        case 4: out.push_back("http://" + ip() + ":" + port() + "/" + word()); break;
        case 5: out.push_back(word() + ".net/" + word() + "%20" + word() + "/%7E" + word() + "?q=%41" + word()); break;
        case 6: out.push_back("www." + word() + ".org/" + word() + "//" + word() + "/./x/../" + word() + ".php?id=" + num() + "#top"); break;
        case 7: out.push_back(word() + ".com?" + word() + "=" + num()); break;
        case 8: out.push_back("http://user:pw@" + word() + ".com/" + word()); break;
        case 9: out.push_back("bbs." + word() + ".edu.cn/" + word() + ";jsessionid=" + num() + "?x=" + word()); break;
        case 10: out.push_back(word() + ".com/" + word() + " " + word()); break;
        case 11: out.push_back(word() + ".com/%E4%B8%AD%E6%96%87/" + word()); break;
        case 12: out.push_back("http://" + word() + ".gov.cn:8080/" + word() + "\\" + word() + "/index.htm"); break;
        default: out.push_back("http://" + word() + "-" + word() + ".com.cn/" + word() + "/" + word() + "/" + word() + "/" + num() + ".shtml"); break;
      }
    }
    return out;
  }();
  return urls;
}

void BM_UlParseUrl(benchmark::State& state) {
  const auto& urls = Urls();
  char site[48], port[6], path[203];
  for (auto _ : state) {
    int ok = 0;
    for (const std::string& u : urls) ok += ul_parse_url(u.c_str(), site, port, path);
    benchmark::DoNotOptimize(ok);
  }
  state.SetItemsProcessed(state.iterations() * urls.size());
}
BENCHMARK(BM_UlParseUrl)->Unit(benchmark::kMillisecond);

void BM_UlParseUrlEx2(benchmark::State& state) {
  const auto& urls = Urls();
  char site[256], port[7], path[1600];
  for (auto _ : state) {
    int ok = 0;
    for (const std::string& u : urls) ok += ul_parse_url_ex2(u.c_str(), site, sizeof(site), port, sizeof(port), path, sizeof(path));
    benchmark::DoNotOptimize(ok);
  }
  state.SetItemsProcessed(state.iterations() * urls.size());
}
BENCHMARK(BM_UlParseUrlEx2)->Unit(benchmark::kMillisecond);

// Anchor: libcurl's URL interface, one handle reused for every URL.
void BM_CurlUrlParseAnchor(benchmark::State& state) {
  const auto& urls = Urls();
  CURLU* h = curl_url();
  const CURLUPart parts[] = {CURLUPART_HOST, CURLUPART_PORT, CURLUPART_PATH, CURLUPART_QUERY};
  for (auto _ : state) {
    int ok = 0;
    for (const std::string& u : urls) {
      if (curl_url_set(h, CURLUPART_URL, u.c_str(), CURLU_DEFAULT_SCHEME) != CURLUE_OK) continue;
      for (CURLUPart part : parts) {
        char* text = nullptr;
        if (curl_url_get(h, part, &text, 0) == CURLUE_OK) {
          ++ok;
          curl_free(text);
        }
      }
    }
    benchmark::DoNotOptimize(ok);
  }
  curl_url_cleanup(h);
  state.SetItemsProcessed(state.iterations() * urls.size());
}
BENCHMARK(BM_CurlUrlParseAnchor)->Unit(benchmark::kMillisecond);

void BM_UlNormalizeUrl(benchmark::State& state) {
  const auto& urls = Urls();
  char buf[256];
  for (auto _ : state) {
    int ok = 0;
    for (const std::string& u : urls) ok += ul_normalize_url(u.c_str(), buf);
    benchmark::DoNotOptimize(ok);
  }
  state.SetItemsProcessed(state.iterations() * urls.size());
}
BENCHMARK(BM_UlNormalizeUrl)->Unit(benchmark::kMillisecond);

// Anchor: libcurl parses the URL and rebuilds it (its own normal form).
void BM_CurlUrlNormalizeAnchor(benchmark::State& state) {
  const auto& urls = Urls();
  CURLU* h = curl_url();
  for (auto _ : state) {
    int ok = 0;
    for (const std::string& u : urls) {
      if (curl_url_set(h, CURLUPART_URL, u.c_str(), CURLU_DEFAULT_SCHEME) != CURLUE_OK) continue;
      char* text = nullptr;
      if (curl_url_get(h, CURLUPART_URL, &text, 0) == CURLUE_OK) {
        ++ok;
        curl_free(text);
      }
    }
    benchmark::DoNotOptimize(ok);
  }
  curl_url_cleanup(h);
  state.SetItemsProcessed(state.iterations() * urls.size());
}
BENCHMARK(BM_CurlUrlNormalizeAnchor)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
