#include "json_to_pb_internal.h"

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <google/protobuf/io/zero_copy_stream_impl_lite.h>

#include "encode_decode.h"
#include "protobuf_map.h"
#include "support/proto_text.h"
#include "support/support.h"

using google::protobuf::Message;

namespace {

const char kSchema[] = R"(
syntax = "proto2";
package t;
enum Color { RED = 0; GREEN = 1; BLUE = 2; }
message Entry { optional string key = 1; optional int32 value = 2; }
message IntKeyEntry { optional int32 key = 1; optional string value = 2; }
message M {
  optional int32 i = 1; optional int64 l = 2; optional uint32 u = 3; optional uint64 ul = 4;
  optional bool b = 5; optional float f = 6; optional double d = 7; optional Color c = 8;
  optional string s = 9; optional bytes by = 10; optional M sub = 11;
  repeated int32 ri = 12; repeated M rm = 13; repeated Entry kv = 14; repeated IntKeyEntry ik = 15;
  optional int32 _Z045_id = 16; optional int32 _Z000_x = 17; repeated float rf = 18;
  map<string, int32> sm = 19; map<int32, string> im = 20;
  repeated Color rc = 21; repeated bytes rby = 22;
  extensions 100 to max;
}
extend M { optional int32 ext = 100; optional string late = 5000; }
message Req { required int32 r = 1; optional Req child = 2; map<string, Req> m = 3; }
)";

// A stream handing out one byte at a time, with empty buffers in between.
struct TrickleStream : google::protobuf::io::ZeroCopyInputStream {
  explicit TrickleStream(const std::string& text) : text(text) {}
  bool Next(const void** data, int* size) override {
    if (pos >= text.size()) return false;
    *data = text.data() + pos;
    *size = empty_next ? 0 : 1;
    pos += *size;
    empty_next = !empty_next;
    return true;
  }
  void BackUp(int) override {}
  bool Skip(int) override { return false; }
  int64_t ByteCount() const override { return static_cast<int64_t>(pos); }
  std::string text;
  size_t pos = 0;
  bool empty_next = true;
};

// One conversion and what it must give; the message in short debug form.
const char kAny[] = "(not compared)";
struct Row {
  std::string json;
  bool ok;
  std::string error, message;  // kAny: not compared
  const char* type = "t.M";
  bool base64 = false;
};

// A wrong kind in an optional field: reported, passed over, nothing stored.
Row WrongKind(const std::string& field, const std::string& value, const char* should,
              const std::string& shown = "") {
  return {"{\"" + field + "\":" + value + "}", true,
          "Invalid value `" + (shown.empty() ? value : shown) + "' for optional field `t.M." +
              field + "' which SHOULD be " + should,
          ""};
}

std::string Repeat(const std::string& text, int times) {
  std::string out;
  while (times-- > 0) out += text;
  return out;
}

class JsonToPbTest : public ::testing::Test {
 protected:
  JsonToPbTest() : schema_(kSchema) {}

  // Every row goes through the text form, the stream form one byte at a time
  // (with options only when it needs them) and a whole-buffer stream with no
  // error text: all must agree with the row.
  void Check(const std::vector<Row>& rows) {
    for (size_t n = 0; n < rows.size(); ++n) {
      const Row& row = rows[n];
      SCOPED_TRACE("row " + std::to_string(n) + ": " + row.json.substr(0, 80));
      Json2PbOptions options;
      options.base64_to_bytes = row.base64;
      for (int form = 0; form < 3; ++form) {
        SCOPED_TRACE("form " + std::to_string(form));
        TrickleStream trickle(row.json);
        google::protobuf::io::ArrayInputStream whole(row.json.data(), int(row.json.size()));
        msg_ = schema_.New(row.type);
        error_ = "stale";
        const bool ok = form == 0   ? JsonToProtoMessage(row.json, msg_.get(), options, &error_)
                        : form == 2 ? JsonToProtoMessage(&whole, msg_.get(), options, nullptr)
                        : row.base64 ? JsonToProtoMessage(&trickle, msg_.get(), options, &error_)
                                     : JsonToProtoMessage(&trickle, msg_.get(), &error_);
        EXPECT_EQ(row.ok, ok);
        if (row.error != kAny && form < 2) { EXPECT_EQ(row.error, error_); }
        if (row.message != kAny) { EXPECT_EQ(row.message, msg_->ShortDebugString()); }
      }
    }
  }

