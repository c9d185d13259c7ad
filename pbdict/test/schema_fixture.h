// Test helper: the schema most dictionary tests use, built in memory.
#ifndef PBDICT_TEST_SCHEMA_FIXTURE_H_
#define PBDICT_TEST_SCHEMA_FIXTURE_H_

#include <memory>
#include <string>

#include "support/proto_text.h"

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

// The schema above, or another .proto text, with its dynamic messages.
struct Schema : testsupport::ProtoText {
  explicit Schema(const std::string& proto_text = kSchema) : ProtoText(proto_text) {}
};

}  // namespace pbdict_test

#endif  // PBDICT_TEST_SCHEMA_FIXTURE_H_
