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
  int64_t tag_sec = 0, tag_usec = 0;
  int32_t is_empty = 0, line_num = 0, max_line = 0, tolower = 0, comment_allowed = 0;
  uint32_t capacity = 0;                  // of the "ht" file; 0 when it is empty
  std::vector<std::string> values;        // entry i's bytes
  std::map<std::string, uint32_t> keys;   // key -> entry index
};

// The T at byte `at` of s, false when s is too short.
template <typename T>
bool GetAt(const std::string& s, size_t at, T* v) {
  if (at > s.size() || s.size() - at < sizeof(T)) return false;
  std::memcpy(v, s.data() + at, sizeof(T));
  return true;
}

// Within DecodeDictFiles: fails, saying `what`, unless `ok`.
#define DICT_FILES_REQUIRE(ok, what) \
  if (!(ok)) return ::testing::AssertionFailure() << what

// Decodes the bytes of a "pbd" and an "ht" file into *out. Fails, saying
// where, at the first field that does not fit the layout.
inline ::testing::AssertionResult DecodeDictFiles(const std::string& pbd, const std::string& ht,
                                                  DictFiles* out) {
  *out = DictFiles();
  int32_t item_per_line = -1, key_index = -1;
  DICT_FILES_REQUIRE(pbd.size() >= 1024, "pbd of " << pbd.size() << " bytes");
  GetAt(pbd, 0, &out->tag_sec);
  GetAt(pbd, 8, &out->tag_usec);
  GetAt(pbd, 16, &out->is_empty);
  GetAt(pbd, 20, &out->line_num);
  GetAt(pbd, 24, &item_per_line);
  GetAt(pbd, 28, &key_index);
  GetAt(pbd, 32, &out->max_line);
  GetAt(pbd, 36, &out->tolower);
  GetAt(pbd, 42, &out->comment_allowed);
  DICT_FILES_REQUIRE(item_per_line == 1 && key_index == 0 && pbd[40] == 'b' && pbd[41] == 's',
                     "pbd columns: " << item_per_line << " " << key_index << " '" << pbd[40] << pbd[41]);
  const size_t nonzero = pbd.find_first_not_of('\0', 46);
  DICT_FILES_REQUIRE(nonzero >= 1024, "pbd header not zero at " << nonzero);
  if (out->is_empty != 0) {
    DICT_FILES_REQUIRE(out->line_num == 0 && pbd.size() == 1024 && ht.empty(),
                       "empty dictionary: line_num " << out->line_num << ", pbd " << pbd.size()
                                                     << ", ht " << ht.size());
    return ::testing::AssertionSuccess();
  }
  DICT_FILES_REQUIRE(out->line_num > 0, "line_num " << out->line_num);

  // The value column: offsets from 0, never decreasing, the last one the
  // length of the values, which end the file.
  const size_t n = static_cast<size_t>(out->line_num), base = 1024 + 8 * (n + 1);
  std::vector<uint64_t> offsets(n + 1);
  for (size_t i = 0; i <= n; ++i) {
    DICT_FILES_REQUIRE(GetAt(pbd, 1024 + 8 * i, &offsets[i]), "pbd cut in offsets");
    DICT_FILES_REQUIRE(i == 0 ? offsets[0] == 0 : offsets[i] >= offsets[i - 1],
                       "offset " << i << " is " << offsets[i]);
  }
  DICT_FILES_REQUIRE(pbd.size() == base + offsets[n],
                     "pbd of " << pbd.size() << " bytes, values end at " << base + offsets[n]);
  for (size_t i = 0; i < n; ++i) {
    out->values.push_back(pbd.substr(base + offsets[i], offsets[i + 1] - offsets[i]));
  }

  // The key table: every key once, in the bucket of its hash, its offset
  // the running length of the keys before it.
  uint32_t size = 0, str_size = 0;
  DICT_FILES_REQUIRE(GetAt(ht, 0, &out->capacity) && GetAt(ht, 4, &size) && GetAt(ht, 8, &str_size),
                     "ht of " << ht.size() << " bytes");
  DICT_FILES_REQUIRE(kavo::pbdict::is_list_capacity(out->capacity) && out->capacity >= size,
                     "capacity " << out->capacity << " for " << size << " keys");
  struct Node {
    uint32_t bucket, value, offset;
  };
  std::vector<Node> nodes;  // in file order
  size_t at = 12;
  for (uint32_t b = 0; b < out->capacity; ++b) {
    uint32_t count = 0;
    DICT_FILES_REQUIRE(GetAt(ht, at, &count), "ht cut at bucket " << b);
    for (at += 4; count > 0; --count, at += 8) {
      Node node{b, 0, 0};
      DICT_FILES_REQUIRE(GetAt(ht, at, &node.value) && GetAt(ht, at + 4, &node.offset),
                         "ht cut in bucket " << b);
      DICT_FILES_REQUIRE(node.value < n, "value " << node.value << " in bucket " << b);
      nodes.push_back(node);
    }
  }
  DICT_FILES_REQUIRE(nodes.size() == size, nodes.size() << " nodes, size " << size);
  DICT_FILES_REQUIRE(ht.size() == at + str_size,
                     "ht of " << ht.size() << " bytes, keys end at " << at + str_size);
  const std::string area = ht.substr(at);
  size_t key_at = 0;
  for (const Node& node : nodes) {
    const size_t end = area.find('\0', key_at);
    DICT_FILES_REQUIRE(node.offset == key_at && end != std::string::npos,
                       "key offset " << node.offset << ", expected " << key_at);
    const std::string key = area.substr(key_at, end - key_at);
    key_at = end + 1;
    DICT_FILES_REQUIRE(kavo::pbdict::hash(key.c_str(), out->capacity) == node.bucket,
                       "key " << key << " in bucket " << node.bucket);
    DICT_FILES_REQUIRE(out->keys.emplace(key, node.value).second, "key " << key << " twice");
  }
  DICT_FILES_REQUIRE(key_at == str_size, "keys use " << key_at << " of " << str_size);
  return ::testing::AssertionSuccess();
}

#undef DICT_FILES_REQUIRE

// The files of a dictionary of the one key "a" whose value is the 3 bytes
// 0a 01 78, with the default parameters: offsets 0 and 3, then the value;
// one bucket of 1543 holds the node (value 0, key offset 0), then the key
// area "a\0".
inline void ExpectOneEntryFiles(const std::string& pbd, const std::string& ht, DictFiles* files) {
  ASSERT_EQ(1024u + 16 + 3, pbd.size());
  EXPECT_EQ(std::string("\0\0\0\0\0\0\0\0\x03\0\0\0\0\0\0\0\x0a\x01x", 19), pbd.substr(1024));
  ASSERT_EQ(12u + 4 * 1543 + 8 + 2, ht.size());
  ASSERT_TRUE(DecodeDictFiles(pbd, ht, files));
  EXPECT_EQ(0, files->is_empty);
  EXPECT_EQ(1, files->line_num);
  EXPECT_EQ(1000000, files->max_line);
  EXPECT_EQ(0, files->tolower);
  EXPECT_EQ(1, files->comment_allowed);
  EXPECT_EQ(1543u, files->capacity);
  EXPECT_EQ((std::map<std::string, uint32_t>{{"a", 0}}), files->keys);
}

}  // namespace pbdict_test

#endif  // PBDICT_TEST_DICT_FILES_H_
