#include "json_to_pb.h"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <google/protobuf/io/zero_copy_stream_impl_lite.h>

#include "encode_decode.h"
#include "support/proto_text.h"
#include "protobuf_map.h"

using google::protobuf::FieldDescriptor;
using google::protobuf::Message;
using google::protobuf::Reflection;

namespace {

const char kSchema[] = R"(
syntax = "proto2";
package t;
enum Color { RED = 0; GREEN = 1; BLUE = 2; }
message Entry { optional string key = 1; optional int32 value = 2; }
message IntKeyEntry { optional int32 key = 1; optional string value = 2; }
message M {
  optional int32 i = 1;
  optional int64 l = 2;
  optional uint32 u = 3;
  optional uint64 ul = 4;
  optional bool b = 5;
  optional float f = 6;
  optional double d = 7;
  optional Color c = 8;
  optional string s = 9;
  optional bytes by = 10;
  optional M sub = 11;
  repeated int32 ri = 12;
  repeated M rm = 13;
  repeated Entry kv = 14;
  repeated IntKeyEntry ik = 15;
  optional int32 _Z045_id = 16;
  optional int32 _Z000_x = 17;
  repeated float rf = 18;
  map<string, int32> sm = 19;
  map<int32, string> im = 20;
  repeated Color rc = 21;
  repeated bytes rby = 22;
  extensions 100 to max;
}
extend M { optional int32 ext = 100; optional string late = 5000; }
message Req {
  required int32 r = 1;
  optional Req child = 2;
  map<string, Req> m = 3;
}
)";

class JsonToPbTest : public ::testing::Test {
 protected:
  JsonToPbTest() : schema_(kSchema) {}

  // Converts |json| into a fresh message of |type|.
  bool Convert(const std::string& json, const std::string& type = "t.M",
               const Json2PbOptions& options = Json2PbOptions()) {
    msg_ = schema_.New(type);
    return JsonToProtoMessage(json, msg_.get(), options, &error_);
  }
  const FieldDescriptor* F(const std::string& name) {
    const FieldDescriptor* f = msg_->GetDescriptor()->FindFieldByName(name);
    if (f == nullptr) f = schema_.pool()->FindExtensionByName("t." + name);
    return f;
  }
  const Reflection* R() { return msg_->GetReflection(); }
  bool Has(const std::string& name) { return R()->HasField(*msg_, F(name)); }
  int Size(const std::string& name) { return R()->FieldSize(*msg_, F(name)); }

  testsupport::ProtoText schema_;
  std::unique_ptr<Message> msg_;
  std::string error_;
};

// A stream handing out one byte at a time, with empty buffers in between.
class TrickleStream : public google::protobuf::io::ZeroCopyInputStream {
 public:
  explicit TrickleStream(const std::string& text) : text_(text) {}
  bool Next(const void** data, int* size) override {
    if (pos_ >= text_.size()) return false;
    *data = text_.data() + pos_;
    if (empty_next_) {
      *size = 0;
    } else {
      *size = 1;
      ++pos_;
    }
    empty_next_ = !empty_next_;
    return true;
  }
  void BackUp(int) override {}
  bool Skip(int) override { return false; }
  int64_t ByteCount() const override { return static_cast<int64_t>(pos_); }

 private:
  std::string text_;
  size_t pos_ = 0;
  bool empty_next_ = true;
};

TEST_F(JsonToPbTest, ParseErrorsAndEntryPoints) {
  for (const char* bad : {"", "{", "{} {}", "NaN", "{\"i\":1,}", "  "}) {
    error_ = "stale";
    EXPECT_FALSE(Convert(bad)) << bad;
    EXPECT_EQ("Invalid json format", error_) << bad;
  }
  // The text ends at its first NUL byte.
  EXPECT_TRUE(Convert(std::string("{\"i\":1}\0junk", 12)));
  EXPECT_EQ(1, R()->GetInt32(*msg_, F("i")));

  EXPECT_FALSE(Convert("[1]"));
  EXPECT_EQ("`json_value' is not a json object. M", error_);

  // Every overload resolves for the ordinary argument kinds; a null error
  // pointer gives the same results.
  auto m = schema_.New("t.M");
  const std::string lvalue = "{\"i\":2}";
  std::string mutable_lvalue = lvalue;
  EXPECT_TRUE(JsonToProtoMessage(lvalue, m.get(), nullptr));
  EXPECT_TRUE(JsonToProtoMessage(mutable_lvalue, m.get(), &error_));
  EXPECT_TRUE(JsonToProtoMessage("{\"i\":3}", m.get(), nullptr));
  EXPECT_TRUE(JsonToProtoMessage(std::string("{}"), m.get()));
  EXPECT_FALSE(JsonToProtoMessage("{", m.get(), Json2PbOptions(), nullptr));
  EXPECT_FALSE(JsonToProtoMessage("{\"ri\":5}", m.get()));
  EXPECT_EQ(3, m->GetReflection()->GetInt32(*m, m->GetDescriptor()->FindFieldByName("i")));
}