  testsupport::ProtoText schema_;
  std::unique_ptr<Message> msg_;
  std::string error_;
};

const char kBadJson[] = "Invalid json format";
const char kNotObject[] = "`json_value' is not a json object. M";
const char kReqMissing[] = "Missing required field: t.Req.r";
const int kDepth = protobuf_json::kMaxMessageDepth;

TEST_F(JsonToPbTest, ParseErrorsAndObjectWalk) {
  Check({
      {"", false, kBadJson, ""}, {"{", false, kBadJson, ""}, {"{} {}", false, kBadJson, ""},
      {"NaN", false, kBadJson, ""}, {R"({"i":1,})", false, kBadJson, ""}, {"  ", false, kBadJson, ""},
      {"[1]", false, kNotObject, ""},
      {std::string(200000, '['), false, kBadJson, ""},  // iterative parser: no deep recursion
      {R"({"zz":)" + std::string(100000, '[') + std::string(100000, ']') + "}", true, "", ""},
      {"  {\"c\":\"BLUE\"}  ", true, "", "c: BLUE"},
      {R"({"i":1,"s":"abc","ri":[1,2,3],"sub":{"l":-5}})", true, "",
       R"(i: 1 s: "abc" sub { l: -5 } ri: 1 ri: 2 ri: 3)"},
      // Unknown members are ignored; the first of two equal names counts.
      {R"({"zz":[1,{}],"i":1,"i":2})", true, "", "i: 1"},
      // Escaped field names match the decoded name only, compared with length.
      {R"({"-id":7,"_Z045_id":8,"":9})", true, "", "_Z045_id: 7"},
      {R"({"\u0000x":4})", true, "", "_Z000_x: 4"},
      // Known extensions by short name, also far into a range up to max (a
      // scan of every number of the range would hang here).
      {R"({"ext":5,"late":"x"})", true, "", R"([t.ext]: 5 [t.late]: "x")"},
      // Required fields at every depth, map values included.
      {"{}", false, kReqMissing, "", "t.Req"}, {R"({"r":null})", false, kReqMissing, "", "t.Req"},
      {R"({"r":1,"child":{"child":{}}})", false, kReqMissing, kAny, "t.Req"},
      {R"({"r":1,"m":{"a":{"r":1},"b":{}}})", false, kReqMissing, kAny, "t.Req"},
      {R"({"r":1.5})", false, "Invalid value `1.500000' for field `t.Req.r' which SHOULD be INT32",
       "", "t.Req"},
      {R"({"r":1,"m":{"a":{"r":2}}})", true, "", R"(r: 1 m { key: "a" value { r: 2 } })", "t.Req"},
      // Deeply nested messages of a recursive type stop at a fixed depth.
      {Repeat(R"({"sub":)", 5000) + "{}" + Repeat("}", 5000), false, "Too deeply nested message: t.M", kAny},
      {Repeat(R"({"rm":[)", kDepth) + R"({"i":1})" + Repeat("]}", kDepth), true, "", kAny},
      // Numbers beyond every kind, and invalid UTF-8, pass through safely.
      {R"({"d":1e400})", false, kBadJson, ""},
      {"{\"d\":1e-400,\"ul\":18446744073709551616,\"s\":\"\xff\xfe\"}", true, kAny,
       R"(d: 0 s: "\377\376")"},
      {std::string("{\"i\":1}\0junk", 12), true, "", "i: 1"},  // the text ends at a NUL
  });
}

