// The reference pipeline of the whole-run comparison: the job of
// pbdict-build done with protobuf's own JSON parser and
// std::unordered_map, one line after another.
//
//   pbdict_reference gen DIR     writes DIR/dict.txt and DIR/rec.proto
//                                (the generated benchmark dictionary)
//   pbdict_reference build DIR   reads DIR/dict.txt: each line's key and
//                                JSON value, the value converted to a
//                                "bench.Rec" message and serialised, the pair
//                                kept in an unordered_map (the first line of
//                                a key wins), then every pair written to
//                                DIR/reference.out
//
// scripts/bench-builder times it against pbdict-build on the same file.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>

#include <google/protobuf/compiler/importer.h>
#include <google/protobuf/dynamic_message.h>
#include <google/protobuf/util/json_util.h>

#include "pbdict_corpus.h"

namespace {

int Generate(const std::string& dir) {
  std::mt19937_64 rng(42);
  if (!pbdict_bench::WriteText(dir + "/rec.proto", pbdict_bench::kSchema) ||
      !pbdict_bench::WriteDictionary(dir + "/dict.txt", pbdict_bench::MakeKeys(&rng))) {
    std::fprintf(stderr, "cannot write the dictionary into %s\n", dir.c_str());
    return 1;
  }
  return 0;
}

int Build(const std::string& dir) {
  google::protobuf::compiler::DiskSourceTree tree;
  tree.MapPath("", dir);
  google::protobuf::compiler::Importer importer(&tree, nullptr);
  if (importer.Import("rec.proto") == nullptr) {
    std::fprintf(stderr, "cannot import %s/rec.proto\n", dir.c_str());
    return 1;
  }
  google::protobuf::DynamicMessageFactory factory;
  const google::protobuf::Message* prototype =
      factory.GetPrototype(importer.pool()->FindMessageTypeByName("bench.Rec"));
  std::ifstream in(dir + "/dict.txt");
  if (!in) {
    std::fprintf(stderr, "cannot open %s/dict.txt\n", dir.c_str());
    return 1;
  }
  std::unordered_map<std::string, std::string> map;
  std::unique_ptr<google::protobuf::Message> message(prototype->New());
  std::string line;
  size_t lineno = 0;
  while (std::getline(in, line)) {
    ++lineno;
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    message->Clear();
    if (!google::protobuf::util::JsonStringToMessage(line.substr(tab + 1), message.get()).ok()) {
      std::fprintf(stderr, "line %zu: the value does not parse\n", lineno);
      return 1;
    }
    std::string bytes;
    message->SerializeToString(&bytes);
    map.emplace(line.substr(0, tab), std::move(bytes));
  }
  FILE* out = std::fopen((dir + "/reference.out").c_str(), "wb");
  if (out == nullptr) return 1;
  bool ok = true;
  for (const auto& kv : map) {
    const uint32_t sizes[2] = {static_cast<uint32_t>(kv.first.size()),
                               static_cast<uint32_t>(kv.second.size())};
    ok = ok && std::fwrite(sizes, sizeof(sizes), 1, out) == 1 &&
         std::fwrite(kv.first.data(), 1, kv.first.size(), out) == kv.first.size() &&
         std::fwrite(kv.second.data(), 1, kv.second.size(), out) == kv.second.size();
  }
  ok = std::fclose(out) == 0 && ok;
  std::printf("%zu lines, %zu keys\n", lineno, map.size());
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "gen") == 0) return Generate(argv[2]);
  if (argc == 3 && std::strcmp(argv[1], "build") == 0) return Build(argv[2]);
  std::fprintf(stderr, "usage: %s gen|build DIR\n", argv[0]);
  return 2;
}
