// Differential test: on JSON that keeps to what both accept, the conversion
// must agree with protobuf's own JSON parser on success and on the message.
// The places where the two are meant to differ are tested apart below.
#include <cinttypes>
#include <random>
#include <string>

#include <gtest/gtest.h>
#include <google/protobuf/util/json_util.h>
#include <google/protobuf/util/message_differencer.h>

#include "base/base64.h"
#include "json_to_pb.h"
#include "support/proto_text.h"

using google::protobuf::Message;
using google::protobuf::util::JsonStringToMessage;
using google::protobuf::util::MessageDifferencer;

namespace {

// Every field name is its own JSON name (lower case, one word).
const char kSchema[] = R"(
syntax = "proto2";
package d;
enum kind { ZERO = 0; ONE = 1; TWO = 2; }
message inner {
  optional int32 num = 1;
  optional string text = 2;
  repeated int64 vals = 3;
}
message outer {
  optional int32 a = 1;
  optional int64 b = 2;
  optional uint32 c = 3;
  optional uint64 e = 4;
  optional sint32 g = 5;
  optional fixed64 h = 6;
  optional bool flag = 7;
  optional double ratio = 8;
  optional float score = 9;
  optional string name = 10;
  optional bytes blob = 11;
  optional kind kind = 12;
  optional inner child = 13;
  repeated int32 nums = 14;
  repeated string tags = 15;
  repeated inner items = 16;
  map<string, int32> counts = 17;
  map<string, inner> subs = 18;
  repeated double weights = 19;
  repeated bool bits = 20;
  repeated kind kinds = 21;
}
)";

class Generator {
 public:
  explicit Generator(uint64_t seed) : rng_(seed) {}

  std::string Outer() {
    std::vector<std::string> members;
    Maybe(&members, "a", [&] { return Int(INT32_MIN, INT32_MAX); });
    Maybe(&members, "b", [&] { return Int(INT64_MIN, INT64_MAX); });
    Maybe(&members, "c", [&] { return Uint(UINT32_MAX); });
    Maybe(&members, "e", [&] { return Uint(UINT64_MAX); });
    Maybe(&members, "g", [&] { return Int(INT32_MIN, INT32_MAX); });
    Maybe(&members, "h", [&] { return Uint(UINT64_MAX); });
    Maybe(&members, "flag", [&] { return std::string(Pick(2) ? "true" : "false"); });
    Maybe(&members, "ratio", [&] { return Decimal(); });
    Maybe(&members, "score", [&] { return Decimal(); });
    Maybe(&members, "name", [&] { return Text(); });
    Maybe(&members, "blob", [&] { return Blob(); });
    Maybe(&members, "kind", [&] { return Kind(); });
    Maybe(&members, "child", [&] { return Inner(); });
    Maybe(&members, "nums", [&] { return Array([&] { return Int(INT32_MIN, INT32_MAX); }); });
    Maybe(&members, "tags", [&] { return Array([&] { return Text(); }); });
    Maybe(&members, "items", [&] { return Array([&] { return Inner(); }); });
    Maybe(&members, "counts", [&] { return Map([&] { return Int(-1000, 1000); }); });
    Maybe(&members, "subs", [&] { return Map([&] { return Inner(); }); });
    Maybe(&members, "weights", [&] { return Array([&] { return Decimal(); }); });
    Maybe(&members, "bits", [&] { return Array([&] { return std::string(Pick(2) ? "true" : "false"); }); });
    Maybe(&members, "kinds", [&] { return Array([&] { return Kind(); }); });
    return Object(&members);
  }

 private:
  template <typename F>
  void Maybe(std::vector<std::string>* members, const char* name, F value) {
    const int roll = Pick(10);
    if (roll < 5) return;
    members->push_back("\"" + std::string(name) + "\":" + (roll == 5 ? "null" : value()));
  }
  std::string Object(std::vector<std::string>* members) {
    std::shuffle(members->begin(), members->end(), rng_);
    std::string out = "{";
    for (size_t i = 0; i < members->size(); ++i) out += (i ? "," : "") + (*members)[i];
    return out + "}";
  }
  std::string Inner() {
    std::vector<std::string> members;
    Maybe(&members, "num", [&] { return Int(INT32_MIN, INT32_MAX); });
    Maybe(&members, "text", [&] { return Text(); });
    Maybe(&members, "vals", [&] { return Array([&] { return Int(INT64_MIN, INT64_MAX); }); });
    return Object(&members);
  }
  template <typename F>
  std::string Array(F element) {
    std::string out = "[";
    const int n = Pick(5);
    for (int i = 0; i < n; ++i) out += (i ? "," : "") + element();
    return out + "]";
  }
  template <typename F>
  std::string Map(F value) {
    std::string out = "{";
    const int n = Pick(4);
    for (int i = 0; i < n; ++i) {
      out += (i ? ",\"k" : "\"k") + std::to_string(i * 7 + Pick(7)) + "\":" + value();
    }
    return out + "}";
  }
  std::string Int(int64_t lo, int64_t hi) {
    // Often at or next to the limits, where the integer kinds part.
    int64_t v;
    if (Pick(4) == 0) {
      v = Pick(2) ? lo + Pick(3) : hi - Pick(3);
    } else {
      v = std::uniform_int_distribution<int64_t>(lo, hi)(rng_);
    }
    return std::to_string(Pick(3) == 0 ? v % 1000 : v);
  }
  std::string Uint(uint64_t hi) {
    const uint64_t v = Pick(4) == 0 ? hi - Pick(3) : std::uniform_int_distribution<uint64_t>(0, hi)(rng_);
    return std::to_string(Pick(3) == 0 ? v % 1000 : v);
  }
  // Decimals both parsers round the same way (short significands).
  std::string Decimal() {
    const int64_t significand = std::uniform_int_distribution<int64_t>(-9999999, 9999999)(rng_);
    char buf[64];
    switch (Pick(3)) {
      case 0: snprintf(buf, sizeof(buf), "%" PRId64, significand); break;
      case 1: snprintf(buf, sizeof(buf), "%" PRId64 ".%02d", significand / 100, Pick(100)); break;
      default: snprintf(buf, sizeof(buf), "%" PRId64 "e%d", significand, Pick(20) - 10); break;
    }
    return buf;
  }
  std::string Text() {
    static const char* const kPieces[] = {"a", "Z", "0", " ", "\\\"", "\\\\", "\\n", "\\t", "\\u00e9",
                                          "\\u4e2d", "\xe4\xb8\xad", "/", "\\/", "key"};
    std::string out = "\"";
    const int n = Pick(8);
    for (int i = 0; i < n; ++i) out += kPieces[Pick(sizeof(kPieces) / sizeof(kPieces[0]))];
    return out + "\"";
  }
  std::string Blob() {
    std::string raw;
    const int n = Pick(10);
    for (int i = 0; i < n; ++i) raw.push_back(static_cast<char>(Pick(256)));
    std::string encoded;
    base::Base64Encode(raw, &encoded);
    return "\"" + encoded + "\"";
  }
  std::string Kind() {
    static const char* const kKinds[] = {"\"ZERO\"", "\"ONE\"", "\"TWO\"", "0", "1", "2"};
    return kKinds[Pick(6)];
  }
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

