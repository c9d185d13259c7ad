// Test helper: reads the two files of a binary dictionary by their layout,
// without the dictionary's own loader, and checks every field on the way.
//
// "pbd": tag (int64 seconds, int64 microseconds), is_empty, line_num,
// item_per_line, key_index, max_line, tolower (int32 each), the format byte
// 'b', the key format byte 's', comment_allowed (int32, unaligned), zeros up
// to 1024; then, unless empty, line_num + 1 uint64 offsets and the values.
// "ht": capacity, size, key-area length (uint32 each); per bucket its node
// count, then value and key offset (uint32 each) per node; the key area.
#ifndef PBDICT_TEST_DICT_FILES_H_
#define PBDICT_TEST_DICT_FILES_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "hash.h"

namespace pbdict_test {

struct DictFiles {
  int64_t tag_sec = 0;
  int64_t tag_usec = 0;
  int32_t is_empty = 0;
  int32_t line_num = 0;
  int32_t max_line = 0;
  int32_t tolower = 0;
  int32_t comment_allowed = 0;
  uint32_t capacity = 0;                  // of the "ht" file; 0 when it is empty
  std::vector<std::string> values;        // entry i's bytes
  std::map<std::string, uint32_t> keys;   // key -> entry index
};

namespace dict_files_internal {

template <typename T>
bool Get(const std::string& s, size_t at, T* v) {
  if (at > s.size() || s.size() - at < sizeof(T)) return false;
  std::memcpy(v, s.data() + at, sizeof(T));
  return true;
}

}  // namespace dict_files_internal

// Decodes the bytes of a "pbd" and an "ht" file into *out. Fails, saying
// where, at the first field that does not fit the layout.
inline ::testing::AssertionResult DecodeDictFiles(const std::string& pbd, const std::string& ht,
                                                  DictFiles* out) {
  using dict_files_internal::Get;
  *out = DictFiles();
  int32_t item_per_line = -1, key_index = -1;
  if (pbd.size() < 1024) return ::testing::AssertionFailure() << "pbd of " << pbd.size() << " bytes";
  Get(pbd, 0, &out->tag_sec);
  Get(pbd, 8, &out->tag_usec);
  Get(pbd, 16, &out->is_empty);
  Get(pbd, 20, &out->line_num);
  Get(pbd, 24, &item_per_line);
  Get(pbd, 28, &key_index);
  Get(pbd, 32, &out->max_line);
  Get(pbd, 36, &out->tolower);
  Get(pbd, 42, &out->comment_allowed);
  if (item_per_line != 1 || key_index != 0 || pbd[40] != 'b' || pbd[41] != 's') {
    return ::testing::AssertionFailure() << "pbd columns: " << item_per_line << " " << key_index
                                         << " '" << pbd[40] << "' '" << pbd[41] << "'";
  }
  if (pbd.find_first_not_of('\0', 46) < 1024) {
    return ::testing::AssertionFailure() << "pbd header not zero at " << pbd.find_first_not_of('\0', 46);
  }
  if (out->is_empty != 0) {
    if (out->line_num != 0 || pbd.size() != 1024 || !ht.empty()) {
      return ::testing::AssertionFailure() << "empty dictionary: line_num " << out->line_num
                                           << ", pbd " << pbd.size() << ", ht " << ht.size();
    }
    return ::testing::AssertionSuccess();
  }
  if (out->line_num <= 0) return ::testing::AssertionFailure() << "line_num " << out->line_num;

  // The value column: offsets from 0, never decreasing, the last one the
  // length of the values, which end the file.
  const size_t n = static_cast<size_t>(out->line_num);
  const size_t base = 1024 + 8 * (n + 1);
  std::vector<uint64_t> offsets(n + 1);
  for (size_t i = 0; i <= n; ++i) {
    if (!Get(pbd, 1024 + 8 * i, &offsets[i])) return ::testing::AssertionFailure() << "pbd cut in offsets";
    if (i == 0 ? offsets[0] != 0 : offsets[i] < offsets[i - 1]) {
      return ::testing::AssertionFailure() << "offset " << i << " is " << offsets[i];
    }
  }
  if (pbd.size() != base + offsets[n]) {
    return ::testing::AssertionFailure() << "pbd of " << pbd.size() << " bytes, values end at "
                                         << base + offsets[n];
  }
  for (size_t i = 0; i < n; ++i) out->values.push_back(pbd.substr(base + offsets[i], offsets[i + 1] - offsets[i]));

  // The key table: every key once, in the bucket of its hash, its offset
  // the running length of the keys before it.
  uint32_t size = 0, str_size = 0;
  if (!Get(ht, 0, &out->capacity) || !Get(ht, 4, &size) || !Get(ht, 8, &str_size)) {
    return ::testing::AssertionFailure() << "ht of " << ht.size() << " bytes";
  }
  if (!kavo::pbdict::is_list_capacity(out->capacity) || out->capacity < size) {
    return ::testing::AssertionFailure() << "capacity " << out->capacity << " for " << size << " keys";
  }
  struct Node {
    uint32_t bucket, value, offset;
  };
  std::vector<Node> nodes;  // in file order
  size_t at = 12;
  for (uint32_t b = 0; b < out->capacity; ++b) {
    uint32_t count = 0;
    if (!Get(ht, at, &count)) return ::testing::AssertionFailure() << "ht cut at bucket " << b;
    at += 4;
    for (uint32_t k = 0; k < count; ++k, at += 8) {
      Node node{b, 0, 0};
      if (!Get(ht, at, &node.value) || !Get(ht, at + 4, &node.offset)) {
        return ::testing::AssertionFailure() << "ht cut in bucket " << b;
      }
      if (node.value >= n) return ::testing::AssertionFailure() << "value " << node.value << " in bucket " << b;
      nodes.push_back(node);
    }
  }
  if (nodes.size() != size) return ::testing::AssertionFailure() << nodes.size() << " nodes, size " << size;
  if (ht.size() != at + str_size) {
    return ::testing::AssertionFailure() << "ht of " << ht.size() << " bytes, keys end at " << at + str_size;
  }
  const std::string area = ht.substr(at);
  size_t key_at = 0;
  for (const Node& node : nodes) {
    size_t end = area.find('\0', key_at);
    if (node.offset != key_at || end == std::string::npos) {
      return ::testing::AssertionFailure() << "key offset " << node.offset << ", expected " << key_at;
    }
    std::string key = area.substr(key_at, end - key_at);
    key_at = end + 1;
    if (kavo::pbdict::hash(key.c_str(), out->capacity) != node.bucket) {
      return ::testing::AssertionFailure() << "key " << key << " in bucket " << node.bucket;
    }
    if (!out->keys.emplace(key, node.value).second) {
      return ::testing::AssertionFailure() << "key " << key << " twice";
    }
  }
  if (key_at != str_size) return ::testing::AssertionFailure() << "keys use " << key_at << " of " << str_size;
  return ::testing::AssertionSuccess();
}

}  // namespace pbdict_test

#endif  // PBDICT_TEST_DICT_FILES_H_