// Memory running out while the text is parsed is std::bad_alloc, as it is
// in protobuf's own setters, wherever the parser allocates: the parser never
// goes on with a null block. Each row in a child whose address space is
// capped a few megabytes above what it holds with the text made.
TEST_F(JsonToPbTest, ParserOutOfMemoryIsBadAlloc) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "a sanitizer's runtime needs more address space than a cap leaves";
#endif
  const struct {
    const char* what;
    std::function<std::string()> json;
  } rows[] = {
      // The parser's own stack, where a string is gathered.
      {"a long string", [] { return "{\"s\":\"" + std::string(size_t{64} << 20, 'x') + "\"}"; }},
      // The document's pool, which keeps the strings.
      {"many strings", [] { return "{\"zz\":[" + Repeat("\"" + std::string(1000, 'x') + "\",", 32000) + "0]}"; }},
      // The document's stack, where an array's values wait for its end.
      {"many values", [] { return "{\"ri\":[" + Repeat("1,", 4 << 20) + "1]}"; }},
  };
  for (const auto& row : rows) {
    const int status = testsupport::RunInChild([&] {
      const std::string json = row.json();
      auto m = schema_.New("t.M");
      if (!testsupport::CapAddressSpace(size_t{8} << 20)) return 10;
      try {
        JsonToProtoMessage(json, m.get(), nullptr);
      } catch (const std::bad_alloc&) {
        return 0;
      }
      return 1;
    });
    EXPECT_EQ(0, status) << row.what;
  }
}

TEST_F(JsonToPbTest, EntryPointsAppendToTheMessage) {
  // Every overload resolves for the ordinary argument kinds; the message is
  // not cleared, so single fields are overwritten and repeated ones appended.
  auto m = schema_.New("t.M");
  const std::string lvalue = R"({"i":2,"ri":[10]})";
  std::string mutable_lvalue = R"({"ri":[11,12]})";
  EXPECT_TRUE(JsonToProtoMessage(lvalue, m.get(), nullptr));
  EXPECT_TRUE(JsonToProtoMessage(mutable_lvalue, m.get(), &error_));
  EXPECT_TRUE(JsonToProtoMessage(R"({"i":3})", m.get(), nullptr));
  EXPECT_TRUE(JsonToProtoMessage(std::string("{}"), m.get()));
  EXPECT_FALSE(JsonToProtoMessage("{", m.get(), Json2PbOptions(), nullptr));
  EXPECT_FALSE(JsonToProtoMessage(R"({"ri":5})", m.get()));
  EXPECT_EQ("i: 3 ri: 10 ri: 11 ri: 12", m->ShortDebugString());
}

