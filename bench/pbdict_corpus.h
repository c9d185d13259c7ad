// The generated text dictionary shared by bench_pbdict and the whole-run
// comparison (pbdict_reference.cpp, scripts/bench-builder): 1,000,000 lines,
// each a 16-byte key, a tab and a JSON value of an 8-field message
// ("bench.Rec" of kSchema).
#ifndef PBDICT_BENCH_PBDICT_CORPUS_H_
#define PBDICT_BENCH_PBDICT_CORPUS_H_

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace pbdict_bench {

const int kKeys = 1000000;

const char kSchema[] =
    "syntax = \"proto2\";\n"
    "package bench;\n"
    "message Geo { optional double lat = 1; optional double lng = 2; optional string city = 3; }\n"
    "message Rec {\n"
    "  optional int32 id = 1;\n"
    "  optional int64 ts = 2;\n"
    "  optional string title = 3;\n"
    "  optional string url = 4;\n"
    "  repeated int32 tags = 5;\n"
    "  optional Geo geo = 6;\n"
    "  optional bool active = 7;\n"
    "  optional uint32 score = 8;\n"
    "}\n";

// kKeys distinct 16-byte keys.
inline std::vector<std::string> MakeKeys(std::mt19937_64* rng) {
  std::vector<std::string> keys;
  keys.reserve(kKeys);
  for (int i = 0; i < kKeys; ++i) {
    char buf[17];
    std::snprintf(buf, sizeof(buf), "%016llx", static_cast<unsigned long long>((*rng)()));
    keys.emplace_back(buf, 16);
  }
  return keys;
}

// Writes a text file; false when it cannot be written whole.
inline bool WriteText(const std::string& path, const std::string& text) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

// Writes the dictionary, one line per key. False when it cannot be written.
inline bool WriteDictionary(const std::string& path, const std::vector<std::string>& keys) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  std::mt19937 rng(7);
  auto R = [&rng] { return static_cast<unsigned>(rng()); };
  bool ok = true;
  for (size_t i = 0; i < keys.size() && ok; ++i) {
    char buf[512];
    int n = std::snprintf(
        buf, sizeof(buf),
        "%s\t{\"id\":%d,\"ts\":%lld,\"title\":\"title of entry %d\",\"url\":\"http://example.com/"
        "item/%u\",\"tags\":[%u,%u,%u],\"geo\":{\"lat\":%d.25,\"lng\":%d.5,\"city\":\"city%u\"},"
        "\"active\":%s,\"score\":%u}\n",
        keys[i].c_str(), static_cast<int>(i), 1700000000000LL + static_cast<long long>(i),
        static_cast<int>(i), R(), R() % 1000, R() % 1000, R() % 1000, static_cast<int>(R() % 90),
        static_cast<int>(R() % 180), R() % 5000, (i & 1) ? "true" : "false", R() % 100000);
    ok = std::fwrite(buf, 1, static_cast<size_t>(n), f) == static_cast<size_t>(n);
  }
  return std::fclose(f) == 0 && ok;
}

}  // namespace pbdict_bench

#endif  // PBDICT_BENCH_PBDICT_CORPUS_H_
