// The text load of PbDict and its look-up.
#include "pbdict.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "schema_fixture.h"
#include "support/support.h"

namespace kavo {
namespace pbdict {
namespace {

using testsupport::CaptureFd;
using testsupport::WriteFile;

class TextLoad : public pbdict_test::DictTest {
 protected:
  // Loads `text` with the parameters into dict_; returns the load's result
  // and keeps what it logged in log_.
  int Load(const std::string& text, const dset_parameter_t* param = nullptr) {
    WriteFile(dir_.file("d.txt"), text);
    CaptureFd err(2);
    dict_.reset(new PbDict(schema_.Prototype("t.V"), param));
    int rc = dict_->load(dir_.file("d.txt").c_str());
    log_ = err.Stop();
    return rc;
  }

  // The "n" field of the key's message, or -1 when the key is not found.
  int N(const char* key) {
    auto m = schema_.New("t.V");
    if (dset_search_item(dict_.get(), key, m.get()) != 1) return -1;
    return m->GetReflection()->GetInt32(*m, m->GetDescriptor()->FindFieldByName("n"));
  }

  std::unique_ptr<PbDict> dict_;
  std::string log_;
};

TEST_F(TextLoad, LinesAndColumns) {
  ASSERT_EQ(0, Load("# a comment\t{\"n\":9}\n"
                    "onlykey\n"
                    "\r\n"
                    "\n"
                    "k\t\t{\"n\":1}\n"
                    "  x  {\"n\":2}  trailing text\n"
                    "crlf\t{\"n\":3}\r\n"
                    "last\t{\"n\":4}"));
  EXPECT_EQ(3, dict_->line_num);
  EXPECT_EQ(0, dict_->is_empty);
  EXPECT_EQ(0, dict_->load_type);
  EXPECT_EQ(1, N("k"));
  EXPECT_EQ(-1, N("x"));  // the default separator is a tab only
  EXPECT_EQ(3, N("crlf"));
  EXPECT_EQ(4, N("last"));
  EXPECT_EQ(-1, N("#"));
  EXPECT_NE(std::string::npos, log_.find("There is a line:[onlykey] with items less than expectation."));
  EXPECT_NE(std::string::npos, log_.find("line is empty or too long!"));
  EXPECT_EQ(std::string::npos, log_.find("a comment"));

  dset_parameter_t p;
  p.separator = " ,";
  p.comment_allowed = 0;
  ASSERT_EQ(0, Load("#c {\"n\":5}\n  x ,, {\"n\":2}  trailing\n", &p));
  EXPECT_EQ(5, N("#c"));
  EXPECT_EQ(2, N("x"));
}

TEST_F(TextLoad, MaxLine) {
  const std::string three = "a\t{\"n\":1}\nb\t{\"n\":2}\nc\t{\"n\":3}\n";
  dset_parameter_t p;
  p.max_line = 3;
  CaptureFd out(1);
  EXPECT_EQ(2, Load(three, &p));
  std::string printed = out.Stop();
  EXPECT_NE(std::string::npos, printed.find("the line_num reaches the maximum lines 3 that the dict "
                                            "allows, should break the loop and ingores the latter "
                                            "lines. err_if_overflow_maxline:1\n"));
  EXPECT_EQ(-1, dict_->load_type);
  EXPECT_EQ(1, dict_->parameter.overflow_max_line);

  p.max_line = 2;
  p.err_if_overflow_maxline = 0;
  EXPECT_EQ(0, Load(three, &p));
  EXPECT_EQ(2, dict_->line_num);
  EXPECT_EQ(2, N("b"));
  EXPECT_EQ(-1, N("c"));

  // A nonpositive max_line is refused and the default stays.
  p.max_line = 0;
  EXPECT_EQ(0, Load(three, &p));
  EXPECT_EQ(1000000, dict_->parameter.max_line);
  EXPECT_NE(std::string::npos,
            log_.find("Pass a nonpositive integer 0 when call dset_change_max_line()"));
}

TEST_F(TextLoad, DuplicateKeysAndCase) {
  const std::string dup = "k\t{\"n\":1}\nK\t{\"n\":2}\nk\t{\"n\":3}\n";
  ASSERT_EQ(0, Load(dup));
  EXPECT_EQ(3, dict_->line_num);
  EXPECT_EQ(1, N("k"));
  EXPECT_EQ(2, N("K"));

  dset_parameter_t p;
  p.tolower = 5;
  ASSERT_EQ(0, Load(dup, &p));
  EXPECT_EQ(1, dict_->parameter.tolower);
  EXPECT_EQ(1, N("k"));
  EXPECT_EQ(1, N("K"));

  p.dedup = 1;
  EXPECT_EQ(-1, Load(dup, &p));
  EXPECT_NE(std::string::npos, log_.find("Found duplicate key."));

  // Double-byte characters keep their second byte, even a capital letter.
  p.dedup = 0;
  ASSERT_EQ(0, Load("AB\xb0Z\t{\"n\":7}\n", &p));
  EXPECT_EQ(7, N("ab\xb0Z"));
  EXPECT_EQ(7, N("Ab\xb0Z"));
  EXPECT_EQ(-1, N("ab\xb0z"));
}

TEST_F(TextLoad, BadValuesFailTheLoad) {
  EXPECT_EQ(-1, Load("a\t{\"n\":1}\nb\t[1,2]\n"));
  EXPECT_NE(std::string::npos, log_.find("protobuf parse error"));
  EXPECT_EQ(-1, Load("a\t{\"n\":1}\nb\t{\"n\":\n"));

  // A required field left unset fails the line instead of aborting.
  WriteFile(dir_.file("r.txt"), "a\t{\"id\":1}\nb\t{\"inner\":{\"s\":\"x\"}}\n");
  PbDict req(schema_.Prototype("t.Req"), nullptr);
  CaptureFd err(2);
  EXPECT_EQ(-1, req.load(dir_.file("r.txt").c_str()));
  log_ = err.Stop();
  EXPECT_TRUE(log_.find("protobuf parse error") != std::string::npos ||
              log_.find("protobuf parse to string error") != std::string::npos);
}

TEST_F(TextLoad, LongLines) {
  // "k", a tab, the value and the newline fill the buffer but for its NUL.
  const std::string value = "{\"s\":\"" + std::string(1023999 - 3 - 8, 'y') + "\"}";
  ASSERT_EQ(1023999u, 2 + value.size() + 1);
  ASSERT_EQ(0, Load("k\t" + value + "\nnext\t{\"n\":1}\n"));
  EXPECT_EQ(2, dict_->line_num);
  // One byte more and the line is dropped whole, the next line still loads.
  ASSERT_EQ(0, Load("k\t" + value + " \nnext\t{\"n\":1}\n"));
  EXPECT_EQ(1, dict_->line_num);
  EXPECT_EQ(1, N("next"));
  EXPECT_EQ(-1, N("k"));
  EXPECT_NE(std::string::npos, log_.find("line is empty or too long!"));
  // A last line without newline is kept, cut to the buffer: here the cut
  // falls in the ignored text after the value.
  ASSERT_EQ(0, Load("next\t{\"n\":1}\nk\t{\"n\":6}\t" + std::string(1100000, 'z')));
  EXPECT_EQ(2, dict_->line_num);
  EXPECT_EQ(6, N("k"));
}

TEST_F(TextLoad, EmptyAndUnreadable) {
  ASSERT_EQ(0, Load("# only a comment\n\n"));
  EXPECT_EQ(0, dict_->line_num);
  EXPECT_EQ(1, dict_->is_empty);
  EXPECT_EQ(-1, dict_->load_type);
  EXPECT_EQ(nullptr, dict_->pht);
  EXPECT_EQ(nullptr, dict_->item);
  EXPECT_EQ(-1, N("x"));

  PbDict d(schema_.Prototype("t.V"), nullptr);
  CaptureFd err(2);
  EXPECT_EQ(-1, d.load(dir_.file("missing").c_str()));
  // A read error (here: the path is a directory) is not the end of a file.
  PbDict d2(schema_.Prototype("t.V"), nullptr);
  EXPECT_EQ(-1, d2.load(dir_.path().c_str()));
  // A FIFO is refused at once, not waited on for a writer.
  ASSERT_EQ(0, mkfifo(dir_.file("fifo").c_str(), 0600));
  EXPECT_EQ(0, testsupport::RunInChild([&] {
              alarm(5);  // a load that waits is killed, not waited on
              PbDict d3(schema_.Prototype("t.V"), nullptr);
              return d3.load(dir_.file("fifo").c_str()) == -1 ? 0 : 1;
            }));
  EXPECT_EQ(-1, dset_load(nullptr, "x"));
  EXPECT_EQ(-1, dset_load(&d, nullptr));
  log_ = err.Stop();
  EXPECT_NE(std::string::npos, log_.find("Can't open dict file"));
  EXPECT_NE(std::string::npos, log_.find("Pass a NULL dict when call function dset_load()."));
}

TEST_F(TextLoad, SearchArgumentsAndLoadedOnce) {
  ASSERT_EQ(0, Load("a\t{\"n\":1,\"list\":[1,2],\"inner\":{\"s\":\"q\"},\"m\":{\"x\":1}}\n"));
  auto m = schema_.New("t.V");
  CaptureFd err(2);
  EXPECT_EQ(-1, dset_search_item(dict_.get(), "a", nullptr));
  EXPECT_EQ(-1, dset_search_item(nullptr, "a", m.get()));
  EXPECT_EQ(-1, dset_search_item(dict_.get(), nullptr, m.get()));
  log_ = err.Stop();
  EXPECT_NE(std::string::npos,
            log_.find("Pass a NULL found_item when call function dset_search_item()."));
  EXPECT_EQ(0, dset_search_item(dict_.get(), "b", m.get()));
  EXPECT_EQ("n: 1\nlist: 1\nlist: 2\ninner {\n  s: \"q\"\n}\nm {\n  key: \"x\"\n  value: 1\n}\n",
            Lookup(dict_.get(), "a"));
  EXPECT_EQ(0, find_line(dict_.get(), "a"));
  EXPECT_EQ(-1, find_line(dict_.get(), "b"));
  EXPECT_EQ(-1, find_line(nullptr, "a"));

  // A dictionary is loaded once: a second load fails and changes nothing.
  WriteFile(dir_.file("e.txt"), "b\t{\"n\":2}\n");
  CaptureFd err2(2);
  EXPECT_EQ(-1, dict_->load(dir_.file("e.txt").c_str()));
  err2.Stop();
  EXPECT_EQ(1, N("a"));
  EXPECT_EQ(-1, N("b"));
}

// A proto3 string that is not UTF-8 fails its line, as protobuf would refuse
// to read the value back; a stored value that does not parse is no answer.
TEST_F(TextLoad, ValuesThatWouldNotReadBackAreRefused) {
  pbdict_test::Schema p3(R"(syntax = "proto3"; package q; message W { string s = 1; int32 n = 2; })");
  ASSERT_TRUE(p3.ok()) << p3.error();
  WriteFile(dir_.file("p3.txt"), "a\t{\"s\":\"ok\"}\nb\t{\"s\":\"\xff\xfe\"}\n");
  PbDict d(p3.Prototype("q.W"), nullptr);
  CaptureFd err(2);
  EXPECT_EQ(-1, d.load(dir_.file("p3.txt").c_str()));
  EXPECT_NE(std::string::npos, err.Stop().find("protobuf parse error"));

  ASSERT_EQ(0, Load("a\t{\"n\":1}\nb\t{\"n\":2}\n"));
  // Damage entry 1's bytes: a field number 0 never parses.
  *dict_->item[1] = std::string("\x00\x01", 2);
  auto m = schema_.New("t.V");
  CaptureFd err2(2);
  EXPECT_EQ(-1, dset_search_item(dict_.get(), "b", m.get()));
  EXPECT_NE(std::string::npos, err2.Stop().find("does not parse"));
  EXPECT_EQ(1, N("a"));
}

// Keys longer than the key table's limit are refused whole, never cut: two
// such keys do not collide, and neither their prefix nor they answer.
TEST_F(TextLoad, KeysOverTheLimitAreSkipped) {
  const std::string at_limit(kMaxKeyLength, 'k');
  const std::string over1 = at_limit + "1", over2 = at_limit + "2";
  ASSERT_EQ(0, Load(over1 + "\t{\"n\":1}\n" + over2 + "\t{\"n\":2}\nshort\t{\"n\":3}\n"));
  EXPECT_EQ(1, dict_->line_num);
  EXPECT_NE(std::string::npos,
            log_.find("-line[1]: the key is longer than 10000 bytes, line skipped!"));
  EXPECT_NE(std::string::npos,
            log_.find("-line[2]: the key is longer than 10000 bytes, line skipped!"));
  EXPECT_EQ(-1, N(over1.c_str()));
  EXPECT_EQ(-1, N(over2.c_str()));
  EXPECT_EQ(-1, N(at_limit.c_str()));
  EXPECT_EQ(3, N("short"));
  // A key of exactly the limit is kept and found; one byte more is not it.
  ASSERT_EQ(0, Load(at_limit + "\t{\"n\":4}\n"));
  EXPECT_EQ(4, N(at_limit.c_str()));
  EXPECT_EQ(-1, N(over1.c_str()));
}

TEST(Setters, NullDictAndValues) {
  CaptureFd err(2);
  EXPECT_EQ(-1, dset_change_max_line(nullptr, 5));
  EXPECT_EQ(-1, dset_change_tolower(nullptr, 1));
  EXPECT_EQ(-1, dset_change_dedup(nullptr, 1));
  EXPECT_EQ(-1, dset_change_separator(nullptr, ","));
  EXPECT_EQ(-1, dset_change_temp_path(nullptr, "/"));
  EXPECT_EQ(-1, dset_change_err_if_overflow_maxline(nullptr, 1));
  EXPECT_EQ(-1, init_dictset(nullptr));
  std::string log = err.Stop();
  EXPECT_NE(std::string::npos, log.find("Pass a NULL dict when call dset_change_max_line()"));
  EXPECT_NE(std::string::npos, log.find("Pass a NULL dict when call functiondset_change_dedup()"));

  PbDict d(nullptr, nullptr);
  EXPECT_EQ(1000000, d.parameter.max_line);
  EXPECT_EQ(0, dset_change_separator(&d, nullptr));
  EXPECT_STREQ("\t", d.parameter.separator);
  EXPECT_EQ(0, dset_change_err_if_overflow_maxline(&d, 0));
  EXPECT_EQ(0, d.parameter.err_if_overflow_maxline);
  EXPECT_EQ(0, dset_change_dedup(&d, -3));
  EXPECT_EQ(1, d.parameter.dedup);
  EXPECT_EQ('b', d.format[0]);
  EXPECT_EQ('s', d.key_format);
  EXPECT_EQ(1, d.item_offset[1]);
}

}  // namespace
}  // namespace pbdict
}  // namespace kavo