TEST_F(JsonToPbTest, ValuesOfEveryKind) {
  Check({
      {R"({"i":-5,"l":3000000000,"u":4000000000,"ul":18446744073709551615,"b":true,"f":1.5,)"
       R"("d":-2,"c":"GREEN","s":"a\u0000b","by":"YWJj"})",  // bytes stored as they stand
       true, "",
       R"(i: -5 l: 3000000000 u: 4000000000 ul: 18446744073709551615 b: true f: 1.5 d: -2 )"
       R"(c: GREEN s: "a\000b" by: "YWJj")"},
      {R"({"u":-0,"c":2})", true, "", "u: 0 c: BLUE"},  // -0 has every integer kind
      // Messages join with ", ".
      {R"({"i":false, "b":null, "u":1e2})", true,
       "Invalid value `false' for optional field `t.M.i' which SHOULD be INT32, "
       "Invalid value `100.000000' for optional field `t.M.u' which SHOULD be UINT32", ""},
      // NaN and infinity as strings in any case; large doubles narrow to infinity.
      {R"({"f":"nAn","d":"-INFINITY","rf":["Infinity",1e300,-1e300,3]})", true, "",
       "f: nan d: -inf rf: inf rf: inf rf: -inf rf: 3"},
      {R"({"f":3.4028235e38})", true, "", "f: 3.40282347e+38"},  // rounds down to FLT_MAX
      {R"({"f":"nan\u0000"})", true, kAny, ""},  // a NUL inside does not make it "nan"
      // Repeated fields.
      {R"({"ri":5})", false, "Invalid value for repeated field: t.M.ri", ""},
      {R"({"ri":null,"rm":[]})", true, "", ""},
      {R"({"ri":[1,"2",3]})", false, "Invalid value `\"2\"' for field `t.M.ri' which SHOULD be INT32",
       "ri: 1"},
      {R"({"ri":[1,null]})", false, "Invalid value `null' for field `t.M.ri' which SHOULD be INT32",
       kAny},
      {R"({"rm":[{"i":1},2]})", false, "Invalid value `2' for field `t.M.rm' which SHOULD be message",
       "rm { i: 1 }"},
      {R"({"rc":["RED",2],"rm":[{"rm":[{"i":4}]}]})", true, "", "rm { rm { i: 4 } } rc: RED rc: BLUE"},
      // A single message field given a non-object fails in the walk, created.
      {R"({"sub":5})", false, kNotObject, "sub { }"},
      // Map-shaped fields: object, array, null and other values.
      {R"({"kv":{}})", true, "", ""}, {R"({"kv":3})", false, "Non-object value for map field: t.M.kv", ""},
      {R"({"kv":[{"key":"z","value":1}],"sm":null})", true, "", R"(kv { key: "z" value: 1 })"},
      // A wrong-kind value is reported under the entry type; the entry stays.
      {R"({"sm":{"a":"x"}})", true,
       "Invalid value `\"x\"' for optional field `t.M.SmEntry.value' which SHOULD be INT32",
       R"(sm { key: "a" value: 0 })"},
      // Integer keys are not map-shaped: an object is refused, the array taken.
      {R"({"im":{"1":"x"}})", false, "Invalid value for repeated field: t.M.im", ""},
      {R"({"im":[{"key":1,"value":"x"}],"ik":[{"key":2}]})", true, "",
       R"(ik { key: 2 } im { key: 1 value: "x" })"},
      // Base64 for bytes fields only, when asked; bad base64 fails whatever the label.
      {R"({"by":"YWI=","rby":["","YWJj"],"s":"YWJj"})", true, "",
       R"(s: "YWJj" by: "ab" rby: "" rby: "abc")", "t.M", true},
      {R"({"by":"YWJjZ"})", false, "Fail to decode base64 string=YWJjZ", "", "t.M", true},
      {R"({"rby":["YWJj","Y=Jj"]})", false, kAny, R"(rby: "abc")", "t.M", true},
      // Wrong kinds in optional fields.
      WrongKind("i", "1.5", "INT32", "1.500000"), WrongKind("i", "3000000000", "INT32"),
      WrongKind("i", R"("5")", "INT32"), WrongKind("l", "9223372036854775808", "INT64"),
      WrongKind("u", "-1", "UINT32"), WrongKind("ul", "-3000000000", "UINT64"),
      WrongKind("b", "1", "BOOL"), WrongKind("f", R"("x")", "f"), WrongKind("f", "true", "float"),
      WrongKind("d", R"("nanx")", "d"), WrongKind("d", "[]", "double", "array"),
      WrongKind("c", R"("PINK")", "enum"), WrongKind("c", "7", "enum"),
      WrongKind("s", "{}", "string", "object"),
  });
}

TEST_F(JsonToPbTest, MapShapes) {
  const auto* type = schema_.pool()->FindMessageTypeByName("t.M");
  for (const char* field : {"kv", "sm", "ik", "im", "rm"}) {
    const bool want = std::string(field) == "kv" || std::string(field) == "sm";
    EXPECT_EQ(want, protobuf_json::IsProtobufMap(type->FindFieldByName(field))) << field;
  }
  // Entries in text order, duplicates kept, in a map field too (whose debug
  // form would be sorted).
  Check({{R"({"kv":{"b":1,"a":2,"b":3}})", true, "",
          R"(kv { key: "b" value: 1 } kv { key: "a" value: 2 } kv { key: "b" value: 3 })"},
         {R"({"sm":{"b":1,"a":2,"b":3}})", true, "", kAny}});
  const auto* sm = type->FindFieldByName("sm");
  std::string entries;
  for (int k = 0; k < msg_->GetReflection()->FieldSize(*msg_, sm); ++k) {
    entries += msg_->GetReflection()->GetRepeatedMessage(*msg_, sm, k).ShortDebugString() + ";";
  }
  EXPECT_EQ(R"(key: "b" value: 1;key: "a" value: 2;key: "b" value: 3;)", entries);
  // Map entries are messages too, in the object form as in the array form,
  // so whatever is accepted is within protobuf's own parsing depth.
  for (bool array_form : {false, true}) {
    const std::string open = array_form ? R"({"r":1,"m":[{"key":"a","value":)" : R"({"r":1,"m":{"a":)";
    const std::string close = array_form ? "}]}" : "}}";
    const auto nested = [&](int n) { return Repeat(open, n) + R"({"r":2})" + Repeat(close, n); };
    Check({{nested(kDepth / 2 + 1), false, "Too deeply nested message: t.Req.MEntry", kAny, "t.Req"},
           {nested(kDepth / 2), true, "", kAny, "t.Req"}});
    EXPECT_TRUE(schema_.New("t.Req")->ParseFromString(msg_->SerializeAsString()));
  }
}

