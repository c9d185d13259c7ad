// The binary loader reads a large dictionary in parts (values on several
// threads, the key table beside them, its keys checked in ranges of buckets):
// the answers, the refusals and the messages are those of one reading from
// start to end, at every limit between parts.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "file_reader.h"
#include "hash.h"
#include "hash_binary.h"
#include "pbdict.h"
#include "support/support.h"

namespace kavo {
namespace pbdict {
namespace {

using testsupport::CaptureFd;
using testsupport::ReadFile;
using testsupport::WriteFile;

// Entries, keys and value bytes the loader takes per part and per read; a
// dictionary of 2 * kPart entries loads in two parts wherever three cores
// are at hand (the key checks in two parts on any machine).
constexpr size_t kPart = 65536;
constexpr size_t kOffsetsPerRead = 4096;
constexpr size_t kChunk = 65536;

std::string Key(size_t i) {
  char key[32];
  std::snprintf(key, sizeof(key), "key%07zu", i);
  return key;
}

template <typename T>
void Put(std::string* s, size_t at, T v) {
  std::memcpy(&(*s)[at], &v, sizeof v);
}
template <typename T>
T Get(const std::string& s, size_t at) {
  T v;
  std::memcpy(&v, s.data() + at, sizeof v);
  return v;
}

// A dictionary of n entries, key i -> value i, written in both files' layout.
struct Pair {
  std::vector<std::string> values;
  std::string pbd, ht;
};

// Value i is i % 23 bytes, except for the lengths given in `lengths`.
Pair MakePair(const testsupport::TempDir& dir, size_t n, const std::map<size_t, size_t>& lengths) {
  Pair p;
  p.pbd.assign(1024, '\0');
  Put<int32_t>(&p.pbd, 20, static_cast<int32_t>(n));  // line_num
  Put<int32_t>(&p.pbd, 24, 1);                        // item_per_line
  Put<int32_t>(&p.pbd, 32, static_cast<int32_t>(n));  // max_line
  p.pbd[40] = 'b';
  p.pbd[41] = 's';
  Put<int32_t>(&p.pbd, 42, 1);  // comment_allowed
  std::string offsets(8 * (n + 1), '\0'), data;
  for (size_t i = 0; i < n; ++i) {
    auto it = lengths.find(i);
    const size_t len = it != lengths.end() ? it->second : i % 23;
    std::string v(len, '\0');
    for (size_t j = 0; j < len; ++j) v[j] = static_cast<char>(i * 7 + j * 13);
    data += v;
    p.values.push_back(std::move(v));
    Put<uint64_t>(&offsets, 8 * (i + 1), data.size());
  }
  p.pbd += offsets + data;
  hash_table_t* ht = hash_init_table(static_cast<int>(n));
  for (size_t i = 0; i < n; ++i) hash_insert_node(ht, Key(i).c_str(), static_cast<uint32_t>(i));
  EXPECT_EQ(0, hash_binary_dump(ht, dir.file("made.ht").c_str()));
  hash_release(ht);
  p.ht = ReadFile(dir.file("made.ht"));
  return p;
}

// Offset i of the value column in the "pbd" bytes.
size_t OffsetAt(size_t i) { return 1024 + 8 * i; }

class BinaryParts : public ::testing::Test {
 protected:
  // Writes "<dir>/x.pbd|ht" (no "ht" file when has_ht is false), loads them
  // and keeps the log.
  int Load(const std::string& pbd, const std::string& ht, bool has_ht = true) {
    WriteFile(dir_.file("x.pbd"), pbd);
    std::remove(dir_.file("x.ht").c_str());
    if (has_ht) WriteFile(dir_.file("x.ht"), ht);
    dict_.reset(new PbDict(nullptr, nullptr));
    CaptureFd err(2);
    const int rc = dict_->binary_load(dir_.path().c_str(), "x");
    log_ = err.Stop();
    return rc;
  }

  // hash_binary_read of the bytes with at most `parts` threads.
  hash_table_t* ReadKeys(const std::string& ht, int parts) {
    WriteFile(dir_.file("k.ht"), ht);
    FileReader reader;
    if (!reader.Open(dir_.file("k.ht").c_str())) return nullptr;
    return hash_binary_read(&reader, parts);
  }

  bool Logged(const char* text) const { return log_.find(text) != std::string::npos; }