TEST_F(JsonToPbTest, StreamFormMatchesTextForm) {
  const std::vector<std::string> inputs = {
      "{\"i\":1,\"s\":\"abc\",\"ri\":[1,2,3],\"sub\":{\"l\":-5}}",
      "{\"i\":1.5, \"u\":-1}", "{", "{} {}", "", "[1]", "{\"kv\":3}", "  {\"c\":\"BLUE\"}  "};
  for (const std::string& in : inputs) {
    std::string text_error;
    const bool text_ok = Convert(in);
    text_error = error_;
    const std::string text_bytes = msg_->SerializePartialAsString();

    auto m = schema_.New("t.M");
    TrickleStream stream(in);
    std::string stream_error = "stale";
    EXPECT_EQ(text_ok, JsonToProtoMessage(&stream, m.get(), &stream_error)) << in;
    EXPECT_EQ(text_error, stream_error) << in;
    EXPECT_EQ(text_bytes, m->SerializePartialAsString()) << in;

    google::protobuf::io::ArrayInputStream whole(in.data(), static_cast<int>(in.size()));
    auto m2 = schema_.New("t.M");
    EXPECT_EQ(text_ok, JsonToProtoMessage(&whole, m2.get(), Json2PbOptions(), nullptr)) << in;
  }
}

TEST_F(JsonToPbTest, ObjectWalk) {
  // Unknown members are ignored; the first of two equal names counts.
  ASSERT_TRUE(Convert("{\"zz\":[1,{}],\"i\":1,\"i\":2}"));
  EXPECT_EQ(1, R()->GetInt32(*msg_, F("i")));

  // Escaped field names match the decoded name only, compared with length.
  ASSERT_TRUE(Convert("{\"-id\":7,\"_Z045_id\":8,\"\":9}"));
  EXPECT_EQ(7, R()->GetInt32(*msg_, F("_Z045_id")));
  EXPECT_FALSE(Has("_Z000_x"));
  ASSERT_TRUE(Convert("{\"\\u0000x\":4}"));
  EXPECT_EQ(4, R()->GetInt32(*msg_, F("_Z000_x")));

  // Known extensions by short name, also far into a range up to max (a
  // scan of every number of the range would hang here).
  ASSERT_TRUE(Convert("{\"ext\":5,\"late\":\"x\"}"));
  EXPECT_EQ(5, R()->GetInt32(*msg_, F("ext")));
  EXPECT_EQ("x", R()->GetString(*msg_, F("late")));

  // The message is not cleared: repeated fields are appended to.
  msg_ = schema_.New("t.M");
  R()->AddInt32(msg_.get(), F("ri"), 10);
  ASSERT_TRUE(JsonToProtoMessage("{\"ri\":[11,12]}", msg_.get(), &error_));
  ASSERT_EQ(3, Size("ri"));
  EXPECT_EQ(12, R()->GetRepeatedInt32(*msg_, F("ri"), 2));
}

TEST_F(JsonToPbTest, RequiredFieldsAtEveryDepth) {
  EXPECT_FALSE(Convert("{}", "t.Req"));
  EXPECT_EQ("Missing required field: t.Req.r", error_);
  EXPECT_FALSE(Convert("{\"r\":1,\"child\":{\"child\":{}}}", "t.Req"));
  EXPECT_EQ("Missing required field: t.Req.r", error_);
  EXPECT_FALSE(Convert("{\"r\":1,\"m\":{\"a\":{\"r\":1},\"b\":{}}}", "t.Req"));
  EXPECT_EQ("Missing required field: t.Req.r", error_);
  EXPECT_FALSE(Convert("{\"r\":null}", "t.Req"));
  EXPECT_EQ("Missing required field: t.Req.r", error_);
  EXPECT_FALSE(Convert("{\"r\":1.5}", "t.Req"));
  EXPECT_EQ("Invalid value `1.500000' for field `t.Req.r' which SHOULD be INT32", error_);
  EXPECT_TRUE(Convert("{\"r\":1,\"m\":{\"a\":{\"r\":2}}}", "t.Req"));
  EXPECT_TRUE(msg_->IsInitialized());
}

