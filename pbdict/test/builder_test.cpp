// Runs the pbdict-build program and checks what it prints and its status.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "dict_files.h"
#include "pbdict.h"
#include "schema_fixture.h"
#include "support/support.h"

namespace {

using kavo::pbdict::PbDict;
using pbdict_test::DecodeDictFiles;
using pbdict_test::DictFiles;
using pbdict_test::Schema;
using testsupport::CaptureFd;
using testsupport::FileExists;
using testsupport::ProgramResult;
using testsupport::ReadFile;
using testsupport::RunProgram;
using testsupport::TempDir;
using testsupport::WriteFile;

const char kHelp[] =
    "\nUsage:\n"
    "\t-n  input text dict file name, necessary\n"
    "\t-N  output binary dict file name, default: =above\n"
    "\t-p  the path where stores the text dict file, necessary\n"
    "\t-P  the path where to create and store the binary dict file\n"
    "\t-B  the file name (with path) of the .proto file, necessary\n"
    "\t-b  the message name, format: \"package.message\", necessary\n"
    "\n"
    "\t-d  return error or save the first key when find duplicate keys: default 0, means the the "
    "latter\n"
    "\t-m  the number of the maxline that the dict allows, [optional] default:100w\n"
    "\t-o  return error or not when line of txt-file > maxline, [optional] default:1,means error\n"
    "\t-s  the separator among items of a line, default \"\\t\" \n"
    "\t-t  whether convert the characters to lower form when dset_load(): [optional] default 0, "
    "means don't covert \n"
    "\t-#  allow comment or not. 1:allowed(default), 0:not allowed\n"
    "\t-v  print the version\n"
    "\t-h  print this help message\n"
    "\n";

const char kWrong[] = "you input wrong options, please see help!\n";
const char kNotEnough[] =
    "It receives not enough necessary options or wrong options, please see help!\n";

std::string Builder() { return testsupport::BinaryDir() + "/pbdict/pbdict-build"; }

ProgramResult RunBuilder(std::vector<std::string> args, const std::string& cwd = "") {
  args.insert(args.begin(), Builder());
  return RunProgram(args, cwd);
}

std::string Header(const std::string& path, const std::string& name) {
  return "path[" + path + "]\nfilename[" + name + "]\nformat[%s%b]\n";
}

TEST(BuilderOptions, StatusAndOutput) {
  const std::string wrong = std::string(kWrong) + kHelp, missing = std::string(kNotEnough) + kHelp;
  const struct {
    std::vector<std::string> args;
    int status;
    std::string out;
  } cases[] = {
      {{"-h"}, 0, kHelp},
      {{"-h", "-x"}, 0, kHelp},           // -h acts at once, before later wrong options
      {{"-x"}, 255, wrong},               // unknown
      {{"-d", "1", "-h"}, 255, wrong},    // listed in the help, but not an option; before -h
      {{"-p", "d", "-n"}, 255, wrong},    // missing argument
      {{}, 255, missing},
      {{"-n", "f", "-B", "x.proto", "-b", "t.V"}, 255, missing},
      {{"-p", "d", "-B", "x.proto", "-b", "t.V"}, 255, missing},
      {{"-p", "d", "-n", "f", "-b", "t.V"}, 255, missing},
      {{"-p", "d", "-n", "f", "-B", "x.proto", "-P", "o", "-N", "b"}, 255, missing},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    ProgramResult r = RunBuilder(c.args);
    EXPECT_EQ(c.status, r.status);
    EXPECT_EQ(c.out, r.out);
    if (c.out == wrong) {
      EXPECT_FALSE(r.err.empty());  // the option parser's own diagnostic
    }
  }

  // -v prints the revision and the compiler's build date and time; it acts
  // at once: the missing required options are never checked.
  for (const std::vector<std::string>& args : {std::vector<std::string>{"-v"}, {"-v", "-p", "x"}}) {
    ProgramResult r = RunBuilder(args);
    EXPECT_EQ(0, r.status);
    EXPECT_TRUE(std::regex_match(
        r.out, std::regex(" Version\t: [^\n]+\n Built date\t: [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4} "
                          "[0-9]{2}:[0-9]{2}:[0-9]{2}\n")))
        << r.out;
  }
}

TEST(BuilderInput, TextFileChecks) {
  TempDir dir;
  ASSERT_EQ(0, mkdir(dir.file("sub").c_str(), 0755));
  const std::string longname(300, 'n');  // the path does not fit 256 bytes: refused, not cut
  const std::pair<std::string, std::string> cases[] = {
      {"missing.txt", "the file " + dir.path() + "/missing.txt is not exist!\n"},
      {"sub", "the file " + dir.path() + "/sub is not a regular file!\n"},
      {longname, "the file path " + dir.path() + "/" + longname + " is too long!\n"},
  };
  for (const auto& c : cases) {
    ProgramResult r = RunBuilder({"-p", dir.path(), "-n", c.first, "-B", "x.proto", "-b", "t.V"});
    EXPECT_EQ(255, r.status) << c.second;
    EXPECT_EQ(Header(dir.path(), c.first) + c.second, r.out);
  }
}

TEST(BuilderInput, SchemaImport) {
  TempDir dir;
  WriteFile(dir.file("d.txt"), "");
  ASSERT_EQ(0, mkdir(dir.file("a").c_str(), 0755));
  ASSERT_EQ(0, mkdir(dir.file("a/b").c_str(), 0755));
  WriteFile(dir.file("a/b/c.proto"), pbdict_test::kSchema);
  WriteFile(dir.file("bad.proto"), "syntax = \"proto2\";\nmessage {\n");

  // Builds d.txt in dir (or in `p`) with the schema file and type, from the folder cwd.
  auto run = [&](const std::string& proto, const std::string& type, const std::string& cwd = "",
                 const std::string& p = "") {
    return RunBuilder({"-p", p.empty() ? dir.path() : p, "-n", "d.txt", "-B", proto, "-b", type},
                      cwd.empty() ? dir.path() : cwd);
  };
  for (const std::string proto : {"nothere.proto", "bad.proto"}) {
    ProgramResult r = run(proto, "t.V");
    EXPECT_EQ(255, r.status) << proto;
    EXPECT_EQ(Header(dir.path(), "d.txt") + "loading proto file failed: " + proto + "\n", r.out);
  }

  // The path is split at its first '/': "a/b/c.proto" imports "b/c.proto"
  // under "a/"; an absolute path imports the rest under "/".
  ProgramResult r = run("a/b/c.proto", "t.Nope");
  EXPECT_EQ(255, r.status);
  EXPECT_EQ(Header(dir.path(), "d.txt") +
                "proto message type not found: t.Nope\nNote that the format is "
                "\"package.message\".\n",
            r.out);

  for (const std::string& proto : {std::string("a/b/c.proto"), dir.file("a/b/c.proto")}) {
    r = run(proto, "V");
    EXPECT_EQ(255, r.status);
    EXPECT_NE(std::string::npos, r.out.find("proto message type not found: V\n")) << proto;
    r = run(proto, "t.V");
    EXPECT_EQ(std::string::npos, r.out.find("loading proto file failed")) << proto;
    EXPECT_EQ(std::string::npos, r.out.find("not found")) << proto;
  }

  // Without a '/', the file comes from the current directory.
  WriteFile(dir.file("a/top.proto"), pbdict_test::kSchema);
  r = run("top.proto", "t.V", dir.file("a"), "..");
  EXPECT_EQ(std::string::npos, r.out.find("loading proto file failed")) << r.out;
  EXPECT_EQ(std::string::npos, r.out.find("not found")) << r.out;
  r = run("top.proto", "t.V", dir.path(), ".");
  EXPECT_EQ(Header(".", "d.txt") + "loading proto file failed: top.proto\n", r.out);
}

std::string Success(const std::string& path, const std::string& name, const std::string& bin) {
  return Header(path, name) + "[1] build dict " + name +
         " success, dump binary dict to file!\n[2] dump binary dict " + bin +
         " success!\n[3] dict " + bin + " loads successfully.\n[5] Return:0\n";
}

// What a run prints when its binary dictionary is not put in place; `more`
// comes between its "[2]" and "[5]" lines.
std::string DumpFailure(const std::string& path, const std::string& name, const std::string& bin,
                        const std::string& more = "") {
  return Header(path, name) + "[1] build dict " + name +
         " success, dump binary dict to file!\n[2] dump binary dict " + bin + " failure!\n" + more +
         "[5] Return:-1\n";
}

// A text dictionary and its schema in a temporary folder, built with
// pbdict-build; the files it writes are decoded by their layout and read
// back with the dictionary's loader.
class Build : public pbdict_test::DictTest {
 protected:
  void SetUp() override {
    DictTest::SetUp();
    WriteFile(dir_.file("s.proto"), pbdict_test::kSchema);
  }

