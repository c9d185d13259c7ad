// pbdict-build: builds a binary protobuf dictionary from a text dictionary.
//
// The value type is not compiled in: the .proto file named with -B is
// imported at run time and every value becomes a dynamic message of the type
// named with -b.
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <google/protobuf/compiler/importer.h>
#include <google/protobuf/descriptor.h>
#include <google/protobuf/dynamic_message.h>

#include "out_of_memory.h"
#include "pbdict.h"
#include "pbdict_results.h"
#include "schema_source.h"
#include "staged_dump.h"
#include "toolkit/output_lock.h"
#include "toolkit/path.h"

#ifndef PBDICT_REVISION
#define PBDICT_REVISION "unknown"
#endif

namespace {

using kavo::pbdict::kDumpNotPutBack;
using kavo::pbdict::kLoadOverflow;
using kavo::pbdict::PbDict;
using kavo::pbdict::dset_parameter_t;

const char* const kHelpLines[] = {
    "\nUsage:",
    "\t-n  input text dict file name, necessary",
    "\t-N  output binary dict file name, default: =above",
    "\t-p  the path where stores the text dict file, necessary",
    "\t-P  the path where to create and store the binary dict file",
    "\t-B  the file name (with path) of the .proto file, necessary",
    "\t-b  the message name, format: \"package.message\", necessary",
    "",
    "\t-d  return error or save the first key when find duplicate keys: default 0, means the the latter",
    "\t-m  the number of the maxline that the dict allows, [optional] default:100w",
    "\t-o  return error or not when line of txt-file > maxline, [optional] default:1,means error",
    "\t-s  the separator among items of a line, default \"\\t\" ",
    "\t-t  whether convert the characters to lower form when dset_load(): [optional] default 0, means don't covert ",
    "\t-#  allow comment or not. 1:allowed(default), 0:not allowed",
    "\t-v  print the version",
    "\t-h  print this help message",
    "",
};

void PrintHelp() {
  for (const char* line : kHelpLines) std::printf("%s\n", line);
}

void PrintVersion() {
  std::printf(" Version\t: %s\n", PBDICT_REVISION);
  std::printf(" Built date\t: %s\n", __DATE__ " " __TIME__);
}

// ParseOptions: the options were read and the run goes on.
constexpr int kGoOn = -2;
// Exit status of a run that stopped at -m lines with -o 1.
constexpr int kStatusOverflow = 2;

// The six path and name values of the command line.
struct Names {
  const char* path = nullptr;        // -p: directory of the text dictionary
  const char* name = nullptr;        // -n: text dictionary file name
  const char* bin_path = nullptr;    // -P: directory of the binary dictionary
  const char* bin_name = nullptr;    // -N: base name of the binary files
  const char* proto = nullptr;       // -B: the .proto file
  const char* message = nullptr;     // -b: "package.message"
};

// Reads the options. Returns kGoOn, or the exit status of -h, -v or a wrong
// option.
int ParseOptions(int argc, char** argv, dset_parameter_t* param, Names* names) {
  int c;
  while ((c = getopt(argc, argv, "p:P:m:o:n:N:s:t:#:B:b:hv")) != -1) {
    switch (c) {
      case 'p': names->path = optarg; break;
      case 'P': names->bin_path = optarg; break;
      case 'n': names->name = optarg; break;
      case 'N': names->bin_name = optarg; break;
      case 'B': names->proto = optarg; break;
      case 'b': names->message = optarg; break;
      case 'm': param->max_line = std::atoi(optarg); break;
      case 'o': param->err_if_overflow_maxline = std::atoi(optarg); break;
      case 's': param->separator = optarg; break;
      case 't': param->tolower = std::atoi(optarg); break;
      case '#': param->comment_allowed = std::atoi(optarg); break;
      case 'h':
        PrintHelp();
        return 0;
      case 'v':
        PrintVersion();
        return 0;
      default:
        std::printf("you input wrong options, please see help!\n");
        PrintHelp();
        return -1;
    }
  }
  return kGoOn;
}

// Splits the schema path at its first '/': the directory keeps the '/', the
// file is the rest; without a '/', the directory is ".".
void SplitSchemaPath(const std::string& proto, std::string* dir, std::string* file) {
  std::string::size_type slash = proto.find('/');
  if (slash == std::string::npos) {
    *dir = ".";
    *file = proto;
  } else {
    *dir = proto.substr(0, slash + 1);
    *file = proto.substr(slash + 1);
  }
}

// An input of the run: its name and its identity.
struct Input {
  const char* path;
  toolkit::FileId id;
};

// The binary files replace whatever stands at their names, and a file that
// stands at the name of the output's lock is taken as the lock: none of them
// may be an input (the text file, the schema, a file the schema imports),
// under its own name or through a link. False, having said which, when one
// is.
bool OutputsSpareInputs(const Names& names, const Input* inputs, size_t count) {
  // Whether the file at path is an input; *input is then its name.
  auto is_input = [&](const char* path, const char** input) {
    struct stat out;
    if (stat(path, &out) != 0) return false;
    for (size_t i = 0; i < count; ++i) {
      if (out.st_dev == inputs[i].id.dev && out.st_ino == inputs[i].id.ino) {
        *input = inputs[i].path;
        return true;
      }
    }
    return false;
  };
  char out_path[256];
  const char* input = nullptr;
  std::string lock_path;  // beside the .pbd file; empty when its path does not fit
  for (const char* ext : {".pbd", ".ht"}) {
    if (!toolkit::JoinPath(out_path, names.bin_path, names.bin_name, ext)) continue;
    if (is_input(out_path, &input)) {
      std::printf("the output file %s is the input file %s!\n", out_path, input);
      return false;
    }
    if (std::strcmp(ext, ".pbd") == 0) lock_path = toolkit::OutputLock::LockPath(out_path);
  }
  if (!lock_path.empty() && is_input(lock_path.c_str(), &input)) {
    std::printf("the lock file %s of the output is the input file %s!\n", lock_path.c_str(), input);
    return false;
  }
  return true;
}

// Destroys the text dictionary, then the binary one, and reports the status.
int end(std::unique_ptr<PbDict> text_dict, std::unique_ptr<PbDict> binary_dict, int status) {
  text_dict.reset();
  binary_dict.reset();
  std::printf("[5] Return:%d\n", status);
  return status;
}

// Builds the text dictionary, writes the binary one, loads it back into a
// second dictionary and, once it loads, puts it in place. Returns the exit
// status. Each stage names itself (SetStep), for a caller that catches
// memory running out where no stage reports it itself (making a dictionary
// object). inputs are the files of the run beside the text file (the
// schema and its imports), which the write never removes.
int BuildDictionaries(const dset_parameter_t& param, const google::protobuf::Message* prototype,
                      const Names& names, const char* text_path,
                      const std::vector<toolkit::FileId>& inputs) {
  pbdict_app::SetStep("building the text dict");
  std::unique_ptr<PbDict> text_dict(new PbDict(prototype, &param));
  int ret1 = text_dict->load(text_path);
  if (ret1 == kLoadOverflow) {
    std::printf("FATAL: txt file line > dictset->maxline. please use -m specify the maxline number.\n");
    return end(std::move(text_dict), nullptr, kStatusOverflow);
  }
  if (ret1 != 0) {
    std::printf("FATAL: build binary dict error.\n");
    return end(std::move(text_dict), nullptr, ret1);
  }
  std::printf("[1] build dict %s success, dump binary dict to file!\n", names.name);

  pbdict_app::SetStep("dumping the binary dict");
  kavo::pbdict::StagedDump dump;
  if (dump.Write(text_dict.get(), names.bin_path, names.bin_name, inputs) != 0) {
    // Files of an earlier run may still stand in the output directory; they
    // must not turn a failed write into success.
    std::printf("[2] dump binary dict %s failure!\n", names.bin_name);
    return end(std::move(text_dict), nullptr, -1);
  }
  // The text dictionary is no longer needed: freeing it before the read
  // back keeps one copy of the dictionary in memory, not two. The read back
  // allocates on several threads, each from its own malloc arena, so the
  // pages freed here go back to the system instead of staying reserved in
  // the arena the text load used.
  text_dict.reset();
  malloc_trim(0);

  // The written files are read back under their temporary names and put in
  // place only once they load: a run that fails before (the read, memory
  // running out, a kill) leaves the previous dictionary as it was, and so
  // does a failed install, which puts it back. "[2] ... success!" says that
  // the new files are in place, "[3] ... loads successfully." that they
  // loaded.
  pbdict_app::SetStep("loading the binary dict");
  std::unique_ptr<PbDict> binary_dict(new PbDict(prototype, nullptr));
  int ret2 = dump.Load(binary_dict.get());
  if (ret2 != 0) {
    std::printf("[2] dump binary dict %s failure!\n", names.bin_name);
    std::printf("[3] the text dict or binary dict is error, ret1:%d, ret2:%d.\n", ret1, ret2);
    return end(nullptr, std::move(binary_dict), -1);
  }
  pbdict_app::SetStep("dumping the binary dict");
  const int installed = dump.Install();
  if (installed != 0) {
    std::printf("[2] dump binary dict %s failure!\n", names.bin_name);
    if (installed == kDumpNotPutBack) {
      std::printf("FATAL: the previous binary dict %s could not be put back, the log says where its "
                  "files are kept.\n",
                  names.bin_name);
    }
    return end(nullptr, std::move(binary_dict), -1);
  }
  std::printf("[2] dump binary dict %s success!\n", names.bin_name);
  std::printf("[3] dict %s loads successfully.\n", names.bin_name);
  return end(nullptr, std::move(binary_dict), 0);
}

}  // namespace