TEST_F(JsonToPbTest, MapShapedFields) {
  EXPECT_TRUE(protobuf_json::IsProtobufMap(schema_.New("t.M")->GetDescriptor()->FindFieldByName("kv")));
  EXPECT_TRUE(protobuf_json::IsProtobufMap(schema_.New("t.M")->GetDescriptor()->FindFieldByName("sm")));
  EXPECT_FALSE(protobuf_json::IsProtobufMap(schema_.New("t.M")->GetDescriptor()->FindFieldByName("ik")));
  EXPECT_FALSE(protobuf_json::IsProtobufMap(schema_.New("t.M")->GetDescriptor()->FindFieldByName("im")));
  EXPECT_FALSE(protobuf_json::IsProtobufMap(schema_.New("t.M")->GetDescriptor()->FindFieldByName("rm")));

  // Entries in text order, duplicates kept.
  for (const char* field : {"kv", "sm"}) {
    ASSERT_TRUE(Convert(std::string("{\"") + field + "\":{\"b\":1,\"a\":2,\"b\":3}}")) << error_;
    ASSERT_EQ(3, Size(field));
    const std::string keys[] = {"b", "a", "b"};
    for (int k = 0; k < 3; ++k) {
      const Message& e = R()->GetRepeatedMessage(*msg_, F(field), k);
      const auto* d = e.GetDescriptor();
      EXPECT_EQ(keys[k], e.GetReflection()->GetString(e, d->field(0)));
      EXPECT_EQ(k + 1, e.GetReflection()->GetInt32(e, d->field(1)));
    }
  }
  EXPECT_TRUE(Convert("{\"kv\":{}}"));
  EXPECT_EQ(0, Size("kv"));
  EXPECT_FALSE(Convert("{\"kv\":3}"));
  EXPECT_EQ("Non-object value for map field: t.M.kv", error_);
  // The array form and null take the ordinary repeated-message road.
  EXPECT_TRUE(Convert("{\"kv\":[{\"key\":\"z\",\"value\":1}],\"sm\":null}"));
  EXPECT_EQ(1, Size("kv"));
  // A wrong-kind value is reported under the entry type; the entry stays.
  EXPECT_TRUE(Convert("{\"sm\":{\"a\":\"x\"}}"));
  EXPECT_EQ("Invalid value `\"x\"' for optional field `t.M.SmEntry.value' which SHOULD be INT32",
            error_);
  EXPECT_EQ(1, Size("sm"));
  // Integer keys are not map-shaped: an object is refused, the array taken.
  EXPECT_FALSE(Convert("{\"im\":{\"1\":\"x\"}}"));
  EXPECT_EQ("Invalid value for repeated field: t.M.im", error_);
  EXPECT_TRUE(Convert("{\"im\":[{\"key\":1,\"value\":\"x\"}],\"ik\":[{\"key\":2}]}"));
  EXPECT_EQ(1, Size("im"));
  EXPECT_EQ(1, Size("ik"));
}

