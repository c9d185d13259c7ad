// Differential test: on JSON that keeps to what both accept, the conversion
// must agree with protobuf's own JSON parser on success and on the message.
// The places where the two are meant to differ are tested apart below.
#include <cinttypes>
#include <functional>
#include <random>
#include <string>

#include <gtest/gtest.h>
#include <google/protobuf/util/json_util.h>
#include <google/protobuf/util/message_differencer.h>

#include "base/base64.h"
#include "json_to_pb.h"
#include "support/proto_text.h"

using google::protobuf::util::JsonStringToMessage;
using google::protobuf::util::MessageDifferencer;

namespace {

// Every field name is its own JSON name (lower case, one word).
const char kSchema[] = R"(
syntax = "proto2";
package d;
enum kind { ZERO = 0; ONE = 1; TWO = 2; }
message inner { optional int32 num = 1; optional string text = 2; repeated int64 vals = 3; }
message outer {
  optional int32 a = 1; optional int64 b = 2; optional uint32 c = 3; optional uint64 e = 4;
  optional sint32 g = 5; optional fixed64 h = 6; optional bool flag = 7; optional double ratio = 8;
  optional float score = 9; optional string name = 10; optional bytes blob = 11;
  optional kind kind = 12; optional inner child = 13; repeated int32 nums = 14;
  repeated string tags = 15; repeated inner items = 16; map<string, int32> counts = 17;
  map<string, inner> subs = 18; repeated double weights = 19; repeated bool bits = 20;
  repeated kind kinds = 21;
}
)";

using Gen = std::function<std::string()>;
using Fields = std::vector<std::pair<const char*, Gen>>;

// Random JSON of the schema, each member present, null or absent.
class Generator {
 public:
  explicit Generator(uint64_t seed) : rng_(seed) {
    const Gen i32 = [this] { return Int<int64_t>(INT32_MIN, INT32_MAX); };
    const Gen i64 = [this] { return Int<int64_t>(INT64_MIN, INT64_MAX); };
    const Gen u64 = [this] { return Int<uint64_t>(0, UINT64_MAX); };
    const Gen boolean = [this] { return std::string(Pick(2) ? "true" : "false"); };
    const Gen decimal = [this] { return Decimal(); };
    const Gen text = [this] { return Text(); };
    const Gen kind = [this] {
      static const char* const kKinds[] = {"\"ZERO\"", "\"ONE\"", "\"TWO\"", "0", "1", "2"};
      return std::string(kKinds[Pick(6)]);
    };
    const Gen inner = [this] { return Object(inner_); };
    inner_ = {{"num", i32}, {"text", text}, {"vals", Array(i64)}};
    outer_ = {{"a", i32}, {"b", i64}, {"c", [this] { return Int<uint64_t>(0, UINT32_MAX); }}, {"e", u64},
              {"g", i32}, {"h", u64}, {"flag", boolean}, {"ratio", decimal}, {"score", decimal},
              {"name", text}, {"blob", [this] { return Blob(); }}, {"kind", kind},
              {"child", inner}, {"nums", Array(i32)}, {"tags", Array(text)},
              {"items", Array(inner)}, {"counts", Map([this] { return Int<int64_t>(-1000, 1000); })},
              {"subs", Map(inner)}, {"weights", Array(decimal)}, {"bits", Array(boolean)},
              {"kinds", Array(kind)}};
  }
  Generator(const Generator&) = delete;
  Generator& operator=(const Generator&) = delete;

  std::string Outer() { return Object(outer_); }

 private:
  std::string Object(const Fields& fields) {
    std::vector<std::string> members;
    for (const auto& [name, value] : fields) {
      const int roll = Pick(10);
      if (roll >= 5) members.push_back("\"" + std::string(name) + "\":" + (roll == 5 ? "null" : value()));
    }
    std::shuffle(members.begin(), members.end(), rng_);
    return Join(members, "{}");
  }
  Gen Array(Gen element) {
    return [this, element] {
      std::vector<std::string> items(Pick(5));
      for (std::string& item : items) item = element();
      return Join(items, "[]");
    };
  }
  Gen Map(Gen value) {
    return [this, value] {
      std::vector<std::string> items(Pick(4));
      for (size_t i = 0; i < items.size(); ++i) {
        items[i] = "\"k" + std::to_string(i * 7 + Pick(7)) + "\":" + value();
      }
      return Join(items, "{}");
    };
  }
  static std::string Join(const std::vector<std::string>& items, const char* brackets) {
    std::string out(1, brackets[0]);
    for (size_t i = 0; i < items.size(); ++i) out += (i ? "," : "") + items[i];
    return out + brackets[1];
  }
  // Integers often at or next to the limits, where the integer kinds part.
  template <typename T>
  std::string Int(T lo, T hi) {
    const T v = Pick(4) == 0 ? (Pick(2) ? lo + Pick(3) : hi - Pick(3))
                             : std::uniform_int_distribution<T>(lo, hi)(rng_);
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
    for (int n = Pick(8); n > 0; --n) out += kPieces[Pick(sizeof(kPieces) / sizeof(kPieces[0]))];
    return out + "\"";
  }
  std::string Blob() {
    std::string raw(Pick(10), '\0'), encoded;
    for (char& c : raw) c = static_cast<char>(Pick(256));
    base::Base64Encode(raw, &encoded);
    return "\"" + encoded + "\"";
  }
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

  std::mt19937_64 rng_;
  Fields inner_, outer_;
};

TEST(JsonToPbDiffTest, AgreesWithProtobufParserOnGeneratedMessages) {
  testsupport::ProtoText schema(kSchema);
  Json2PbOptions b64;
  b64.base64_to_bytes = true;
  Generator gen(20240601);
  for (int n = 0; n < 10000; ++n) {
    const std::string json = gen.Outer();
    auto ours = schema.New("d.outer");
    auto theirs = schema.New("d.outer");
    std::string error;
    const bool ok = JsonToProtoMessage(json, ours.get(), b64, &error);
    ASSERT_EQ(JsonStringToMessage(json, theirs.get()).ok(), ok) << json << "\n" << error;
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
TEST(JsonToPbDiffTest, IntendedDifferences) {
  testsupport::ProtoText schema(kSchema);
  Json2PbOptions b64;
  b64.base64_to_bytes = true;
  // Messages in short debug form; theirs is compared only when it succeeds.
  const struct {
    const char* json; bool ours_ok; const char* ours; bool theirs_ok; const char* theirs;
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
  for (const auto& c : cases) {
    auto ours = schema.New("d.outer");
    auto theirs = schema.New("d.outer");
    EXPECT_EQ(c.ours_ok, JsonToProtoMessage(c.json, ours.get(), b64, nullptr)) << c.json;
    EXPECT_EQ(c.ours, ours->ShortDebugString()) << c.json;
    EXPECT_EQ(c.theirs_ok, JsonStringToMessage(c.json, theirs.get()).ok()) << c.json;
    if (c.theirs_ok) {
      EXPECT_EQ(c.theirs, theirs->ShortDebugString()) << c.json;
    }
  }
  // Bytes are stored as they stand by default.
  auto ours = schema.New("d.outer");
  ASSERT_TRUE(JsonToProtoMessage("{\"blob\":\"YWJj\"}", ours.get()));
  EXPECT_EQ("blob: \"YWJj\"", ours->ShortDebugString());
}

}  // namespace
