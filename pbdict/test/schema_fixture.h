// Test helper: the schema most dictionary tests use, built in memory, and a
// fixture with a temporary folder and look-ups in that schema.
#ifndef PBDICT_TEST_SCHEMA_FIXTURE_H_
#define PBDICT_TEST_SCHEMA_FIXTURE_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "pbdict.h"
#include "support/proto_text.h"
#include "support/support.h"

namespace pbdict_test {

// proto2, every kind of field the builder meets.
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

class DictTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(schema_.ok()) << schema_.error(); }

  // The key's message as the dictionary answers it, in text form.
  std::string Lookup(const kavo::pbdict::PbDict* d, const std::string& key, Schema* schema = nullptr,
                     const std::string& type = "t.V") {
    auto m = (schema != nullptr ? schema : &schema_)->New(type);
    if (kavo::pbdict::dset_search_item(d, key.c_str(), m.get()) != 1) return "<absent>";
    return Schema::Text(*m);
  }

  testsupport::TempDir dir_;
  Schema schema_;
};

}  // namespace pbdict_test

#endif  // PBDICT_TEST_SCHEMA_FIXTURE_H_