  std::mt19937_64 rng_;
};

class JsonToPbDiffTest : public ::testing::Test {
 protected:
  JsonToPbDiffTest() : schema_(kSchema) { b64_.base64_to_bytes = true; }

  testsupport::ProtoText schema_;
  Json2PbOptions b64_;
};

TEST_F(JsonToPbDiffTest, AgreesWithProtobufParserOnGeneratedMessages) {
  Generator gen(20240601);
  for (int n = 0; n < 10000; ++n) {
    const std::string json = gen.Outer();
    auto ours = schema_.New("d.outer");
    auto theirs = schema_.New("d.outer");
    std::string error;
    const bool ok = JsonToProtoMessage(json, ours.get(), b64_, &error);
    const bool their_ok = JsonStringToMessage(json, theirs.get()).ok();
    ASSERT_EQ(their_ok, ok) << json << "\n" << error;
    ASSERT_TRUE(ok) << json << "\n" << error;
    ASSERT_EQ("", error) << json;
    ASSERT_TRUE(MessageDifferencer::Equals(*theirs, *ours))
        << json << "\nours:   " << ours->ShortDebugString() << "\ntheirs: " << theirs->ShortDebugString();
  }
}

// Where the two are meant to differ: ours is strict about kinds, ignores
// unknown members, takes the first of duplicate members, reads "nan" and
// "infinity" in any case, narrows large doubles to infinity, refuses null
// array elements and unpadded base64, keeps every entry of a map object with
// repeated keys, and stores bytes as they stand unless asked to decode base64.
TEST_F(JsonToPbDiffTest, IntendedDifferences) {
  struct Case {
    const char* json;
    bool ours_ok;
    const char* ours;    // our message, in short debug form
    bool theirs_ok;
    const char* theirs;  // theirs when it succeeds
  } cases[] = {
      {"{\"a\":\"5\"}", true, "", true, "a: 5"},  // string for an integer
      {"{\"a\":1.0}", true, "", true, "a: 1"},      // integral double for an integer
      {"{\"b\":\"12\"}", true, "", true, "b: 12"},
      {"{\"flag\":\"true\"}", true, "", true, "flag: true"},
      {"{\"ratio\":\"nan\"}", true, "ratio: nan", false, ""},
      {"{\"ratio\":\"-INFINITY\"}", true, "ratio: -inf", false, ""},
      {"{\"score\":1e300}", true, "score: inf", false, ""},
      {"{\"unknown\":1,\"a\":2}", true, "a: 2", false, ""},
      {"{\"a\":1,\"a\":2}", true, "a: 1", true, "a: 2"},
      {"{\"kind\":7}", true, "", true, "12: 7"},  // kept as an unknown field
      {"{\"e\":1e19}", true, "", true, "e: 10000000000000000000"},
      {"{\"nums\":[1,null]}", false, "nums: 1", true, "nums: 1"},
      {"{\"blob\":\"YWJjZA\"}", false, "", true, "blob: \"abcd\""},  // unpadded base64
      {"{\"counts\":{\"k\":1,\"k\":2}}", true,  // every entry kept, in text order
       "counts { key: \"k\" value: 1 } counts { key: \"k\" value: 2 }", false, ""},
  };
  for (const Case& c : cases) {
    auto ours = schema_.New("d.outer");
    auto theirs = schema_.New("d.outer");
    EXPECT_EQ(c.ours_ok, JsonToProtoMessage(c.json, ours.get(), b64_, nullptr)) << c.json;
    EXPECT_EQ(c.ours, ours->ShortDebugString()) << c.json;
    EXPECT_EQ(c.theirs_ok, JsonStringToMessage(c.json, theirs.get()).ok()) << c.json;
    if (c.theirs_ok) {
      EXPECT_EQ(c.theirs, theirs->ShortDebugString()) << c.json;
    }
  }
  // Bytes are stored as they stand by default.
  auto ours = schema_.New("d.outer");
  ASSERT_TRUE(JsonToProtoMessage("{\"blob\":\"YWJj\"}", ours.get()));
  EXPECT_EQ("blob: \"YWJj\"", ours->ShortDebugString());
}

}  // namespace
