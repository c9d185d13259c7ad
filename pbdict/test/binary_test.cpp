// The binary dictionary files: their bytes, reading them back, and refusing
// files that do not fit the format.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "hash.h"
#include "pbdict.h"
#include "schema_fixture.h"
#include "support/support.h"

namespace kavo {
namespace pbdict {
namespace {

using pbdict_test::Schema;
using testsupport::CaptureFd;
using testsupport::FileExists;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

uint32_t U32(const std::string& s, size_t at) {
  uint32_t v;
  std::memcpy(&v, s.data() + at, 4);
  return v;
}
uint64_t U64(const std::string& s, size_t at) {
  uint64_t v;
  std::memcpy(&v, s.data() + at, 8);
  return v;
}
void SetU32(std::string* s, size_t at, uint32_t v) { std::memcpy(&(*s)[at], &v, 4); }
void SetU64(std::string* s, size_t at, uint64_t v) { std::memcpy(&(*s)[at], &v, 8); }

class Binary : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(schema_.ok()); }

  // Loads the text into a dictionary and writes it as "<dir>/b.pbd|ht".
  std::unique_ptr<PbDict> Build(const std::string& text) {
    WriteFile(dir_.file("d.txt"), text);
    std::unique_ptr<PbDict> d(new PbDict(schema_.Prototype("t.V"), nullptr));
    CaptureFd err(2);
    EXPECT_EQ(0, d->load(dir_.file("d.txt").c_str()));
    EXPECT_EQ(0, d->binary_dump(dir_.path().c_str(), "b"));
    err.Stop();
    return d;
  }

  // Reads "<dir>/<name>.pbd|ht" into a fresh dictionary.
  int Read(std::unique_ptr<PbDict>* out, const char* name = "b", std::string* log = nullptr) {
    out->reset(new PbDict(schema_.Prototype("t.V"), nullptr));
    CaptureFd err(2);
    int rc = (*out)->binary_load(dir_.path().c_str(), name);
    std::string captured = err.Stop();
    if (log != nullptr) *log = captured;
    return rc;
  }

  // Writes the two files as "<dir>/x.pbd|ht" and reads them.
  int ReadBytes(const std::string& pbd, const std::string& ht) {
    WriteFile(dir_.file("x.pbd"), pbd);
    WriteFile(dir_.file("x.ht"), ht);
    std::unique_ptr<PbDict> d;
    return Read(&d, "x");
  }

  std::string Message(const PbDict* d, const char* key) {
    auto m = schema_.New("t.V");
    if (dset_search_item(d, key, m.get()) != 1) return "<absent>";
    return Schema::Text(*m);
  }

