// Test helper: imports a .proto text at run time and hands out prototypes of
// its message types, as the builder does.
#ifndef PBDICT_TEST_SCHEMA_FIXTURE_H_
#define PBDICT_TEST_SCHEMA_FIXTURE_H_

#include <memory>
#include <string>

#include <google/protobuf/compiler/importer.h>
#include <google/protobuf/dynamic_message.h>
#include <google/protobuf/text_format.h>

#include "support/support.h"

namespace pbdict_test {

// The schema most tests use: proto2, every kind of field the builder meets.
const char kSchema[] = R"(
syntax = "proto2";
package t;
message Inner { optional string s = 1; repeated int32 r = 2; }
enum Color { RED = 0; GREEN = 1; BLUE = 2; }
message V {
  optional bytes a = 1;
  optional int32 n = 2;
  optional string s = 3;
  repeated int64 list = 4;
  optional Inner inner = 5;
  optional Color color = 6;
  map<string, int32> m = 7;
  optional double d = 8;
  optional bool flag = 9;
}
message Req { required int32 id = 1; optional Inner inner = 2; }
)";

class Schema {
 public:
  explicit Schema(const std::string& proto_text = kSchema) {
    testsupport::WriteFile(dir_.file("schema.proto"), proto_text);
    tree_.MapPath("", dir_.path());
    importer_.reset(new google::protobuf::compiler::Importer(&tree_, nullptr));
    file_ = importer_->Import("schema.proto");
  }
  bool ok() const { return file_ != nullptr; }
  const google::protobuf::Message* Prototype(const std::string& name) {
    const google::protobuf::Descriptor* d = importer_->pool()->FindMessageTypeByName(name);
    return d == nullptr ? nullptr : factory_.GetPrototype(d);
  }
  std::unique_ptr<google::protobuf::Message> New(const std::string& name) {
    return std::unique_ptr<google::protobuf::Message>(Prototype(name)->New());
  }
  // The message in protobuf text form, for comparisons.
  static std::string Text(const google::protobuf::Message& m) {
    std::string out;
    google::protobuf::TextFormat::PrintToString(m, &out);
    return out;
  }

 private:
  testsupport::TempDir dir_;
  google::protobuf::compiler::DiskSourceTree tree_;
  std::unique_ptr<google::protobuf::compiler::Importer> importer_;
  const google::protobuf::FileDescriptor* file_ = nullptr;
  google::protobuf::DynamicMessageFactory factory_;
};

}  // namespace pbdict_test

#endif  // PBDICT_TEST_SCHEMA_FIXTURE_H_
