// Fuzzes the binary dictionary loader with arbitrary "pbd" and "ht" bytes.
//
// Input layout: a 4-byte little-endian length L, then the "pbd" file (the
// first L mod (rest + 1) bytes of the rest), then the "ht" file (the
// remainder). A dictionary that loads is looked up by every key it holds:
// every key leads to an entry of the values, and its answer is found or a
// refusal, never "not found". It is then written again and read back: the
// files it writes are the bytes it read (only the write time differs), and
// the read-back answers every key alike.
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
  if (dict.binary_load(dir.c_str(), "f") != 0) return 0;
  const std::string pbd = testsupport::ReadBytes(dir + "/f.pbd");
  const std::string ht_bytes = testsupport::ReadBytes(dir + "/f.ht");
  if (dict.binary_dump(dir.c_str(), "g") != 0) __builtin_trap();
  const std::string pbd2 = testsupport::ReadBytes(dir + "/g.pbd");
  if (pbd.size() != pbd2.size() || pbd.compare(16, std::string::npos, pbd2, 16) != 0) __builtin_trap();
  if (dict.pht == nullptr) {
    // An empty dictionary: its "ht" file, when there is one, is empty.
    if (!ht_bytes.empty() || !testsupport::ReadBytes(dir + "/g.ht").empty()) __builtin_trap();
    return 0;
  }
  if (ht_bytes != testsupport::ReadBytes(dir + "/g.ht")) __builtin_trap();
  PbDict again(&prototype, nullptr);
  if (again.binary_load(dir.c_str(), "g") != 0) __builtin_trap();
  std::unique_ptr<google::protobuf::Message> found(prototype.New());
  std::unique_ptr<google::protobuf::Message> found2(prototype.New());
  const kavo::pbdict::hash_table_t* ht = dict.pht;
  for (int b = 0; b < ht->capacity; ++b) {
    for (const kavo::pbdict::hash_node_t* n = ht->table[b]; n != nullptr; n = n->next) {
      if (kavo::pbdict::find_line(&dict, n->str) < 0 ||
          kavo::pbdict::find_line(&dict, n->str) >= dict.line_num) {
        __builtin_trap();
      }
      found->Clear();
      found2->Clear();
      const int rc = kavo::pbdict::dset_search_item(&dict, n->str, found.get());
      if (rc == 0 || rc != kavo::pbdict::dset_search_item(&again, n->str, found2.get())) {
        __builtin_trap();
      }
      if (rc == 1 && found->SerializeAsString() != found2->SerializeAsString()) __builtin_trap();
    }
  }
  kavo::pbdict::dset_search_item(&dict, "absent key", found.get());
  return 0;
}