  // Writes `text` as <dir>/<name> and builds it.
  ProgramResult Run(const std::string& text, std::vector<std::string> extra = {},
                    const std::string& name = "d.txt", const std::string& proto = "s.proto",
                    const std::string& type = "t.V") {
    WriteFile(dir_.file(name), text);
    std::vector<std::string> args = {"-p", dir_.path(), "-n", name, "-B", dir_.file(proto), "-b", type};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunBuilder(args);
  }

  // Run(), expecting success, then Files(); last_ keeps what the program printed.
  ::testing::AssertionResult Built(const std::string& text, const std::vector<std::string>& extra = {},
                                   const std::string& name = "d.txt", const std::string& proto = "s.proto",
                                   const std::string& type = "t.V", Schema* schema = nullptr) {
    last_ = Run(text, extra, name, proto, type);
    if (last_.status != 0 || last_.out != Success(dir_.path(), name, name)) {
      return ::testing::AssertionFailure() << "status " << last_.status << ", printed:\n"
                                           << last_.out << last_.err;
    }
    return Files(name, schema, type);
  }

  // Decodes "<dir>/<name>.pbd|ht" into files_ and loads them into dict_;
  // the loader must find every key's message as the files hold it.
  ::testing::AssertionResult Files(const std::string& name = "d.txt", Schema* schema = nullptr,
                                   const std::string& type = "t.V") {
    schema_used_ = schema != nullptr ? schema : &schema_;
    type_ = type;
    ::testing::AssertionResult decoded = DecodeDictFiles(
        ReadFile(dir_.file(name + ".pbd")), ReadFile(dir_.file(name + ".ht")), &files_);
    if (!decoded) return decoded;
    dict_.reset(new PbDict(schema_used_->Prototype(type), nullptr));
    CaptureFd err(2);
    if (dict_->binary_load(dir_.path().c_str(), name.c_str()) != 0) {
      return ::testing::AssertionFailure() << "binary_load of " << name << ": " << err.Stop();
    }
    for (const auto& entry : files_.keys) {
      if (Found(entry.first) != Message(entry.first)) {
        return ::testing::AssertionFailure() << "the loader reads key " << entry.first << " as "
                                             << Found(entry.first);
      }
    }
    return ::testing::AssertionSuccess();
  }

  // Entry i's message as the files hold it, in text form.
  std::string Value(size_t i) {
    auto m = schema_used_->New(type_);
    return m->ParseFromString(files_.values.at(i)) ? Schema::Text(*m) : "<unparsable>";
  }
  // The key's message as the files hold it.
  std::string Message(const std::string& key) {
    auto it = files_.keys.find(key);
    return it == files_.keys.end() ? "<absent>" : Value(it->second);
  }
  // The key's message as the loaded dictionary answers it.
  std::string Found(const std::string& key) { return Lookup(dict_.get(), key, schema_used_, type_); }