int main(int argc, char** argv) {
  pbdict_app::ExitOnOutOfMemory();
  dset_parameter_t param;
  Names names;
  int rc = ParseOptions(argc, argv, &param, &names);
  if (rc != kGoOn) return rc;

  if (names.path == nullptr || names.name == nullptr || names.proto == nullptr ||
      names.message == nullptr) {
    std::printf("It receives not enough necessary options or wrong options, please see help!\n");
    PrintHelp();
    return -1;
  }
  if (names.bin_path == nullptr) names.bin_path = names.path;
  if (names.bin_name == nullptr) names.bin_name = names.name;
  param.filename = names.name;

  std::printf("path[%s]\nfilename[%s]\nformat[%s]\n", names.path, names.name, "%s%b");

  char text_path[256];
  if (!toolkit::JoinPath(text_path, names.path, names.name)) {
    // A cut path could name another file; refuse it instead.
    std::printf("the file path %s/%s is too long!\n", names.path, names.name);
    return -1;
  }
  struct stat st;
  if (stat(text_path, &st) != 0) {
    std::printf("the file %s is not exist!\n", text_path);
    return -1;
  }
  if (!S_ISREG(st.st_mode)) {
    std::printf("the file %s is not a regular file!\n", text_path);
    return -1;
  }
  {
    struct stat schema = {};
    const bool has_schema = stat(names.proto, &schema) == 0;
    const Input inputs[] = {{text_path, toolkit::FileId{st.st_dev, st.st_ino}},
                            {names.proto, toolkit::FileId{schema.st_dev, schema.st_ino}}};
    if (!OutputsSpareInputs(names, inputs, has_schema ? 2 : 1)) return -1;
  }

  // Memory running out is a failed step wherever it happens: the dictionary
  // steps report it themselves; protobuf (importing the schema, making the
  // prototype) and the making of a dictionary object throw, and end here,
  // with every object made so far destroyed in order; what protobuf throws
  // where nothing can catch it ends in the same report (ExitOnOutOfMemory).
  pbdict_app::SetStep("importing the schema");
  try {
    std::string proto_dir, proto_file;
    SplitSchemaPath(names.proto, &proto_dir, &proto_file);
    pbdict_app::SchemaSourceTree source_tree(proto_dir);
    google::protobuf::compiler::Importer importer(&source_tree, nullptr);
    if (importer.Import(proto_file) == nullptr) {
      std::printf("loading proto file failed: %s\n", proto_file.c_str());
      return -1;
    }
    const google::protobuf::Descriptor* descriptor =
        importer.pool()->FindMessageTypeByName(names.message);
    if (descriptor == nullptr) {
      std::printf("proto message type not found: %s\nNote that the format is \"package.message\".\n",
                  names.message);
      return -1;
    }
    // Made after the importer, so it is destroyed before it. A factory that
    // ran out of memory while it made the prototype is left half made, and
    // its destruction would crash: it is given up, to the process's end.
    auto factory = std::make_unique<google::protobuf::DynamicMessageFactory>();
    const google::protobuf::Message* prototype = nullptr;
    try {
      prototype = factory->GetPrototype(descriptor);
    } catch (const std::bad_alloc&) {
      static_cast<void>(factory.release());
      throw;
    }
    // The files the schema imports are inputs too.
    std::vector<Input> imported;
    std::vector<toolkit::FileId> inputs;
    for (const auto& file : source_tree.opened()) {
      imported.push_back(Input{file.path.c_str(), file.id});
      inputs.push_back(file.id);
    }
    if (!OutputsSpareInputs(names, imported.data(), imported.size())) return -1;
    return BuildDictionaries(param, prototype, names, text_path, inputs);
  } catch (const std::bad_alloc&) {
    std::printf("FATAL: out of memory while %s.\n", pbdict_app::Step());
    return end(nullptr, nullptr, -1);
  }
}
