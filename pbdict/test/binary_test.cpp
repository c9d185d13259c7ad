// The binary dictionary files: their bytes, reading them back, and refusing
// files that do not fit the format.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "dict_files.h"
#include "hash.h"
#include "pbdict.h"
#include "schema_fixture.h"
#include "support/support.h"

namespace kavo {
namespace pbdict {
namespace {

using pbdict_test::DictFiles;
using testsupport::CaptureFd;
using testsupport::FileExists;
using testsupport::ReadFile;
using testsupport::WriteFile;

template <typename T>
T At(const std::string& s, size_t at) {
  T v{};
  pbdict_test::GetAt(s, at, &v);
  return v;
}

class Binary : public pbdict_test::DictTest {
 protected:
  // Loads the text into a dictionary and writes it as "<dir>/b.pbd|ht".
  std::unique_ptr<PbDict> Build(const std::string& text) {
    WriteFile(dir_.file("d.txt"), text);
    std::unique_ptr<PbDict> d(new PbDict(schema_.Prototype("t.V"), nullptr));
    CaptureFd err(2);
    EXPECT_EQ(0, d->load(dir_.file("d.txt").c_str()));
    EXPECT_EQ(0, d->binary_dump(dir_.path().c_str(), "b"));
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
};

TEST_F(Binary, OneEntryAndEmptyFiles) {
  auto d = Build("a\t{\"a\":\"x\"}\n");  // serialises to 0a 01 78
  DictFiles f;
  ASSERT_NO_FATAL_FAILURE(
      pbdict_test::ExpectOneEntryFiles(ReadFile(dir_.file("b.pbd")), ReadFile(dir_.file("b.ht")), &f));
  EXPECT_EQ(d->tag.tv_sec, f.tag_sec);
  EXPECT_EQ(d->tag.tv_usec, f.tag_usec);
  std::unique_ptr<PbDict> r;
  ASSERT_EQ(0, Read(&r));
  EXPECT_EQ(1, r->load_type);
  EXPECT_EQ(1, hash_is_equal(d->pht, r->pht));
  EXPECT_EQ("a: \"x\"\n", Lookup(r.get(), "a"));

  // No entry: a 1024-byte "pbd" marked empty and an empty "ht".
  d = Build("# nothing\n");
  ASSERT_TRUE(FileExists(dir_.file("b.ht")));
  ASSERT_TRUE(pbdict_test::DecodeDictFiles(ReadFile(dir_.file("b.pbd")), ReadFile(dir_.file("b.ht")), &f));
  EXPECT_EQ(1, f.is_empty);
  std::string log;
  ASSERT_EQ(0, Read(&r, "b", &log));
  EXPECT_NE(std::string::npos, log.find("The file b is empty, load an empty binary dictset!"));
  EXPECT_EQ(nullptr, r->pht);
  EXPECT_EQ(-1, r->load_type);
  EXPECT_EQ("<absent>", Lookup(r.get(), "a"));
}

TEST_F(Binary, RoundTrip) {
  // Values of length 0 (an empty message) load back like any other.
  auto d = Build("e\t{}\nf\t{}\n");
  ASSERT_EQ(1024u + 24, ReadFile(dir_.file("b.pbd")).size());
  std::unique_ptr<PbDict> r;
  ASSERT_EQ(0, Read(&r));
  EXPECT_EQ("", Lookup(r.get(), "e"));
  EXPECT_EQ("", Lookup(r.get(), "f"));

  std::string text;
  for (int i = 0; i < 3000; ++i) {
    text += "key" + std::to_string(i) + "\t{\"n\":" + std::to_string(i) +
            (i % 3 == 0 ? "" : ",\"s\":\"v" + std::to_string(i) + "\"") + "}\n";
  }
  text += "key7\t{\"n\":-1}\n";  // a duplicate key keeps an entry no key reaches
  d = Build(text);
  const std::string first_pbd = ReadFile(dir_.file("b.pbd")), first_ht = ReadFile(dir_.file("b.ht"));
  ASSERT_EQ(0, Read(&r));
  EXPECT_EQ(3001, r->line_num);
  EXPECT_EQ(1, hash_is_equal(d->pht, r->pht));
  for (int i = 0; i < 3000; i += 7) {
    std::string k = "key" + std::to_string(i);
    EXPECT_EQ(Lookup(d.get(), k), Lookup(r.get(), k));
  }
  EXPECT_EQ("n: 7\ns: \"v7\"\n", Lookup(r.get(), "key7"));

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
  EXPECT_EQ(-1, d->binary_load(dir_.path().c_str(), "b"));  // a dictionary is loaded once
  log = err.Stop();
  EXPECT_NE(std::string::npos, log.find("Errors occur when dump the dset head of b!"));
  EXPECT_NE(std::string::npos, log.find("dset_binary_dump() param error"));
}

TEST_F(Binary, RefusesDamagedFiles) {
  auto d = Build("a\t{\"a\":\"x\"}\nbb\t{\"n\":5}\nccc\t{}\n");
  const std::string pbd = ReadFile(dir_.file("b.pbd")), ht = ReadFile(dir_.file("b.ht"));
  ASSERT_EQ(0, ReadBytes(pbd, ht));

  // Truncation anywhere.
  for (size_t n = 0; n < pbd.size(); ++n) ASSERT_EQ(-1, ReadBytes(pbd.substr(0, n), ht)) << n;
  for (size_t n = 0; n < ht.size(); n += (n < 64 || n + 64 > ht.size()) ? 1 : 61) {
    ASSERT_EQ(-1, ReadBytes(pbd, ht.substr(0, n))) << n;
  }

  // One field changed: the copy of `s` with the T at `at` set to v.
  auto with = [](std::string s, size_t at, auto v) {
    std::memcpy(&s[at], &v, sizeof v);
    return s;
  };
  size_t first_node = 12;  // the count of the first non-empty bucket
  while (At<uint32_t>(ht, first_node) == 0) first_node += 4;
  const struct {
    const char* what;
    std::string pbd, ht;
  } cases[] = {
      {"a second value column", with(pbd, 24, 2u), ht},
      {"a negative column count", with(pbd, 24, 0xffffffffu), ht},
      {"more entries than the file holds", with(pbd, 20, 0x7fffffffu), ht},
      {"non-empty without entries", with(pbd, 20, 0u), ht},
      {"an unknown value kind", with(pbd, 40, 'x'), ht},
      {"the first offset not 0", with(pbd, 1024, uint64_t{1}), ht},
      {"decreasing offsets", with(pbd, 1032, At<uint64_t>(pbd, 1040) + 1), ht},
      {"values beyond the file", with(pbd, 1048, At<uint64_t>(pbd, 1048) + 1), ht},
      {"values far beyond the file", with(pbd, 1048, ~uint64_t{0}), ht},
      {"a capacity not in the list", pbd, with(ht, 0, 1000u)},
      {"a list capacity with more buckets than the file", pbd, with(ht, 0, 3079u)},
      {"counts add up to more than size", pbd, with(ht, 4, 2u)},
      {"counts add up to less than size", pbd, with(ht, 4, 4u) + std::string(8, '\0')},
      {"a key offset outside the key area", pbd, with(ht, first_node + 8, At<uint32_t>(ht, 8))},
      {"the last key not ending in the area", pbd, with(ht, ht.size() - 1, 'z')},
      {"an empty key area", pbd, with(ht, 8, 0u)},
  };
  for (const auto& c : cases) EXPECT_EQ(-1, ReadBytes(c.pbd, c.ht)) << c.what;
}

}  // namespace
}  // namespace pbdict
}  // namespace kavo
