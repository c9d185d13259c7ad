// The builder converts lines on every core it may use. Whatever the number
// of cores, a build must look exactly like one line after another: the same
// two files, the same printed lines, the same log lines in the same order
// and the same status. Each case here is built twice, pinned to one core and
// spread over up to eight, and the two runs are compared byte for byte; the
// text load is also compared in-process. Run under ThreadSanitizer, these
// are the race checks of the conversion workers.
#include <sched.h>

#include <google/protobuf/stubs/logging.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "pbdict.h"
#include "schema_fixture.h"
#include "support/support.h"

namespace {

using kavo::pbdict::PbDict;
using kavo::pbdict::dset_parameter_t;
using testsupport::PinnedTo;
using testsupport::ProgramResult;
using testsupport::ReadFile;
using testsupport::RunProgram;
using testsupport::WriteFile;

// The 100,000-line dictionary: keys with values of several kinds, repeated
// keys, comments, empty lines, lines without a value, keys over the length
// limit, lines over the line limit and CRLF ends; with fail_at, that line's
// value is not JSON of the type.
std::string Generated(int fail_at = 0) {
  std::string text;
  text.reserve(9 << 20);
  for (int i = 1; i <= 100000; ++i) {
    const std::string n = std::to_string(i);
    if (i == fail_at) {
      text += "bad" + n + "\t{\"n\":\n";
    } else if (i % 997 == 0) {
      text += "# comment " + n + "\t{\"n\":1}\n";
    } else if (i % 1499 == 0) {
      text += "\n";
    } else if (i % 1777 == 0) {
      text += "lonely" + n + "\n";
    } else if (i % 4999 == 0) {
      text += std::string(10001, 'k') + "\t{\"n\":2}\n";
    } else if (i % 33331 == 0) {
      text += "huge" + n + "\t{\"s\":\"" + std::string(1024000, 'h') + "\"}\n";
    } else if (i % 333 == 0) {
      // The key of an earlier line, with another value.
      text += "Key" + std::to_string(i - 100) + "\t{\"n\":" + n + "}\r\n";
    } else {
      text += "Key" + n + "\t{\"n\":" + n + ",\"s\":\"value " + n + "\",\"list\":[" + n +
              ",2],\"inner\":{\"s\":\"in\"},\"flag\":" + (i % 2 ? "true" : "false") + "}\n";
    }
  }
  return text;
}

// The log with its time stamps taken out.
std::string Untimed(const std::string& log) {
  static const std::regex stamp("[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}");
  return std::regex_replace(log, stamp, "T");
}

struct Outcome {
  ProgramResult run;
  std::string pbd;  // without the write time at its start
  std::string ht;
};

class BuilderWorkers : public pbdict_test::DictTest {
 protected:
  void SetUp() override {
    DictTest::SetUp();
    WriteFile(dir_.file("s.proto"), pbdict_test::kSchema);
  }

  // Builds <dir>/d.txt into <dir>/<out>/ on `cores` cores.
  Outcome Build(int cores, const std::string& out, const std::vector<std::string>& extra) {
    const std::string out_dir = dir_.file(out);
    RunProgram({"/bin/mkdir", "-p", out_dir});
    std::vector<std::string> args = {testsupport::BinaryDir() + "/pbdict/pbdict-build",
                                     "-p", dir_.path(), "-n", "d.txt", "-P", out_dir,
                                     "-B", dir_.file("s.proto"), "-b", "t.V"};
    args.insert(args.end(), extra.begin(), extra.end());
    Outcome o;
    {
      PinnedTo pin(cores);
      o.run = RunProgram(args);
    }
    o.pbd = ReadFile(out_dir + "/d.txt.pbd");
    o.ht = ReadFile(out_dir + "/d.txt.ht");
    if (o.pbd.size() >= 16) o.pbd.erase(0, 16);
    o.run.err = Untimed(o.run.err);
    return o;
  }

