// Runs the pbdict-build program and checks what it prints and its status.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/support.h"

namespace {

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

const char kProto[] =
    "syntax = \"proto2\";\n"
    "package t;\n"
    "message V { optional int32 a = 1; }\n";

std::string Builder() { return testsupport::BinaryDir() + "/pbdict/pbdict-build"; }

ProgramResult RunBuilder(std::vector<std::string> args, const std::string& cwd = "") {
  args.insert(args.begin(), Builder());
  return RunProgram(args, cwd);
}

std::string Header(const std::string& path, const std::string& name) {
  return "path[" + path + "]\nfilename[" + name + "]\nformat[%s%b]\n";
}

TEST(BuilderOptions, HelpAndVersion) {
  ProgramResult r = RunBuilder({"-h"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(kHelp, r.out);

  r = RunBuilder({"-v"});
  EXPECT_EQ(0, r.status);
  ASSERT_EQ(0u, r.out.find(" Version\t: ")) << r.out;
  size_t second = r.out.find("\n Built date\t: ");
  ASSERT_NE(std::string::npos, second) << r.out;
  EXPECT_EQ('\n', r.out.back());
  EXPECT_EQ(second + 1, r.out.find('\n') + 1);

  // -v acts at once: the missing required options are never checked.
  r = RunBuilder({"-v", "-p", "x"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(std::string::npos, r.out.find("Usage"));
  // -h acts at once too, before later wrong options.
  r = RunBuilder({"-h", "-x"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(kHelp, r.out);
}

TEST(BuilderOptions, WrongOptions) {
  const std::vector<std::vector<std::string>> cases = {
      {"-x"},                      // unknown
      {"-d", "1", "-h"},           // listed in the help, but not an option; before -h
      {"-p", "d", "-n"},           // missing argument
  };
  for (const auto& args : cases) {
    ProgramResult r = RunBuilder(args);
    EXPECT_EQ(255, r.status) << args[0];
    EXPECT_EQ(std::string(kWrong) + kHelp, r.out) << args[0];
    EXPECT_FALSE(r.err.empty());  // the option parser's own diagnostic
  }
}

TEST(BuilderOptions, RequiredOptions) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"-n", "f", "-B", "x.proto", "-b", "t.V"},
      {"-p", "d", "-B", "x.proto", "-b", "t.V"},
      {"-p", "d", "-n", "f", "-b", "t.V"},
      {"-p", "d", "-n", "f", "-B", "x.proto", "-P", "o", "-N", "b"},
  };
  for (const auto& args : cases) {
    ProgramResult r = RunBuilder(args);
    EXPECT_EQ(255, r.status);
    EXPECT_EQ(std::string(kNotEnough) + kHelp, r.out);
  }
}

TEST(BuilderInput, TextFileChecks) {
  TempDir dir;
  ProgramResult r = RunBuilder({"-p", dir.path(), "-n", "missing.txt", "-B", "x.proto", "-b", "t.V"});
  EXPECT_EQ(255, r.status);
  EXPECT_EQ(Header(dir.path(), "missing.txt") + "the file " + dir.path() +
                "/missing.txt is not exist!\n",
            r.out);

  ASSERT_EQ(0, mkdir(dir.file("sub").c_str(), 0755));
  r = RunBuilder({"-p", dir.path(), "-n", "sub", "-B", "x.proto", "-b", "t.V"});
  EXPECT_EQ(255, r.status);
  EXPECT_EQ(Header(dir.path(), "sub") + "the file " + dir.path() + "/sub is not a regular file!\n",
            r.out);

  // A path that does not fit the 256-byte path buffer is refused, not cut.
  std::string longname(300, 'n');
  r = RunBuilder({"-p", dir.path(), "-n", longname, "-B", "x.proto", "-b", "t.V"});
  EXPECT_EQ(255, r.status);
  EXPECT_NE(std::string::npos, r.out.find("is too long!\n"));
}

TEST(BuilderInput, SchemaImport) {
  TempDir dir;
  WriteFile(dir.file("d.txt"), "");
  ASSERT_EQ(0, mkdir(dir.file("a").c_str(), 0755));
  ASSERT_EQ(0, mkdir(dir.file("a/b").c_str(), 0755));
  WriteFile(dir.file("a/b/c.proto"), kProto);
  WriteFile(dir.file("bad.proto"), "syntax = \"proto2\";\nmessage {\n");

  ProgramResult r = RunBuilder({"-p", dir.path(), "-n", "d.txt", "-B", "nothere.proto", "-b", "t.V"},
                        dir.path());
  EXPECT_EQ(255, r.status);
  EXPECT_EQ(Header(dir.path(), "d.txt") + "loading proto file failed: nothere.proto\n", r.out);

  r = RunBuilder({"-p", dir.path(), "-n", "d.txt", "-B", "bad.proto", "-b", "t.V"}, dir.path());
  EXPECT_EQ(255, r.status);
  EXPECT_EQ(Header(dir.path(), "d.txt") + "loading proto file failed: bad.proto\n", r.out);

  // The path is split at its first '/': "a/b/c.proto" imports "b/c.proto"
  // under "a/"; an absolute path imports the rest under "/".
  r = RunBuilder({"-p", dir.path(), "-n", "d.txt", "-B", "a/b/c.proto", "-b", "t.Nope"}, dir.path());
  EXPECT_EQ(255, r.status);
  EXPECT_EQ(Header(dir.path(), "d.txt") +
                "proto message type not found: t.Nope\nNote that the format is "
                "\"package.message\".\n",
            r.out);

  for (const std::string& proto : {std::string("a/b/c.proto"), dir.file("a/b/c.proto")}) {
    r = RunBuilder({"-p", dir.path(), "-n", "d.txt", "-B", proto, "-b", "V"}, dir.path());
    EXPECT_EQ(255, r.status);
    EXPECT_NE(std::string::npos, r.out.find("proto message type not found: V\n")) << proto;
    r = RunBuilder({"-p", dir.path(), "-n", "d.txt", "-B", proto, "-b", "t.V"}, dir.path());
    EXPECT_EQ(std::string::npos, r.out.find("loading proto file failed")) << proto;
    EXPECT_EQ(std::string::npos, r.out.find("not found")) << proto;
  }

  // Without a '/', the file comes from the current directory.
  WriteFile(dir.file("a/top.proto"), kProto);
  r = RunBuilder({"-p", "..", "-n", "d.txt", "-B", "top.proto", "-b", "t.V"}, dir.file("a"));
  EXPECT_EQ(std::string::npos, r.out.find("loading proto file failed")) << r.out;
  EXPECT_EQ(std::string::npos, r.out.find("not found")) << r.out;
  r = RunBuilder({"-p", ".", "-n", "d.txt", "-B", "top.proto", "-b", "t.V"}, dir.path());
  EXPECT_EQ(Header(".", "d.txt") + "loading proto file failed: top.proto\n", r.out);
}

}  // namespace
