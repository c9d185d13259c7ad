// JsonToProtoMessage against protobuf's JsonStringToMessage, one dictionary
// value line per call, on a message of eight fields (integers, strings, a
// repeated field and a nested message).
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <google/protobuf/util/json_util.h>

#include "json_to_pb.h"
#include "support/proto_text.h"

namespace {

const char kSchema[] = R"(
syntax = "proto2";
package bench;
message Meta { optional string lang = 1; optional int32 len = 2; }
message Word {
  optional int64 id = 1;
  optional string word = 2;
  optional int32 freq = 3;
  optional uint32 rank = 4;
  optional bool common = 5;
  optional string pos = 6;
  repeated string tags = 7;
  optional Meta meta = 8;
}
)";

struct Fixture {
  testsupport::ProtoText schema{kSchema, "bench.proto"};
  const google::protobuf::Message* prototype = schema.Prototype("bench.Word");
  std::vector<std::string> lines;

  Fixture() {
    // Values like those of a dictionary of a million lines.
    std::mt19937 rng(7);
    static const char* const kPos[] = {"noun", "verb", "adj", "adv"};
    static const char* const kTags[] = {"common", "rare", "formal", "slang", "tech", "old"};
    char buf[512];
    for (int i = 0; i < 10000; ++i) {
      std::string word;
      const int len = 3 + static_cast<int>(rng() % 10);
      for (int k = 0; k < len; ++k) word.push_back(static_cast<char>('a' + rng() % 26));
      std::string tags;
      const int ntags = static_cast<int>(rng() % 4);
      for (int k = 0; k < ntags; ++k) {
        tags += std::string(k ? "," : "") + "\"" + kTags[rng() % 6] + "\"";
      }
      snprintf(buf, sizeof(buf),
               "{\"id\":%d,\"word\":\"%s\",\"freq\":%u,\"rank\":%d,\"common\":%s,\"pos\":\"%s\","
               "\"tags\":[%s],\"meta\":{\"lang\":\"en\",\"len\":%d}}",
               i * 97 % 1000000, word.c_str(), static_cast<unsigned>(rng() % 2000000), i, rng() % 2 ? "true" : "false",
               kPos[rng() % 4], tags.c_str(), len);
      lines.push_back(buf);
    }
  }
};

Fixture& GetFixture() {
  static Fixture fixture;
  return fixture;
}

void BM_JsonToProtoMessage(benchmark::State& state) {
  Fixture& f = GetFixture();
  size_t i = 0;
  for (auto _ : state) {
    std::unique_ptr<google::protobuf::Message> m(f.prototype->New());
    if (!JsonToProtoMessage(f.lines[i], m.get(), nullptr)) state.SkipWithError("conversion failed");
    benchmark::DoNotOptimize(m.get());
    if (++i == f.lines.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_JsonToProtoMessage);

// The anchor: protobuf's own JSON parser on the same lines.
void BM_JsonStringToMessage(benchmark::State& state) {
  Fixture& f = GetFixture();
  size_t i = 0;
  for (auto _ : state) {
    std::unique_ptr<google::protobuf::Message> m(f.prototype->New());
    if (!google::protobuf::util::JsonStringToMessage(f.lines[i], m.get()).ok()) {
      state.SkipWithError("conversion failed");
    }
    benchmark::DoNotOptimize(m.get());
    if (++i == f.lines.size()) i = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_JsonStringToMessage);

}  // namespace

BENCHMARK_MAIN();
