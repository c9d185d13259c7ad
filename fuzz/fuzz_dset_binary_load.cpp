// Fuzzes the binary dictionary loader with arbitrary "pbd" and "ht" bytes.
//
// Input layout: a 4-byte little-endian length L, then the "pbd" file (the
// first L mod (rest + 1) bytes of the rest), then the "ht" file (the
// remainder). A dictionary that loads is looked up by every key it holds.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "support/scratch_dir.h"
#include "hash.h"
#include "pbdict.h"
#include "support/proto_text.h"

namespace {

using kavo::pbdict::PbDict;

// One value type for every run: a few scalar, repeated and nested fields.
const google::protobuf::Message& Prototype() {
  static const google::protobuf::Message* prototype = [] {
    static testsupport::ProtoText schema(R"(
      syntax = "proto2";
      package f;
      message In { optional string s = 1; }
      message V { optional int32 n = 1; optional bytes b = 2; repeated int64 r = 3; optional In in = 4; }
    )", "f.proto");
    const google::protobuf::Message* p = schema.Prototype("f.V");
    if (p == nullptr) __builtin_trap();
    return p;
  }();
  return *prototype;
}

// A private folder for the two files, made once per process.
const std::string& Folder() { return testsupport::ProcessScratchDir(); }


}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const google::protobuf::Message& prototype = Prototype();
  if (size < 4) return 0;
  uint32_t split = 0;
  std::memcpy(&split, data, 4);
  data += 4;
  size -= 4;
  size_t pbd_size = split % (size + 1);
  const std::string& dir = Folder();
  if (!testsupport::WriteBytes(dir + "/f.pbd", data, pbd_size) ||
      !testsupport::WriteBytes(dir + "/f.ht", data + pbd_size, size - pbd_size)) {
    return 0;
  }
  PbDict dict(&prototype, nullptr);
  if (dict.binary_load(dir.c_str(), "f") != 0 || dict.pht == nullptr) return 0;
  std::unique_ptr<google::protobuf::Message> found(prototype.New());
  const kavo::pbdict::hash_table_t* ht = dict.pht;
  for (int b = 0; b < ht->capacity; ++b) {
    for (const kavo::pbdict::hash_node_t* n = ht->table[b]; n != nullptr; n = n->next) {
      kavo::pbdict::dset_search_item(&dict, n->str, found.get());
    }
  }
  kavo::pbdict::dset_search_item(&dict, "absent key", found.get());
  return 0;
}