TEST_F(JsonToPbTest, ScalarKinds) {
  ASSERT_TRUE(Convert("{\"i\":-5,\"l\":3000000000,\"u\":4000000000,\"ul\":18446744073709551615,"
                      "\"b\":true,\"f\":1.5,\"d\":-2,\"c\":\"GREEN\",\"s\":\"a\\u0000b\","
                      "\"by\":\"YWJj\"}"));
  EXPECT_EQ("", error_);
  EXPECT_EQ(-5, R()->GetInt32(*msg_, F("i")));
  EXPECT_EQ(3000000000LL, R()->GetInt64(*msg_, F("l")));
  EXPECT_EQ(4000000000U, R()->GetUInt32(*msg_, F("u")));
  EXPECT_EQ(18446744073709551615ULL, R()->GetUInt64(*msg_, F("ul")));
  EXPECT_TRUE(R()->GetBool(*msg_, F("b")));
  EXPECT_EQ(1.5f, R()->GetFloat(*msg_, F("f")));
  EXPECT_EQ(-2.0, R()->GetDouble(*msg_, F("d")));
  EXPECT_EQ(1, R()->GetEnumValue(*msg_, F("c")));
  EXPECT_EQ(std::string("a\0b", 3), R()->GetString(*msg_, F("s")));
  EXPECT_EQ("YWJj", R()->GetString(*msg_, F("by")));  // stored as it stands by default

  // -0 has every integer kind.
  ASSERT_TRUE(Convert("{\"u\":-0,\"c\":2}"));
  EXPECT_TRUE(Has("u"));
  EXPECT_EQ(2, R()->GetEnumValue(*msg_, F("c")));

  // Wrong kinds in optional fields are reported and passed over.
  struct Case {
    const char* json;
    const char* error;
  } cases[] = {
      {"{\"i\":1.5}", "Invalid value `1.500000' for optional field `t.M.i' which SHOULD be INT32"},
      {"{\"i\":3000000000}", "Invalid value `3000000000' for optional field `t.M.i' which SHOULD be INT32"},
      {"{\"i\":\"5\"}", "Invalid value `\"5\"' for optional field `t.M.i' which SHOULD be INT32"},
      {"{\"l\":9223372036854775808}", "Invalid value `9223372036854775808' for optional field `t.M.l' which SHOULD be INT64"},
      {"{\"u\":-1}", "Invalid value `-1' for optional field `t.M.u' which SHOULD be UINT32"},
      {"{\"ul\":-3000000000}", "Invalid value `-3000000000' for optional field `t.M.ul' which SHOULD be UINT64"},
      {"{\"b\":1}", "Invalid value `1' for optional field `t.M.b' which SHOULD be BOOL"},
      {"{\"f\":\"x\"}", "Invalid value `\"x\"' for optional field `t.M.f' which SHOULD be f"},
      {"{\"f\":true}", "Invalid value `true' for optional field `t.M.f' which SHOULD be float"},
      {"{\"d\":\"nanx\"}", "Invalid value `\"nanx\"' for optional field `t.M.d' which SHOULD be d"},
      {"{\"d\":[]}", "Invalid value `array' for optional field `t.M.d' which SHOULD be double"},
      {"{\"c\":\"PINK\"}", "Invalid value `\"PINK\"' for optional field `t.M.c' which SHOULD be enum"},
      {"{\"c\":7}", "Invalid value `7' for optional field `t.M.c' which SHOULD be enum"},
      {"{\"s\":{}}", "Invalid value `object' for optional field `t.M.s' which SHOULD be string"},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(Convert(c.json)) << c.json;
    EXPECT_EQ(c.error, error_) << c.json;
    EXPECT_EQ(0u, msg_->ByteSizeLong()) << c.json;
  }
  // Messages join with ", ".
  EXPECT_TRUE(Convert("{\"i\":false,\"b\":null,\"u\":1e2}"));
  EXPECT_EQ("Invalid value `false' for optional field `t.M.i' which SHOULD be INT32, "
            "Invalid value `100.000000' for optional field `t.M.u' which SHOULD be UINT32",
            error_);
  // Invalid values with no error text give the same results.
  auto m = schema_.New("t.M");
  EXPECT_TRUE(JsonToProtoMessage("{\"i\":1.5}", m.get(), nullptr));
}

TEST_F(JsonToPbTest, FloatingPointSpecials) {
  ASSERT_TRUE(Convert("{\"f\":\"nAn\",\"d\":\"-INFINITY\",\"rf\":[\"Infinity\",1e300,-1e300,3]}"));
  EXPECT_TRUE(std::isnan(R()->GetFloat(*msg_, F("f"))));
  EXPECT_EQ(-std::numeric_limits<double>::infinity(), R()->GetDouble(*msg_, F("d")));
  ASSERT_EQ(4, Size("rf"));
  EXPECT_EQ(std::numeric_limits<float>::infinity(), R()->GetRepeatedFloat(*msg_, F("rf"), 0));
  EXPECT_EQ(std::numeric_limits<float>::infinity(), R()->GetRepeatedFloat(*msg_, F("rf"), 1));
  EXPECT_EQ(-std::numeric_limits<float>::infinity(), R()->GetRepeatedFloat(*msg_, F("rf"), 2));
  // Just above FLT_MAX rounds down to it, as a plain conversion would.
  ASSERT_TRUE(Convert("{\"f\":3.4028235e38}"));
  EXPECT_EQ(std::numeric_limits<float>::max(), R()->GetFloat(*msg_, F("f")));
  // A NUL inside the string does not make it "nan".
  EXPECT_TRUE(Convert("{\"f\":\"nan\\u0000\"}"));
  EXPECT_FALSE(Has("f"));
}