  testsupport::TempDir dir_;
  std::unique_ptr<PbDict> dict_;
  std::string log_;
};

TEST_F(BinaryParts, EveryValueAndKeyAtEveryLimitBetweenParts) {
  // Long values at the limits between reads of offsets and between parts:
  // exactly a chunk of value bytes, and one byte more (read straight into
  // its string).
  const std::map<size_t, size_t> lengths = {
      {kOffsetsPerRead - 1, kChunk}, {kOffsetsPerRead, kChunk + 1}, {kPart - 1, kChunk + 1},
      {kPart, kChunk},               {kPart + 1, 0},                {2 * kPart - 2, kChunk - 1}};
  for (size_t n : {2 * kPart - 1, 2 * kPart}) {
    SCOPED_TRACE(n);
    const Pair p = MakePair(dir_, n, lengths);
    ASSERT_EQ(0, Load(p.pbd, p.ht)) << log_;
    ASSERT_EQ(static_cast<int>(n), dict_->line_num);
    for (size_t i = 0; i < n; ++i) {
      ASSERT_NE(nullptr, dict_->item[i]) << i;
      ASSERT_EQ(p.values[i], *dict_->item[i]) << i;
    }
    for (size_t i = 0; i < n; ++i) ASSERT_EQ(static_cast<int>(i), find_line(dict_.get(), Key(i).c_str()));
    EXPECT_EQ(-1, find_line(dict_.get(), Key(n).c_str()));
  }
}

TEST_F(BinaryParts, DamagedValuesAreRefusedBeforeTheKeysAreJudged) {
  const size_t n = 2 * kPart;
  const Pair p = MakePair(dir_, n, {});
  const uint64_t total = Get<uint64_t>(p.pbd, OffsetAt(n));
  // Offset i set to v.
  auto with = [&p](size_t i, uint64_t v) {
    std::string pbd = p.pbd;
    Put<uint64_t>(&pbd, OffsetAt(i), v);
    return pbd;
  };
  auto below = [&p](size_t i) { return Get<uint64_t>(p.pbd, OffsetAt(i)) - 1; };
  const struct {
    const char* what;
    std::string pbd;
  } cases[] = {
      {"the offset shared by two parts below the one before it", with(kPart, below(kPart - 1))},
      {"the first offset of the second part decreasing", with(kPart + 1, below(kPart))},
      {"an offset at the limit between reads of offsets decreasing",
       with(kOffsetsPerRead + 1, below(kOffsetsPerRead))},
      {"an offset between parts beyond the values", with(kPart, total + 1)},
      {"the last offset short of the file's end", with(n, total - 1)},
      {"the last value cut short", p.pbd.substr(0, p.pbd.size() - 1)},
      {"the first offset not 0", with(0, 1)},
  };
  for (const auto& c : cases) {
    for (bool has_ht : {true, false}) {
      SCOPED_TRACE(std::string(c.what) + (has_ht ? "" : ", no key table"));
      EXPECT_EQ(-1, Load(c.pbd, p.ht, has_ht));
      EXPECT_TRUE(Logged("Error occurs when loads item row form the file!")) << log_;
      EXPECT_TRUE(Logged("Errors occur when load the new binary dset head of x!")) << log_;
      EXPECT_FALSE(Logged("hash table")) << log_;
      EXPECT_EQ(nullptr, dict_->item);
      EXPECT_EQ(nullptr, dict_->pht);
    }
  }
  // Intact values beside a missing key table: the key table is the failure.
  EXPECT_EQ(-1, Load(p.pbd, p.ht, false));
  EXPECT_TRUE(Logged("Errors occur when load the binary hash table of x!")) << log_;
}

TEST_F(BinaryParts, KeysCheckedInRangesOfBucketsMustJoinUp) {
  const size_t n = 2 * kPart;
  const Pair p = MakePair(dir_, n, {});
  // The node records of the "ht" bytes: where each key offset lies, and the
  // bucket of each node.
  const uint32_t capacity = Get<uint32_t>(p.ht, 0), str_size = Get<uint32_t>(p.ht, 8);
  std::vector<size_t> offset_at;
  std::vector<uint32_t> bucket;
  size_t at = 12;
  for (uint32_t b = 0; b < capacity; ++b) {
    const uint32_t count = Get<uint32_t>(p.ht, at);
    at += 4;
    for (uint32_t k = 0; k < count; ++k, at += 8) {
      offset_at.push_back(at + 4);
      bucket.push_back(b);
    }
  }
  const size_t area_at = at;
  ASSERT_EQ(p.ht.size(), area_at + str_size);
  // The first node of the second half of the buckets, where the second of
  // two ranges starts.
  size_t half = 0;
  while (bucket[half] < capacity / 2) ++half;
  const uint32_t split = Get<uint32_t>(p.ht, offset_at[half]);

  // The key area's halves swapped, every offset following its key: each
  // range is whole and every key in its bucket, but the ranges do not join.
  std::string swapped = p.ht.substr(0, area_at) + p.ht.substr(area_at + split) +
                        p.ht.substr(area_at, split);
  for (size_t j = 0; j < offset_at.size(); ++j) {
    const uint32_t off = Get<uint32_t>(p.ht, offset_at[j]);
    Put<uint32_t>(&swapped, offset_at[j], j >= half ? off - split : off + (str_size - split));
  }
  // The first key of the second range said to start one byte later.
  std::string shifted = p.ht;
  Put<uint32_t>(&shifted, offset_at[half], split + 1);
  // The first key of the second range changed to a key of another bucket.
  std::string changed = p.ht;
  changed[area_at + split + 3] = static_cast<char>(changed[area_at + split + 3] ^ 1);

  for (int parts : {1, 8}) {
    SCOPED_TRACE(parts);
    hash_table_t* whole = ReadKeys(p.ht, parts);
    ASSERT_NE(nullptr, whole);
    hash_table_t* built = hash_init_table(static_cast<int>(n));
    for (size_t i = 0; i < n; ++i) hash_insert_node(built, Key(i).c_str(), static_cast<uint32_t>(i));
    EXPECT_EQ(1, hash_is_equal(whole, built));
    hash_release(built);
    hash_binary_release(whole);
    EXPECT_EQ(nullptr, ReadKeys(swapped, parts));
    EXPECT_EQ(nullptr, ReadKeys(shifted, parts));
    EXPECT_EQ(nullptr, ReadKeys(changed, parts));
  }
  for (const std::string* ht : {&swapped, &shifted, &changed}) {
    EXPECT_EQ(-1, Load(p.pbd, *ht));
    EXPECT_TRUE(Logged("Errors occur when load the binary hash table of x!")) << log_;
    EXPECT_EQ(nullptr, dict_->pht);
  }
}

}  // namespace
}  // namespace pbdict
}  // namespace kavo