  // Builds the text on one core and on up to eight; both must agree.
  void ExpectSameBuilds(const std::string& text, const std::vector<std::string>& extra,
                        int status, const std::string& name) {
    SCOPED_TRACE(name);
    WriteFile(dir_.file("d.txt"), text);
    const Outcome one = Build(1, "one-" + name, extra);
    const Outcome many = Build(8, "many-" + name, extra);
    EXPECT_EQ(status, one.run.status) << one.run.out << one.run.err;
    EXPECT_EQ(one.run.status, many.run.status);
    EXPECT_EQ(one.run.out, many.run.out);
    EXPECT_TRUE(one.run.err == many.run.err) << "logs differ:\n" << one.run.err.substr(0, 2000)
                                             << "\n---\n" << many.run.err.substr(0, 2000);
    EXPECT_TRUE(one.pbd == many.pbd) << "pbd files differ";
    EXPECT_TRUE(one.ht == many.ht) << "ht files differ";
  }
};

TEST_F(BuilderWorkers, SmallDictionariesAreBuiltAlike) {
  const std::string lines =
      "# comment\t{\"n\":100}\n"
      "crlf\t{\"n\":1}\r\n"
      "Dup\t{\"n\":2}\n"
      "dup\t{\"n\":3}\n"
      "\n"
      "lonely\n"
      "long\t{\"s\":\"" + std::string(1024000, 'z') + "\"}\n"
      "after\t{\"n\":4}\n"
      "last\t{\"n\":5}";
  const struct {
    const char* name;
    std::string text;
    std::vector<std::string> extra;
    int status;
  } cases[] = {
      {"lines", lines, {}, 0},
      {"fold", lines, {"-t", "1"}, 0},
      {"cut", lines, {"-m", "2"}, 2},
      {"cut-kept", lines, {"-m", "2", "-o", "0"}, 0},
      {"separators", "#k ;{\"n\":7}\nx;; {\"n\":8}\n", {"-s", " ;", "-#", "0"}, 0},
      {"empty", "# only a comment\t{}\n", {}, 0},
      {"bad-json", "a\t{\"n\":1}\nb\tnot json\nc\t{\"n\":2}\n", {}, 255},
  };
  for (const auto& c : cases) ExpectSameBuilds(c.text, c.extra, c.status, c.name);
}

TEST_F(BuilderWorkers, GeneratedDictionaryIsBuiltAlike) {
  const std::string text = Generated();
  ExpectSameBuilds(text, {}, 0, "whole");
  ExpectSameBuilds(text, {"-t", "1"}, 0, "fold");
  // The cut falls in the middle of a batch of lines; -o 1 fails the run
  // there, -o 0 keeps the lines before it.
  ExpectSameBuilds(text, {"-m", "54321"}, 2, "cut");
  ExpectSameBuilds(text, {"-m", "54321", "-o", "0"}, 0, "cut-kept");
  // One failing line near the end: every warning before it, nothing after.
  const std::string failing = Generated(99990);
  ExpectSameBuilds(failing, {}, 255, "failing");
}

// A line whose proto2 string is not UTF-8: protobuf logs a message of its
// own when it serialises the value. With wrong_kind, the line also gives a
// value of another kind, which the builder warns of.
std::string BadUtf8Line(int i, bool wrong_kind) {
  return "k" + std::to_string(i) + "\t{\"s\":\"\xff" + std::string(60, 'p') + "\"" +
         (wrong_kind ? ",\"n\":\"x\"" : "") + "}\n";
}

// The untimed log of a run, line by line.
std::vector<std::string> LogLines(const std::string& log) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < log.size()) {
    size_t end = log.find('\n', start);
    if (end == std::string::npos) end = log.size();
    lines.push_back(log.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// The library's own messages come with the line that caused them, after the
// builder's warnings for that line, in file order, and only for the lines
// the run takes: on one, two and every core the logs are the same.
TEST_F(BuilderWorkers, LibraryMessagesComeWithTheirLines) {
  const std::string protobuf_utf8 = "String field 't.V.s' contains invalid UTF-8 data";
  const std::string fatal = "FATAL: T:   * 0 protobuf parse error";
  // Bad JSON on line 1: the run stops there, whatever was converted ahead.
  std::string first = "k0\t{\"n\":\n";
  for (int i = 2; i <= 3000; ++i) first += BadUtf8Line(i, false);
  // Lines 1 to 1999 are taken, line 2000 fails, the rest are not taken.
  std::string later;
  for (int i = 1; i <= 3000; ++i) {
    later += i == 2000 ? "bad\tnot json\n" : BadUtf8Line(i, i % 3 == 0);
  }
  ASSERT_GT(later.size(), 3u * 64 * 1024);  // batches beyond the failing one

  const struct {
    const std::string* text;
    int taken;  // lines before the failing one
  } cases[] = {{&first, 0}, {&later, 1999}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.taken);
    WriteFile(dir_.file("d.txt"), *c.text);
    const Outcome one = Build(1, "one", {});
    const Outcome two = Build(2, "two", {});
    const Outcome all = Build(CPU_SETSIZE, "all", {});
    EXPECT_EQ(255, one.run.status);
    EXPECT_TRUE(one.run.err == two.run.err) << "logs differ:\n" << one.run.err.substr(0, 2000)
                                            << "\n---\n" << two.run.err.substr(0, 2000);
    EXPECT_TRUE(one.run.err == all.run.err) << "logs differ:\n" << one.run.err.substr(0, 2000)
                                            << "\n---\n" << all.run.err.substr(0, 2000);
    const std::vector<std::string> lines = LogLines(one.run.err);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(fatal, lines.back());
    // What each taken line logs: its warning, then the library's message.
    size_t at = 0;
    for (int i = 1; i <= c.taken; ++i) {
      const std::string warning =
          "]-line[" + std::to_string(i) + "]: optional field `t.V.n' passed over";
      if (i % 3 == 0 && (at >= lines.size() || lines[at++].find(warning) == std::string::npos)) {
        ADD_FAILURE() << "no warning for line " << i;
        break;
      }
      if (at >= lines.size() || lines[at++].find(protobuf_utf8) == std::string::npos) {
        ADD_FAILURE() << "no library message for line " << i;
        break;
      }
    }
    EXPECT_EQ(at + 1, lines.size()) << "lines logged after the failing line";
  }
}

// The library's own load, in this process: the dictionary read with the
// workers equals the one read on one core, entry for entry, log line for log
// line; also where the builder cannot go (a repeated key failing the load).
struct Loaded {
  int rc = 0;
  std::string log;
  std::unique_ptr<PbDict> dict;
};

TEST_F(BuilderWorkers, TextLoadInProcess) {
  const std::string path = dir_.file("g.txt");
  auto load = [&](int cores, const dset_parameter_t& param) {
    Loaded l;
    PinnedTo pin(cores);
    l.dict.reset(new PbDict(schema_.Prototype("t.V"), &param));
    testsupport::CaptureFd err(2);
    l.rc = l.dict->load(path.c_str());
    l.log = Untimed(err.Stop());
    return l;
  };
  // Loads on one core and on up to eight; *out keeps the second.
  auto same = [&](const dset_parameter_t& param, int rc, const char* name, Loaded* out) {
    SCOPED_TRACE(name);
    Loaded one = load(1, param);
    Loaded& many = *out;
    many = load(8, param);
    EXPECT_EQ(rc, one.rc);
    EXPECT_EQ(one.rc, many.rc);
    EXPECT_TRUE(one.log == many.log) << "logs differ";
    ASSERT_EQ(one.dict->line_num, many.dict->line_num);
    if (one.dict->pht != nullptr || many.dict->pht != nullptr) {
      EXPECT_EQ(1, kavo::pbdict::hash_is_equal(one.dict->pht, many.dict->pht));
    }
    for (int i = 0; i < one.dict->line_num; ++i) {
      ASSERT_EQ(*one.dict->item[i], *many.dict->item[i]) << "entry " << i;
    }
  };
  WriteFile(path, Generated());
  dset_parameter_t param;
  param.max_line = 200000;
  Loaded all, dedup, cut, failing;
  same(param, 0, "whole", &all);
  EXPECT_GT(all.dict->line_num, 90000);
  EXPECT_EQ("n: 233\ns: \"value 233\"\nlist: 233\nlist: 2\ninner {\n  s: \"in\"\n}\nflag: true\n",
            Lookup(all.dict.get(), "Key233"));
  // The first line of a repeated key keeps it.
  EXPECT_EQ("n: 199\ns: \"value 199\"\nlist: 199\nlist: 2\ninner {\n  s: \"in\"\n}\nflag: true\n",
            Lookup(all.dict.get(), "Key199"));
  // The first repeated key (line 333) fails the load; nothing after it.
  param.dedup = 1;
  same(param, -1, "dedup", &dedup);
  EXPECT_EQ(332, dedup.dict->line_num);
  EXPECT_EQ(std::string::npos, dedup.log.find("lonely")) << dedup.log;
  param.dedup = 0;
  param.max_line = 777;
  same(param, 2, "cut", &cut);
  WriteFile(path, Generated(99990));
  param.max_line = 200000;
  same(param, -1, "failing", &failing);
  EXPECT_NE(std::string::npos, failing.log.find("protobuf parse error"));
  EXPECT_EQ(std::string::npos, failing.log.find("line[99993]")) << "a line after the failure";
}

// What reached the handler a test put in place.
std::mutex g_logged_mu;
std::vector<std::string>* g_logged = nullptr;
void RecordLog(google::protobuf::LogLevel, const char*, int, const std::string& message) {
  std::lock_guard<std::mutex> lock(g_logged_mu);
  g_logged->push_back(message);
}

// The library's messages for the lines taken reach the handler that was in
// place before the load, which is in place again after it, also after two
// loads at once on two threads; with the library's logging off, the load
// prints none.
TEST_F(BuilderWorkers, TextLoadPassesLibraryMessagesOn) {
  const std::string path = dir_.file("u.txt");
  std::string text;
  for (int i = 1; i <= 3000; ++i) text += i == 2500 ? "bad\tnot json\n" : BadUtf8Line(i, false);
  WriteFile(path, text);
  std::vector<std::string> logged;
  g_logged = &logged;
  for (int cores : {1, CPU_SETSIZE}) {
    SCOPED_TRACE(cores);
    logged.clear();
    PinnedTo pin(cores);
    google::protobuf::LogHandler* const before = google::protobuf::SetLogHandler(&RecordLog);
    {
      testsupport::CaptureFd err(2);
      auto load = [&] {
        PbDict dict(schema_.Prototype("t.V"), nullptr);
        EXPECT_EQ(-1, dict.load(path.c_str()));
      };
      std::thread other(load);
      load();
      other.join();
      EXPECT_EQ(std::string::npos, err.Stop().find("libprotobuf"));
    }
    ASSERT_EQ(2u * 2499, logged.size());
    logged.clear();
    for (bool off : {false, true}) {
      PbDict dict(schema_.Prototype("t.V"), nullptr);
      testsupport::CaptureFd err(2);
      EXPECT_EQ(-1, dict.load(path.c_str()));
      const std::string log = err.Stop();
      EXPECT_NE(std::string::npos, log.find("protobuf parse error")) << off;
      EXPECT_EQ(std::string::npos, log.find("libprotobuf")) << off;
      // The handler in place after the load; logging off from here on.
      EXPECT_EQ(off ? nullptr : &RecordLog, google::protobuf::SetLogHandler(nullptr)) << off;
    }
    google::protobuf::SetLogHandler(before);
    ASSERT_EQ(2499u, logged.size());
    for (const std::string& m : logged) {
      ASSERT_NE(std::string::npos, m.find("String field 't.V.s' contains invalid UTF-8")) << m;
    }
  }
  g_logged = nullptr;
}

// A dictionary made without a value type loads a file without values and
// fails, without a crash, at the first value.
TEST_F(BuilderWorkers, TextLoadWithoutValueType) {
  const std::string path = dir_.file("n.txt");
  WriteFile(path, "# comment\t{}\n\n");
  PbDict empty(nullptr, nullptr);
  EXPECT_EQ(0, empty.load(path.c_str()));
  EXPECT_EQ(0, empty.line_num);
  WriteFile(path, "a\t{}\n");
  PbDict failing(nullptr, nullptr);
  testsupport::CaptureFd err(2);
  EXPECT_EQ(-1, failing.load(path.c_str()));
  EXPECT_NE(std::string::npos, err.Stop().find("protobuf parse error"));
}

}  // namespace