TEST_F(JsonToPbTest, RepeatedFields) {
  EXPECT_FALSE(Convert("{\"ri\":5}"));
  EXPECT_EQ("Invalid value for repeated field: t.M.ri", error_);
  EXPECT_TRUE(Convert("{\"ri\":null,\"rm\":[]}"));
  EXPECT_EQ(0, Size("ri"));
  EXPECT_FALSE(Convert("{\"ri\":[1,\"2\",3]}"));
  EXPECT_EQ("Invalid value `\"2\"' for field `t.M.ri' which SHOULD be INT32", error_);
  EXPECT_EQ(1, Size("ri"));
  EXPECT_FALSE(Convert("{\"ri\":[1,null]}"));
  EXPECT_EQ("Invalid value `null' for field `t.M.ri' which SHOULD be INT32", error_);
  EXPECT_FALSE(Convert("{\"rm\":[{\"i\":1},2]}"));
  EXPECT_EQ("Invalid value `2' for field `t.M.rm' which SHOULD be message", error_);
  EXPECT_EQ(1, Size("rm"));
  EXPECT_TRUE(Convert("{\"rc\":[\"RED\",2],\"rm\":[{\"rm\":[{\"i\":4}]}]}"));
  EXPECT_EQ(2, Size("rc"));
  // A single message field given a non-object fails in the walk, created.
  EXPECT_FALSE(Convert("{\"sub\":5}"));
  EXPECT_EQ("`json_value' is not a json object. M", error_);
  EXPECT_TRUE(Has("sub"));
}

TEST_F(JsonToPbTest, Base64Bytes) {
  Json2PbOptions b64;
  b64.base64_to_bytes = true;
  ASSERT_TRUE(Convert("{\"by\":\"YWI=\",\"rby\":[\"\",\"YWJj\"],\"s\":\"YWJj\"}", "t.M", b64));
  EXPECT_EQ("ab", R()->GetString(*msg_, F("by")));
  EXPECT_EQ("abc", R()->GetRepeatedString(*msg_, F("rby"), 1));
  EXPECT_EQ("YWJj", R()->GetString(*msg_, F("s")));  // only bytes fields decode
  // Bad base64 fails whatever the label.
  EXPECT_FALSE(Convert("{\"by\":\"YWJjZ\"}", "t.M", b64));
  EXPECT_EQ("Fail to decode base64 string=YWJjZ", error_);
  EXPECT_FALSE(Has("by"));
  EXPECT_FALSE(Convert("{\"rby\":[\"YWJj\",\"Y=Jj\"]}", "t.M", b64));
  EXPECT_EQ(1, Size("rby"));
}

TEST_F(JsonToPbTest, HostileInput) {
  // Deep JSON nesting is a parse matter for the iterative parser.
  EXPECT_FALSE(Convert(std::string(200000, '[')));
  EXPECT_EQ("Invalid json format", error_);
  EXPECT_TRUE(Convert("{\"zz\":" + std::string(100000, '[') + std::string(100000, ']') + "}"));
  // Deeply nested messages of a recursive type stop at a fixed depth.
  std::string deep;
  for (int i = 0; i < 5000; ++i) deep += "{\"sub\":";
  deep += "{}" + std::string(5000, '}');
  EXPECT_FALSE(Convert(deep));
  EXPECT_EQ("Too deeply nested message: t.M", error_);
  std::string ok;
  for (int i = 0; i < protobuf_json::kMaxMessageDepth; ++i) ok += "{\"rm\":[";
  ok += "{\"i\":1}";
  for (int i = 0; i < protobuf_json::kMaxMessageDepth; ++i) ok += "]}";
  EXPECT_TRUE(Convert(ok)) << error_;
  // Map entries are messages too, in the object form as in the array form,
  // so whatever is accepted is within protobuf's own parsing depth.
  auto nested_maps = [](int levels, bool array_form) {
    std::string json, close;
    for (int i = 0; i < levels; ++i) {
      json += array_form ? "{\"r\":1,\"m\":[{\"key\":\"a\",\"value\":" : "{\"r\":1,\"m\":{\"a\":";
      close += array_form ? "}]}" : "}}";
    }
    return json + "{\"r\":2}" + close;
  };
  const int max_levels = protobuf_json::kMaxMessageDepth / 2;
  for (bool array_form : {false, true}) {
    ASSERT_TRUE(Convert(nested_maps(max_levels, array_form), "t.Req")) << error_;
    auto copy = schema_.New("t.Req");
    EXPECT_TRUE(copy->ParseFromString(msg_->SerializeAsString()));
    EXPECT_FALSE(Convert(nested_maps(max_levels + 1, array_form), "t.Req"));
    EXPECT_EQ("Too deeply nested message: t.Req.MEntry", error_);
  }
  // Numbers beyond every kind, and invalid UTF-8, pass through safely.
  EXPECT_FALSE(Convert("{\"d\":1e400}"));
  EXPECT_TRUE(Convert("{\"d\":1e-400,\"ul\":18446744073709551616,\"s\":\"\xff\xfe\"}"));
  EXPECT_EQ("\xff\xfe", R()->GetString(*msg_, F("s")));
  EXPECT_FALSE(Has("ul"));
}

