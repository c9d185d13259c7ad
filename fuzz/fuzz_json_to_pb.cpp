// Fuzzes JsonToProtoMessage on a fixed schema that has every field kind,
// recursion, map-shaped fields, required fields, extensions and escaped
// names, and on a proto3 one. The first input byte picks the options, the
// entry point and the schema; the rest is the JSON text.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include <google/protobuf/descriptor.h>
#include <google/protobuf/stubs/logging.h>

#include "json_to_pb.h"
#include "support/proto_text.h"

namespace {

const char kSchema[] = R"(
syntax = "proto2";
package fz;
enum Color { RED = 0; GREEN = 1; BLUE = -2; }
message Entry { optional string key = 1; optional Node value = 2; }
message Req { required int32 r = 1; optional string s = 2; }
message Node {
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
  optional Node sub = 11;
  repeated int32 ri = 12;
  repeated Node rn = 13;
  repeated Entry kv = 14;
  map<string, int32> sm = 15;
  map<int32, Node> im = 16;
  repeated float rf = 17;
  repeated double rd = 18;
  repeated Color rc = 19;
  repeated bytes rby = 20;
  repeated uint64 rul = 21;
  optional Req req = 22;
  map<string, Req> rm = 23;
  optional int32 _Z045_id = 24;
  optional sint64 _Z000_x = 25;
  oneof pick { string os = 26; Node on = 27; }
  repeated bool rb = 28;
  extensions 100 to max;
}
extend Node { optional int32 ext = 100; repeated Node rext = 536870000; }
)";

// proto3: open enums, real maps and strings that protobuf checks for UTF-8.
const char kSchema3[] = R"(
syntax = "proto3";
package fz3;
enum Kind { ZERO = 0; ONE = 1; }
message Leaf {
  Kind k = 1;
  string s = 2;
  optional int32 o = 3;
  repeated Kind rk = 4;
  map<string, string> ms = 5;
  map<string, Leaf> ml = 6;
  Leaf sub = 7;
  oneof pick { uint64 pu = 8; Leaf pl = 9; }
  bytes by = 10;
}
)";

const google::protobuf::Message* Load(testsupport::ProtoText* schema, const char* type) {
  google::protobuf::SetLogHandler(nullptr);  // protobuf's UTF-8 warnings are noise here
  const google::protobuf::Message* p = schema->Prototype(type);
  if (p == nullptr) __builtin_trap();
  return p;
}

const google::protobuf::Message& Prototype(bool proto3) {
  static testsupport::ProtoText schema(kSchema, "fuzz.proto");
  static testsupport::ProtoText schema3(kSchema3, "fuzz3.proto");
  static const google::protobuf::Message* node = Load(&schema, "fz.Node");
  static const google::protobuf::Message* leaf = Load(&schema3, "fz3.Leaf");
  return proto3 ? *leaf : *node;
}

// Hands out the text in pieces of 1 to 4 bytes, with empty pieces between.
class ChoppyStream : public google::protobuf::io::ZeroCopyInputStream {
 public:
  ChoppyStream(const std::string& text, uint8_t seed) : text_(text), seed_(seed) {}
  bool Next(const void** data, int* size) override {
    if (pos_ >= text_.size()) return false;
    seed_ = static_cast<uint8_t>(seed_ * 33 + 7);
    size_t n = seed_ % 5;  // 0 gives an empty buffer
    if (n > text_.size() - pos_) n = text_.size() - pos_;
    *data = text_.data() + pos_;
    *size = static_cast<int>(n);
    pos_ += n;
    return true;
  }
  void BackUp(int) override {}
  bool Skip(int) override { return false; }
  int64_t ByteCount() const override { return static_cast<int64_t>(pos_); }

 private:
  const std::string& text_;
  uint8_t seed_;
  size_t pos_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t mode = data[0];
  const std::string json(reinterpret_cast<const char*>(data + 1), size - 1);

  Json2PbOptions options;
  options.base64_to_bytes = (mode & 1) != 0;
  std::unique_ptr<google::protobuf::Message> message(Prototype((mode & 8) != 0).New());
  std::string error;
  bool ok;
  if (mode & 2) {
    ChoppyStream stream(json, mode);
    ok = JsonToProtoMessage(&stream, message.get(), options, (mode & 4) ? &error : nullptr);
  } else {
    ok = JsonToProtoMessage(json, message.get(), options, (mode & 4) ? &error : nullptr);
  }
  // A filled message must be complete and serialisable; under proto2 (which
  // does not refuse strings that are not UTF-8) protobuf must read the bytes
  // back, so nothing accepted lies beyond its nesting limit. (Partial: a map
  // entry without its value reads back as a default value, which protobuf
  // then counts as missing its required fields.)
  if (ok && !message->IsInitialized()) __builtin_trap();
  std::string bytes;
  if (ok) {
    message->SerializeToString(&bytes);
    std::unique_ptr<google::protobuf::Message> copy(message->New());
    if ((mode & 8) == 0 && !copy->ParsePartialFromString(bytes)) __builtin_trap();
  } else {
    message->SerializePartialToString(&bytes);
  }
  return 0;
}