// The report of values passed over costs time linear in its length: a
// value with 16N map values of the wrong kind converts in about 16 times
// the time of one with N, and the bound of 64 leaves four times that for a
// busy machine (when each append to the report cleared all its spare room
// first, the ratio was 110 to 120). Thread CPU time, the best of seven
// conversions each, taken in turn, into one error text kept between them as
// the builder keeps it.
TEST_F(JsonToPbTest, PassedOverValuesCostTheirNumber) {
  auto object = [](int values) {
    std::string json = "{\"sm\":{";
    for (int i = 0; i < values; ++i) json += (i > 0 ? ",\"" : "\"") + std::to_string(i) + "\":\"x\"";
    return json + "}}";
  };
  auto convert = [&](const std::string& json) {
    msg_ = schema_.New("t.M");
    timespec start, end;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
    EXPECT_TRUE(JsonToProtoMessage(json, msg_.get(), Json2PbOptions(), &error_));
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
    return (end.tv_sec - start.tv_sec) * 1e3 + (end.tv_nsec - start.tv_nsec) / 1e6;
  };
  const int n = 1000;
  const std::string small = object(n), large = object(16 * n);
  double one = 1e300, sixteen = 1e300;
  for (int round = 0; round < 7; ++round) {
    one = std::min(one, convert(small));
    sixteen = std::min(sixteen, convert(large));
  }
  const std::string message = "Invalid value `\"x\"' for optional field `t.M.SmEntry.value' which SHOULD be INT32";
  EXPECT_EQ(16 * n * (message.size() + 2) - 2, error_.size());
  EXPECT_EQ(0u, error_.find(message + ", " + message));
  std::printf("%d wrong values: %.2f ms; %d: %.2f ms (%.1fx)\n", n, one, 16 * n, sixteen, sixteen / one);
  EXPECT_LT(sixteen, 64 * one);
}