  Schema* schema_used_ = &schema_;
  std::string type_ = "t.V";
  ProgramResult last_;
  DictFiles files_;
  std::unique_ptr<PbDict> dict_;
};

TEST_F(Build, OneEntry) {
  ASSERT_TRUE(Built("a\t{\"a\":\"x\"}\n"));
  EXPECT_EQ("a: \"x\"\n", Message("a"));
  // Without -P and -N the files go beside the text file, named after it.
  const std::string pbd = ReadFile(dir_.file("d.txt.pbd")), ht = ReadFile(dir_.file("d.txt.ht"));
  ASSERT_NO_FATAL_FAILURE(pbdict_test::ExpectOneEntryFiles(pbd, ht, &files_));

  // -P and -N name the output.
  ASSERT_EQ(0, mkdir(dir_.file("out").c_str(), 0755));
  ProgramResult r = Run("a\t{\"a\":\"x\"}\n", {"-P", dir_.file("out"), "-N", "bin"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(Success(dir_.path(), "d.txt", "bin"), r.out);
  EXPECT_EQ(pbd.substr(16), ReadFile(dir_.file("out/bin.pbd")).substr(16));
  EXPECT_EQ(ht, ReadFile(dir_.file("out/bin.ht")));
}

TEST_F(Build, EmptyDictionary) {
  // No usable line; and, with an empty -s, every line is one column.
  for (const std::vector<std::string>& extra :
       {std::vector<std::string>{}, std::vector<std::string>{"-s", ""}}) {
    SCOPED_TRACE(extra.size());
    ASSERT_TRUE(Built(extra.empty() ? "# comment\n\n\r\nonlykey\n" : "a\t{}\n", extra));
    EXPECT_TRUE(FileExists(dir_.file("d.txt.ht")));
    EXPECT_EQ(1, files_.is_empty);  // with a 1024-byte "pbd" and an empty "ht"
    EXPECT_EQ("<absent>", Found("a"));
  }
}

TEST_F(Build, MaxLine) {
  const std::string text = "a\t{\"n\":1}\nb\t{\"n\":2}\nc\t{\"n\":3}\n";
  ProgramResult r = Run(text, {"-m", "2"});
  EXPECT_EQ(2, r.status);
  EXPECT_EQ(Header(dir_.path(), "d.txt") + "dictname:[" + dir_.file("d.txt") +
                "] the line_num reaches the maximum lines 2 that the dict allows, should break "
                "the loop and ingores the latter lines. err_if_overflow_maxline:1\n"
                "FATAL: txt file line > dictset->maxline. please use -m specify the maxline "
                "number.\n[5] Return:2\n",
            r.out);
  EXPECT_FALSE(FileExists(dir_.file("d.txt.pbd")));
  EXPECT_FALSE(FileExists(dir_.file("d.txt.ht")));

  ASSERT_TRUE(Built(text, {"-m", "2", "-o", "0"}));
  EXPECT_EQ(2, files_.line_num);
  EXPECT_EQ(2, files_.max_line);
  EXPECT_EQ((std::map<std::string, uint32_t>{{"a", 0}, {"b", 1}}), files_.keys);
  EXPECT_EQ("n: 2\n", Message("b"));

  // A nonpositive -m keeps the default of 1000000.
  ASSERT_TRUE(Built(text, {"-m", "-5"}));
  EXPECT_EQ(1000000, files_.max_line);
  EXPECT_EQ(3, files_.line_num);
}

TEST_F(Build, LinesKeysAndSeparators) {
  std::string text =
      "# comment\t{\"n\":100}\n"
      "crlf\t{\"n\":1}\r\n"
      "Dup\t{\"n\":2}\n"
      "dup\t{\"n\":3}\n"
      "long\t{\"s\":\"" + std::string(1024000, 'z') + "\"}\n"
      "after\t{\"n\":4}\n"
      "last\t{\"n\":5}";
  ASSERT_TRUE(Built(text));
  EXPECT_NE(std::string::npos, last_.err.find("line is empty or too long!"));
  EXPECT_EQ(5, files_.line_num);
  EXPECT_EQ((std::map<std::string, uint32_t>{
                {"crlf", 0}, {"Dup", 1}, {"dup", 2}, {"after", 3}, {"last", 4}}),
            files_.keys);
  EXPECT_EQ("n: 1\n", Message("crlf"));
  EXPECT_EQ("n: 3\n", Message("dup"));
  EXPECT_EQ("n: 5\n", Message("last"));

  // -t 1 folds keys at load and at look-up: the first of "Dup"/"dup" wins,
  // and the second keeps an entry that no key reaches.
  ASSERT_TRUE(Built(text, {"-t", "1"}));
  EXPECT_EQ(1, files_.tolower);
  EXPECT_EQ(5, files_.line_num);
  EXPECT_EQ((std::map<std::string, uint32_t>{{"crlf", 0}, {"dup", 1}, {"after", 3}, {"last", 4}}),
            files_.keys);
  EXPECT_EQ("n: 3\n", Value(2));
  EXPECT_EQ("n: 2\n", Found("dup"));
  EXPECT_EQ("n: 2\n", Found("DUP"));

  // Several separator characters; -# 0 makes "#..." an ordinary key.
  ASSERT_TRUE(Built("#k ;{\"n\":7}\nx;; {\"n\":8}\n", {"-s", " ;", "-#", "0"}));
  EXPECT_EQ(0, files_.comment_allowed);
  EXPECT_EQ("n: 7\n", Message("#k"));
  EXPECT_EQ("n: 8\n", Message("x"));
}

TEST_F(Build, FieldKinds) {
  ASSERT_TRUE(Built(
      "k\t{\"a\":\"raw\\u0001bytes\",\"n\":-3,\"s\":\"text\",\"list\":[1,2,3],"
      "\"inner\":{\"s\":\"in\",\"r\":[4]},\"color\":\"BLUE\",\"m\":{\"x\":1,\"y\":2},"
      "\"d\":1.5,\"flag\":true}\n"
      "e\t{\"color\":1}\n"));
  EXPECT_EQ(
      "a: \"raw\\001bytes\"\nn: -3\ns: \"text\"\nlist: 1\nlist: 2\nlist: 3\ninner {\n  s: "
      "\"in\"\n  r: 4\n}\ncolor: BLUE\nm {\n  key: \"x\"\n  value: 1\n}\nm {\n  key: \"y\"\n"
      "  value: 2\n}\nd: 1.5\nflag: true\n",
      Message("k"));
  EXPECT_EQ("color: GREEN\n", Message("e"));
  EXPECT_EQ(std::string("\x30\x01", 2), files_.values[1]);
}

// The warning lines of a run, without their time stamps.
std::vector<std::string> Warnings(const std::string& log) {
  static const std::regex head("^WARNING: [0-9]{2}-[0-9]{2} [0-9:]{8}: +\\S* \\* [0-9]+ ");
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < log.size()) {
    size_t end = log.find('\n', start);
    if (end == std::string::npos) end = log.size();
    const std::string line = log.substr(start, end - start);
    if (line.compare(0, 9, "WARNING: ") == 0) lines.push_back(std::regex_replace(line, head, ""));
    start = end + 1;
  }
  return lines;
}

// An optional field given a value of another kind is passed over: the entry
// is stored without it, and each such value gets one warning naming the
// file, the line and the field.
TEST_F(Build, WrongKindValuesArePassedOverWithAWarning) {
  ASSERT_TRUE(Built(
      "a\t{\"n\":\"1\",\"s\":\"kept\"}\n"
      "b\t{\"n\":1.5}\n"
      "c\t{\"n\":3000000000}\n"
      "d\t{\"s\":5,\"n\":5}\n"
      "e\t{\"color\":\"PINK\"}\n"
      "# comment\t{\"n\":\"skipped with the line\"}\n"
      "f\t{\"n\":\"x\",\"s\":7,\"flag\":1}\n"
      "g\t{\"m\":{\"x\":\"y\",\"z\":3}}\n"
      // A value holding a line end and a NUL: still one warning, on one line.
      "h\t{\"d\":\"one\\ntwo\\u0000three\"}\n"
      // A value longer than a log line: the line is cut, the field named.
      "i\t{\"n\":\"" + std::string(3000, 'x') + "\"}\n"));
  const std::string at = "dict-set:[" + dir_.file("d.txt") + "]-line[";
  std::vector<std::string> warnings = Warnings(last_.err);
  ASSERT_EQ(11u, warnings.size()) << last_.err;
  const std::string cut = warnings.back();
  warnings.pop_back();
  EXPECT_EQ(0u, cut.find(at + "10]: optional field `t.V.n' passed over: Invalid value `\"xxx"));
  EXPECT_LT(cut.size(), 2048u);
  EXPECT_EQ((std::vector<std::string>{
                at + "1]: optional field `t.V.n' passed over: Invalid value `\"1\"' for optional "
                     "field `t.V.n' which SHOULD be INT32",
                at + "2]: optional field `t.V.n' passed over: Invalid value `1.500000' for optional "
                     "field `t.V.n' which SHOULD be INT32",
                at + "3]: optional field `t.V.n' passed over: Invalid value `3000000000' for "
                     "optional field `t.V.n' which SHOULD be INT32",
                at + "4]: optional field `t.V.s' passed over: Invalid value `5' for optional field "
                     "`t.V.s' which SHOULD be string",
                at + "5]: optional field `t.V.color' passed over: Invalid value `\"PINK\"' for "
                     "optional field `t.V.color' which SHOULD be enum",
                at + "7]: optional field `t.V.n' passed over: Invalid value `\"x\"' for optional "
                     "field `t.V.n' which SHOULD be INT32",
                at + "7]: optional field `t.V.s' passed over: Invalid value `7' for optional field "
                     "`t.V.s' which SHOULD be string",
                at + "7]: optional field `t.V.flag' passed over: Invalid value `1' for optional "
                     "field `t.V.flag' which SHOULD be BOOL",
                at + "8]: optional field `t.V.MEntry.value' passed over: Invalid value `\"y\"' for "
                     "optional field `t.V.MEntry.value' which SHOULD be INT32",
                at + "9]: optional field `t.V.d' passed over: Invalid value `\"one\\x0atwo\\x00"
                     "three\"' for optional field `t.V.d' which SHOULD be d",
            }),
            warnings);
  EXPECT_EQ("s: \"kept\"\n", Message("a"));
  for (const char* key : {"b", "c", "e", "f", "h", "i"}) EXPECT_EQ("", Message(key)) << key;
  EXPECT_EQ("n: 5\n", Message("d"));
  // The map entry keeps its key, with the value's default.
  EXPECT_EQ("m {\n  key: \"x\"\n  value: 0\n}\nm {\n  key: \"z\"\n  value: 3\n}\n", Message("g"));
  EXPECT_EQ("", Found("e"));  // found, without the field
}

TEST_F(Build, Proto3Schema) {
  const char kProto3[] =
      "syntax = \"proto3\";\npackage q;\nmessage In { string s = 1; }\n"
      "message W { int32 count = 1; repeated string tags = 2; In in = 3; "
      "map<string, In> m = 4; bytes b = 5; }\n";
  WriteFile(dir_.file("p3.proto"), kProto3);
  Schema p3(kProto3);
  ASSERT_TRUE(p3.ok());
  // Every value here serialises to 0 bytes: the dictionary still reads back.
  ASSERT_TRUE(Built("a\t{\"count\":0}\nb\t{}\n", {}, "z.txt", "p3.proto", "q.W", &p3));
  EXPECT_EQ(1024u + 24, ReadFile(dir_.file("z.txt.pbd")).size());
  EXPECT_EQ((std::vector<std::string>{"", ""}), files_.values);
  EXPECT_EQ("", Found("a"));

  ASSERT_TRUE(Built("k\t{\"count\":9,\"tags\":[\"a\",\"b\"],\"in\":{\"s\":\"x\"},"
                    "\"m\":{\"q\":{\"s\":\"y\"}},\"b\":\"zz\"}\n",
                    {}, "w.txt", "p3.proto", "q.W", &p3));
  EXPECT_EQ("count: 9\ntags: \"a\"\ntags: \"b\"\nin {\n  s: \"x\"\n}\nm {\n  key: \"q\"\n  value {\n"
            "    s: \"y\"\n  }\n}\nb: \"zz\"\n",
            Message("k"));
}

TEST_F(Build, Failures) {
  const std::string fail = Header(dir_.path(), "d.txt") +
                           "FATAL: build binary dict error.\n[5] Return:-1\n";
  ProgramResult r = Run("a\t{\"n\":1}\nb\tnot json\n");
  EXPECT_EQ(255, r.status);
  EXPECT_EQ(fail, r.out);
  EXPECT_NE(std::string::npos, r.err.find("protobuf parse error"));
  EXPECT_FALSE(FileExists(dir_.file("d.txt.pbd")));

  // A value without its required field fails the line; nothing aborts.
  r = Run("a\t{\"inner\":{\"s\":\"x\"}}\n", {}, "d.txt", "s.proto", "t.Req");
  EXPECT_EQ(255, r.status);
  EXPECT_EQ(fail, r.out);
}

TEST_F(Build, NeverWritesOverTheInputOrThroughALink) {
  // -N naming the text file itself (by name, or through a hard link).
  const std::string text = "a\t{\"n\":1}\n";
  ProgramResult r = Run(text, {"-N", "d"}, "d.pbd");
  EXPECT_EQ(255, r.status);
  EXPECT_NE(std::string::npos, r.out.find("the output file " + dir_.file("d.pbd") +
                                          " is the input file " + dir_.file("d.pbd") + "!"))
      << r.out;
  EXPECT_EQ(text, ReadFile(dir_.file("d.pbd")));
  EXPECT_FALSE(FileExists(dir_.file("d.ht")));
  ASSERT_EQ(0, mkdir(dir_.file("out").c_str(), 0755));
  ASSERT_EQ(0, link(dir_.file("d.pbd").c_str(), dir_.file("out/o.ht").c_str()));
  r = Run(text, {"-P", dir_.file("out"), "-N", "o"}, "d.pbd");
  EXPECT_EQ(255, r.status);
  EXPECT_EQ(text, ReadFile(dir_.file("d.pbd")));
  EXPECT_FALSE(FileExists(dir_.file("out/o.pbd")));

  // The output's lock file named as the text file, or a hard link to it:
  // refused before anything is written; the text file stays as it was.
  r = Run(text, {"-N", "e"}, "e.pbd.lock");
  EXPECT_EQ(255, r.status);
  EXPECT_EQ(Header(dir_.path(), "e.pbd.lock") + "the lock file " + dir_.file("e.pbd.lock") +
                " of the output is the input file " + dir_.file("e.pbd.lock") + "!\n",
            r.out);
  EXPECT_EQ(text, ReadFile(dir_.file("e.pbd.lock")));
  EXPECT_FALSE(FileExists(dir_.file("e.pbd")));
  ASSERT_EQ(0, link(dir_.file("e.pbd.lock").c_str(), dir_.file("out/p.pbd.lock").c_str()));
  r = Run(text, {"-P", dir_.file("out"), "-N", "p"}, "e.pbd.lock");
  EXPECT_EQ(255, r.status);
  EXPECT_EQ(text, ReadFile(dir_.file("out/p.pbd.lock")));
  EXPECT_FALSE(FileExists(dir_.file("out/p.pbd")));
  // The schema is an input too.
  WriteFile(dir_.file("f.pbd"), pbdict_test::kSchema);
  r = Run(text, {"-N", "f"}, "d.txt", "f.pbd");
  EXPECT_EQ(255, r.status);
  EXPECT_EQ(Header(dir_.path(), "d.txt") + "the output file " + dir_.file("f.pbd") +
                " is the input file " + dir_.file("f.pbd") + "!\n",
            r.out);
  EXPECT_EQ(pbdict_test::kSchema, ReadFile(dir_.file("f.pbd")));
  EXPECT_FALSE(FileExists(dir_.file("f.ht")));
  ASSERT_EQ(0, link(dir_.file("f.pbd").c_str(), dir_.file("g.pbd.lock").c_str()));
  r = Run(text, {"-N", "g"}, "d.txt", "f.pbd");
  EXPECT_EQ(255, r.status);
  EXPECT_NE(std::string::npos, r.out.find("the lock file " + dir_.file("g.pbd.lock") +
                                          " of the output is the input file " + dir_.file("f.pbd") + "!"))
      << r.out;
  EXPECT_EQ(pbdict_test::kSchema, ReadFile(dir_.file("g.pbd.lock")));
  EXPECT_FALSE(FileExists(dir_.file("g.pbd")));

  // A symlink at an output name is replaced; its target stays as it was.
  WriteFile(dir_.file("target"), "keep me");
  ASSERT_EQ(0, symlink(dir_.file("target").c_str(), dir_.file("d.txt.pbd").c_str()));
  ASSERT_TRUE(Built(text));
  EXPECT_EQ("keep me", ReadFile(dir_.file("target")));
  struct stat st;
  ASSERT_EQ(0, lstat(dir_.file("d.txt.pbd").c_str(), &st));
  EXPECT_TRUE(S_ISREG(st.st_mode));

  // A user's file at the lock's name that is not the input is no lock this
  // run made: it stays.
  WriteFile(dir_.file("d.txt.pbd.lock"), "mine");
  ASSERT_TRUE(Built(text));
  EXPECT_EQ("mine", ReadFile(dir_.file("d.txt.pbd.lock")));
}

// The builder removes only temporaries a killed writer of its output left:
// never its input, nor a user's file whose name merely looks like one.
TEST_F(Build, RemovesOnlyTheTemporariesAWriterLeft) {
  const std::string text = "a\t{\"n\":1}\n";
  WriteFile(dir_.file("f.ht.tmp-notes"), "notes");
  ProgramResult r = Run(text, {"-N", "f"}, "f.pbd.tmp-mine");
  EXPECT_EQ(0, r.status) << r.out << r.err;
  EXPECT_EQ(text, ReadFile(dir_.file("f.pbd.tmp-mine")));
  EXPECT_EQ("notes", ReadFile(dir_.file("f.ht.tmp-notes")));
  // An input named exactly as a temporary, or a kept old file, of the
  // output is still the input.
  for (const char* input : {"g.pbd.tmp-4-5-6", "g.ht.old-4-5-6"}) {
    r = Run(text, {"-N", "g"}, input);
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_EQ(text, ReadFile(dir_.file(input)));
    ASSERT_TRUE(Files("g"));
  }
}

// The clean-up of a killed writer's temporaries, and of the old files that
// installs kept, spares every input: a schema, and a file the schema
// imports, named exactly as a temporary or a kept old file of the output.
// An imported file at an output's name (or its lock's) is refused as the
// schema is, before anything is written.
TEST_F(Build, InputsNamedAsTemporariesOrOutputsStay) {
  ASSERT_EQ(0, mkdir(dir_.file("out").c_str(), 0755));
  WriteFile(dir_.file("d.txt"), "a\t{\"n\":1}\n");
  const std::string importer = "syntax = \"proto2\";\nimport \"IMPORT\";\n";
  const struct {
    const char* schema;   // in out/, given as -B out/<schema>
    const char* imported;  // in out/, defines t.V; nullptr: the schema does
    int status;
    std::string out;       // after the header; "" for a whole run
  } rows[] = {
      {"d.pbd.tmp-4242-0-7", nullptr, 0, ""},
      {"main.proto", "d.ht.tmp-4242-1-7", 0, ""},
      {"main.proto", "d.pbd.tmp-4242-2-7", 0, ""},
      {"d.pbd.old-4242-3-7", nullptr, 0, ""},
      {"main.proto", "d.ht.old-4242-4-7", 0, ""},
      {"main.proto", "d.ht", 255, "the output file out/d.ht is the input file out/d.ht!\n"},
      {"main.proto", "d.pbd.lock", 255,
       "the lock file out/d.pbd.lock of the output is the input file out/d.pbd.lock!\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.schema) + " " + (row.imported != nullptr ? row.imported : ""));
    std::string input = "out/" + std::string(row.imported != nullptr ? row.imported : row.schema);
    WriteFile(dir_.file(input), pbdict_test::kSchema);
    if (row.imported != nullptr) {
      WriteFile(dir_.file(std::string("out/") + row.schema),
                std::regex_replace(importer, std::regex("IMPORT"), row.imported));
    }
    // A temporary a killed writer left goes, in the same run, and so does
    // an old file an install kept, once the new pair is in place.
    WriteFile(dir_.file("out/d.pbd.tmp-4242-9-7"), "stale");
    WriteFile(dir_.file("out/d.ht.old-4242-9-7"), "old");
    ProgramResult r = RunBuilder({"-p", dir_.path(), "-n", "d.txt", "-B", std::string("out/") + row.schema,
                                  "-b", "t.V", "-P", "out", "-N", "d"},
                                 dir_.path());
    EXPECT_EQ(row.status, r.status) << r.out << r.err;
    EXPECT_TRUE(ReadFile(dir_.file(input)) == pbdict_test::kSchema) << input << " removed or changed";
    if (row.status == 0) {
      EXPECT_EQ(Success(dir_.path(), "d.txt", "d"), r.out);
      EXPECT_FALSE(FileExists(dir_.file("out/d.pbd.tmp-4242-9-7")));
      EXPECT_FALSE(FileExists(dir_.file("out/d.ht.old-4242-9-7")));
      EXPECT_TRUE(Files("out/d"));
    } else {
      EXPECT_EQ(Header(dir_.path(), "d.txt") + row.out, r.out);
      EXPECT_EQ("old", ReadFile(dir_.file("out/d.ht.old-4242-9-7")));
    }
    for (const std::string& f : testsupport::FilesStartingWith(dir_.file("out"), "")) {
      if (f != "." && f != "..") {
        ASSERT_EQ(0, unlink(dir_.file("out/" + f).c_str())) << f;
      }
    }
  }
}

// The status of a child that cannot run the builder as the unprivileged
// user: the test is skipped, with the reason.
constexpr int kUnreachable = 77;

// Runs the builder as an unprivileged user (when this test runs as root), so
// that read-only files cannot be written. That user may not be able to enter
// the folder the program was built in (a checkout under root's home, or
// under a folder made by mktemp -d), so it runs a copy of the program placed
// in a scratch folder it can enter.
ProgramResult RunUnprivileged(const std::vector<std::string>& args) {
  if (geteuid() != 0) return RunBuilder(args);
  TempDir out;
  chmod(out.path().c_str(), 0777);
  const std::string program = out.file("pbdict-build");
  WriteFile(program, ReadFile(Builder()));
  chmod(program.c_str(), 0755);
  ProgramResult r;
  r.status = testsupport::RunInChild([&] {
    if (setgid(65534) != 0 || setuid(65534) != 0) return 126;
    if (access(program.c_str(), X_OK) != 0) return kUnreachable;
    // Running the program captures its output in a file under TMPDIR.
    const char* tmp = std::getenv("TMPDIR");
    if (access(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp", W_OK | X_OK) != 0) return kUnreachable;
    for (const std::string& a : args) {
      if (a[0] == '/' && access(a.c_str(), R_OK) != 0) return kUnreachable;
    }
    std::vector<std::string> argv = {program};
    argv.insert(argv.end(), args.begin(), args.end());
    ProgramResult child = RunProgram(argv);
    WriteFile(out.file("out"), child.out);
    return child.status;
  });
  r.out = ReadFile(out.file("out"));
  return r;
}

TEST_F(Build, FailedWriteIsFailureDespiteEarlierFiles) {
  ProgramResult r = Run("a\t{\"n\":1}\n");
  ASSERT_EQ(0, r.status);
  // The files of that run stay readable but can no longer be written.
  ASSERT_EQ(0, chmod(dir_.path().c_str(), 0555));
  ASSERT_EQ(0, chmod(dir_.file("d.txt.pbd").c_str(), 0444));
  ASSERT_EQ(0, chmod(dir_.file("d.txt.ht").c_str(), 0444));
  r = RunUnprivileged({"-p", dir_.path(), "-n", "d.txt", "-B", dir_.file("s.proto"), "-b", "t.V"});
  chmod(dir_.path().c_str(), 0755);
  if (r.status == kUnreachable) {
    GTEST_SKIP() << "uid 65534 cannot reach the scratch folder (TMPDIR) to run the builder there";
  }
  EXPECT_EQ(255, r.status);
  EXPECT_EQ(DumpFailure(dir_.path(), "d.txt", "d.txt"), r.out);
  ASSERT_TRUE(Files());  // the earlier files are still there and readable
}

// In a shared folder with the sticky bit (as /tmp), a file of another user
// can be neither replaced nor moved: a run whose install meets one there
// ends with status 255 and leaves the previous pair as it was, byte for
// byte, and none of its own files. Two ways: the old key table is another
// user's (the new values would go in after it), and, for a new empty
// dictionary, the old values file is (after the new empty key table).
TEST_F(Build, RefusedInstallInAStickyFolderKeepsThePreviousPair) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to make files of two users";
  const uid_t builder = 65534, other = 0;
  ASSERT_EQ(0, chmod(dir_.path().c_str(), 0755));
  ASSERT_EQ(0, mkdir(dir_.file("shared").c_str(), 0755));
  ASSERT_EQ(0, chmod(dir_.file("shared").c_str(), 01777));
  WriteFile(dir_.file("old.txt"), "a\t{\"n\":1}\nb\t{\"n\":2}\n");
  const struct {
    const char* what;
    std::string text;     // the new dictionary
    uid_t pbd_owner, ht_owner;
  } rows[] = {
      {"the old key table another user's", "a\t{\"n\":5}\nc\t{\"n\":6}\n", builder, other},
      {"a new empty dictionary, the old values another user's", "# nothing\n", other, builder},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const std::vector<std::string> out = {"-P", dir_.file("shared"), "-N", "d"};
    std::vector<std::string> args = {"-p", dir_.path(), "-n", "old.txt", "-B", dir_.file("s.proto"), "-b", "t.V"};
    args.insert(args.end(), out.begin(), out.end());
    ASSERT_EQ(0, RunBuilder(args).status);
    ASSERT_EQ(0, chown(dir_.file("shared/d.pbd").c_str(), row.pbd_owner, row.pbd_owner));
    ASSERT_EQ(0, chown(dir_.file("shared/d.ht").c_str(), row.ht_owner, row.ht_owner));
    const std::string pbd = ReadFile(dir_.file("shared/d.pbd")), ht = ReadFile(dir_.file("shared/d.ht"));
    WriteFile(dir_.file("new.txt"), row.text);
    args[3] = "new.txt";
    const ProgramResult r = RunUnprivileged(args);
    if (r.status == kUnreachable) {
      GTEST_SKIP() << "uid 65534 cannot reach the scratch folder (TMPDIR)";
    }
    EXPECT_EQ(255, r.status);
    EXPECT_EQ(DumpFailure(dir_.path(), "new.txt", "d"), r.out);
    EXPECT_TRUE(pbd == ReadFile(dir_.file("shared/d.pbd"))) << "the old values changed";
    EXPECT_TRUE(ht == ReadFile(dir_.file("shared/d.ht"))) << "the old key table changed";
    std::vector<std::string> names = testsupport::FilesStartingWith(dir_.file("shared"), "d.");
    std::sort(names.begin(), names.end());
    EXPECT_EQ((std::vector<std::string>{"d.ht", "d.pbd"}), names);
    EXPECT_TRUE(Files("shared/d"));
    for (const char* f : {"shared/d.pbd", "shared/d.ht"}) ASSERT_EQ(0, unlink(dir_.file(f).c_str()));
  }
}

// Runs the builder with a limit on the size of the files it writes: the
// limit holds for every user, root too, wherever the program lives. A write
// past kWriteLimit bytes fails with EFBIG (SIGXFSZ is ignored); what the
// program prints stays below the limit.
constexpr rlim_t kWriteLimit = 512;

ProgramResult RunWithWriteLimit(const std::vector<std::string>& args) {
  TempDir out;
  ProgramResult r;
  r.status = testsupport::RunInChild([&] {
    const struct rlimit limit = {kWriteLimit, kWriteLimit};
    if (signal(SIGXFSZ, SIG_IGN) == SIG_ERR || setrlimit(RLIMIT_FSIZE, &limit) != 0) return 126;
    ProgramResult child = RunBuilder(args);
    WriteFile(out.file("out"), child.out);
    return child.status;
  });
  r.out = ReadFile(out.file("out"));
  return r;
}

TEST_F(Build, WriteFailingMidFileKeepsTheEarlierFiles) {
  ProgramResult r = Run("a\t{\"n\":1}\n");
  ASSERT_EQ(0, r.status);
  const std::string pbd = ReadFile(dir_.file("d.txt.pbd")), ht = ReadFile(dir_.file("d.txt.ht"));
  ASSERT_GT(pbd.size(), kWriteLimit);  // the new dictionary file cannot be written whole
  r = RunWithWriteLimit({"-p", dir_.path(), "-n", "d.txt", "-B", dir_.file("s.proto"), "-b", "t.V"});
  EXPECT_EQ(255, r.status);
  EXPECT_EQ(DumpFailure(dir_.path(), "d.txt", "d.txt"), r.out);
  EXPECT_EQ(pbd, ReadFile(dir_.file("d.txt.pbd")));
  EXPECT_EQ(ht, ReadFile(dir_.file("d.txt.ht")));
  ASSERT_TRUE(Files());
}

// Runs the builder with its standard streams and no other file open, and
// a limit of `files` open files.
ProgramResult RunWithOpenFiles(const std::vector<std::string>& args, rlim_t files) {
  TempDir out;
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int in = ::open("/dev/null", O_RDONLY);
    const int o = ::open(out.file("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int e = ::open(out.file("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || o < 0 || e < 0 || dup2(in, 0) < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0) _exit(126);
    for (int fd = 3; fd < 1024; ++fd) ::close(fd);
    const struct rlimit limit = {files, files};
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0) _exit(126);
    std::vector<std::string> argv = {Builder()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (auto& a : argv) raw.push_back(&a[0]);
    raw.push_back(nullptr);
    execv(raw[0], raw.data());
    _exit(127);
  }
  ProgramResult r;
  int st = 0;
  if (pid < 0 || waitpid(pid, &st, 0) != pid) return r;
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
  r.out = ReadFile(out.file("out"));
  r.err = ReadFile(out.file("err"));
  return r;
}

// The new files are read back before they go in place: a run that can
// write them but not read them back (a limit on open files that leaves
// room for the one file written at a time, not for the two read together)
// says so in its "[3]" line after "[2] ... failure!", ends with status 255
// and leaves the previous pair byte for byte. Under each limit up to the
// first that lets a run through (from the least the program starts with),
// a run ends 255 with the previous pair.
TEST_F(Build, ReadBackFailingKeepsThePreviousPair) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the sanitizers' type checks open files of their own, which these limits leave none for";
#endif
  ASSERT_EQ(0, Run("a\t{\"n\":1}\nb\t{\"n\":2}\n").status);
  const std::string pbd = ReadFile(dir_.file("d.txt.pbd")), ht = ReadFile(dir_.file("d.txt.ht"));
  WriteFile(dir_.file("new.txt"), "a\t{\"n\":5}\nc\t{\"n\":6}\n");
  const std::vector<std::string> args = {"-p", dir_.path(), "-n", "new.txt", "-B", dir_.file("s.proto"),
                                         "-b", "t.V", "-N", "d.txt"};
  const std::string read_back_failed = DumpFailure(
      dir_.path(), "new.txt", "d.txt", "[3] the text dict or binary dict is error, ret1:0, ret2:-1.\n");
  int read_back_failures = 0;
  rlim_t limit = 4;  // three for the standard streams, one for the loader of the libraries
  for (;; ++limit) {
    ASSERT_LT(limit, 64u) << "no run completed";
    SCOPED_TRACE("open files " + std::to_string(limit));
    const ProgramResult r = RunWithOpenFiles(args, limit);
    if (r.status == 0) break;
    EXPECT_EQ(255, r.status) << r.out << r.err;
    read_back_failures += r.out == read_back_failed;
    EXPECT_TRUE(pbd == ReadFile(dir_.file("d.txt.pbd")) && ht == ReadFile(dir_.file("d.txt.ht")))
        << r.out << r.err;
  }
  EXPECT_EQ(1, read_back_failures);
  ASSERT_TRUE(Files());
  EXPECT_EQ("n: 6\n", Found("c"));
}

// A builder killed as it writes (SIGXFSZ at the write limit) leaves its
// temporary beside the output; the next run removes it.
TEST_F(Build, KilledRunsTemporariesGoWithTheNextRun) {
  const std::string text = "a\t{\"n\":1}\n";
  ProgramResult r = Run(text);
  ASSERT_EQ(0, r.status);
  const std::vector<std::string> args = {"-p", dir_.path(), "-n", "d.txt", "-B",
                                         dir_.file("s.proto"), "-b", "t.V"};
  const int status = testsupport::RunInChild([&] {
    const struct rlimit write_limit = {kWriteLimit, kWriteLimit}, no_core = {0, 0};
    if (setrlimit(RLIMIT_FSIZE, &write_limit) != 0 || setrlimit(RLIMIT_CORE, &no_core) != 0) {
      return 126;
    }
    return RunBuilder(args).status;
  });
  ASSERT_EQ(128 + SIGXFSZ, status);
  const std::vector<std::string> left = testsupport::FilesStartingWith(dir_.path(), "d.txt.pbd.tmp-");
  ASSERT_EQ(1u, left.size());
  ASSERT_TRUE(Built(text));
  EXPECT_FALSE(FileExists(dir_.file(left[0])));
}

}  // namespace
