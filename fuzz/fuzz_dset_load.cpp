// Fuzzes the text dictionary loader with arbitrary file bytes.
//
// Input layout: one byte of options (bit 0: fold keys to lower case; bit 1:
// "," and " " also separate columns; bit 2: no comment lines; bits 3-7: a
// line limit of 1 to 32, or none when 0), then the text file. A dictionary
// that loads is looked up by every key it holds, in both cases.
#include <stdlib.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include <google/protobuf/stubs/logging.h>

#include "support/scratch_dir.h"
#include "hash.h"
#include "pbdict.h"
#include "support/proto_text.h"

namespace {

using kavo::pbdict::PbDict;

// One value type for every run: scalar, repeated, nested, enum and map fields.
const google::protobuf::Message& Prototype() {
  static const google::protobuf::Message* prototype = [] {
    google::protobuf::SetLogHandler(nullptr);  // protobuf's UTF-8 warnings are noise here
    static testsupport::ProtoText schema(R"(
      syntax = "proto2";
      package f;
      enum E { A = 0; B = 1; }
      message In { optional string s = 1; repeated int32 r = 2; }
      message V {
        optional int32 n = 1; optional bytes b = 2; repeated int64 r = 3; optional In in = 4;
        optional E e = 5; map<string, In> m = 6; optional double d = 7;
      }
    )", "f.proto");
    const google::protobuf::Message* p = schema.Prototype("f.V");
    if (p == nullptr) __builtin_trap();
    return p;
  }();
  return *prototype;
}

// The text file, in a private folder made once per process.
const std::string& TextPath() {
  static const std::string path = testsupport::ProcessScratchDir() + "/d.txt";
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const google::protobuf::Message& prototype = Prototype();
  if (size < 1) return 0;
  const uint8_t options = data[0];
  if (!testsupport::WriteBytes(TextPath(), data + 1, size - 1)) return 0;

  kavo::pbdict::dset_parameter_t param;
  param.tolower = options & 1;
  param.separator = (options & 2) != 0 ? "\t, " : "\t";
  param.comment_allowed = (options & 4) == 0;
  if ((options >> 3) != 0) param.max_line = options >> 3;
  PbDict dict(&prototype, &param);
  if (dict.load(TextPath().c_str()) != 0 || dict.pht == nullptr) return 0;

  std::unique_ptr<google::protobuf::Message> found(prototype.New());
  const kavo::pbdict::hash_table_t* ht = dict.pht;
  for (int b = 0; b < ht->capacity; ++b) {
    for (const kavo::pbdict::hash_node_t* n = ht->table[b]; n != nullptr; n = n->next) {
      if (kavo::pbdict::dset_search_item(&dict, n->str, found.get()) != 1) __builtin_trap();
      std::string upper = n->str;
      for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      kavo::pbdict::dset_search_item(&dict, upper.c_str(), found.get());
    }
  }
  return 0;
}