// proto3 enums are open on the wire, yet only declared values are taken (an
// undeclared number must not slip in as an unknown value); proto3 strings
// must be UTF-8, as protobuf's parser requires of them, so bytes that are not
// fail the conversion (a proto2 string takes them as given).
TEST(JsonToPbProto3, EnumsStringsPresence) {
  testsupport::ProtoText schema(R"(
    syntax = "proto3"; package p3; enum K { Z = 0; A = 1; }
    message P { K k = 1; repeated K rk = 2; string s = 3; optional int32 o = 4;
                map<string, string> m = 5; repeated string rs = 6; bytes b = 7; })");
  ASSERT_TRUE(schema.ok()) << schema.error();
  auto m = schema.New("p3.P");
  std::string error;
  EXPECT_TRUE(JsonToProtoMessage("{\"k\":5,\"s\":\"\xc3\xa9\",\"o\":0}", m.get(), &error));
  EXPECT_EQ("Invalid value `5' for optional field `p3.P.k' which SHOULD be enum", error);
  EXPECT_EQ(R"(s: "\303\251" o: 0)", m->ShortDebugString());
  EXPECT_FALSE(JsonToProtoMessage(R"({"rk":["A",9]})", m.get(), &error));
  EXPECT_EQ(R"(rk: A s: "\303\251" o: 0)", m->ShortDebugString());
  EXPECT_EQ(0, m->GetReflection()->GetUnknownFields(*m).field_count());
  EXPECT_FALSE(m->SerializeAsString().empty());

  const struct {
    std::string json;
    bool ok;
    std::string error;
  } strings[] = {
      {"{\"s\":\"\xff\"}", false, "Invalid UTF-8 in string field: p3.P.s"},
      {"{\"s\":\"a\xc3\"}", false, "Invalid UTF-8 in string field: p3.P.s"},       // cut short
      {"{\"s\":\"\xc0\xaf\"}", false, "Invalid UTF-8 in string field: p3.P.s"},    // overlong
      {"{\"s\":\"\xed\xa0\x80\"}", false, "Invalid UTF-8 in string field: p3.P.s"},  // surrogate
      {"{\"s\":\"\xf4\x90\x80\x80\"}", false, "Invalid UTF-8 in string field: p3.P.s"},  // > U+10FFFF
      {"{\"s\":\"\xf4\x8f\xbf\xbf\xe2\x82\xac\"}", true, ""},  // U+10FFFF and the euro sign
      {"{\"rs\":[\"ok\",\"\xfe\"]}", false, "Invalid UTF-8 in string field: p3.P.rs"},
      {"{\"m\":{\"\xff\":\"v\"}}", false, "Invalid UTF-8 in string field: p3.P.MEntry.key"},
      {"{\"m\":{\"k\":\"\xff\"}}", false, "Invalid UTF-8 in string field: p3.P.MEntry.value"},
      {"{\"b\":\"\xff\"}", true, ""},  // bytes are bytes
  };
  for (const auto& c : strings) {
    auto msg = schema.New("p3.P");
    std::string err;
    EXPECT_EQ(c.ok, JsonToProtoMessage(c.json, msg.get(), &err)) << c.json;
    EXPECT_NE(std::string::npos, err.find(c.error)) << c.json << ": " << err;
    if (c.ok) {
      auto back = schema.New("p3.P");
      EXPECT_TRUE(back->ParseFromString(msg->SerializeAsString())) << c.json;
    }
  }
  // The same bytes in a proto2 string are stored as given.
  testsupport::ProtoText two(R"(syntax = "proto2"; package p2; message Q { optional string s = 1; })");
  ASSERT_TRUE(two.ok()) << two.error();
  auto q = two.New("p2.Q");
  EXPECT_TRUE(JsonToProtoMessage("{\"s\":\"\xff\"}", q.get(), &error));
  EXPECT_EQ(R"(s: "\377")", q->ShortDebugString());
}

TEST(EncodeDecodeName, Escapes) {
  // {function, name, result}; an empty result means "false, output untouched".
  using Fn = bool (*)(const std::string&, std::string*);
  const Fn enc = protobuf_json::encode_name, dec = protobuf_json::decode_name;
  const struct {
    Fn fn;
    std::string in, out;
  } cases[] = {
      {enc, "ab_9", ""}, {enc, "", ""}, {enc, "a-b", "a_Z045_b"}, {enc, "9a", "_Z057_a"},
      {enc, "\xE4", "_Z228_"}, {enc, std::string("\0.", 2), "_Z000__Z046_"},
      {dec, "_Z999_", ""}, {dec, "_Z04_", ""}, {dec, "x_Z256_", ""},
      {dec, "a_Z045_b_Z999__Z046_", "a-b_Z999_."}, {dec, "_Z000_x", std::string("\0x", 2)},
  };
  for (const auto& c : cases) {
    std::string out = "untouched";
    EXPECT_EQ(!c.out.empty(), c.fn(c.in, &out)) << c.in;
    EXPECT_EQ(c.out.empty() ? "untouched" : c.out, out) << c.in;
  }
  // Round trip for names without a "_Z" of their own.
  for (const std::string name : {"-id", "9lives", "a.b.c", "x y", "\x80\xff_", "_a-"}) {
    std::string encoded, decoded;
    ASSERT_TRUE(enc(name, &encoded)) << name;
    ASSERT_TRUE(dec(encoded, &decoded)) << name;
    EXPECT_EQ(name, decoded);
  }
}

}  // namespace