// proto3 enums are open on the wire, yet only declared values are taken (an
// undeclared number must not slip in as an unknown value); strings that are
// not UTF-8 are stored as given, and the message still serialises.
TEST(JsonToPbProto3, EnumsStringsPresence) {
  testsupport::ProtoText schema(R"(
    syntax = "proto3"; package p3; enum K { Z = 0; A = 1; }
    message P { K k = 1; repeated K rk = 2; string s = 3; optional int32 o = 4; })");
  ASSERT_TRUE(schema.ok()) << schema.error();
  auto m = schema.New("p3.P");
  const auto* d = m->GetDescriptor();
  const Reflection* r = m->GetReflection();
  std::string error;
  EXPECT_TRUE(JsonToProtoMessage("{\"k\":5,\"s\":\"\xff\",\"o\":0}", m.get(), &error));
  EXPECT_EQ("Invalid value `5' for optional field `p3.P.k' which SHOULD be enum", error);
  EXPECT_EQ(0, r->GetEnumValue(*m, d->FindFieldByName("k")));
  EXPECT_EQ("\xff", r->GetString(*m, d->FindFieldByName("s")));
  EXPECT_TRUE(r->HasField(*m, d->FindFieldByName("o")));
  EXPECT_FALSE(JsonToProtoMessage("{\"rk\":[\"A\",9]}", m.get(), &error));
  EXPECT_EQ(1, r->FieldSize(*m, d->FindFieldByName("rk")));
  EXPECT_EQ(0, r->GetUnknownFields(*m).field_count());
  EXPECT_FALSE(m->SerializeAsString().empty());
}

TEST(EncodeDecodeName, Escapes) {
  std::string out = "untouched";
  EXPECT_FALSE(protobuf_json::encode_name("ab_9", &out));
  EXPECT_FALSE(protobuf_json::encode_name("", &out));
  EXPECT_EQ("untouched", out);
  EXPECT_TRUE(protobuf_json::encode_name("a-b", &out));
  EXPECT_EQ("a_Z045_b", out);
  EXPECT_TRUE(protobuf_json::encode_name("9a", &out));
  EXPECT_EQ("_Z057_a", out);
  EXPECT_TRUE(protobuf_json::encode_name("\xE4", &out));
  EXPECT_EQ("_Z228_", out);
  EXPECT_TRUE(protobuf_json::encode_name(std::string("\0.", 2), &out));
  EXPECT_EQ("_Z000__Z046_", out);

  out = "untouched";
  EXPECT_FALSE(protobuf_json::decode_name("_Z999_", &out));
  EXPECT_FALSE(protobuf_json::decode_name("_Z04_", &out));
  EXPECT_FALSE(protobuf_json::decode_name("x_Z256_", &out));
  EXPECT_EQ("untouched", out);
  EXPECT_TRUE(protobuf_json::decode_name("a_Z045_b_Z999__Z046_", &out));
  EXPECT_EQ("a-b_Z999_.", out);
  EXPECT_TRUE(protobuf_json::decode_name("_Z000_x", &out));
  EXPECT_EQ(std::string("\0x", 2), out);

  // Round trip for names without a "_Z" of their own.
  for (const std::string name : {"-id", "9lives", "a.b.c", "x y", "\x80\xff_", "_a-"}) {
    std::string encoded, decoded;
    ASSERT_TRUE(protobuf_json::encode_name(name, &encoded)) << name;
    ASSERT_TRUE(protobuf_json::decode_name(encoded, &decoded)) << name;
    EXPECT_EQ(name, decoded);
  }
}

}  // namespace