  Schema schema_;
  TempDir dir_;
};

TEST_F(Binary, OneEntryFiles) {
  auto d = Build("a\t{\"a\":\"x\"}\n");  // serialises to 0a 01 78
  std::string pbd = ReadFile(dir_.file("b.pbd"));
  ASSERT_EQ(1024u + 16 + 3, pbd.size());
  EXPECT_EQ(static_cast<uint64_t>(d->tag.tv_sec), U64(pbd, 0));
  EXPECT_EQ(static_cast<uint64_t>(d->tag.tv_usec), U64(pbd, 8));
  EXPECT_EQ(0u, U32(pbd, 16));        // is_empty
  EXPECT_EQ(1u, U32(pbd, 20));        // line_num
  EXPECT_EQ(1u, U32(pbd, 24));        // item_per_line
  EXPECT_EQ(0u, U32(pbd, 28));        // key_index
  EXPECT_EQ(1000000u, U32(pbd, 32));  // max_line
  EXPECT_EQ(0u, U32(pbd, 36));        // tolower
  EXPECT_EQ('b', pbd[40]);
  EXPECT_EQ('s', pbd[41]);
  EXPECT_EQ(1u, U32(pbd, 42));        // comment_allowed, unaligned
  EXPECT_EQ(std::string(1024 - 46, '\0'), pbd.substr(46, 1024 - 46));
  EXPECT_EQ(0u, U64(pbd, 1024));
  EXPECT_EQ(3u, U64(pbd, 1032));
  EXPECT_EQ(std::string("\x0a\x01x", 3), pbd.substr(1040));

  std::string ht = ReadFile(dir_.file("b.ht"));
  ASSERT_EQ(12u + 4 * 1543 + 8 + 2, ht.size());
  EXPECT_EQ(1543u, U32(ht, 0));
  EXPECT_EQ(1u, U32(ht, 4));
  EXPECT_EQ(2u, U32(ht, 8));
  const uint32_t bucket = hash("a", 1543);
  for (uint32_t b = 0, at = 12; b < 1543; ++b) {
    ASSERT_EQ(b == bucket ? 1u : 0u, U32(ht, at)) << b;
    at += 4;
    if (b == bucket) {
      EXPECT_EQ(0u, U32(ht, at));      // value
      EXPECT_EQ(0u, U32(ht, at + 4));  // key offset
      at += 8;
    }
  }
  EXPECT_EQ(std::string("a\0", 2), ht.substr(ht.size() - 2));

  std::unique_ptr<PbDict> r;
  ASSERT_EQ(0, Read(&r));
  EXPECT_EQ(1, r->load_type);
  EXPECT_EQ(1, hash_is_equal(d->pht, r->pht));
  EXPECT_EQ("a: \"x\"\n", Message(r.get(), "a"));
}

TEST_F(Binary, EmptyDictionary) {
  auto d = Build("# nothing\n");
  std::string pbd = ReadFile(dir_.file("b.pbd"));
  ASSERT_EQ(1024u, pbd.size());
  EXPECT_EQ(1u, U32(pbd, 16));
  EXPECT_EQ(0u, U32(pbd, 20));
  ASSERT_TRUE(FileExists(dir_.file("b.ht")));
  EXPECT_EQ(0u, ReadFile(dir_.file("b.ht")).size());
  std::unique_ptr<PbDict> r;
  std::string log;
  ASSERT_EQ(0, Read(&r, "b", &log));
  EXPECT_NE(std::string::npos, log.find("The file b is empty, load an empty binary dictset!"));
  EXPECT_EQ(nullptr, r->pht);
  EXPECT_EQ(-1, r->load_type);
  EXPECT_EQ("<absent>", Message(r.get(), "a"));
}

TEST_F(Binary, RoundTrip) {
  // Values of length 0 (an empty message) load back like any other.
  auto d = Build("e\t{}\nf\t{}\n");
  std::string pbd = ReadFile(dir_.file("b.pbd"));
  ASSERT_EQ(1024u + 24, pbd.size());
  std::unique_ptr<PbDict> r;
  ASSERT_EQ(0, Read(&r));
  EXPECT_EQ("", Message(r.get(), "e"));
  EXPECT_EQ("", Message(r.get(), "f"));

  std::string text;
  for (int i = 0; i < 3000; ++i) {
    text += "key" + std::to_string(i) + "\t{\"n\":" + std::to_string(i) +
            (i % 3 == 0 ? "" : ",\"s\":\"v" + std::to_string(i) + "\"") + "}\n";
  }
  text += "key7\t{\"n\":-1}\n";  // a duplicate key keeps an entry no key reaches
  d = Build(text);
  std::string first_pbd = ReadFile(dir_.file("b.pbd"));
  std::string first_ht = ReadFile(dir_.file("b.ht"));
  ASSERT_EQ(0, Read(&r));
  EXPECT_EQ(3001, r->line_num);
  EXPECT_EQ(1, hash_is_equal(d->pht, r->pht));
  for (int i = 0; i < 3000; i += 7) {
    std::string k = "key" + std::to_string(i);
    EXPECT_EQ(Message(d.get(), k.c_str()), Message(r.get(), k.c_str()));
  }
  EXPECT_EQ("n: 7\ns: \"v7\"\n", Message(r.get(), "key7"));

  // The same dictionary written again differs in the time stamp only; and a
  // dictionary read back writes the same files.
  ASSERT_EQ(0, r->binary_dump(dir_.path().c_str(), "b"));
  std::string again = ReadFile(dir_.file("b.pbd"));
  ASSERT_EQ(first_pbd.size(), again.size());
  EXPECT_EQ(first_pbd.substr(16), again.substr(16));
  EXPECT_EQ(first_ht, ReadFile(dir_.file("b.ht")));
}

TEST_F(Binary, MissingFilesAndFailedWrites) {
  auto d = Build("a\t{\"n\":1}\n");
  std::unique_ptr<PbDict> r;
  std::string log;
  EXPECT_EQ(-1, Read(&r, "nothere", &log));
  EXPECT_NE(std::string::npos, log.find("binary dset head of nothere not exist!"));
  ASSERT_EQ(0, std::remove(dir_.file("b.ht").c_str()));
  EXPECT_EQ(-1, Read(&r, "b", &log));
  EXPECT_NE(std::string::npos, log.find("Errors occur when load the binary hash table of b!"));

  CaptureFd err(2);
  EXPECT_EQ(-1, d->binary_dump(dir_.file("no/such/dir").c_str(), "b"));
  EXPECT_EQ(-1, d->binary_dump(dir_.path().c_str(), std::string(300, 'n').c_str()));
  EXPECT_EQ(-1, dset_binary_dump(nullptr, "x", "y"));
  EXPECT_EQ(-1, dset_binary_load(d.get(), "x", nullptr));
  // A dictionary is loaded once.
  EXPECT_EQ(-1, d->binary_load(dir_.path().c_str(), "b"));
  log = err.Stop();
  EXPECT_NE(std::string::npos, log.find("Errors occur when dump the dset head of b!"));
  EXPECT_NE(std::string::npos, log.find("dset_binary_dump() param error"));
}

TEST_F(Binary, RefusesDamagedFiles) {
  auto d = Build("a\t{\"a\":\"x\"}\nbb\t{\"n\":5}\nccc\t{}\n");
  const std::string pbd = ReadFile(dir_.file("b.pbd"));
  const std::string ht = ReadFile(dir_.file("b.ht"));
  ASSERT_EQ(0, ReadBytes(pbd, ht));

  // Truncation anywhere.
  for (size_t n = 0; n < pbd.size(); ++n) ASSERT_EQ(-1, ReadBytes(pbd.substr(0, n), ht)) << n;
  for (size_t n = 0; n < ht.size(); n += (n < 64 || n + 64 > ht.size()) ? 1 : 61) {
    ASSERT_EQ(-1, ReadBytes(pbd, ht.substr(0, n))) << n;
  }

  std::string p = pbd;
  SetU32(&p, 24, 2);  // a second value column the format does not hold
  EXPECT_EQ(-1, ReadBytes(p, ht));
  SetU32(&p, 24, 0xffffffffu);  // negative
  EXPECT_EQ(-1, ReadBytes(p, ht));
  p = pbd;
  SetU32(&p, 20, 0x7fffffff);  // more entries than the file holds
  EXPECT_EQ(-1, ReadBytes(p, ht));
  SetU32(&p, 20, 0);  // non-empty without entries
  EXPECT_EQ(-1, ReadBytes(p, ht));
  p = pbd;
  p[40] = 'x';  // an unknown value kind
  EXPECT_EQ(-1, ReadBytes(p, ht));
  p = pbd;
  SetU64(&p, 1024, 1);  // the first offset is not 0
  EXPECT_EQ(-1, ReadBytes(p, ht));
  p = pbd;
  SetU64(&p, 1032, U64(pbd, 1040) + 1);  // decreasing offsets
  EXPECT_EQ(-1, ReadBytes(p, ht));
  p = pbd;
  SetU64(&p, 1048, U64(pbd, 1048) + 1);  // total beyond the file
  EXPECT_EQ(-1, ReadBytes(p, ht));
  SetU64(&p, 1048, ~0ull);
  EXPECT_EQ(-1, ReadBytes(p, ht));

  std::string h = ht;
  SetU32(&h, 0, 1000);  // not a capacity of the list
  EXPECT_EQ(-1, ReadBytes(pbd, h));
  SetU32(&h, 0, 3079);  // a list capacity with more buckets than the file has
  EXPECT_EQ(-1, ReadBytes(pbd, h));
  h = ht;
  SetU32(&h, 4, 2);  // counts add up to more than size
  EXPECT_EQ(-1, ReadBytes(pbd, h));
  SetU32(&h, 4, 4);  // counts add up to less than size
  EXPECT_EQ(-1, ReadBytes(pbd, h + std::string(8, '\0')));
  h = ht;
  // The first node's key offset outside the key area.
  size_t at = 12;
  while (U32(h, at) == 0) at += 4;
  SetU32(&h, at + 8, U32(h, 8));
  EXPECT_EQ(-1, ReadBytes(pbd, h));
  h = ht;
  h[h.size() - 1] = 'z';  // the last key does not end inside the area
  EXPECT_EQ(-1, ReadBytes(pbd, h));

  // An "ht" file whose key area is empty or whose size is 0.
  h = ht;
  SetU32(&h, 8, 0);
  EXPECT_EQ(-1, ReadBytes(pbd, h));
}

}  // namespace
}  // namespace pbdict
}  // namespace kavo
