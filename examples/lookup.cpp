// Looks keys up in a binary dictionary written by pbdict-build and prints the
// message of each.
//
//   pbdict-lookup-example PROTO MESSAGE DIR NAME KEY...
//
// PROTO and MESSAGE are the schema and "package.message" given to
// pbdict-build; DIR and NAME name the files DIR/NAME.pbd and DIR/NAME.ht.
#include <cstdio>
#include <memory>
#include <string>

#include <google/protobuf/compiler/importer.h>
#include <google/protobuf/dynamic_message.h>

#include "pbdict.h"

int main(int argc, char** argv) {
  if (argc < 6) {
    std::fprintf(stderr, "usage: %s PROTO MESSAGE DIR NAME KEY...\n", argv[0]);
    return 2;
  }
  // Import the schema the way the builder does: the part of the path up to
  // its first '/' is the root of the import.
  std::string proto = argv[1], root = ".", file = proto;
  std::string::size_type slash = proto.find('/');
  if (slash != std::string::npos) {
    root = proto.substr(0, slash + 1);
    file = proto.substr(slash + 1);
  }
  google::protobuf::compiler::DiskSourceTree tree;
  tree.MapPath("", root);
  google::protobuf::compiler::Importer importer(&tree, nullptr);
  if (importer.Import(file) == nullptr) {
    std::fprintf(stderr, "cannot import %s\n", argv[1]);
    return 1;
  }
  const google::protobuf::Descriptor* type = importer.pool()->FindMessageTypeByName(argv[2]);
  if (type == nullptr) {
    std::fprintf(stderr, "no message type %s in %s\n", argv[2], argv[1]);
    return 1;
  }
  google::protobuf::DynamicMessageFactory factory;
  const google::protobuf::Message* prototype = factory.GetPrototype(type);

  kavo::pbdict::PbDict dict(prototype, nullptr);
  if (dict.binary_load(argv[3], argv[4]) != 0) {
    std::fprintf(stderr, "cannot load the dictionary %s/%s\n", argv[3], argv[4]);
    return 1;
  }
  std::printf("%s/%s: %d entries\n", argv[3], argv[4], dict.line_num);
  for (int i = 5; i < argc; ++i) {
    std::unique_ptr<google::protobuf::Message> value(prototype->New());
    if (kavo::pbdict::dset_search_item(&dict, argv[i], value.get()) == 1) {
      std::printf("%s => %s\n", argv[i], value->ShortDebugString().c_str());
    } else {
      std::printf("%s => not found\n", argv[i]);
    }
  }
  return 0;
}
